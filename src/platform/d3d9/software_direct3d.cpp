// The adapter object and the entry point Direct3DCreate9.
#include "platform/d3d9/software_direct3d.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/d3d9/device_profile.h"
#include "platform/d3d9/software_device.h"
#include "platform/d3d9/texel_formats.h"

// The blend factors blend_output takes.
constexpr DWORD kBlendCaps = D3DPBLENDCAPS_ZERO | D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCCOLOR |
    D3DPBLENDCAPS_INVSRCCOLOR | D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_INVSRCALPHA | D3DPBLENDCAPS_DESTALPHA |
    D3DPBLENDCAPS_INVDESTALPHA | D3DPBLENDCAPS_DESTCOLOR | D3DPBLENDCAPS_INVDESTCOLOR;

D3DCAPS9 software_device_caps(const D3D9Profile& profile)
{
    D3DCAPS9 caps;
    std::memset(&caps, 0, sizeof caps);
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.AdapterOrdinal = 0;
    caps.Caps2 = D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_DYNAMICTEXTURES;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    caps.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY |
        D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
        D3DDEVCAPS_DRAWPRIMITIVES2EX;
    caps.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    caps.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_MIPMAPLODBIAS;
    caps.ZCmpCaps = D3DPCMPCAPS_NEVER | D3DPCMPCAPS_LESS | D3DPCMPCAPS_EQUAL | D3DPCMPCAPS_LESSEQUAL |
        D3DPCMPCAPS_GREATER | D3DPCMPCAPS_NOTEQUAL | D3DPCMPCAPS_GREATEREQUAL | D3DPCMPCAPS_ALWAYS;
    caps.SrcBlendCaps = kBlendCaps;
    caps.DestBlendCaps = kBlendCaps;
    caps.AlphaCmpCaps = caps.ZCmpCaps;
    caps.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND;
    caps.TextureCaps = profile.texture_caps;
    caps.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
        D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
        D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV | D3DPTADDRESSCAPS_MIRRORONCE;
    caps.LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST;
    caps.MaxTextureWidth = profile.max_texture_width;
    caps.MaxTextureHeight = profile.max_texture_height;
    caps.MaxTextureRepeat = 32768;
    caps.MaxTextureAspectRatio = profile.max_texture_aspect_ratio;
    caps.MaxAnisotropy = 1;
    caps.MaxVertexW = 1e10f;
    caps.GuardBandLeft = -2048.0f;
    caps.GuardBandTop = -2048.0f;
    caps.GuardBandRight = 2048.0f + kMaxBackBufferSide;
    caps.GuardBandBottom = 2048.0f + kMaxBackBufferSide;
    caps.FVFCaps = 8 | D3DFVFCAPS_DONOTSTRIPELEMENTS;
    caps.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
        D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD |
        D3DTEXOPCAPS_ADDSIGNED | D3DTEXOPCAPS_ADDSIGNED2X | D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_ADDSMOOTH |
        D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA | D3DTEXOPCAPS_BLENDFACTORALPHA |
        D3DTEXOPCAPS_BLENDCURRENTALPHA;
    caps.MaxTextureBlendStages = 1;
    caps.MaxSimultaneousTextures = 1;
    caps.MaxPointSize = 1.0f;
    caps.MaxPrimitiveCount = profile.max_primitive_count;
    caps.MaxVertexIndex = 0x000FFFFF;
    caps.MaxStreams = 1;
    caps.MaxStreamStride = 255;
    caps.NumberOfAdaptersInGroup = 1;
    caps.NumSimultaneousRTs = 1;
    return caps;
}

D3DDISPLAYMODE software_display_mode() { return D3DDISPLAYMODE{1920, 1080, 60, D3DFMT_X8R8G8B8}; }

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

bool SoftDirect3D::texture_format_offered(D3DFORMAT format) const
{
    return texel_format(format) &&
        std::find(profile_.texture_formats.begin(), profile_.texture_formats.end(), format) !=
        profile_.texture_formats.end();
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
    return texture_format_offered(CheckFormat) ? S_OK : D3DERR_NOTAVAILABLE;
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
