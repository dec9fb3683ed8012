// Buffers, textures and surfaces: memory, locking and descriptions.
#include "platform/d3d9/resources.h"

#include <algorithm>
#include <new>

#include "platform/d3d9/device_profile.h"
#include "platform/d3d9/software_device.h"

namespace {

// Memory for a resource, zero-filled; false when it cannot be had.
bool allocate(std::vector<uint8_t>& bytes, size_t size)
{
    try {
        bytes.assign(size, 0);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Largest single resource: far above anything the program makes, and low
// enough that a hostile size is refused rather than attempted.
constexpr size_t kMaxResourceBytes = size_t(1) << 30;

constexpr DWORD kBufferUsages = D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_DONOTCLIP |
    D3DUSAGE_POINTS | D3DUSAGE_RTPATCHES | D3DUSAGE_NPATCHES | D3DUSAGE_DYNAMIC;

HRESULT check_buffer(UINT length, DWORD usage, D3DPOOL pool)
{
    if (length == 0 || length > kMaxResourceBytes || (usage & ~kBufferUsages) || pool > D3DPOOL_SYSTEMMEM ||
        (pool == D3DPOOL_MANAGED && (usage & D3DUSAGE_DYNAMIC))) {
        return D3DERR_INVALIDCALL;
    }
    return S_OK;
}

// The locked range of a buffer; false when it lies outside.
bool lock_range(UINT length, UINT offset, UINT size, UINT* start)
{
    if (offset > length || (size != 0 && size > length - offset)) {
        return false;
    }
    *start = offset;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// DeviceResource

template <class Interface>
DeviceResource<Interface>::DeviceResource(SoftDevice* device, D3DPOOL pool) : device_(device), pool_(pool)
{
    device_->AddRef();
    device_->note_created(pool_);
}

template <class Interface>
DeviceResource<Interface>::~DeviceResource()
{
    device_->note_destroyed(pool_);
}

template <class Interface>
ULONG DeviceResource<Interface>::AddRef()
{
    if (public_refs_ == 0) {
        device_->AddRef(); // brought back through a Get call while bound
    }
    return ++public_refs_;
}

template <class Interface>
ULONG DeviceResource<Interface>::Release()
{
    if (public_refs_ == 0) {
        return 0;
    }
    const ULONG left = --public_refs_;
    if (left == 0) {
        SoftDevice* device = device_;
        if (bind_refs_ == 0) {
            delete this;
        }
        device->Release(); // last: it may end the device, which unbinds what is left
    }
    return left;
}

template <class Interface>
HRESULT DeviceResource<Interface>::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (!ppDevice) {
        return D3DERR_INVALIDCALL;
    }
    device_->AddRef();
    *ppDevice = device_;
    return S_OK;
}

template <class Interface>
void DeviceResource<Interface>::unbind()
{
    if (bind_refs_ > 0 && --bind_refs_ == 0 && public_refs_ == 0) {
        delete this;
    }
}

template class DeviceResource<IDirect3DTexture9>;
template class DeviceResource<IDirect3DVertexBuffer9>;
template class DeviceResource<IDirect3DIndexBuffer9>;

// ---------------------------------------------------------------------------
// SoftSurface

std::unique_ptr<SoftSurface> SoftSurface::make_level(SoftTexture* texture, const TexelFormat& format, UINT width,
                                                     UINT height, DWORD usage, D3DPOOL pool, UINT padding)
{
    std::unique_ptr<SoftSurface> surface(new (std::nothrow) SoftSurface());
    if (!surface) {
        return nullptr;
    }
    surface->texture_ = texture;
    surface->format_ = format.format;
    surface->width_ = width;
    surface->height_ = height;
    surface->unit_bytes_ = format.unit_bytes;
    surface->blocks_ = format.block_compressed;
    surface->pitch_ = texel_row_pitch(format, width, padding);
    surface->usage_ = usage;
    surface->pool_ = pool;
    if (!allocate(surface->bytes_, size_t(surface->pitch_) * texel_row_count(format, height))) {
        return nullptr;
    }
    return surface;
}

std::unique_ptr<SoftSurface> SoftSurface::make_device_surface(SoftDevice* device, D3DFORMAT format, UINT width,
                                                              UINT height, DWORD usage, UINT padding)
{
    std::unique_ptr<SoftSurface> surface(new (std::nothrow) SoftSurface());
    if (!surface) {
        return nullptr;
    }
    const UINT bytes = format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE ? 2 : 4;
    surface->device_ = device;
    surface->format_ = format;
    surface->width_ = width;
    surface->height_ = height;
    surface->unit_bytes_ = bytes;
    // Whole pixels of 4 bytes per row step, so the rasterizer can walk rows.
    surface->pitch_ = (width * bytes + padding + 3) / 4 * 4;
    surface->usage_ = usage;
    surface->pool_ = D3DPOOL_DEFAULT;
    surface->lockable_ = format != D3DFMT_D16; // the platform's D16 cannot be locked
    if (!allocate(surface->bytes_, size_t(surface->pitch_) * height)) {
        return nullptr;
    }
    return surface;
}

SoftSurface::~SoftSurface() = default;

ULONG SoftSurface::AddRef()
{
    if (texture_) {
        return texture_->AddRef();
    }
    device_->AddRef();
    return ++own_refs_;
}

ULONG SoftSurface::Release()
{
    if (texture_) {
        return texture_->Release();
    }
    if (own_refs_ == 0) {
        return 0;
    }
    const ULONG left = --own_refs_;
    device_->Release(); // the device frees its surfaces itself
    return left;
}

HRESULT SoftSurface::GetDevice(IDirect3DDevice9** ppDevice)
{
    if (texture_) {
        return texture_->GetDevice(ppDevice);
    }
    if (!ppDevice) {
        return D3DERR_INVALIDCALL;
    }
    device_->AddRef();
    *ppDevice = device_;
    return S_OK;
}

HRESULT SoftSurface::GetDesc(D3DSURFACE_DESC* pDesc)
{
    if (!pDesc) {
        return D3DERR_INVALIDCALL;
    }
    pDesc->Format = format_;
    pDesc->Type = D3DRTYPE_SURFACE;
    pDesc->Usage = usage_;
    pDesc->Pool = pool_;
    pDesc->MultiSampleType = D3DMULTISAMPLE_NONE;
    pDesc->MultiSampleQuality = 0;
    pDesc->Width = width_;
    pDesc->Height = height_;
    return S_OK;
}

HRESULT SoftSurface::LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags)
{
    const HRESULT injected = injected_failure(D3D9Call::LockRect);
    if (FAILED(injected)) {
        if (pLockedRect) {
            pLockedRect->pBits = nullptr;
            pLockedRect->Pitch = 0;
        }
        return injected;
    }
    return lock(pLockedRect, pRect, Flags);
}

HRESULT SoftSurface::lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    if (!locked) {
        return D3DERR_INVALIDCALL;
    }
    locked->pBits = nullptr;
    locked->Pitch = 0;
    if (locked_ || !lockable_) {
        return D3DERR_INVALIDCALL;
    }
    UINT left = 0, top = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            static_cast<UINT>(rect->right) > width_ || static_cast<UINT>(rect->bottom) > height_) {
            return D3DERR_INVALIDCALL;
        }
        left = static_cast<UINT>(rect->left);
        top = static_cast<UINT>(rect->top);
        if (blocks_) {
            // Compressed levels lock whole blocks only.
            const auto aligned = [](UINT v, UINT size) { return v % 4 == 0 || v == size; };
            if (left % 4 || top % 4 || !aligned(static_cast<UINT>(rect->right), width_) ||
                !aligned(static_cast<UINT>(rect->bottom), height_)) {
                return D3DERR_INVALIDCALL;
            }
            left /= 4;
            top /= 4;
        }
    }
    locked_ = true;
    if (!(flags & D3DLOCK_READONLY)) {
        ++generation_;
    }
    locked->Pitch = static_cast<INT>(pitch_);
    locked->pBits = bytes_.data() + size_t(top) * pitch_ + size_t(left) * unit_bytes_;
    return S_OK;
}

HRESULT SoftSurface::UnlockRect()
{
    if (!locked_) {
        return D3DERR_INVALIDCALL;
    }
    locked_ = false;
    return S_OK;
}

// ---------------------------------------------------------------------------
// SoftTexture

HRESULT SoftTexture::create(SoftDevice* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                            D3DPOOL pool, UINT padding, SoftTexture** out)
{
    TexelFormat info;
    if (!texel_format(format, &info)) {
        return D3DERR_INVALIDCALL;
    }
    std::unique_ptr<SoftTexture, void (*)(SoftTexture*)> texture(new (std::nothrow) SoftTexture(device, pool),
                                                                 [](SoftTexture* t) { t->Release(); });
    if (!texture) {
        return E_OUTOFMEMORY;
    }
    size_t total = 0;
    for (UINT level = 0; level < levels; ++level) {
        const UINT w = std::max(1u, width >> level), h = std::max(1u, height >> level);
        total += size_t(texel_row_pitch(info, w, padding)) * texel_row_count(info, h);
        if (total > kMaxResourceBytes) {
            return E_OUTOFMEMORY;
        }
        auto surface = SoftSurface::make_level(texture.get(), info, w, h, usage, pool, padding);
        if (!surface) {
            return E_OUTOFMEMORY;
        }
        texture->levels_.push_back(std::move(surface));
    }
    texture->texels_.resize(levels);
    texture->texel_generation_.assign(levels, ~uint64_t(0));
    *out = texture.release();
    return S_OK;
}

HRESULT SoftTexture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc)
{
    if (Level >= levels_.size()) {
        return D3DERR_INVALIDCALL;
    }
    return levels_[Level]->GetDesc(pDesc);
}

HRESULT SoftTexture::GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel)
{
    const HRESULT injected = injected_failure(D3D9Call::GetSurfaceLevel);
    if (ppSurfaceLevel) {
        *ppSurfaceLevel = nullptr;
    }
    if (FAILED(injected)) {
        return injected;
    }
    if (!ppSurfaceLevel || Level >= levels_.size()) {
        return D3DERR_INVALIDCALL;
    }
    AddRef();
    *ppSurfaceLevel = levels_[Level].get();
    return S_OK;
}

HRESULT SoftTexture::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags)
{
    const HRESULT injected = injected_failure(D3D9Call::LockRect);
    if (FAILED(injected)) {
        if (pLockedRect) {
            pLockedRect->pBits = nullptr;
            pLockedRect->Pitch = 0;
        }
        return injected;
    }
    if (Level >= levels_.size()) {
        return D3DERR_INVALIDCALL;
    }
    return levels_[Level]->lock(pLockedRect, pRect, Flags);
}

HRESULT SoftTexture::UnlockRect(UINT Level)
{
    if (Level >= levels_.size()) {
        return D3DERR_INVALIDCALL;
    }
    return levels_[Level]->UnlockRect();
}

const std::vector<SamplerLevel>& SoftTexture::sampler_levels()
{
    sampler_levels_.resize(levels_.size());
    for (size_t i = 0; i < levels_.size(); ++i) {
        SoftSurface& level = *levels_[i];
        if (texel_generation_[i] != level.generation()) {
            texels_[i].resize(size_t(level.width()) * level.height());
            read_level_argb8(level.format(), level.bits(), level.pitch(), level.width(), level.height(),
                             texels_[i].data());
            texel_generation_[i] = level.generation();
        }
        int shift = 0;
        while ((1u << shift) < level.width()) {
            ++shift;
        }
        sampler_levels_[i] =
            SamplerLevel{texels_[i].data(), static_cast<int>(level.width()), static_cast<int>(level.height()), shift};
    }
    return sampler_levels_;
}

// ---------------------------------------------------------------------------
// Buffers

HRESULT BufferMemory::lock(D3D9Call call, UINT offset, UINT size, void** data)
{
    const HRESULT injected = injected_failure(call);
    if (data) {
        *data = nullptr;
    }
    if (FAILED(injected)) {
        return injected;
    }
    UINT start = 0;
    if (!data || !lock_range(static_cast<UINT>(bytes.size()), offset, size, &start)) {
        return D3DERR_INVALIDCALL;
    }
    ++locks;
    *data = bytes.data() + start;
    return S_OK;
}

HRESULT BufferMemory::unlock()
{
    if (locks == 0) {
        return D3DERR_INVALIDCALL;
    }
    --locks;
    return S_OK;
}

HRESULT SoftVertexBuffer::create(SoftDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                 SoftVertexBuffer** out)
{
    const HRESULT checked = check_buffer(length, usage, pool);
    if (FAILED(checked)) {
        return checked;
    }
    if (fvf != 0) {
        const UINT vertex = fvf_vertex_size(fvf);
        if (vertex == 0 || length < vertex) {
            return D3DERR_INVALIDCALL;
        }
    }
    std::unique_ptr<SoftVertexBuffer, void (*)(SoftVertexBuffer*)> buffer(
        new (std::nothrow) SoftVertexBuffer(device, pool), [](SoftVertexBuffer* b) { b->Release(); });
    if (!buffer || !allocate(buffer->memory_.bytes, length)) {
        return E_OUTOFMEMORY;
    }
    buffer->usage_ = usage;
    buffer->fvf_ = fvf;
    *out = buffer.release();
    return S_OK;
}

HRESULT SoftVertexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags)
{
    (void)Flags;
    return memory_.lock(D3D9Call::VertexBufferLock, OffsetToLock, SizeToLock, ppbData);
}

HRESULT SoftVertexBuffer::Unlock() { return memory_.unlock(); }

HRESULT SoftVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc)
{
    if (!pDesc) {
        return D3DERR_INVALIDCALL;
    }
    pDesc->Format = D3DFMT_VERTEXDATA;
    pDesc->Type = D3DRTYPE_VERTEXBUFFER;
    pDesc->Usage = usage_;
    pDesc->Pool = pool();
    pDesc->Size = size();
    pDesc->FVF = fvf_;
    return S_OK;
}

HRESULT SoftIndexBuffer::create(SoftDevice* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                SoftIndexBuffer** out)
{
    const HRESULT checked = check_buffer(length, usage, pool);
    if (FAILED(checked)) {
        return checked;
    }
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) {
        return D3DERR_INVALIDCALL;
    }
    std::unique_ptr<SoftIndexBuffer, void (*)(SoftIndexBuffer*)> buffer(
        new (std::nothrow) SoftIndexBuffer(device, pool), [](SoftIndexBuffer* b) { b->Release(); });
    if (!buffer || !allocate(buffer->memory_.bytes, length)) {
        return E_OUTOFMEMORY;
    }
    buffer->usage_ = usage;
    buffer->format_ = format;
    *out = buffer.release();
    return S_OK;
}

HRESULT SoftIndexBuffer::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags)
{
    (void)Flags;
    return memory_.lock(D3D9Call::IndexBufferLock, OffsetToLock, SizeToLock, ppbData);
}

HRESULT SoftIndexBuffer::Unlock() { return memory_.unlock(); }

HRESULT SoftIndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc)
{
    if (!pDesc) {
        return D3DERR_INVALIDCALL;
    }
    pDesc->Format = format_;
    pDesc->Type = D3DRTYPE_INDEXBUFFER;
    pDesc->Usage = usage_;
    pDesc->Pool = pool();
    pDesc->Size = size();
    return S_OK;
}
