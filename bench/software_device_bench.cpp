// One frame of the viewer's scene on the software device at 1024 x 768,
// from Clear to Present: the 201 x 201 surface (80,000 textured triangles,
// 256 x 256 texture), the 4,400 grid-line segments and the 400-segment
// marker cross, with the renderer's device states.
//
//   build/bin/bench_software_device --benchmark_repetitions=15
//
// The "Top" camera is the viewer's default (straight down from the farthest
// distance); "Oblique" looks at the surface from the side at a middle
// distance, where it fills more of the frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/d3d9/offscreen_window.h"

namespace {

constexpr int kNodes = 201;
constexpr UINT kWidth = 1024, kHeight = 768;

struct Vec3 {
    float x, y, z;
};

Vec3 sub(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 normalise(Vec3 a) {
    const float length = std::sqrt(dot(a, a));
    return length > 0 ? Vec3{a.x / length, a.y / length, a.z / length} : Vec3{0, 0, 0};
}

D3DMATRIX look_at(Vec3 eye, Vec3 at, Vec3 up) {
    const Vec3 z = normalise(sub(at, eye));
    const Vec3 x = normalise(cross(up, z));
    const Vec3 y = cross(z, x);
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = x.x, m._12 = y.x, m._13 = z.x;
    m._21 = x.y, m._22 = y.y, m._23 = z.y;
    m._31 = x.z, m._32 = y.z, m._33 = z.z;
    m._41 = -dot(x, eye), m._42 = -dot(y, eye), m._43 = -dot(z, eye), m._44 = 1;
    return m;
}

D3DMATRIX perspective(float fov, float aspect, float near_plane, float far_plane) {
    const float y_scale = std::cos(fov * 0.5f) / std::sin(fov * 0.5f);
    const float q = far_plane / (far_plane - near_plane);
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = y_scale / aspect;
    m._22 = y_scale;
    m._33 = q;
    m._34 = 1;
    m._43 = -q * near_plane;
    return m;
}

// The orbiting camera: radius step, azimuth and elevation in degrees.
D3DMATRIX camera(int radius, int azimuth, int elevation) {
    const double pi = 3.1415927410125732;
    const double r = radius * 4.0 / 100.0 + 1.0;
    const double phi = (azimuth - 90) / 180.0 * pi, theta = elevation / 180.0 * pi;
    const Vec3 eye = {float(r * std::cos(theta) * std::cos(phi)), float(r * std::cos(theta) * std::sin(phi)),
                      -float(r * std::sin(theta) + 0.5)};
    const Vec3 up = {float(-std::sin(theta) * std::cos(phi)), float(-std::sin(theta) * std::sin(phi)),
                     float(-std::cos(theta))};
    return look_at(eye, {0, 0, -0.5f}, up);
}

struct Batch {
    IDirect3DVertexBuffer9* vertices = nullptr;
    IDirect3DIndexBuffer9* indices = nullptr;
    IDirect3DTexture9* texture = nullptr;
    UINT stride = 0, fvf = 0, vertex_count = 0, primitive_count = 0;
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;

    void release() {
        if (vertices) vertices->Release();
        if (indices) indices->Release();
        if (texture) texture->Release();
    }
};

template <class T>
void fill(IDirect3DDevice9* device, Batch& batch, const std::vector<T>& vertices, const std::vector<uint16_t>& indices) {
    device->CreateVertexBuffer(UINT(vertices.size() * sizeof(T)), 0, batch.fvf, D3DPOOL_MANAGED, &batch.vertices,
                               nullptr);
    device->CreateIndexBuffer(UINT(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &batch.indices, nullptr);
    void* bits;
    batch.vertices->Lock(0, 0, &bits, 0);
    std::memcpy(bits, vertices.data(), vertices.size() * sizeof(T));
    batch.vertices->Unlock();
    batch.indices->Lock(0, 0, &bits, 0);
    std::memcpy(bits, indices.data(), indices.size() * 2);
    batch.indices->Unlock();
    batch.vertex_count = UINT(vertices.size());
}

class Scene {
public:
    Scene() : window_(kWidth, kHeight) {
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
        apply_states();
        build_field();
        build_surface();
        build_grid_lines();
        build_marker(0.3, 0.6);
    }

    ~Scene() {
        surface_.release();
        grid_.release();
        marker_.release();
        device_->Release();
        d3d_->Release();
    }

    void set_camera(int radius, int azimuth, int elevation) {
        const D3DMATRIX view = camera(radius, azimuth, elevation);
        device_->SetTransform(D3DTS_VIEW, &view);
    }

    void render() {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
        device_->BeginScene();
        draw(surface_);
        draw(grid_);
        draw(marker_);
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
    }

    const OffscreenWindow& window() const { return window_; }

private:
    void apply_states() {
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device_->SetRenderState(D3DRS_DITHERENABLE, FALSE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        D3DMATRIX world;
        std::memset(&world, 0, sizeof world);
        world._11 = world._22 = world._33 = world._44 = 1;
        device_->SetTransform(D3DTS_WORLD, &world);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        const D3DMATRIX projection = perspective(0.39269909f, float(kWidth) / float(kHeight), 1.0f, 100.0f);
        device_->SetTransform(D3DTS_PROJECTION, &projection);
    }

    // Two bumps and a ridge, normalised to a highest node of 1.
    void build_field() {
        heights_.resize(kNodes * kNodes);
        double highest = 0;
        for (int j = 0; j < kNodes; ++j) {
            for (int i = 0; i < kNodes; ++i) {
                const double x = i / 200.0, y = j / 200.0;
                double h = std::exp(-((x - 0.3) * (x - 0.3) + (y - 0.4) * (y - 0.4)) * 30) +
                           0.6 * std::exp(-((x - 0.7) * (x - 0.7) + (y - 0.7) * (y - 0.7)) * 60) +
                           0.2 * std::exp(-(x - y) * (x - y) * 200);
                if (x < 0.05 || y > 0.97) {
                    h = 0;  // empty nodes at the edges, drawn black
                }
                heights_[j * kNodes + i] = h;
                highest = std::max(highest, h);
            }
        }
        for (double& h : heights_) {
            h /= highest;
        }
    }

    float node_x(int i) const { return float(float(i) / float(kNodes - 1)) - 0.5f; }

    void build_surface() {
        struct Vertex {
            float x, y, z;
            D3DCOLOR color;
            float u, v;
        };
        std::vector<Vertex> vertices;
        for (int j = 0; j < kNodes; ++j) {
            for (int i = 0; i < kNodes; ++i) {
                const double h = heights_[j * kNodes + i];
                D3DCOLOR shade = 0xFF000000;
                if (h != 0.0) {
                    const int level = std::min(255, std::max(0, int(std::floor(h * 127 + 128.5))));
                    shade = 0xFF000000 + level * 0x10000 + level * 0x100 + level;
                }
                const float u = float(i) / float(kNodes - 1), v = float(j) / float(kNodes - 1);
                vertices.push_back({node_x(i), node_x(j), float(-h), shade, u, 1.0f - v});
            }
        }
        std::vector<uint16_t> indices;
        for (int r = 0; r < kNodes - 1; ++r) {
            for (int i = 0; i < kNodes - 1; ++i) {
                const int k = r * kNodes + i;
                for (int index : {k, k + kNodes, k + 1, k + kNodes, k + kNodes + 1, k + 1}) {
                    indices.push_back(uint16_t(index));
                }
            }
        }
        surface_.stride = 24;
        surface_.fvf = 0x242;
        surface_.type = D3DPT_TRIANGLELIST;
        fill(device_, surface_, vertices, indices);
        surface_.primitive_count = (2 * kNodes - 2) * (kNodes - 1);

        device_->CreateTexture(256, 256, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &surface_.texture, nullptr);
        for (DWORD level = 0; level < surface_.texture->GetLevelCount(); ++level) {
            D3DSURFACE_DESC desc;
            surface_.texture->GetLevelDesc(level, &desc);
            D3DLOCKED_RECT locked;
            surface_.texture->LockRect(level, &locked, nullptr, 0);
            for (UINT y = 0; y < desc.Height; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
                for (UINT x = 0; x < desc.Width; ++x) {
                    row[x] = ((x ^ y) & 16) ? 0xFFE0C080 : 0xFF4080C0;
                }
            }
            surface_.texture->UnlockRect(level);
        }
    }

    void build_grid_lines() {
        struct Vertex {
            float x, y, z;
        };
        std::vector<Vertex> vertices;
        for (int r = 0; r < kNodes; r += 20) {
            for (int i = 0; i < kNodes; ++i) {
                vertices.push_back({node_x(i), node_x(r), float(-heights_[r * kNodes + i] - 0.01)});
            }
        }
        for (int k = 0; k < kNodes; k += 20) {
            for (int j = 0; j < kNodes; ++j) {
                vertices.push_back({node_x(k), node_x(j), float(-heights_[j * kNodes + k] - 0.01)});
            }
        }
        std::vector<uint16_t> indices;
        for (int line = 0; line < 22; ++line) {
            for (int s = 0; s < kNodes - 1; ++s) {
                indices.push_back(uint16_t(line * kNodes + s));
                indices.push_back(uint16_t(line * kNodes + s + 1));
            }
        }
        grid_.stride = 12;
        grid_.fvf = D3DFVF_XYZ;
        grid_.type = D3DPT_LINELIST;
        fill(device_, grid_, vertices, indices);
        grid_.primitive_count = 22 * (kNodes - 1);
    }

    void build_marker(double px, double py) {
        struct Vertex {
            float x, y, z;
            D3DCOLOR color;
        };
        std::vector<Vertex> vertices;
        const int jm = int(std::floor((kNodes - 1) * py + 0.5)), im = int(std::floor((kNodes - 1) * px + 0.5));
        for (int i = 0; i < kNodes; ++i) {
            vertices.push_back({node_x(i), float(py - 0.5), float(-heights_[jm * kNodes + i] - 0.01), 0xFFFFFF00});
        }
        for (int j = 0; j < kNodes; ++j) {
            vertices.push_back({float(px - 0.5), node_x(j), float(-heights_[j * kNodes + im] - 0.01), 0xFFFFFF00});
        }
        std::vector<uint16_t> indices;
        for (int s = 0; s < kNodes - 1; ++s) {
            indices.push_back(uint16_t(s));
            indices.push_back(uint16_t(s + 1));
        }
        for (int s = 0; s < kNodes - 1; ++s) {
            indices.push_back(uint16_t(kNodes + s));
            indices.push_back(uint16_t(kNodes + s + 1));
        }
        marker_.stride = 16;
        marker_.fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
        marker_.type = D3DPT_LINELIST;
        fill(device_, marker_, vertices, indices);
        marker_.primitive_count = 2 * (kNodes - 1);
    }

    void draw(const Batch& batch) {
        device_->SetTexture(0, batch.texture);
        device_->SetStreamSource(0, batch.vertices, 0, batch.stride);
        device_->SetFVF(batch.fvf);
        device_->SetIndices(batch.indices);
        const UINT per = batch.type == D3DPT_TRIANGLELIST ? 3 : 2;
        for (UINT start = 0, left = batch.primitive_count; left > 0;) {
            const UINT n = std::min(left, UINT(caps_.MaxPrimitiveCount));
            device_->DrawIndexedPrimitive(batch.type, 0, 0, batch.vertex_count, start, n);
            start += per * n;
            left -= n;
        }
    }

    OffscreenWindow window_;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    D3DCAPS9 caps_{};
    std::vector<double> heights_;
    Batch surface_, grid_, marker_;
};

void frame(benchmark::State& state, int radius, int azimuth, int elevation, UINT threads = 0) {
    D3D9Profile profile = d3d9_default_profile();
    profile.raster_threads = threads;
    d3d9_test_set_profile(profile);
    Scene scene;
    d3d9_test_reset();
    scene.set_camera(radius, azimuth, elevation);
    for (auto _ : state) {
        scene.render();
    }
    size_t drawn = 0;
    for (uint32_t p : scene.window().frame()) {
        drawn += p != 0x808080;
    }
    state.counters["covered_pixels"] = double(drawn);
}

void BM_ViewerFrameTop(benchmark::State& state) {
    frame(state, 100, 0, 90);
}
void BM_ViewerFrameOblique(benchmark::State& state) {
    frame(state, 40, 30, 35);
}

// The same frames drawn on the caller's thread alone, to see the total work.
void BM_ViewerFrameTopOneThread(benchmark::State& state) {
    frame(state, 100, 0, 90, 1);
}
void BM_ViewerFrameObliqueOneThread(benchmark::State& state) {
    frame(state, 40, 30, 35, 1);
}

BENCHMARK(BM_ViewerFrameTop)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ViewerFrameOblique)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ViewerFrameTopOneThread)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ViewerFrameObliqueOneThread)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
