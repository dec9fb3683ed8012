// The four- and eight-lane pixel loops against the loop that shades one
// pixel at a time: random overlapping triangles of every size the rasterizer treats
// apart, under every stage setting the lanes take, the colour and depth
// buffers compared bit for bit. The reference also draws every triangle
// through, where the others drop those hidden behind the depth tiles.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "device_helpers.h"

namespace {

constexpr UINT kWidth = 96, kHeight = 72;

enum class Stage { NoTexture, Modulate, TextureAlpha, DiffuseOnly, DiffuseTimesTextureAlpha };

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
    // The second pass over the first: blend factors (0: blending off) and
    // the alpha test (0: off).
    DWORD src_blend = 0, dest_blend = 0;
    DWORD alpha_func = 0;
    DWORD alpha_ref = 0x80;
    D3DFORMAT texture_format = D3DFMT_A8R8G8B8;
};

struct Buffers {
    std::vector<uint8_t> color, depth;
};

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

InterfacePtr<IDirect3DTexture9> random_texture(IDirect3DDevice9* device, UINT width, UINT height,
                                               D3DFORMAT format = D3DFMT_A8R8G8B8)
{
    InterfacePtr<IDirect3DTexture9> texture;
    EXPECT_EQ(device->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, receive(texture), nullptr), S_OK);
    std::mt19937 random(width * 131 + height);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), S_OK);
    const UINT texel_bytes = format == D3DFMT_A8 ? 1 : 4;
    for (UINT y = 0; y < height; ++y) {
        auto* row = static_cast<uint8_t*>(locked.pBits) + size_t(y) * UINT(locked.Pitch);
        for (UINT x = 0; x < width * texel_bytes; ++x) {
            row[x] = static_cast<uint8_t>(random());
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
    const DWORD color_op = s.stage == Stage::DiffuseOnly ? D3DTOP_DISABLE
        : s.stage == Stage::DiffuseTimesTextureAlpha     ? D3DTOP_SELECTARG2
                                                         : D3DTOP_MODULATE;
    device->SetTextureStageState(0, D3DTSS_COLOROP, color_op);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP,
                                 s.stage == Stage::TextureAlpha ? D3DTOP_SELECTARG1 : D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, s.filter);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, s.filter);
    const bool blend = s.src_blend != 0 && !first_pass;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
    device->SetRenderState(D3DRS_SRCBLEND, blend ? s.src_blend : D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, blend ? s.dest_blend : D3DBLEND_ZERO);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, s.alpha_func != 0 && !first_pass);
    device->SetRenderState(D3DRS_ALPHAFUNC, s.alpha_func);
    device->SetRenderState(D3DRS_ALPHAREF, s.alpha_ref);
}

Buffers draw_scene(const Setting& s, UINT lanes, bool depth_tiles)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.depth_tiles = depth_tiles;
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
    const InterfacePtr<IDirect3DTexture9> texture = s.stage == Stage::NoTexture
        ? nullptr
        : random_texture(device, s.texture_width, s.texture_height, s.texture_format);
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
    buffers.color = surface_bytes(surface.get(), kWidth * 4, kHeight);
    EXPECT_EQ(device->GetDepthStencilSurface(receive(surface)), S_OK);
    buffers.depth = surface_bytes(surface.get(), kWidth * 2, kHeight);
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
        {.name = "blend source alpha over the rest",
         .src_blend = D3DBLEND_SRCALPHA,
         .dest_blend = D3DBLEND_INVSRCALPHA},
        {.name = "blend, A8 texture, diffuse colour, A8R8G8B8, point",
         .back_buffer = D3DFMT_A8R8G8B8,
         .stage = Stage::DiffuseTimesTextureAlpha,
         .filter = D3DTEXF_POINT,
         .src_blend = D3DBLEND_SRCALPHA,
         .dest_blend = D3DBLEND_INVSRCALPHA,
         .texture_format = D3DFMT_A8},
        {.name = "blend one and one, no texture",
         .stage = Stage::NoTexture,
         .src_blend = D3DBLEND_ONE,
         .dest_blend = D3DBLEND_ONE},
        {.name = "blend inverse alpha and zero, texture alpha",
         .stage = Stage::TextureAlpha,
         .src_blend = D3DBLEND_INVSRCALPHA,
         .dest_blend = D3DBLEND_ZERO},
        {.name = "blend by destination colour (one pixel at a time in both)",
         .src_blend = D3DBLEND_DESTCOLOR,
         .dest_blend = D3DBLEND_SRCCOLOR},
        {.name = "alpha test greater, depth written", .alpha_func = D3DCMP_GREATER},
        {.name = "alpha test less-equal with blending, two threads",
         .threads = 2,
         .src_blend = D3DBLEND_SRCALPHA,
         .dest_blend = D3DBLEND_INVSRCALPHA,
         .alpha_func = D3DCMP_LESSEQUAL,
         .alpha_ref = 0x30},
    };
    for (const Setting& s : settings) {
        const Buffers reference = draw_scene(s, 1, false);
        ASSERT_EQ(reference.color.size(), size_t(kWidth) * kHeight * 4) << s.name;
        // Eight lanes where the processor has AVX2; four otherwise, twice.
        for (UINT width : {1u, 4u, 8u}) {
            const Buffers lanes = draw_scene(s, width, true);
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

// A blended pixel in double precision: the source colour the diffuse's
// with alpha texel x diffuse alpha, each factor a fraction of one.
double reference_blend(DWORD factor, double source_alpha, double dest_alpha)
{
    switch (factor) {
    case D3DBLEND_DESTALPHA:
        return dest_alpha / 255.0;
    case D3DBLEND_INVDESTALPHA:
        return 1.0 - dest_alpha / 255.0;
    case D3DBLEND_ZERO:
        return 0.0;
    case D3DBLEND_SRCALPHA:
        return source_alpha / 255.0;
    case D3DBLEND_INVSRCALPHA:
        return 1.0 - source_alpha / 255.0;
    default:
        return 1.0;
    }
}

// Under an A8 texture of random alpha, one texel to a pixel, a quad of
// one diffuse colour is blended over a Gouraud-shaded quad; every channel
// of every pixel is within rounding of the double reference, in every
// pixel loop.
TEST(LaneShaderTest, BlendsMatchADoubleReference)
{
    constexpr UINT kSide = 64;
    const struct {
        DWORD src, dest;
        D3DCOLOR diffuse;
    } cases[] = {
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xC0F08010},
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xFFFFFFFF},
        {D3DBLEND_ONE, D3DBLEND_ZERO, 0x8040C0E0},
        {D3DBLEND_ONE, D3DBLEND_ONE, 0x60806040},
        {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, 0xFF2050A0},
        {D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, 0xC0F08010}, // the shaded quad's alpha varies
    };
    for (const auto& c : cases) {
        for (UINT lanes : {1u, 4u, 8u}) {
            D3D9Profile profile = d3d9_default_profile();
            profile.raster_lanes = lanes;
            d3d9_test_set_profile(profile);
            OffscreenWindow window(kSide, kSide);
            const InterfacePtr<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
            D3DPRESENT_PARAMETERS params = windowed_params(kSide, kSide);
            params.BackBufferFormat = D3DFMT_A8R8G8B8;
            InterfacePtr<IDirect3DDevice9> device;
            ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                                        receive(device)),
                      S_OK);
            const InterfacePtr<IDirect3DTexture9> texture = random_texture(device.get(), kSide, kSide, D3DFMT_A8);
            device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
            device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
            device->SetFVF(kScreenFvf);
            device->BeginScene();
            const float lo = -0.5f, hi = kSide - 0.5f;
            auto quad = [&](D3DCOLOR a, D3DCOLOR b, D3DCOLOR c2, D3DCOLOR d) {
                const ScreenVertex v[6] = {{lo, lo, 0, 1, a, 0, 0}, {hi, lo, 0, 1, b, 1, 0}, {lo, hi, 0, 1, c2, 0, 1},
                                           {hi, lo, 0, 1, b, 1, 0}, {hi, hi, 0, 1, d, 1, 1}, {lo, hi, 0, 1, c2, 0, 1}};
                auto vb = filled_vertex_buffer(device.get(), v, sizeof v);
                device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
                EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), S_OK);
                device->SetStreamSource(0, nullptr, 0, 0);
            };
            quad(0x00FF0000, 0x4000FF00, 0x800000FF, 0xFFFFFFFF);
            InterfacePtr<IDirect3DSurface9> surface;
            ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(surface)), S_OK);
            const std::vector<uint8_t> under = surface_bytes(surface.get(), kSide * 4, kSide);
            device->SetTexture(0, texture.get());
            device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
            device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
            device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
            device->SetRenderState(D3DRS_SRCBLEND, c.src);
            device->SetRenderState(D3DRS_DESTBLEND, c.dest);
            quad(c.diffuse, c.diffuse, c.diffuse, c.diffuse);
            device->EndScene();
            const std::vector<uint8_t> over = surface_bytes(surface.get(), kSide * 4, kSide);
            D3DLOCKED_RECT alphas;
            ASSERT_EQ(texture->LockRect(0, &alphas, nullptr, D3DLOCK_READONLY), S_OK);
            double worst = 0.0;
            for (UINT y = 0; y < kSide; ++y) {
                for (UINT x = 0; x < kSide; ++x) {
                    const double texel = static_cast<const uint8_t*>(alphas.pBits)[y * UINT(alphas.Pitch) + x];
                    const double alpha = texel * (c.diffuse >> 24) / 255.0;
                    for (int k = 0; k < 4; ++k) { // blue, green, red, alpha
                        const double source = k == 3 ? alpha : double((c.diffuse >> (8 * k)) & 255);
                        const size_t at = (size_t(y) * kSide + x) * 4 + k;
                        const double dest_alpha = under[(size_t(y) * kSide + x) * 4 + 3];
                        const double expected = std::min(255.0,
                                                         source * reference_blend(c.src, alpha, dest_alpha) +
                                                             under[at] * reference_blend(c.dest, alpha, dest_alpha));
                        worst = std::max(worst, std::fabs(over[at] - expected));
                    }
                }
            }
            texture->UnlockRect(0);
            // Two products and the texel's alpha each rounded once.
            EXPECT_LE(worst, 1.5) << "factors " << c.src << ", " << c.dest << ", " << lanes << " lanes";
            d3d9_test_reset();
        }
    }
}

} // namespace
