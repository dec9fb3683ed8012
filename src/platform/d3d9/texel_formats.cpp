// Level layouts and the per-format readers behind the sampler's texel cache.
#include "platform/d3d9/texel_formats.h"

#include <array>
#include <cmath>
#include <cstring>

namespace {

constexpr std::array<D3DFORMAT, 31> kDefaultTextureFormats = {
    D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,      D3DFMT_R5G6B5,        D3DFMT_X1R5G5B5,
    D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,      D3DFMT_R3G3B2,        D3DFMT_A8,
    D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4,      D3DFMT_A2B10G10R10,   D3DFMT_A8B8G8R8,
    D3DFMT_X8B8G8R8, D3DFMT_G16R16,        D3DFMT_A2R10G10B10,   D3DFMT_A16B16G16R16,
    D3DFMT_L8,       D3DFMT_A8L8,          D3DFMT_A4L4,          D3DFMT_L16,
    D3DFMT_R16F,     D3DFMT_G16R16F,       D3DFMT_A16B16G16R16F, D3DFMT_R32F,
    D3DFMT_G32R32F,  D3DFMT_A32B32G32R32F, D3DFMT_DXT1,          D3DFMT_DXT2,
    D3DFMT_DXT3,     D3DFMT_DXT4,          D3DFMT_DXT5,
};

uint32_t pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// An unsigned n-bit channel value scaled to 8 bits, rounded to nearest.
uint32_t widen(uint32_t value, uint32_t bits)
{
    const uint32_t top = (1u << bits) - 1;
    return (value * 255 + top / 2) / top;
}

uint32_t unit_to_8(float value)
{
    if (!(value > 0.0f)) {
        return 0; // also NaN
    }
    if (value >= 1.0f) {
        return 255;
    }
    return static_cast<uint32_t>(value * 255.0f + 0.5f);
}

template <class T>
T load(const uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint32_t read_pixel(D3DFORMAT format, const uint8_t* p)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
        return load<uint32_t>(p);
    case D3DFMT_X8R8G8B8:
        return load<uint32_t>(p) | 0xFF000000u;
    case D3DFMT_R8G8B8:
        return pack(255, p[2], p[1], p[0]);
    case D3DFMT_R5G6B5: {
        const uint32_t v = load<uint16_t>(p);
        return pack(255, widen(v >> 11, 5), widen((v >> 5) & 63, 6), widen(v & 31, 5));
    }
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
        const uint32_t v = load<uint16_t>(p);
        const uint32_t a = format == D3DFMT_A1R5G5B5 ? (v >> 15) * 255 : 255;
        return pack(a, widen((v >> 10) & 31, 5), widen((v >> 5) & 31, 5), widen(v & 31, 5));
    }
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: {
        const uint32_t v = load<uint16_t>(p);
        const uint32_t a = format == D3DFMT_A4R4G4B4 ? (v >> 12) * 17 : 255;
        return pack(a, ((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17);
    }
    case D3DFMT_R3G3B2: {
        const uint32_t v = p[0];
        return pack(255, widen(v >> 5, 3), widen((v >> 2) & 7, 3), widen(v & 3, 2));
    }
    case D3DFMT_A8R3G3B2: {
        const uint32_t v = load<uint16_t>(p);
        return pack(v >> 8, widen((v >> 5) & 7, 3), widen((v >> 2) & 7, 3), widen(v & 3, 2));
    }
    case D3DFMT_A8:
        return pack(p[0], 0, 0, 0);
    case D3DFMT_A2B10G10R10: {
        const uint32_t v = load<uint32_t>(p);
        return pack(widen(v >> 30, 2), widen(v & 1023, 10), widen((v >> 10) & 1023, 10), widen((v >> 20) & 1023, 10));
    }
    case D3DFMT_A2R10G10B10: {
        const uint32_t v = load<uint32_t>(p);
        return pack(widen(v >> 30, 2), widen((v >> 20) & 1023, 10), widen((v >> 10) & 1023, 10), widen(v & 1023, 10));
    }
    case D3DFMT_A8B8G8R8:
        return pack(p[3], p[0], p[1], p[2]);
    case D3DFMT_X8B8G8R8:
        return pack(255, p[0], p[1], p[2]);
    case D3DFMT_G16R16:
        return pack(255, widen(load<uint16_t>(p), 16), widen(load<uint16_t>(p + 2), 16), 255);
    case D3DFMT_A16B16G16R16:
        return pack(widen(load<uint16_t>(p + 6), 16), widen(load<uint16_t>(p), 16), widen(load<uint16_t>(p + 2), 16),
                    widen(load<uint16_t>(p + 4), 16));
    case D3DFMT_L8:
        return pack(255, p[0], p[0], p[0]);
    case D3DFMT_A8L8:
        return pack(p[1], p[0], p[0], p[0]);
    case D3DFMT_A4L4: {
        const uint32_t l = (p[0] & 15) * 17;
        return pack((p[0] >> 4) * 17, l, l, l);
    }
    case D3DFMT_L16: {
        const uint32_t l = widen(load<uint16_t>(p), 16);
        return pack(255, l, l, l);
    }
    case D3DFMT_R16F:
        return pack(255, unit_to_8(half_to_float(load<uint16_t>(p))), 255, 255);
    case D3DFMT_G16R16F:
        return pack(255, unit_to_8(half_to_float(load<uint16_t>(p))), unit_to_8(half_to_float(load<uint16_t>(p + 2))),
                    255);
    case D3DFMT_A16B16G16R16F:
        return pack(unit_to_8(half_to_float(load<uint16_t>(p + 6))), unit_to_8(half_to_float(load<uint16_t>(p))),
                    unit_to_8(half_to_float(load<uint16_t>(p + 2))), unit_to_8(half_to_float(load<uint16_t>(p + 4))));
    case D3DFMT_R32F:
        return pack(255, unit_to_8(load<float>(p)), 255, 255);
    case D3DFMT_G32R32F:
        return pack(255, unit_to_8(load<float>(p)), unit_to_8(load<float>(p + 4)), 255);
    case D3DFMT_A32B32G32R32F:
        return pack(unit_to_8(load<float>(p + 12)), unit_to_8(load<float>(p)), unit_to_8(load<float>(p + 4)),
                    unit_to_8(load<float>(p + 8)));
    default:
        return 0;
    }
}

// The four colours of a DXT colour block; DXT1 blocks with c0 <= c1 use the
// three-colour mode with transparent black.
void block_palette(uint16_t c0, uint16_t c1, bool dxt1, uint32_t colours[4])
{
    const uint32_t r0 = widen(c0 >> 11, 5), g0 = widen((c0 >> 5) & 63, 6), b0 = widen(c0 & 31, 5);
    const uint32_t r1 = widen(c1 >> 11, 5), g1 = widen((c1 >> 5) & 63, 6), b1 = widen(c1 & 31, 5);
    colours[0] = pack(255, r0, g0, b0);
    colours[1] = pack(255, r1, g1, b1);
    if (!dxt1 || c0 > c1) {
        colours[2] = pack(255, (2 * r0 + r1 + 1) / 3, (2 * g0 + g1 + 1) / 3, (2 * b0 + b1 + 1) / 3);
        colours[3] = pack(255, (r0 + 2 * r1 + 1) / 3, (g0 + 2 * g1 + 1) / 3, (b0 + 2 * b1 + 1) / 3);
    } else {
        colours[2] = pack(255, (r0 + r1 + 1) / 2, (g0 + g1 + 1) / 2, (b0 + b1 + 1) / 2);
        colours[3] = 0; // transparent black
    }
}

// One 4 x 4 block into texels[16], rows top first.
void read_block(D3DFORMAT format, const uint8_t* block, uint32_t texels[16])
{
    const bool dxt1 = format == D3DFMT_DXT1;
    const uint8_t* colour = dxt1 ? block : block + 8;
    uint32_t palette[4];
    block_palette(load<uint16_t>(colour), load<uint16_t>(colour + 2), dxt1, palette);
    const uint32_t indices = load<uint32_t>(colour + 4);
    for (int i = 0; i < 16; ++i) {
        texels[i] = palette[(indices >> (2 * i)) & 3];
    }
    if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
        const uint64_t alpha = load<uint64_t>(block);
        for (int i = 0; i < 16; ++i) {
            texels[i] = (texels[i] & 0x00FFFFFFu) | (static_cast<uint32_t>((alpha >> (4 * i)) & 15) * 17 << 24);
        }
    } else if (format == D3DFMT_DXT4 || format == D3DFMT_DXT5) {
        const uint32_t a0 = block[0], a1 = block[1];
        uint32_t alphas[8] = {a0, a1};
        if (a0 > a1) {
            for (uint32_t i = 1; i < 7; ++i) {
                alphas[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
            }
        } else {
            for (uint32_t i = 1; i < 5; ++i) {
                alphas[i + 1] = ((5 - i) * a0 + i * a1 + 2) / 5;
            }
            alphas[6] = 0;
            alphas[7] = 255;
        }
        uint64_t bits = 0;
        std::memcpy(&bits, block + 2, 6);
        for (int i = 0; i < 16; ++i) {
            texels[i] = (texels[i] & 0x00FFFFFFu) | (alphas[(bits >> (3 * i)) & 7] << 24);
        }
    }
}

} // namespace

std::span<const D3DFORMAT> d3d9_default_texture_formats() { return kDefaultTextureFormats; }

bool texel_format(D3DFORMAT format, TexelFormat* out)
{
    UINT bytes = 0;
    bool blocks = false;
    switch (format) {
    case D3DFMT_R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_L8:
    case D3DFMT_A4L4:
        bytes = 1;
        break;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8L8:
    case D3DFMT_L16:
    case D3DFMT_R16F:
        bytes = 2;
        break;
    case D3DFMT_R8G8B8:
        bytes = 3;
        break;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_G16R16:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_G16R16F:
    case D3DFMT_R32F:
        bytes = 4;
        break;
    case D3DFMT_A16B16G16R16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F:
        bytes = 8;
        break;
    case D3DFMT_A32B32G32R32F:
        bytes = 16;
        break;
    case D3DFMT_DXT1:
        bytes = 8;
        blocks = true;
        break;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        bytes = 16;
        blocks = true;
        break;
    default:
        return false;
    }
    if (out) {
        *out = TexelFormat{format, bytes, blocks};
    }
    return true;
}

UINT texel_row_pitch(const TexelFormat& format, UINT width, UINT padding)
{
    const UINT units = format.block_compressed ? (width + 3) / 4 : width;
    const UINT packed = (units == 0 ? 1 : units) * format.unit_bytes;
    return (packed + 3) / 4 * 4 + padding;
}

UINT texel_row_count(const TexelFormat& format, UINT height)
{
    const UINT rows = format.block_compressed ? (height + 3) / 4 : height;
    return rows == 0 ? 1 : rows;
}

bool read_level_argb8(D3DFORMAT format, const uint8_t* bits, UINT pitch, UINT width, UINT height, uint32_t* out)
{
    TexelFormat info;
    if (!texel_format(format, &info)) {
        return false;
    }
    if (info.block_compressed) {
        uint32_t texels[16];
        for (UINT by = 0; by < (height + 3) / 4; ++by) {
            for (UINT bx = 0; bx < (width + 3) / 4; ++bx) {
                read_block(format, bits + size_t(by) * pitch + size_t(bx) * info.unit_bytes, texels);
                for (UINT y = 0; y < 4 && by * 4 + y < height; ++y) {
                    for (UINT x = 0; x < 4 && bx * 4 + x < width; ++x) {
                        out[size_t(by * 4 + y) * width + bx * 4 + x] = texels[y * 4 + x];
                    }
                }
            }
        }
        return true;
    }
    for (UINT y = 0; y < height; ++y) {
        const uint8_t* row = bits + size_t(y) * pitch;
        uint32_t* dest = out + size_t(y) * width;
        if (format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8) {
            std::memcpy(dest, row, size_t(width) * 4);
            if (format == D3DFMT_X8R8G8B8) {
                for (UINT x = 0; x < width; ++x) {
                    dest[x] |= 0xFF000000u;
                }
            }
            continue;
        }
        for (UINT x = 0; x < width; ++x) {
            dest[x] = read_pixel(format, row + size_t(x) * info.unit_bytes);
        }
    }
    return true;
}

float half_to_float(uint16_t half)
{
    const uint32_t sign = (half >> 15) & 1;
    const int exponent = (half >> 10) & 31;
    const uint32_t mantissa = half & 1023;
    float value;
    if (exponent == 0) {
        value = std::ldexp(static_cast<float>(mantissa), -24);
    } else if (exponent == 31) {
        value = mantissa ? NAN : INFINITY;
    } else {
        value = std::ldexp(static_cast<float>(mantissa + 1024), exponent - 25);
    }
    return sign ? -value : value;
}
