// The four- and eight-lane pixel loops against the loop that shades one
// pixel at a time: random overlapping triangles of every size the rasterizer treats
// apart, under every stage setting the lanes take, the colour and depth
// buffers compared bit for bit.
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "device_helpers.h"

namespace {

constexpr UINT kWidth = 96, kHeight = 72;

enum class Stage { NoTexture, Modulate, TextureAlpha, DiffuseOnly };

struct Setting {
    const char* name;
    D3DFORMAT back_buffer = D3DFMT_X8R8G8B8;
    UINT pitch_padding = 0;
    Stage stage = Stage::Modulate;
    DWORD filter = D3DTEXF_LINEAR;
    UINT texture_width = 64, texture_height = 32;
    DWORD depth_func = D3DCMP_LESSEQUAL;
    bool depth_test = true;
    bool depth_write = true;
    bool flat = false;
    bool color_write = true;
    UINT threads = 1;
};

struct Buffers {
    std::vector<uint8_t> color, depth;
};

// Rows of a locked surface, without their padding.
std::vector<uint8_t> surface_bytes(IDirect3DSurface9* surface, UINT row_bytes)
{
    std::vector<uint8_t> bytes;
    D3DLOCKED_RECT locked;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    for (UINT y = 0; y < kHeight; ++y) {
        const auto* row = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * UINT(locked.Pitch);
        bytes.insert(bytes.end(), row, row + row_bytes);
    }
    surface->UnlockRect();
    return bytes;
}

// Triangles of a few pixels, slivers, small ones up to 16 pixels wide,
// and larger ones up to several times the frame, overlapping in depth.
// Positions in 1/64 pixel, depth a little beyond 0 .. 1, w from 0.25 to 4
// for perspective, texture coordinates wrapping.
std::vector<ScreenVertex> scene_vertices()
{
    std::mt19937 random(23);
    const struct {
        float wide, tall;
    } sizes[] = {{2, 2}, {3, 40}, {6, 6}, {14, 30}, {30, 12}, {70, 50}, {300, 200}};
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto snapped = [](float v) { return std::round(v * 64.0f) / 64.0f; };
    std::vector<ScreenVertex> vertices;
    for (int k = 0; k < 360; ++k) {
        const auto size = sizes[k % std::size(sizes)];
        const float cx = unit(random) * (kWidth + 20) - 10, cy = unit(random) * (kHeight + 20) - 10;
        for (int corner = 0; corner < 3; ++corner) {
            ScreenVertex v;
            v.x = snapped(cx + (unit(random) - 0.5f) * size.wide);
            v.y = snapped(cy + (unit(random) - 0.5f) * size.tall);
            v.z = unit(random) * 1.2f - 0.1f;
            v.rhw = 0.25f + unit(random) * 3.75f;
            v.color = static_cast<D3DCOLOR>(random());
            v.u = unit(random) * 6 - 3;
            v.v = unit(random) * 6 - 3;
            vertices.push_back(v);
        }
    }
    return vertices;
}

InterfacePtr<IDirect3DTexture9> random_texture(IDirect3DDevice9* device, UINT width, UINT height)
{
    InterfacePtr<IDirect3DTexture9> texture;
    EXPECT_EQ(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, receive(texture), nullptr),
              S_OK);
    std::mt19937 random(width * 131 + height);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), S_OK);
    for (UINT y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + size_t(y) * UINT(locked.Pitch));
        for (UINT x = 0; x < width; ++x) {
            row[x] = static_cast<uint32_t>(random());
        }
    }
    EXPECT_EQ(texture->UnlockRect(0), S_OK);
    return texture;
}

// The setting's states; the first pass tests and writes depth as usual.
void set_states(IDirect3DDevice9* device, const Setting& s, bool first_pass)
{
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, s.depth_test || first_pass ? D3DZB_TRUE : D3DZB_FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, s.depth_write || first_pass);
    device->SetRenderState(D3DRS_ZFUNC, first_pass ? D3DCMP_LESSEQUAL : s.depth_func);
    device->SetRenderState(D3DRS_SHADEMODE, s.flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, s.color_write || first_pass ? 0xF : 0);
    device->SetTextureStageState(0, D3DTSS_COLOROP, s.stage == Stage::DiffuseOnly ? D3DTOP_DISABLE : D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP,
                                 s.stage == Stage::TextureAlpha ? D3DTOP_SELECTARG1 : D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, s.filter);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, s.filter);
}

Buffers draw_scene(const Setting& s, UINT lanes)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.pitch_padding = s.pitch_padding;
    profile.raster_threads = s.threads;
    profile.raster_lanes = lanes;
    d3d9_test_set_profile(profile);
    OffscreenWindow window(kWidth, kHeight);
    const InterfacePtr<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
    D3DPRESENT_PARAMETERS params = windowed_params(kWidth, kHeight);
    params.BackBufferFormat = s.back_buffer;
    params.AutoDepthStencilFormat = D3DFMT_D16_LOCKABLE;
    InterfacePtr<IDirect3DDevice9> owned_device;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                                receive(owned_device)),
              S_OK);
    Buffers buffers;
    IDirect3DDevice9* device = owned_device.get();
    if (!device) {
        return buffers;
    }
    const InterfacePtr<IDirect3DTexture9> texture =
        s.stage == Stage::NoTexture ? nullptr : random_texture(device, s.texture_width, s.texture_height);
    device->SetTexture(0, texture.get());
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x40204060, 1.0f, 0);
    device->BeginScene();
    device->SetFVF(kScreenFvf);
    // The same triangles twice, the second time in other colours and
    // texture coordinates, under the setting's depth test.
    std::vector<ScreenVertex> vertices = scene_vertices();
    for (bool first_pass : {true, false}) {
        set_states(device, s, first_pass);
        auto vb = filled_vertex_buffer(device, vertices.data(), vertices.size() * sizeof(ScreenVertex));
        device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, UINT(vertices.size() / 3)), S_OK);
        device->SetStreamSource(0, nullptr, 0, 0);
        for (ScreenVertex& v : vertices) {
            v.color ^= 0x80FF00FF;
            v.u += 0.3f;
        }
    }
    device->EndScene();
    device->SetTexture(0, nullptr);
    InterfacePtr<IDirect3DSurface9> surface;
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(surface)), S_OK);
    buffers.color = surface_bytes(surface.get(), kWidth * 4);
    EXPECT_EQ(device->GetDepthStencilSurface(receive(surface)), S_OK);
    buffers.depth = surface_bytes(surface.get(), kWidth * 2);
    d3d9_test_reset();
    return buffers;
}

// Pixels whose bytes differ between two buffers of `bytes` per pixel.
size_t differing_pixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t bytes)
{
    size_t count = 0;
    for (size_t i = 0; i + bytes <= std::min(a.size(), b.size()); i += bytes) {
        count += std::memcmp(&a[i], &b[i], bytes) != 0;
    }
    return count + (a.size() != b.size() ? 1 : 0);
}

TEST(LaneShaderTest, LanesDrawWhatOnePixelAtATimeDraws)
{
    const Setting settings[] = {
        {.name = "bilinear, modulated"},
        {.name = "bilinear, modulated, two threads", .threads = 2},
        {.name = "point, texture alpha, A8R8G8B8, padded rows, less",
         .back_buffer = D3DFMT_A8R8G8B8,
         .pitch_padding = 12,
         .stage = Stage::TextureAlpha,
         .filter = D3DTEXF_POINT,
         .texture_width = 16,
         .texture_height = 16,
         .depth_func = D3DCMP_LESS},
        {.name = "bilinear, texture alpha, A8R8G8B8", .back_buffer = D3DFMT_A8R8G8B8, .stage = Stage::TextureAlpha},
        {.name = "no texture, A8R8G8B8", .back_buffer = D3DFMT_A8R8G8B8, .stage = Stage::NoTexture},
        {.name = "diffuse only, flat, greater",
         .stage = Stage::DiffuseOnly,
         .depth_func = D3DCMP_GREATER,
         .flat = true},
        {.name = "equal depth, not written", .depth_func = D3DCMP_EQUAL, .depth_write = false},
        {.name = "never", .depth_func = D3DCMP_NEVER},
        {.name = "no depth test", .depth_test = false},
        {.name = "colour writes off", .color_write = false},
        {.name = "texture one texel wide", .texture_width = 1, .texture_height = 8},
        {.name = "always, two threads", .depth_func = D3DCMP_ALWAYS, .threads = 2},
        // Rows too far apart for the lanes' 16-bit offsets.
        {.name = "depth rows past 32767 elements", .pitch_padding = 70000},
    };
    for (const Setting& s : settings) {
        const Buffers reference = draw_scene(s, 1);
        ASSERT_EQ(reference.color.size(), size_t(kWidth) * kHeight * 4) << s.name;
        // Eight lanes where the processor has AVX2; four otherwise, twice.
        for (UINT width : {4u, 8u}) {
            const Buffers lanes = draw_scene(s, width);
            EXPECT_EQ(differing_pixels(lanes.color, reference.color, 4), 0u) << s.name << ", " << width << " lanes";
            EXPECT_EQ(differing_pixels(lanes.depth, reference.depth, 2), 0u) << s.name << ", " << width << " lanes";
        }
        // The scene itself must have drawn: most pixels differ from the clear.
        std::vector<uint8_t> clear_color;
        for (UINT i = 0; i < kWidth * kHeight; ++i) {
            const uint32_t pixel = s.back_buffer == D3DFMT_X8R8G8B8 ? 0xFF204060 : 0x40204060;
            clear_color.insert(clear_color.end(), reinterpret_cast<const uint8_t*>(&pixel),
                               reinterpret_cast<const uint8_t*>(&pixel) + 4);
        }
        EXPECT_GT(differing_pixels(reference.color, clear_color, 4), size_t(kWidth) * kHeight / 2) << s.name;
    }
}

} // namespace
