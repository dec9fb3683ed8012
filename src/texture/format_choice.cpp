// The format table, the closest-format search and the device's limits on
// texture sizes and levels.
#include "texture/format_choice.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "platform/d3d9/interface_ptr.h"

namespace {

// The loader's search order and which formats may stand in for another:
// its policy, not facts of the formats. The order decides ties in
// find_closest_format.
struct Candidate {
    D3DFORMAT format;
    BOOL substitute;
};

const Candidate kCandidates[] = {
    {D3DFMT_R8G8B8, FALSE},
    {D3DFMT_A8R8G8B8, TRUE},
    {D3DFMT_X8R8G8B8, TRUE},
    {D3DFMT_R5G6B5, TRUE},
    {D3DFMT_X1R5G5B5, TRUE},
    {D3DFMT_A8P8, TRUE},
    {D3DFMT_P8, TRUE},
    {D3DFMT_A1R5G5B5, TRUE},
    {D3DFMT_A4R4G4B4, TRUE},
    {D3DFMT_R3G3B2, TRUE},
    {D3DFMT_A8, TRUE},
    {D3DFMT_A8R3G3B2, TRUE},
    {D3DFMT_X4R4G4B4, TRUE},
    {D3DFMT_A2B10G10R10, TRUE},
    {D3DFMT_A8B8G8R8, TRUE},
    {D3DFMT_X8B8G8R8, TRUE},
    {D3DFMT_G16R16, TRUE},
    {D3DFMT_A2R10G10B10, TRUE},
    {D3DFMT_A16B16G16R16, TRUE},
    {D3DFMT_L8, TRUE},
    {D3DFMT_A8L8, TRUE},
    {D3DFMT_A4L4, TRUE},
    {D3DFMT_L16, TRUE},
    {D3DFMT_V8U8, TRUE},
    {D3DFMT_L6V5U5, TRUE},
    {D3DFMT_X8L8V8U8, TRUE},
    {D3DFMT_Q8W8V8U8, TRUE},
    {D3DFMT_V16U16, TRUE},
    {D3DFMT_A2W10V10U10, TRUE},
    {D3DFMT_Q16W16V16U16, TRUE},
    {D3DFMT_CxV8U8, FALSE},
    {D3DFMT_UYVY, FALSE},
    {D3DFMT_R8G8_B8G8, FALSE},
    {D3DFMT_YUY2, FALSE},
    {D3DFMT_G8R8_G8B8, FALSE},
    {D3DFMT_DXT1, FALSE},
    {D3DFMT_DXT2, FALSE},
    {D3DFMT_DXT3, FALSE},
    {D3DFMT_DXT4, FALSE},
    {D3DFMT_DXT5, FALSE},
    {D3DFMT_D16_LOCKABLE, TRUE},
    {D3DFMT_D32F_LOCKABLE, FALSE},
    {D3DFMT_D32, TRUE},
    {D3DFMT_D15S1, TRUE},
    {D3DFMT_D24S8, TRUE},
    {D3DFMT_D16, TRUE},
    {D3DFMT_D24X8, TRUE},
    {D3DFMT_D24X4S4, TRUE},
    {D3DFMT_D24FS8, FALSE},
    {D3DFMT_R16F, FALSE},
    {D3DFMT_G16R16F, FALSE},
    {D3DFMT_A16B16G16R16F, FALSE},
    {D3DFMT_R32F, FALSE},
    {D3DFMT_G32R32F, FALSE},
    {D3DFMT_A32B32G32R32F, FALSE},
    {LOADER_FMT_AL16, FALSE},
    {LOADER_FMT_R16, FALSE},
};

struct DescriptorTable {
    std::array<FormatDescriptor, std::size(kCandidates)> rows;

    DescriptorTable()
    {
        for (size_t i = 0; i < rows.size(); ++i) {
            const TexelFormatFacts& f = *texel_format_facts(kCandidates[i].format);
            rows[i] = FormatDescriptor{f.format, f.format_class, f.bits_per_pixel(),       f.other, f.alpha, f.red,
                                       f.green,  f.blue,         kCandidates[i].substitute};
        }
    }
};

const std::array<FormatDescriptor, std::size(kCandidates)>& descriptors()
{
    static const DescriptorTable table;
    return table.rows;
}

const FormatDescriptor kFallback = {D3DFMT_UNKNOWN, FORMAT_CLASS_COLOR, 32, 0, 8, 8, 8, 8, FALSE};

constexpr UINT kMissingChannel = 0x1000000;

// How far `candidate` is from `wanted`: a surplus bit costs little, a
// missing bit much, a missing channel most. False when the candidate may not
// stand in at all.
bool substitute_score(const FormatDescriptor& wanted, const FormatDescriptor& candidate, UINT* score)
{
    if (!format_class_allowed(wanted.format_class, candidate.format_class))
        return false;
    const BYTE want[5] = {wanted.other, wanted.alpha, wanted.red, wanted.green, wanted.blue};
    const BYTE have[5] = {candidate.other, candidate.alpha, candidate.red, candidate.green, candidate.blue};
    UINT total = 0;
    UINT wanted_channels = 0;
    for (int slot = 0; slot < 5; ++slot) {
        const UINT w = want[slot];
        const UINT c = have[slot];
        if (w > 0)
            ++wanted_channels;
        if (c > w)
            total += w == 0 ? 256 : c - w;
        else if (c < w)
            total += c == 0 ? kMissingChannel : (w - c) * 65536;
    }
    // Lacking every wanted channel is no substitute.
    if (total / kMissingChannel == wanted_channels)
        return false;
    *score = total;
    return true;
}

bool power_of_two(UINT value) { return value != 0 && (value & (value - 1)) == 0; }

// The smallest power of two not below `value`; the largest a UINT holds
// when none is.
UINT round_up_pow2(UINT value)
{
    uint64_t p = 1;
    while (p < value)
        p <<= 1;
    return static_cast<UINT>(std::min<uint64_t>(p, 0x80000000u));
}

// The largest power of two not above `value` (at least 1).
UINT round_down_pow2(UINT value)
{
    UINT p = 1;
    while (p <= value / 2)
        p <<= 1;
    return p;
}

// Halvings of the largest size until it reaches 1, plus one.
UINT full_chain_levels(UINT largest)
{
    UINT levels = 1;
    while (largest > 1) {
        largest >>= 1;
        ++levels;
    }
    return levels;
}

struct TypeCaps {
    DWORD pow2;
    DWORD mipmap;
};

TypeCaps caps_for(D3DRESOURCETYPE resource_type)
{
    switch (resource_type) {
    case D3DRTYPE_VOLUMETEXTURE:
        return {D3DPTEXTURECAPS_VOLUMEMAP_POW2, D3DPTEXTURECAPS_MIPVOLUMEMAP};
    case D3DRTYPE_CUBETEXTURE:
        return {D3DPTEXTURECAPS_CUBEMAP_POW2, D3DPTEXTURECAPS_MIPCUBEMAP};
    default:
        return {D3DPTEXTURECAPS_POW2, D3DPTEXTURECAPS_MIPMAP};
    }
}

// Usage bits a texture request may carry.
constexpr DWORD kKnownUsage = 0x001FC613;

struct Sizes {
    UINT width, height, depth;
};

// Defaults for sizes not given.
Sizes settle_sizes(UINT width, UINT height, UINT depth, D3DRESOURCETYPE resource_type)
{
    Sizes s{width, height, depth};
    if (s.width != TEXTURE_DEFAULT) {
        if (s.height == TEXTURE_DEFAULT)
            s.height = s.width;
    } else if (s.height == TEXTURE_DEFAULT) {
        s.width = s.height = 256;
    } else {
        s.width = s.height;
    }
    s.width = std::max(s.width, 1u);
    s.height = std::max(s.height, 1u);
    if (resource_type == D3DRTYPE_CUBETEXTURE)
        s.width = s.height = std::max(s.width, s.height);
    if (s.depth == TEXTURE_DEFAULT || s.depth == 0)
        s.depth = 1;
    return s;
}

// Sizes within the device's maxima and aspect ratio.
void limit_sizes(const D3DCAPS9& caps, D3DRESOURCETYPE resource_type, Sizes* s)
{
    if (resource_type == D3DRTYPE_VOLUMETEXTURE) {
        s->width = std::min<UINT>(s->width, caps.MaxVolumeExtent);
        s->height = std::min<UINT>(s->height, caps.MaxVolumeExtent);
        s->depth = std::min<UINT>(s->depth, caps.MaxVolumeExtent);
        return;
    }
    s->width = std::min<UINT>(s->width, caps.MaxTextureWidth);
    s->height = std::min<UINT>(s->height, caps.MaxTextureHeight);
    if (resource_type != D3DRTYPE_TEXTURE)
        return;
    const uint64_t ratio = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : caps.MaxTextureAspectRatio;
    if (ratio == 0)
        return;
    if (s->width > ratio * s->height)
        s->width = static_cast<UINT>(ratio * s->height);
    if (s->height > ratio * s->width)
        s->height = static_cast<UINT>(ratio * s->width);
}

// Rounds a size up to a power of two, or down when rounding up would pass
// the device's maximum (a device whose maximum is no power of two would
// otherwise refuse every texture that large).
UINT pow2_within(UINT size, UINT limit)
{
    const UINT up = round_up_pow2(size);
    return up <= limit || size > limit ? up : round_down_pow2(limit);
}

} // namespace

const FormatDescriptor& format_descriptor(D3DFORMAT format)
{
    for (const FormatDescriptor& d : descriptors())
        if (d.format == format)
            return d;
    return kFallback;
}

BOOL format_class_allowed(FormatClass wanted, FormatClass candidate)
{
    switch (wanted) {
    case FORMAT_CLASS_COLOR:
        return candidate == FORMAT_CLASS_COLOR;
    case FORMAT_CLASS_PALETTE:
        return candidate == FORMAT_CLASS_COLOR || candidate == FORMAT_CLASS_PALETTE;
    case FORMAT_CLASS_LUMINANCE:
        return candidate == FORMAT_CLASS_COLOR || candidate == FORMAT_CLASS_LUMINANCE;
    case FORMAT_CLASS_SIGNED:
        return candidate == FORMAT_CLASS_SIGNED;
    case FORMAT_CLASS_DEPTH:
        return candidate == FORMAT_CLASS_DEPTH;
    }
    return FALSE;
}

D3DFORMAT find_closest_format(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE resource_type,
                              const FormatDescriptor& wanted, HRESULT* device_result)
{
    InterfacePtr<IDirect3D9> d3d;
    D3DCAPS9 caps{};
    D3DDISPLAYMODE mode{};
    if (device) {
        IDirect3D9* direct3d = nullptr;
        HRESULT hr = device->GetDirect3D(&direct3d);
        d3d.reset(direct3d);
        if (SUCCEEDED(hr))
            hr = device->GetDeviceCaps(&caps);
        if (SUCCEEDED(hr))
            hr = device->GetDisplayMode(0, &mode);
        if (FAILED(hr) || !d3d) {
            if (device_result)
                *device_result = FAILED(hr) ? hr : E_FAIL;
            return D3DFMT_UNKNOWN;
        }
    }
    // The Windows debug runtime would be muted around this probing; it does
    // not exist here.
    const FormatDescriptor* best = nullptr;
    UINT best_score = 0;
    for (const FormatDescriptor& candidate : descriptors()) {
        if (candidate.format == D3DFMT_UNKNOWN)
            continue;
        if (d3d &&
            FAILED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, mode.Format, usage, resource_type,
                                          candidate.format)))
            continue;
        if (candidate.format == wanted.format)
            return candidate.format;
        UINT score;
        if (!candidate.substitute || !substitute_score(wanted, candidate, &score))
            continue;
        if (!best || score < best_score || (score == best_score && candidate.bits < best->bits)) {
            best = &candidate;
            best_score = score;
        }
    }
    return best ? best->format : D3DFMT_UNKNOWN;
}

UINT texture_extent(UINT requested, UINT image_extent)
{
    if (requested == TEXTURE_DEFAULT || requested == 0)
        return round_up_pow2(image_extent);
    if (requested == TEXTURE_DEFAULT_NONPOW2)
        return image_extent;
    return requested;
}

D3DFORMAT treat_palette(const DecodedImage& image, D3DFORMAT requested, D3DCOLOR* color_key, BYTE palette[1024])
{
    if (!image.palette) {
        std::memset(palette, 255, 1024);
        return image.format;
    }
    std::memcpy(palette, image.palette, 1024);
    // Entries are red, green, blue, alpha in memory: the key with red and
    // blue exchanged reads the same way.
    const D3DCOLOR key = *color_key;
    const uint32_t swapped = (key & 0xFF00FF00u) | ((key >> 16) & 0xFFu) | ((key & 0xFFu) << 16);
    const BYTE key_bytes[4] = {BYTE(swapped), BYTE(swapped >> 8), BYTE(swapped >> 16), BYTE(swapped >> 24)};
    for (int i = 0; i < 256; ++i)
        if (std::memcmp(palette + 4 * i, key_bytes, 4) == 0)
            std::memset(palette + 4 * i, 0, 4);
    *color_key = 0;

    if (requested == D3DFMT_P8 || image.format != D3DFMT_P8)
        return image.format;
    bool grey_ramp = true;
    bool rgb332 = true;
    static const BYTE kLevels3[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    static const BYTE kLevels2[4] = {0, 85, 170, 255};
    for (int i = 0; i < 256; ++i) {
        const BYTE* e = palette + 4 * i;
        grey_ramp = grey_ramp && e[0] == i && e[1] == i && e[2] == i && e[3] == 255;
        rgb332 = rgb332 && e[0] == kLevels3[i >> 5] && e[1] == kLevels3[(i >> 2) & 7] && e[2] == kLevels2[i & 3] &&
            e[3] == 255;
    }
    if (grey_ramp)
        return D3DFMT_L8;
    if (rgb332)
        return D3DFMT_R3G3B2;
    return image.format;
}

D3DFORMAT format_before_device(D3DFORMAT image_format, D3DFORMAT requested, D3DCOLOR color_key,
                               const BYTE palette[1024], D3DPOOL pool)
{
    if (requested != D3DFMT_UNKNOWN)
        return requested;
    D3DFORMAT format = image_format;
    const FormatDescriptor& image = format_descriptor(image_format);
    // A colour key needs an alpha bit to become transparent.
    if (color_key != 0 && image.format_class <= FORMAT_CLASS_LUMINANCE && image.alpha == 0) {
        // Without its code, so that the image's own format (which has no
        // alpha) cannot match exactly.
        FormatDescriptor with_alpha = image;
        with_alpha.format = D3DFMT_UNKNOWN;
        with_alpha.alpha = 1;
        const D3DFORMAT keyed = find_closest_format(nullptr, 0, D3DRTYPE_TEXTURE, with_alpha);
        if (keyed != D3DFMT_UNKNOWN)
            format = keyed;
    }
    if (format == LOADER_FMT_AL16)
        format = D3DFMT_A8L8;
    else if (format == LOADER_FMT_R16)
        format = D3DFMT_R8G8B8;
    if (format == D3DFMT_R8G8B8 && pool != D3DPOOL_SCRATCH)
        format = D3DFMT_X8R8G8B8;
    if (format == D3DFMT_A8P8) {
        format = D3DFMT_A8R8G8B8;
    } else if (format == D3DFMT_P8) {
        bool translucent = false;
        for (int i = 0; i < 256; ++i)
            translucent = translucent || palette[4 * i + 3] != 255;
        format = translucent ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }
    return format;
}

HRESULT check_texture_requirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* mip_levels,
                                   DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE resource_type)
{
    if (usage == 0xFFFFFFFFu)
        usage = 0;
    if ((usage & ~kKnownUsage) || static_cast<DWORD>(pool) > D3DPOOL_SCRATCH)
        return D3DERR_INVALIDCALL;
    if (!device && pool != D3DPOOL_SCRATCH)
        return D3DERR_INVALIDCALL;

    D3DFORMAT chosen = format ? *format : D3DFMT_UNKNOWN;
    if (pool != D3DPOOL_SCRATCH) {
        HRESULT device_result = S_OK;
        chosen = find_closest_format(device, usage, resource_type, format_descriptor(chosen), &device_result);
        if (FAILED(device_result))
            return device_result;
        if (chosen == D3DFMT_UNKNOWN)
            return D3DERR_NOTAVAILABLE;
    } else if (chosen == D3DFMT_UNKNOWN) {
        chosen = D3DFMT_A8R8G8B8;
    }

    Sizes s = settle_sizes(width ? *width : TEXTURE_DEFAULT, height ? *height : TEXTURE_DEFAULT,
                           depth ? *depth : TEXTURE_DEFAULT, resource_type);
    D3DCAPS9 caps;
    const HRESULT caps_result = device ? device->GetDeviceCaps(&caps) : D3DERR_INVALIDCALL;
    if (FAILED(caps_result))
        return caps_result;
    limit_sizes(caps, resource_type, &s);

    const TypeCaps type_caps = caps_for(resource_type);
    const UINT requested_levels = mip_levels ? *mip_levels : TEXTURE_DEFAULT;
    const bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
    const bool pow2_waived = requested_levels == 1 && conditional && !is_block_compressed(chosen);
    if ((caps.TextureCaps & type_caps.pow2) && !pow2_waived) {
        const bool volume = resource_type == D3DRTYPE_VOLUMETEXTURE;
        s.width = pow2_within(s.width, volume ? caps.MaxVolumeExtent : caps.MaxTextureWidth);
        s.height = pow2_within(s.height, volume ? caps.MaxVolumeExtent : caps.MaxTextureHeight);
        s.depth = volume ? pow2_within(s.depth, caps.MaxVolumeExtent) : round_up_pow2(s.depth);
    }
    if (is_block_compressed(chosen)) {
        s.width = (s.width + 3) & ~3u;
        s.height = (s.height + 3) & ~3u;
    }

    UINT levels;
    const bool all_pow2 = power_of_two(s.width) && power_of_two(s.height) && power_of_two(s.depth);
    if (!(caps.TextureCaps & type_caps.mipmap) || (conditional && !all_pow2)) {
        levels = 1;
    } else {
        UINT largest = std::max(s.width, s.height);
        if (resource_type == D3DRTYPE_VOLUMETEXTURE)
            largest = std::max(largest, s.depth);
        levels = full_chain_levels(largest);
        if (requested_levels != 0 && requested_levels != TEXTURE_DEFAULT)
            levels = std::min(levels, requested_levels);
    }
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) && levels != 1)
        levels = 0;

    if (width)
        *width = s.width;
    if (height)
        *height = s.height;
    if (depth)
        *depth = s.depth;
    if (mip_levels)
        *mip_levels = levels;
    if (format)
        *format = chosen;
    return S_OK;
}
