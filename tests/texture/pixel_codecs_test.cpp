// Pixel codecs: what each layout decodes to, exact round trips of the
// integer and float layouts, 8-bit values through every dither offset, the
// block codecs and half-precision rounding.
#include "texture/pixel_codecs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "texture/decoders/decoded_image.h"

namespace {

std::vector<float> decode(D3DFORMAT format, const std::vector<uint8_t>& bytes, UINT width, UINT rows = 1,
                          const float* palette = nullptr)
{
    const PixelCodec* codec = find_pixel_codec(format);
    EXPECT_NE(codec, nullptr);
    std::vector<float> out(size_t(width) * rows * 4, -99.0f);
    if (codec) {
        const PixelSource source{bytes.data(), codec_row_bytes(*codec, width), palette};
        codec->decode(*codec, source, 0, 0, width, rows, out.data());
    }
    return out;
}

std::vector<uint8_t> encode(D3DFORMAT format, const std::vector<float>& pixels, UINT width, UINT rows = 1, UINT y0 = 0,
                            const float* dither = kPlainRounding)
{
    const PixelCodec* codec = find_pixel_codec(format);
    const size_t pitch = codec_row_bytes(*codec, width);
    std::vector<uint8_t> out(pitch * codec_row_count(*codec, rows), 0xEE);
    codec->encode(*codec, pixels.data(), width, rows, out.data(), pitch, y0, dither);
    return out;
}

struct DecodeCase {
    D3DFORMAT format;
    std::vector<uint8_t> bytes;
    std::vector<float> rgba; // four per pixel
};

TEST(PixelCodecs, DecodesEachLayout)
{
    const float s = 1.0f / 255.0f;
    const DecodeCase cases[] = {
        {D3DFMT_R8G8B8, {0x10, 0x20, 0x30}, {0x30 * s, 0x20 * s, 0x10 * s, 1}},
        {D3DFMT_A8R8G8B8, {0, 0, 255, 128}, {1, 0, 0, 128 * s}},
        {D3DFMT_X8R8G8B8, {255, 0, 0, 7}, {0, 0, 1, 1}},
        {D3DFMT_R5G6B5, {0x00, 0xF8, 0xE0, 0x07}, {1, 0, 0, 1, 0, 1, 0, 1}},
        {D3DFMT_X1R5G5B5, {0x1F, 0x80}, {0, 0, 1, 1}},
        {D3DFMT_A1R5G5B5, {0x00, 0x80, 0x00, 0x7C}, {0, 0, 0, 1, 1, 0, 0, 0}},
        {D3DFMT_A4R4G4B4, {0xA5, 0xF0}, {0, 10 / 15.0f, 5 / 15.0f, 1}},
        {D3DFMT_R3G3B2, {0xE3}, {1, 0, 1, 1}},
        {D3DFMT_A8, {0x80}, {0, 0, 0, 128 * s}},
        {D3DFMT_A8R3G3B2, {0x1C, 0xFF}, {0, 1, 0, 1}},
        {D3DFMT_X4R4G4B4, {0x0F, 0xF0}, {0, 0, 1, 1}},
        {D3DFMT_A2B10G10R10, {0xFF, 0x03, 0x00, 0xC0}, {1, 0, 0, 1}},
        {D3DFMT_A8B8G8R8, {1, 2, 3, 4}, {1 * s, 2 * s, 3 * s, 4 * s}},
        {D3DFMT_X8B8G8R8, {1, 2, 3, 4}, {1 * s, 2 * s, 3 * s, 1}},
        {D3DFMT_G16R16, {0xFF, 0xFF, 0, 0}, {1, 0, 1, 1}},
        {D3DFMT_A2R10G10B10, {0x00, 0x00, 0xF0, 0x3F}, {1, 0, 0, 0}},
        {D3DFMT_A16B16G16R16, {0, 0, 0xFF, 0xFF, 0, 0, 0, 0}, {0, 1, 0, 0}},
        {D3DFMT_L8, {0x80}, {128 * s, 128 * s, 128 * s, 1}},
        {D3DFMT_A8L8, {0xFF, 0x00}, {1, 1, 1, 0}},
        {D3DFMT_A4L4, {0x0F}, {1, 1, 1, 0}},
        {D3DFMT_L16, {0xFF, 0xFF}, {1, 1, 1, 1}},
        {D3DFMT_V8U8, {0x81, 0x7F, 0x80, 0x00}, {-1, 1, 1, 1, -1, 0, 1, 1}},
        {D3DFMT_L6V5U5, {0x10, 0xFC}, {-1, 0, 1, 1}},
        {D3DFMT_X8L8V8U8, {0x7F, 0x00, 0xFF, 0x12}, {1, 0, 1, 1}},
        {D3DFMT_Q8W8V8U8, {0x7F, 0x81, 0x00, 0x7F}, {1, -1, 0, 1}},
        {D3DFMT_V16U16, {0xFF, 0x7F, 0x01, 0x80}, {1, -1, 1, 1}},
        {D3DFMT_A2W10V10U10, {0xFF, 0x01, 0x10, 0xE0}, {1, 0, -1, 1}},
        {D3DFMT_Q16W16V16U16, {0xFF, 0x7F, 0, 0, 0, 0, 0x01, 0x80}, {1, 0, 0, -1}},
        {D3DFMT_CxV8U8, {0x00, 0x00, 0x7F, 0x00}, {0, 0, 1, 1, 1, 0, 0, 1}},
        {D3DFMT_D16_LOCKABLE, {0xFF, 0xFF}, {1, 1, 1, 1}},
        {D3DFMT_R16F, {0x00, 0x38}, {0.5f, 1, 1, 1}},
        {D3DFMT_G16R16F, {0x00, 0x38, 0x00, 0xBC}, {0.5f, -1, 1, 1}},
        {D3DFMT_A16B16G16R16F, {0x00, 0x3C, 0x00, 0x00, 0x00, 0x34, 0x00, 0x3C}, {1, 0, 0.25f, 1}},
        {D3DFMT_R32F, {0x00, 0x00, 0x80, 0x3E}, {0.25f, 1, 1, 1}},
        {D3DFMT_D32F_LOCKABLE, {0x00, 0x00, 0x40, 0x3F}, {0.75f, 0.75f, 0.75f, 1}},
        {LOADER_FMT_AL16, {0xFF, 0xFF, 0, 0}, {1, 1, 1, 0}},
        {LOADER_FMT_R16, {0xFF, 0xFF, 0, 0, 0, 0}, {0, 0, 1, 1}},
        {D3DFMT_R8G8_B8G8, {0xFF, 0x00, 0x80, 0xFF}, {1, 0, 128 * s, 1, 1, 1, 128 * s, 1}},
        {D3DFMT_G8R8_G8B8, {0x00, 0xFF, 0xFF, 0x80}, {1, 0, 128 * s, 1, 1, 1, 128 * s, 1}},
        {D3DFMT_UYVY, {128, 235, 128, 16}, {1, 1, 1, 1, 0, 0, 0, 1}},
        {D3DFMT_YUY2, {235, 128, 16, 128}, {1, 1, 1, 1, 0, 0, 0, 1}},
    };
    for (const DecodeCase& c : cases) {
        const UINT width = static_cast<UINT>(c.rgba.size() / 4);
        const std::vector<float> got = decode(c.format, c.bytes, width);
        const bool yuv = c.format == D3DFMT_UYVY || c.format == D3DFMT_YUY2;
        for (size_t i = 0; i < c.rgba.size(); ++i) {
            EXPECT_NEAR(got[i], c.rgba[i], yuv ? 2e-3 : 1e-6) << "format " << c.format << ", value " << i;
        }
    }
}

TEST(PixelCodecs, PalettesGiveTheirEntries)
{
    std::vector<float> palette(1024, 0.0f);
    for (int c = 0; c < 4; ++c) {
        palette[7 * 4 + c] = 0.1f * (c + 1);
    }
    const std::vector<float> p8 = decode(D3DFMT_P8, {7, 0}, 2, 1, palette.data());
    EXPECT_EQ(std::vector<float>(p8.begin(), p8.begin() + 4), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    EXPECT_EQ(std::vector<float>(p8.begin() + 4, p8.end()), (std::vector<float>{0, 0, 0, 0}));
    const std::vector<float> a8p8 = decode(D3DFMT_A8P8, {7, 255}, 1, 1, palette.data());
    EXPECT_EQ(a8p8, (std::vector<float>{0.1f, 0.2f, 0.3f, 1.0f}));
    EXPECT_EQ(find_pixel_codec(D3DFMT_P8)->encode, nullptr) << "a level has no palette to write into";
    for (D3DFORMAT none : {D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D24S8, D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24X4S4,
                           D3DFMT_D24FS8, D3DFMT_UNKNOWN}) {
        EXPECT_EQ(find_pixel_codec(none), nullptr) << none;
    }
}

// Random pixels survive decoding and encoding, with plain rounding and with
// every row of the dither matrix. Where every bit of the pixel belongs to
// a field the first trip is exact; otherwise (unused bits, the most
// negative signed value) the second trip repeats the first.
TEST(PixelCodecs, IntegerAndFloatLayoutsRoundTrip)
{
    struct Case {
        D3DFORMAT format;
        bool every_bit_used;
    };
    const Case cases[] = {
        {D3DFMT_R8G8B8, true},         {D3DFMT_A8R8G8B8, true},     {D3DFMT_X8R8G8B8, false},
        {D3DFMT_R5G6B5, true},         {D3DFMT_X1R5G5B5, false},    {D3DFMT_A1R5G5B5, true},
        {D3DFMT_A4R4G4B4, true},       {D3DFMT_R3G3B2, true},       {D3DFMT_A8, true},
        {D3DFMT_A8R3G3B2, true},       {D3DFMT_X4R4G4B4, false},    {D3DFMT_A2B10G10R10, true},
        {D3DFMT_A8B8G8R8, true},       {D3DFMT_X8B8G8R8, false},    {D3DFMT_G16R16, true},
        {D3DFMT_A2R10G10B10, true},    {D3DFMT_A16B16G16R16, true}, {D3DFMT_L8, true},
        {D3DFMT_A8L8, true},           {D3DFMT_A4L4, true},         {D3DFMT_L16, true},
        {D3DFMT_V8U8, false},          {D3DFMT_L6V5U5, false},      {D3DFMT_X8L8V8U8, false},
        {D3DFMT_Q8W8V8U8, false},      {D3DFMT_V16U16, false},      {D3DFMT_A2W10V10U10, false},
        {D3DFMT_Q16W16V16U16, false},  {D3DFMT_D16_LOCKABLE, true}, {LOADER_FMT_AL16, true},
        {LOADER_FMT_R16, true},        {D3DFMT_R32F, false},        {D3DFMT_G32R32F, false},
        {D3DFMT_A32B32G32R32F, false}, {D3DFMT_R16F, false},        {D3DFMT_A16B16G16R16F, false},
    };
    std::mt19937 random(7);
    constexpr UINT width = 64;
    for (const Case& c : cases) {
        const PixelCodec* codec = find_pixel_codec(c.format);
        ASSERT_NE(codec, nullptr);
        std::vector<uint8_t> pixels(codec_row_bytes(*codec, width));
        const bool floats = c.format == D3DFMT_R32F || c.format == D3DFMT_G32R32F || c.format == D3DFMT_A32B32G32R32F;
        const bool halves = c.format == D3DFMT_R16F || c.format == D3DFMT_A16B16G16R16F;
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<uint8_t>(random());
            if (floats && i % 4 == 3) {
                pixels[i] &= 0x3F; // finite, below 2
            }
            if (halves && i % 2 == 1) {
                pixels[i] &= 0x7B; // finite
            }
        }
        const std::vector<float> values = decode(c.format, pixels, width);
        for (UINT y = 0; y < 5; ++y) {
            const float* dither = y < 4 ? kOrderedDither : kPlainRounding;
            const std::vector<uint8_t> once = encode(c.format, values, width, 1, y, dither);
            if (c.every_bit_used || floats || halves) {
                EXPECT_EQ(once, pixels) << "format " << c.format << ", dither row " << y;
            }
            EXPECT_EQ(encode(c.format, decode(c.format, once, width), width, 1, y, dither), once)
                << "format " << c.format << ", dither row " << y;
        }
    }
}

// Decoded 8-bit values land within 1/32 of their integer, so every
// offset of the dither matrix gives them back; unused bits are written 0.
TEST(PixelCodecs, EightBitValuesSurviveEveryDitherOffset)
{
    std::vector<uint8_t> bgr(256 * 3);
    for (int k = 0; k < 256; ++k) {
        bgr[k * 3] = static_cast<uint8_t>(k);
        bgr[k * 3 + 1] = static_cast<uint8_t>(255 - k);
        bgr[k * 3 + 2] = static_cast<uint8_t>(k ^ 0x55);
    }
    const std::vector<float> values = decode(D3DFMT_R8G8B8, bgr, 256);
    for (UINT y = 0; y < 4; ++y) {
        for (const float* dither : {kOrderedDither, kPlainRounding}) {
            const std::vector<uint8_t> out = encode(D3DFMT_X8R8G8B8, values, 256, 1, y, dither);
            for (int k = 0; k < 256; ++k) {
                ASSERT_EQ(out[k * 4], bgr[k * 3]) << k;
                ASSERT_EQ(out[k * 4 + 1], bgr[k * 3 + 1]) << k;
                ASSERT_EQ(out[k * 4 + 2], bgr[k * 3 + 2]) << k;
                ASSERT_EQ(out[k * 4 + 3], 0) << "the X byte is written 0";
            }
        }
    }
}

// Pure red, green and blue weigh 0.2126, 0.7152 and 0.0722 in luminance.
TEST(PixelCodecs, LuminanceWeighsRedGreenAndBlue)
{
    const double weights[3] = {0.2126, 0.7152, 0.0722};
    // Luminance sits in the low bits of the first (little-endian) unit.
    const struct {
        D3DFORMAT format;
        int full_scale;
    } cases[] = {{D3DFMT_L8, 255}, {D3DFMT_A8L8, 255}, {D3DFMT_L16, 65535}, {D3DFMT_A4L4, 15}};
    for (const auto& c : cases) {
        for (int k = 0; k < 3; ++k) {
            std::vector<float> pixel = {0, 0, 0, 0};
            pixel[k] = 1;
            const std::vector<uint8_t> out = encode(c.format, pixel, 1);
            const int level = (out[0] | (c.full_scale > 255 ? out[1] << 8 : 0)) & c.full_scale;
            EXPECT_EQ(level, std::lround(weights[k] * c.full_scale)) << "format " << c.format << ", channel " << k;
        }
    }
}

TEST(PixelCodecs, HalvesRoundToNearestEven)
{
    const struct {
        float value;
        uint16_t half;
    } cases[] = {
        {1.0f, 0x3C00},
        {-2.0f, 0xC000},
        {65504.0f, 0x7BFF},
        {65520.0f, 0x7C00},
        {1e-9f, 0x0000},
        {std::ldexp(1.0f, -24), 0x0001},
        {1.0f + std::ldexp(1.0f, -11), 0x3C00},
        {1.0f + 3 * std::ldexp(1.0f, -11), 0x3C02},
        {INFINITY, 0x7C00},
    };
    for (const auto& c : cases) {
        const std::vector<float> rgba = {c.value, 0, 0, 1};
        const std::vector<uint8_t> out = encode(D3DFMT_R16F, rgba, 1);
        EXPECT_EQ(uint16_t(out[0] | out[1] << 8), c.half) << c.value;
    }
}

// 4 x 4 blocks: the colour modes and alpha kinds decode as laid out, and
// blocks whose colours the end points can hold survive a round trip.
TEST(PixelCodecs, BlockCodecs)
{
    // Red and blue end points, indexes 0, 1, 2, 3 along the first row.
    const std::vector<uint8_t> four = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0};
    std::vector<float> got = decode(D3DFMT_DXT1, four, 4, 1);
    const std::vector<float> first_row = {1, 0, 0, 1, 0, 0, 1, 1, 2 / 3.0f, 0, 1 / 3.0f, 1, 1 / 3.0f, 0, 2 / 3.0f, 1};
    for (size_t i = 0; i < first_row.size(); ++i) {
        EXPECT_NEAR(got[i], first_row[i], 1e-6) << i;
    }
    // End points swapped: three colours and transparent black.
    const std::vector<uint8_t> three = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0, 0, 0};
    got = decode(D3DFMT_DXT1, three, 4, 1);
    EXPECT_NEAR(got[8], 0.5f, 1e-6);
    EXPECT_EQ(std::vector<float>(got.begin() + 12, got.end()), (std::vector<float>{0, 0, 0, 0}));
    // DXT5: alphas 255 and 0, index 2 is 6/7; DXT3: explicit nibbles.
    std::vector<uint8_t> dxt5(16, 0);
    dxt5[0] = 255;
    dxt5[2] = 2;
    EXPECT_NEAR(decode(D3DFMT_DXT5, dxt5, 1, 1)[3], 6 / 7.0f, 1e-6);
    std::vector<uint8_t> dxt3(16, 0);
    dxt3[0] = 0x5A;
    got = decode(D3DFMT_DXT3, dxt3, 2, 1);
    EXPECT_NEAR(got[3], 10 / 15.0f, 1e-6);
    EXPECT_NEAR(got[7], 5 / 15.0f, 1e-6);

    // Two exact 5:6:5 colours, half the texels transparent or half opaque.
    std::vector<float> block(16 * 4);
    for (int i = 0; i < 16; ++i) {
        const bool a = (i * 7) % 3 == 0;
        const float rgba[4] = {a ? 1.0f : 0.0f, a ? 32 / 63.0f : 1.0f, a ? 0.0f : 8 / 31.0f, a ? 1.0f : 0.0f};
        std::memcpy(&block[i * 4], rgba, 16);
    }
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        got = decode(format, encode(format, block, 4, 4), 4, 4);
        for (int i = 0; i < 16; ++i) {
            const bool transparent = block[i * 4 + 3] == 0.0f;
            for (int c = 0; c < 4; ++c) {
                const float want = format == D3DFMT_DXT1 && transparent ? 0.0f : block[i * 4 + c];
                EXPECT_NEAR(got[i * 4 + c], want, 1e-6) << "format " << format << ", texel " << i << ", channel " << c;
            }
        }
    }
    // A block past the level's edge: width 3, 2 rows.
    const std::vector<float> edge(3 * 2 * 4, 1.0f);
    got = decode(D3DFMT_DXT5, encode(D3DFMT_DXT5, edge, 3, 2), 3, 2);
    EXPECT_EQ(got, edge);
}

// Pairs keep each pixel's own channel (green, or luma) and share the rest:
// pixels that agree in the shared channels come back.
TEST(PixelCodecs, PixelPairsRoundTrip)
{
    std::mt19937 random(3);
    std::vector<float> values(8 * 4);
    for (size_t i = 0; i < values.size(); ++i) {
        values[i] = i % 4 == 3 ? 1.0f : (random() % 256) / 255.0f;
    }
    for (size_t i = 0; i < values.size(); i += 8) {
        values[i + 4] = values[i];
        values[i + 6] = values[i + 2];
    }
    const auto round_trip = [&](D3DFORMAT format, double tolerance) {
        const std::vector<float> got = decode(format, encode(format, values, 8), 8);
        for (size_t i = 0; i < values.size(); ++i) {
            EXPECT_NEAR(got[i], values[i], tolerance) << "format " << format << ", value " << i;
        }
    };
    round_trip(D3DFMT_R8G8_B8G8, 1e-6);
    round_trip(D3DFMT_G8R8_G8B8, 1e-6);
    for (size_t i = 0; i < values.size(); i += 8) { // YUV pairs share U and V: same colour
        values[i + 5] = values[i + 1];
    }
    round_trip(D3DFMT_UYVY, 3.5 / 255);
    round_trip(D3DFMT_YUY2, 3.5 / 255);
}

} // namespace
