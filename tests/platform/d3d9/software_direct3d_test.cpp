// The adapter object: entry point, display mode, capabilities, the texture
// formats on offer, and device creation arguments.
#include <algorithm>

#include "device_helpers.h"
#include "platform/d3d9/texel_formats.h"

namespace {

class Direct3DTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        d3d9_test_reset();
        d3d.reset(Direct3DCreate9(D3D_SDK_VERSION));
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override { d3d9_test_reset(); }
    HRESULT check(D3DFORMAT format, DWORD usage = 0, D3DRESOURCETYPE type = D3DRTYPE_TEXTURE)
    {
        return d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, type, format);
    }
    InterfacePtr<IDirect3D9> d3d;
};

TEST(Direct3DCreate9Test, AcceptsTheKnownSdkVersionsOnly)
{
    d3d9_test_reset();
    for (UINT version : {31u, 32u, 31u | 0x80000000u}) {
        IDirect3D9* d3d = Direct3DCreate9(version);
        ASSERT_NE(d3d, nullptr) << version;
        EXPECT_EQ(d3d->Release(), 0u);
    }
    for (UINT version : {0u, 30u, 33u, 220u}) {
        EXPECT_EQ(Direct3DCreate9(version), nullptr) << version;
    }
}

TEST_F(Direct3DTest, DisplayModeIsX8R8G8B8)
{
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), S_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_GT(mode.Width, 0u);
    EXPECT_GT(mode.Height, 0u);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(Direct3DTest, DefaultCapabilities)
{
    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), S_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(caps.AdapterOrdinal, 0u);
    EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP);
    EXPECT_FALSE(caps.TextureCaps &
                 (D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_SQUAREONLY));
    EXPECT_EQ(caps.MaxTextureWidth, 4096u);
    EXPECT_EQ(caps.MaxTextureHeight, 4096u);
    EXPECT_EQ(caps.MaxTextureAspectRatio, 4096u);
    EXPECT_EQ(caps.MaxPrimitiveCount, 0xFFFFFu);
    EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_CULLNONE);
    EXPECT_TRUE(caps.TextureFilterCaps & D3DPTFILTERCAPS_MAGFLINEAR);
    EXPECT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, &caps), D3DERR_INVALIDCALL);
}

TEST_F(Direct3DTest, OffersTheTextureFormatsOfTheDefaultDevice)
{
    const D3DFORMAT offered[] = {
        D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,      D3DFMT_R5G6B5,        D3DFMT_X1R5G5B5,
        D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,      D3DFMT_R3G3B2,        D3DFMT_A8,
        D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4,      D3DFMT_A2B10G10R10,   D3DFMT_A8B8G8R8,
        D3DFMT_X8B8G8R8, D3DFMT_G16R16,        D3DFMT_A2R10G10B10,   D3DFMT_A16B16G16R16,
        D3DFMT_L8,       D3DFMT_A8L8,          D3DFMT_A4L4,          D3DFMT_L16,
        D3DFMT_R16F,     D3DFMT_G16R16F,       D3DFMT_A16B16G16R16F, D3DFMT_R32F,
        D3DFMT_G32R32F,  D3DFMT_A32B32G32R32F, D3DFMT_DXT1,          D3DFMT_DXT2,
        D3DFMT_DXT3,     D3DFMT_DXT4,          D3DFMT_DXT5,
    };
    for (D3DFORMAT format : offered) {
        EXPECT_EQ(check(format), S_OK) << format;
    }
    const D3DFORMAT refused[] = {
        D3DFMT_R8G8B8,   D3DFMT_P8,           D3DFMT_A8P8,   D3DFMT_V8U8,        D3DFMT_L6V5U5,
        D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8,     D3DFMT_V16U16, D3DFMT_A2W10V10U10, D3DFMT_Q16W16V16U16,
        D3DFMT_CxV8U8,   D3DFMT_UYVY,         D3DFMT_YUY2,   D3DFMT_R8G8_B8G8,   D3DFMT_G8R8_G8B8,
        D3DFMT_D16,      D3DFMT_D16_LOCKABLE, D3DFMT_D24S8,  D3DFMT_D32,         D3DFMT_UNKNOWN,
        D3DFMT_INDEX16,
    };
    for (D3DFORMAT format : refused) {
        EXPECT_EQ(check(format), D3DERR_NOTAVAILABLE) << format;
    }
    EXPECT_EQ(d3d9_default_texture_formats().size(), std::size(offered));
}

TEST_F(Direct3DTest, CheckDeviceFormatArguments)
{
    EXPECT_EQ(d3d->CheckDeviceFormat(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_L8),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_L8),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, 0, D3DRTYPE_TEXTURE, D3DFMT_L8),
              D3DERR_NOTAVAILABLE);
    const struct {
        D3DFORMAT format;
        DWORD usage;
        D3DRESOURCETYPE type;
        HRESULT result;
    } cases[] = {
        {D3DFMT_L8, 0, D3DRTYPE_CUBETEXTURE, D3DERR_NOTAVAILABLE},
        {D3DFMT_L8, 0, D3DRTYPE_VOLUMETEXTURE, D3DERR_NOTAVAILABLE},
        {D3DFMT_L8, 0, D3DRTYPE_SURFACE, S_OK},
        {D3DFMT_L8, D3DUSAGE_QUERY_FILTER | D3DUSAGE_QUERY_WRAPANDMIP | D3DUSAGE_DYNAMIC, D3DRTYPE_TEXTURE, S_OK},
        {D3DFMT_L8, D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DERR_NOTAVAILABLE},
        {D3DFMT_L8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DERR_NOTAVAILABLE},
        {D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, S_OK},
        {D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, S_OK},
        {D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DERR_NOTAVAILABLE},
        {D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC, D3DRTYPE_SURFACE, D3DERR_NOTAVAILABLE},
        {D3DFMT_D16, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, S_OK},
        {D3DFMT_D16_LOCKABLE, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, S_OK},
        {D3DFMT_D16, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_TEXTURE, D3DERR_NOTAVAILABLE},
        {D3DFMT_D16, D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, D3DERR_NOTAVAILABLE},
        {D3DFMT_D24S8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DERR_NOTAVAILABLE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(check(c.format, c.usage, c.type), c.result) << c.format << " usage " << c.usage << " type " << c.type;
}

TEST_F(Direct3DTest, CheckDeviceTypeForWindowedBackBuffers)
{
    const struct {
        UINT adapter;
        D3DDEVTYPE type;
        D3DFORMAT display, back;
        BOOL windowed;
        HRESULT result;
    } cases[] = {
        {0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE, S_OK},
        {0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, TRUE, S_OK},
        {0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, TRUE, S_OK},
        {0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, TRUE, D3DERR_NOTAVAILABLE},
        {0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE, D3DERR_NOTAVAILABLE},
        {0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, TRUE, D3DERR_NOTAVAILABLE},
        {1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE, D3DERR_INVALIDCALL},
        {0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE, D3DERR_INVALIDCALL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(d3d->CheckDeviceType(c.adapter, c.type, c.display, c.back, c.windowed), c.result)
            << c.adapter << " " << c.type << " " << c.display << " " << c.back << " " << c.windowed;
}

TEST_F(Direct3DTest, ProfileChangesCapsAndFormats)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.max_primitive_count = 65535;
    profile.max_texture_width = 1024;
    profile.texture_caps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
    profile.remove_format(D3DFMT_X1R5G5B5);
    d3d9_test_set_profile(profile);
    const InterfacePtr<IDirect3D9> other(Direct3DCreate9(D3D_SDK_VERSION));
    D3DCAPS9 caps;
    ASSERT_EQ(other->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), S_OK);
    EXPECT_EQ(caps.MaxPrimitiveCount, 65535u);
    EXPECT_EQ(caps.MaxTextureWidth, 1024u);
    EXPECT_EQ(caps.TextureCaps, DWORD(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY));
    EXPECT_EQ(other->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_X1R5G5B5),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(other->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_R5G6B5), S_OK);
    // Objects made before keep the profile they were made with.
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), S_OK);
    EXPECT_EQ(caps.MaxPrimitiveCount, 0xFFFFFu);
    EXPECT_EQ(check(D3DFMT_X1R5G5B5), S_OK);
}

TEST_F(Direct3DTest, CreateDeviceRefusesUnusableParameters)
{
    OffscreenWindow window(16, 16);
    struct Case {
        const char* what;
        void (*change)(D3DPRESENT_PARAMETERS&);
    } cases[] = {
        {"full screen", [](D3DPRESENT_PARAMETERS& p) { p.Windowed = FALSE; }},
        {"swap effect", [](D3DPRESENT_PARAMETERS& p) { p.SwapEffect = D3DSWAPEFFECT(0); }},
        {"multisampling", [](D3DPRESENT_PARAMETERS& p) { p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES; }},
        {"two back buffers", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferCount = 2; }},
        {"back buffer format", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_R5G6B5; }},
        {"depth format", [](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_D24S8; }},
        {"too wide", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferWidth = 100000; }},
    };
    for (const Case& c : cases) {
        D3DPRESENT_PARAMETERS params = windowed_params();
        c.change(params);
        IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(1);
        EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
                  D3DERR_INVALIDCALL)
            << c.what;
        EXPECT_EQ(device, nullptr) << c.what;
    }
    D3DPRESENT_PARAMETERS params = windowed_params();
    IDirect3DDevice9* device = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, 0, &params, &device), D3DERR_INVALIDCALL)
        << "no vertex processing named";
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3DERR_INVALIDCALL)
        << "neither focus nor device window";
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, nullptr, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3DERR_NOTAVAILABLE);
}

TEST_F(Direct3DTest, CreateDeviceTakesAZeroSizeFromTheClientArea)
{
    OffscreenWindow window(320, 200);
    D3DPRESENT_PARAMETERS params = windowed_params();
    InterfacePtr<IDirect3DDevice9> device;
    ASSERT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, receive(device)),
        S_OK);
    // The parameters come back completed.
    EXPECT_EQ(params.BackBufferWidth, 320u);
    EXPECT_EQ(params.BackBufferHeight, 200u);
    EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(params.BackBufferCount, 1u);

    // One side given, the other from the window.
    params = windowed_params(64, 0);
    ASSERT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, receive(device)),
        S_OK);
    EXPECT_EQ(params.BackBufferWidth, 64u);
    EXPECT_EQ(params.BackBufferHeight, 200u);

    window.set_client_size(0, 0);
    params = windowed_params();
    EXPECT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, receive(device)),
        D3DERR_INVALIDCALL);
    window.set_client_size(10, 10);
    window.set_closed(true);
    EXPECT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, receive(device)),
        D3DERR_INVALIDCALL);
}

TEST_F(Direct3DTest, DeviceKeepsTheAdapterObjectAlive)
{
    OffscreenWindow window(8, 8);
    D3DPRESENT_PARAMETERS params = windowed_params();
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              S_OK);
    d3d->AddRef();
    EXPECT_EQ(d3d->Release(), 2u) << "the caller's reference and the device's";
    {
        InterfacePtr<IDirect3D9> from_device;
        ASSERT_EQ(device->GetDirect3D(receive(from_device)), S_OK);
        EXPECT_EQ(from_device.get(), d3d.get());
    }
    // The caller may let go of the adapter object first, as the renderer does.
    d3d->AddRef();
    EXPECT_EQ(d3d->Release(), 2u);
    D3DCAPS9 caps;
    EXPECT_EQ(device->GetDeviceCaps(&caps), S_OK);
    EXPECT_EQ(device->Release(), 0u);
}

} // namespace
