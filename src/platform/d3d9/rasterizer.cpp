// Edge-function scan conversion with per-pixel depth, colour and texture.
// The common cases (no texture, or a wrapped power-of-two texture read
// bilinearly, modulated with the diffuse colour) have their own inner loops;
// every other stage setting goes through blend_stage.
#include "platform/d3d9/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

typedef float Vec4 __attribute__((vector_size(16)));

enum class Fetch { White, FastBilinear, FastPoint, Generic };

inline uint32_t mul8(uint32_t a, uint32_t b) {
    const uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

inline uint32_t clamp8(int v) {
    return static_cast<uint32_t>(std::clamp(v, 0, 255));
}

inline uint32_t channel(uint32_t c, int shift) {
    return (c >> shift) & 255;
}

// Rounds to nearest (halves to even), as the vector path does.
inline int round_channel(float v) {
    return v > -1.0f && v < 512.0f ? static_cast<int>(std::nearbyint(v)) : (v >= 512.0f ? 255 : 0);
}

inline uint32_t pack_color(Vec4 c) {
    const int r = round_channel(c[0]);
    const int g = round_channel(c[1]);
    const int b = round_channel(c[2]);
    const int a = round_channel(c[3]);
    return (clamp8(a) << 24) | (clamp8(r) << 16) | (clamp8(g) << 8) | clamp8(b);
}

inline uint32_t to_d16(float z) {
#if defined(__SSE2__)
    // maxss and minss give their second operand for NaN and for ties, as
    // the comparisons below do, and need no branch.
    __m128 scaled = _mm_add_ss(_mm_mul_ss(_mm_set_ss(z), _mm_set_ss(65535.0f)), _mm_set_ss(0.5f));
    scaled = _mm_min_ss(_mm_max_ss(scaled, _mm_setzero_ps()), _mm_set_ss(65535.0f));
    return static_cast<uint32_t>(_mm_cvttss_si32(scaled));
#else
    float scaled = z * 65535.0f + 0.5f;
    scaled = scaled > 0.0f ? scaled : 0.0f;  // also NaN
    scaled = scaled < 65535.0f ? scaled : 65535.0f;
    return static_cast<uint32_t>(scaled);
#endif
}

// D3DCMPFUNC minus one is a mask of the outcomes it accepts: bit 0 less,
// bit 1 equal, bit 2 greater.
inline uint32_t depth_mask(DWORD func) {
    return func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? func - 1 : 7;
}

inline bool depth_pass(uint32_t mask, uint32_t z, uint32_t stored) {
    const uint32_t outcome = static_cast<uint32_t>(z >= stored) + static_cast<uint32_t>(z > stored);
    return (mask >> outcome) & 1;
}

inline uint32_t modulate(uint32_t texture, uint32_t diffuse) {
    return (mul8(texture >> 24, diffuse >> 24) << 24) | (mul8(channel(texture, 16), channel(diffuse, 16)) << 16) |
           (mul8(channel(texture, 8), channel(diffuse, 8)) << 8) | mul8(texture & 255, diffuse & 255);
}

inline uint32_t modulate_texture_alpha(uint32_t texture, uint32_t diffuse) {
    return (texture & 0xFF000000u) | (modulate(texture, diffuse) & 0x00FFFFFFu);
}

// Argument of a stage operation, modifiers applied.
uint32_t stage_argument(DWORD selector, const StageBlend& stage, uint32_t texture, uint32_t diffuse) {
    uint32_t value;
    switch (selector & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
    case D3DTA_CURRENT:  // stage 0: current is the diffuse colour
        value = diffuse;
        break;
    case D3DTA_TEXTURE:
        value = texture;
        break;
    case D3DTA_TFACTOR:
        value = stage.texture_factor;
        break;
    case D3DTA_CONSTANT:
        value = stage.constant;
        break;
    default:  // specular and temp hold black here
        value = 0;
        break;
    }
    if (selector & D3DTA_COMPLEMENT) {
        value = ~value;
    }
    if (selector & D3DTA_ALPHAREPLICATE) {
        const uint32_t a = value >> 24;
        value = (a << 24) | (a << 16) | (a << 8) | a;
    }
    return value;
}

uint32_t stage_operation(DWORD op, uint32_t x1, uint32_t x2, uint32_t x0, uint32_t texture_alpha,
                         uint32_t diffuse_alpha, uint32_t factor_alpha) {
    auto blend = [](uint32_t a, uint32_t b, uint32_t weight) { return mul8(a, weight) + mul8(b, 255 - weight); };
    switch (op) {
    case D3DTOP_SELECTARG2:
        return x2;
    case D3DTOP_MODULATE:
        return mul8(x1, x2);
    case D3DTOP_MODULATE2X:
        return std::min(255u, 2 * mul8(x1, x2));
    case D3DTOP_MODULATE4X:
        return std::min(255u, 4 * mul8(x1, x2));
    case D3DTOP_ADD:
        return std::min(255u, x1 + x2);
    case D3DTOP_ADDSIGNED:
        return clamp8(static_cast<int>(x1 + x2) - 128);
    case D3DTOP_ADDSIGNED2X:
        return clamp8((static_cast<int>(x1 + x2) - 128) * 2);
    case D3DTOP_SUBTRACT:
        return x1 > x2 ? x1 - x2 : 0;
    case D3DTOP_ADDSMOOTH:
        return std::min(255u, x1 + x2 - mul8(x1, x2));
    case D3DTOP_BLENDDIFFUSEALPHA:
    case D3DTOP_BLENDCURRENTALPHA:
        return blend(x1, x2, diffuse_alpha);
    case D3DTOP_BLENDTEXTUREALPHA:
        return blend(x1, x2, texture_alpha);
    case D3DTOP_BLENDFACTORALPHA:
        return blend(x1, x2, factor_alpha);
    case D3DTOP_BLENDTEXTUREALPHAPM:
        return std::min(255u, x1 + mul8(x2, 255 - texture_alpha));
    case D3DTOP_MULTIPLYADD:
        return std::min(255u, x0 + mul8(x1, x2));
    case D3DTOP_LERP:
        return mul8(x0, x1) + mul8(255 - x0, x2);
    default:  // SELECTARG1, and the operations this device does not offer
        return x1;
    }
}

#if defined(__SSE2__)
// Colours as four 16-bit lanes (blue, green, red, alpha: the byte order of
// an A8R8G8B8 pixel in memory) in the low half of a register.
namespace lanes {

inline __m128i unpack(uint32_t c) {
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(c)), _mm_setzero_si128());
}

inline uint32_t pack(__m128i v) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
}

// An interpolated colour (red, green, blue, alpha; 0..255), rounded.
inline __m128i from_color(Vec4 c) {
    const Vec4 bgra = __builtin_shufflevector(c, c, 2, 1, 0, 3);
    const __m128i i = _mm_cvtps_epi32(reinterpret_cast<const __m128&>(bgra));
    const __m128i narrow = _mm_packs_epi32(i, i);
    return _mm_min_epi16(_mm_max_epi16(narrow, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// a x b / 255, rounded, per lane.
inline __m128i multiply(__m128i a, __m128i b) {
    const __m128i p = _mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(p, _mm_srli_epi16(p, 8)), 8);
}

// The bilinear texel of a wrapped power-of-two level at `position`, which
// holds x and y in 1/256 texel in lanes 2 and 3; `masks` holds the width and
// height minus one in the same lanes. The same result as bilinear_blend.
inline __m128i bilinear_at(const uint32_t* texels, __m128i position, __m128i masks, __m128i width_shift) {
    const __m128i whole = _mm_srai_epi32(position, 8);
    const __m128i first = _mm_and_si128(whole, masks);
    const __m128i second = _mm_and_si128(_mm_add_epi32(whole, _mm_set1_epi32(1)), masks);
    const __m128i xy = _mm_unpackhi_epi32(first, second);  // x0 x1 y0 y1
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
    } else {  // the second column wraps to the first
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
    const __m128i upper = _mm_shuffle_epi32(_mm_shufflehi_epi16(both, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    const __m128i lower = _mm_shuffle_epi32(_mm_shufflelo_epi16(both, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(0, 0, 0, 0));
    const __m128i columns = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(top, upper), _mm_mullo_epi16(bottom, lower)), 8);
    const __m128i across = _mm_shufflehi_epi16(_mm_shufflelo_epi16(both, _MM_SHUFFLE(2, 2, 2, 2)), _MM_SHUFFLE(2, 2, 2, 2));
    const __m128i weights = _mm_shuffle_epi32(across, _MM_SHUFFLE(1, 0, 3, 2));  // 256 - fx x4, fx x4
    const __m128i weighted = _mm_mullo_epi16(columns, weights);
    return _mm_srli_epi16(_mm_add_epi16(weighted, _mm_srli_si128(weighted, 8)), 8);
}

}  // namespace lanes
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
    uint32_t depth_accept;
    uint32_t color_set_bits;
#if defined(__SSE2__)
    __m128i masks = _mm_setzero_si128();  // width and height minus one, in lanes 2 and 3
    __m128i shift = _mm_setzero_si128();  // width_shift
#endif

    Shader(const RasterTarget& t, const PixelShading& s, const TextureSampler::Choice& c)
        : target(t),
          shading(s),
          choice(c),
          depth_test(s.depth_test),
          depth_write(s.depth_write),
          color_write(s.color_write),
          depth_accept(depth_mask(s.depth_func)),
          color_set_bits(t.color_set_bits) {
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
    void texel_position(Vec4 p, int* tx, int* ty) const {
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
    __m128i texel_lanes(Vec4 p) const {
        const float w = 1.0f / p[1];
        const float half = F == Fetch::FastBilinear ? 128.0f : 0.0f;
        const Vec4 scaled = p * w * Vec4{0.0f, 0.0f, scale_u, scale_v} - Vec4{0.0f, 0.0f, half, half};
        const __m128 v = reinterpret_cast<const __m128&>(scaled);
        const __m128i t = _mm_cvttps_epi32(v);
        return _mm_add_epi32(t, _mm_castps_si128(_mm_cmplt_ps(v, _mm_cvtepi32_ps(t))));
    }
#endif

    uint32_t point_texel(int tx, int ty) const {
        return texels[((static_cast<uint32_t>(ty) & height_mask) << width_shift) + (static_cast<uint32_t>(tx) & width_mask)];
    }

    // The four texels around a bilinear position, with the fractions.
    void bilinear_texels(int tx, int ty, uint32_t c[4]) const {
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
    uint32_t fetch(Vec4 p) const {
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

    uint32_t blend(uint32_t texture, uint32_t diffuse) const {
        if constexpr (B == Blend::Diffuse) {
            return diffuse;
        } else if constexpr (B == Blend::Modulate) {
            return F == Fetch::White ? diffuse : modulate(texture, diffuse);
        } else if constexpr (B == Blend::ModulateTextureAlpha) {
            return F == Fetch::White ? (diffuse | 0xFF000000u) : modulate_texture_alpha(texture, diffuse);
        } else {
            return blend_stage(shading.stage, texture, diffuse);
        }
    }

    // The colour of one pixel; `p` holds z, 1/w, u/w, v/w and `c` the colour.
    uint32_t shade(Vec4 p, Vec4 c) const {
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
                if constexpr (B == Blend::ModulateTextureAlpha) {
                    const __m128i alpha = _mm_set_epi16(0, 0, 0, 0, -1, 0, 0, 0);
                    result = _mm_or_si128(_mm_andnot_si128(alpha, result), _mm_and_si128(alpha, texture));
                }
                return lanes::pack(result);
            }
        }
#endif
        return blend(fetch(p), pack_color(c));
    }

    // One covered pixel.
    inline void pixel(int x, uint32_t* color_row, uint16_t* depth_row, Vec4 p, Vec4 c) const {
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

    uint32_t* color_row(int y) const { return target.color + y * target.color_stride; }
    uint16_t* depth_row(int y) const { return target.depth ? target.depth + y * target.depth_stride : nullptr; }
};

struct Edge {
    int64_t row;     // value at the first pixel of the current row, biased
    int64_t step_x;  // change per pixel to the right
    int64_t step_y;  // change per row down

    int64_t at(int i) const { return row + step_x * i; }
};

__attribute__((always_inline)) inline Edge make_edge(const RasterVertex& a, const RasterVertex& b, int64_t px, int64_t py) {
    const int64_t dx = int64_t(b.fx) - a.fx, dy = int64_t(b.fy) - a.fy;
    // Top edge: horizontal, walked left to right in this (clockwise) order;
    // left edge: walked upwards. Only these keep centres lying on them.
    const bool top_left = (dy == 0 && dx > 0) || dy < 0;
    Edge e;
    e.row = dx * (py - a.fy) - dy * (px - a.fx) - (top_left ? 0 : 1);
    e.step_x = -dy * kSubpixel;
    e.step_y = dx * kSubpixel;
    return e;
}

// Narrows [first, last] (pixel offsets in the row) to where the edge is not
// negative, exactly. A float estimate of the crossing, from `per_step` =
// 1 / step_x, lands on the bound or next to it; the integer value of the
// edge moves it the rest of the way.
__attribute__((always_inline)) inline void narrow_span(const Edge& e, float per_step, int& first, int& last) {
    if (first > last) {
        return;
    }
    if (e.step_x > 0) {  // rising to the right: a bound on the left
        if (e.at(first) >= 0) {
            return;
        }
        const float crossing = std::clamp(-static_cast<float>(e.row) * per_step, static_cast<float>(first + 1),
                                          static_cast<float>(last + 1));
        int bound = static_cast<int>(crossing);  // positive: rounded down
        bound += static_cast<float>(bound) < crossing;
        while (bound > first + 1 && e.at(bound - 1) >= 0) {
            --bound;
        }
        while (bound <= last && e.at(bound) < 0) {
            ++bound;
        }
        first = bound;
    } else if (e.step_x < 0) {  // falling to the right: a bound on the right
        if (e.at(last) >= 0) {
            return;
        }
        const float crossing = std::clamp(-static_cast<float>(e.row) * per_step, static_cast<float>(first - 1),
                                          static_cast<float>(last - 1));
        int bound = static_cast<int>(crossing);  // rounded towards 0
        bound -= crossing < static_cast<float>(bound);
        while (bound < last - 1 && e.at(bound + 1) >= 0) {
            ++bound;
        }
        while (bound >= first && e.at(bound) < 0) {
            --bound;
        }
        last = bound;
    } else if (e.row < 0) {
        last = first - 1;
    }
}

// The attribute planes of a triangle, relative to its first pixel.
struct Planes {
    Vec4 p_origin{}, p_dx{}, p_dy{};  // z, 1/w, u/w, v/w
    Vec4 c_origin{}, c_dx{}, c_dy{};  // colour

    void set(const PixelShading& shading, const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2,
             int64_t area, int min_x, int min_y) {
        constexpr float kToPixels = 1.0f / kSubpixel;
        const float x0 = v0.fx * kToPixels, y0 = v0.fy * kToPixels;
        const float dx1 = (v1.fx - v0.fx) * kToPixels, dy1 = (v1.fy - v0.fy) * kToPixels;
        const float dx2 = (v2.fx - v0.fx) * kToPixels, dy2 = (v2.fy - v0.fy) * kToPixels;
        const float inv_area = float(kSubpixel * kSubpixel) / static_cast<float>(area);
        const float ox = static_cast<float>(min_x) - x0, oy = static_cast<float>(min_y) - y0;
        const Vec4 p0 = {v0.z, v0.invw, v0.uw, v0.vw};
        const Vec4 dp1 = Vec4{v1.z, v1.invw, v1.uw, v1.vw} - p0;
        const Vec4 dp2 = Vec4{v2.z, v2.invw, v2.uw, v2.vw} - p0;
        p_dx = (dp1 * dy2 - dp2 * dy1) * inv_area;
        p_dy = (dp2 * dx1 - dp1 * dx2) * inv_area;
        p_origin = p0 + p_dx * ox + p_dy * oy;
        const Vec4 c0 = {v0.r, v0.g, v0.b, v0.a};
        if (shading.flat) {
            c_origin = c0;
            c_dx = c_dy = Vec4{0, 0, 0, 0};
        } else {
            const Vec4 dc1 = Vec4{v1.r, v1.g, v1.b, v1.a} - c0;
            const Vec4 dc2 = Vec4{v2.r, v2.g, v2.b, v2.a} - c0;
            c_dx = (dc1 * dy2 - dc2 * dy1) * inv_area;
            c_dy = (dc2 * dx1 - dc1 * dx2) * inv_area;
            c_origin = c0 + c_dx * ox + c_dy * oy;
        }
    }
};

// The texel density of a triangle, for the choice of filter and level.
float triangle_lod(const TextureSampler& sampler, const RasterVertex& v0, const RasterVertex& v1,
                   const RasterVertex& v2, double screen_area) {
    const float u0 = v0.uw / v0.invw, t0 = v0.vw / v0.invw;
    const float u1 = v1.uw / v1.invw, t1 = v1.vw / v1.invw;
    const float u2 = v2.uw / v2.invw, t2 = v2.vw / v2.invw;
    const double texel_area = std::fabs(double(u1 - u0) * (t2 - t0) - double(u2 - u0) * (t1 - t0)) *
                              sampler.levels[0].width * sampler.levels[0].height;
    if (!(screen_area > 0.0) || !(texel_area > 0.0)) {
        return 0.0f;
    }
    return static_cast<float>(0.5 * std::log2(texel_area / screen_area));
}

// The pixel loop of one triangle, fed row by row with the covered run.
template <Fetch F, Blend B>
class TriangleShader {
public:
    TriangleShader(const RasterTarget& target, const PixelShading& shading, const TextureSampler::Choice& choice,
                   const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2, int64_t area, int min_x,
                   int min_y)
        : shader_(target, shading, choice), shading_(shading), v0_(v0), v1_(v1), v2_(v2), area_(area),
          min_x_(min_x), min_y_(min_y) {}

    // Pixels min_x + first ... min_x + last of row y, all covered.
    void run(int y, int first, int last) {
        // Most small triangles cover no pixel centre at all; their planes
        // are never set up.
        if (!planes_ready_) {
            planes_.set(shading_, v0_, v1_, v2_, area_, min_x_, min_y_);
            planes_ready_ = true;
        }
        const float fy = static_cast<float>(y - min_y_);
        const Vec4 p_row = planes_.p_origin + planes_.p_dy * fy;
        const Vec4 c_row = planes_.c_origin + planes_.c_dy * fy;
        uint32_t* color_row = shader_.color_row(y);
        uint16_t* depth_row = shader_.depth_row(y);
        for (int i = first; i <= last; ++i) {
            const float fi = static_cast<float>(i);
            shader_.pixel(min_x_ + i, color_row, depth_row, p_row + planes_.p_dx * fi, c_row + planes_.c_dx * fi);
        }
    }

private:
    const Shader<F, B> shader_;
    const PixelShading& shading_;
    const RasterVertex &v0_, &v1_, &v2_;
    int64_t area_;
    int min_x_, min_y_;
    bool planes_ready_ = false;
    Planes planes_;
};

// Rows of a triangle at most kSmallSpan pixels wide whose vertices lie
// within kSmallExtent pixels of each other: its edge values fit in 32 bits,
// and four pixels are tested at once.
constexpr int kSmallSpan = 16;
constexpr int kSmallExtent = 64;

#if defined(__SSE2__)
template <class Run>
void walk_small_rows(const Edge& e0, const Edge& e1, const Edge& e2, int span, int first_row, int last_row,
                     Run&& run) {
    // Lane k of group g holds the edge at pixel 4 g + k of the row.
    int32_t step_x[3] = {static_cast<int32_t>(e0.step_x), static_cast<int32_t>(e1.step_x),
                         static_cast<int32_t>(e2.step_x)};
    __m128i offsets[3];
    for (int k = 0; k < 3; ++k) {
        const int32_t s = step_x[k];
        offsets[k] = _mm_set_epi32(3 * s, 2 * s, s, 0);
    }
    const __m128i group_step[3] = {_mm_set1_epi32(4 * step_x[0]), _mm_set1_epi32(4 * step_x[1]),
                                   _mm_set1_epi32(4 * step_x[2])};
    const int groups = span / 4 + 1;
    const uint32_t inside = (2u << span) - 1;  // pixels 0 .. span
    int32_t r0 = static_cast<int32_t>(e0.row), r1 = static_cast<int32_t>(e1.row), r2 = static_cast<int32_t>(e2.row);
    const int32_t s0 = static_cast<int32_t>(e0.step_y), s1 = static_cast<int32_t>(e1.step_y),
                  s2 = static_cast<int32_t>(e2.step_y);
    for (int y = first_row; y <= last_row; ++y) {
        __m128i a = _mm_add_epi32(_mm_set1_epi32(r0), offsets[0]);
        __m128i b = _mm_add_epi32(_mm_set1_epi32(r1), offsets[1]);
        __m128i c = _mm_add_epi32(_mm_set1_epi32(r2), offsets[2]);
        uint32_t outside = static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_or_si128(_mm_or_si128(a, b), c))));
        for (int g = 1; g < groups; ++g) {
            a = _mm_add_epi32(a, group_step[0]);
            b = _mm_add_epi32(b, group_step[1]);
            c = _mm_add_epi32(c, group_step[2]);
            outside |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_or_si128(_mm_or_si128(a, b), c))))
                       << (4 * g);
        }
        // A triangle's pixels in a row are contiguous.
        const uint32_t covered = ~outside & inside;
        if (covered) {
            run(y, __builtin_ctz(covered), 31 - __builtin_clz(covered));
        }
        r0 += s0;
        r1 += s1;
        r2 += s2;
    }
}
#endif

template <Fetch F, Blend B>
void fill_triangle(const RasterTarget& target, const PixelShading& shading, const TextureSampler::Choice& choice,
                   RowRange rows, const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2,
                   int64_t area, int min_x, int min_y, int max_x, int max_y, bool small) {
    // The planes are laid from the corner of the whole (viewport-clipped)
    // box, so that a band boundary changes no value.
    const int first_row = std::max(min_y, rows.first), last_row = std::min(max_y, rows.last);
    const int64_t px = int64_t(min_x) * kSubpixel, py = int64_t(first_row) * kSubpixel;
    Edge e0 = make_edge(v1, v2, px, py);
    Edge e1 = make_edge(v2, v0, px, py);
    Edge e2 = make_edge(v0, v1, px, py);
    const int span = max_x - min_x;
    TriangleShader<F, B> shader(target, shading, choice, v0, v1, v2, area, min_x, min_y);
#if defined(__SSE2__)
    if (small) {
        walk_small_rows(e0, e1, e2, span, first_row, last_row,
                        [&](int y, int first, int last) { shader.run(y, first, last); });
        return;
    }
#else
    (void)small;
#endif
    Vec4 per_step{};
    if (span > 0) {
        const Vec4 steps = {static_cast<float>(e0.step_x), static_cast<float>(e1.step_x),
                            static_cast<float>(e2.step_x), 1.0f};
        per_step = Vec4{1.0f, 1.0f, 1.0f, 1.0f} / steps;  // infinite for a flat edge, which is not narrowed
    }
    for (int y = first_row; y <= last_row; ++y) {
        int first = 0, last = span;
        narrow_span(e0, per_step[0], first, last);
        narrow_span(e1, per_step[1], first, last);
        narrow_span(e2, per_step[2], first, last);
        if (first <= last) {
            shader.run(y, first, last);
        }
        e0.row += e0.step_y;
        e1.row += e1.step_y;
        e2.row += e2.step_y;
    }
}

// Calls `body` with the fetch and blend kinds as template arguments.
template <class Body>
void with_kinds(Fetch fetch, Blend blend, Body&& body) {
    auto with_blend = [&]<Fetch F>() {
        switch (blend) {
        case Blend::Diffuse:
            body.template operator()<F, Blend::Diffuse>();
            break;
        case Blend::Modulate:
            body.template operator()<F, Blend::Modulate>();
            break;
        case Blend::ModulateTextureAlpha:
            body.template operator()<F, Blend::ModulateTextureAlpha>();
            break;
        case Blend::General:
            body.template operator()<F, Blend::General>();
            break;
        }
    };
    switch (fetch) {
    case Fetch::White:
        with_blend.template operator()<Fetch::White>();
        break;
    case Fetch::FastBilinear:
        with_blend.template operator()<Fetch::FastBilinear>();
        break;
    case Fetch::FastPoint:
        with_blend.template operator()<Fetch::FastPoint>();
        break;
    case Fetch::Generic:
        with_blend.template operator()<Fetch::Generic>();
        break;
    }
}

Fetch fetch_kind(const PixelShading& shading, const TextureSampler::Choice& choice) {
    if (!shading.sampler) {
        return Fetch::White;
    }
    if (!choice.fast_wrap) {
        return Fetch::Generic;
    }
    return choice.linear ? Fetch::FastBilinear : Fetch::FastPoint;
}

TextureSampler::Choice choose_for(const PixelShading& shading, float lod) {
    return shading.choice_per_primitive ? shading.sampler->choose(lod) : shading.choice;
}

}  // namespace

void finish_shading(PixelShading* shading) {
    shading->choice_per_primitive = shading->sampler && shading->sampler->needs_lod();
    shading->choice = shading->sampler ? shading->sampler->choose(0.0f) : TextureSampler::Choice{nullptr, false, false};
}

uint32_t blend_stage(const StageBlend& stage, uint32_t texture, uint32_t diffuse) {
    if (stage.color_op == D3DTOP_DISABLE) {
        return diffuse;
    }
    const uint32_t texture_alpha = texture >> 24, diffuse_alpha = diffuse >> 24;
    const uint32_t factor_alpha = stage.texture_factor >> 24;
    const uint32_t c1 = stage_argument(stage.color_arg1, stage, texture, diffuse);
    const uint32_t c2 = stage_argument(stage.color_arg2, stage, texture, diffuse);
    const uint32_t c0 = stage_argument(stage.color_arg0, stage, texture, diffuse);
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        result |= stage_operation(stage.color_op, channel(c1, shift), channel(c2, shift), channel(c0, shift),
                                  texture_alpha, diffuse_alpha, factor_alpha)
                  << shift;
    }
    uint32_t alpha = diffuse_alpha;
    if (stage.alpha_op != D3DTOP_DISABLE) {
        const uint32_t a1 = stage_argument(stage.alpha_arg1, stage, texture, diffuse) >> 24;
        const uint32_t a2 = stage_argument(stage.alpha_arg2, stage, texture, diffuse) >> 24;
        const uint32_t a0 = stage_argument(stage.alpha_arg0, stage, texture, diffuse) >> 24;
        alpha = stage_operation(stage.alpha_op, a1, a2, a0, texture_alpha, diffuse_alpha, factor_alpha);
    }
    return result | (alpha << 24);
}

void raster_triangle(const RasterTarget& target, const PixelShading& shading, RowRange rows, int cull,
                     const RasterVertex& v0, const RasterVertex& v1_in, const RasterVertex& v2_in) {
    // The rows first: many triangles hold no pixel centre, or none in the
    // band of rows this call draws.
    const int32_t lo_y = std::min(v0.fy, std::min(v1_in.fy, v2_in.fy)), hi_y = std::max(v0.fy, std::max(v1_in.fy, v2_in.fy));
    const int min_y = std::max((lo_y + kSubpixel - 1) >> kSubpixelBits, target.y0);
    const int max_y = std::min(hi_y >> kSubpixelBits, target.y1 - 1);
    if (min_y > max_y || max_y < rows.first || min_y > rows.last) {
        return;
    }
    const int32_t lo_x = std::min(v0.fx, std::min(v1_in.fx, v2_in.fx)), hi_x = std::max(v0.fx, std::max(v1_in.fx, v2_in.fx));
    const int min_x = std::max((lo_x + kSubpixel - 1) >> kSubpixelBits, target.x0);
    const int max_x = std::min(hi_x >> kSubpixelBits, target.x1 - 1);
    if (min_x > max_x) {
        return;
    }
    const RasterVertex* v1 = &v1_in;
    const RasterVertex* v2 = &v2_in;
    int64_t area = (int64_t(v1->fx) - v0.fx) * (int64_t(v2->fy) - v0.fy) -
                   (int64_t(v2->fx) - v0.fx) * (int64_t(v1->fy) - v0.fy);
    if (area == 0) {
        return;
    }
    // With y growing downwards a positive area is a clockwise turn on screen.
    if ((cull > 0 && area > 0) || (cull < 0 && area < 0)) {
        return;
    }
    if (area < 0) {
        std::swap(v1, v2);
        area = -area;
    }
    float lod = 0.0f;
    if (shading.choice_per_primitive) {
        lod = triangle_lod(*shading.sampler, v0, *v1, *v2, double(area) / (2.0 * kSubpixel * kSubpixel));
    }
    const TextureSampler::Choice choice = choose_for(shading, lod);
    const bool small = max_x - min_x < kSmallSpan && hi_x - lo_x < kSmallExtent * kSubpixel &&
                       hi_y - lo_y < kSmallExtent * kSubpixel;
    with_kinds(fetch_kind(shading, choice), shading.blend, [&]<Fetch F, Blend B>() {
        fill_triangle<F, B>(target, shading, choice, rows, v0, *v1, *v2, area, min_x, min_y, max_x, max_y, small);
    });
}

namespace {

template <Fetch F, Blend B>
void walk_line(const RasterTarget& target, const PixelShading& shading, const TextureSampler::Choice& choice,
               RowRange rows, bool last_pixel, const RasterVertex& v0, const RasterVertex& v1) {
    Shader<F, B> shader(target, shading, choice);
    constexpr float kToPixels = 1.0f / kSubpixel;
    const float x0 = v0.fx * kToPixels, y0 = v0.fy * kToPixels;
    const float x1 = v1.fx * kToPixels, y1 = v1.fy * kToPixels;
    const bool x_major = std::fabs(x1 - x0) >= std::fabs(y1 - y0);
    // Along the major axis: from the start pixel up to (without) the end
    // pixel, pixel centres rounding half towards the line's start.
    const float start = x_major ? x0 : y0, end = x_major ? x1 : y1;
    const float minor_start = x_major ? y0 : x0, minor_end = x_major ? y1 : x1;
    const bool forward = end >= start;
    const int first = forward ? static_cast<int>(std::floor(start + 0.5f)) : static_cast<int>(std::ceil(start - 0.5f));
    const int stop = forward ? static_cast<int>(std::floor(end + 0.5f)) : static_cast<int>(std::ceil(end - 0.5f));
    const int step = forward ? 1 : -1;
    const int count = (stop - first) * step + (last_pixel ? 1 : 0);
    const float length = end - start;

    const Vec4 p0 = {v0.z, v0.invw, v0.uw, v0.vw};
    const Vec4 dp = Vec4{v1.z, v1.invw, v1.uw, v1.vw} - p0;
    const Vec4 c0 = {v0.r, v0.g, v0.b, v0.a};
    const Vec4 dc = shading.flat ? Vec4{0, 0, 0, 0} : Vec4{v1.r, v1.g, v1.b, v1.a} - c0;
    for (int k = 0; k < count; ++k) {
        const int major = first + k * step;
        float t = length != 0.0f ? (static_cast<float>(major) - start) / length : 0.0f;
        t = std::clamp(t, 0.0f, 1.0f);
        const int minor = static_cast<int>(std::floor(minor_start + (minor_end - minor_start) * t + 0.5f));
        const int x = x_major ? major : minor, y = x_major ? minor : major;
        if (x < target.x0 || x >= target.x1 || y < target.y0 || y >= target.y1 || !rows.holds(y)) {
            continue;
        }
        shader.pixel(x, shader.color_row(y), shader.depth_row(y), p0 + dp * t, c0 + dc * t);
    }
}

}  // namespace

void raster_line(const RasterTarget& target, const PixelShading& shading, RowRange rows, bool last_pixel,
                 const RasterVertex& v0, const RasterVertex& v1) {
    // A line has no area to measure texel density on; it samples level 0
    // as magnified.
    const TextureSampler::Choice choice = choose_for(shading, 0.0f);
    with_kinds(fetch_kind(shading, choice), shading.blend, [&]<Fetch F, Blend B>() {
        walk_line<F, B>(target, shading, choice, rows, last_pixel, v0, v1);
    });
}

void raster_point(const RasterTarget& target, const PixelShading& shading, RowRange rows, const RasterVertex& v) {
    const int x = static_cast<int>(std::floor(v.fx * (1.0f / kSubpixel) + 0.5f));
    const int y = static_cast<int>(std::floor(v.fy * (1.0f / kSubpixel) + 0.5f));
    if (x < target.x0 || x >= target.x1 || y < target.y0 || y >= target.y1 || !rows.holds(y)) {
        return;
    }
    const TextureSampler::Choice choice = choose_for(shading, 0.0f);
    with_kinds(fetch_kind(shading, choice), shading.blend, [&]<Fetch F, Blend B>() {
        Shader<F, B> shader(target, shading, choice);
        shader.pixel(x, shader.color_row(y), shader.depth_row(y), Vec4{v.z, v.invw, v.uw, v.vw},
                     Vec4{v.r, v.g, v.b, v.a});
    });
}
