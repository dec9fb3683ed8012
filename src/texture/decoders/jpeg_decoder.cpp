// JPEG files through libjpeg, from memory. libjpeg reports errors through a
// longjmp that stays inside this file; warnings and messages are dropped.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "texture/decoders/checked_size.h"
#include "texture/decoders/image_decoders.h"
#include "texture/direct3d_settings.h"

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void on_error(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

void on_message(j_common_ptr, int) {}
void on_output(j_common_ptr) {}

// The whole file is the input. When libjpeg wants more after the end it gets
// the same block again; a truncated scan then meets the start-of-image marker
// at the block's start and ends there. Marker segments whose lengths run past
// the end can make the repeated stream cycle without ever reaching that
// marker, so the repeats are limited: past the budget libjpeg gets
// end-of-image markers, which end any scan or header.
struct MemorySource {
    jpeg_source_mgr pub;
    const JOCTET* bytes;
    size_t size;
    size_t repeat_budget; // bytes that may still be supplied again
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void init_source(j_decompress_ptr) {}
void term_source(j_decompress_ptr) {}

boolean fill_input_buffer(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
    if (src->repeat_budget >= src->size) {
        src->repeat_budget -= src->size;
        src->pub.next_input_byte = src->bytes;
        src->pub.bytes_in_buffer = src->size;
    } else {
        src->repeat_budget = 0;
        src->pub.next_input_byte = kEndOfImage;
        src->pub.bytes_in_buffer = sizeof kEndOfImage;
    }
    return TRUE;
}

void skip_input_data(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
    size_t left = static_cast<size_t>(count);
    while (left > src->pub.bytes_in_buffer) {
        left -= src->pub.bytes_in_buffer;
        fill_input_buffer(cinfo);
        // Out of repeats: stop at the end-of-image marker instead of skipping it.
        if (src->pub.next_input_byte == kEndOfImage)
            return;
    }
    src->pub.next_input_byte += left;
    src->pub.bytes_in_buffer -= left;
}

bool processor_has_mmx()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool has_mmx = __builtin_cpu_supports("mmx");
    return has_mmx;
#else
    return false;
#endif
}

// The fast integer DCT where MMX is missing or switched off in the settings.
bool use_fast_dct()
{
    DWORD disable_mmx = 0;
    const bool disabled = read_direct3d_dword("DisableMMX", &disable_mmx) && disable_mmx != 0;
    return disabled || !processor_has_mmx();
}

// Red, green, blue samples to X8R8G8B8 with the fourth byte 0.
void store_rgb_row(const JSAMPLE* rgb, BYTE* dst, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, rgb += 3, dst += 4) {
        dst[0] = rgb[2];
        dst[1] = rgb[1];
        dst[2] = rgb[0];
        dst[3] = 0;
    }
}

// libjpeg leaves the X byte of its BGRX rows undefined; ours is 0.
void clear_fourth_bytes(BYTE* row, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x)
        row[4 * x + 3] = 0;
}

// Everything that libjpeg may leave by longjmp lives in this function; it
// holds no C++ objects, and the pixel buffer is recorded in the image at once
// so that a failure leaves it to decode_image to free.
HRESULT run_decoder(jpeg_decompress_struct* cinfo, DecodedImage* image)
{
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK)
        return E_FAIL;
    if (use_fast_dct())
        cinfo->dct_method = JDCT_IFAST;
    jpeg_calc_output_dimensions(cinfo);
    const int components = cinfo->output_components;
    if (components != 1 && components != 3)
        return E_FAIL;

    const JDIMENSION width = cinfo->output_width;
    const uint64_t row_pitch = uint64_t(width) * (components == 1 ? 1 : 4);
    uint64_t image_bytes;
    HRESULT hr = decoded_size(cinfo->output_height, row_pitch, &image_bytes);
    if (FAILED(hr))
        return hr;
    image->format = components == 1 ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
    image->width = width;
    image->height = cinfo->output_height;
    image->depth = 1;
    image->row_pitch = static_cast<UINT>(row_pitch);
    image->resource_type = D3DRTYPE_TEXTURE;
    image->file_format = IMAGE_FILE_JPG;
    if (!image->want_pixels)
        return S_OK;

    // libjpeg's own buffers (whole-image coefficients of progressive files)
    // get the same ceiling as the decoded pixels.
    cinfo->mem->max_memory_to_use = static_cast<long>(kMaxDecodedImageBytes);
    BYTE* out = allocate_image_pixels(image, static_cast<size_t>(image_bytes));
    if (!out)
        return E_OUTOFMEMORY;
    // Colour files normally convert straight into blue, green, red, X rows;
    // three channels of unknown meaning go through a red, green, blue row.
    const bool direct = components == 1 || cinfo->out_color_space == JCS_RGB;
    if (components == 3 && direct)
        cinfo->out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(cinfo);
    JSAMPARRAY rgb_row = nullptr;
    if (!direct)
        rgb_row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, width * 3, 1);
    while (cinfo->output_scanline < cinfo->output_height) {
        BYTE* dst = out + uint64_t(cinfo->output_scanline) * row_pitch;
        JSAMPROW row = direct ? dst : rgb_row[0];
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
            return E_FAIL;
        if (!direct)
            store_rgb_row(rgb_row[0], dst, width);
        else if (components == 3)
            clear_fourth_bytes(dst, width);
    }
    // No jpeg_finish_decompress: the pixels are complete, and whatever
    // follows the last scan does not change them.
    return S_OK;
}

} // namespace

HRESULT decode_jpeg(DecodedImage* image, const BYTE* bytes, size_t size)
{
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return E_FAIL;

    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = on_error;
    errors.pub.emit_message = on_message;
    errors.pub.output_message = on_output;
    MemorySource source;
    source.pub.init_source = init_source;
    source.pub.fill_input_buffer = fill_input_buffer;
    source.pub.skip_input_data = skip_input_data;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = term_source;
    source.pub.next_input_byte = bytes;
    source.pub.bytes_in_buffer = size;
    source.bytes = bytes;
    source.size = size;
    // Enough for every scan of a truncated file to run into the repeated
    // start marker, and for long skips over a short block.
    source.repeat_budget = 4 * size + (size_t(1) << 20);

    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return E_FAIL;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.src = &source.pub;
    const HRESULT hr = run_decoder(&cinfo, image);
    jpeg_destroy_decompress(&cinfo);
    return hr;
}
