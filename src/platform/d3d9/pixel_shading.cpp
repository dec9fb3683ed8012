// The blend factors the device takes, a shading setting completed once
// its sampler is in place, and the texture's part of the lanes' constants.
#include "platform/d3d9/pixel_shading.h"

bool blend_factor_known(DWORD factor) { return factor >= D3DBLEND_ZERO && factor <= D3DBLEND_INVDESTCOLOR; }

bool blend_factor_in_lanes(DWORD factor)
{
    return factor == D3DBLEND_ZERO || factor == D3DBLEND_ONE || factor == D3DBLEND_SRCALPHA ||
        factor == D3DBLEND_INVSRCALPHA;
}

void finish_shading(PixelShading* shading)
{
    shading->choice_per_primitive = shading->sampler && shading->sampler->needs_lod();
    shading->choice = shading->sampler ? shading->sampler->choose(0.0f) : TextureSampler::Choice{nullptr, false, false};
}

void LaneConstants::set_texture(const TextureSampler::Choice& choice)
{
    texels = nullptr;
    width_shift = 0;
    const SamplerLevel* level = choice.level;
    for (int lane = 0; lane < 4; ++lane) {
        width_mask[lane] = level ? level->width - 1 : 0;
        height_mask[lane] = level ? level->height - 1 : 0;
        // Bilinear positions are taken in 1/256 texel.
        const float scale = choice.linear ? 256.0f : 1.0f;
        scale_u[lane] = level ? static_cast<float>(level->width) * scale : 0.0f;
        scale_v[lane] = level ? static_cast<float>(level->height) * scale : 0.0f;
    }
    if (level) {
        texels = level->texels;
        width_shift = level->width_shift;
    }
}
