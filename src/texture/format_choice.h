// Choosing a texture's size, format and level count: from the decoded image
// first, then within what the device takes.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/texel_format_facts.h"
#include "texture/decoders/decoded_image.h"

// Requested sizes and level counts: "take it from the image" (or, for the
// level count, the full chain) and "the image's size as it is".
constexpr UINT TEXTURE_DEFAULT = 0xFFFFFFFFu;
constexpr UINT TEXTURE_DEFAULT_NONPOW2 = 0xFFFFFFFEu;

// One format the loader may choose: its class and channel slots (the
// format's facts, see texel_format_facts.h) and whether it may stand in for
// another format.
struct FormatDescriptor {
    D3DFORMAT format;
    FormatClass format_class;
    UINT bits; // per pixel
    BYTE other;
    BYTE alpha;
    BYTE red;
    BYTE green;
    BYTE blue;
    BOOL substitute; // may stand in for another format
};

// The row of `format`, or the fallback row (D3DFMT_UNKNOWN, colour, 32 bits,
// slots 0, 8, 8, 8, 8, no substitute) for a format the table lacks.
const FormatDescriptor& format_descriptor(D3DFORMAT format);

// TRUE for the block-compressed formats DXT1 to DXT5.
inline BOOL is_block_compressed(D3DFORMAT format) { return is_block_compressed_format(format); }

// TRUE when a format of class `candidate` may replace one of class `wanted`.
BOOL format_class_allowed(FormatClass wanted, FormatClass candidate);

// The table's format that comes closest to `wanted`: the format itself when
// the device takes it, else the lowest-scoring substitute. Without a device
// every format counts as taken. D3DFMT_UNKNOWN when nothing fits, or when a
// device call fails; that call's result then goes to *device_result.
D3DFORMAT find_closest_format(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE resource_type,
                              const FormatDescriptor& wanted, HRESULT* device_result = nullptr);

// Texture size along one axis from the requested size and the image's:
// TEXTURE_DEFAULT (or 0) the smallest power of two not below the image's,
// TEXTURE_DEFAULT_NONPOW2 the image's, anything else as requested.
UINT texture_extent(UINT requested, UINT image_extent);

// The palette treatment. `palette` receives the 256 entries (red, green,
// blue, alpha) the texture's pixels come from: the image's, with entries
// equal to the colour key made transparent black, or all bytes 255 when the
// image has none. With a palette the key is then cleared. Returns the format
// the image's pixels are read as: D3DFMT_L8 for a P8 image whose palette is
// the grey ramp, D3DFMT_R3G3B2 for the 3-3-2 palette (unless P8 itself is
// requested), otherwise the image's format.
D3DFORMAT treat_palette(const DecodedImage& image, D3DFORMAT requested, D3DCOLOR* color_key, BYTE palette[1024]);

// The texture format before the device is asked: the requested one, or for
// D3DFMT_UNKNOWN one derived from the image's (palettes and 24-bit colour
// become 32-bit colour; the loader-internal formats their Direct3D kin).
D3DFORMAT format_before_device(D3DFORMAT image_format, D3DFORMAT requested, D3DCOLOR color_key,
                               const BYTE palette[1024], D3DPOOL pool);

// Brings sizes, format and level count within what the device takes for a
// resource of this type in this pool; TEXTURE_DEFAULT stands for a value not
// given (a null pointer likewise). Results: S_OK with the values written
// back; D3DERR_INVALIDCALL for unknown usage bits or pool;
// D3DERR_NOTAVAILABLE when no format fits; a failing device call's result.
HRESULT check_texture_requirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* mip_levels,
                                   DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE resource_type);
