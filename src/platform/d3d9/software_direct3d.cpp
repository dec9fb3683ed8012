// The adapter object and the entry point Direct3DCreate9.
#include "platform/d3d9/software_direct3d.h"

#include <new>

#include "platform/d3d9/device_caps.h"
#include "platform/d3d9/device_profile.h"
#include "platform/d3d9/software_device.h"

SoftDirect3D::SoftDirect3D(const D3D9Profile& profile) : profile_(profile), caps_(software_device_caps(profile)) {}

void SoftDirect3D::on_release(ULONG left)
{
    if (left == 0) {
        delete this;
    }
}

HRESULT SoftDirect3D::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode)
{
    if (const HRESULT injected = injected_failure(D3D9Call::GetAdapterDisplayMode); FAILED(injected)) {
        return injected;
    }
    if (Adapter != D3DADAPTER_DEFAULT || !pMode) {
        return D3DERR_INVALIDCALL;
    }
    *pMode = software_display_mode();
    return S_OK;
}

HRESULT SoftDirect3D::CheckDeviceType(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat,
                                      D3DFORMAT BackBufferFormat, BOOL bWindowed)
{
    if (Adapter != D3DADAPTER_DEFAULT || DevType != D3DDEVTYPE_HAL) {
        return D3DERR_INVALIDCALL;
    }
    if (AdapterFormat != software_display_mode().Format || !bWindowed) {
        return D3DERR_NOTAVAILABLE;
    }
    if (BackBufferFormat != D3DFMT_X8R8G8B8 && BackBufferFormat != D3DFMT_A8R8G8B8 &&
        BackBufferFormat != D3DFMT_UNKNOWN) {
        return D3DERR_NOTAVAILABLE;
    }
    return S_OK;
}

HRESULT SoftDirect3D::CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                                        D3DRESOURCETYPE RType, D3DFORMAT CheckFormat)
{
    if (const HRESULT injected = injected_failure(D3D9Call::CheckDeviceFormat); FAILED(injected)) {
        return injected;
    }
    if (Adapter != D3DADAPTER_DEFAULT || DeviceType != D3DDEVTYPE_HAL) {
        return D3DERR_INVALIDCALL;
    }
    if (AdapterFormat != software_display_mode().Format) {
        return D3DERR_NOTAVAILABLE;
    }
    if (RType != D3DRTYPE_TEXTURE && RType != D3DRTYPE_SURFACE) {
        return D3DERR_NOTAVAILABLE; // no volumes, cube maps or typed buffers
    }
    if (Usage & D3DUSAGE_DEPTHSTENCIL) {
        const bool depth = CheckFormat == D3DFMT_D16 || CheckFormat == D3DFMT_D16_LOCKABLE;
        return depth && RType == D3DRTYPE_SURFACE && Usage == D3DUSAGE_DEPTHSTENCIL ? S_OK : D3DERR_NOTAVAILABLE;
    }
    if (Usage & D3DUSAGE_RENDERTARGET) {
        const bool target = CheckFormat == D3DFMT_X8R8G8B8 || CheckFormat == D3DFMT_A8R8G8B8;
        return target && RType == D3DRTYPE_SURFACE && Usage == D3DUSAGE_RENDERTARGET ? S_OK : D3DERR_NOTAVAILABLE;
    }
    // Filtering and wrapping work on every format; sRGB, bump maps,
    // vertex textures, blending after shaders and mip generation do not exist.
    const DWORD offered = D3DUSAGE_DYNAMIC | D3DUSAGE_QUERY_FILTER | D3DUSAGE_QUERY_WRAPANDMIP;
    if (Usage & ~offered) {
        return D3DERR_NOTAVAILABLE;
    }
    return texture_format_offered(profile_, CheckFormat) ? S_OK : D3DERR_NOTAVAILABLE;
}

HRESULT SoftDirect3D::GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps)
{
    if (Adapter != D3DADAPTER_DEFAULT || DeviceType != D3DDEVTYPE_HAL || !pCaps) {
        return D3DERR_INVALIDCALL;
    }
    *pCaps = caps_;
    return S_OK;
}

HRESULT SoftDirect3D::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                   D3DPRESENT_PARAMETERS* pPresentationParameters,
                                   IDirect3DDevice9** ppReturnedDeviceInterface)
{
    if (const HRESULT injected = injected_failure(D3D9Call::CreateDevice, ppReturnedDeviceInterface);
        FAILED(injected)) {
        return injected;
    }
    if (Adapter != D3DADAPTER_DEFAULT || !ppReturnedDeviceInterface) {
        return D3DERR_INVALIDCALL;
    }
    if (DeviceType != D3DDEVTYPE_HAL) {
        return D3DERR_NOTAVAILABLE;
    }
    SoftDevice* device = nullptr;
    const HRESULT created =
        SoftDevice::create(this, profile_, caps_, hFocusWindow, BehaviorFlags, pPresentationParameters, &device);
    if (FAILED(created)) {
        return created;
    }
    *ppReturnedDeviceInterface = device;
    return S_OK;
}

IDirect3D9* Direct3DCreate9(UINT SDKVersion)
{
    if (FAILED(injected_failure(D3D9Call::Direct3DCreate9))) {
        return nullptr;
    }
    const UINT version = SDKVersion & 0x7FFFFFFFu; // the top bit asks for the debug runtime
    if (version != 31 && version != 32) {
        return nullptr;
    }
    return new (std::nothrow) SoftDirect3D(current_device_profile());
}
