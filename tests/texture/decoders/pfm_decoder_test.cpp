#include <clocale>
#include <cstring>

#include <gtest/gtest.h>

#include "comma_locale.h"
#include "image_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

TEST(PfmDecoder, ColourSamplesBottomRowFirstLittleEndian)
{
    Bytes file;
    file.text("PF\n1 2\n-1.0\n");
    file.f32le(0.25f).f32le(0.5f).f32le(0.75f); // bottom row
    file.f32le(1.0f).f32le(2.0f).f32le(-3.0f);  // top row
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->file_format, IMAGE_FILE_PFM);
    EXPECT_EQ(image->format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(image->row_pitch, 16u);
    EXPECT_EQ(floats_of(*image), (std::vector<float>{1.0f, 2.0f, -3.0f, 1.0f, 0.25f, 0.5f, 0.75f, 1.0f}));
}

TEST(PfmDecoder, GreySamplesBigEndianFillAllThreeColours)
{
    Bytes file;
    file.text("Pf\n 2 1 \n4.5\n").f32be(0.5f).f32be(8.0f); // the scale's size is not applied
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(floats_of(*image), (std::vector<float>{0.5f, 0.5f, 0.5f, 1.0f, 8.0f, 8.0f, 8.0f, 1.0f}));
}

TEST(PfmDecoder, RefusesDamagedHeadersAndShortData)
{
    const std::string samples(8, '\0');
    const std::string cases[] = {
        "PF\n1 1\n1.0\n" + samples,                              // 12 bytes needed
        "Pf\n1\n1.0\n" + samples,                                // one number only
        "Pf\n1 -1\n1.0\n" + samples,                             // signed height
        "Pf\n0 1\n1.0\n" + samples,                              // width 0
        "Pf\n1 1\none\n" + samples,                              // scale not a number
        "Pf\n1 1\n1.0x\n" + samples,                             // junk after the scale
        "Pf 1 1\n1.0\n" + samples,                               // no line feed after the signature
        "Pf\n" + std::string(300, ' ') + "1 1\n1.0\n" + samples, // size line too long
    };
    for (const std::string& text : cases) {
        ScopedImage image;
        EXPECT_EQ(image.run(decode_pfm, Bytes().text(text)), E_FAIL) << text.substr(0, 20);
    }
}

TEST(PfmDecoder, FractionalScaleIsReadUnderACommaLocale)
{
    CommaLocale comma;
    if (comma.name().empty())
        GTEST_SKIP() << "no locale with a decimal comma";
    Bytes file;
    file.text("Pf\n1 1\n-0.5\n").f32le(3.0f);
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(floats_of(*image)[0], 3.0f); // little-endian only because -0.5 was read
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), comma.name().c_str());
}

} // namespace
