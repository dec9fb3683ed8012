// Filling texture levels on the software device, one benchmark per path:
//   Triangle1500x1000  a 24-bit 1500 x 1000 image resampled into a 2048 x
//                      1024 X8R8G8B8 level (filter 0x80004), then the box
//                      chain below it (filter 5), as the loader does;
//   Copy2048x2048      a 2048 x 2048 X8R8G8B8 image copied into level 0,
//                      then its box chain;
//   Tall1x268435456    a P8 image of 1 x 2^28 pixels into a 1 x 4096 level;
//   Wide4194311x245    a P8 image of 4,194,311 x 245 pixels into 4096 x 256.
// The last two are what tiny run-length bitmaps can decode to (1 GiB each);
// their images are made once, outside the timing. Their CPU column counts
// both threads of the process.
#include <cstring>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/offscreen_window.h"
#include "texture/decoders/decoded_image.h"
#include "texture/texture_fill.h"

namespace {

struct Device {
    OffscreenWindow window{8, 8};
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;

    Device()
    {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p;
        std::memset(&p, 0, sizeof p);
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                          &device);
    }
    ~Device()
    {
        device->Release();
        d3d->Release();
    }
};

struct Image {
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> palette;
    DecodedImage image{};

    Image(D3DFORMAT format, UINT width, UINT height, UINT pitch)
    {
        pixels.resize(size_t(pitch) * height);
        image.format = format;
        image.width = width;
        image.height = height;
        image.depth = 1;
        image.region = ImageRegion{0, 0, width, height, 0, 1};
        image.row_pitch = pitch;
        image.pixels = pixels.data();
        if (format == D3DFMT_P8) {
            palette.resize(1024);
            for (int i = 0; i < 256; ++i) {
                const uint8_t entry[4] = {uint8_t(i), uint8_t(i * 7), uint8_t(255 - i), 255};
                std::memcpy(&palette[i * 4], entry, 4);
            }
            image.palette = palette.data();
        }
    }

    // Smooth gradients with some noise, like a photograph.
    void fill_picture(UINT bytes_per_pixel)
    {
        std::mt19937 random(1);
        for (UINT y = 0; y < image.height; ++y) {
            uint8_t* row = pixels.data() + size_t(y) * image.row_pitch;
            for (size_t x = 0; x < size_t(image.width) * bytes_per_pixel; ++x) {
                row[x] = static_cast<uint8_t>((x / bytes_per_pixel + y) / 8 + (random() & 7));
            }
        }
    }
};

IDirect3DTexture9* make_texture(IDirect3DDevice9* device, UINT width, UINT height, UINT levels)
{
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(width, height, levels, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    return texture;
}

HRESULT fill_level0(IDirect3DTexture9* texture, const DecodedImage& image, DWORD filter)
{
    IDirect3DSurface9* surface = nullptr;
    HRESULT hr = texture->GetSurfaceLevel(0, &surface);
    if (SUCCEEDED(hr)) {
        hr = load_surface_from_image(surface, &image, filter, 0);
        surface->Release();
    }
    return hr;
}

// Level 0 from the image, then the box chain under it.
void LevelAndChain(benchmark::State& state, D3DFORMAT format, UINT width, UINT height, UINT bytes_per_pixel,
                   UINT level_width, UINT level_height)
{
    Device d;
    Image image(format, width, height, width * bytes_per_pixel);
    image.fill_picture(bytes_per_pixel);
    IDirect3DTexture9* texture = make_texture(d.device, level_width, level_height, 0);
    for (auto _ : state) {
        if (FAILED(fill_level0(texture, image.image, 0x80004)) || FAILED(generate_mip_levels(texture, 0, 5))) {
            state.SkipWithError("fill failed");
            break;
        }
    }
    texture->Release();
}

void Triangle1500x1000(benchmark::State& state) { LevelAndChain(state, D3DFMT_R8G8B8, 1500, 1000, 3, 2048, 1024); }
BENCHMARK(Triangle1500x1000)->Unit(benchmark::kMillisecond);

void Copy2048x2048(benchmark::State& state) { LevelAndChain(state, D3DFMT_X8R8G8B8, 2048, 2048, 4, 2048, 2048); }
BENCHMARK(Copy2048x2048)->Unit(benchmark::kMillisecond);

// A huge P8 image into one level; the image (1 GiB) is shared by the runs.
void Huge(benchmark::State& state, UINT width, UINT height, UINT pitch, UINT level_width, UINT level_height)
{
    static Image* image = nullptr;
    if (!image || image->image.width != width) {
        delete image;
        image = new Image(D3DFMT_P8, width, height, pitch);
        for (size_t i = 0; i < image->pixels.size(); ++i) {
            image->pixels[i] = static_cast<uint8_t>((i >> 12) + i % 7);
        }
    }
    Device d;
    IDirect3DTexture9* texture = make_texture(d.device, level_width, level_height, 1);
    for (auto _ : state) {
        if (FAILED(fill_level0(texture, image->image, 0x80004))) {
            state.SkipWithError("fill failed");
            break;
        }
    }
    texture->Release();
}

void Tall1x268435456(benchmark::State& state) { Huge(state, 1, 268435456, 4, 1, 4096); }
BENCHMARK(Tall1x268435456)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->MeasureProcessCPUTime();

void Wide4194311x245(benchmark::State& state) { Huge(state, 4194311, 245, 4194312, 4096, 256); }
BENCHMARK(Wide4194311x245)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
