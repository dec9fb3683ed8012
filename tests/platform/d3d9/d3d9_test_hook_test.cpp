// The hook that makes chosen calls fail: every kind of call it names fails
// with the armed result, leaves no half-made object behind, and counts.
#include "device_helpers.h"

namespace {

class HookTest : public DeviceTest {};

TEST(HookEntryTest, Direct3DCreate9FailsWithNull)
{
    d3d9_test_reset();
    d3d9_test_fail(D3D9Call::Direct3DCreate9);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    const InterfacePtr<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
    ASSERT_NE(d3d, nullptr) << "only the armed call fails";
    EXPECT_EQ(d3d9_test_call_count(D3D9Call::Direct3DCreate9), 2u);
    d3d9_test_reset();
    EXPECT_EQ(d3d9_test_call_count(D3D9Call::Direct3DCreate9), 0u);
}

TEST(HookEntryTest, SkipAndTimesChooseWhichCallsFail)
{
    d3d9_test_reset();
    d3d9_test_fail(D3D9Call::Direct3DCreate9, 2, 2);
    bool made[6];
    for (bool& m : made) {
        m = InterfacePtr<IDirect3D9>(Direct3DCreate9(D3D_SDK_VERSION)) != nullptr;
    }
    EXPECT_TRUE(made[0]);
    EXPECT_TRUE(made[1]);
    EXPECT_FALSE(made[2]);
    EXPECT_FALSE(made[3]);
    EXPECT_TRUE(made[4]);
    EXPECT_TRUE(made[5]);

    d3d9_test_fail(D3D9Call::Direct3DCreate9, 1, 0); // every call after the first
    EXPECT_NE(InterfacePtr<IDirect3D9>(Direct3DCreate9(D3D_SDK_VERSION)), nullptr);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    }
    d3d9_test_reset();
}

TEST(HookEntryTest, AdapterCallsFail)
{
    d3d9_test_reset();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DDISPLAYMODE mode;
    d3d9_test_fail(D3D9Call::GetAdapterDisplayMode, 0, 1, E_FAIL);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), E_FAIL);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), S_OK);

    OffscreenWindow window(8, 8);
    D3DPRESENT_PARAMETERS params = windowed_params();
    IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(1);
    d3d9_test_fail(D3D9Call::CreateDevice, 0, 1, D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(d3d->Release(), 0u) << "a failed creation keeps no reference";
    d3d9_test_reset();
}

TEST_F(HookTest, CreationCallsFailWithNullOutputs)
{
    IDirect3DVertexBuffer9* vb = reinterpret_cast<IDirect3DVertexBuffer9*>(1);
    d3d9_test_fail(D3D9Call::CreateVertexBuffer, 0, 1, E_OUTOFMEMORY);
    EXPECT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(vb, nullptr);

    IDirect3DIndexBuffer9* ib = reinterpret_cast<IDirect3DIndexBuffer9*>(1);
    d3d9_test_fail(D3D9Call::CreateIndexBuffer);
    EXPECT_EQ(device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(ib, nullptr);

    IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(1);
    d3d9_test_fail(D3D9Call::CreateTexture, 0, 1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_L8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(texture, nullptr);

    IDirect3DSurface9* back = reinterpret_cast<IDirect3DSurface9*>(1);
    d3d9_test_fail(D3D9Call::GetBackBuffer);
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3DERR_INVALIDCALL);
    EXPECT_EQ(back, nullptr);

    IDirect3D9* adapter = reinterpret_cast<IDirect3D9*>(1);
    d3d9_test_fail(D3D9Call::GetDirect3D);
    EXPECT_EQ(device->GetDirect3D(&adapter), D3DERR_INVALIDCALL);
    EXPECT_EQ(adapter, nullptr);

    D3DDISPLAYMODE mode;
    d3d9_test_fail(D3D9Call::GetDisplayMode, 0, 1, E_FAIL);
    EXPECT_EQ(device->GetDisplayMode(0, &mode), E_FAIL);
    EXPECT_EQ(device->GetDisplayMode(0, &mode), S_OK);
}

TEST_F(HookTest, LocksFailWithoutLocking)
{
    InterfacePtr<IDirect3DVertexBuffer9> vb;
    InterfacePtr<IDirect3DIndexBuffer9> ib;
    InterfacePtr<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, receive(vb), nullptr), S_OK);
    ASSERT_EQ(device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, receive(ib), nullptr), S_OK);
    ASSERT_EQ(device->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, receive(texture), nullptr), S_OK);

    void* bits = reinterpret_cast<void*>(1);
    d3d9_test_fail(D3D9Call::VertexBufferLock);
    EXPECT_EQ(vb->Lock(0, 0, &bits, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL) << "nothing was locked";
    EXPECT_EQ(ib->Lock(0, 0, &bits, 0), S_OK) << "index buffers have their own switch";
    ib->Unlock();
    d3d9_test_fail(D3D9Call::IndexBufferLock);
    EXPECT_EQ(ib->Lock(0, 0, &bits, 0), D3DERR_INVALIDCALL);

    D3DLOCKED_RECT locked;
    d3d9_test_fail(D3D9Call::LockRect, 0, 2);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(locked.pBits, nullptr);
    InterfacePtr<IDirect3DSurface9> level1;
    ASSERT_EQ(texture->GetSurfaceLevel(1, receive(level1)), S_OK);
    EXPECT_EQ(level1->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(level1->LockRect(&locked, nullptr, 0), S_OK);
    EXPECT_EQ(level1->UnlockRect(), S_OK);

    d3d9_test_fail(D3D9Call::GetSurfaceLevel);
    IDirect3DSurface9* level = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(texture->GetSurfaceLevel(0, &level), D3DERR_INVALIDCALL);
    EXPECT_EQ(level, nullptr);
    EXPECT_EQ(d3d9_test_call_count(D3D9Call::GetSurfaceLevel), 2u);
}

TEST_F(HookTest, FailedResetLeavesTheDeviceUnusableUntilAGoodOne)
{
    D3DPRESENT_PARAMETERS params = windowed_params();
    d3d9_test_fail(D3D9Call::Reset);
    EXPECT_EQ(device->Reset(&params), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    params = windowed_params();
    EXPECT_EQ(device->Reset(&params), S_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), S_OK);
}

TEST_F(HookTest, PresentAndDrawFail)
{
    begin();
    d3d9_test_fail(D3D9Call::DrawIndexedPrimitive, 0, 1, E_FAIL);
    EXPECT_EQ(
        draw_indexed<ScreenVertex>(
            D3DPT_TRIANGLELIST, kScreenFvf,
            {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {8, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {0, 8, 0.5f, 1, 0xFFFFFFFF, 0, 0}},
            {0, 1, 2}, 1),
        E_FAIL);
    device->EndScene();
    d3d9_test_fail(D3D9Call::Present);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(window.frames_presented(), 0u);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(window.frames_presented(), 1u);
    EXPECT_EQ(window.pixel(1, 1), 0u) << "the failed draw drew nothing";
}

TEST_F(HookTest, IndexedDrawsAreNotedWithTheirArguments)
{
    d3d9_test_fail(D3D9Call::DrawIndexedPrimitive, 0, 0); // noted even when failing
    for (UINT k = 0; k < 70; ++k) {
        device->DrawIndexedPrimitive(D3DPT_LINELIST, 1, 2, 3, k, 5);
    }
    const std::vector<D3D9IndexedDraw> draws = d3d9_test_indexed_draws();
    ASSERT_EQ(draws.size(), 64u);
    EXPECT_EQ(draws.front().start_index, 6u) << "the oldest six dropped";
    EXPECT_EQ(draws.back().start_index, 69u);
    const D3D9IndexedDraw& last = draws.back();
    EXPECT_EQ(last.type, D3DPT_LINELIST);
    EXPECT_EQ(last.base_vertex, 1);
    EXPECT_EQ(last.min_index, 2u);
    EXPECT_EQ(last.vertex_count, 3u);
    EXPECT_EQ(last.primitive_count, 5u);
    d3d9_test_reset();
    EXPECT_TRUE(d3d9_test_indexed_draws().empty());
}

} // namespace
