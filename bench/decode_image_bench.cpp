// decode_image on one 4096 x 4096 picture stored four ways: a 24-bit
// bottom-up bitmap (every row copied), an RLE8 bitmap, a PNG and a JPEG.
// The files are made in memory once; each iteration decodes and releases.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include "texture/decoders/decoded_image.h"

namespace {

constexpr int kSize = 4096;
using Bytes = std::vector<uint8_t>;

void le16(Bytes& b, unsigned v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void le32(Bytes& b, uint32_t v)
{
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}

// 256 colours in rings and a checkerboard of 128-pixel squares: runs of a
// few dozen pixels, as in drawn textures.
struct Picture {
    std::vector<uint8_t> index; // kSize x kSize, top row first
    uint8_t colours[256][3];    // red, green, blue
};

const Picture& picture()
{
    static const Picture p = [] {
        Picture p;
        p.index.resize(size_t(kSize) * kSize);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const long dx = x - kSize / 2, dy = y - kSize / 2;
                p.index[size_t(y) * kSize + x] = uint8_t(((dx * dx + dy * dy) >> 13) + ((x >> 7 ^ y >> 7) & 1) * 97);
            }
        for (int i = 0; i < 256; ++i) {
            p.colours[i][0] = uint8_t(i);
            p.colours[i][1] = uint8_t(i * 7);
            p.colours[i][2] = uint8_t(255 - i);
        }
        return p;
    }();
    return p;
}

Bytes bitmap_header(int bits, uint32_t compression, uint32_t colours, size_t data_bytes)
{
    const size_t table = colours * 4;
    Bytes b = {'B', 'M'};
    le32(b, uint32_t(54 + table + data_bytes));
    le32(b, 0);
    le32(b, uint32_t(54 + table));
    le32(b, 40);
    le32(b, kSize);
    le32(b, kSize);
    le16(b, 1);
    le16(b, bits);
    le32(b, compression);
    le32(b, uint32_t(data_bytes));
    le32(b, 2835);
    le32(b, 2835);
    le32(b, colours);
    le32(b, 0);
    return b;
}

Bytes bmp24()
{
    const Picture& p = picture();
    Bytes b = bitmap_header(24, 0, 0, size_t(kSize) * kSize * 3);
    for (int y = kSize - 1; y >= 0; --y)
        for (int x = 0; x < kSize; ++x) {
            const uint8_t* c = p.colours[p.index[size_t(y) * kSize + x]];
            b.push_back(c[2]);
            b.push_back(c[1]);
            b.push_back(c[0]);
        }
    return b;
}

Bytes rle8()
{
    const Picture& p = picture();
    Bytes stream;
    for (int y = kSize - 1; y >= 0; --y) {
        const uint8_t* row = &p.index[size_t(y) * kSize];
        for (int x = 0; x < kSize;) {
            int run = 1;
            while (x + run < kSize && run < 255 && row[x + run] == row[x])
                ++run;
            stream.push_back(uint8_t(run));
            stream.push_back(row[x]);
            x += run;
        }
        stream.push_back(0);
        stream.push_back(y ? 0 : 1);
    }
    Bytes b = bitmap_header(8, 1, 256, stream.size());
    for (const auto& c : p.colours) {
        b.push_back(c[2]);
        b.push_back(c[1]);
        b.push_back(c[0]);
        b.push_back(0);
    }
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

std::vector<uint8_t> rgb_row(int y)
{
    const Picture& p = picture();
    std::vector<uint8_t> row(size_t(kSize) * 3);
    for (int x = 0; x < kSize; ++x)
        for (int k = 0; k < 3; ++k)
            row[size_t(x) * 3 + k] = p.colours[p.index[size_t(y) * kSize + x]][k];
    return row;
}

void append_png_bytes(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flush_png(png_structp) {}

Bytes png()
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, append_png_bytes, flush_png);
    png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kSize; ++y) {
        std::vector<uint8_t> row = rgb_row(y);
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes jpeg()
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &bytes, &size);
    cinfo.image_width = kSize;
    cinfo.image_height = kSize;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        std::vector<uint8_t> row = rgb_row(int(cinfo.next_scanline));
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(bytes, bytes + size);
    jpeg_destroy_compress(&cinfo);
    std::free(bytes);
    return out;
}

void decode(benchmark::State& state, const Bytes& file)
{
    for (auto _ : state) {
        DecodedImage image;
        if (decode_image(file.data(), file.size(), TRUE, &image) != S_OK) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(image.pixels);
        release_decoded_image(&image);
    }
    state.counters["file_MB"] = double(file.size()) / 1e6;
    state.counters["Mpixel"] =
        benchmark::Counter(double(kSize) * kSize / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeBmp24BottomUp(benchmark::State& state)
{
    static const Bytes file = bmp24();
    decode(state, file);
}

void BM_DecodeBmpRle8(benchmark::State& state)
{
    static const Bytes file = rle8();
    decode(state, file);
}

void BM_DecodePng(benchmark::State& state)
{
    static const Bytes file = png();
    decode(state, file);
}

void BM_DecodeJpeg(benchmark::State& state)
{
    static const Bytes file = jpeg();
    decode(state, file);
}

BENCHMARK(BM_DecodeBmp24BottomUp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmpRle8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
