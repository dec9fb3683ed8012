// A software device on an offscreen window, made with a chosen profile of
// the device's test hook, for the texture tests.
#pragma once

#include <gtest/gtest.h>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/d3d9/offscreen_device.h"

class TextureDevice {
public:
    explicit TextureDevice(const D3D9Profile& profile = d3d9_default_profile()) : profile_set_(profile), device_() {}
    ~TextureDevice()
    {
        d3d9_test_reset();
        ULONG device_left, d3d_left;
        device_.release(&device_left, &d3d_left);
        EXPECT_EQ(device_left, 0u) << "a reference to the device was left";
        EXPECT_EQ(d3d_left, 0u) << "a reference to IDirect3D9 was left";
    }
    TextureDevice(const TextureDevice&) = delete;
    TextureDevice& operator=(const TextureDevice&) = delete;

    IDirect3DDevice9* get() const { return device_.get(); }

    // References held on the device and on IDirect3D9, this record's
    // included (IDirect3D9: the device holds one too).
    ULONG device_references() const { return count(device_.get()); }
    ULONG d3d_references() const { return count(device_.direct3d()); }

private:
    // The hook's profile is taken when IDirect3D9 is made.
    struct ProfileSet {
        explicit ProfileSet(const D3D9Profile& profile)
        {
            d3d9_test_reset();
            d3d9_test_set_profile(profile);
        }
    };

    static ULONG count(IUnknown* object)
    {
        object->AddRef();
        return object->Release();
    }

    ProfileSet profile_set_;
    OffscreenDevice device_;
};

// The default profile changed by `change`.
template <class Change>
D3D9Profile profile_with(Change change)
{
    D3D9Profile profile = d3d9_default_profile();
    change(profile);
    return profile;
}
