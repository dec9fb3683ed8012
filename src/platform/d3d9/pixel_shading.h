// How a draw call shades its pixels: the stage-0 blend of texture and
// diffuse colour, the alpha test and blend into the target, the depth test,
// and the same setting in the form the pixel loops in lanes read it. The
// device fills these from its states; the pixel loops, the depth tiles and
// the rasterizer read them.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9types.h"
#include "platform/d3d9/texture_sampler.h"

// How stage 0 combines texture and diffuse colour.
enum class Blend {
    Diffuse,              // colour op disabled: the diffuse colour
    Modulate,             // colour and alpha: texture x diffuse
    ModulateTextureAlpha, // colour texture x diffuse, alpha from the texture
    DiffuseModulateAlpha, // colour from the diffuse, alpha texture x diffuse (text)
    General,              // any other setting
};

struct StageBlend {
    DWORD color_op, color_arg1, color_arg2, color_arg0;
    DWORD alpha_op, alpha_arg1, alpha_arg2, alpha_arg0;
    uint32_t texture_factor;
    uint32_t constant;
};

// What happens to a shaded pixel before it is stored: the alpha test
// against a reference, and the blend with the pixel already there, each
// channel source x src_blend + destination x dest_blend.
struct PixelOutput {
    bool alpha_test = false;
    DWORD alpha_func = D3DCMP_ALWAYS;
    uint32_t alpha_ref = 0;
    bool blend = false;
    DWORD src_blend = D3DBLEND_ONE;
    DWORD dest_blend = D3DBLEND_ZERO;
};

// The blend factors the device takes; any other counts as the default
// (ONE for the source, ZERO for the destination).
bool blend_factor_known(DWORD factor);
// Of those, the ones the pixel loops in lanes take.
bool blend_factor_in_lanes(DWORD factor);

struct PixelShading {
    bool depth_test = false;
    bool depth_write = false;
    DWORD depth_func = D3DCMP_LESSEQUAL;
    bool flat = false; // flat shading: the colour of the first vertex
    bool color_write = true;
    Blend blend = Blend::Diffuse;
    StageBlend stage{};
    PixelOutput output{};
    const TextureSampler* sampler = nullptr; // null: the texture reads opaque white
    // Pixels of a triangle shaded at once: 8 (where the processor has
    // AVX2, else 4), 4, or 1, the loop the others are tested against.
    int lanes = 8;

    // Filled by finish_shading: whether level and filter are chosen per
    // primitive, and the choice when they are not.
    bool choice_per_primitive = false;
    TextureSampler::Choice choice{};
};

// Completes a shading setting once its sampler is in place.
void finish_shading(PixelShading* shading);

// What the pixel loops in lanes read for every pixel of a call, in the
// form they read it: lane masks of the depth outcomes the test accepts
// (less, equal, greater), the bits or-ed into every colour, the texture
// level's masks and scales, and the row strides of the two buffers, each
// beside a 1, as 16-bit pairs.
struct LaneConstants {
    alignas(16) int32_t accept[3][4];
    alignas(16) uint32_t color_set_bits[4];
    alignas(16) int32_t width_mask[4];
    alignas(16) int32_t height_mask[4];
    alignas(16) float scale_u[4];
    alignas(16) float scale_v[4];
    alignas(16) int16_t color_stride[8];
    alignas(16) int16_t depth_stride[8];
    // The alpha test's accepted outcomes and reference, and for each blend
    // factor the mask of the source alpha it takes and the bits it flips
    // (255 - a), per 16-bit channel.
    alignas(16) int32_t alpha_accept[3][4];
    alignas(16) int32_t alpha_ref[4];
    alignas(16) int16_t source_alpha[8];
    alignas(16) int16_t source_flip[8];
    alignas(16) int16_t dest_alpha[8];
    alignas(16) int16_t dest_flip[8];
    const uint32_t* texels = nullptr;
    int width_shift = 0;
    // The depth test takes less and equal: one comparison.
    bool less_equal = false;
    // 8 or 4 lanes; 0 where the loop goes one pixel at a time, as when
    // rows lie too far apart for 16-bit offsets.
    int width = 0;

    // The texture fields, for a level and filter.
    void set_texture(const TextureSampler::Choice& choice);
};
