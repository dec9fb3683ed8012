// The stage-0 blend and the blend into the target for one pixel, in any
// setting the device takes: the rules the one-pixel loop goes through
// where the lanes have no step of their own.
#include "platform/d3d9/pixel_shader.h"

#include <algorithm>

namespace {

using namespace pixel_loops;

uint32_t stage_argument(DWORD selector, const StageBlend& stage, uint32_t texture, uint32_t diffuse)
{
    uint32_t value;
    switch (selector & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
    case D3DTA_CURRENT: // stage 0: current is the diffuse colour
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
    default: // specular and temp hold black here
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
                         uint32_t diffuse_alpha, uint32_t factor_alpha)
{
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
    default: // SELECTARG1, and the operations this device does not offer
        return x1;
    }
}

// The factor of one channel (`shift`) of a blend.
uint32_t blend_factor(DWORD factor, uint32_t source, uint32_t dest, int shift)
{
    switch (factor) {
    case D3DBLEND_ZERO:
        return 0;
    case D3DBLEND_SRCCOLOR:
        return channel(source, shift);
    case D3DBLEND_INVSRCCOLOR:
        return 255 - channel(source, shift);
    case D3DBLEND_SRCALPHA:
        return source >> 24;
    case D3DBLEND_INVSRCALPHA:
        return 255 - (source >> 24);
    case D3DBLEND_DESTALPHA:
        return dest >> 24;
    case D3DBLEND_INVDESTALPHA:
        return 255 - (dest >> 24);
    case D3DBLEND_DESTCOLOR:
        return channel(dest, shift);
    case D3DBLEND_INVDESTCOLOR:
        return 255 - channel(dest, shift);
    default: // ONE
        return 255;
    }
}

} // namespace

uint32_t blend_output(const PixelOutput& output, uint32_t source, uint32_t dest)
{
    uint32_t result = 0;
    for (int shift = 0; shift <= 24; shift += 8) {
        const uint32_t sum = mul8(channel(source, shift), blend_factor(output.src_blend, source, dest, shift)) +
            mul8(channel(dest, shift), blend_factor(output.dest_blend, source, dest, shift));
        result |= std::min(sum, 255u) << shift;
    }
    return result;
}

uint32_t blend_stage(const StageBlend& stage, uint32_t texture, uint32_t diffuse)
{
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
