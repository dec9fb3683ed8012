// One frame of the viewer's scene on the software device at 1024 x 768
// (or --size), from Clear to Present: the 201 x 201 surface (80,000
// textured triangles, 256 x 256 texture), the 4,400 grid-line segments and
// the 400-segment marker cross, uploaded, drawn and set up as the renderer
// does.
//
//   build/bin/bench_software_device --benchmark_repetitions=15
//   build/bin/bench_software_device --camera 30 45 30   (that camera only)
//   build/bin/bench_software_device --camera 30 45 30 --size 3840x2160 --threads 2
//   build/bin/bench_software_device --camera 30 45 30 --ppm frame.ppm [--threads 1]
//   build/bin/bench_software_device --camera 30 0 30 --threads 2 --sweep 15 21   (every 15 degrees of azimuth)
//
// Without --threads each camera runs with the device's own choice of
// threads (one per core) and with one thread; --threads N (0: the device's
// choice) runs that number only, under the first name.
//
// The "Top" camera is the viewer's default (straight down from the farthest
// distance); "Oblique" looks at the surface from the side at a middle
// distance, where it fills more of the frame; "Near" comes closer still.
// bench/device_vs_llvmpipe.sh draws the same frame with Mesa's llvmpipe.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/d3d9/offscreen_window.h"
#include "render/device_scene.h"
#include "viewer_scene.h"

namespace {

using namespace viewer_scene;

class DeviceScene {
public:
    DeviceScene() : window_(UINT(frame_size().width), UINT(frame_size().height))
    {
        d3d_ = Direct3DCreate9(31);
        D3DPRESENT_PARAMETERS params;
        std::memset(&params, 0, sizeof params);
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = TRUE;
        params.EnableAutoDepthStencil = TRUE;
        params.AutoDepthStencilFormat = D3DFMT_D16;
        params.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
        d3d_->CreateDevice(0, D3DDEVTYPE_HAL, &window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_);
        device_->GetDeviceCaps(&caps_);
        apply_fixed_states(device_);
        const D3DMATRIX projection_matrix = to_device_matrix(projection());
        device_->SetTransform(D3DTS_PROJECTION, &projection_matrix);
        const std::vector<double> heights = scene_heights();
        const NodeGrid grid = grid_of(heights);
        upload_surface(&batches_[0], device_, grid);
        upload_grid_lines(&batches_[1], device_, grid);
        upload_marker(&batches_[2], device_, grid, kMarker);
        make_texture();
    }

    ~DeviceScene()
    {
        for (DrawBatch& batch : batches_) {
            release_batch(&batch);
        }
        device_->Release();
        d3d_->Release();
    }

    void set_camera(int radius, int azimuth, int elevation)
    {
        const D3DMATRIX view = to_device_matrix(camera(radius, azimuth, elevation));
        device_->SetTransform(D3DTS_VIEW, &view);
        order_ = surface_order_for(radius, azimuth, elevation);
    }

    void render()
    {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
        device_->BeginScene();
        for (const DrawBatch& batch : batches_) {
            draw_batch(device_, &batch, primitive_limit(caps_), order_);
        }
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
    }

    const OffscreenWindow& window() const { return window_; }

private:
    // A full mip chain, every level the checker of its own size.
    void make_texture()
    {
        IDirect3DTexture9*& texture = batches_[0].texture;
        device_->CreateTexture(kTextureSize, kTextureSize, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
        for (DWORD level = 0; level < texture->GetLevelCount(); ++level) {
            D3DSURFACE_DESC desc;
            texture->GetLevelDesc(level, &desc);
            D3DLOCKED_RECT locked;
            texture->LockRect(level, &locked, nullptr, 0);
            for (UINT y = 0; y < desc.Height; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
                for (UINT x = 0; x < desc.Width; ++x) {
                    row[x] = checker_texel(x, y);
                }
            }
            texture->UnlockRect(level);
        }
    }

    OffscreenWindow window_;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    D3DCAPS9 caps_{};
    int order_ = 0;
    DrawBatch batches_[3] = {}; // surface, grid lines, marker
};

// Threads 0 lets the device choose (every core for large draws); 1 draws on
// the caller's thread alone, to see the total work.
std::unique_ptr<DeviceScene> scene_for(int radius, int azimuth, int elevation, UINT threads)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.raster_threads = threads;
    d3d9_test_set_profile(profile);
    auto scene = std::make_unique<DeviceScene>();
    d3d9_test_reset();
    scene->set_camera(radius, azimuth, elevation);
    return scene;
}

void frame(benchmark::State& state, int radius, int azimuth, int elevation, UINT threads)
{
    const std::unique_ptr<DeviceScene> scene = scene_for(radius, azimuth, elevation, threads);
    for (auto _ : state) {
        scene->render();
    }
    size_t drawn = 0;
    for (uint32_t p : scene->window().frame()) {
        drawn += p != 0x808080;
    }
    state.counters["covered_pixels"] = double(drawn);
}

// One frame into a binary PPM.
int write_frame(const char* path, int radius, int azimuth, int elevation, UINT threads)
{
    const std::unique_ptr<DeviceScene> scene = scene_for(radius, azimuth, elevation, threads);
    scene->render();
    return write_ppm(path, scene->window().frame());
}

struct Camera {
    const char* name;
    int radius, azimuth, elevation;
};

void register_frame(const std::string& name, Camera camera, UINT threads)
{
    benchmark::RegisterBenchmark(name.c_str(),
                                 [camera, threads](benchmark::State& state) {
                                     frame(state, camera.radius, camera.azimuth, camera.elevation, threads);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<Camera> cameras = {{"Top", 100, 0, 90}, {"Oblique", 40, 30, 35}, {"Near", 30, 45, 30}};
    std::vector<char*> rest;
    const char* ppm = nullptr;
    int threads = -1; // -1: the device's choice and one thread, in turn
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--camera") == 0 && i + 3 < argc) {
            cameras = {{"Camera", std::atoi(argv[i + 1]), std::atoi(argv[i + 2]), std::atoi(argv[i + 3])}};
            i += 3;
        } else if (std::strcmp(argv[i], "--ppm") == 0 && i + 1 < argc) {
            ppm = argv[++i];
        } else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = std::max(0, std::atoi(argv[++i]));
        } else if (take_size_option(argc, argv, i) || take_points_option(argc, argv, i) ||
                   take_sweep_option(argc, argv, i)) {
            continue;
        } else {
            rest.push_back(argv[i]);
        }
    }
    const Camera& last = cameras.back();
    if (ppm) {
        return write_frame(ppm, last.radius, last.azimuth, last.elevation, UINT(std::max(threads, 0)));
    }
    if (sweep_option().step > 0) {
        const std::unique_ptr<DeviceScene> scene =
            scene_for(last.radius, last.azimuth, last.elevation, UINT(std::max(threads, 0)));
        return run_sweep(*scene, last.radius, last.elevation);
    }
    const std::vector<UINT> thread_counts = threads < 0 ? std::vector<UINT>{0u, 1u} : std::vector<UINT>{UINT(threads)};
    for (UINT count : thread_counts) {
        for (const Camera& camera : cameras) {
            const bool alone = threads < 0 && count == 1;
            register_frame(std::string("BM_ViewerFrame") + camera.name + (alone ? "OneThread" : ""), camera, count);
        }
    }
    int rest_count = static_cast<int>(rest.size());
    benchmark::Initialize(&rest_count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
