#include <clocale>

#include <gtest/gtest.h>

#include "comma_locale.h"
#include "image_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

// (r + 0.5) * 2^(e - 136): with e = 136 the value is r + 0.5.
constexpr int kUnitExponent = 136;

Bytes hdr_file(const std::string& header, const std::string& resolution)
{
    Bytes b;
    b.text("#?RADIANCE\n" + header + "\n" + resolution + "\n");
    return b;
}

std::vector<float> reds(const DecodedImage& image)
{
    std::vector<float> out;
    const std::vector<float> all = floats_of(image);
    for (size_t i = 0; i < all.size(); i += 4)
        out.push_back(all[i]);
    return out;
}

TEST(HdrDecoder, FlatPixelsBecomeFloats)
{
    Bytes file = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 1 +X 2");
    file.u8({1, 2, 3, kUnitExponent}).u8({127, 0, 255, 129});
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->file_format, IMAGE_FILE_HDR);
    EXPECT_EQ(image->format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(image->width, 2u);
    EXPECT_EQ(image->height, 1u);
    EXPECT_EQ(floats_of(*image),
              (std::vector<float>{1.5f, 2.5f, 3.5f, 1.0f, 127.5f / 128, 0.5f / 128, 255.5f / 128, 1.0f}));
}

TEST(HdrDecoder, AxesSetTheOrderOfRowsAndColumns)
{
    struct Case {
        const char* resolution;
        std::vector<float> reds; // image top row first, left to right
    } cases[] = {
        {"-Y 2 +X 3", {0, 1, 2, 3, 4, 5}},
        {"+Y 2 +X 3", {3, 4, 5, 0, 1, 2}},
        {"-Y 2 -X 3", {2, 1, 0, 5, 4, 3}},
        {"+X 3 -Y 2", {0, 2, 4, 1, 3, 5}}, // scan lines are columns
    };
    for (const Case& c : cases) {
        Bytes file = hdr_file("FORMAT=32-bit_rle_rgbe\n", c.resolution);
        for (int i = 0; i < 6; ++i)
            file.u8({i, 0, 0, kUnitExponent});
        ScopedImage image;
        ASSERT_EQ(image.decode(file), S_OK) << c.resolution;
        EXPECT_EQ(image->width, 3u) << c.resolution;
        EXPECT_EQ(image->height, 2u) << c.resolution;
        std::vector<float> expected;
        for (float r : c.reds)
            expected.push_back(r + 0.5f);
        EXPECT_EQ(reds(*image), expected) << c.resolution;
    }
}

TEST(HdrDecoder, RunLengthScanLines)
{
    // Width 8: each component as runs (n > 128) and literals (n <= 128).
    Bytes file = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 1 +X 8");
    file.u8({2, 2, 0, 8});
    file.u8({128 + 5, 9, 3, 1, 2, 3}); // red: 9 9 9 9 9 1 2 3
    file.u8({128 + 8, 0});             // green
    file.u8({128 + 8, 0});             // blue
    file.u8({128 + 8, kUnitExponent}); // exponent
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(reds(*image), (std::vector<float>{9.5f, 9.5f, 9.5f, 9.5f, 9.5f, 1.5f, 2.5f, 3.5f}));

    // The longest literal (128) and the longest run (127).
    Bytes longest = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 1 +X 130");
    longest.u8({2, 2, 0, 130}).u8({128});
    std::vector<float> expected;
    for (int i = 0; i < 128; ++i) {
        longest.u8({i});
        expected.push_back(i + 0.5f);
    }
    longest.u8({128 + 2, 9});
    expected.insert(expected.end(), {9.5f, 9.5f});
    for (int c = 0; c < 3; ++c)
        longest.u8({255, c == 2 ? kUnitExponent : 0, 128 + 3, c == 2 ? kUnitExponent : 0});
    ASSERT_EQ(image.decode(longest), S_OK);
    EXPECT_EQ(reds(*image), expected);

    Bytes overrun = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 1 +X 8");
    overrun.u8({2, 2, 0, 8}).u8({128 + 9, 9});
    EXPECT_EQ(image.run(decode_hdr, overrun), E_FAIL);
    Bytes wrong_width = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 1 +X 8");
    wrong_width.u8({2, 2, 0, 7}).u8({128 + 8, 0, 128 + 8, 0, 128 + 8, 0, 128 + 8, 0});
    EXPECT_EQ(image.run(decode_hdr, wrong_width), E_FAIL);
}

TEST(HdrDecoder, OldStyleRepeatsThePreviousPixel)
{
    // 1 1 1 k repeats k times; a directly following repeat counts 256 times more.
    Bytes file = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 1 +X 260");
    file.u8({7, 0, 0, kUnitExponent}).u8({1, 1, 1, 3}).u8({1, 1, 1, 1});
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    const std::vector<float> r = reds(*image);
    EXPECT_EQ(r, std::vector<float>(260, 7.5f));
    // A line may start with a repeat: of the last pixel of the line before.
    Bytes two_lines = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 2 +X 2");
    two_lines.u8({7, 0, 0, kUnitExponent}).u8({5, 0, 0, kUnitExponent}).u8({1, 1, 1, 2});
    ASSERT_EQ(image.decode(two_lines), S_OK);
    EXPECT_EQ(reds(*image), (std::vector<float>{7.5f, 5.5f, 5.5f, 5.5f}));

    Bytes too_many = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 1 +X 4");
    too_many.u8({7, 0, 0, kUnitExponent}).u8({1, 1, 1, 4});
    EXPECT_EQ(image.run(decode_hdr, too_many), E_FAIL);
    Bytes nothing_to_repeat = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 1 +X 2");
    nothing_to_repeat.u8({1, 1, 1, 2});
    EXPECT_EQ(image.run(decode_hdr, nothing_to_repeat), E_FAIL);
}

TEST(HdrDecoder, HeaderLines)
{
    struct Case {
        const char* header;
        HRESULT result;
        float red; // of the pixel 3, 0, 0, 136
    } cases[] = {
        {"FORMAT=32-bit_rle_rgbe\n", S_OK, 3.5f},
        {"FORMAT= \t32-bit_rle_xyze\n", S_OK, 3.5f},
        {"# comment\nEXPOSURE=2\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=0.5e1\n", S_OK, 0.35f},
        {"SOFTWARE=hand\n", E_FAIL, 0}, // no FORMAT line
        {"FORMAT=32-bit_rle_rgb\n", E_FAIL, 0},
        {"FORMAT=16-bit_rle_rgbe\n", E_FAIL, 0},
    };
    for (const Case& c : cases) {
        Bytes file = hdr_file(c.header, "-Y 1 +X 1");
        file.u8({3, 0, 0, kUnitExponent});
        ScopedImage image;
        ASSERT_EQ(image.run(decode_hdr, file), c.result) << c.header;
        if (c.result == S_OK) {
            EXPECT_FLOAT_EQ(reds(*image)[0], c.red) << c.header;
        }
    }
}

TEST(HdrDecoder, RefusesBrokenResolutionsAndShortData)
{
    const char* resolutions[] = {"-Y 1", "-Y 1 -Y 1", "Y 1 +X 1", "-Y 0 +X 1", "-Y 1 +X 1 junk", "-Z 1 +X 1"};
    for (const char* resolution : resolutions) {
        Bytes file = hdr_file("FORMAT=32-bit_rle_rgbe\n", resolution);
        file.u8({3, 0, 0, kUnitExponent});
        ScopedImage image;
        EXPECT_EQ(image.run(decode_hdr, file), E_FAIL) << resolution;
    }
    Bytes short_data = hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 2 +X 1");
    short_data.u8({3, 0, 0, kUnitExponent, 3, 0, 0});
    ScopedImage image;
    EXPECT_EQ(image.run(decode_hdr, short_data), E_FAIL);
    EXPECT_EQ(image.run(decode_hdr, Bytes().text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n")), E_FAIL);
    EXPECT_EQ(image.run(decode_hdr, hdr_file("FORMAT=32-bit_rle_rgbe\n", "-Y 30000 +X 30000")), E_OUTOFMEMORY);
}

TEST(HdrDecoder, FractionalExposureIsReadUnderACommaLocale)
{
    CommaLocale comma;
    if (comma.name().empty())
        GTEST_SKIP() << "no locale with a decimal comma";
    Bytes file = hdr_file("FORMAT=32-bit_rle_rgbe\nEXPOSURE=0.5\n", "-Y 1 +X 1");
    file.u8({3, 0, 0, kUnitExponent});
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_FLOAT_EQ(reds(*image)[0], 7.0f);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), comma.name().c_str());
}

} // namespace
