// The device's resources: vertex and index buffers, textures with their
// level surfaces, and the device's own surfaces (back and depth buffer).
//
// References: every resource holds one reference on its device while the
// caller holds any on the resource, so the device outlives what was made
// from it. Binding a resource to the device (SetTexture, SetStreamSource,
// SetIndices) does not count as a caller's reference: a resource released
// while bound stays in memory, without holding the device, until it is
// unbound; this keeps the device and its bindings from holding each other.
// A level surface shares the reference count of its texture.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/d3d9/texel_formats.h"
#include "platform/d3d9/texture_sampler.h"

class SoftDevice;

// Reference counting shared by the buffers and textures.
template <class Interface>
class DeviceResource : public Interface {
public:
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;

    void bind() { ++bind_refs_; }
    void unbind(); // may delete the resource
    SoftDevice* device() const { return device_; }
    D3DPOOL pool() const { return pool_; }

protected:
    DeviceResource(SoftDevice* device, D3DPOOL pool);
    virtual ~DeviceResource();

private:
    SoftDevice* device_;
    D3DPOOL pool_;
    ULONG public_refs_ = 1;
    ULONG bind_refs_ = 0;
};

class SoftTexture;

// A block of pixels: a texture level or one of the device's buffers.
class SoftSurface final : public IDirect3DSurface9 {
public:
    // A level of `texture`; null when memory is exhausted.
    static std::unique_ptr<SoftSurface> make_level(SoftTexture* texture, const TexelFormat& format, UINT width,
                                                   UINT height, DWORD usage, D3DPOOL pool, UINT padding);
    // The device's back buffer (usage D3DUSAGE_RENDERTARGET) or depth
    // buffer (D3DUSAGE_DEPTHSTENCIL); null when memory is exhausted.
    static std::unique_ptr<SoftSurface> make_device_surface(SoftDevice* device, D3DFORMAT format, UINT width,
                                                            UINT height, DWORD usage, UINT padding);
    ~SoftSurface();

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect() override;

    // LockRect without the test hook (the texture's own LockRect counts once).
    HRESULT lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);

    uint8_t* bits() { return bytes_.data(); }
    const uint8_t* bits() const { return bytes_.data(); }
    UINT pitch() const { return pitch_; }
    UINT width() const { return width_; }
    UINT height() const { return height_; }
    D3DFORMAT format() const { return format_; }
    // Grows with every lock that may write, so readers know when to re-read.
    uint64_t generation() const { return generation_; }
    // References callers hold on a device surface.
    ULONG outside_refs() const { return own_refs_; }

private:
    SoftSurface() = default;

    SoftTexture* texture_ = nullptr; // set for a level
    SoftDevice* device_ = nullptr;   // set for a device surface
    ULONG own_refs_ = 0;
    D3DFORMAT format_ = D3DFMT_UNKNOWN;
    UINT width_ = 0, height_ = 0;
    UINT pitch_ = 0;
    UINT unit_bytes_ = 0;
    bool blocks_ = false;
    DWORD usage_ = 0;
    D3DPOOL pool_ = D3DPOOL_DEFAULT;
    bool lockable_ = true;
    bool locked_ = false;
    uint64_t generation_ = 0;
    std::vector<uint8_t> bytes_;
};

class SoftTexture final : public DeviceResource<IDirect3DTexture9> {
public:
    // Checked arguments; E_OUTOFMEMORY or S_OK.
    static HRESULT create(SoftDevice* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, UINT padding, SoftTexture** out);

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;

    // The levels as the sampler reads them, re-read after writes.
    const std::vector<SamplerLevel>& sampler_levels();

private:
    using DeviceResource::DeviceResource;
    ~SoftTexture() override = default;

    std::vector<std::unique_ptr<SoftSurface>> levels_;
    std::vector<std::vector<uint32_t>> texels_;
    std::vector<uint64_t> texel_generation_;
    std::vector<SamplerLevel> sampler_levels_;
};

// The bytes of a vertex or index buffer and their lock count.
struct BufferMemory {
    std::vector<uint8_t> bytes;
    UINT locks = 0;

    // Lock of [offset, offset + size) (size 0: to the end); `call` names
    // the lock for the test hook.
    HRESULT lock(D3D9Call call, UINT offset, UINT size, void** data);
    HRESULT unlock();
};

class SoftVertexBuffer final : public DeviceResource<IDirect3DVertexBuffer9> {
public:
    static HRESULT create(SoftDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                          SoftVertexBuffer** out);

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

    const uint8_t* data() const { return memory_.bytes.data(); }
    UINT size() const { return static_cast<UINT>(memory_.bytes.size()); }

private:
    using DeviceResource::DeviceResource;
    ~SoftVertexBuffer() override = default;

    BufferMemory memory_;
    DWORD usage_ = 0;
    DWORD fvf_ = 0;
};

class SoftIndexBuffer final : public DeviceResource<IDirect3DIndexBuffer9> {
public:
    static HRESULT create(SoftDevice* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          SoftIndexBuffer** out);

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

    const uint8_t* data() const { return memory_.bytes.data(); }
    UINT size() const { return static_cast<UINT>(memory_.bytes.size()); }
    bool wide() const { return format_ == D3DFMT_INDEX32; }

private:
    using DeviceResource::DeviceResource;
    ~SoftIndexBuffer() override = default;

    BufferMemory memory_;
    DWORD usage_ = 0;
    D3DFORMAT format_ = D3DFMT_INDEX16;
};
