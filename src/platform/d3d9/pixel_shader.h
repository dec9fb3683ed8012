// The pixel loop one pixel at a time, for lines, points and any stage
// setting, with the stage and output blends it takes them through; and
// what every pixel loop shares: depth to D16, the depth test, the modulate
// rule, the attribute planes of a triangle and its setup. Included by the
// rasterizer, the lane loops and the depth tiles.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/d3d9/pixel_shading.h"
#include "platform/d3d9/raster_target.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The stage-0 result for one pixel (exposed for tests of the blend rules).
uint32_t blend_stage(const StageBlend& stage, uint32_t texture, uint32_t diffuse);
// A shaded pixel `source` over the stored `dest` as `output` blends them.
uint32_t blend_output(const PixelOutput& output, uint32_t source, uint32_t dest);

namespace pixel_loops {

typedef float Vec4 __attribute__((vector_size(16)));

enum class Fetch { White, FastBilinear, FastPoint, Generic };

inline uint32_t mul8(uint32_t a, uint32_t b)
{
    const uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

inline uint32_t clamp8(int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); }

inline uint32_t channel(uint32_t c, int shift) { return (c >> shift) & 255; }

// Rounds to nearest (halves to even), as the vector path does.
inline int round_channel(float v)
{
    return v > -1.0f && v < 512.0f ? static_cast<int>(std::nearbyint(v)) : (v >= 512.0f ? 255 : 0);
}

inline uint32_t pack_color(Vec4 c)
{
    const int r = round_channel(c[0]);
    const int g = round_channel(c[1]);
    const int b = round_channel(c[2]);
    const int a = round_channel(c[3]);
    return (clamp8(a) << 24) | (clamp8(r) << 16) | (clamp8(g) << 8) | clamp8(b);
}

inline uint32_t to_d16(float z)
{
#if defined(__SSE2__)
    // maxss and minss give their second operand for NaN and for ties, as
    // the comparisons below do, and need no branch.
    __m128 scaled = _mm_add_ss(_mm_mul_ss(_mm_set_ss(z), _mm_set_ss(65535.0f)), _mm_set_ss(0.5f));
    scaled = _mm_min_ss(_mm_max_ss(scaled, _mm_setzero_ps()), _mm_set_ss(65535.0f));
    return static_cast<uint32_t>(_mm_cvttss_si32(scaled));
#else
    float scaled = z * 65535.0f + 0.5f;
    scaled = scaled > 0.0f ? scaled : 0.0f; // also NaN
    scaled = scaled < 65535.0f ? scaled : 65535.0f;
    return static_cast<uint32_t>(scaled);
#endif
}

// D3DCMPFUNC minus one is a mask of the outcomes it accepts: bit 0 less,
// bit 1 equal, bit 2 greater.
inline uint32_t depth_mask(DWORD func) { return func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? func - 1 : 7; }

inline bool depth_pass(uint32_t mask, uint32_t z, uint32_t stored)
{
    const uint32_t outcome = static_cast<uint32_t>(z >= stored) + static_cast<uint32_t>(z > stored);
    return (mask >> outcome) & 1;
}

inline uint32_t modulate(uint32_t texture, uint32_t diffuse)
{
    return (mul8(texture >> 24, diffuse >> 24) << 24) | (mul8(channel(texture, 16), channel(diffuse, 16)) << 16) |
        (mul8(channel(texture, 8), channel(diffuse, 8)) << 8) | mul8(texture & 255, diffuse & 255);
}

inline uint32_t modulate_texture_alpha(uint32_t texture, uint32_t diffuse)
{
    return (texture & 0xFF000000u) | (modulate(texture, diffuse) & 0x00FFFFFFu);
}

inline uint32_t diffuse_modulate_alpha(uint32_t texture, uint32_t diffuse)
{
    return (mul8(texture >> 24, diffuse >> 24) << 24) | (diffuse & 0x00FFFFFFu);
}

#if defined(__SSE2__)
// Colours as four 16-bit lanes (blue, green, red, alpha: the byte order of
// an A8R8G8B8 pixel in memory) in the low half of a register.
namespace lanes {

inline __m128i unpack(uint32_t c)
{
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(c)), _mm_setzero_si128());
}

inline uint32_t pack(__m128i v) { return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(v, v))); }

// An interpolated colour (red, green, blue, alpha; 0..255), rounded.
inline __m128i from_color(Vec4 c)
{
    const Vec4 bgra = __builtin_shufflevector(c, c, 2, 1, 0, 3);
    const __m128i i = _mm_cvtps_epi32(reinterpret_cast<const __m128&>(bgra));
    const __m128i narrow = _mm_packs_epi32(i, i);
    return _mm_min_epi16(_mm_max_epi16(narrow, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// a x b / 255, rounded, per lane.
inline __m128i multiply(__m128i a, __m128i b)
{
    const __m128i p = _mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(p, _mm_srli_epi16(p, 8)), 8);
}

// The bilinear texel of a wrapped power-of-two level at `position`, which
// holds x and y in 1/256 texel in lanes 2 and 3; `masks` holds the width and
// height minus one in the same lanes. The same result as bilinear_blend.
inline __m128i bilinear_at(const uint32_t* texels, __m128i position, __m128i masks, __m128i width_shift)
{
    const __m128i whole = _mm_srai_epi32(position, 8);
    const __m128i first = _mm_and_si128(whole, masks);
    const __m128i second = _mm_and_si128(_mm_add_epi32(whole, _mm_set1_epi32(1)), masks);
    const __m128i xy = _mm_unpackhi_epi32(first, second); // x0 x1 y0 y1
    const __m128i rows = _mm_sll_epi32(_mm_shuffle_epi32(xy, _MM_SHUFFLE(3, 3, 2, 2)), width_shift);
    const __m128i at = _mm_add_epi32(_mm_shuffle_epi32(xy, _MM_SHUFFLE(1, 0, 1, 0)), rows);
    const uint32_t at00 = static_cast<uint32_t>(_mm_cvtsi128_si32(at));
    const uint32_t at01 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(at, _MM_SHUFFLE(2, 2, 2, 2))));
    __m128i top, bottom;
    if (static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(first, 8))) !=
        static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(masks, 8)))) {
        // Both columns side by side in memory.
        top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texels + at00));
        bottom = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texels + at01));
    } else { // the second column wraps to the first
        const uint32_t at10 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(at, _MM_SHUFFLE(1, 1, 1, 1))));
        const uint32_t at11 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(at, _MM_SHUFFLE(3, 3, 3, 3))));
        top = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(texels[at00])),
                                 _mm_cvtsi32_si128(static_cast<int>(texels[at10])));
        bottom = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(texels[at01])),
                                    _mm_cvtsi32_si128(static_cast<int>(texels[at11])));
    }
    const __m128i zero = _mm_setzero_si128();
    top = _mm_unpacklo_epi8(top, zero);
    bottom = _mm_unpacklo_epi8(bottom, zero);
    // Fractions fx fy in 16-bit lanes 2 and 3, 256 - fx and 256 - fy in 6 and 7.
    const __m128i fraction = _mm_and_si128(position, _mm_set1_epi32(255));
    const __m128i both = _mm_packs_epi32(fraction, _mm_sub_epi32(_mm_set1_epi32(256), fraction));
    const __m128i upper =
        _mm_shuffle_epi32(_mm_shufflehi_epi16(both, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    const __m128i lower =
        _mm_shuffle_epi32(_mm_shufflelo_epi16(both, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(0, 0, 0, 0));
    const __m128i columns =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(top, upper), _mm_mullo_epi16(bottom, lower)), 8);
    const __m128i across =
        _mm_shufflehi_epi16(_mm_shufflelo_epi16(both, _MM_SHUFFLE(2, 2, 2, 2)), _MM_SHUFFLE(2, 2, 2, 2));
    const __m128i weights = _mm_shuffle_epi32(across, _MM_SHUFFLE(1, 0, 3, 2)); // 256 - fx x4, fx x4
    const __m128i weighted = _mm_mullo_epi16(columns, weights);
    return _mm_srli_epi16(_mm_add_epi16(weighted, _mm_srli_si128(weighted, 8)), 8);
}

} // namespace lanes
#endif

// Pixel writer for one primitive: depth test, fetch, blend, store.
template <Fetch F, Blend B>
struct Shader {
    // Copies of what the pixel loop reads, so that its stores into the
    // frame cannot make the compiler read them again for every pixel.
    const RasterTarget& target;
    const PixelShading& shading;
    TextureSampler::Choice choice{};
    const uint32_t* texels = nullptr;
    uint32_t width_mask = 0, height_mask = 0;
    int width_shift = 0;
    float scale_u = 0.0f, scale_v = 0.0f;
    bool depth_test, depth_write, color_write;
    bool output; // alpha test or blend on
    uint32_t depth_accept;
    uint32_t color_set_bits;
#if defined(__SSE2__)
    __m128i masks = _mm_setzero_si128(); // width and height minus one, in lanes 2 and 3
    __m128i shift = _mm_setzero_si128(); // width_shift
#endif

    Shader(const RasterTarget& t, const PixelShading& s, const TextureSampler::Choice& c)
        : target(t),
          shading(s),
          choice(c),
          depth_test(s.depth_test),
          depth_write(s.depth_write),
          color_write(s.color_write),
          output(s.output.alpha_test || s.output.blend),
          depth_accept(depth_mask(s.depth_func)),
          color_set_bits(t.color_set_bits)
    {
        if (c.level) {
            texels = c.level->texels;
            width_mask = static_cast<uint32_t>(c.level->width - 1);
            height_mask = static_cast<uint32_t>(c.level->height - 1);
            width_shift = c.level->width_shift;
            scale_u = static_cast<float>(c.level->width) * (F == Fetch::FastBilinear ? 256.0f : 1.0f);
            scale_v = static_cast<float>(c.level->height) * (F == Fetch::FastBilinear ? 256.0f : 1.0f);
#if defined(__SSE2__)
            masks = _mm_set_epi32(static_cast<int>(height_mask), static_cast<int>(width_mask), 0, 0);
            shift = _mm_cvtsi32_si128(width_shift);
#endif
        }
    }

    static constexpr bool kNeedsTexture = F != Fetch::White && B != Blend::Diffuse;
    static constexpr bool kFast = F != Fetch::Generic && B != Blend::General;

    // Texel position in 1/256 texel (bilinear) or whole texels (point),
    // rounded down. Far out-of-range coordinates give some texel of the
    // level: the masks keep every read inside it.
    void texel_position(Vec4 p, int* tx, int* ty) const
    {
#if defined(__SSE2__)
        const __m128i t = texel_lanes(p);
        *tx = _mm_cvtsi128_si32(_mm_srli_si128(t, 8));
        *ty = _mm_cvtsi128_si32(_mm_srli_si128(t, 12));
#else
        const float w = 1.0f / p[1];
        const float half = F == Fetch::FastBilinear ? 128.0f : 0.0f;
        const float xs = p[2] * w * scale_u - half, ys = p[3] * w * scale_v - half;
        if (!(std::fabs(xs) < 1e9f && std::fabs(ys) < 1e9f)) {
            *tx = *ty = 0;
            return;
        }
        *tx = static_cast<int>(xs);
        *tx -= xs < static_cast<float>(*tx);
        *ty = static_cast<int>(ys);
        *ty -= ys < static_cast<float>(*ty);
#endif
    }

#if defined(__SSE2__)
    // texel_position, left in lanes 2 and 3. Lanes 2 and 3 of `p` hold u/w
    // and v/w: (u/w * w) * scale - half, rounded as the scalar path rounds.
    __m128i texel_lanes(Vec4 p) const
    {
        const float w = 1.0f / p[1];
        const float half = F == Fetch::FastBilinear ? 128.0f : 0.0f;
        const Vec4 scaled = p * w * Vec4{0.0f, 0.0f, scale_u, scale_v} - Vec4{0.0f, 0.0f, half, half};
        const __m128 v = reinterpret_cast<const __m128&>(scaled);
        const __m128i t = _mm_cvttps_epi32(v);
        return _mm_add_epi32(t, _mm_castps_si128(_mm_cmplt_ps(v, _mm_cvtepi32_ps(t))));
    }
#endif

    uint32_t point_texel(int tx, int ty) const
    {
        return texels[((static_cast<uint32_t>(ty) & height_mask) << width_shift) +
                      (static_cast<uint32_t>(tx) & width_mask)];
    }

    // The four texels around a bilinear position, with the fractions.
    void bilinear_texels(int tx, int ty, uint32_t c[4]) const
    {
        const uint32_t x0 = static_cast<uint32_t>(tx >> 8) & width_mask;
        const uint32_t x1 = (x0 + 1) & width_mask;
        const uint32_t row0 = (static_cast<uint32_t>(ty >> 8) & height_mask) << width_shift;
        const uint32_t row1 = ((static_cast<uint32_t>(ty >> 8) + 1) & height_mask) << width_shift;
        c[0] = texels[row0 + x0];
        c[1] = texels[row0 + x1];
        c[2] = texels[row1 + x0];
        c[3] = texels[row1 + x1];
    }

    // Scalar path: texture colour, any fetch kind.
    uint32_t fetch(Vec4 p) const
    {
        if constexpr (!kNeedsTexture) {
            return 0xFFFFFFFFu;
        } else if constexpr (F == Fetch::Generic) {
            const float w = 1.0f / p[1];
            return sample_texture(*shading.sampler, choice, p[2] * w, p[3] * w);
        } else {
            int tx, ty;
            texel_position(p, &tx, &ty);
            if constexpr (F == Fetch::FastPoint) {
                return point_texel(tx, ty);
            } else {
                uint32_t c[4];
                bilinear_texels(tx, ty, c);
                return bilinear_blend(c[0], c[1], c[2], c[3], static_cast<uint32_t>(tx) & 255,
                                      static_cast<uint32_t>(ty) & 255);
            }
        }
    }

    uint32_t blend(uint32_t texture, uint32_t diffuse) const
    {
        if constexpr (B == Blend::Diffuse) {
            return diffuse;
        } else if constexpr (B == Blend::Modulate) {
            return F == Fetch::White ? diffuse : modulate(texture, diffuse);
        } else if constexpr (B == Blend::ModulateTextureAlpha) {
            return F == Fetch::White ? (diffuse | 0xFF000000u) : modulate_texture_alpha(texture, diffuse);
        } else if constexpr (B == Blend::DiffuseModulateAlpha) {
            return F == Fetch::White ? diffuse : diffuse_modulate_alpha(texture, diffuse);
        } else {
            return blend_stage(shading.stage, texture, diffuse);
        }
    }

    // The colour of one pixel; `p` holds z, 1/w, u/w, v/w and `c` the colour.
    uint32_t shade(Vec4 p, Vec4 c) const
    {
#if defined(__SSE2__)
        if constexpr (kFast) {
            const __m128i diffuse = lanes::from_color(c);
            if constexpr (!kNeedsTexture) {
                const uint32_t packed = lanes::pack(diffuse);
                return B == Blend::ModulateTextureAlpha ? (packed | 0xFF000000u) : packed;
            } else {
                __m128i texture;
                if constexpr (F == Fetch::FastPoint) {
                    int tx, ty;
                    texel_position(p, &tx, &ty);
                    texture = lanes::unpack(point_texel(tx, ty));
                } else {
                    texture = lanes::bilinear_at(texels, texel_lanes(p), masks, shift);
                }
                __m128i result = lanes::multiply(texture, diffuse);
                const __m128i alpha = _mm_set_epi16(0, 0, 0, 0, -1, 0, 0, 0);
                if constexpr (B == Blend::ModulateTextureAlpha) {
                    result = _mm_or_si128(_mm_andnot_si128(alpha, result), _mm_and_si128(alpha, texture));
                } else if constexpr (B == Blend::DiffuseModulateAlpha) {
                    result = _mm_or_si128(_mm_andnot_si128(alpha, diffuse), _mm_and_si128(alpha, result));
                }
                return lanes::pack(result);
            }
        }
#endif
        return blend(fetch(p), pack_color(c));
    }

    // One covered pixel.
    inline void pixel(int x, uint32_t* color_row, uint16_t* depth_row, Vec4 p, Vec4 c) const
    {
        if (output) {
            output_pixel(x, color_row, depth_row, p, c);
            return;
        }
        if (depth_test) {
            const uint32_t z = to_d16(p[0]);
            if (!depth_pass(depth_accept, z, depth_row[x])) {
                return;
            }
            if (depth_write) {
                depth_row[x] = static_cast<uint16_t>(z);
            }
        }
        if (!color_write) {
            return;
        }
        color_row[x] = shade(p, c) | color_set_bits;
    }

    // One covered pixel through the alpha test and the blend: a pixel
    // the alpha test drops leaves depth and colour as they were.
    __attribute__((noinline)) void output_pixel(int x, uint32_t* color_row, uint16_t* depth_row, Vec4 p, Vec4 c) const
    {
        uint32_t z = 0;
        if (depth_test) {
            z = to_d16(p[0]);
            if (!depth_pass(depth_accept, z, depth_row[x])) {
                return;
            }
        }
        const PixelOutput& out = shading.output;
        uint32_t source = shade(p, c);
        if (out.alpha_test && !depth_pass(depth_mask(out.alpha_func), source >> 24, out.alpha_ref)) {
            return;
        }
        if (depth_test && depth_write) {
            depth_row[x] = static_cast<uint16_t>(z);
        }
        if (!color_write) {
            return;
        }
        if (out.blend) {
            source = blend_output(out, source, color_row[x]);
        }
        color_row[x] = source | color_set_bits;
    }

    uint32_t* color_row(int y) const { return target.color + y * target.color_stride; }
    uint16_t* depth_row(int y) const { return target.depth ? target.depth + y * target.depth_stride : nullptr; }
};

// The attribute planes of a triangle, relative to its first pixel.
struct Planes {
    Vec4 p_origin, p_dx, p_dy; // z, 1/w, u/w, v/w
    Vec4 c_origin, c_dx, c_dy; // colour

    __attribute__((always_inline)) void set(bool flat, const RasterVertex& v0, const RasterVertex& v1,
                                            const RasterVertex& v2, int64_t area, int min_x, int min_y)
    {
        set_positions(v0, v1, v2, area, min_x, min_y);
        set_colors(flat, v0, v1, v2, area, min_x, min_y);
    }

    // The planes of z, 1/w, u/w and v/w: all a pixel needs before it
    // passes the depth test.
    __attribute__((always_inline)) void set_positions(const RasterVertex& v0, const RasterVertex& v1,
                                                      const RasterVertex& v2, int64_t area, int min_x, int min_y)
    {
        const Basis b(v0, v1, v2, area, min_x, min_y);
        const Vec4 p0 = {v0.z, v0.invw, v0.uw, v0.vw};
        b.plane(p0, Vec4{v1.z, v1.invw, v1.uw, v1.vw} - p0, Vec4{v2.z, v2.invw, v2.uw, v2.vw} - p0, &p_origin, &p_dx,
                &p_dy);
    }

    // The plane of z alone, as set_positions has it.
    static void z_plane(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2, int64_t area, int min_x,
                        int min_y, float* origin, float* dx, float* dy)
    {
        const Basis b(v0, v1, v2, area, min_x, min_y);
        b.plane(v0.z, v1.z - v0.z, v2.z - v0.z, origin, dx, dy);
    }

    __attribute__((always_inline)) void set_colors(bool flat, const RasterVertex& v0, const RasterVertex& v1,
                                                   const RasterVertex& v2, int64_t area, int min_x, int min_y)
    {
        const Vec4 c0 = {v0.r, v0.g, v0.b, v0.a};
        if (flat) {
            c_origin = c0;
            c_dx = c_dy = Vec4{0, 0, 0, 0};
            return;
        }
        const Basis b(v0, v1, v2, area, min_x, min_y);
        b.plane(c0, Vec4{v1.r, v1.g, v1.b, v1.a} - c0, Vec4{v2.r, v2.g, v2.b, v2.a} - c0, &c_origin, &c_dx, &c_dy);
    }

private:
    // The triangle's sides from v0, in pixels, the reciprocal of twice its
    // area and the first pixel's offset from v0.
    struct Basis {
        float dx1, dy1, dx2, dy2, inv_area, ox, oy;

        __attribute__((always_inline)) Basis(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2,
                                             int64_t area, int min_x, int min_y)
        {
            constexpr float kToPixels = 1.0f / kSubpixel;
            const float x0 = v0.fx * kToPixels, y0 = v0.fy * kToPixels;
            dx1 = (v1.fx - v0.fx) * kToPixels;
            dy1 = (v1.fy - v0.fy) * kToPixels;
            dx2 = (v2.fx - v0.fx) * kToPixels;
            dy2 = (v2.fy - v0.fy) * kToPixels;
            inv_area = float(kSubpixel * kSubpixel) / static_cast<float>(area);
            ox = static_cast<float>(min_x) - x0;
            oy = static_cast<float>(min_y) - y0;
        }

        // For one attribute (float) or four (Vec4), the same steps.
        template <class Value>
        __attribute__((always_inline)) void plane(Value at0, Value d1, Value d2, Value* origin, Value* dx,
                                                  Value* dy) const
        {
            *dx = (d1 * dy2 - d2 * dy1) * inv_area;
            *dy = (d2 * dx1 - d1 * dx2) * inv_area;
            *origin = at0 + *dx * ox + *dy * oy;
        }
    };
};

// Triangles at most kSmallSpan pixels wide whose vertices lie within
// kSmallExtent pixels of each other: their edge values fit in 32 bits, and
// at most kSmallExtent rows.
constexpr int kSmallSpan = 16;
constexpr int kSmallExtent = 64;
// Narrow triangles: vertices within kSmallSpan pixels across and
// kNarrowExtent down, such as the steep slivers of a surface seen from the
// side. Their edge values too fit in 32 bits.
constexpr int kNarrowExtent = 512;

// One triangle after setup: its vertices in clockwise order on the screen,
// twice its area in 1/65536 pixel, its box inside the viewport, the rows of
// the box this call draws, whether it is small or narrow (not both), and
// what it samples.
struct TriangleSetup {
    const RasterVertex* v0;
    const RasterVertex* v1;
    const RasterVertex* v2;
    int64_t area;
    int min_x, min_y, max_x, max_y;
    int first_row, last_row;
    bool small, narrow;
    TextureSampler::Choice choice;
    const LaneConstants* lanes; // for the level of `choice`
    // Set by the pixel loop once a pixel may have been written: one passed
    // the depth test, or (one pixel at a time) was covered.
    mutable bool may_draw = false;
};

} // namespace pixel_loops
