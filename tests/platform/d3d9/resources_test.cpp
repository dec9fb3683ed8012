// Buffers, textures and their level surfaces: sizes, pitches, locking,
// references, and the limits a device profile puts on texture creation.
#include "device_helpers.h"

namespace {

class ResourceTest : public DeviceTest {
protected:
    InterfacePtr<IDirect3DTexture9> texture(UINT width, UINT height, UINT levels, D3DFORMAT format,
                                            D3DPOOL pool = D3DPOOL_MANAGED)
    {
        InterfacePtr<IDirect3DTexture9> t;
        EXPECT_EQ(device->CreateTexture(width, height, levels, 0, format, pool, receive(t), nullptr), S_OK)
            << width << "x" << height << " levels " << levels << " format " << format;
        return t;
    }
    HRESULT try_texture(UINT width, UINT height, UINT levels, D3DFORMAT format, DWORD usage = 0,
                        D3DPOOL pool = D3DPOOL_MANAGED)
    {
        InterfacePtr<IDirect3DTexture9> t;
        return device->CreateTexture(width, height, levels, usage, format, pool, receive(t), nullptr);
    }
};

// A device made with a changed profile.
class ProfileTest : public ::testing::Test {
protected:
    void make(const D3D9Profile& profile)
    {
        d3d9_test_set_profile(profile);
        d3d.reset(Direct3DCreate9(D3D_SDK_VERSION));
        D3DPRESENT_PARAMETERS params = windowed_params();
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
                  S_OK);
    }
    void TearDown() override
    {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        d3d9_test_reset();
    }
    // Number of levels of the texture made, or 0 when it is refused.
    UINT levels_of(UINT width, UINT height, UINT levels, D3DFORMAT format = D3DFMT_X8R8G8B8)
    {
        InterfacePtr<IDirect3DTexture9> t;
        if (FAILED(device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, receive(t), nullptr))) {
            EXPECT_EQ(t.get(), nullptr);
            return 0;
        }
        return t->GetLevelCount();
    }
    OffscreenWindow window{8, 8};
    InterfacePtr<IDirect3D9> d3d;
    IDirect3DDevice9* device = nullptr;
};

TEST_F(ResourceTest, TextureLevelChainsHalveDownToOne)
{
    auto t = texture(256, 64, 0, D3DFMT_X8R8G8B8);
    ASSERT_EQ(t->GetLevelCount(), 9u);
    const UINT widths[] = {256, 128, 64, 32, 16, 8, 4, 2, 1};
    const UINT heights[] = {64, 32, 16, 8, 4, 2, 1, 1, 1};
    for (UINT level = 0; level < 9; ++level) {
        D3DSURFACE_DESC desc;
        ASSERT_EQ(t->GetLevelDesc(level, &desc), S_OK);
        EXPECT_EQ(desc.Width, widths[level]) << level;
        EXPECT_EQ(desc.Height, heights[level]) << level;
        EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(desc.Type, D3DRTYPE_SURFACE);
        EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
        EXPECT_EQ(desc.MultiSampleType, D3DMULTISAMPLE_NONE);
    }
    D3DSURFACE_DESC desc;
    EXPECT_EQ(t->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->GetType(), D3DRTYPE_TEXTURE);

    struct Case {
        UINT width, height, levels_asked, levels;
    } cases[] = {{1, 1, 0, 1}, {5, 3, 0, 3}, {100, 60, 0, 7}, {4096, 4096, 0, 13}, {256, 256, 3, 3}, {8, 8, 4, 4}};
    for (const Case& c : cases) {
        auto made = texture(c.width, c.height, c.levels_asked, D3DFMT_L8);
        ASSERT_NE(made.get(), nullptr);
        EXPECT_EQ(made->GetLevelCount(), c.levels) << c.width << "x" << c.height;
    }
    EXPECT_EQ(try_texture(8, 8, 5, D3DFMT_L8), D3DERR_INVALIDCALL) << "more levels than the chain has";
    EXPECT_EQ(try_texture(0, 8, 1, D3DFMT_L8), D3DERR_INVALIDCALL);
    EXPECT_EQ(try_texture(8, 8, 1, D3DFMT_R8G8B8), D3DERR_INVALIDCALL) << "format not offered";
    EXPECT_EQ(try_texture(8, 8, 1, D3DFMT_L8, D3DUSAGE_DYNAMIC), D3DERR_INVALIDCALL) << "dynamic managed";
    EXPECT_EQ(try_texture(8, 8, 1, D3DFMT_L8, D3DUSAGE_RENDERTARGET), D3DERR_INVALIDCALL);
    EXPECT_EQ(try_texture(4097, 8, 1, D3DFMT_L8), D3DERR_INVALIDCALL);
}

TEST_F(ResourceTest, LockedPitchesOfEveryFormat)
{
    // Rows are packed and rounded up to a multiple of four bytes; compressed
    // levels count rows of 4 x 4 blocks.
    struct Case {
        D3DFORMAT format;
        UINT width;
        INT pitch;
    } cases[] = {
        {D3DFMT_L8, 5, 8},
        {D3DFMT_A8, 8, 8},
        {D3DFMT_A4L4, 3, 4},
        {D3DFMT_R3G3B2, 1, 4},
        {D3DFMT_R5G6B5, 5, 12},
        {D3DFMT_X1R5G5B5, 2, 4},
        {D3DFMT_A1R5G5B5, 3, 8},
        {D3DFMT_A4R4G4B4, 1, 4},
        {D3DFMT_A8R3G3B2, 7, 16},
        {D3DFMT_X4R4G4B4, 4, 8},
        {D3DFMT_A8L8, 5, 12},
        {D3DFMT_L16, 5, 12},
        {D3DFMT_R16F, 5, 12},
        {D3DFMT_A8R8G8B8, 5, 20},
        {D3DFMT_X8R8G8B8, 3, 12},
        {D3DFMT_A2B10G10R10, 5, 20},
        {D3DFMT_A8B8G8R8, 5, 20},
        {D3DFMT_X8B8G8R8, 5, 20},
        {D3DFMT_G16R16, 5, 20},
        {D3DFMT_A2R10G10B10, 5, 20},
        {D3DFMT_G16R16F, 5, 20},
        {D3DFMT_R32F, 5, 20},
        {D3DFMT_A16B16G16R16, 5, 40},
        {D3DFMT_A16B16G16R16F, 5, 40},
        {D3DFMT_G32R32F, 5, 40},
        {D3DFMT_A32B32G32R32F, 5, 80},
        {D3DFMT_DXT1, 8, 16},
        {D3DFMT_DXT2, 8, 32},
        {D3DFMT_DXT3, 12, 48},
        {D3DFMT_DXT4, 4, 16},
        {D3DFMT_DXT5, 16, 64},
    };
    for (const Case& c : cases) {
        auto t = texture(c.width, 4, 1, c.format);
        ASSERT_NE(t.get(), nullptr);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), S_OK) << c.format;
        EXPECT_EQ(locked.Pitch, c.pitch) << "format " << c.format << " width " << c.width;
        EXPECT_NE(locked.pBits, nullptr);
        // The whole level is writable: the last row up to its pitch.
        std::memset(locked.pBits, 0xAB, size_t(c.pitch) * (c.format >= D3DFMT_DXT1 ? 1 : 4));
        EXPECT_EQ(t->UnlockRect(0), S_OK);
    }
}

TEST_F(ResourceTest, CompressedLevelsBelowOneBlockStillHoldABlock)
{
    auto t = texture(8, 8, 0, D3DFMT_DXT1);
    ASSERT_EQ(t->GetLevelCount(), 4u);
    const INT pitches[] = {16, 8, 8, 8};
    for (UINT level = 0; level < 4; ++level) {
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(level, &desc);
        EXPECT_EQ(desc.Width, 8u >> level);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(level, &locked, nullptr, 0), S_OK);
        EXPECT_EQ(locked.Pitch, pitches[level]) << level;
        std::memset(locked.pBits, 0, 8); // one whole block
        t->UnlockRect(level);
    }
    EXPECT_EQ(try_texture(6, 8, 1, D3DFMT_DXT1), D3DERR_INVALIDCALL) << "not whole blocks";
    EXPECT_EQ(try_texture(12, 8, 0, D3DFMT_DXT5), S_OK);
}

TEST_F(ResourceTest, LockRectPointsAtTheRectangle)
{
    auto t = texture(8, 8, 1, D3DFMT_A8R8G8B8);
    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), S_OK);
    EXPECT_EQ(t->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
    ASSERT_EQ(t->UnlockRect(0), S_OK);
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL) << "not locked";
    const RECT rect = {1, 2, 3, 4};
    ASSERT_EQ(t->LockRect(0, &part, &rect, 0), S_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits), static_cast<uint8_t*>(whole.pBits) + 2 * whole.Pitch + 4);
    EXPECT_EQ(part.Pitch, whole.Pitch);
    *static_cast<uint32_t*>(part.pBits) = 0x11223344;
    t->UnlockRect(0);
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(whole.pBits) + 2 * whole.Pitch)[1], 0x11223344u);
    t->UnlockRect(0);
    for (RECT bad : {RECT{0, 0, 9, 1}, RECT{2, 2, 2, 3}, RECT{-1, 0, 1, 1}, RECT{0, 5, 1, 4}}) {
        EXPECT_EQ(t->LockRect(0, &part, &bad, 0), D3DERR_INVALIDCALL);
        EXPECT_EQ(part.pBits, nullptr);
    }
    EXPECT_EQ(t->LockRect(1, &part, nullptr, 0), D3DERR_INVALIDCALL) << "no such level";

    auto blocks = texture(16, 8, 0, D3DFMT_DXT3);
    ASSERT_EQ(blocks->LockRect(0, &whole, nullptr, 0), S_OK);
    blocks->UnlockRect(0);
    const RECT block_rect = {4, 4, 12, 8};
    ASSERT_EQ(blocks->LockRect(0, &part, &block_rect, 0), S_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits), static_cast<uint8_t*>(whole.pBits) + whole.Pitch + 16);
    blocks->UnlockRect(0);
    const RECT split_block = {2, 0, 8, 4};
    EXPECT_EQ(blocks->LockRect(0, &part, &split_block, 0), D3DERR_INVALIDCALL);
    const RECT small_level = {0, 0, 2, 1}; // level 3 is 2 x 1: its edge ends the block
    EXPECT_EQ(blocks->LockRect(3, &part, &small_level, 0), S_OK);
    blocks->UnlockRect(3);
}

TEST_F(ResourceTest, LevelSurfacesShareTheTexturesReferences)
{
    IDirect3DTexture9* t = texture(4, 4, 0, D3DFMT_A8R8G8B8).release();
    IDirect3DSurface9* level1 = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(1, &level1), S_OK);
    EXPECT_EQ(t->AddRef(), 3u);
    EXPECT_EQ(t->Release(), 2u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(level1->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    InterfacePtr<IDirect3DDevice9> owner;
    ASSERT_EQ(level1->GetDevice(receive(owner)), S_OK);
    EXPECT_EQ(owner.get(), device);
    // Writing through the surface is seen through the texture.
    D3DLOCKED_RECT locked;
    ASSERT_EQ(level1->LockRect(&locked, nullptr, 0), S_OK);
    static_cast<uint32_t*>(locked.pBits)[0] = 0xCAFEF00D;
    level1->UnlockRect();
    ASSERT_EQ(t->LockRect(1, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(static_cast<uint32_t*>(locked.pBits)[0], 0xCAFEF00Du);
    t->UnlockRect(1);
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(static_cast<uint32_t*>(locked.pBits)[0], 0u) << "levels are separate";
    t->UnlockRect(0);
    // The texture lives on while only its surface is held.
    EXPECT_EQ(t->Release(), 1u);
    ASSERT_EQ(level1->GetDesc(&desc), S_OK);
    EXPECT_EQ(level1->Release(), 0u);
    IDirect3DSurface9* none = reinterpret_cast<IDirect3DSurface9*>(1);
    const auto again = texture(4, 4, 1, D3DFMT_L8);
    EXPECT_EQ(again->GetSurfaceLevel(1, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ResourceTest, NewResourcesAreZeroFilled)
{
    auto t = texture(4, 4, 1, D3DFMT_A8R8G8B8);
    D3DLOCKED_RECT locked;
    t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(static_cast<uint32_t*>(locked.pBits)[i], 0u);
    }
    t->UnlockRect(0);
}

TEST_F(ResourceTest, VertexBufferLocksWholeOrPart)
{
    InterfacePtr<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(48, D3DUSAGE_WRITEONLY, 0x42, D3DPOOL_MANAGED, receive(vb), nullptr), S_OK);
    D3DVERTEXBUFFER_DESC desc;
    ASSERT_EQ(vb->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Size, 48u);
    EXPECT_EQ(desc.FVF, 0x42u);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_WRITEONLY));
    EXPECT_EQ(desc.Type, D3DRTYPE_VERTEXBUFFER);
    void* whole = nullptr;
    void* part = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &whole, 0), S_OK);
    ASSERT_EQ(vb->Unlock(), S_OK);
    ASSERT_EQ(vb->Lock(16, 16, &part, 0), S_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part), static_cast<uint8_t*>(whole) + 16);
    ASSERT_EQ(vb->Unlock(), S_OK);
    ASSERT_EQ(vb->Lock(40, 0, &part, 0), S_OK) << "size 0 runs to the end";
    vb->Unlock();
    ASSERT_EQ(vb->Lock(32, 16, &part, 0), S_OK) << "up to the last byte";
    EXPECT_EQ(static_cast<uint8_t*>(part), static_cast<uint8_t*>(whole) + 32);
    vb->Unlock();
    EXPECT_EQ(vb->Lock(40, 16, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(part, nullptr);
    EXPECT_EQ(vb->Lock(49, 0, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);

    IDirect3DVertexBuffer9* bad = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(0, 0, 0, D3DPOOL_MANAGED, &bad, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexBuffer(8, 0, 0x42, D3DPOOL_MANAGED, &bad, nullptr), D3DERR_INVALIDCALL)
        << "shorter than one vertex";
    EXPECT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_MANAGED, &bad, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_SCRATCH, &bad, nullptr), D3DERR_INVALIDCALL);
    HANDLE shared = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &bad, &shared), D3DERR_INVALIDCALL);
    EXPECT_EQ(bad, nullptr);
}

TEST_F(ResourceTest, IndexBuffersOfBothWidths)
{
    InterfacePtr<IDirect3DIndexBuffer9> ib;
    ASSERT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, receive(ib), nullptr), S_OK);
    D3DINDEXBUFFER_DESC desc;
    ib->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    EXPECT_EQ(desc.Size, 12u);
    void* bits;
    ib->Lock(0, 0, &bits, 0);
    const uint32_t indices[] = {0, 1, 2};
    std::memcpy(bits, indices, sizeof indices);
    ib->Unlock();
    const std::vector<ScreenVertex> vertices = {
        {0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {8, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {0, 8, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    auto vb = make_vertex_buffer(vertices.data(), vertices.size() * sizeof(ScreenVertex));
    device->SetFVF(kScreenFvf);
    device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    device->SetIndices(ib.get());
    begin();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), S_OK);
    finish();
    EXPECT_EQ(window.pixel(1, 1), 0xFFFFFFu);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_L8, D3DPOOL_MANAGED, receive(ib), nullptr), D3DERR_INVALIDCALL);
}

TEST_F(ProfileTest, TextureSizeLimits)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.max_texture_width = 1024;
    profile.max_texture_aspect_ratio = 8;
    make(profile);
    EXPECT_EQ(levels_of(1024, 128, 0), 11u);
    EXPECT_EQ(levels_of(2048, 256, 0), 0u);
    EXPECT_EQ(levels_of(64, 8, 1), 1u);
    EXPECT_EQ(levels_of(128, 8, 1), 0u) << "aspect ratio 16 above 8";
    EXPECT_EQ(levels_of(8, 128, 1), 0u);
    // Scratch textures are not bound by the device.
    InterfacePtr<IDirect3DTexture9> scratch;
    EXPECT_EQ(device->CreateTexture(2048, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, receive(scratch), nullptr), S_OK);
}

TEST_F(ProfileTest, SquareOnly)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.texture_caps |= D3DPTEXTURECAPS_SQUAREONLY;
    make(profile);
    EXPECT_EQ(levels_of(64, 64, 0), 7u);
    EXPECT_EQ(levels_of(64, 32, 0), 0u);
}

TEST_F(ProfileTest, PowersOfTwo)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.texture_caps |= D3DPTEXTURECAPS_POW2;
    make(profile);
    EXPECT_EQ(levels_of(64, 32, 0), 7u);
    EXPECT_EQ(levels_of(48, 32, 1), 0u);
    EXPECT_EQ(levels_of(48, 32, 0), 0u);
}

TEST_F(ProfileTest, ConditionalNonPowersOfTwo)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.texture_caps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    make(profile);
    EXPECT_EQ(levels_of(48, 30, 1), 1u) << "one level of any size";
    EXPECT_EQ(levels_of(48, 30, 0), 0u) << "no chain";
    EXPECT_EQ(levels_of(12, 8, 1, D3DFMT_DXT1), 0u) << "compressed textures stay powers of two";
    EXPECT_EQ(levels_of(16, 8, 0, D3DFMT_DXT1), 5u);
}

TEST_F(ProfileTest, WithoutMipmapsOneLevel)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.texture_caps &= ~DWORD(D3DPTEXTURECAPS_MIPMAP);
    make(profile);
    EXPECT_EQ(levels_of(256, 256, 0), 1u);
    EXPECT_EQ(levels_of(256, 256, 1), 1u);
    EXPECT_EQ(levels_of(256, 256, 2), 0u);
}

TEST_F(ProfileTest, RemovedFormatIsRefused)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.remove_format(D3DFMT_X1R5G5B5);
    make(profile);
    EXPECT_EQ(levels_of(8, 8, 1, D3DFMT_X1R5G5B5), 0u);
    EXPECT_EQ(levels_of(8, 8, 1, D3DFMT_R5G6B5), 1u);
}

TEST_F(ProfileTest, PitchPaddingWidensEveryRow)
{
    D3D9Profile profile = d3d9_default_profile();
    profile.pitch_padding = 12;
    make(profile);
    InterfacePtr<IDirect3DTexture9> t;
    ASSERT_EQ(device->CreateTexture(5, 3, 0, 0, D3DFMT_L8, D3DPOOL_MANAGED, receive(t), nullptr), S_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), S_OK);
    EXPECT_EQ(locked.Pitch, 8 + 12);
    t->UnlockRect(0);
    ASSERT_EQ(t->LockRect(2, &locked, nullptr, 0), S_OK);
    EXPECT_EQ(locked.Pitch, 4 + 12);
    t->UnlockRect(2);
    // The back buffer too, and frames still come out right.
    InterfacePtr<IDirect3DSurface9> back;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(back));
    ASSERT_EQ(back->LockRect(&locked, nullptr, 0), S_OK);
    EXPECT_EQ(locked.Pitch, 32 + 12);
    back->UnlockRect();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(window.pixel(7, 7), 0x0000FFu);
}

} // namespace
