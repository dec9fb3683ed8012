// Buffers, textures and surfaces: memory, locking and descriptions.
#include "platform/d3d9/resources.h"

#include <algorithm>
#include <new>

#include "platform/d3d9/device_profile.h"
#include "platform/d3d9/vertex_formats.h"

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
DeviceResource<Interface>::DeviceResource(ResourceOwner* device, D3DPOOL pool) : device_(device), pool_(pool)
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
void DeviceResource<Interface>::on_add_ref(ULONG count)
{
    if (count == 1) {
        device_->AddRef(); // brought back through a Get call while bound
    }
}

template <class Interface>
void DeviceResource<Interface>::on_release(ULONG left)
{
    if (left == 0) {
        ResourceOwner* device = device_;
        if (bind_refs_ == 0) {
            delete this;
        }
        device->Release(); // last: it may end the device, which unbinds what is left
    }
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
    if (bind_refs_ > 0 && --bind_refs_ == 0 && this->refs() == 0) {
        delete this;
    }
}

template class DeviceResource<IDirect3DTexture9>;
template class DeviceResource<IDirect3DVertexBuffer9>;
template class DeviceResource<IDirect3DIndexBuffer9>;

// ---------------------------------------------------------------------------
// SoftSurface

std::unique_ptr<SoftSurface> SoftSurface::make_level(SoftTexture* texture, const TexelFormatFacts& format, UINT width,
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
    surface->blocks_ = format.block_compressed();
    surface->pitch_ = texel_row_pitch(format, width, padding);
    surface->usage_ = usage;
    surface->pool_ = pool;
    if (!allocate(surface->bytes_, size_t(surface->pitch_) * texel_row_count(format, height))) {
        return nullptr;
    }
    return surface;
}

std::unique_ptr<SoftSurface> SoftSurface::make_device_surface(ResourceOwner* device, D3DFORMAT format, UINT width,
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

IUnknown* SoftSurface::count_owner() const { return texture_; }

void SoftSurface::on_add_ref(ULONG) { device_->AddRef(); }

void SoftSurface::on_release(ULONG)
{
    device_->Release(); // the device frees its surfaces itself
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
    if (const HRESULT injected = injected_failure(D3D9Call::LockRect, pLockedRect); FAILED(injected)) {
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
    if (device_) {
        // The caller sees the buffer as the calls so far left it.
        device_->settle_clear();
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

HRESULT SoftTexture::create(ResourceOwner* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                            D3DPOOL pool, UINT padding, SoftTexture** out)
{
    const TexelFormatFacts* info = texel_format(format);
    if (!info) {
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
        total += size_t(texel_row_pitch(*info, w, padding)) * texel_row_count(*info, h);
        if (total > kMaxResourceBytes) {
            return E_OUTOFMEMORY;
        }
        auto surface = SoftSurface::make_level(texture.get(), *info, w, h, usage, pool, padding);
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
    if (const HRESULT injected = injected_failure(D3D9Call::GetSurfaceLevel, ppSurfaceLevel); FAILED(injected)) {
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
    if (const HRESULT injected = injected_failure(D3D9Call::LockRect, pLockedRect); FAILED(injected)) {
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

bool BufferKind<IDirect3DVertexBuffer9>::layout_fits(DWORD fvf, UINT length)
{
    if (fvf == 0) {
        return true;
    }
    const UINT vertex = fvf_vertex_size(fvf);
    return vertex != 0 && length >= vertex;
}

void BufferKind<IDirect3DVertexBuffer9>::describe(DWORD fvf, D3DVERTEXBUFFER_DESC* desc)
{
    desc->Format = D3DFMT_VERTEXDATA;
    desc->FVF = fvf;
}

bool BufferKind<IDirect3DIndexBuffer9>::layout_fits(DWORD format, UINT)
{
    return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32;
}

void BufferKind<IDirect3DIndexBuffer9>::describe(DWORD format, D3DINDEXBUFFER_DESC* desc)
{
    desc->Format = static_cast<D3DFORMAT>(format);
}

template <class Interface>
HRESULT SoftBuffer<Interface>::create(ResourceOwner* device, UINT length, DWORD usage, DWORD layout, D3DPOOL pool,
                                      SoftBuffer** out)
{
    const HRESULT checked = check_buffer(length, usage, pool);
    if (FAILED(checked)) {
        return checked;
    }
    if (!Kind::layout_fits(layout, length)) {
        return D3DERR_INVALIDCALL;
    }
    std::unique_ptr<SoftBuffer, void (*)(SoftBuffer*)> buffer(new (std::nothrow) SoftBuffer(device, pool),
                                                              [](SoftBuffer* b) { b->Release(); });
    if (!buffer || !allocate(buffer->bytes_, length)) {
        return E_OUTOFMEMORY;
    }
    buffer->usage_ = usage;
    buffer->layout_ = layout;
    *out = buffer.release();
    return S_OK;
}

template <class Interface>
HRESULT SoftBuffer<Interface>::Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags)
{
    (void)Flags;
    if (const HRESULT injected = injected_failure(Kind::kLock, ppbData); FAILED(injected)) {
        return injected;
    }
    UINT start = 0;
    if (!ppbData || !lock_range(size(), OffsetToLock, SizeToLock, &start)) {
        return D3DERR_INVALIDCALL;
    }
    ++locks_;
    *ppbData = bytes_.data() + start;
    return S_OK;
}

template <class Interface>
HRESULT SoftBuffer<Interface>::Unlock()
{
    if (locks_ == 0) {
        return D3DERR_INVALIDCALL;
    }
    --locks_;
    return S_OK;
}

template <class Interface>
HRESULT SoftBuffer<Interface>::GetDesc(typename Kind::Desc* pDesc)
{
    if (!pDesc) {
        return D3DERR_INVALIDCALL;
    }
    Kind::describe(layout_, pDesc);
    pDesc->Type = Kind::kType;
    pDesc->Usage = usage_;
    pDesc->Pool = this->pool();
    pDesc->Size = size();
    return S_OK;
}

template class SoftBuffer<IDirect3DVertexBuffer9>;
template class SoftBuffer<IDirect3DIndexBuffer9>;
