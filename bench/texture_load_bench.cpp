// load_texture_file end to end, file to filled mip chain, on the default
// software device: a 2048 x 2048 24-bit bitmap (level 0 copied), a
// 1500 x 1000 one (level 0 resampled to 2048 x 1024), and two 64-byte
// run-length bitmaps that decode to a gigabyte of pixels (1 x 268,435,456
// and 4,194,311 x 245), which must not hold the viewer up for long.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/offscreen_device.h"
#include "texture/texture_loader.h"

namespace {

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

Bytes bitmap_header(int32_t width, int32_t height, int bits, uint32_t compression, uint32_t colours, size_t data_bytes)
{
    const size_t table = colours * 4;
    Bytes b = {'B', 'M'};
    le32(b, uint32_t(54 + table + data_bytes));
    le32(b, 0);
    le32(b, uint32_t(54 + table));
    le32(b, 40);
    le32(b, uint32_t(width));
    le32(b, uint32_t(height));
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

// A 24-bit bitmap of smooth gradients with some noise, as photographs are.
Bytes bmp24(int width, int height)
{
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    Bytes b = bitmap_header(width, height, 24, 0, 0, stride * height);
    uint32_t noise = 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            b.push_back(uint8_t(x * 255 / width + (noise >> 29)));
            b.push_back(uint8_t(y * 255 / height + (noise >> 30)));
            b.push_back(uint8_t((x + y) / 16));
        }
        b.resize(b.size() + stride - size_t(width) * 3);
    }
    return b;
}

// 64 bytes: one colour-table entry, a run of 255 pixels, end of bitmap.
// The rows are stored top row first, so the run goes on into the rows below.
Bytes rle8(int32_t width, int32_t height)
{
    Bytes b = bitmap_header(width, height, 8, 1, 1, 6);
    b.insert(b.end(), {40, 80, 120, 0});
    b.insert(b.end(), {255, 0, 0, 1, 0, 1});
    return b;
}

std::string write_file(const std::string& name, const Bytes& bytes)
{
    const std::string path = "/tmp/varnel-bench-" + std::to_string(::getpid()) + "-" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        std::abort();
    return path;
}

void load(benchmark::State& state, const Bytes& file)
{
    const std::string path = write_file(std::to_string(state.range(0)), file);
    OffscreenDevice device;
    if (FAILED(device.result()))
        std::abort();
    for (auto _ : state) {
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(load_texture_file(device.get(), path.c_str(), &texture)))
            state.SkipWithError("load_texture_file failed");
        else
            texture->Release();
    }
    std::remove(path.c_str());
}

void BM_Bmp24_2048x2048(benchmark::State& state) { load(state, bmp24(2048, 2048)); }
void BM_Bmp24_1500x1000(benchmark::State& state) { load(state, bmp24(1500, 1000)); }
void BM_Rle8_1x268435456(benchmark::State& state) { load(state, rle8(1, -268435456)); }
void BM_Rle8_4194311x245(benchmark::State& state) { load(state, rle8(4194311, -245)); }

BENCHMARK(BM_Bmp24_2048x2048)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bmp24_1500x1000)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rle8_1x268435456)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Rle8_4194311x245)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
