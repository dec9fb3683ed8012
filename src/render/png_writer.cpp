#include "render/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <vector>

// libpng reports its errors by longjmp, which stays inside this function.
bool write_png(std::FILE* out, std::span<const uint32_t> pixels, UINT width, UINT height)
{
    if (pixels.size() < size_t(width) * height)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row(size_t(width) * 3);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    // The pictures are large flat areas: a fast setting compresses them
    // nearly as well as the default and several times sooner.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (UINT y = 0; y < height; ++y) {
        const uint32_t* source = pixels.data() + size_t(y) * width;
        for (UINT x = 0; x < width; ++x) {
            row[3 * x] = png_byte(source[x] >> 16);
            row[3 * x + 1] = png_byte(source[x] >> 8);
            row[3 * x + 2] = png_byte(source[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
