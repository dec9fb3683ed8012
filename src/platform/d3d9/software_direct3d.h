// The IDirect3D9 object: one adapter with an X8R8G8B8 display, which
// reports the device's capabilities and formats (device_caps), and device
// creation.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_profile.h"
// What the adapter reports (its display mode, the largest back buffer)
// comes with it to its callers.
#include "platform/d3d9/device_caps.h"
#include "platform/d3d9/ref_counted.h"

class SoftDirect3D final : public RefCounted<IDirect3D9> {
public:
    explicit SoftDirect3D(const D3D9Profile& profile);

    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    HRESULT CheckDeviceType(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat, D3DFORMAT BackBufferFormat,
                            BOOL bWindowed) override;
    HRESULT CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                              D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override;
    HRESULT GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) override;
    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                         D3DPRESENT_PARAMETERS* pPresentationParameters,
                         IDirect3DDevice9** ppReturnedDeviceInterface) override;

private:
    ~SoftDirect3D() = default;
    void on_release(ULONG left) override;

    D3D9Profile profile_;
    D3DCAPS9 caps_;
};
