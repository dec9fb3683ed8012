// generate_mip_levels: every level after the start level, each filled from
// the level above it (box and point) or from the start level itself.
#include "texture/level_fill.h"
#include "texture/texture_fill.h"

namespace {

// A level of the texture, locked while the object lives.
class LockedLevel {
public:
    ~LockedLevel()
    {
        if (locked_) {
            surface_->UnlockRect();
        }
        if (surface_) {
            surface_->Release();
        }
    }

    HRESULT open(IDirect3DTexture9* texture, UINT level, DWORD lock_flags)
    {
        HRESULT hr = texture->GetSurfaceLevel(level, &surface_);
        if (FAILED(hr)) {
            surface_ = nullptr;
            return hr;
        }
        if (FAILED(hr = surface_->GetDesc(&desc_))) {
            return hr;
        }
        codec_ = find_pixel_codec(desc_.Format);
        if (!codec_ || !codec_->encode) {
            return E_FAIL;
        }
        D3DLOCKED_RECT rect;
        if (FAILED(hr = surface_->LockRect(&rect, nullptr, lock_flags))) {
            return hr;
        }
        locked_ = true;
        bits_ = static_cast<BYTE*>(rect.pBits);
        pitch_ = static_cast<size_t>(rect.Pitch);
        return S_OK;
    }

    LevelSource as_source() const
    {
        LevelSource source{};
        source.codec = codec_;
        source.pixels = PixelSource{bits_, pitch_, nullptr};
        source.width = desc_.Width;
        source.height = desc_.Height;
        return source;
    }

    LevelTarget as_target() const { return LevelTarget{codec_, bits_, pitch_, desc_.Width, desc_.Height}; }

private:
    IDirect3DSurface9* surface_ = nullptr;
    D3DSURFACE_DESC desc_{};
    const PixelCodec* codec_ = nullptr;
    bool locked_ = false;
    BYTE* bits_ = nullptr;
    size_t pitch_ = 0;
};

HRESULT fill_from_level(IDirect3DTexture9* texture, UINT from, UINT to, DWORD filter)
{
    LockedLevel source, target;
    HRESULT hr = source.open(texture, from, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        hr = target.open(texture, to, 0);
    }
    if (FAILED(hr)) {
        return hr;
    }
    return fill_level(source.as_source(), target.as_target(), filter);
}

} // namespace

HRESULT generate_mip_levels(IDirect3DTexture9* texture, UINT start_level, DWORD filter)
{
    if (!texture || !valid_filter(filter)) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD count = texture->GetLevelCount();
    if (start_level >= count) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD kind = filter & 0xFFFF;
    const bool from_above = kind == TEXTURE_FILTER_BOX || kind == TEXTURE_FILTER_POINT;
    for (UINT level = start_level + 1; level < count; ++level) {
        const HRESULT hr = fill_from_level(texture, from_above ? level - 1 : start_level, level, filter);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}
