// The software device's capabilities and the adapter's display mode.
#include "platform/d3d9/device_caps.h"

#include <algorithm>
#include <cstring>

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

bool texture_format_offered(const D3D9Profile& profile, D3DFORMAT format)
{
    return texel_format(format) &&
        std::find(profile.texture_formats.begin(), profile.texture_formats.end(), format) !=
        profile.texture_formats.end();
}
