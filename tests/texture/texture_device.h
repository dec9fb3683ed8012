// A software device on an offscreen window, made with a chosen profile of
// the device's test hook, for the texture tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/d3d9/offscreen_window.h"

class TextureDevice {
public:
    explicit TextureDevice(const D3D9Profile& profile = d3d9_default_profile()) : window_(8, 8)
    {
        d3d9_test_reset();
        d3d9_test_set_profile(profile);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d_)
            return;
        D3DPRESENT_PARAMETERS params;
        std::memset(&params, 0, sizeof params);
        params.BackBufferFormat = D3DFMT_UNKNOWN;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = TRUE;
        d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                           &device_);
    }
    ~TextureDevice()
    {
        d3d9_test_reset();
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u) << "a reference to the device was left";
        }
        if (d3d_) {
            EXPECT_EQ(d3d_->Release(), 0u) << "a reference to IDirect3D9 was left";
        }
    }
    TextureDevice(const TextureDevice&) = delete;
    TextureDevice& operator=(const TextureDevice&) = delete;

    IDirect3DDevice9* get() const { return device_; }
    IDirect3DDevice9* operator->() const { return device_; }

    // References held on the device and on IDirect3D9, this record's
    // included (IDirect3D9: the device holds one too).
    ULONG device_references() const { return count(device_); }
    ULONG d3d_references() const { return count(d3d_); }

private:
    static ULONG count(IUnknown* object)
    {
        object->AddRef();
        return object->Release();
    }

    OffscreenWindow window_;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

// The default profile changed by `change`.
template <class Change>
D3D9Profile profile_with(Change change)
{
    D3D9Profile profile = d3d9_default_profile();
    change(profile);
    return profile;
}
