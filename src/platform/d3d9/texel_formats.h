// Pixel formats the software device can store and sample: their sizes, the
// pitch of a level, and the reading of a level into 8-bit ARGB texels.
#pragma once

#include <cstdint>
#include <span>

#include "platform/d3d9/d3d9types.h"

struct TexelFormat {
    D3DFORMAT format;
    UINT unit_bytes;       // bytes per pixel, or per 4 x 4 block when compressed
    bool block_compressed; // DXT1 to DXT5
};

// The formats the default device offers for textures, in a fixed order.
std::span<const D3DFORMAT> d3d9_default_texture_formats();

// Size facts of a format the device can hold in a texture level (every
// default texture format and D3DFMT_R8G8B8), or false.
bool texel_format(D3DFORMAT format, TexelFormat* out);

// Byte distance between rows (rows of 4 x 4 blocks when compressed) of a
// level `width` pixels wide: the packed row rounded up to a multiple of 4
// bytes, plus `padding`.
UINT texel_row_pitch(const TexelFormat& format, UINT width, UINT padding);

// Number of pixel rows (or block rows) a level `height` pixels high stores.
UINT texel_row_count(const TexelFormat& format, UINT height);

// Reads a whole level into width x height texels 0xAARRGGBB, rows top
// first. Channels a format lacks read as the platform's fixed-function
// pipeline reads them: alpha 1; blue (and green) 1 for the two-channel and
// one-channel 16-bit and float formats; red, green and blue 0 for A8.
// Float and 16-bit channels are limited to 0..1 and rounded to 8 bits.
// False for a format texel_format does not know.
bool read_level_argb8(D3DFORMAT format, const uint8_t* bits, UINT pitch, UINT width, UINT height, uint32_t* out);

// A half-precision float as a float (exposed for tests).
float half_to_float(uint16_t half);
