// Texel addressing and filtering.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/d3d9/texture_sampler.h"

namespace {

// A 4 x 1 texture whose texels are 0x10, 0x20, 0x30, 0x40 in blue.
struct Row {
    std::vector<uint32_t> texels = {0xFF000010, 0xFF000020, 0xFF000030, 0xFF000040};
    TextureSampler sampler;
    Row() { sampler.levels = {SamplerLevel{texels.data(), 4, 1}}; }
    uint32_t point(float u)
    {
        sampler.min_filter = sampler.mag_filter = D3DTEXF_POINT;
        return sample_texture(sampler, sampler.choose(0.0f), u, 0.5f) & 0xFF;
    }
};

TEST(TextureSamplerTest, AddressingModesOutsideZeroToOne)
{
    struct Case {
        DWORD mode;
        float u;
        uint32_t blue;
    } cases[] = {
        {D3DTADDRESS_WRAP, 0.1f, 0x10},        {D3DTADDRESS_WRAP, 1.1f, 0x10},
        {D3DTADDRESS_WRAP, -0.1f, 0x40},       {D3DTADDRESS_WRAP, -3.9f, 0x10},
        {D3DTADDRESS_MIRROR, 1.1f, 0x40},      {D3DTADDRESS_MIRROR, 1.9f, 0x10},
        {D3DTADDRESS_MIRROR, -0.1f, 0x10},     {D3DTADDRESS_MIRROR, 2.1f, 0x10},
        {D3DTADDRESS_CLAMP, 5.0f, 0x40},       {D3DTADDRESS_CLAMP, -5.0f, 0x10},
        {D3DTADDRESS_BORDER, 1.1f, 0x99},      {D3DTADDRESS_BORDER, -0.1f, 0x99},
        {D3DTADDRESS_BORDER, 0.6f, 0x30},      {D3DTADDRESS_MIRRORONCE, -0.1f, 0x10},
        {D3DTADDRESS_MIRRORONCE, -0.6f, 0x30}, {D3DTADDRESS_MIRRORONCE, -3.0f, 0x40},
    };
    for (const Case& c : cases) {
        Row row;
        row.sampler.address_u = c.mode;
        row.sampler.border = 0xFF000099;
        EXPECT_EQ(row.point(c.u), c.blue) << "mode " << c.mode << " u " << c.u;
    }
    Row row;
    EXPECT_EQ(row.point(1e30f), row.point(0.0f)) << "huge coordinates stay inside";
    EXPECT_EQ(row.point(NAN), 0x10u);
}

TEST(TextureSamplerTest, BilinearWeightsAroundTexelCentres)
{
    Row row;
    row.sampler.min_filter = row.sampler.mag_filter = D3DTEXF_LINEAR;
    row.sampler.address_u = D3DTADDRESS_CLAMP;
    auto at = [&](float u) { return sample_texture(row.sampler, row.sampler.choose(0.0f), u, 0.5f) & 0xFF; };
    EXPECT_EQ(at(0.125f), 0x10u); // texel 0's centre
    EXPECT_EQ(at(0.25f), 0x18u);  // halfway to texel 1
    EXPECT_EQ(at(0.875f), 0x40u);
    EXPECT_EQ(at(0.0f), 0x10u); // clamped at the edge
    row.sampler.address_u = D3DTADDRESS_WRAP;
    EXPECT_EQ(at(0.0f), 0x28u); // halfway between the last texel and the first
}

TEST(TextureSamplerTest, BilinearBlendIsExactAtWholeTexels)
{
    EXPECT_EQ(bilinear_blend(0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00, 0, 0), 0x11223344u);
    EXPECT_EQ(bilinear_blend(0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 200, 13), 0xFF000000u);
    EXPECT_EQ(bilinear_blend(0, 0xFFFFFFFF, 0, 0xFFFFFFFF, 128, 0), 0x7F7F7F7Fu);
    EXPECT_EQ(bilinear_blend(0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0, 128), 0x7F7F7F7Fu);
}

TEST(TextureSamplerTest, FilterAndLevelFollowTheTexelDensity)
{
    std::vector<uint32_t> big(16, 0xFF0000FF), small(4, 0xFF00FF00), tiny(1, 0xFFFF0000);
    TextureSampler sampler;
    sampler.levels = {SamplerLevel{big.data(), 4, 4}, SamplerLevel{small.data(), 2, 2},
                      SamplerLevel{tiny.data(), 1, 1}};
    sampler.min_filter = D3DTEXF_LINEAR;
    sampler.mag_filter = D3DTEXF_POINT;
    EXPECT_TRUE(sampler.needs_lod());
    EXPECT_TRUE(sampler.choose(1.0f).linear) << "minified";
    EXPECT_FALSE(sampler.choose(-1.0f).linear) << "magnified";
    EXPECT_FALSE(sampler.choose(0.0f).linear) << "a texel a pixel counts as magnified";
    EXPECT_EQ(sampler.choose(5.0f).level, &sampler.levels[0]) << "no mip filter: level 0";
    sampler.mip_filter = D3DTEXF_POINT;
    EXPECT_EQ(sampler.choose(0.9f).level, &sampler.levels[1]);
    EXPECT_EQ(sampler.choose(0.49f).level, &sampler.levels[0]) << "the nearest level";
    EXPECT_EQ(sampler.choose(0.5f).level, &sampler.levels[1]);
    sampler.lod_bias = 1.0f;
    EXPECT_EQ(sampler.choose(0.9f).level, &sampler.levels[2]);
    sampler.lod_bias = 0.0f;
    EXPECT_EQ(sampler.choose(7.0f).level, &sampler.levels[2]);
    EXPECT_EQ(sampler.choose(-2.0f).level, &sampler.levels[0]);
    sampler.max_mip_level = 1;
    EXPECT_EQ(sampler.choose(-2.0f).level, &sampler.levels[1]);
    TextureSampler plain;
    plain.levels = {SamplerLevel{big.data(), 4, 4}};
    plain.min_filter = plain.mag_filter = D3DTEXF_LINEAR;
    EXPECT_FALSE(plain.needs_lod());
    EXPECT_TRUE(plain.choose(0.0f).fast_wrap);
    plain.levels = {SamplerLevel{big.data(), 4, 3}};
    EXPECT_FALSE(plain.choose(0.0f).fast_wrap) << "a height that is no power of two";
    plain.levels = {SamplerLevel{big.data(), 4, 4}};
    plain.address_v = D3DTADDRESS_CLAMP;
    EXPECT_FALSE(plain.choose(0.0f).fast_wrap);
}

} // namespace
