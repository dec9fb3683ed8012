// Ownership and row geometry of decoded images.
#include "texture/decoders/decoded_image.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "texture/decoders/image_decoders.h"

namespace {

// Frees what one record owns, not its chains.
void free_own_buffers(DecodedImage* image)
{
    if (image->owns_pixels)
        std::free(const_cast<BYTE*>(image->pixels));
    if (image->owns_palette)
        std::free(const_cast<BYTE*>(image->palette));
}

// Frees a chain of heap records linked by next_level, each with its faces.
// Each record is cut from the chain first, so the chain is walked once.
void free_level_chain(DecodedImage* level)
{
    while (level) {
        DecodedImage* next = level->next_level;
        level->next_level = nullptr;
        release_decoded_image(level);
        std::free(level);
        level = next;
    }
}

} // namespace

void release_decoded_image(DecodedImage* image)
{
    if (!image)
        return;
    free_own_buffers(image);
    free_level_chain(image->next_level);
    // Faces are few (six at most) and each carries its own level chain.
    DecodedImage* face = image->next_face;
    while (face) {
        DecodedImage* next = face->next_face;
        face->next_face = nullptr;
        release_decoded_image(face);
        std::free(face);
        face = next;
    }
    std::memset(image, 0, sizeof *image);
}

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

void describe_float_image(DecodedImage* image, UINT width, UINT height, DWORD file_format)
{
    image->format = D3DFMT_A32B32G32R32F;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->row_pitch = 16 * width;
    image->resource_type = D3DRTYPE_TEXTURE;
    image->file_format = file_format;
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

namespace {

bool is_dxt(D3DFORMAT format)
{
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
        format == D3DFMT_DXT5;
}

// Bits per pixel of the formats the decoders produce, 0 for others.
unsigned bits_per_pixel(D3DFORMAT format)
{
    switch (static_cast<DWORD>(format)) {
    case D3DFMT_R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_P8:
    case D3DFMT_L8:
    case D3DFMT_A4L4:
        return 8;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8P8:
    case D3DFMT_A8L8:
    case D3DFMT_L16:
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_CxV8U8:
    case D3DFMT_R16F:
    case D3DFMT_UYVY:
    case D3DFMT_YUY2:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8:
        return 16;
    case D3DFMT_R8G8B8:
        return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_G16R16:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_X8L8V8U8:
    case D3DFMT_Q8W8V8U8:
    case D3DFMT_V16U16:
    case D3DFMT_A2W10V10U10:
    case D3DFMT_D32F_LOCKABLE:
    case D3DFMT_G16R16F:
    case D3DFMT_R32F:
    case LOADER_FMT_AL16:
        return 32;
    case LOADER_FMT_R16:
        return 48;
    case D3DFMT_A16B16G16R16:
    case D3DFMT_Q16W16V16U16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F:
        return 64;
    case D3DFMT_A32B32G32R32F:
        return 128;
    default:
        return 0;
    }
}

} // namespace

size_t decoded_row_bytes(const DecodedImage* image)
{
    const size_t width = image->width;
    if (is_dxt(image->format))
        return (width + 3) / 4 * (image->format == D3DFMT_DXT1 ? 8 : 16);
    switch (image->format) {
    case D3DFMT_UYVY:
    case D3DFMT_YUY2:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8:
        return (width + 1) / 2 * 4;
    default:
        return width * (bits_per_pixel(image->format) / 8);
    }
}

UINT decoded_row_count(const DecodedImage* image)
{
    if (is_dxt(image->format))
        return (image->height + 3) / 4;
    return image->height;
}
