// Reading every texture format into 8-bit ARGB, pixel bytes written out in
// each case.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d9/texel_formats.h"

namespace {

// One pixel of `format` from its bytes.
uint32_t read_one(D3DFORMAT format, std::vector<uint8_t> bytes)
{
    bytes.resize(16, 0);
    uint32_t out = 0xDEADBEEF;
    EXPECT_TRUE(read_level_argb8(format, bytes.data(), 16, 1, 1, &out)) << format;
    return out;
}

std::vector<uint8_t> half_bytes(std::initializer_list<uint16_t> halves)
{
    std::vector<uint8_t> bytes;
    for (uint16_t h : halves) {
        bytes.push_back(uint8_t(h & 0xFF));
        bytes.push_back(uint8_t(h >> 8));
    }
    return bytes;
}

std::vector<uint8_t> float_bytes(std::initializer_list<float> floats)
{
    std::vector<uint8_t> bytes;
    for (float f : floats) {
        uint8_t b[4];
        std::memcpy(b, &f, 4);
        bytes.insert(bytes.end(), b, b + 4);
    }
    return bytes;
}

TEST(TexelFormatsTest, ReadsEveryUncompressedFormat)
{
    struct Case {
        D3DFORMAT format;
        std::vector<uint8_t> bytes; // little-endian, as in memory
        uint32_t argb;
    } cases[] = {
        {D3DFMT_A8R8G8B8, {0x10, 0x20, 0x30, 0x40}, 0x40302010},
        {D3DFMT_X8R8G8B8, {0x10, 0x20, 0x30, 0x00}, 0xFF302010},
        {D3DFMT_R8G8B8, {0x10, 0x20, 0x30}, 0xFF302010},
        {D3DFMT_R5G6B5, {0x00, 0xF8}, 0xFFFF0000},
        {D3DFMT_R5G6B5, {0xE0, 0x07}, 0xFF00FF00},
        {D3DFMT_R5G6B5, {0x10, 0x00}, 0xFF000084},   // blue 16 of 31
        {D3DFMT_X1R5G5B5, {0x00, 0xFC}, 0xFFFF0000}, // the X bit is ignored
        {D3DFMT_A1R5G5B5, {0x1F, 0x80}, 0xFF0000FF},
        {D3DFMT_A1R5G5B5, {0xE0, 0x03}, 0x0000FF00},
        {D3DFMT_A4R4G4B4, {0x21, 0x43}, 0x44332211},
        {D3DFMT_X4R4G4B4, {0x21, 0xF3}, 0xFF332211},
        {D3DFMT_R3G3B2, {0xE0}, 0xFFFF0000},
        {D3DFMT_R3G3B2, {0x1D}, 0xFF00FF55}, // green 7, blue 1
        {D3DFMT_A8R3G3B2, {0x03, 0x80}, 0x800000FF},
        {D3DFMT_A8, {0x7F}, 0x7F000000},
        {D3DFMT_A2B10G10R10, {0xFF, 0x03, 0x00, 0xC0}, 0xFFFF0000}, // red in the low bits
        {D3DFMT_A2R10G10B10, {0xFF, 0x03, 0x00, 0x40}, 0x550000FF}, // blue in the low bits
        {D3DFMT_A8B8G8R8, {0x10, 0x20, 0x30, 0x40}, 0x40102030},
        {D3DFMT_X8B8G8R8, {0x10, 0x20, 0x30, 0x00}, 0xFF102030},
        {D3DFMT_G16R16, {0xFF, 0xFF, 0x00, 0x80}, 0xFFFF80FF}, // no blue: 1
        {D3DFMT_A16B16G16R16, {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80}, 0x8000FF00},
        {D3DFMT_L8, {0x5A}, 0xFF5A5A5A},
        {D3DFMT_A8L8, {0x5A, 0x80}, 0x805A5A5A},
        {D3DFMT_A4L4, {0x8F}, 0x88FFFFFF},
        {D3DFMT_L16, {0x00, 0x80}, 0xFF808080},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read_one(c.format, c.bytes), c.argb) << std::hex << "format " << c.format;
    }
}

TEST(TexelFormatsTest, FloatFormatsAreLimitedToZeroToOne)
{
    struct Case {
        D3DFORMAT format;
        std::vector<uint8_t> bytes;
        uint32_t argb;
    } cases[] = {
        {D3DFMT_R16F, half_bytes({0x3C00}), 0xFFFFFFFF}, // 1.0; green and blue read 1
        {D3DFMT_R16F, half_bytes({0x3800}), 0xFF80FFFF}, // 0.5
        {D3DFMT_R16F, half_bytes({0xBC00}), 0xFF00FFFF}, // -1.0 limited to 0
        {D3DFMT_R16F, half_bytes({0x7C00}), 0xFFFFFFFF}, // infinity limited to 1
        {D3DFMT_G16R16F, half_bytes({0x0000, 0x3800}), 0xFF0080FF},
        {D3DFMT_A16B16G16R16F, half_bytes({0x3C00, 0x0000, 0x3800, 0x3400}), 0x40FF0080},
        {D3DFMT_R32F, float_bytes({0.25f}), 0xFF40FFFF},
        {D3DFMT_R32F, float_bytes({NAN}), 0xFF00FFFF},
        {D3DFMT_G32R32F, float_bytes({1.0f, 2.0f}), 0xFFFFFFFF},
        {D3DFMT_A32B32G32R32F, float_bytes({0.0f, 1.0f, 0.0f, 0.5f}), 0x8000FF00},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read_one(c.format, c.bytes), c.argb) << std::hex << "format " << c.format;
    }
    EXPECT_EQ(half_to_float(0x3555), 0.333251953125f);
    EXPECT_EQ(half_to_float(0x0001), 5.9604644775390625e-08f); // smallest subnormal
    EXPECT_EQ(half_to_float(0xC000), -2.0f);
}

// A DXT colour block: two 5:6:5 colours and sixteen 2-bit indices.
std::vector<uint8_t> colour_block(uint16_t c0, uint16_t c1, uint32_t indices)
{
    return {uint8_t(c0),           uint8_t(c0 >> 8),       uint8_t(c1),           uint8_t(c1 >> 8), uint8_t(indices),
            uint8_t(indices >> 8), uint8_t(indices >> 16), uint8_t(indices >> 24)};
}

std::vector<uint32_t> read_block(D3DFORMAT format, const std::vector<uint8_t>& block, UINT width = 4, UINT height = 4)
{
    std::vector<uint32_t> out(width * height);
    EXPECT_TRUE(read_level_argb8(format, block.data(), static_cast<UINT>(block.size()), width, height, out.data()));
    return out;
}

TEST(TexelFormatsTest, Dxt1FourAndThreeColourBlocks)
{
    // Red over blue: indices 0, 1, 2, 3 in the first row.
    auto four = read_block(D3DFMT_DXT1, colour_block(0xF800, 0x001F, 0b11100100));
    EXPECT_EQ(four[0], 0xFFFF0000u);
    EXPECT_EQ(four[1], 0xFF0000FFu);
    EXPECT_EQ(four[2], 0xFFAA0055u); // two thirds red
    EXPECT_EQ(four[3], 0xFF5500AAu);
    EXPECT_EQ(four[4], 0xFFFF0000u); // index 0 elsewhere
    // Thirds rounded to the nearest: (2 * 255 + 8) / 3 is 172.67.
    auto rounded = read_block(D3DFMT_DXT1, colour_block(0xF800, 0x0800, 0b11100100));
    EXPECT_EQ(rounded[2], 0xFFAD0000u);
    EXPECT_EQ(rounded[3], 0xFF5A0000u);
    // Colour 0 not above colour 1: three colours and transparent black.
    auto three = read_block(D3DFMT_DXT1, colour_block(0x001F, 0xF800, 0b11100100));
    EXPECT_EQ(three[2], 0xFF800080u);
    EXPECT_EQ(three[3], 0x00000000u);
    // Equal colours are not above each other either.
    auto equal = read_block(D3DFMT_DXT1, colour_block(0x001F, 0x001F, 0b11100100));
    EXPECT_EQ(equal[2], 0xFF0000FFu);
    EXPECT_EQ(equal[3], 0x00000000u);
}

TEST(TexelFormatsTest, Dxt3AndDxt5Alpha)
{
    std::vector<uint8_t> dxt3 = {0x0F, 0xF0, 0, 0, 0, 0, 0, 0}; // texel 0 alpha 15, texel 3 alpha 15
    auto colour = colour_block(0xFFFF, 0xFFFF, 0);
    dxt3.insert(dxt3.end(), colour.begin(), colour.end());
    auto explicit_alpha = read_block(D3DFMT_DXT3, dxt3);
    EXPECT_EQ(explicit_alpha[0], 0xFFFFFFFFu);
    EXPECT_EQ(explicit_alpha[1], 0x00FFFFFFu);
    EXPECT_EQ(explicit_alpha[3], 0xFFFFFFFFu);
    EXPECT_EQ(read_block(D3DFMT_DXT2, dxt3), explicit_alpha);

    // Alpha 0 = 255, alpha 1 = 0: eight steps; texel i takes code i.
    uint64_t codes = 0;
    for (int i = 0; i < 8; ++i) {
        codes |= uint64_t(i) << (3 * i);
    }
    std::vector<uint8_t> dxt5 = {255, 0};
    for (int i = 0; i < 6; ++i) {
        dxt5.push_back(uint8_t(codes >> (8 * i)));
    }
    dxt5.insert(dxt5.end(), colour.begin(), colour.end());
    auto eight = read_block(D3DFMT_DXT5, dxt5);
    const uint32_t expected8[8] = {255, 0, 219, 182, 146, 109, 73, 36};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(eight[i] >> 24, expected8[i]) << i;
    }
    // Alpha 0 not above alpha 1: six steps with 0 and 255 at the end, each
    // rounded to the nearest (203 / 5 is 40.6).
    dxt5[0] = 0;
    dxt5[1] = 203;
    auto six = read_block(D3DFMT_DXT5, dxt5);
    const uint32_t expected6[8] = {0, 203, 41, 81, 122, 162, 0, 255};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(six[i] >> 24, expected6[i]) << i;
    }
    EXPECT_EQ(read_block(D3DFMT_DXT4, dxt5), six);
}

TEST(TexelFormatsTest, LevelsSmallerThanABlockAndRowsByPitch)
{
    auto block = colour_block(0xF800, 0x07E0, 0x55555555); // all index 1: green
    auto small = read_block(D3DFMT_DXT1, block, 2, 1);
    ASSERT_EQ(small.size(), 2u);
    EXPECT_EQ(small[0], 0xFF00FF00u);
    // Rows are found by the pitch, not by the width.
    const uint8_t rows[] = {1, 2, 0xEE, 0xEE, 3, 4, 0xEE, 0xEE};
    uint32_t out[4];
    ASSERT_TRUE(read_level_argb8(D3DFMT_L8, rows, 4, 2, 2, out));
    EXPECT_EQ(out[2], 0xFF030303u);
    EXPECT_FALSE(read_level_argb8(D3DFMT_P8, rows, 4, 2, 2, out));
}

TEST(TexelFormatsTest, PitchesAndRowCounts)
{
    const TexelFormatFacts* f = texel_format(D3DFMT_R5G6B5);
    ASSERT_TRUE(f);
    EXPECT_EQ(texel_row_pitch(*f, 3, 0), 8u);
    EXPECT_EQ(texel_row_pitch(*f, 3, 5), 13u);
    EXPECT_EQ(texel_row_count(*f, 7), 7u);
    f = texel_format(D3DFMT_DXT5);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->block_compressed());
    EXPECT_EQ(texel_row_pitch(*f, 1, 0), 16u);
    EXPECT_EQ(texel_row_pitch(*f, 9, 0), 48u);
    EXPECT_EQ(texel_row_count(*f, 1), 1u);
    EXPECT_EQ(texel_row_count(*f, 9), 3u);
    EXPECT_FALSE(texel_format(D3DFMT_P8));
    EXPECT_FALSE(texel_format(D3DFMT_D16));
    for (D3DFORMAT format : d3d9_default_texture_formats()) {
        EXPECT_TRUE(texel_format(format)) << format;
    }
}

} // namespace
