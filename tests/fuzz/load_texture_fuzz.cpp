// Fuzz target: every image decode_image accepts goes through
// load_texture_file on the software device, and every level of the texture
// is read back. Images of more than a million pixels are left out, so that
// one input stays fast (the decoder target covers their decoding). A
// reference left on the device, a leak or an out-of-bounds access stops the
// run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/offscreen_device.h"
#include "texture/decoders/decoded_image.h"
#include "texture/texture_loader.h"

namespace {

constexpr uint64_t kMaxPixels = uint64_t(1) << 20;

volatile uint8_t g_sink;

struct Target {
    OffscreenDevice device;
    std::string path = "/tmp/varnel-load-texture-fuzz-" + std::to_string(::getpid());
};

Target& target()
{
    static Target* t = [] {
        auto* made = new Target;
        if (FAILED(made->device.result()))
            __builtin_trap();
        return made;
    }();
    return *t;
}

ULONG references(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

bool small_enough(const uint8_t* data, size_t size)
{
    OwnedImage header;
    if (header.decode(data, size, FALSE) != S_OK)
        return false;
    return uint64_t(header->width) * header->height * header->depth <= kMaxPixels;
}

void read_levels(IDirect3DTexture9* texture)
{
    uint8_t sum = 0;
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc;
        D3DLOCKED_RECT locked;
        if (FAILED(texture->GetLevelDesc(level, &desc)) ||
            FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY)))
            __builtin_trap();
        const auto* bits = static_cast<const uint8_t*>(locked.pBits);
        sum = uint8_t(sum + bits[0] + bits[size_t(locked.Pitch) * (desc.Height > 4 ? desc.Height / 4 : 1) - 1]);
        texture->UnlockRect(level);
    }
    g_sink = sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!small_enough(data, size))
        return 0;
    Target& t = target();
    IDirect3DDevice9* device = t.device.get();
    std::FILE* file = std::fopen(t.path.c_str(), "wb");
    if (!file)
        __builtin_trap();
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written)
        __builtin_trap();

    const ULONG before = references(device);
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr = load_texture_file(device, t.path.c_str(), &texture);
    if (SUCCEEDED(hr)) {
        if (!texture)
            __builtin_trap();
        read_levels(texture);
        texture->Release();
    } else if (texture) {
        __builtin_trap(); // texture_out touched on failure
    }
    if (references(device) != before)
        __builtin_trap();
    std::remove(t.path.c_str());
    return 0;
}
