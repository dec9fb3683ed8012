// The device as the renderer uses it: presentation buffers, Reset, Present,
// states and their defaults, the checks in front of a draw, and references.
#include <algorithm>
#include <map>
#include <numeric>
#include <utility>

#include "device_helpers.h"
#include "platform/d3d9/device_caps.h"

namespace {

class SoftDeviceTest : public DeviceTest {};

ScreenVertex corner(float x, float y, D3DCOLOR color = 0xFFFFFFFF)
{
    return ScreenVertex{x, y, 0.5f, 1.0f, color, 0, 0};
}

TEST_F(SoftDeviceTest, BackBufferIsTheWindowSizeInX8R8G8B8)
{
    InterfacePtr<IDirect3DSurface9> back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(back)), S_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(back->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 8u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Type, D3DRTYPE_SURFACE);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_RENDERTARGET));
    InterfacePtr<IDirect3DSurface9> target;
    ASSERT_EQ(device->GetRenderTarget(0, receive(target)), S_OK);
    EXPECT_EQ(device->GetBackBuffer(1, 0, D3DBACKBUFFER_TYPE_MONO, receive(back)), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, receive(back)), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_LEFT, receive(back)), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, DepthBufferIsD16AndNotLockable)
{
    InterfacePtr<IDirect3DSurface9> depth;
    ASSERT_EQ(device->GetDepthStencilSurface(receive(depth)), S_OK);
    D3DSURFACE_DESC desc;
    depth->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_D16);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_DEPTHSTENCIL));
    D3DLOCKED_RECT locked;
    EXPECT_EQ(depth->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, PresentCopiesTheBackBufferToTheWindow)
{
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF808080, 1.0f, 0), S_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(window.frames_presented(), 1u);
    EXPECT_EQ(window.frame_width(), 8u);
    EXPECT_EQ(window.frame_height(), 8u);
    for (uint32_t pixel : window.frame()) {
        ASSERT_EQ(pixel, 0x808080u);
    }
    // Another window may take the frame instead.
    OffscreenWindow other(8, 8);
    ASSERT_EQ(device->Present(nullptr, nullptr, &other, nullptr), S_OK);
    EXPECT_EQ(other.frames_presented(), 1u);
    EXPECT_EQ(window.frames_presented(), 1u);
    // Only whole frames, and never inside a scene.
    RECT rect = {0, 0, 4, 4};
    EXPECT_EQ(device->Present(&rect, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    device->BeginScene();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    device->EndScene();
}

TEST_F(SoftDeviceTest, PresentGoesToTheDeviceWindowWhenOneIsNamed)
{
    OffscreenWindow device_window(12, 6);
    D3DPRESENT_PARAMETERS params = windowed_params(0, 0);
    params.hDeviceWindow = &device_window;
    ASSERT_EQ(device->Reset(&params), S_OK);
    EXPECT_EQ(params.BackBufferWidth, 12u) << "the size comes from the device window";
    EXPECT_EQ(params.BackBufferHeight, 6u);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF112233, 1.0f, 0);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(device_window.frames_presented(), 1u);
    EXPECT_EQ(window.frames_presented(), 0u);
    EXPECT_EQ(device_window.pixel(11, 5), 0x112233u);
}

TEST_F(SoftDeviceTest, ResetMakesBuffersOfTheNewSize)
{
    D3DPRESENT_PARAMETERS params = windowed_params(16, 4);
    params.BackBufferCount = 1;
    params.hDeviceWindow = &window;
    ASSERT_EQ(device->Reset(&params), S_OK);
    D3DSURFACE_DESC desc;
    {
        InterfacePtr<IDirect3DSurface9> back;
        ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(back)), S_OK);
        back->GetDesc(&desc);
    }
    EXPECT_EQ(desc.Width, 16u);
    EXPECT_EQ(desc.Height, 4u);
    D3DVIEWPORT9 viewport;
    device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 16u);
    EXPECT_EQ(viewport.Height, 4u);
    begin(0xFF0000FF);
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {corner(0, 0), corner(16, 0), corner(0, 4)}, 1), S_OK);
    finish();
    EXPECT_EQ(window.frame_width(), 16u);
    EXPECT_EQ(window.frame_height(), 4u);
    EXPECT_EQ(window.pixel(0, 0), 0xFFFFFFu);
    EXPECT_EQ(window.pixel(15, 3), 0x0000FFu);

    // Width and height 0 take the window's client size.
    window.set_client_size(5, 7);
    params = windowed_params(0, 0);
    ASSERT_EQ(device->Reset(&params), S_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(window.frame_width(), 5u);
    EXPECT_EQ(window.frame_height(), 7u);
}

TEST_F(SoftDeviceTest, ImpossibleResetFailsFramesUntilAGoodOne)
{
    // A side past the largest buffer the device makes, either side.
    for (const auto& [width, height] : {std::pair{kMaxBackBufferSide + 1, 4u}, std::pair{4u, kMaxBackBufferSide + 1}}) {
        D3DPRESENT_PARAMETERS params = windowed_params(width, height);
        EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL) << width << "x" << height;
    }
    window.set_client_size(0, 0);
    D3DPRESENT_PARAMETERS params = windowed_params(0, 0);
    EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(draw_screen(D3DPT_TRIANGLELIST, {corner(0, 0), corner(4, 0), corner(0, 4)}, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    IDirect3DSurface9* back = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3DERR_INVALIDCALL);
    EXPECT_EQ(back, nullptr);
    EXPECT_EQ(window.frames_presented(), 0u);
    // States may still be set meanwhile.
    EXPECT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);

    window.set_client_size(6, 6);
    params = windowed_params(0, 0);
    ASSERT_EQ(device->Reset(&params), S_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), S_OK);
    begin(0xFF00FF00);
    finish();
    EXPECT_EQ(window.pixel(5, 5), 0x00FF00u);
}

TEST_F(SoftDeviceTest, ResetRestoresEveryStateAndUnbinds)
{
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    device->SetTexture(0, texture);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    D3DMATRIX m = identity_matrix();
    m._41 = 3;
    device->SetTransform(D3DTS_VIEW, &m);
    device->SetFVF(0x242);
    D3DPRESENT_PARAMETERS params = windowed_params();
    ASSERT_EQ(device->Reset(&params), S_OK);
    DWORD value = 0;
    device->GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, DWORD(TRUE));
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, DWORD(D3DCULL_CCW));
    device->GetTextureStageState(0, D3DTSS_ALPHAOP, &value);
    EXPECT_EQ(value, DWORD(D3DTOP_SELECTARG1));
    device->GetSamplerState(0, D3DSAMP_MINFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_POINT));
    device->GetTransform(D3DTS_VIEW, &m);
    EXPECT_EQ(m._41, 0.0f);
    device->GetFVF(&value);
    EXPECT_EQ(value, 0u);
    IDirect3DBaseTexture9* bound = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    device->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(texture->Release(), 0u);
}

// Every state number the platform knows, and nothing else, with the
// platform's default: the non-zero ones listed, all others zero.
TEST_F(SoftDeviceTest, DefaultStatesAreThePlatformsDefaults)
{
    const std::pair<DWORD, DWORD> known_render[] = {
        {7, 9},     {14, 16},   {19, 20},   {22, 29},   {34, 38},   {48, 48},   {52, 60},   {128, 137},
        {139, 143}, {145, 148}, {151, 152}, {154, 163}, {165, 168}, {170, 176}, {178, 195}, {198, 209}};
    constexpr DWORD kOne = 0x3F800000; // 1.0f
    const std::map<DWORD, DWORD> render = {
        {D3DRS_ZENABLE, D3DZB_TRUE},
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_LASTPIXEL, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_FOGEND, kOne},
        {D3DRS_FOGDENSITY, kOne},
        {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP},
        {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP},
        {D3DRS_STENCILPASS, D3DSTENCILOP_KEEP},
        {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},
        {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_CLIPPING, TRUE},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_LOCALVIEWER, TRUE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_POINTSIZE, kOne},
        {D3DRS_POINTSIZE_MIN, kOne},
        {D3DRS_POINTSCALE_A, kOne},
        {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
        {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF},
        {D3DRS_POINTSIZE_MAX, kOne},
        {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_POSITIONDEGREE, D3DDEGREE_CUBIC},
        {D3DRS_NORMALDEGREE, D3DDEGREE_LINEAR},
        {D3DRS_MINTESSELLATIONLEVEL, kOne},
        {D3DRS_MAXTESSELLATIONLEVEL, kOne},
        {D3DRS_ADAPTIVETESS_Z, kOne},
        {D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP},
        {D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP},
        {D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP},
        {D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS},
        {D3DRS_COLORWRITEENABLE1, 0xF},
        {D3DRS_COLORWRITEENABLE2, 0xF},
        {D3DRS_COLORWRITEENABLE3, 0xF},
        {D3DRS_BLENDFACTOR, 0xFFFFFFFF},
        {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE},
        {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO},
        {D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD},
    };
    auto in = [](DWORD n, const auto& ranges) {
        return std::any_of(std::begin(ranges), std::end(ranges),
                           [n](const std::pair<DWORD, DWORD>& r) { return r.first <= n && n <= r.second; });
    };
    for (DWORD state = 0; state < 256; ++state) {
        DWORD value = 0x12345678;
        const bool known = in(state, known_render);
        ASSERT_EQ(device->GetRenderState(D3DRENDERSTATETYPE(state), &value), known ? S_OK : D3DERR_INVALIDCALL)
            << "render state " << state;
        if (known) {
            EXPECT_EQ(value, render.count(state) ? render.at(state) : 0u) << "render state " << state;
        }
    }

    const std::pair<DWORD, DWORD> known_stage[] = {{1, 11}, {22, 24}, {26, 28}, {32, 32}};
    for (DWORD stage = 0; stage < 8; ++stage) {
        const std::map<DWORD, DWORD> defaults = {
            {D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE},
            {D3DTSS_COLORARG1, D3DTA_TEXTURE},
            {D3DTSS_COLORARG2, D3DTA_CURRENT},
            {D3DTSS_ALPHAOP, stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE},
            {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
            {D3DTSS_ALPHAARG2, D3DTA_CURRENT},
            {D3DTSS_TEXCOORDINDEX, stage},
            {D3DTSS_COLORARG0, D3DTA_CURRENT},
            {D3DTSS_ALPHAARG0, D3DTA_CURRENT},
            {D3DTSS_RESULTARG, D3DTA_CURRENT},
        };
        for (DWORD type = 0; type < 40; ++type) {
            DWORD value = 0x12345678;
            const bool known = in(type, known_stage);
            ASSERT_EQ(device->GetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), &value),
                      known ? S_OK : D3DERR_INVALIDCALL)
                << "stage " << stage << " state " << type;
            if (known) {
                EXPECT_EQ(value, defaults.count(type) ? defaults.at(type) : 0u)
                    << "stage " << stage << " state " << type;
            }
        }
    }

    const std::map<DWORD, DWORD> sampler = {
        {D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP}, {D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP},
        {D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP}, {D3DSAMP_MAGFILTER, D3DTEXF_POINT},
        {D3DSAMP_MINFILTER, D3DTEXF_POINT},   {D3DSAMP_MIPFILTER, D3DTEXF_NONE},
        {D3DSAMP_MAXANISOTROPY, 1},
    };
    for (DWORD s = 0; s < 16; ++s)
        for (DWORD type = 0; type < 20; ++type) {
            const bool known = type >= D3DSAMP_ADDRESSU && type <= D3DSAMP_DMAPOFFSET;
            DWORD value = 0x12345678;
            ASSERT_EQ(device->GetSamplerState(s, D3DSAMPLERSTATETYPE(type), &value), known ? S_OK : D3DERR_INVALIDCALL)
                << "sampler " << s << " state " << type;
            ASSERT_EQ(device->SetSamplerState(s, D3DSAMPLERSTATETYPE(type), value), known ? S_OK : D3DERR_INVALIDCALL)
                << "sampler " << s << " state " << type;
            if (known) {
                EXPECT_EQ(value, sampler.count(type) ? sampler.at(type) : 0u) << "sampler " << s << " state " << type;
            }
        }
    D3DMATRIX world;
    device->GetTransform(D3DTS_WORLD, &world);
    const D3DMATRIX identity = identity_matrix();
    EXPECT_EQ(std::memcmp(&world, &identity, sizeof world), 0);

    // Without a depth buffer the depth test starts off.
    D3DPRESENT_PARAMETERS params = windowed_params();
    params.EnableAutoDepthStencil = FALSE;
    ASSERT_EQ(device->Reset(&params), S_OK);
    DWORD z = 1;
    device->GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, DWORD(D3DZB_FALSE));
    IDirect3DSurface9* depth = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(device->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    EXPECT_EQ(depth, nullptr);
}

TEST_F(SoftDeviceTest, StateCallsRefuseUnknownNumbers)
{
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATETYPE(0), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATETYPE(10), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATETYPE(400), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTEXTURESTAGESTATETYPE(12), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(16, D3DSAMP_MINFILTER, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(0, D3DSAMPLERSTATETYPE(14), 0), D3DERR_INVALIDCALL);
    D3DMATRIX m = identity_matrix();
    EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATETYPE(1), &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLDMATRIX(255), &m), S_OK);
    EXPECT_EQ(device->SetTexture(16, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetStreamSource(1, nullptr, 0, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetStreamSource(0, nullptr, 0, 255), S_OK) << "the largest stride";
    EXPECT_EQ(device->SetStreamSource(0, nullptr, 0, 256), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, ClearHonoursRectanglesAndTheViewport)
{
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    // Inverted and outside rectangles clear nothing.
    const D3DRECT rects[] = {{1, 1, 3, 3}, {6, 6, 20, 20}, {5, 5, 2, 2}, {-9, -9, -1, -1}, {30, 0, 40, 8}};
    ASSERT_EQ(device->Clear(5, rects, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), S_OK);
    D3DVIEWPORT9 viewport = {4, 0, 2, 2, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&viewport), S_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), S_OK);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(mask(0xFFFFFF),
              "....##..\n"
              ".##.##..\n"
              ".##.....\n"
              "........\n"
              "........\n"
              "........\n"
              "......##\n"
              "......##\n");
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL) << "no stencil bits";
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 2.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST_F(SoftDeviceTest, ViewportLimitsDrawingAndMustFitTheBackBuffer)
{
    D3DVIEWPORT9 viewport = {2, 2, 4, 4, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&viewport), S_OK);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {corner(-10, -10), corner(30, -10), corner(-10, 30)}, 1), S_OK);
    finish();
    EXPECT_EQ(mask(0xFFFFFF),
              "........\n"
              "........\n"
              "..####..\n"
              "..####..\n"
              "..####..\n"
              "..####..\n"
              "........\n"
              "........\n");
    // The back buffer is 8 x 8: a viewport may reach its edges, not pass them.
    const std::pair<D3DVIEWPORT9, HRESULT> cases[] = {
        {{4, 4, 4, 4, 0.0f, 1.0f}, S_OK},
        {{0, 0, 8, 8, 0.5f, 0.5f}, S_OK},
        {{4, 4, 5, 4, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
        {{4, 4, 4, 5, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
        {{0, 0, 0, 4, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
        {{0, 0, 4, 0, 0.0f, 1.0f}, D3DERR_INVALIDCALL},
        {{0, 0, 4, 4, 0.0f, 1.5f}, D3DERR_INVALIDCALL},
        {{0, 0, 4, 4, -0.5f, 1.0f}, D3DERR_INVALIDCALL},
    };
    for (const auto& [tried, result] : cases) {
        EXPECT_EQ(device->SetViewport(&tried), result) << tried.X << "," << tried.Y << " " << tried.Width << "x"
                                                       << tried.Height << " " << tried.MinZ << ".." << tried.MaxZ;
        D3DVIEWPORT9 now{};
        device->GetViewport(&now);
        EXPECT_EQ(std::memcmp(&now, result == S_OK ? &tried : &cases[1].first, sizeof now), 0);
    }
}

TEST_F(SoftDeviceTest, DrawCallsAreCheckedBeforeAnythingIsDrawn)
{
    const std::vector<ScreenVertex> vertices = {corner(0, 0), corner(8, 0), corner(0, 8), corner(8, 8)};
    auto vb = make_vertex_buffer(vertices.data(), vertices.size() * sizeof(ScreenVertex));
    auto ib = make_index_buffer({0, 1, 2, 1, 3, 2, 9, 9, 9});
    device->SetFVF(kScreenFvf);
    device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    device->SetIndices(ib.get());

    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL) << "outside a scene";
    begin();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 0), D3DERR_INVALIDCALL) << "no primitives";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 4), D3DERR_INVALIDCALL)
        << "past the index buffer";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 2), D3DERR_INVALIDCALL)
        << "index 9 outside the vertex range";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 2), D3DERR_INVALIDCALL)
        << "index 3 outside 0..2";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL)
        << "base 1 reaches past the stream";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPRIMITIVETYPE(9), 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    device->SetFVF(0);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL) << "no FVF";
    device->SetFVF(kScreenFvf);
    device->SetStreamSource(0, vb.get(), 4, sizeof(ScreenVertex));
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL)
        << "the offset pushes the last vertex out";
    device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3DERR_INVALIDCALL) << "vertices 2..4 of 4";
    finish();
    EXPECT_EQ(mask(0).find('.'), std::string::npos) << "no failed call drew anything";

    begin();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), S_OK);
    finish();
    EXPECT_EQ(mask(0xFFFFFF).find('.'), std::string::npos);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
}

// Every index of a call is checked against MinVertexIndex and NumVertices,
// in 16 and 32 bits, wherever it lies in a long index list.
TEST_F(SoftDeviceTest, IndicesOutsideTheNamedRangeAreRefused)
{
    const std::vector<ScreenVertex> vertices(8, corner(0, 0));
    auto vb = make_vertex_buffer(vertices.data(), vertices.size() * sizeof(ScreenVertex));
    device->SetFVF(kScreenFvf);
    device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    const struct {
        UINT at;        // where the odd index lies among 60
        uint32_t index; // all the others are 3
        HRESULT expected;
    } cases[] = {{0, 2, S_OK},
                 {59, 6, S_OK},
                 {0, 1, D3DERR_INVALIDCALL},
                 {37, 1, D3DERR_INVALIDCALL},
                 {59, 7, D3DERR_INVALIDCALL},
                 {17, 0x10007, D3DERR_INVALIDCALL},
                 {30, 0xFFFF, D3DERR_INVALIDCALL}};
    begin();
    for (bool wide : {false, true}) {
        for (const auto& c : cases) {
            std::vector<uint32_t> indices(60, 3);
            indices[c.at] = c.index;
            if (!wide && c.index > 0xFFFF) {
                continue;
            }
            InterfacePtr<IDirect3DIndexBuffer9> ib;
            const UINT bytes = wide ? 4 : 2;
            ASSERT_EQ(device->CreateIndexBuffer(60 * bytes, 0, wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                                receive(ib), nullptr),
                      S_OK);
            void* bits = nullptr;
            ASSERT_EQ(ib->Lock(0, 0, &bits, 0), S_OK);
            for (UINT k = 0; k < 60; ++k) {
                const uint16_t narrow = static_cast<uint16_t>(indices[k]);
                std::memcpy(static_cast<uint8_t*>(bits) + k * bytes,
                            wide ? static_cast<const void*>(&indices[k]) : &narrow, bytes);
            }
            ib->Unlock();
            device->SetIndices(ib.get());
            // Vertices 2 .. 6 may be named.
            EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 2, 5, 0, 20), c.expected)
                << (wide ? "32" : "16") << " bits, index " << c.index << " at " << c.at;
            device->SetIndices(nullptr);
        }
    }
    finish();
    device->SetStreamSource(0, nullptr, 0, 0);
}

TEST_F(SoftDeviceTest, MinimumVertexIndexAndBaseOffsetTheIndices)
{
    // Vertices 0..3 are far off screen; 4..6 form the triangle.
    std::vector<ScreenVertex> vertices(4, corner(-100, -100));
    vertices.push_back(corner(0, 0));
    vertices.push_back(corner(8, 0));
    vertices.push_back(corner(0, 8));
    auto vb = make_vertex_buffer(vertices.data(), vertices.size() * sizeof(ScreenVertex));
    auto ib = make_index_buffer({2, 3, 4});
    device->SetFVF(kScreenFvf);
    device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    device->SetIndices(ib.get());
    begin();
    // Base 2: indices 2, 3, 4 name vertices 4, 5, 6.
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 2, 3, 0, 1), S_OK);
    finish();
    EXPECT_EQ(window.pixel(1, 1), 0xFFFFFFu);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
}

TEST(PrimitiveLimitTest, LargerBatchesAreDrawnInChunksWithTheSameResult)
{
    // A strip of 1,000 thin triangles covering a 64 x 64 frame, drawn in one
    // call on the default device and in chunks of 300 on a limited one.
    auto draw_frame = [](UINT limit, bool chunked) {
        D3D9Profile profile = d3d9_default_profile();
        profile.max_primitive_count = limit;
        d3d9_test_set_profile(profile);
        OffscreenWindow window(64, 64);
        const InterfacePtr<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
        D3DPRESENT_PARAMETERS params = windowed_params();
        InterfacePtr<IDirect3DDevice9> device;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, receive(device));
        std::vector<ScreenVertex> vertices;
        for (int k = 0; k <= 500; ++k) {
            const float x = k * 64.0f / 500.0f;
            const D3DCOLOR c = 0xFF000000u | ((k + 1) * 0x010307u);
            vertices.push_back({x, 0, 0.5f, 1, c, 0, 0});
            vertices.push_back({x, 64, 0.5f, 1, c, 0, 0});
        }
        std::vector<uint16_t> indices;
        for (uint16_t k = 0; k < 500; ++k) {
            const uint16_t a = 2 * k, b = a + 1, c = a + 2, d = a + 3;
            for (uint16_t i : {a, c, b, b, c, d}) {
                indices.push_back(i);
            }
        }
        InterfacePtr<IDirect3DVertexBuffer9> vb;
        InterfacePtr<IDirect3DIndexBuffer9> ib;
        void* bits;
        device->CreateVertexBuffer(UINT(vertices.size() * sizeof(ScreenVertex)), 0, kScreenFvf, D3DPOOL_MANAGED,
                                   receive(vb), nullptr);
        vb->Lock(0, 0, &bits, 0);
        std::memcpy(bits, vertices.data(), vertices.size() * sizeof(ScreenVertex));
        vb->Unlock();
        device->CreateIndexBuffer(UINT(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, receive(ib), nullptr);
        ib->Lock(0, 0, &bits, 0);
        std::memcpy(bits, indices.data(), indices.size() * 2);
        ib->Unlock();
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        device->SetFVF(kScreenFvf);
        device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
        device->SetIndices(ib.get());
        const UINT total = 1000;
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, UINT(vertices.size()), 0, total),
                  chunked ? D3DERR_INVALIDCALL : S_OK);
        if (chunked) {
            for (UINT start = 0, left = total; left > 0;) {
                const UINT n = std::min(left, limit);
                EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, UINT(vertices.size()), start, n),
                          S_OK);
                start += 3 * n;
                left -= n;
            }
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        device->SetStreamSource(0, nullptr, 0, 0);
        device->SetIndices(nullptr);
        d3d9_test_reset();
        return window.frame();
    };
    const std::vector<uint32_t> whole = draw_frame(0xFFFFF, false);
    const std::vector<uint32_t> pieces = draw_frame(300, true);
    EXPECT_EQ(whole, pieces);
    EXPECT_EQ(std::count(whole.begin(), whole.end(), 0u), 0) << "every pixel covered";
}

TEST_F(SoftDeviceTest, ManagedResourcesSurviveResetAndDefaultOnesBlockIt)
{
    InterfacePtr<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_MANAGED, receive(vb), nullptr), S_OK);
    void* bits;
    vb->Lock(0, 0, &bits, 0);
    std::memcpy(bits, "sixteen bytes...", 16);
    vb->Unlock();
    D3DPRESENT_PARAMETERS params = windowed_params();
    ASSERT_EQ(device->Reset(&params), S_OK);
    vb->Lock(0, 0, &bits, D3DLOCK_READONLY);
    EXPECT_EQ(std::memcmp(bits, "sixteen bytes...", 16), 0);
    vb->Unlock();
    vb.reset();

    InterfacePtr<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, receive(texture), nullptr), S_OK);
    params = windowed_params();
    EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL) << "a default-pool texture is still alive";
    texture.reset();
    params = windowed_params();
    EXPECT_EQ(device->Reset(&params), S_OK);
}

TEST_F(SoftDeviceTest, BackBufferHeldAcrossResetStaysUsable)
{
    InterfacePtr<IDirect3DSurface9> old_back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(old_back)), S_OK);
    D3DPRESENT_PARAMETERS params = windowed_params(32, 32);
    ASSERT_EQ(device->Reset(&params), S_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(old_back->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Width, 8u) << "the old buffer is no longer the device's";
    D3DLOCKED_RECT locked;
    ASSERT_EQ(old_back->LockRect(&locked, nullptr, 0), S_OK);
    static_cast<uint32_t*>(locked.pBits)[0] = 0;
    old_back->UnlockRect();
    InterfacePtr<IDirect3DSurface9> new_back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(new_back)), S_OK);
    EXPECT_NE(new_back.get(), old_back.get());
}

TEST_F(SoftDeviceTest, BoundResourcesOutliveTheirLastReference)
{
    // The renderer releases the device first and its buffers afterwards,
    // while they are still bound; nothing may be used after it is freed.
    std::vector<ScreenVertex> vertices = {corner(0, 0), corner(8, 0), corner(0, 8)};
    auto vb = make_vertex_buffer(vertices.data(), vertices.size() * sizeof(ScreenVertex));
    auto ib = make_index_buffer({0, 1, 2});
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    device->SetIndices(ib.get());
    device->SetTexture(0, texture);
    // Released while bound: drawing with them still works.
    EXPECT_EQ(texture->Release(), 0u);
    device->SetFVF(kScreenFvf);
    begin();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);
    finish();
    // A bound texture can be had back.
    IDirect3DBaseTexture9* again = nullptr;
    ASSERT_EQ(device->GetTexture(0, &again), S_OK);
    EXPECT_EQ(again->Release(), 0u);
    // The device goes before the buffers, as in the renderer's teardown.
    EXPECT_EQ(device->Release(), 2u) << "the two buffers still hold it";
    device = nullptr;
    EXPECT_EQ(vb.release()->Release(), 0u);
    EXPECT_EQ(ib.release()->Release(), 0u); // the device goes with the last one
}

TEST_F(SoftDeviceTest, ResourcesOfAnotherDeviceCannotBeBound)
{
    OffscreenWindow other_window(4, 4);
    D3DPRESENT_PARAMETERS params = windowed_params();
    IDirect3DDevice9* other = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &other_window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &other),
              S_OK);
    { // the other device's resources go first, so that its own count can be checked
        InterfacePtr<IDirect3DTexture9> texture;
        InterfacePtr<IDirect3DVertexBuffer9> vb;
        InterfacePtr<IDirect3DIndexBuffer9> ib;
        other->CreateTexture(4, 4, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, receive(texture), nullptr);
        other->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, receive(vb), nullptr);
        other->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, receive(ib), nullptr);
        EXPECT_EQ(device->SetTexture(0, texture.get()), D3DERR_INVALIDCALL);
        EXPECT_EQ(device->SetStreamSource(0, vb.get(), 0, 16), D3DERR_INVALIDCALL);
        EXPECT_EQ(device->SetIndices(ib.get()), D3DERR_INVALIDCALL);
        InterfacePtr<IDirect3DDevice9> owner;
        texture->GetDevice(receive(owner));
        EXPECT_EQ(owner.get(), other);
    }
    EXPECT_EQ(other->Release(), 0u);
}

TEST_F(SoftDeviceTest, SceneBracketsPair)
{
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), S_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), S_OK);
}

} // namespace
