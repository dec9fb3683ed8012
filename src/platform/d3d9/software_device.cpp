// Device lifecycle, presentation, states and resource creation; clearing
// and drawing are in device_drawing.cpp.
#include "platform/d3d9/software_device.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <iterator>
#include <limits>
#include <thread>
#include <utility>

#include "platform/d3d9/device_caps.h"
#include "platform/d3d9/device_profile.h"

namespace {

bool power_of_two(UINT n) { return n != 0 && (n & (n - 1)) == 0; }

UINT full_chain(UINT width, UINT height)
{
    UINT levels = 1;
    for (UINT side = std::max(width, height); side > 1; side >>= 1) {
        ++levels;
    }
    return levels;
}

template <class T>
T* same_device(SoftDevice* device, T* resource)
{
    return resource && resource->device() == device ? resource : nullptr;
}

} // namespace

// ---------------------------------------------------------------------------
// Lifecycle

SoftDevice::SoftDevice(IDirect3D9* d3d, const D3D9Profile& profile, const D3DCAPS9& caps, HWND focus_window)
    : d3d_(d3d), profile_(profile), caps_(caps), focus_window_(focus_window)
{
    d3d_->AddRef();
    states_.set_defaults(false, 1, 1);
    pipeline_.set_threads(drawing_threads(profile));
    pipeline_.set_worker_delay(profile.raster_worker_delay_us);
    pipeline_.set_depth_tiles(profile.depth_tiles);
}

SoftDevice::~SoftDevice()
{
    unbind_all();
    back_buffer_.reset();
    depth_buffer_.reset();
    retired_.clear();
    d3d_->Release();
}

HRESULT SoftDevice::create(IDirect3D9* d3d, const D3D9Profile& profile, const D3DCAPS9& caps, HWND focus_window,
                           DWORD behavior_flags, D3DPRESENT_PARAMETERS* params, SoftDevice** out)
{
    const DWORD processing = behavior_flags &
        (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
    if (!params || !power_of_two(processing) || (!focus_window && !params->hDeviceWindow)) {
        return D3DERR_INVALIDCALL;
    }
    SoftDevice* device = new (std::nothrow) SoftDevice(d3d, profile, caps, focus_window);
    if (!device) {
        return E_OUTOFMEMORY;
    }
    const HRESULT ready = device->set_up_presentation(params);
    if (FAILED(ready)) {
        device->Release();
        return ready;
    }
    *out = device;
    return S_OK;
}

void SoftDevice::on_release(ULONG left)
{
    if (left == 0) {
        delete this;
    }
}

void SoftDevice::unbind_all()
{
    for (SoftTexture*& texture : textures_) {
        if (texture) {
            std::exchange(texture, nullptr)->unbind();
        }
    }
    if (stream_) {
        std::exchange(stream_, nullptr)->unbind();
    }
    if (indices_) {
        std::exchange(indices_, nullptr)->unbind();
    }
    stream_offset_ = stream_stride_ = 0;
}

void SoftDevice::release_presentation()
{
    settle_clear();
    // A buffer a caller still holds stays alive (unused) until the device goes.
    for (std::unique_ptr<SoftSurface>* surface : {&back_buffer_, &depth_buffer_}) {
        if (*surface && (*surface)->outside_refs() > 0) {
            retired_.push_back(std::move(*surface));
        }
        surface->reset();
    }
    std::erase_if(retired_, [](const std::unique_ptr<SoftSurface>& s) { return s->outside_refs() == 0; });
    usable_ = false;
}

HRESULT SoftDevice::set_up_presentation(D3DPRESENT_PARAMETERS* params)
{
    if (!params->Windowed || params->SwapEffect < D3DSWAPEFFECT_DISCARD || params->SwapEffect > D3DSWAPEFFECT_COPY ||
        params->MultiSampleType != D3DMULTISAMPLE_NONE || params->BackBufferCount > 1) {
        return D3DERR_INVALIDCALL;
    }
    D3DFORMAT format = params->BackBufferFormat;
    if (format == D3DFMT_UNKNOWN) {
        format = software_display_mode().Format;
    }
    if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) {
        return D3DERR_INVALIDCALL;
    }
    const bool depth = params->EnableAutoDepthStencil;
    if (depth && params->AutoDepthStencilFormat != D3DFMT_D16 &&
        params->AutoDepthStencilFormat != D3DFMT_D16_LOCKABLE) {
        return D3DERR_INVALIDCALL;
    }
    HWND window = params->hDeviceWindow ? params->hDeviceWindow : focus_window_;
    if (!window) {
        return D3DERR_INVALIDCALL;
    }
    UINT width = params->BackBufferWidth, height = params->BackBufferHeight;
    if (width == 0 || height == 0) {
        // A windowed device takes a missing side from the window's client area.
        UINT client_width = 0, client_height = 0;
        if (!window->target_client_size(&client_width, &client_height)) {
            return D3DERR_INVALIDCALL;
        }
        width = width ? width : client_width;
        height = height ? height : client_height;
    }
    if (width == 0 || height == 0 || width > kMaxBackBufferSide || height > kMaxBackBufferSide) {
        return D3DERR_INVALIDCALL;
    }
    auto back =
        SoftSurface::make_device_surface(this, format, width, height, D3DUSAGE_RENDERTARGET, profile_.pitch_padding);
    std::unique_ptr<SoftSurface> depth_surface;
    if (depth) {
        depth_surface = SoftSurface::make_device_surface(this, params->AutoDepthStencilFormat, width, height,
                                                         D3DUSAGE_DEPTHSTENCIL, profile_.pitch_padding);
    }
    if (!back || (depth && !depth_surface)) {
        return E_OUTOFMEMORY;
    }
    back_buffer_ = std::move(back);
    depth_buffer_ = std::move(depth_surface);
    params->BackBufferWidth = width;
    params->BackBufferHeight = height;
    params->BackBufferFormat = format;
    params->BackBufferCount = 1;
    params_ = *params;
    device_window_ = window;
    usable_ = true;
    in_scene_ = false;
    states_.set_defaults(depth, width, height);
    return S_OK;
}

HRESULT SoftDevice::TestCooperativeLevel() { return usable_ ? S_OK : D3DERR_DEVICENOTRESET; }

HRESULT SoftDevice::GetDirect3D(IDirect3D9** ppD3D9)
{
    if (const HRESULT injected = injected_failure(D3D9Call::GetDirect3D, ppD3D9); FAILED(injected)) {
        return injected;
    }
    if (!ppD3D9) {
        return D3DERR_INVALIDCALL;
    }
    d3d_->AddRef();
    *ppD3D9 = d3d_;
    return S_OK;
}

HRESULT SoftDevice::GetDeviceCaps(D3DCAPS9* pCaps)
{
    if (const HRESULT injected = injected_failure(D3D9Call::GetDeviceCaps); FAILED(injected)) {
        return injected;
    }
    if (!pCaps) {
        return D3DERR_INVALIDCALL;
    }
    *pCaps = caps_;
    return S_OK;
}

HRESULT SoftDevice::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode)
{
    if (const HRESULT injected = injected_failure(D3D9Call::GetDisplayMode); FAILED(injected)) {
        return injected;
    }
    if (iSwapChain != 0 || !pMode) {
        return D3DERR_INVALIDCALL;
    }
    *pMode = software_display_mode();
    return S_OK;
}

HRESULT SoftDevice::Reset(D3DPRESENT_PARAMETERS* pPresentationParameters)
{
    if (!pPresentationParameters) {
        return D3DERR_INVALIDCALL;
    }
    unbind_all();
    release_presentation();
    in_scene_ = false;
    if (const HRESULT injected = injected_failure(D3D9Call::Reset); FAILED(injected)) {
        return injected;
    }
    // Resources of the default pool do not survive a reset; the caller must
    // have released them first.
    if (default_pool_resources() > 0) {
        return D3DERR_INVALIDCALL;
    }
    return set_up_presentation(pPresentationParameters);
}

HRESULT SoftDevice::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                            const RGNDATA* pDirtyRegion)
{
    if (const HRESULT injected = injected_failure(D3D9Call::Present); FAILED(injected)) {
        return injected;
    }
    if (!usable_) {
        return D3DERR_DEVICELOST;
    }
    // Whole frames only.
    if (in_scene_ || pSourceRect || pDestRect || pDirtyRegion) {
        return D3DERR_INVALIDCALL;
    }
    settle_clear();
    HWND window = hDestWindowOverride ? hDestWindowOverride : device_window_;
    window->target_present(back_buffer_->bits(), back_buffer_->width(), back_buffer_->height(), back_buffer_->pitch());
    return S_OK;
}

HRESULT SoftDevice::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                                  IDirect3DSurface9** ppBackBuffer)
{
    if (const HRESULT injected = injected_failure(D3D9Call::GetBackBuffer, ppBackBuffer); FAILED(injected)) {
        return injected;
    }
    if (!ppBackBuffer || iSwapChain != 0 || iBackBuffer != 0 || Type != D3DBACKBUFFER_TYPE_MONO || !back_buffer_) {
        return D3DERR_INVALIDCALL;
    }
    back_buffer_->AddRef();
    *ppBackBuffer = back_buffer_.get();
    return S_OK;
}

HRESULT SoftDevice::GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget)
{
    if (ppRenderTarget) {
        *ppRenderTarget = nullptr;
    }
    if (!ppRenderTarget || RenderTargetIndex != 0 || !back_buffer_) {
        return D3DERR_INVALIDCALL;
    }
    back_buffer_->AddRef();
    *ppRenderTarget = back_buffer_.get();
    return S_OK;
}

HRESULT SoftDevice::GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface)
{
    if (!ppZStencilSurface) {
        return D3DERR_INVALIDCALL;
    }
    *ppZStencilSurface = nullptr;
    if (!depth_buffer_) {
        return D3DERR_NOTFOUND;
    }
    depth_buffer_->AddRef();
    *ppZStencilSurface = depth_buffer_.get();
    return S_OK;
}

// ---------------------------------------------------------------------------
// Resources

HRESULT SoftDevice::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                  IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle)
{
    if (const HRESULT injected = injected_failure(D3D9Call::CreateTexture, ppTexture); FAILED(injected)) {
        return injected;
    }
    if (!ppTexture || pSharedHandle || Width == 0 || Height == 0 || (Usage & ~DWORD(D3DUSAGE_DYNAMIC)) ||
        Pool > D3DPOOL_SCRATCH || (Pool == D3DPOOL_MANAGED && (Usage & D3DUSAGE_DYNAMIC))) {
        return D3DERR_INVALIDCALL;
    }
    const bool scratch = Pool == D3DPOOL_SCRATCH; // scratch textures ignore the device's limits
    if (scratch ? !texel_format(Format) : !texture_format_offered(profile_, Format)) {
        return D3DERR_INVALIDCALL;
    }
    const UINT full = full_chain(Width, Height);
    if (Levels > full) {
        return D3DERR_INVALIDCALL;
    }
    if (is_block_compressed_format(Format) && (Width % 4 || Height % 4)) {
        return D3DERR_INVALIDCALL;
    }
    UINT levels = Levels == 0 ? full : Levels;
    if (!scratch) {
        const DWORD texture_caps = caps_.TextureCaps;
        if (Width > caps_.MaxTextureWidth || Height > caps_.MaxTextureHeight) {
            return D3DERR_INVALIDCALL;
        }
        if ((texture_caps & D3DPTEXTURECAPS_SQUAREONLY) && Width != Height) {
            return D3DERR_INVALIDCALL;
        }
        const uint64_t ratio = caps_.MaxTextureAspectRatio;
        if (ratio != 0 && (Width > Height * ratio || Height > Width * ratio)) {
            return D3DERR_INVALIDCALL;
        }
        if ((texture_caps & D3DPTEXTURECAPS_POW2) && (!power_of_two(Width) || !power_of_two(Height))) {
            const bool conditional = (texture_caps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && Levels == 1 &&
                !is_block_compressed_format(Format);
            if (!conditional) {
                return D3DERR_INVALIDCALL;
            }
        }
        if (!(texture_caps & D3DPTEXTURECAPS_MIPMAP)) {
            if (Levels > 1) {
                return D3DERR_INVALIDCALL;
            }
            levels = 1;
        }
    }
    SoftTexture* texture = nullptr;
    const HRESULT created =
        SoftTexture::create(this, Width, Height, levels, Usage, Format, Pool, profile_.pitch_padding, &texture);
    if (FAILED(created)) {
        return created;
    }
    *ppTexture = texture;
    return S_OK;
}

HRESULT SoftDevice::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                       IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle)
{
    if (const HRESULT injected = injected_failure(D3D9Call::CreateVertexBuffer, ppVertexBuffer); FAILED(injected)) {
        return injected;
    }
    if (!ppVertexBuffer || pSharedHandle) {
        return D3DERR_INVALIDCALL;
    }
    SoftVertexBuffer* buffer = nullptr;
    const HRESULT created = SoftVertexBuffer::create(this, Length, Usage, FVF, Pool, &buffer);
    if (FAILED(created)) {
        return created;
    }
    *ppVertexBuffer = buffer;
    return S_OK;
}

HRESULT SoftDevice::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                      IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle)
{
    if (const HRESULT injected = injected_failure(D3D9Call::CreateIndexBuffer, ppIndexBuffer); FAILED(injected)) {
        return injected;
    }
    if (!ppIndexBuffer || pSharedHandle) {
        return D3DERR_INVALIDCALL;
    }
    SoftIndexBuffer* buffer = nullptr;
    const HRESULT created = SoftIndexBuffer::create(this, Length, Usage, Format, Pool, &buffer);
    if (FAILED(created)) {
        return created;
    }
    *ppIndexBuffer = buffer;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Scene and states

HRESULT SoftDevice::BeginScene()
{
    if (!usable_ || in_scene_) {
        return D3DERR_INVALIDCALL;
    }
    in_scene_ = true;
    return S_OK;
}

HRESULT SoftDevice::EndScene()
{
    if (!in_scene_) {
        return D3DERR_INVALIDCALL;
    }
    in_scene_ = false;
    return S_OK;
}

HRESULT SoftDevice::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix)
{
    if (!pMatrix) {
        return D3DERR_INVALIDCALL;
    }
    if (State == D3DTS_VIEW) {
        states_.view = *pMatrix;
    } else if (State == D3DTS_PROJECTION) {
        states_.projection = *pMatrix;
    } else if (State >= D3DTS_TEXTURE0 && State <= D3DTS_TEXTURE7) {
        states_.texture[State - D3DTS_TEXTURE0] = *pMatrix;
    } else if (State >= D3DTS_WORLD && State < D3DTS_WORLD + DeviceStates::kWorldMatrices) {
        states_.world[State - D3DTS_WORLD] = *pMatrix;
    } else {
        return D3DERR_INVALIDCALL;
    }
    return S_OK;
}

HRESULT SoftDevice::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix)
{
    if (!pMatrix) {
        return D3DERR_INVALIDCALL;
    }
    if (State == D3DTS_VIEW) {
        *pMatrix = states_.view;
    } else if (State == D3DTS_PROJECTION) {
        *pMatrix = states_.projection;
    } else if (State >= D3DTS_TEXTURE0 && State <= D3DTS_TEXTURE7) {
        *pMatrix = states_.texture[State - D3DTS_TEXTURE0];
    } else if (State >= D3DTS_WORLD && State < D3DTS_WORLD + DeviceStates::kWorldMatrices) {
        *pMatrix = states_.world[State - D3DTS_WORLD];
    } else {
        return D3DERR_INVALIDCALL;
    }
    return S_OK;
}

HRESULT SoftDevice::SetViewport(const D3DVIEWPORT9* pViewport)
{
    if (!pViewport || !back_buffer_ || pViewport->Width == 0 || pViewport->Height == 0) {
        return D3DERR_INVALIDCALL;
    }
    const uint64_t right = uint64_t(pViewport->X) + pViewport->Width;
    const uint64_t bottom = uint64_t(pViewport->Y) + pViewport->Height;
    if (right > back_buffer_->width() || bottom > back_buffer_->height() ||
        !(pViewport->MinZ >= 0.0f && pViewport->MinZ <= 1.0f) ||
        !(pViewport->MaxZ >= 0.0f && pViewport->MaxZ <= 1.0f)) {
        return D3DERR_INVALIDCALL;
    }
    states_.viewport = *pViewport;
    return S_OK;
}

HRESULT SoftDevice::GetViewport(D3DVIEWPORT9* pViewport)
{
    if (!pViewport) {
        return D3DERR_INVALIDCALL;
    }
    *pViewport = states_.viewport;
    return S_OK;
}

HRESULT SoftDevice::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value)
{
    if (!known_render_state(State)) {
        return D3DERR_INVALIDCALL;
    }
    states_.render[State] = Value;
    return S_OK;
}

HRESULT SoftDevice::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue)
{
    if (!pValue || !known_render_state(State)) {
        return D3DERR_INVALIDCALL;
    }
    *pValue = states_.render[State];
    return S_OK;
}

HRESULT SoftDevice::GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture)
{
    if (!ppTexture || Stage >= std::size(textures_)) {
        return D3DERR_INVALIDCALL;
    }
    *ppTexture = textures_[Stage];
    if (textures_[Stage]) {
        textures_[Stage]->AddRef();
    }
    return S_OK;
}

HRESULT SoftDevice::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture)
{
    if (Stage >= std::size(textures_)) {
        return D3DERR_INVALIDCALL;
    }
    SoftTexture* texture = nullptr;
    if (pTexture) {
        texture = same_device(this, dynamic_cast<SoftTexture*>(pTexture));
        if (!texture) {
            return D3DERR_INVALIDCALL;
        }
        texture->bind();
    }
    if (textures_[Stage]) {
        textures_[Stage]->unbind();
    }
    textures_[Stage] = texture;
    return S_OK;
}

HRESULT SoftDevice::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue)
{
    if (!pValue || Stage >= DeviceStates::kStages || !known_stage_state(Type)) {
        return D3DERR_INVALIDCALL;
    }
    *pValue = states_.stage[Stage][Type];
    return S_OK;
}

HRESULT SoftDevice::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value)
{
    if (Stage >= DeviceStates::kStages || !known_stage_state(Type)) {
        return D3DERR_INVALIDCALL;
    }
    states_.stage[Stage][Type] = Value;
    return S_OK;
}

HRESULT SoftDevice::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue)
{
    if (!pValue || Sampler >= DeviceStates::kSamplers || Type < D3DSAMP_ADDRESSU || Type > D3DSAMP_DMAPOFFSET) {
        return D3DERR_INVALIDCALL;
    }
    *pValue = states_.sampler[Sampler][Type];
    return S_OK;
}

HRESULT SoftDevice::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value)
{
    if (Sampler >= DeviceStates::kSamplers || Type < D3DSAMP_ADDRESSU || Type > D3DSAMP_DMAPOFFSET) {
        return D3DERR_INVALIDCALL;
    }
    states_.sampler[Sampler][Type] = Value;
    return S_OK;
}

HRESULT SoftDevice::SetFVF(DWORD FVF)
{
    states_.fvf = FVF;
    return S_OK;
}

HRESULT SoftDevice::GetFVF(DWORD* pFVF)
{
    if (!pFVF) {
        return D3DERR_INVALIDCALL;
    }
    *pFVF = states_.fvf;
    return S_OK;
}

HRESULT SoftDevice::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                                    UINT Stride)
{
    if (StreamNumber >= caps_.MaxStreams || Stride > caps_.MaxStreamStride) {
        return D3DERR_INVALIDCALL;
    }
    SoftVertexBuffer* buffer = nullptr;
    if (pStreamData) {
        buffer = same_device(this, dynamic_cast<SoftVertexBuffer*>(pStreamData));
        if (!buffer) {
            return D3DERR_INVALIDCALL;
        }
        buffer->bind();
    }
    if (stream_) {
        stream_->unbind();
    }
    stream_ = buffer;
    stream_offset_ = OffsetInBytes;
    stream_stride_ = Stride;
    return S_OK;
}

HRESULT SoftDevice::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                                    UINT* pStride)
{
    if (StreamNumber >= caps_.MaxStreams || !ppStreamData || !pOffsetInBytes || !pStride) {
        return D3DERR_INVALIDCALL;
    }
    *ppStreamData = stream_;
    if (stream_) {
        stream_->AddRef();
    }
    *pOffsetInBytes = stream_offset_;
    *pStride = stream_stride_;
    return S_OK;
}

HRESULT SoftDevice::SetIndices(IDirect3DIndexBuffer9* pIndexData)
{
    SoftIndexBuffer* buffer = nullptr;
    if (pIndexData) {
        buffer = same_device(this, dynamic_cast<SoftIndexBuffer*>(pIndexData));
        if (!buffer) {
            return D3DERR_INVALIDCALL;
        }
        buffer->bind();
    }
    if (indices_) {
        indices_->unbind();
    }
    indices_ = buffer;
    return S_OK;
}

HRESULT SoftDevice::GetIndices(IDirect3DIndexBuffer9** ppIndexData)
{
    if (!ppIndexData) {
        return D3DERR_INVALIDCALL;
    }
    *ppIndexData = indices_;
    if (indices_) {
        indices_->AddRef();
    }
    return S_OK;
}
