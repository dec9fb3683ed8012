// A software device on its own offscreen window, windowed, back buffer the
// window's size: the device the tools, benchmarks and tests use when they
// need the viewer's device without a screen.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/offscreen_window.h"

class OffscreenDevice {
public:
    explicit OffscreenDevice(UINT width = 8, UINT height = 8);
    ~OffscreenDevice();
    OffscreenDevice(const OffscreenDevice&) = delete;
    OffscreenDevice& operator=(const OffscreenDevice&) = delete;

    // S_OK, or why there is no device: E_FAIL when Direct3DCreate9 gave
    // nothing, else CreateDevice's result.
    HRESULT result() const { return result_; }
    IDirect3DDevice9* get() const { return device_; }
    IDirect3D9* direct3d() const { return d3d_; }
    OffscreenWindow& window() { return window_; }

    // Gives up this record's references, device first; returns what each
    // Release returned (0 when nothing else holds them).
    void release(ULONG* device_left, ULONG* d3d_left);

private:
    OffscreenWindow window_;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    HRESULT result_ = E_FAIL;
};
