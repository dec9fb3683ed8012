// Pixel codecs: one table row per pixel format, with the converters that
// turn rectangles of pixels of that format into four floats per pixel (red,
// green, blue, alpha) and rows of such floats back into pixels. Callers pick
// a codec once per level and call its converters on whole rows or blocks of
// rows; no converter looks at the format per pixel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"

struct PixelCodec;

// Pixels to decode: the first byte of the image's top row (top block row for
// compressed formats) and the distance between rows. Palette formats also
// need the palette as 256 entries of four floats (see decode_palette).
struct PixelSource {
    const BYTE* bits;
    size_t pitch;
    const float* palette;
};

// Decodes `rows` x `width` pixels starting at column x0 of row y0 into
// rows * width * 4 floats, rows one after another.
using DecodeRect = void (*)(const PixelCodec& codec, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows,
                            float* out);

// Encodes `rows` rows of `width` pixels (4 floats each, rows one after
// another) into `dest`, whose first row is destination row y0. `dither`
// holds the 16 offsets d of the 4 x 4 matrix, row-major by (y mod 4, x mod
// 4); every entry is 0.5 when no dither is wanted. Compressed formats take
// one block row (up to 4 rows, y0 a multiple of 4) per call.
using EncodeRows = void (*)(const PixelCodec& codec, const float* in, UINT width, UINT rows, BYTE* dest, size_t pitch,
                            UINT y0, const float* dither);

// One bit field of a pixel: its lowest bit and its width (0: absent).
struct PixelField {
    uint8_t shift;
    uint8_t bits;
};

enum class FieldMeaning : uint8_t {
    Colour,    // fields are red, green, blue, alpha
    Luminance, // field 0 is luminance for red, green and blue
    Depth,     // field 0 is depth: decoded as grey, encoded from red
};

struct PixelCodec {
    D3DFORMAT format;
    UINT unit_bytes;   // bytes per pixel, per pixel pair (unit_width 2) or per 4 x 4 block
    UINT unit_width;   // pixels across one unit: 1, 2 or 4
    UINT unit_height;  // rows of one unit: 1, or 4 for compressed formats
    bool signed_range; // finished channels are limited to -1..1 instead of 0..1
    // Bit-field formats: the fields of red, green, blue and alpha (signed
    // where signed_mask has bit 1 << channel), how to read them, and the value
    // of a channel the format lacks.
    PixelField fields[4];
    uint8_t signed_mask;
    FieldMeaning meaning;
    float missing[4];
    DecodeRect decode;
    EncodeRows encode; // null: the format can be read but not written (palettes)
};

// The codec of `format`, or null when the format has none (the depth and
// stencil formats that cannot be locked, and unknown codes).
const PixelCodec* find_pixel_codec(D3DFORMAT format);

// Bytes of one stored row of `width` pixels without padding (one block row
// for compressed formats).
size_t codec_row_bytes(const PixelCodec& codec, UINT width);

// Stored rows of a level `height` pixels high (block rows when compressed).
UINT codec_row_count(const PixelCodec& codec, UINT height);

// The bits of an evenly quantised channel (0..3: red, green, blue, alpha),
// negative when signed, 0 when the channel is not stored as an integer
// field (absent, floating point, compressed, or shared between pixels).
int codec_channel_bits(const PixelCodec& codec, int channel);

// A palette of 256 red, green, blue, alpha bytes as 1024 floats.
void decode_palette(const BYTE* palette, float* out);

// The dither offsets of the 4 x 4 ordered-dither matrix (in 32nds) and the
// plain rounding offsets, in the layout EncodeRows expects.
extern const float kOrderedDither[16];
extern const float kPlainRounding[16];

// Block codecs (DXT1 to DXT5) live in their own file.
void decode_dxt(const PixelCodec& codec, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows,
                float* out);
void encode_dxt(const PixelCodec& codec, const float* in, UINT width, UINT rows, BYTE* dest, size_t pitch, UINT y0,
                const float* dither);
