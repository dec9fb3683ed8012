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
#include "platform/d3d9/d3d9_profile.h"
#include "platform/d3d9/ref_counted.h"
#include "platform/d3d9/resource_owner.h"
#include "platform/d3d9/texel_formats.h"
#include "platform/d3d9/texture_sampler.h"

// References shared by the buffers and textures: the caller's references
// hold the device; a binding keeps the memory alive.
template <class Interface>
class DeviceResource : public RefCounted<Interface> {
public:
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;

    void bind() { ++bind_refs_; }
    void unbind(); // may delete the resource
    ResourceOwner* device() const { return device_; }
    D3DPOOL pool() const { return pool_; }

protected:
    DeviceResource(ResourceOwner* device, D3DPOOL pool);
    virtual ~DeviceResource();

private:
    void on_add_ref(ULONG count) override;
    void on_release(ULONG left) override;

    ResourceOwner* device_;
    D3DPOOL pool_;
    ULONG bind_refs_ = 0;
};

class SoftTexture;

// A block of pixels: a texture level or one of the device's buffers.
class SoftSurface final : public RefCounted<IDirect3DSurface9> {
public:
    // A level of `texture`; null when memory is exhausted.
    static std::unique_ptr<SoftSurface> make_level(SoftTexture* texture, const TexelFormatFacts& format, UINT width,
                                                   UINT height, DWORD usage, D3DPOOL pool, UINT padding);
    // The device's back buffer (usage D3DUSAGE_RENDERTARGET) or depth
    // buffer (D3DUSAGE_DEPTHSTENCIL); null when memory is exhausted.
    static std::unique_ptr<SoftSurface> make_device_surface(ResourceOwner* device, D3DFORMAT format, UINT width,
                                                            UINT height, DWORD usage, UINT padding);
    ~SoftSurface();

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
    ULONG outside_refs() const { return refs(); }

private:
    SoftSurface() : RefCounted(0) {}

    // A level counts with its texture; a device surface holds the device
    // once per reference.
    IUnknown* count_owner() const override;
    void on_add_ref(ULONG count) override;
    void on_release(ULONG left) override;

    SoftTexture* texture_ = nullptr;  // set for a level
    ResourceOwner* device_ = nullptr; // set for a device surface
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
    static HRESULT create(ResourceOwner* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
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

// What sets vertex and index buffers apart: their type, the call the test
// hook knows their Lock by, their description, and the layout each carries
// (the FVF code of a vertex buffer, the index format of an index buffer).
template <class Interface>
struct BufferKind;

template <>
struct BufferKind<IDirect3DVertexBuffer9> {
    using Desc = D3DVERTEXBUFFER_DESC;
    static constexpr D3DRESOURCETYPE kType = D3DRTYPE_VERTEXBUFFER;
    static constexpr D3D9Call kLock = D3D9Call::VertexBufferLock;
    static bool layout_fits(DWORD fvf, UINT length);
    static void describe(DWORD fvf, Desc* desc);
};

template <>
struct BufferKind<IDirect3DIndexBuffer9> {
    using Desc = D3DINDEXBUFFER_DESC;
    static constexpr D3DRESOURCETYPE kType = D3DRTYPE_INDEXBUFFER;
    static constexpr D3D9Call kLock = D3D9Call::IndexBufferLock;
    static bool layout_fits(DWORD format, UINT length);
    static void describe(DWORD format, Desc* desc);
};

template <class Interface>
class SoftBuffer final : public DeviceResource<Interface> {
public:
    using Kind = BufferKind<Interface>;

    static HRESULT create(ResourceOwner* device, UINT length, DWORD usage, DWORD layout, D3DPOOL pool,
                          SoftBuffer** out);

    D3DRESOURCETYPE GetType() override { return Kind::kType; }
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(typename Kind::Desc* pDesc) override;

    const uint8_t* data() const { return bytes_.data(); }
    UINT size() const { return static_cast<UINT>(bytes_.size()); }
    DWORD layout() const { return layout_; }

private:
    using DeviceResource<Interface>::DeviceResource;
    ~SoftBuffer() override = default;

    std::vector<uint8_t> bytes_;
    UINT locks_ = 0;
    DWORD usage_ = 0;
    DWORD layout_ = 0;
};

using SoftVertexBuffer = SoftBuffer<IDirect3DVertexBuffer9>;
using SoftIndexBuffer = SoftBuffer<IDirect3DIndexBuffer9>;
