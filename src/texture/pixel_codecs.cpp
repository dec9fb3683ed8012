// The pixel format table and its row converters: bit-field formats (colour,
// luminance, signed, depth), palettes, floating point and the packed pixel
// pairs. The block-compressed formats are in dxt_codecs.cpp.
//
// Decoding an unsigned n-bit field k gives k * (1 / (2^n - 1)) in single
// precision; a signed n-bit field k gives k / (2^(n-1) - 1), at least -1.
// Encoding gives trunc(v * (2^n - 1) + d) limited to the field's range, for
// signed fields floor(v * (2^(n-1) - 1) + d) limited to -(2^(n-1) - 1) ..
// 2^(n-1) - 1; bits no field covers are written 0. A channel the format lacks
// decodes as the device samples it: 1, except red, green and blue of A8 (0).
#include "texture/pixel_codecs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "texture/decoders/decoded_image.h"
#include "texture/float4.h"

namespace {

// The float nearest 1 / (2^bits - 1), the scale of an unsigned field.
float unit_scale(unsigned bits) { return static_cast<float>(1.0 / double((uint64_t(1) << bits) - 1)); }

// Clamps x to lo..hi; NaN becomes lo.
float limit(float x, float lo, float hi)
{
    x = x > lo ? x : lo;
    return x < hi ? x : hi;
}

// Rec. 709 luma of linear red, green and blue, for the luminance formats.
float luma(const float* rgb) { return 0.2126f * rgb[0] + 0.7152f * rgb[1] + 0.0722f * rgb[2]; }

template <unsigned Bytes>
uint64_t load_pixel(const BYTE* p)
{
    uint64_t value = 0;
    std::memcpy(&value, p, Bytes); // little-endian, like the formats
    return value;
}

template <unsigned Bytes>
void store_pixel(BYTE* p, uint64_t value)
{
    std::memcpy(p, &value, Bytes);
}

// ---------------------------------------------------------------------------
// Bit-field formats

// One channel's decoding, prepared once per call: value = max(lower,
// sext(field) * scale + offset); an absent channel has mask 0, so it is
// `offset` (its missing value).
struct FieldDecode {
    unsigned shift;
    uint64_t mask;
    int64_t sign; // the field's sign bit when signed, else 0
    float scale;
    float offset;
    float lower;
};

void prepare_decode(const PixelCodec& codec, FieldDecode out[4])
{
    for (int c = 0; c < 4; ++c) {
        const PixelField field = codec.fields[c];
        FieldDecode& d = out[c];
        d.shift = field.shift;
        d.mask = field.bits ? (uint64_t(1) << field.bits) - 1 : 0;
        const bool is_signed = (codec.signed_mask >> c) & 1;
        d.sign = is_signed ? int64_t(1) << (field.bits - 1) : 0;
        d.scale = field.bits == 0 ? 0.0f : is_signed ? unit_scale(field.bits - 1) : unit_scale(field.bits);
        d.offset = field.bits ? 0.0f : codec.missing[c];
        d.lower = is_signed ? -1.0f : -INFINITY;
    }
}

float decode_field(const FieldDecode& d, uint64_t pixel)
{
    const int64_t k = int64_t((pixel >> d.shift) & d.mask);
    const int64_t value = (k ^ d.sign) - d.sign; // sign extension
    const float f = static_cast<float>(value) * d.scale + d.offset;
    return f > d.lower ? f : d.lower;
}

template <unsigned Bytes, bool Grey>
void decode_fields(const PixelCodec& codec, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows,
                   float* out)
{
    FieldDecode ch[4];
    prepare_decode(codec, ch);
    for (UINT r = 0; r < rows; ++r) {
        const BYTE* p = source.bits + size_t(y0 + r) * source.pitch + size_t(x0) * Bytes;
        for (UINT x = 0; x < width; ++x, p += Bytes, out += 4) {
            const uint64_t pixel = load_pixel<Bytes>(p);
            out[0] = decode_field(ch[0], pixel);
            out[1] = Grey ? out[0] : decode_field(ch[1], pixel);
            out[2] = Grey ? out[0] : decode_field(ch[2], pixel);
            out[3] = decode_field(ch[3], pixel);
        }
    }
}

// One channel's encoding: x = v * scale + d limited to lower..upper; for an
// unsigned field trunc(x), for a signed one floor(x), taken as trunc(x +
// bias) - bias with a bias that makes the limited x positive.
struct FieldEncode {
    unsigned shift;
    uint64_t mask;
    float scale;
    float lower;
    float upper;
    float bias;
};

void prepare_encode(const PixelCodec& codec, FieldEncode out[4])
{
    for (int c = 0; c < 4; ++c) {
        const PixelField field = codec.fields[c];
        FieldEncode& e = out[c];
        e.shift = field.shift;
        e.mask = field.bits ? (uint64_t(1) << field.bits) - 1 : 0;
        if (field.bits == 0) {
            e.scale = e.lower = e.upper = e.bias = 0.0f;
        } else if ((codec.signed_mask >> c) & 1) {
            const float top = static_cast<float>((uint64_t(1) << (field.bits - 1)) - 1);
            e.scale = top;
            e.lower = -top;
            e.upper = top;
            e.bias = top + 1.0f;
        } else {
            const float top = static_cast<float>((uint64_t(1) << field.bits) - 1);
            e.scale = top;
            e.lower = 0.0f;
            e.upper = top;
            e.bias = 0.0f;
        }
    }
}

uint64_t encode_field(const FieldEncode& e, float v, float d)
{
    const float x = limit(v * e.scale + d, e.lower, e.upper);
    const int64_t k = static_cast<int64_t>(x + e.bias) - static_cast<int64_t>(e.bias);
    return (uint64_t(k) & e.mask) << e.shift;
}

template <unsigned Bytes, FieldMeaning Meaning>
void encode_fields(const PixelCodec& codec, const float* in, UINT width, UINT rows, BYTE* dest, size_t pitch, UINT y0,
                   const float* dither)
{
    FieldEncode ch[4];
    prepare_encode(codec, ch);
    for (UINT r = 0; r < rows; ++r) {
        const float* d = dither + ((y0 + r) & 3) * 4;
        BYTE* p = dest + size_t(r) * pitch;
        for (UINT x = 0; x < width; ++x, p += Bytes, in += 4) {
            const float offset = d[x & 3];
            const float first = Meaning == FieldMeaning::Luminance ? luma(in) : in[0];
            uint64_t pixel = encode_field(ch[0], first, offset);
            if (Meaning == FieldMeaning::Colour) {
                pixel |= encode_field(ch[1], in[1], offset) | encode_field(ch[2], in[2], offset);
            }
            pixel |= encode_field(ch[3], in[3], offset);
            store_pixel<Bytes>(p, pixel);
        }
    }
}

// The 8-bit colour layouts the loader meets most, without the general field
// arithmetic; the results are those of decode_fields and encode_fields.
template <bool Alpha>
void decode_bgra32(const PixelCodec&, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows, float* out)
{
    const float scale = unit_scale(8);
    for (UINT r = 0; r < rows; ++r) {
        const BYTE* p = source.bits + size_t(y0 + r) * source.pitch + size_t(x0) * 4;
        for (UINT x = 0; x < width; ++x, p += 4, out += 4) {
            out[0] = static_cast<float>(p[2]) * scale;
            out[1] = static_cast<float>(p[1]) * scale;
            out[2] = static_cast<float>(p[0]) * scale;
            out[3] = Alpha ? static_cast<float>(p[3]) * scale : 1.0f;
        }
    }
}

void decode_bgr24(const PixelCodec&, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows, float* out)
{
    const float scale = unit_scale(8);
    for (UINT r = 0; r < rows; ++r) {
        const BYTE* p = source.bits + size_t(y0 + r) * source.pitch + size_t(x0) * 3;
        for (UINT x = 0; x < width; ++x, p += 3, out += 4) {
            out[0] = static_cast<float>(p[2]) * scale;
            out[1] = static_cast<float>(p[1]) * scale;
            out[2] = static_cast<float>(p[0]) * scale;
            out[3] = 1.0f;
        }
    }
}

template <bool Alpha>
void encode_bgra32(const PixelCodec&, const float* in, UINT width, UINT rows, BYTE* dest, size_t pitch, UINT y0,
                   const float* dither)
{
    const float4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
    const float4 top = {255.0f, 255.0f, 255.0f, 255.0f};
    for (UINT r = 0; r < rows; ++r) {
        const float* d = dither + ((y0 + r) & 3) * 4;
        uint32_t* p = reinterpret_cast<uint32_t*>(dest + size_t(r) * pitch);
        for (UINT x = 0; x < width; ++x, in += 4) {
            float4 v = load4(in) * top + d[x & 3];
            v = v > zero ? v : zero;
            v = v < top ? v : top;
            const int4 k = __builtin_convertvector(v, int4);
            uint32_t pixel = uint32_t(k[2]) | uint32_t(k[1]) << 8 | uint32_t(k[0]) << 16;
            if (Alpha) {
                pixel |= uint32_t(k[3]) << 24;
            }
            std::memcpy(p + x, &pixel, 4);
        }
    }
}

// ---------------------------------------------------------------------------
// Palettes: one byte index (P8), or an index byte then an alpha byte (A8P8).

template <bool Alpha>
void decode_palette_index(const PixelCodec&, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows,
                          float* out)
{
    const float scale = unit_scale(8);
    constexpr unsigned step = Alpha ? 2 : 1;
    for (UINT r = 0; r < rows; ++r) {
        const BYTE* p = source.bits + size_t(y0 + r) * source.pitch + size_t(x0) * step;
        for (UINT x = 0; x < width; ++x, p += step, out += 4) {
            store4(out, load4(source.palette + size_t(p[0]) * 4));
            if (Alpha) {
                out[3] = static_cast<float>(p[1]) * scale;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Floating point: Channels values of 16-bit (half) or 32-bit floats in the
// order red, green, blue, alpha. A depth format holds one float, read as
// grey and written from red.

float half_to_single(uint16_t half)
{
    const uint32_t sign = uint32_t(half & 0x8000) << 16;
    const uint32_t exponent = (half >> 10) & 31;
    const uint32_t mantissa = half & 1023;
    uint32_t bits;
    if (exponent == 31) {
        bits = sign | 0x7F800000u | (mantissa << 13);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else {
        // Zero or subnormal: exact in single precision.
        const float value = static_cast<float>(mantissa) * (1.0f / 16777216.0f);
        std::memcpy(&bits, &value, 4);
        bits |= sign;
    }
    float out;
    std::memcpy(&out, &bits, 4);
    return out;
}

// Rounds to the nearest half, ties to even; too large values become infinity.
uint16_t single_to_half(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    const uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000);
    const uint32_t magnitude = bits & 0x7FFFFFFFu;
    if (magnitude >= 0x7F800000u) { // infinity or NaN
        return sign | 0x7C00 | (magnitude > 0x7F800000u ? 0x200 : 0);
    }
    if (magnitude >= 0x477FF000u) { // rounds beyond the largest half
        return sign | 0x7C00;
    }
    if (magnitude < 0x38800000u) { // below the smallest normal half
        float absolute;
        std::memcpy(&absolute, &magnitude, 4);
        return sign | static_cast<uint16_t>(std::nearbyint(absolute * 16777216.0f));
    }
    const uint32_t rebased = magnitude - (112u << 23);
    const uint32_t rounded = rebased + 0xFFF + ((rebased >> 13) & 1);
    return sign | static_cast<uint16_t>(rounded >> 13);
}

template <class Stored>
float read_float(const BYTE* p)
{
    Stored value;
    std::memcpy(&value, p, sizeof value);
    if constexpr (sizeof(Stored) == 2) {
        return half_to_single(value);
    } else {
        return value;
    }
}

template <class Stored>
void write_float(BYTE* p, float value)
{
    if constexpr (sizeof(Stored) == 2) {
        const uint16_t half = single_to_half(value);
        std::memcpy(p, &half, 2);
    } else {
        std::memcpy(p, &value, 4);
    }
}

template <class Stored, unsigned Channels, bool Grey>
void decode_floats(const PixelCodec& codec, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows,
                   float* out)
{
    constexpr unsigned bytes = sizeof(Stored) * Channels;
    for (UINT r = 0; r < rows; ++r) {
        const BYTE* p = source.bits + size_t(y0 + r) * source.pitch + size_t(x0) * bytes;
        for (UINT x = 0; x < width; ++x, p += bytes, out += 4) {
            for (unsigned c = 0; c < 4; ++c) {
                out[c] = c < Channels ? read_float<Stored>(p + c * sizeof(Stored)) : codec.missing[c];
            }
            if (Grey) {
                out[1] = out[2] = out[0];
            }
        }
    }
}

template <class Stored, unsigned Channels>
void encode_floats(const PixelCodec&, const float* in, UINT width, UINT rows, BYTE* dest, size_t pitch, UINT,
                   const float*)
{
    constexpr unsigned bytes = sizeof(Stored) * Channels;
    for (UINT r = 0; r < rows; ++r) {
        BYTE* p = dest + size_t(r) * pitch;
        for (UINT x = 0; x < width; ++x, p += bytes, in += 4) {
            for (unsigned c = 0; c < Channels; ++c) {
                write_float<Stored>(p + c * sizeof(Stored), in[c]);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// CxV8U8: U and V as signed bytes; the third component is sqrt(1 - U^2 - V^2).

void decode_cxv8u8(const PixelCodec& codec, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows,
                   float* out)
{
    decode_fields<2, false>(codec, source, x0, y0, width, rows, out);
    for (size_t i = 0; i < size_t(width) * rows; ++i, out += 4) {
        out[2] = std::sqrt(std::max(0.0f, 1.0f - out[0] * out[0] - out[1] * out[1]));
    }
}

// ---------------------------------------------------------------------------
// Pixel pairs: four bytes hold two pixels that share some channels. YUV
// pairs (UYVY, YUY2) use the ITU-R BT.601 studio range (Y 16..235, U and V
// 16..240); the RGB pairs share red and blue and keep a green for each pixel.

struct PairLayout {
    unsigned first, second, shared_a, shared_b; // byte offsets: Y0/G0, Y1/G1, U/R, V/B
};

constexpr PairLayout kUyvy = {1, 3, 0, 2};
constexpr PairLayout kYuy2 = {0, 2, 1, 3};
constexpr PairLayout kRgbg = {1, 3, 0, 2}; // R8G8_B8G8: R, G0, B, G1
constexpr PairLayout kGrgb = {0, 2, 1, 3}; // G8R8_G8B8: G0, R, G1, B

void yuv_to_rgb(float y, float u, float v, float* out)
{
    const float luma_part = 1.164383f * (y - 16.0f);
    const float cb = u - 128.0f, cr = v - 128.0f;
    const float scale = unit_scale(8);
    out[0] = (luma_part + 1.596027f * cr) * scale;
    out[1] = (luma_part - 0.391762f * cb - 0.812968f * cr) * scale;
    out[2] = (luma_part + 2.017232f * cb) * scale;
    out[3] = 1.0f;
}

template <const PairLayout& L, bool Yuv>
void decode_pairs(const PixelCodec&, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows, float* out)
{
    const float scale = unit_scale(8);
    for (UINT r = 0; r < rows; ++r) {
        const BYTE* row = source.bits + size_t(y0 + r) * source.pitch;
        for (UINT x = x0; x < x0 + width; ++x, out += 4) {
            const BYTE* pair = row + size_t(x / 2) * 4;
            const float own = pair[(x & 1) ? L.second : L.first];
            if (Yuv) {
                yuv_to_rgb(own, pair[L.shared_a], pair[L.shared_b], out);
            } else {
                out[0] = pair[L.shared_a] * scale;
                out[1] = own * scale;
                out[2] = pair[L.shared_b] * scale;
                out[3] = 1.0f;
            }
        }
    }
}

BYTE quantise8(float v, float d) { return static_cast<BYTE>(limit(v * 255.0f + d, 0.0f, 255.0f)); }

// Studio-range luma, Cb and Cr of linear red, green, blue in 0..1, in 8-bit units.
void rgb_to_yuv(const float* rgb, float* yuv)
{
    yuv[0] = 16.0f + 65.481f * rgb[0] + 128.553f * rgb[1] + 24.966f * rgb[2];
    yuv[1] = 128.0f - 37.797f * rgb[0] - 74.203f * rgb[1] + 112.0f * rgb[2];
    yuv[2] = 128.0f + 112.0f * rgb[0] - 93.786f * rgb[1] - 18.214f * rgb[2];
}

BYTE quantise_level(float level, float d) { return static_cast<BYTE>(limit(level + d, 0.0f, 255.0f)); }

template <const PairLayout& L, bool Yuv>
void encode_pairs(const PixelCodec&, const float* in, UINT width, UINT rows, BYTE* dest, size_t pitch, UINT y0,
                  const float* dither)
{
    for (UINT r = 0; r < rows; ++r) {
        const float* d = dither + ((y0 + r) & 3) * 4;
        BYTE* pair = dest + size_t(r) * pitch;
        const float* row = in + size_t(r) * width * 4;
        for (UINT x = 0; x < width; x += 2, pair += 4) {
            const float* a = row + size_t(x) * 4;
            const float* b = x + 1 < width ? a + 4 : a; // an odd last pixel pairs with itself
            const float da = d[x & 3], db = d[(x + 1) & 3];
            if (Yuv) {
                float ya[3], yb[3];
                rgb_to_yuv(a, ya);
                rgb_to_yuv(b, yb);
                pair[L.first] = quantise_level(ya[0], da);
                pair[L.second] = quantise_level(yb[0], db);
                pair[L.shared_a] = quantise_level(0.5f * (ya[1] + yb[1]), da);
                pair[L.shared_b] = quantise_level(0.5f * (ya[2] + yb[2]), da);
            } else {
                pair[L.first] = quantise8(a[1], da);
                pair[L.second] = quantise8(b[1], db);
                pair[L.shared_a] = quantise8(0.5f * (a[0] + b[0]), da);
                pair[L.shared_b] = quantise8(0.5f * (a[2] + b[2]), da);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// The table

constexpr PixelField F(uint8_t shift, uint8_t bits) { return PixelField{shift, bits}; }
constexpr PixelField kNone = {0, 0};

struct Row {
    D3DFORMAT format;
    UINT bytes;
    PixelField r, g, b, a;
    uint8_t signed_mask;
    FieldMeaning meaning;
    float missing_rgb;
    DecodeRect decode;
    EncodeRows encode;
};

constexpr uint8_t S_R = 1, S_G = 2, S_B = 4, S_A = 8;
constexpr FieldMeaning COL = FieldMeaning::Colour;
constexpr FieldMeaning LUM = FieldMeaning::Luminance;
constexpr FieldMeaning DEP = FieldMeaning::Depth;

template <unsigned Bytes, FieldMeaning M>
constexpr DecodeRect field_decoder()
{
    return decode_fields<Bytes, M != FieldMeaning::Colour>;
}
template <unsigned Bytes, FieldMeaning M>
constexpr EncodeRows field_encoder()
{
    return encode_fields<Bytes, M>;
}

#define FIELDS(bytes, meaning) field_decoder<bytes, meaning>(), field_encoder<bytes, meaning>()

const Row kRows[] = {
    // Colour
    {D3DFMT_R8G8B8, 3, F(16, 8), F(8, 8), F(0, 8), kNone, 0, COL, 1, decode_bgr24, field_encoder<3, COL>()},
    {D3DFMT_A8R8G8B8, 4, F(16, 8), F(8, 8), F(0, 8), F(24, 8), 0, COL, 1, decode_bgra32<true>, encode_bgra32<true>},
    {D3DFMT_X8R8G8B8, 4, F(16, 8), F(8, 8), F(0, 8), kNone, 0, COL, 1, decode_bgra32<false>, encode_bgra32<false>},
    {D3DFMT_R5G6B5, 2, F(11, 5), F(5, 6), F(0, 5), kNone, 0, COL, 1, FIELDS(2, COL)},
    {D3DFMT_X1R5G5B5, 2, F(10, 5), F(5, 5), F(0, 5), kNone, 0, COL, 1, FIELDS(2, COL)},
    {D3DFMT_A1R5G5B5, 2, F(10, 5), F(5, 5), F(0, 5), F(15, 1), 0, COL, 1, FIELDS(2, COL)},
    {D3DFMT_A4R4G4B4, 2, F(8, 4), F(4, 4), F(0, 4), F(12, 4), 0, COL, 1, FIELDS(2, COL)},
    {D3DFMT_R3G3B2, 1, F(5, 3), F(2, 3), F(0, 2), kNone, 0, COL, 1, FIELDS(1, COL)},
    {D3DFMT_A8, 1, kNone, kNone, kNone, F(0, 8), 0, COL, 0, FIELDS(1, COL)},
    {D3DFMT_A8R3G3B2, 2, F(5, 3), F(2, 3), F(0, 2), F(8, 8), 0, COL, 1, FIELDS(2, COL)},
    {D3DFMT_X4R4G4B4, 2, F(8, 4), F(4, 4), F(0, 4), kNone, 0, COL, 1, FIELDS(2, COL)},
    {D3DFMT_A2B10G10R10, 4, F(0, 10), F(10, 10), F(20, 10), F(30, 2), 0, COL, 1, FIELDS(4, COL)},
    {D3DFMT_A8B8G8R8, 4, F(0, 8), F(8, 8), F(16, 8), F(24, 8), 0, COL, 1, FIELDS(4, COL)},
    {D3DFMT_X8B8G8R8, 4, F(0, 8), F(8, 8), F(16, 8), kNone, 0, COL, 1, FIELDS(4, COL)},
    {D3DFMT_G16R16, 4, F(0, 16), F(16, 16), kNone, kNone, 0, COL, 1, FIELDS(4, COL)},
    {D3DFMT_A2R10G10B10, 4, F(20, 10), F(10, 10), F(0, 10), F(30, 2), 0, COL, 1, FIELDS(4, COL)},
    {D3DFMT_A16B16G16R16, 8, F(0, 16), F(16, 16), F(32, 16), F(48, 16), 0, COL, 1, FIELDS(8, COL)},
    // Palettes (read only: a level has no palette to write into)
    {D3DFMT_A8P8, 2, kNone, kNone, kNone, kNone, 0, COL, 1, decode_palette_index<true>, nullptr},
    {D3DFMT_P8, 1, kNone, kNone, kNone, kNone, 0, COL, 1, decode_palette_index<false>, nullptr},
    // Luminance
    {D3DFMT_L8, 1, F(0, 8), kNone, kNone, kNone, 0, LUM, 1, FIELDS(1, LUM)},
    {D3DFMT_A8L8, 2, F(0, 8), kNone, kNone, F(8, 8), 0, LUM, 1, FIELDS(2, LUM)},
    {D3DFMT_A4L4, 1, F(0, 4), kNone, kNone, F(4, 4), 0, LUM, 1, FIELDS(1, LUM)},
    {D3DFMT_L16, 2, F(0, 16), kNone, kNone, kNone, 0, LUM, 1, FIELDS(2, LUM)},
    // Signed: U in red, V in green, W or an unsigned L in blue, Q or A in alpha
    {D3DFMT_V8U8, 2, F(0, 8), F(8, 8), kNone, kNone, S_R | S_G, COL, 1, FIELDS(2, COL)},
    {D3DFMT_L6V5U5, 2, F(0, 5), F(5, 5), F(10, 6), kNone, S_R | S_G, COL, 1, FIELDS(2, COL)},
    {D3DFMT_X8L8V8U8, 4, F(0, 8), F(8, 8), F(16, 8), kNone, S_R | S_G, COL, 1, FIELDS(4, COL)},
    {D3DFMT_Q8W8V8U8, 4, F(0, 8), F(8, 8), F(16, 8), F(24, 8), S_R | S_G | S_B | S_A, COL, 1, FIELDS(4, COL)},
    {D3DFMT_V16U16, 4, F(0, 16), F(16, 16), kNone, kNone, S_R | S_G, COL, 1, FIELDS(4, COL)},
    {D3DFMT_A2W10V10U10, 4, F(0, 10), F(10, 10), F(20, 10), F(30, 2), S_R | S_G | S_B, COL, 1, FIELDS(4, COL)},
    {D3DFMT_Q16W16V16U16, 8, F(0, 16), F(16, 16), F(32, 16), F(48, 16), S_R | S_G | S_B | S_A, COL, 1, FIELDS(8, COL)},
    {D3DFMT_CxV8U8, 2, F(0, 8), F(8, 8), kNone, kNone, S_R | S_G, COL, 1, decode_cxv8u8, field_encoder<2, COL>()},
    // Pixel pairs (4 bytes per pair) and 4 x 4 blocks (bytes per block)
    {D3DFMT_UYVY, 4, kNone, kNone, kNone, kNone, 0, COL, 1, decode_pairs<kUyvy, true>, encode_pairs<kUyvy, true>},
    {D3DFMT_R8G8_B8G8, 4, kNone, kNone, kNone, kNone, 0, COL, 1, decode_pairs<kRgbg, false>,
     encode_pairs<kRgbg, false>},
    {D3DFMT_YUY2, 4, kNone, kNone, kNone, kNone, 0, COL, 1, decode_pairs<kYuy2, true>, encode_pairs<kYuy2, true>},
    {D3DFMT_G8R8_G8B8, 4, kNone, kNone, kNone, kNone, 0, COL, 1, decode_pairs<kGrgb, false>,
     encode_pairs<kGrgb, false>},
    {D3DFMT_DXT1, 8, kNone, kNone, kNone, kNone, 0, COL, 1, decode_dxt, encode_dxt},
    {D3DFMT_DXT2, 16, kNone, kNone, kNone, kNone, 0, COL, 1, decode_dxt, encode_dxt},
    {D3DFMT_DXT3, 16, kNone, kNone, kNone, kNone, 0, COL, 1, decode_dxt, encode_dxt},
    {D3DFMT_DXT4, 16, kNone, kNone, kNone, kNone, 0, COL, 1, decode_dxt, encode_dxt},
    {D3DFMT_DXT5, 16, kNone, kNone, kNone, kNone, 0, COL, 1, decode_dxt, encode_dxt},
    // Lockable depth
    {D3DFMT_D16_LOCKABLE, 2, F(0, 16), kNone, kNone, kNone, 0, DEP, 1, FIELDS(2, DEP)},
    {D3DFMT_D32F_LOCKABLE, 4, kNone, kNone, kNone, kNone, 0, DEP, 1, decode_floats<float, 1, true>,
     encode_floats<float, 1>},
    // Floating point
    {D3DFMT_R16F, 2, kNone, kNone, kNone, kNone, 0, COL, 1, decode_floats<uint16_t, 1, false>,
     encode_floats<uint16_t, 1>},
    {D3DFMT_G16R16F, 4, kNone, kNone, kNone, kNone, 0, COL, 1, decode_floats<uint16_t, 2, false>,
     encode_floats<uint16_t, 2>},
    {D3DFMT_A16B16G16R16F, 8, kNone, kNone, kNone, kNone, 0, COL, 1, decode_floats<uint16_t, 4, false>,
     encode_floats<uint16_t, 4>},
    {D3DFMT_R32F, 4, kNone, kNone, kNone, kNone, 0, COL, 1, decode_floats<float, 1, false>, encode_floats<float, 1>},
    {D3DFMT_G32R32F, 8, kNone, kNone, kNone, kNone, 0, COL, 1, decode_floats<float, 2, false>, encode_floats<float, 2>},
    {D3DFMT_A32B32G32R32F, 16, kNone, kNone, kNone, kNone, 0, COL, 1, decode_floats<float, 4, false>,
     encode_floats<float, 4>},
    // The loader's own: 16-bit luminance and alpha; blue, green, red of 16 bits each
    {LOADER_FMT_AL16, 4, F(0, 16), kNone, kNone, F(16, 16), 0, LUM, 1, FIELDS(4, LUM)},
    {LOADER_FMT_R16, 6, F(32, 16), F(16, 16), F(0, 16), kNone, 0, COL, 1, FIELDS(6, COL)},
};

#undef FIELDS

bool is_block_format(D3DFORMAT format)
{
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
        format == D3DFMT_DXT5;
}

bool is_pair_format(D3DFORMAT format)
{
    return format == D3DFMT_UYVY || format == D3DFMT_YUY2 || format == D3DFMT_R8G8_B8G8 || format == D3DFMT_G8R8_G8B8;
}

bool is_float_format(D3DFORMAT format)
{
    return format == D3DFMT_R16F || format == D3DFMT_G16R16F || format == D3DFMT_A16B16G16R16F ||
        format == D3DFMT_R32F || format == D3DFMT_G32R32F || format == D3DFMT_A32B32G32R32F ||
        format == D3DFMT_D32F_LOCKABLE;
}

struct CodecTable {
    std::array<PixelCodec, std::size(kRows)> codecs;

    CodecTable()
    {
        for (size_t i = 0; i < std::size(kRows); ++i) {
            const Row& row = kRows[i];
            PixelCodec& codec = codecs[i];
            codec.format = row.format;
            codec.unit_bytes = row.bytes;
            codec.unit_width = is_block_format(row.format) ? 4 : is_pair_format(row.format) ? 2 : 1;
            codec.unit_height = is_block_format(row.format) ? 4 : 1;
            codec.signed_range = row.signed_mask != 0;
            codec.fields[0] = row.r;
            codec.fields[1] = row.g;
            codec.fields[2] = row.b;
            codec.fields[3] = row.a;
            codec.signed_mask = row.signed_mask;
            codec.meaning = row.meaning;
            codec.missing[0] = codec.missing[1] = codec.missing[2] = row.missing_rgb;
            codec.missing[3] = 1.0f;
            codec.decode = row.decode;
            codec.encode = row.encode;
        }
    }
};

const CodecTable& codec_table()
{
    static const CodecTable table;
    return table;
}

} // namespace

const float kOrderedDither[16] = {
    31 / 32.0f, 15 / 32.0f, 27 / 32.0f, 11 / 32.0f, //
    7 / 32.0f,  23 / 32.0f, 3 / 32.0f,  19 / 32.0f, //
    25 / 32.0f, 9 / 32.0f,  29 / 32.0f, 13 / 32.0f, //
    1 / 32.0f,  17 / 32.0f, 5 / 32.0f,  21 / 32.0f,
};

const float kPlainRounding[16] = {
    0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
};

const PixelCodec* find_pixel_codec(D3DFORMAT format)
{
    for (const PixelCodec& codec : codec_table().codecs) {
        if (codec.format == format) {
            return &codec;
        }
    }
    return nullptr;
}

size_t codec_row_bytes(const PixelCodec& codec, UINT width)
{
    const size_t units = (size_t(width) + codec.unit_width - 1) / codec.unit_width;
    return units * codec.unit_bytes;
}

UINT codec_row_count(const PixelCodec& codec, UINT height)
{
    return (height + codec.unit_height - 1) / codec.unit_height;
}

int codec_channel_bits(const PixelCodec& codec, int channel)
{
    if (codec.decode == nullptr || codec.unit_width != 1 || is_float_format(codec.format) || codec.encode == nullptr) {
        return 0;
    }
    // Luminance and depth keep one field for red, green and blue.
    const int field = codec.meaning != FieldMeaning::Colour && channel < 3 ? 0 : channel;
    const int bits = codec.fields[field].bits;
    return ((codec.signed_mask >> field) & 1) ? -bits : bits;
}

void decode_palette(const BYTE* palette, float* out)
{
    const float scale = unit_scale(8);
    for (size_t i = 0; i < 1024; ++i) {
        out[i] = static_cast<float>(palette[i]) * scale;
    }
}
