// Frames that must be the same bits whichever way they are drawn: split
// across raster threads, or with vertices transformed four at a time.
#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

#include "device_helpers.h"
#include "platform/d3d9/rasterizer.h"

namespace {

// --- Threads ------------------------------------------------------------------

// A frame of many overlapping, depth-tested, textured triangles and lines.
std::vector<uint32_t> busy_frame(UINT threads)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.raster_threads = threads;
    ProfiledDevice made(profile, 96, 80);
    IDirect3DDevice9* device = made.device.get();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-1.3f, 1.3f), depth(0.0f, 1.0f);
    std::vector<MeshVertex> vertices(900);
    for (MeshVertex& v : vertices) {
        v = MeshVertex{coordinate(random), coordinate(random),
                       depth(random),      static_cast<D3DCOLOR>(random() | 0xFF000000u),
                       coordinate(random), coordinate(random)};
    }
    std::vector<uint16_t> indices(vertices.size());
    for (size_t i = 0; i < indices.size(); ++i) {
        indices[i] = static_cast<uint16_t>(i);
    }
    auto vb = filled_vertex_buffer(device, vertices.data(), vertices.size() * sizeof(MeshVertex));
    auto ib = filled_index_buffer(device, indices);
    InterfacePtr<IDirect3DTexture9> texture;
    device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, receive(texture), nullptr);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    for (int i = 0; i < 16; ++i) {
        static_cast<uint32_t*>(locked.pBits)[i] = random();
    }
    texture->UnlockRect(0);
    D3DMATRIX m = identity_matrix();
    device->SetTransform(D3DTS_PROJECTION, &m);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202020, 1.0f, 0);
    device->BeginScene();
    device->SetFVF(0x142);
    device->SetStreamSource(0, vb.get(), 0, sizeof(MeshVertex));
    device->SetIndices(ib.get());
    device->SetTexture(0, texture.get());
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 900, 0, 200), S_OK);
    device->SetTexture(0, nullptr);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_LINELIST, 0, 0, 900, 600, 150), S_OK);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    return made.window.frame();
}

TEST(RasterThreadsTest, TwoThreadsDrawExactlyWhatOneDraws)
{
    const std::vector<uint32_t> one = busy_frame(1);
    const std::vector<uint32_t> two = busy_frame(2);
    ASSERT_EQ(one.size(), 96u * 80u);
    EXPECT_EQ(one, two);
    size_t drawn = 0;
    for (uint32_t p : one) {
        drawn += p != 0x202020;
    }
    EXPECT_GT(drawn, one.size() / 2) << "the scene should cover most of the frame";
}

// Frames of a height field like the viewer's surface (a textured, shaded
// mesh of small triangles in perspective, with grid lines and a marker's
// cross over it), the camera moving from frame to frame. `delay_us` holds
// the workers back.
std::vector<std::vector<uint32_t>> height_field_frames(UINT threads, UINT delay_us, bool depth_tiles = true)
{
    constexpr int kNodes = 61, kFrames = 6;
    D3D9Profile profile = d3d9_default_profile();
    profile.depth_tiles = depth_tiles;
    profile.raster_threads = threads;
    profile.raster_worker_delay_us = delay_us;
    ProfiledDevice made(profile, 256, 192);
    IDirect3DDevice9* device = made.device.get();
    std::vector<MeshVertex> vertices;
    for (int j = 0; j < kNodes; ++j) {
        for (int i = 0; i < kNodes; ++i) {
            const float x = float(i) / (kNodes - 1) * 2 - 1, y = float(j) / (kNodes - 1) * 2 - 1;
            const float h = 0.4f * std::exp(-4 * (x * x + (y - 0.3f) * (y - 0.3f))) + 0.1f * std::sin(7 * x);
            const auto level = static_cast<D3DCOLOR>(128 + 127 * std::clamp(h * 2, 0.0f, 1.0f));
            vertices.push_back({x, y + h, 3.5f + 1.5f * y, 0xFF000000 | level << 16 | level << 8 | level,
                                float(i) / (kNodes - 1), float(j) / (kNodes - 1)});
        }
    }
    std::vector<uint16_t> indices;
    for (int j = 0; j + 1 < kNodes; ++j) {
        for (int i = 0; i + 1 < kNodes; ++i) {
            const int k = j * kNodes + i;
            for (int index : {k, k + kNodes, k + 1, k + kNodes, k + kNodes + 1, k + 1}) {
                indices.push_back(static_cast<uint16_t>(index));
            }
        }
    }
    const UINT triangles = UINT(indices.size() / 3);
    for (int j = 0; j < kNodes; j += 6) { // lines along rows of nodes
        for (int i = 0; i + 1 < kNodes; ++i) {
            indices.push_back(static_cast<uint16_t>(j * kNodes + i));
            indices.push_back(static_cast<uint16_t>(j * kNodes + i + 1));
        }
    }
    for (int k = 0; k + 1 < kNodes; ++k) { // a marker's cross, through node (20, 40)
        const int along_row = 40 * kNodes + k, along_column = k * kNodes + 20;
        for (int node : {along_row, along_row + 1, along_column, along_column + kNodes}) {
            indices.push_back(static_cast<uint16_t>(node));
        }
    }
    const UINT lines = UINT(indices.size() - 3 * triangles) / 2;
    auto vb = filled_vertex_buffer(device, vertices.data(), vertices.size() * sizeof(MeshVertex));
    auto ib = filled_index_buffer(device, indices);
    InterfacePtr<IDirect3DTexture9> texture;
    device->CreateTexture(64, 64, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, receive(texture), nullptr);
    std::mt19937 random(5);
    for (DWORD level = 0; level < texture->GetLevelCount(); ++level) {
        D3DLOCKED_RECT locked;
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        texture->LockRect(level, &locked, nullptr, 0);
        for (UINT y = 0; y < desc.Height; ++y) {
            for (UINT x = 0; x < desc.Width; ++x) {
                static_cast<uint32_t*>(locked.pBits)[y * UINT(locked.Pitch) / 4 + x] = random();
            }
        }
        texture->UnlockRect(level);
    }
    D3DMATRIX projection = perspective(0.8f, 1.0f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetFVF(0x142);
    device->SetStreamSource(0, vb.get(), 0, sizeof(MeshVertex));
    device->SetIndices(ib.get());
    std::vector<std::vector<uint32_t>> frames;
    for (int frame = 0; frame < kFrames; ++frame) {
        D3DMATRIX world = identity_matrix();
        world._41 = 0.15f * float(frame) - 0.4f;
        world._42 = -0.1f * float(frame);
        device->SetTransform(D3DTS_WORLD, &world);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
        device->BeginScene();
        device->SetTexture(0, texture.get());
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, UINT(vertices.size()), 0, triangles), S_OK);
        device->SetTexture(0, nullptr);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_LINELIST, 0, 0, UINT(vertices.size()), 3 * triangles, lines),
                  S_OK);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        frames.push_back(made.window.frame());
    }
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    return frames;
}

// One thread, two, three, four, eight, the device's own choice, and fixed
// or chosen threads with the workers held back (so that the device falls
// back to fewer): the same pictures, byte for byte.
TEST(RasterThreadsTest, HeightFieldFramesAreTheSameWhateverTheThreads)
{
    const auto one = height_field_frames(1, 0);
    ASSERT_EQ(one.front().size(), 256u * 192u);
    size_t drawn = 0;
    for (uint32_t p : one.front()) {
        drawn += p != 0x808080;
    }
    EXPECT_GT(drawn, one.front().size() / 2) << "the surface should fill most of the frame";
    EXPECT_NE(one.front(), one.back()) << "the camera should move";
    // The hill hides most of what lies behind it: dropping what is hidden
    // changes no pixel.
    EXPECT_TRUE(height_field_frames(1, 0, false) == one) << "every triangle drawn through";
    const struct {
        UINT threads, delay_us;
    } settings[] = {{2, 0}, {3, 0}, {4, 0}, {8, 0}, {0, 0}, {2, 2000}, {8, 1000}, {0, 2000}};
    for (const auto& setting : settings) {
        const auto frames = height_field_frames(setting.threads, setting.delay_us);
        ASSERT_EQ(frames.size(), one.size());
        for (size_t k = 0; k < frames.size(); ++k) {
            EXPECT_TRUE(frames[k] == one[k])
                << "threads " << setting.threads << ", delay " << setting.delay_us << " us, frame " << k;
        }
    }
}

// Screen-space triangles of one kind for a frame of width x height, each
// with its own depth and colour.
enum class Shapes { InOneBand, DownEveryRow, DegenerateAndOffscreen };

std::vector<ScreenVertex> shaped_triangles(Shapes shapes, float width, float height, std::mt19937& random)
{
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<ScreenVertex> v;
    auto add = [&](float x0, float y0, float x1, float y1, float x2, float y2) {
        const float z = unit(random);
        const auto color = static_cast<D3DCOLOR>(random() | 0xFF000000u);
        v.insert(v.end(), {at(x0, y0, color, z), at(x1, y1, color, z), at(x2, y2, color, z)});
    };
    for (int k = 0; k < 300; ++k) {
        const float x = unit(random) * width, y = unit(random) * height, w = 1.0f + 14.0f * unit(random);
        switch (shapes) {
        case Shapes::InOneBand: // rows 1 to 6: the first band, however the rows are dealt
            add(x, 1.0f + 5.0f * unit(random), x + w, 1.0f + 5.0f * unit(random), x + w * unit(random),
                1.0f + 5.0f * unit(random));
            break;
        case Shapes::DownEveryRow: // slivers and wedges from above the frame to below it
            add(x, -3.0f, x + w * (k % 3 == 0 ? 20.0f : 1.0f), height + 3.0f * unit(random), x + w * unit(random),
                height * unit(random));
            break;
        case Shapes::DegenerateAndOffscreen:
            switch (k % 6) {
            case 0: // a line's worth of area: three points on one line
                add(x, y, x + w, y + 2 * w, x + 2 * w, y + 4 * w);
                break;
            case 1: // two corners the same
                add(x, y, x, y, x + w, y + w);
                break;
            case 2: // no pixel centre inside
                add(x + 0.1f, y + 0.1f, x + 0.4f, y + 0.2f, x + 0.3f, y + 0.45f);
                break;
            case 3: // wholly beside the frame, near and far
                add(-w - 1.0f, y, -1.0f, y + w, -w, y - w);
                add(x, height + 1.0f, x + w, height + 1.0f + w, x, 40000.0f);
                break;
            case 4: // across an edge of the frame
                add(-50.0f, y, x, y - w, x + w, y + 3 * w);
                break;
            default: // an ordinary one among them
                add(x, y, x + w, y + w, x - w, y + 2 * w);
                break;
            }
            break;
        }
    }
    return v;
}

// Frames of each kind of shapes, depth-tested, drawn on `threads` threads:
// first on a frame of one size, then after a reset to another that deals
// its rows out in other bands.
std::vector<std::vector<uint32_t>> shaped_frames(UINT threads)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.raster_threads = threads;
    ProfiledDevice made(profile, 200, 150);
    IDirect3DDevice9* device = made.device.get();
    std::mt19937 random(3);
    std::vector<std::vector<uint32_t>> frames;
    for (const auto& [width, height] : {std::pair{200u, 150u}, std::pair{640u, 480u}}) {
        if (!frames.empty()) {
            made.window.set_client_size(width, height);
            D3DPRESENT_PARAMETERS params = windowed_params(width, height);
            EXPECT_EQ(device->Reset(&params), S_OK);
        }
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetFVF(kScreenFvf);
        for (Shapes shapes : {Shapes::InOneBand, Shapes::DownEveryRow, Shapes::DegenerateAndOffscreen}) {
            const std::vector<ScreenVertex> vertices = shaped_triangles(shapes, float(width), float(height), random);
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
            device->BeginScene();
            auto vb = filled_vertex_buffer(device, vertices.data(), vertices.size() * sizeof(ScreenVertex));
            device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
            EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, UINT(vertices.size() / 3)), S_OK);
            device->SetStreamSource(0, nullptr, 0, 0);
            device->EndScene();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            frames.push_back(made.window.frame());
        }
    }
    return frames;
}

// Triangles all in one band of rows, down every row, degenerate or off the
// frame, before and after a resize: the same pictures on two, three and
// eight threads as on one.
TEST(RasterThreadsTest, ShapedDrawsAreTheSameWhateverTheThreads)
{
    const auto one = shaped_frames(1);
    ASSERT_EQ(one.size(), 6u);
    EXPECT_EQ(one.front().size(), 200u * 150u);
    EXPECT_EQ(one.back().size(), 640u * 480u) << "the reset should change the frame's size";
    for (size_t k = 0; k < one.size(); ++k) {
        EXPECT_GT(std::count_if(one[k].begin(), one[k].end(), [](uint32_t p) { return p != 0; }), 100)
            << "frame " << k << " should draw";
    }
    for (UINT threads : {2u, 3u, 8u}) {
        const auto frames = shaped_frames(threads);
        ASSERT_EQ(frames.size(), one.size());
        for (size_t k = 0; k < frames.size(); ++k) {
            EXPECT_TRUE(frames[k] == one[k]) << "threads " << threads << ", frame " << k;
        }
    }
}

// A device draws on as many threads as its profile says, one per core when
// it says 0: its workers start with its first large draw and end with it.
TEST(RasterThreadsTest, WorkersFollowTheProfileAndEndWithTheDevice)
{
    const UINT cores = std::max(1u, std::thread::hardware_concurrency());
    const struct {
        UINT threads, workers;
    } cases[] = {{1, 0}, {2, 1}, {4, 3}, {0, cores - 1}};
    std::vector<ScreenVertex> vertices; // 3,000 small triangles, a large draw
    for (int k = 0; k < 3000; ++k) {
        const float x = float(k % 60), y = float(k / 60);
        vertices.insert(vertices.end(), {at(x, y), at(x + 3, y), at(x, y + 3)});
    }
    for (const auto& c : cases) {
        ASSERT_EQ(d3d9_test_live_workers(), 0u);
        {
            D3D9Profile profile = d3d9_default_profile();
            profile.raster_threads = c.threads;
            ProfiledDevice made(profile, 64, 64);
            IDirect3DDevice9* device = made.device.get();
            EXPECT_EQ(d3d9_test_live_workers(), 0u) << "no worker before the first draw";
            device->SetFVF(kScreenFvf);
            device->BeginScene();
            auto vb = filled_vertex_buffer(device, vertices.data(), vertices.size() * sizeof(ScreenVertex));
            device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
            EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 3000), S_OK);
            device->SetStreamSource(0, nullptr, 0, 0);
            device->EndScene();
            EXPECT_EQ(d3d9_test_live_workers(), c.workers) << "threads " << c.threads;
        }
        EXPECT_EQ(d3d9_test_live_workers(), 0u) << "threads " << c.threads << ", device released";
    }
}

} // namespace

// --- Vertex transform -------------------------------------------------------

// Vertices are transformed four at a time, the last few of a call one at a
// time. Random triangles, many with awkward vertices (behind the eye, far
// off to a side, NaN, infinite, w zero, negative or tiny), drawn one call
// per triangle (three vertices: one at a time) and then all in one call
// (mostly in fours) must give the same frame, for each vertex layout.
TEST(VertexTransformTest, FoursDrawWhatOneAtATimeDraws)
{
    struct Layout {
        const char* name;
        DWORD fvf;
        bool w, diffuse;
        int coordinates; // texture coordinates: 0, 1 (v reads 0) or 2
    };
    const Layout layouts[] = {
        {"position, diffuse, texture", D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, false, true, 2},
        {"position with w, diffuse, texture", D3DFVF_XYZW | D3DFVF_DIFFUSE | D3DFVF_TEX1, true, true, 2},
        {"position, texture (white)", D3DFVF_XYZ | D3DFVF_TEX1, false, false, 2},
        {"position, diffuse (no coordinates)", D3DFVF_XYZ | D3DFVF_DIFFUSE, false, true, 0},
        {"position, diffuse, one coordinate", D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0),
         false, true, 1},
    };
    constexpr UINT kTriangles = 61; // 183 vertices: fours and a tail of three
    const float nan = std::nanf(""), inf = INFINITY;
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        D3D9Profile profile = d3d9_default_profile();
        profile.raster_threads = 1;
        ProfiledDevice made(profile, 64, 48);
        IDirect3DDevice9* device = made.device.get();
        std::mt19937 random(11);
        auto unit = [&random] { return std::uniform_real_distribution<float>(0.0f, 1.0f)(random); };
        std::vector<uint8_t> bytes;
        auto put = [&bytes](auto value) {
            const size_t at = bytes.size();
            bytes.resize(at + sizeof value);
            std::memcpy(bytes.data() + at, &value, sizeof value);
        };
        for (UINT i = 0; i < 3 * kTriangles; ++i) {
            float z = 1.2f + 4 * unit();
            float x = (3 * unit() - 1.5f) * z, y = (3 * unit() - 1.5f) * z, w = 1.0f;
            switch (random() % 14) {
            case 0:
                z = -1 - 2 * unit();
                break; // behind the eye
            case 1:
                x = (unit() < 0.5f ? -300 : 300) * z;
                break; // beyond the guard band
            case 2:
                y = nan;
                break;
            case 3:
                x = inf;
                break;
            case 4:
                w = 0.0f;
                break;
            case 5:
                w = -1.0f;
                break;
            case 6:
                w = 1e-30f;
                break;
            case 7:
                z = 1.0f;
                break; // on the near plane
            case 8:
                x = y = z = w = 0.0f;
                break; // inside every plane, w zero
            case 9:    // inside every plane, 1 / w infinite
                x = y = 0.0f;
                z = 1e-39f;
                w = 0.5e-39f;
                break;
            default:
                break;
            }
            if (!layout.w) {
                w = 1.0f;
            } else if (w == 1.0f) {
                // The same point with another w.
                w = 0.5f + unit();
                x *= w;
                y *= w;
                z *= w;
            }
            put(x);
            put(y);
            put(z);
            if (layout.w) {
                put(w);
            }
            if (layout.diffuse) {
                put(static_cast<uint32_t>(random()));
            }
            for (int k = 0; k < layout.coordinates; ++k) {
                put(4 * unit() - 2);
            }
        }
        const UINT stride = UINT(bytes.size() / (3 * kTriangles));
        auto vb = filled_vertex_buffer(device, bytes.data(), bytes.size());
        InterfacePtr<IDirect3DTexture9> texture;
        ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, receive(texture), nullptr), S_OK);
        D3DLOCKED_RECT locked;
        texture->LockRect(0, &locked, nullptr, 0);
        for (UINT y = 0; y < 8; ++y) {
            for (UINT x = 0; x < 8; ++x) {
                static_cast<uint32_t*>(locked.pBits)[y * UINT(locked.Pitch) / 4 + x] = random();
            }
        }
        texture->UnlockRect(0);
        D3DMATRIX projection = perspective(1.2f, 1.0f, 20.0f);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        const D3DVIEWPORT9 viewport = {2, 3, 60, 44, 0.2f, 0.7f};
        device->SetViewport(&viewport);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetTexture(0, texture.get());
        device->SetFVF(layout.fvf);
        device->SetStreamSource(0, vb.get(), 0, stride);
        auto frame = [&](bool one_call) {
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202020, 1.0f, 0);
            device->BeginScene();
            if (one_call) {
                EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, kTriangles), S_OK);
            } else {
                for (UINT t = 0; t < kTriangles; ++t) {
                    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 3 * t, 1), S_OK);
                }
            }
            device->EndScene();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            return made.window.frame();
        };
        const std::vector<uint32_t> single = frame(false);
        const std::vector<uint32_t> fours = frame(true);
        size_t drawn = 0;
        for (uint32_t p : single) {
            drawn += p != 0x202020;
        }
        EXPECT_GT(drawn, single.size() / 4) << "most triangles should show";
        EXPECT_EQ(single, fours);
        device->SetTexture(0, nullptr);
        device->SetStreamSource(0, nullptr, 0, 0);
    }
}
