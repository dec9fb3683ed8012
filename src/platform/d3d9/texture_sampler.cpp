// Texel addressing and filtering for every addressing mode.
#include "platform/d3d9/texture_sampler.h"

#include <algorithm>
#include <cmath>

namespace {

bool is_linear(DWORD filter) { return filter != D3DTEXF_POINT && filter != D3DTEXF_NONE; }

bool power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Brings a coordinate into a range where the texel index cannot overflow
// and the result of the addressing mode is unchanged.
float reduce(float t, DWORD mode)
{
    if (!std::isfinite(t)) {
        return 0.0f;
    }
    switch (mode) {
    case D3DTADDRESS_WRAP:
        return t - std::floor(t);
    case D3DTADDRESS_MIRROR:
        return t - 2.0f * std::floor(t * 0.5f);
    default:
        return std::clamp(t, -2.0f, 3.0f);
    }
}

// Texel index `i` (any integer) under the addressing mode; -1 for the border.
int address(int i, int n, DWORD mode)
{
    switch (mode) {
    case D3DTADDRESS_MIRROR: {
        const int period = 2 * n;
        int m = i % period;
        if (m < 0) {
            m += period;
        }
        return m < n ? m : period - 1 - m;
    }
    case D3DTADDRESS_CLAMP:
        return std::clamp(i, 0, n - 1);
    case D3DTADDRESS_BORDER:
        return i < 0 || i >= n ? -1 : i;
    case D3DTADDRESS_MIRRORONCE:
        return std::clamp(i < 0 ? -i - 1 : i, 0, n - 1);
    default: { // wrap, and anything unknown
        int m = i % n;
        return m < 0 ? m + n : m;
    }
    }
}

} // namespace

bool TextureSampler::needs_lod() const
{
    return mip_filter != D3DTEXF_NONE || is_linear(mag_filter) != is_linear(min_filter);
}

TextureSampler::Choice TextureSampler::choose(float lod) const
{
    const bool minified = lod > 0.0f;
    size_t level = 0;
    if (mip_filter != D3DTEXF_NONE && levels.size() > 1) {
        // Nearest level per triangle: a linear mip filter is taken as point.
        const float biased = lod + lod_bias;
        const float wanted = std::isfinite(biased) ? std::clamp(std::floor(biased + 0.5f), 0.0f, 64.0f) : 0.0f;
        level = std::min(static_cast<size_t>(wanted), levels.size() - 1);
        level = std::max(level, std::min(static_cast<size_t>(max_mip_level), levels.size() - 1));
    }
    const SamplerLevel& chosen = levels[level];
    Choice choice;
    choice.level = &chosen;
    choice.linear = is_linear(minified ? min_filter : mag_filter);
    choice.fast_wrap = address_u == D3DTADDRESS_WRAP && address_v == D3DTADDRESS_WRAP && power_of_two(chosen.width) &&
        power_of_two(chosen.height);
    return choice;
}

uint32_t sample_texture(const TextureSampler& sampler, const TextureSampler::Choice& choice, float u, float v)
{
    const SamplerLevel& level = *choice.level;
    const float x = reduce(u, sampler.address_u) * static_cast<float>(level.width);
    const float y = reduce(v, sampler.address_v) * static_cast<float>(level.height);
    auto texel = [&](int i, int j) {
        const int column = address(i, level.width, sampler.address_u);
        const int row = address(j, level.height, sampler.address_v);
        if (column < 0 || row < 0) {
            return sampler.border;
        }
        return level.texels[static_cast<size_t>(row) * level.width + column];
    };
    if (!choice.linear) {
        return texel(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
    }
    const int fixed_x = static_cast<int>(std::floor((x - 0.5f) * 256.0f));
    const int fixed_y = static_cast<int>(std::floor((y - 0.5f) * 256.0f));
    const int i = fixed_x >> 8, j = fixed_y >> 8;
    return bilinear_blend(texel(i, j), texel(i + 1, j), texel(i, j + 1), texel(i + 1, j + 1),
                          static_cast<uint32_t>(fixed_x & 255), static_cast<uint32_t>(fixed_y & 255));
}
