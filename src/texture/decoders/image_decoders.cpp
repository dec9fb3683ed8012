// The helpers every decoder shares: the image's description, its buffers,
// the ceiling on its size and the reason for a refusal.
#include "texture/decoders/image_decoders.h"

#include <sys/mman.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "texture/decoders/checked_size.h"

BYTE* allocate_image_pixels(DecodedImage* image, size_t size)
{
    BYTE* pixels = static_cast<BYTE*>(std::calloc(size ? size : 1, 1));
    if (!pixels)
        return nullptr;
    // A few bytes of a file can describe a gigabyte of pixels, and touching
    // that much memory a small page at a time costs seconds; large pages
    // cut the faults by a factor of 512.
    constexpr size_t kLargePage = size_t(2) << 20;
    if (size >= 64 * kLargePage) {
        const uintptr_t start = (reinterpret_cast<uintptr_t>(pixels) + kLargePage - 1) & ~(kLargePage - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(pixels) + size) & ~(kLargePage - 1);
        if (end > start)
            ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
    image->pixels = pixels;
    image->owns_pixels = TRUE;
    return pixels;
}

void describe_image(DecodedImage* image, D3DFORMAT format, UINT width, UINT height, UINT row_pitch)
{
    image->format = format;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->row_pitch = row_pitch;
    image->resource_type = D3DRTYPE_TEXTURE;
}

HRESULT refuse(DecodeReason* reason, HRESULT hr, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason->text, sizeof reason->text, format, args);
    va_end(args);
    // Some reasons quote the file's own bytes; a reason stays one line of
    // plain ASCII.
    for (char* c = reason->text; *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || static_cast<unsigned char>(*c) > 0x7E)
            *c = '?';
    return hr;
}

HRESULT decoded_image_size(uint64_t width, uint64_t height, uint64_t row_pitch, uint64_t* total, DecodeReason* reason)
{
    if (SUCCEEDED(decoded_size(height, row_pitch, total)))
        return S_OK;
    return refuse(reason, E_OUTOFMEMORY, "%llu x %llu exceeds the %s image limit",
                  static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
                  kMaxDecodedImageText);
}

BYTE* allocate_image_palette(DecodedImage* image)
{
    BYTE* palette = static_cast<BYTE*>(std::malloc(256 * 4));
    if (!palette)
        return nullptr;
    std::memset(palette, 0xFF, 256 * 4);
    image->palette = palette;
    image->owns_palette = TRUE;
    return palette;
}
