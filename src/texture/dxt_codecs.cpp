// Block-compressed formats DXT1 to DXT5: 4 x 4 pixels per block, a colour
// part of two 5:6:5 end points and sixteen 2-bit indexes, and for DXT2/DXT3
// sixteen explicit 4-bit alphas, for DXT4/DXT5 two alpha end points and
// sixteen 3-bit indexes. DXT2 and DXT4 hold premultiplied colour; their
// colours are taken and written as stored.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "texture/pixel_codecs.h"

namespace {

struct Texel {
    float c[4];
};

uint16_t load16(const BYTE* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

Texel colour_565(uint16_t value)
{
    return Texel{
        {(value >> 11) * (1.0f / 31.0f), ((value >> 5) & 63) * (1.0f / 63.0f), (value & 31) * (1.0f / 31.0f), 1.0f}};
}

Texel mix(const Texel& a, const Texel& b, float wa, float wb, float total)
{
    Texel out;
    for (int c = 0; c < 3; ++c) {
        out.c[c] = (wa * a.c[c] + wb * b.c[c]) / total;
    }
    out.c[3] = 1.0f;
    return out;
}

// The four colours an index can name. DXT1 blocks whose first end point is
// not above the second use three colours and transparent black.
void colour_palette(uint16_t c0, uint16_t c1, bool three_colour_mode, Texel palette[4])
{
    palette[0] = colour_565(c0);
    palette[1] = colour_565(c1);
    if (three_colour_mode && c0 <= c1) {
        palette[2] = mix(palette[0], palette[1], 1, 1, 2);
        palette[3] = Texel{{0, 0, 0, 0}};
    } else {
        palette[2] = mix(palette[0], palette[1], 2, 1, 3);
        palette[3] = mix(palette[0], palette[1], 1, 2, 3);
    }
}

// The eight alphas a DXT4/DXT5 index can name, in 0..1.
void alpha_palette(unsigned a0, unsigned a1, float alphas[8])
{
    alphas[0] = a0 / 255.0f;
    alphas[1] = a1 / 255.0f;
    if (a0 > a1) {
        for (unsigned i = 1; i < 7; ++i) {
            alphas[i + 1] = float((7 - i) * a0 + i * a1) / (7.0f * 255.0f);
        }
    } else {
        for (unsigned i = 1; i < 5; ++i) {
            alphas[i + 1] = float((5 - i) * a0 + i * a1) / (5.0f * 255.0f);
        }
        alphas[6] = 0.0f;
        alphas[7] = 1.0f;
    }
}

bool explicit_alpha(D3DFORMAT format) { return format == D3DFMT_DXT2 || format == D3DFMT_DXT3; }

bool interpolated_alpha(D3DFORMAT format) { return format == D3DFMT_DXT4 || format == D3DFMT_DXT5; }

void decode_block(D3DFORMAT format, const BYTE* block, Texel texels[16])
{
    const bool dxt1 = format == D3DFMT_DXT1;
    const BYTE* colour = dxt1 ? block : block + 8;
    Texel palette[4];
    colour_palette(load16(colour), load16(colour + 2), dxt1, palette);
    uint32_t indexes;
    std::memcpy(&indexes, colour + 4, 4);
    for (int i = 0; i < 16; ++i) {
        texels[i] = palette[(indexes >> (2 * i)) & 3];
    }
    if (explicit_alpha(format)) {
        uint64_t alpha;
        std::memcpy(&alpha, block, 8);
        for (int i = 0; i < 16; ++i) {
            texels[i].c[3] = float((alpha >> (4 * i)) & 15) * (1.0f / 15.0f);
        }
    } else if (interpolated_alpha(format)) {
        float alphas[8];
        alpha_palette(block[0], block[1], alphas);
        uint64_t bits = 0;
        std::memcpy(&bits, block + 2, 6);
        for (int i = 0; i < 16; ++i) {
            texels[i].c[3] = alphas[(bits >> (3 * i)) & 7];
        }
    }
}

float clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

uint16_t to_565(const float* rgb)
{
    const unsigned r = static_cast<unsigned>(clamp01(rgb[0]) * 31.0f + 0.5f);
    const unsigned g = static_cast<unsigned>(clamp01(rgb[1]) * 63.0f + 0.5f);
    const unsigned b = static_cast<unsigned>(clamp01(rgb[2]) * 31.0f + 0.5f);
    return static_cast<uint16_t>(r << 11 | g << 5 | b);
}

float distance2(const Texel& a, const Texel& b)
{
    float sum = 0.0f;
    for (int c = 0; c < 3; ++c) {
        const float d = a.c[c] - b.c[c];
        sum += d * d;
    }
    return sum;
}

// End points from the two texels farthest apart, indexes to the nearest
// colour. DXT1 blocks with a texel below half alpha use the three-colour
// mode and give those texels the transparent index.
void encode_colour(const Texel texels[16], bool dxt1, BYTE* out)
{
    bool transparent = false;
    int opaque[16];
    int count = 0;
    for (int i = 0; i < 16; ++i) {
        if (dxt1 && texels[i].c[3] < 0.5f) {
            transparent = true;
        } else {
            opaque[count++] = i;
        }
    }
    Texel hi_texel{{0, 0, 0, 1}}, lo_texel{{0, 0, 0, 1}};
    float widest = -1.0f;
    for (int a = 0; a < count; ++a) {
        for (int b = a; b < count; ++b) {
            const float d = distance2(texels[opaque[a]], texels[opaque[b]]);
            if (d > widest) {
                widest = d;
                hi_texel = texels[opaque[a]];
                lo_texel = texels[opaque[b]];
            }
        }
    }
    const float* hi = hi_texel.c;
    const float* lo = lo_texel.c;
    uint16_t c0 = to_565(hi), c1 = to_565(lo);
    if (transparent ? c0 > c1 : c0 < c1) {
        std::swap(c0, c1);
    }
    Texel palette[4];
    colour_palette(c0, c1, dxt1, palette);
    const bool three = dxt1 && c0 <= c1;
    uint32_t indexes = 0;
    for (int i = 0; i < 16; ++i) {
        unsigned best = 0;
        if (transparent && texels[i].c[3] < 0.5f) {
            best = 3;
        } else if (c0 != c1) {
            float best_distance = distance2(texels[i], palette[0]);
            for (unsigned k = 1; k < (three ? 3u : 4u); ++k) {
                const float d = distance2(texels[i], palette[k]);
                if (d < best_distance) {
                    best_distance = d;
                    best = k;
                }
            }
        }
        indexes |= best << (2 * i);
    }
    out[0] = static_cast<BYTE>(c0);
    out[1] = static_cast<BYTE>(c0 >> 8);
    out[2] = static_cast<BYTE>(c1);
    out[3] = static_cast<BYTE>(c1 >> 8);
    std::memcpy(out + 4, &indexes, 4);
}

void encode_explicit_alpha(const Texel texels[16], const float* dither, BYTE* out)
{
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) {
        const float d = dither[i]; // blocks start at a multiple of 4, like the matrix
        const uint64_t a = static_cast<uint64_t>(clamp01(texels[i].c[3]) * 15.0f + d);
        bits |= std::min<uint64_t>(a, 15) << (4 * i);
    }
    std::memcpy(out, &bits, 8);
}

void encode_interpolated_alpha(const Texel texels[16], BYTE* out)
{
    unsigned lo = 255, hi = 0;
    unsigned bytes[16];
    for (int i = 0; i < 16; ++i) {
        bytes[i] = static_cast<unsigned>(clamp01(texels[i].c[3]) * 255.0f + 0.5f);
        lo = std::min(lo, bytes[i]);
        hi = std::max(hi, bytes[i]);
    }
    float alphas[8];
    alpha_palette(hi, lo, alphas);
    uint64_t bits = 0;
    for (int i = 0; i < 16 && hi != lo; ++i) {
        const float a = bytes[i] / 255.0f;
        unsigned best = 0;
        for (unsigned k = 1; k < 8; ++k) {
            if (std::abs(alphas[k] - a) < std::abs(alphas[best] - a)) {
                best = k;
            }
        }
        bits |= uint64_t(best) << (3 * i);
    }
    out[0] = static_cast<BYTE>(hi);
    out[1] = static_cast<BYTE>(lo);
    std::memcpy(out + 2, &bits, 6);
}

} // namespace

void decode_dxt(const PixelCodec& codec, const PixelSource& source, UINT x0, UINT y0, UINT width, UINT rows, float* out)
{
    if (width == 0 || rows == 0) {
        return;
    }
    Texel texels[16];
    for (UINT by = y0 / 4; by <= (y0 + rows - 1) / 4; ++by) {
        const BYTE* block_row = source.bits + size_t(by) * source.pitch;
        for (UINT bx = x0 / 4; bx <= (x0 + width - 1) / 4; ++bx) {
            decode_block(codec.format, block_row + size_t(bx) * codec.unit_bytes, texels);
            for (UINT ty = 0; ty < 4; ++ty) {
                const UINT y = by * 4 + ty;
                if (y < y0 || y >= y0 + rows) {
                    continue;
                }
                for (UINT tx = 0; tx < 4; ++tx) {
                    const UINT x = bx * 4 + tx;
                    if (x >= x0 && x < x0 + width) {
                        std::memcpy(out + (size_t(y - y0) * width + (x - x0)) * 4, texels[ty * 4 + tx].c, 16);
                    }
                }
            }
        }
    }
}

void encode_dxt(const PixelCodec& codec, const float* in, UINT width, UINT rows, BYTE* dest, size_t, UINT,
                const float* dither)
{
    if (width == 0 || rows == 0) {
        return;
    }
    const bool dxt1 = codec.format == D3DFMT_DXT1;
    Texel texels[16];
    for (UINT bx = 0; bx * 4 < width; ++bx) {
        // A block past the level's edge repeats the last row and column.
        for (UINT i = 0; i < 16; ++i) {
            const UINT y = std::min(i / 4, rows - 1), x = std::min(bx * 4 + i % 4, width - 1);
            std::memcpy(texels[i].c, in + (size_t(y) * width + x) * 4, 16);
        }
        BYTE* block = dest + size_t(bx) * codec.unit_bytes;
        if (dxt1) {
            encode_colour(texels, true, block);
            continue;
        }
        if (explicit_alpha(codec.format)) {
            encode_explicit_alpha(texels, dither, block);
        } else {
            encode_interpolated_alpha(texels, block);
        }
        encode_colour(texels, false, block + 8);
    }
}
