// PNG files through libpng, from memory through a read function. libpng
// reports errors through a longjmp that stays inside this file.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "texture/decoders/checked_size.h"
#include "texture/decoders/image_decoders.h"

namespace {

constexpr double kScreenGamma = 2.2;
constexpr double kGammaEpsilon = 0.000001;

struct MemoryInput {
    const BYTE* bytes;
    size_t size;
    size_t position;
};

void read_bytes(png_structp png, png_bytep out, size_t count)
{
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (count > in->size - in->position)
        png_error(png, "read error");
    std::memcpy(out, in->bytes + in->position, count);
    in->position += count;
}

[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void on_warning(png_structp, png_const_charp) {}

// The format before transparency expansion, from colour type and depth.
bool base_format(int colour_type, int depth, D3DFORMAT* format)
{
    const bool wide = depth == 16;
    switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY:
        *format = wide ? D3DFMT_L16 : D3DFMT_L8;
        return true;
    case PNG_COLOR_TYPE_RGB:
        *format = wide ? LOADER_FMT_R16 : D3DFMT_X8R8G8B8;
        return true;
    case PNG_COLOR_TYPE_PALETTE:
        *format = D3DFMT_P8;
        return !wide;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        *format = wide ? LOADER_FMT_AL16 : D3DFMT_A8L8;
        return true;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        *format = wide ? D3DFMT_A16B16G16R16 : D3DFMT_A8R8G8B8;
        return true;
    default:
        return false;
    }
}

D3DFORMAT with_alpha(D3DFORMAT format)
{
    switch (static_cast<DWORD>(format)) {
    case D3DFMT_X8R8G8B8:
        return D3DFMT_A8R8G8B8;
    case D3DFMT_L8:
        return D3DFMT_A8L8;
    case D3DFMT_L16:
        return LOADER_FMT_AL16;
    case LOADER_FMT_R16:
        return D3DFMT_A16B16G16R16;
    default:
        return format;
    }
}

unsigned expected_channels(D3DFORMAT format)
{
    switch (static_cast<DWORD>(format)) {
    case LOADER_FMT_R16:
        return 3;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A16B16G16R16:
        return 4;
    case D3DFMT_A8L8:
    case LOADER_FMT_AL16:
        return 2;
    default:
        return 1;
    }
}

// The palette as it is before libpng's transformations touch it.
struct PaletteCopy {
    int count = 0;
    png_color colours[256];
    int alpha_count = 0;
    png_byte alpha[256];
};

void copy_palette(png_structp png, png_infop info, PaletteCopy* copy)
{
    png_colorp colours = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &colours, &count) && colours) {
        copy->count = count < 256 ? count : 256;
        std::memcpy(copy->colours, colours, sizeof(png_color) * copy->count);
    }
    png_bytep alpha = nullptr;
    int alpha_count = 0;
    if (png_get_tRNS(png, info, &alpha, &alpha_count, nullptr) && alpha) {
        copy->alpha_count = alpha_count < 256 ? alpha_count : 256;
        std::memcpy(copy->alpha, alpha, copy->alpha_count);
    }
}

BYTE gamma_corrected(BYTE c, double exponent)
{
    return static_cast<BYTE>(std::floor(255.0 * std::pow(c / 255.0, exponent) + 0.5));
}

void fill_palette(BYTE* palette, const PaletteCopy& copy, double file_gamma, bool gamma_on)
{
    const double exponent = gamma_on ? 1.0 / (file_gamma * kScreenGamma) : 1.0;
    for (int i = 0; i < copy.count; ++i) {
        const png_color& c = copy.colours[i];
        BYTE* entry = palette + 4 * i;
        entry[0] = gamma_on ? gamma_corrected(c.red, exponent) : c.red;
        entry[1] = gamma_on ? gamma_corrected(c.green, exponent) : c.green;
        entry[2] = gamma_on ? gamma_corrected(c.blue, exponent) : c.blue;
        entry[3] = i < copy.alpha_count ? copy.alpha[i] : 255;
    }
}

struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytepp rows = nullptr;
    PaletteCopy palette;
};

// All of libpng's work; a libpng error leaves it by longjmp. It holds no C++
// objects, and every allocation sits in the state or the image for cleanup.
HRESULT run_decoder(PngState* s, DecodedImage* image)
{
    png_structp png = s->png;
    png_infop info = s->info;
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colour_type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour_type, nullptr, nullptr, nullptr);
    D3DFORMAT format;
    if (!base_format(colour_type, depth, &format))
        return E_FAIL;
    const bool palettised = format == D3DFMT_P8;
    const bool transparency = !palettised && png_get_valid(png, info, PNG_INFO_tRNS);

    if (depth < 8) {
        if (palettised)
            png_set_packing(png);
        else
            png_set_expand_gray_1_2_4_to_8(png);
    }
    if (depth == 16)
        png_set_swap(png);
    if (transparency) {
        png_set_tRNS_to_alpha(png);
        format = with_alpha(format);
    }
    if (format == D3DFMT_X8R8G8B8)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    if (format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == LOADER_FMT_R16)
        png_set_bgr(png);

    double file_gamma = 0.0;
    int intent = 0;
    bool gamma_on = false;
    if (png_get_sRGB(png, info, &intent)) {
        // sRGB files are shown as they are; the intent changes nothing here.
    } else if (png_get_gAMA(png, info, &file_gamma) && file_gamma > kGammaEpsilon) {
        png_set_gamma(png, kScreenGamma, file_gamma);
        gamma_on = true;
    }
    if (palettised)
        copy_palette(png, info, &s->palette);

    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != expected_channels(format))
        return E_FAIL;
    const size_t row_bytes = png_get_rowbytes(png, info);
    uint64_t image_bytes;
    HRESULT hr = decoded_size(height, row_bytes, &image_bytes);
    if (FAILED(hr) || row_bytes > 0xFFFFFFFFu)
        return E_OUTOFMEMORY;

    image->format = format;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->row_pitch = static_cast<UINT>(row_bytes);
    image->resource_type = D3DRTYPE_TEXTURE;
    image->file_format = IMAGE_FILE_PNG;
    if (!image->want_pixels)
        return S_OK;

    if (palettised) {
        BYTE* palette = allocate_image_palette(image);
        if (!palette)
            return E_OUTOFMEMORY;
        fill_palette(palette, s->palette, file_gamma, gamma_on);
    }
    BYTE* out = allocate_image_pixels(image, static_cast<size_t>(image_bytes));
    s->rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * (height ? height : 1)));
    if (!out || !s->rows)
        return E_OUTOFMEMORY;
    for (png_uint_32 y = 0; y < height; ++y)
        s->rows[y] = out + uint64_t(y) * row_bytes;
    png_read_image(png, s->rows);
    return S_OK;
}

HRESULT decode_with(PngState* s, MemoryInput* input, DecodedImage* image)
{
    if (setjmp(png_jmpbuf(s->png)))
        return E_FAIL;
    png_set_read_fn(s->png, input, read_bytes);
    return run_decoder(s, image);
}

} // namespace

HRESULT decode_png(DecodedImage* image, const BYTE* bytes, size_t size)
{
    if (size < 8 || png_sig_cmp(bytes, 0, 8) != 0)
        return E_FAIL;
    PngState s;
    // The read structure must be made for the libpng we are built against.
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!s.png)
        return E_OUTOFMEMORY;
    s.info = png_create_info_struct(s.png);
    HRESULT hr = E_OUTOFMEMORY;
    if (s.info) {
        MemoryInput input{bytes, size, 0};
        hr = decode_with(&s, &input, image);
    }
    png_destroy_read_struct(&s.png, s.info ? &s.info : nullptr, nullptr);
    std::free(s.rows);
    return hr;
}
