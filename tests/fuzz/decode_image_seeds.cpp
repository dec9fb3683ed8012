// Writes small seed files for the decode_image fuzz target, one folder per
// decoder (bmp, dib, ppm, dds, jpeg, png, pfm, hdr, tga) under the folder
// given on the command line. JPEG and PNG seeds come from libjpeg's and
// libpng's encoders; the others are put together field by field.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

using Bytes = std::vector<uint8_t>;

void put8(Bytes& b, unsigned v) { b.push_back(uint8_t(v)); }
void le16(Bytes& b, unsigned v)
{
    put8(b, v & 0xFF);
    put8(b, v >> 8 & 0xFF);
}
void le32(Bytes& b, uint32_t v)
{
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}
void be32(Bytes& b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        put8(b, v >> s & 0xFF);
}
void text(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

std::string g_root;

void save(const char* folder, const char* name, const Bytes& bytes)
{
    const std::string dir = g_root + "/" + folder;
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

// A test picture: smooth colours with a few flat bands.
uint8_t sample(int x, int y, int c) { return uint8_t((x * 37 + y * 11 + c * 80) & 0xFF); }

Bytes dib(int width, int height, int bits, uint32_t compression, uint32_t colours, uint32_t header_size = 40)
{
    Bytes b;
    le32(b, header_size);
    le32(b, uint32_t(width));
    le32(b, uint32_t(height));
    le16(b, 1);
    le16(b, bits);
    le32(b, compression);
    le32(b, 0);
    le32(b, 2835);
    le32(b, 2835);
    le32(b, colours);
    le32(b, 0);
    return b;
}

Bytes bmp(const Bytes& info)
{
    Bytes b;
    text(b, "BM");
    le32(b, uint32_t(14 + info.size()));
    le32(b, 0);
    le32(b, 54);
    b.insert(b.end(), info.begin(), info.end());
    return b;
}

void palette(Bytes& b, int count)
{
    for (int i = 0; i < count; ++i) {
        put8(b, i * 3);
        put8(b, i * 5);
        put8(b, i * 7);
        put8(b, 0);
    }
}

void bitmap_seeds()
{
    Bytes b = dib(5, 3, 24, 0, 0);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 3; ++c)
                put8(b, sample(x, y, c));
        put8(b, 0);
    }
    save("bmp", "rgb24.bmp", bmp(b));
    save("dib", "rgb24.dib", b);

    b = dib(4, -2, 32, 0, 0);
    for (int i = 0; i < 8; ++i) {
        put8(b, i);
        put8(b, i * 2);
        put8(b, i * 3);
        put8(b, i == 5 ? 128 : 0);
    }
    save("bmp", "argb32_topdown.bmp", bmp(b));

    b = dib(9, 2, 1, 0, 0);
    palette(b, 2);
    put8(b, 0xA5);
    put8(b, 0x80);
    put8(b, 0);
    put8(b, 0);
    put8(b, 0x5A);
    put8(b, 0x00);
    put8(b, 0);
    put8(b, 0);
    save("bmp", "mono.bmp", bmp(b));

    b = dib(5, 2, 4, 0, 6);
    palette(b, 6);
    for (int i = 0; i < 8; ++i)
        put8(b, 0x12 + i);
    save("bmp", "four_bit.bmp", bmp(b));

    b = dib(6, 3, 8, 1, 4);
    palette(b, 4);
    for (unsigned v : {3u, 1u, 0u, 3u, 1u, 2u, 3u, 0u, 0u, 0u, 2u, 1u, 1u, 0u, 4u, 3u, 1u, 2u, 0u, 0u, 0u, 1u})
        put8(b, v);
    save("bmp", "rle8.bmp", bmp(b));

    b = dib(7, 2, 4, 2, 16);
    palette(b, 16);
    for (unsigned v : {4u, 0x12u, 0u, 3u, 0x34u, 0x50u, 0u, 0u, 0u, 0u, 0u, 2u, 1u, 0u, 7u, 0x11u, 0u, 1u})
        put8(b, v);
    save("bmp", "rle4.bmp", bmp(b));

    b = dib(3, 2, 16, 3, 0, 56);
    le32(b, 0xF800);
    le32(b, 0x7E0);
    le32(b, 0x1F);
    le32(b, 0);
    for (int i = 0; i < 16; ++i)
        put8(b, i * 9);
    save("bmp", "bitfields565.bmp", bmp(b));

    b = dib(2, 2, 32, 3, 0, 52);
    le32(b, 0x3FF);
    le32(b, 0x1FFC00);
    le32(b, 0xFFE00000);
    for (int i = 0; i < 16; ++i)
        put8(b, i * 17);
    save("bmp", "bitfields_generic.bmp", bmp(b));

    Bytes core;
    le32(core, 12);
    le16(core, 3);
    le16(core, 2);
    le16(core, 1);
    le16(core, 8);
    for (int i = 0; i < 256; ++i) {
        put8(core, i);
        put8(core, 255 - i);
        put8(core, i / 2);
    }
    for (int i = 0; i < 8; ++i)
        put8(core, i * 30);
    save("dib", "core8.dib", core);
}

void ppm_seeds()
{
    Bytes b;
    text(b, "P6\n# seed\n3 2\n255\n");
    for (int i = 0; i < 18; ++i)
        put8(b, i * 13);
    save("ppm", "binary.ppm", b);
    b.clear();
    text(b, "P3\n2 2 15\n0 1 2 3 4 5\n# comment\n6 7 8 9 10 15\n");
    save("ppm", "decimal.ppm", b);
}

struct DdsPixelFormat {
    uint32_t flags, four_cc, bits, red, green, blue, alpha;
};

Bytes dds(uint32_t width, uint32_t height, uint32_t depth, uint32_t mips, uint32_t flags, DdsPixelFormat pf,
          uint32_t caps2, size_t data_bytes)
{
    Bytes b;
    text(b, "DDS ");
    le32(b, 124);
    le32(b, flags);
    le32(b, height);
    le32(b, width);
    le32(b, 0);
    le32(b, depth);
    le32(b, mips);
    b.insert(b.end(), 44, 0);
    le32(b, 32);
    le32(b, pf.flags);
    le32(b, pf.four_cc);
    le32(b, pf.bits);
    le32(b, pf.red);
    le32(b, pf.green);
    le32(b, pf.blue);
    le32(b, pf.alpha);
    le32(b, 0x1000);
    le32(b, caps2);
    le32(b, 0);
    le32(b, 0);
    le32(b, 0);
    for (size_t i = 0; i < data_bytes; ++i)
        put8(b, i * 7);
    return b;
}

void dds_seeds()
{
    const DdsPixelFormat argb{0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    save("dds", "argb_mips.dds", dds(4, 4, 0, 3, 0x21007, argb, 0, 64 + 16 + 4));
    const DdsPixelFormat dxt1{0x4, 0x31545844, 0, 0, 0, 0, 0};
    save("dds", "dxt1.dds", dds(8, 4, 0, 2, 0x21007, dxt1, 0, 16 + 8));
    const DdsPixelFormat l8{0x20000, 0, 8, 0xFF, 0, 0, 0};
    save("dds", "cube_l8.dds", dds(2, 2, 0, 1, 0x1007, l8, 0xFE00, 24));
    save("dds", "volume_l8.dds", dds(2, 2, 2, 2, 0x801007, l8, 0, 8 + 1));
    const DdsPixelFormat p8{0x20, 0, 8, 0, 0, 0, 0};
    save("dds", "p8.dds", dds(2, 2, 0, 1, 0x1007, p8, 0, 1024 + 4));
    const DdsPixelFormat r32f{0x4, 114, 0, 0, 0, 0, 0};
    save("dds", "r32f.dds", dds(2, 1, 0, 1, 0x1007, r32f, 0, 8));
}

struct JpegSink {
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
};

Bytes jpeg(int width, int height, int components, bool progressive, int quality)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    JpegSink sink;
    jpeg_mem_dest(&cinfo, &sink.bytes, &sink.size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                row[size_t(x) * components + c] = sample(x, int(cinfo.next_scanline), c);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(sink.bytes, sink.bytes + sink.size);
    jpeg_destroy_compress(&cinfo);
    std::free(sink.bytes);
    return out;
}

void jpeg_seeds()
{
    save("jpeg", "grey.jpg", jpeg(8, 8, 1, false, 75));
    save("jpeg", "colour.jpg", jpeg(16, 8, 3, false, 50));
    save("jpeg", "progressive.jpg", jpeg(16, 16, 3, true, 60));
}

void write_png_bytes(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flush_png(png_structp) {}

Bytes png(int width, int height, int depth, int colour_type, int interlace, bool trns, bool gamma)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, write_png_bytes, flush_png);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colour_type, interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
        png_color colours[5] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
        png_set_PLTE(png, info, colours, depth >= 4 ? 5 : 1 << depth);
    }
    if (trns) {
        png_byte alpha[2] = {0, 128};
        png_color_16 colour{};
        colour.red = colour.green = colour.blue = colour.gray = 1;
        png_set_tRNS(png, info, alpha, colour_type == PNG_COLOR_TYPE_PALETTE ? 2 : 0, &colour);
    }
    if (gamma)
        png_set_gAMA(png, info, 0.45455);
    png_write_info(png, info);
    const int channels = colour_type == PNG_COLOR_TYPE_RGB ? 3
        : colour_type == PNG_COLOR_TYPE_RGB_ALPHA          ? 4
        : colour_type == PNG_COLOR_TYPE_GRAY_ALPHA         ? 2
                                                           : 1;
    const size_t row_bytes = (size_t(width) * channels * depth + 7) / 8;
    std::vector<Bytes> rows(static_cast<size_t>(height), Bytes(row_bytes));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < height; ++y) {
        for (size_t i = 0; i < row_bytes; ++i)
            rows[size_t(y)][i] =
                colour_type == PNG_COLOR_TYPE_PALETTE && depth == 8 ? uint8_t((i + y) % 5) : sample(int(i), y, 0);
        pointers.push_back(rows[size_t(y)].data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void png_seeds()
{
    save("png", "rgb8.png", png(4, 3, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, false, true));
    save("png", "rgba8_interlaced.png", png(9, 9, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_ADAM7, false, false));
    save("png", "palette8_trns.png", png(5, 2, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, true, true));
    save("png", "palette2.png", png(7, 2, 2, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, false, false));
    save("png", "grey1.png", png(10, 2, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, false, false));
    save("png", "grey16_trns.png", png(3, 2, 16, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, true, false));
    save("png", "grey_alpha16.png", png(2, 2, 16, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_INTERLACE_NONE, false, false));
    save("png", "rgb16_trns.png", png(2, 2, 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, true, false));
}

void pfm_seeds()
{
    Bytes b;
    text(b, "PF\n2 2\n-1.0\n");
    for (int i = 0; i < 12; ++i) {
        const float f = float(i) / 4;
        uint32_t v;
        std::memcpy(&v, &f, 4);
        le32(b, v);
    }
    save("pfm", "colour_le.pfm", b);
    b.clear();
    text(b, "Pf\n3 1\n1.5\n");
    for (int i = 0; i < 3; ++i) {
        const float f = float(i) * 2;
        uint32_t v;
        std::memcpy(&v, &f, 4);
        be32(b, v);
    }
    save("pfm", "grey_be.pfm", b);
}

void hdr_seeds()
{
    Bytes b;
    text(b, "#?RADIANCE\n# seed\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.5\n\n-Y 2 +X 8\n");
    for (int line = 0; line < 2; ++line) {
        put8(b, 2);
        put8(b, 2);
        put8(b, 0);
        put8(b, 8);
        for (int c = 0; c < 4; ++c) {
            put8(b, 128 + 4);
            put8(b, 100 + c);
            put8(b, 4);
            for (int i = 0; i < 4; ++i)
                put8(b, 120 + i + c);
        }
    }
    save("hdr", "rle.hdr", b);
    b.clear();
    text(b, "#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n+X 3 -Y 2\n");
    for (unsigned v : {10u, 20u, 30u, 130u, 1u,  1u,  1u,  1u,   40u, 50u, 60u, 128u,
                       1u,  1u,  1u,  1u,   70u, 80u, 90u, 129u, 5u,  6u,  7u,  131u})
        put8(b, v);
    save("hdr", "flat.hdr", b);
}

Bytes tga_header(int type, int width, int height, int bits, int descriptor, int map_type, int map_length, int map_bits)
{
    Bytes b;
    put8(b, 3);
    put8(b, map_type);
    put8(b, type);
    le16(b, 0);
    le16(b, map_length);
    put8(b, map_bits);
    le16(b, 0);
    le16(b, 0);
    le16(b, width);
    le16(b, height);
    put8(b, bits);
    put8(b, descriptor);
    text(b, "ids");
    return b;
}

void tga_seeds()
{
    Bytes b = tga_header(2, 3, 2, 24, 0x20, 0, 0, 0);
    for (int i = 0; i < 18; ++i)
        put8(b, i * 11);
    save("tga", "rgb24_top.tga", b);
    b = tga_header(10, 4, 3, 32, 0x00, 0, 0, 0);
    for (unsigned v :
         {0x83u, 1u, 2u, 3u, 4u, 0x02u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 16u, 0x85u, 0u, 0u, 0u, 0u})
        put8(b, v);
    save("tga", "rle32_bottom.tga", b);
    b = tga_header(9, 3, 2, 8, 0x30, 1, 4, 16);
    for (int i = 0; i < 8; ++i)
        put8(b, i * 31);
    for (unsigned v : {0x81u, 1u, 0x03u, 0u, 2u, 3u, 1u})
        put8(b, v);
    save("tga", "mapped_rle.tga", b);
    b = tga_header(3, 2, 2, 8, 0x10, 0, 0, 0);
    for (int i = 0; i < 4; ++i)
        put8(b, i * 60);
    save("tga", "grey_right_to_left.tga", b);
    b = tga_header(2, 2, 1, 16, 0x20, 0, 0, 0);
    le16(b, 0x7C00);
    le16(b, 0x83E0);
    save("tga", "argb1555.tga", b);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: decode_image_seeds DIR\n");
        return 2;
    }
    g_root = argv[1];
    bitmap_seeds();
    ppm_seeds();
    dds_seeds();
    jpeg_seeds();
    png_seeds();
    pfm_seeds();
    hdr_seeds();
    tga_seeds();
    return 0;
}
