// Shared pieces of the device tests: a device on an offscreen window, and
// small drawing helpers for screen-space and 3-D vertices.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/d3d9/interface_ptr.h"
#include "platform/d3d9/offscreen_window.h"

// Screen-space vertex: D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// The surface mesh's vertex: position, colour, texture coordinates, as
// declared by the code 0x242 but stepped by 24 bytes.
struct MeshVertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};

// A screen-space vertex at (x, y), opaque white unless coloured.
inline ScreenVertex at(float x, float y, D3DCOLOR color = 0xFFFFFFFF, float z = 0.5f, float u = 0.0f, float v = 0.0f)
{
    return ScreenVertex{x, y, z, 1.0f, color, u, v};
}

// A left-handed perspective projection with a square aspect.
inline D3DMATRIX perspective(float fov, float near_plane, float far_plane)
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    const float y_scale = 1.0f / std::tan(fov / 2);
    const float q = far_plane / (far_plane - near_plane);
    m._11 = y_scale;
    m._22 = y_scale;
    m._33 = q;
    m._34 = 1.0f;
    m._43 = -q * near_plane;
    return m;
}

// Lets a call that hands out a reference through an out-parameter fill an
// InterfacePtr: `device->CreateTexture(..., receive(texture), nullptr)`. What
// the owner held goes before the call, as an overwritten out-parameter would;
// the new reference is owned when the full expression ends, even if it fails.
template <class Interface>
class Receive {
public:
    explicit Receive(InterfacePtr<Interface>& owner) : owner_(owner) { owner_.reset(); }
    ~Receive() { owner_.reset(handed_out_); }
    Receive(const Receive&) = delete;
    Receive& operator=(const Receive&) = delete;
    operator Interface**() { return &handed_out_; }

private:
    InterfacePtr<Interface>& owner_;
    Interface* handed_out_ = nullptr;
};

template <class Interface>
Receive<Interface> receive(InterfacePtr<Interface>& owner)
{
    return Receive<Interface>(owner);
}

inline D3DPRESENT_PARAMETERS windowed_params(UINT width = 0, UINT height = 0)
{
    D3DPRESENT_PARAMETERS p;
    std::memset(&p, 0, sizeof p);
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    return p;
}

inline D3DMATRIX identity_matrix()
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

inline InterfacePtr<IDirect3DVertexBuffer9> filled_vertex_buffer(IDirect3DDevice9* device, const void* data,
                                                                 size_t bytes, DWORD fvf = 0)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(static_cast<UINT>(bytes), 0, fvf, D3DPOOL_MANAGED, &vb, nullptr), S_OK);
    void* bits = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &bits, 0), S_OK);
    std::memcpy(bits, data, bytes);
    EXPECT_EQ(vb->Unlock(), S_OK);
    return InterfacePtr<IDirect3DVertexBuffer9>(vb);
}

inline InterfacePtr<IDirect3DIndexBuffer9> filled_index_buffer(IDirect3DDevice9* device,
                                                               const std::vector<uint16_t>& indices)
{
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(static_cast<UINT>(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib,
                                        nullptr),
              S_OK);
    void* bits = nullptr;
    EXPECT_EQ(ib->Lock(0, 0, &bits, 0), S_OK);
    std::memcpy(bits, indices.data(), indices.size() * 2);
    EXPECT_EQ(ib->Unlock(), S_OK);
    return InterfacePtr<IDirect3DIndexBuffer9>(ib);
}

// Rows of a locked surface, without their padding.
inline std::vector<uint8_t> surface_bytes(IDirect3DSurface9* surface, UINT row_bytes, UINT rows)
{
    std::vector<uint8_t> bytes;
    D3DLOCKED_RECT locked;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    for (UINT y = 0; y < rows; ++y) {
        const auto* row = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * UINT(locked.Pitch);
        bytes.insert(bytes.end(), row, row + row_bytes);
    }
    surface->UnlockRect();
    return bytes;
}

// A device made with `profile` on its own offscreen window; released, and
// the hook reset, when it goes.
struct ProfiledDevice {
    OffscreenWindow window;
    InterfacePtr<IDirect3D9> d3d;
    InterfacePtr<IDirect3DDevice9> device;

    ProfiledDevice(const D3D9Profile& profile, UINT width, UINT height) : window(width, height)
    {
        d3d9_test_set_profile(profile);
        d3d.reset(Direct3DCreate9(D3D_SDK_VERSION));
        D3DPRESENT_PARAMETERS params = windowed_params();
        EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                                    receive(device)),
                  S_OK);
    }
    // The device and then the Direct3D object go with the members.
    ~ProfiledDevice() { d3d9_test_reset(); }
    ProfiledDevice(const ProfiledDevice&) = delete;
    ProfiledDevice& operator=(const ProfiledDevice&) = delete;
};

// A device on an offscreen window of the given size; the hook is reset
// before and after each test.
class DeviceTest : public ::testing::Test {
protected:
    explicit DeviceTest(UINT width = 8, UINT height = 8) : window(width, height) {}

    void SetUp() override
    {
        d3d9_test_reset();
        d3d.reset(Direct3DCreate9(D3D_SDK_VERSION));
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS params = windowed_params();
        ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                    &params, &device),
                  S_OK);
    }

    void TearDown() override
    {
        if (device) {
            EXPECT_EQ(device->Release(), 0u) << "a test leaked a reference";
        }
        d3d9_test_reset();
    }

    // Clears to `color` (depth 1) and opens a scene.
    void begin(D3DCOLOR color = 0xFF000000)
    {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0), S_OK);
        ASSERT_EQ(device->BeginScene(), S_OK);
    }

    // Ends the scene and presents it to the window.
    void finish()
    {
        ASSERT_EQ(device->EndScene(), S_OK);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    }

    InterfacePtr<IDirect3DVertexBuffer9> make_vertex_buffer(const void* data, size_t bytes, DWORD fvf = 0)
    {
        return filled_vertex_buffer(device, data, bytes, fvf);
    }

    InterfacePtr<IDirect3DIndexBuffer9> make_index_buffer(const std::vector<uint16_t>& indices)
    {
        return filled_index_buffer(device, indices);
    }

    // Draws screen-space primitives with DrawPrimitive.
    HRESULT draw_screen(D3DPRIMITIVETYPE type, const std::vector<ScreenVertex>& vertices, UINT count)
    {
        auto vb = make_vertex_buffer(vertices.data(), vertices.size() * sizeof(ScreenVertex));
        device->SetFVF(kScreenFvf);
        device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
        const HRESULT hr = device->DrawPrimitive(type, 0, count);
        device->SetStreamSource(0, nullptr, 0, 0);
        return hr;
    }

    // Draws 3-D primitives through indices.
    template <class Vertex>
    HRESULT draw_indexed(D3DPRIMITIVETYPE type, DWORD fvf, const std::vector<Vertex>& vertices,
                         const std::vector<uint16_t>& indices, UINT count)
    {
        auto vb = make_vertex_buffer(vertices.data(), vertices.size() * sizeof(Vertex));
        auto ib = make_index_buffer(indices);
        device->SetFVF(fvf);
        device->SetStreamSource(0, vb.get(), 0, sizeof(Vertex));
        device->SetIndices(ib.get());
        const HRESULT hr = device->DrawIndexedPrimitive(type, 0, 0, static_cast<UINT>(vertices.size()), 0, count);
        device->SetStreamSource(0, nullptr, 0, 0);
        device->SetIndices(nullptr);
        return hr;
    }

    // The presented frame as text, one character per pixel: '#' where the
    // pixel is `on`, '.' elsewhere; rows separated by newlines.
    std::string mask(uint32_t on) const
    {
        std::string text;
        for (UINT y = 0; y < window.frame_height(); ++y) {
            for (UINT x = 0; x < window.frame_width(); ++x) {
                text += window.pixel(x, y) == on ? '#' : '.';
            }
            text += '\n';
        }
        return text;
    }

    OffscreenWindow window;
    InterfacePtr<IDirect3D9> d3d;
    IDirect3DDevice9* device = nullptr;
};
