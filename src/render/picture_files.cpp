#include "render/picture_files.h"

#include <jpeglib.h>
#include <png.h>
#include <strings.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace {

// The three bytes of a pixel, red first.
void rgb_row(const uint32_t* source, UINT width, uint8_t* row)
{
    for (UINT x = 0; x < width; ++x) {
        row[3 * x] = uint8_t(source[x] >> 16);
        row[3 * x + 1] = uint8_t(source[x] >> 8);
        row[3 * x + 2] = uint8_t(source[x]);
    }
}

// libpng reports its errors by longjmp, which stays inside this function;
// its messages are not printed, and a failed write keeps the system's
// reason for the caller.
struct PngOutput {
    std::FILE* file;
    int error = 0; // errno of the write that failed
};

void png_write_bytes(png_structp png, png_bytep bytes, png_size_t length)
{
    auto* out = static_cast<PngOutput*>(png_get_io_ptr(png));
    if (std::fwrite(bytes, 1, length, out->file) != length) {
        out->error = errno ? errno : EIO;
        png_error(png, "write");
    }
}

void png_flush_nothing(png_structp) {}

void png_quiet_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void png_quiet_warning(png_structp, png_const_charp) {}

bool write_png(std::FILE* out, std::span<const uint32_t> pixels, UINT width, UINT height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_quiet_error, png_quiet_warning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row(size_t(width) * 3);
    PngOutput output{out};
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        errno = output.error;
        return false;
    }
    png_set_write_fn(png, &output, png_write_bytes, png_flush_nothing);
    // The pictures are large flat areas: a fast setting compresses them
    // nearly as well as the default and several times sooner.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (UINT y = 0; y < height; ++y) {
        rgb_row(pixels.data() + size_t(y) * width, width, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// libjpeg's fatal errors jump back here instead of ending the program.
// A failed write keeps the system's reason, taken before anything else runs.
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    int error = 0;
};

void jpeg_fail(j_common_ptr info)
{
    auto* error = reinterpret_cast<JpegError*>(info->err);
    error->error = errno;
    std::longjmp(error->back, 1);
}

constexpr int kJpegQuality = 92;

bool write_jpeg(std::FILE* out, std::span<const uint32_t> pixels, UINT width, UINT height)
{
    // JPEG sides are 16-bit.
    if (width > 65500 || height > 65500)
        return false;
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpeg_fail;
    std::vector<JSAMPLE> row(size_t(width) * 3);
    if (setjmp(error.back)) {
        jpeg_destroy_compress(&info);
        errno = error.error;
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < height) {
        rgb_row(pixels.data() + size_t(info.next_scanline) * width, width, row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::ferror(out) == 0;
}

void put_le(std::vector<uint8_t>& bytes, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes.push_back(uint8_t(value >> (8 * i)));
}

// A 24-bit bitmap: rows bottom first, blue first, each padded to 4 bytes.
bool write_bmp(std::FILE* out, std::span<const uint32_t> pixels, UINT width, UINT height)
{
    const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    const uint64_t image_size = stride * height;
    if (image_size + 54 > 0xFFFFFFFFu || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return false;
    std::vector<uint8_t> header;
    header.push_back('B');
    header.push_back('M');
    put_le(header, uint32_t(54 + image_size), 4);
    put_le(header, 0, 4);  // reserved
    put_le(header, 54, 4); // offset of the pixels
    put_le(header, 40, 4); // size of the info header
    put_le(header, width, 4);
    put_le(header, height, 4); // positive: bottom row first
    put_le(header, 1, 2);      // planes
    put_le(header, 24, 2);     // bits per pixel
    put_le(header, 0, 4);      // no compression
    put_le(header, uint32_t(image_size), 4);
    put_le(header, 2835, 4); // 72 dots per inch
    put_le(header, 2835, 4);
    put_le(header, 0, 4); // no palette
    put_le(header, 0, 4);
    if (std::fwrite(header.data(), 1, header.size(), out) != header.size())
        return false;
    std::vector<uint8_t> row(stride, 0);
    for (UINT y = height; y-- > 0;) {
        const uint32_t* source = pixels.data() + size_t(y) * width;
        for (UINT x = 0; x < width; ++x) {
            row[3 * x] = uint8_t(source[x]);
            row[3 * x + 1] = uint8_t(source[x] >> 8);
            row[3 * x + 2] = uint8_t(source[x] >> 16);
        }
        if (std::fwrite(row.data(), 1, row.size(), out) != row.size())
            return false;
    }
    return true;
}

bool write_ppm(std::FILE* out, std::span<const uint32_t> pixels, UINT width, UINT height)
{
    if (std::fprintf(out, "P6\n%u %u\n255\n", width, height) < 0)
        return false;
    std::vector<uint8_t> row(size_t(width) * 3);
    for (UINT y = 0; y < height; ++y) {
        rgb_row(pixels.data() + size_t(y) * width, width, row.data());
        if (std::fwrite(row.data(), 1, row.size(), out) != row.size())
            return false;
    }
    return true;
}

struct FormatRow {
    PictureFormat format;
    const char* name;
    const char* extensions[2]; // with the dot; the first is the usual one
    bool (*write)(std::FILE*, std::span<const uint32_t>, UINT, UINT);
};

constexpr FormatRow kFormats[] = {
    {PictureFormat::png, "PNG", {".png", nullptr}, write_png},
    {PictureFormat::jpeg, "JPEG", {".jpg", ".jpeg"}, write_jpeg},
    {PictureFormat::bmp, "BMP", {".bmp", nullptr}, write_bmp},
    {PictureFormat::ppm, "PPM", {".ppm", nullptr}, write_ppm},
};

bool ends_with(const char* text, const char* end)
{
    const size_t n = std::strlen(text), m = std::strlen(end);
    return n >= m && strcasecmp(text + n - m, end) == 0;
}

} // namespace

bool write_picture(std::FILE* out, PictureFormat format, std::span<const uint32_t> pixels, UINT width, UINT height)
{
    if (pixels.size() < size_t(width) * height)
        return false;
    for (const FormatRow& row : kFormats) {
        if (row.format == format) {
            errno = 0;
            return row.write(out, pixels, width, height);
        }
    }
    return false;
}

bool picture_format_of(const char* path, PictureFormat* format)
{
    const char* name = std::strrchr(path, '/');
    name = name ? name + 1 : path;
    const char* dot = std::strrchr(name, '.');
    if (!dot || dot == name) { // a dot file has no extension either
        *format = PictureFormat::png;
        return true;
    }
    for (const FormatRow& row : kFormats)
        for (const char* extension : row.extensions)
            if (extension && ends_with(path, extension)) {
                *format = row.format;
                return true;
            }
    return false;
}

std::vector<std::string> picture_extensions()
{
    std::vector<std::string> all;
    for (const FormatRow& row : kFormats)
        for (const char* extension : row.extensions)
            if (extension)
                all.push_back(extension);
    return all;
}

std::string picture_dialog_filter()
{
    std::string filter;
    for (const FormatRow& row : kFormats) {
        filter += row.name;
        filter += '\0';
        for (size_t i = 0; i < 2 && row.extensions[i]; ++i)
            filter += std::string(i ? ";*" : "*") + row.extensions[i];
        filter += '\0';
    }
    filter += '\0';
    return filter;
}
