// Sampling of a texture bound to stage 0: addressing, point and bilinear
// filtering, and the choice of mip level and filter per triangle.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9types.h"

// One level as the sampler reads it: 8-bit ARGB texels, rows packed.
struct SamplerLevel {
    const uint32_t* texels;
    int width;
    int height;
    int width_shift = 0; // log2 of the width, when a power of two
};

struct TextureSampler {
    std::vector<SamplerLevel> levels; // level 0 first, never empty
    DWORD address_u = D3DTADDRESS_WRAP;
    DWORD address_v = D3DTADDRESS_WRAP;
    uint32_t border = 0;
    DWORD mag_filter = D3DTEXF_POINT;
    DWORD min_filter = D3DTEXF_POINT;
    DWORD mip_filter = D3DTEXF_NONE;
    float lod_bias = 0.0f;
    UINT max_mip_level = 0;

    // What one triangle samples: its level and whether bilinearly.
    struct Choice {
        const SamplerLevel* level;
        bool linear;
        bool fast_wrap; // both axes wrap on a power-of-two level
    };

    // True when the filter and level depend on the triangle's texel density.
    bool needs_lod() const;

    // `lod` is log2 of texels per pixel along the larger axis (below 0 when
    // magnified). Without a mip filter only level 0 is read.
    Choice choose(float lod) const;
};

// One texel colour 0xAARRGGBB at texture coordinates (u, v), texel centres at
// ((i + 0.5) / width, (j + 0.5) / height).
uint32_t sample_texture(const TextureSampler& sampler, const TextureSampler::Choice& choice, float u, float v);

// Bilinear blend of four texels with 8-bit fractions fx, fy (0..255): the
// two columns first, then across; each step rounds down.
inline uint32_t bilinear_blend(uint32_t c00, uint32_t c10, uint32_t c01, uint32_t c11, uint32_t fx, uint32_t fy)
{
    auto lerp = [](uint32_t a, uint32_t b, uint32_t f) {
        const uint32_t rb = (((a & 0x00FF00FFu) * (256 - f) + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
        const uint32_t ag = ((((a >> 8) & 0x00FF00FFu) * (256 - f) + ((b >> 8) & 0x00FF00FFu) * f)) & 0xFF00FF00u;
        return rb | ag;
    };
    return lerp(lerp(c00, c01, fy), lerp(c10, c11, fy), fx);
}
