#include <gtest/gtest.h>

#include "bitmap_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

TEST(PpmDecoder, BinaryMaxValue255MatchesTheSameBitmap)
{
    Bytes ppm;
    ppm.text("P6\n2 1\n255\n").u8({10, 20, 30, 200, 100, 50});
    Bytes dib = info_header(2, 1, 24);
    dib.u8({30, 20, 10, 50, 100, 200, 0, 0});
    ScopedImage from_ppm, from_bmp;
    ASSERT_EQ(from_ppm.decode(ppm), S_OK);
    ASSERT_EQ(from_bmp.decode(bmp_file(dib)), S_OK);
    EXPECT_EQ(from_ppm->file_format, IMAGE_FILE_PPM);
    EXPECT_EQ(from_ppm->format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(from_ppm->row_pitch, 8u);
    const std::vector<uint8_t> ppm_rows = rows_of(*from_ppm), bmp_rows = rows_of(*from_bmp);
    for (int x = 0; x < 2; ++x) {
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(ppm_rows[4 * x + k], bmp_rows[3 * x + k]);
        EXPECT_EQ(ppm_rows[4 * x + 3], 255);
    }
}

TEST(PpmDecoder, SamplesAreScaledToTheMaximum)
{
    Bytes ppm;
    ppm.text("P6 1 1 15\r\n").u8({15, 1, 0}); // carriage return and line feed both skipped
    ScopedImage image;
    ASSERT_EQ(image.decode(ppm), S_OK);
    EXPECT_EQ(rows_of(*image), u8s({0, 17, 255, 255}));
}

TEST(PpmDecoder, DecimalSamplesWithComments)
{
    Bytes ppm;
    ppm.text("P3\n# made by hand\n2 # width\n1\n100\n100 0 50 # first\n 0 100\n200 trailing data is ignored");
    ScopedImage image;
    ASSERT_EQ(image.decode(ppm), S_OK);
    // 50 * 255 / 100 = 127; the sample above the maximum counts as the maximum.
    EXPECT_EQ(rows_of(*image), u8s({127, 0, 255, 255, 255, 255, 0, 255}));
}

TEST(PpmDecoder, RefusesDamagedFiles)
{
    const char* cases[] = {
        "P6\n2x 1\n255\n",      // letter inside a number
        "P6\n0 1\n255\n",       // width 0
        "P6\n1 1\n0\n",         // maximum 0
        "P6\n1 1\n256\n\1\1\1", // binary samples above one byte
        "P6\n1 1\n255\n\1\1",   // raster one byte short
        "P3\n1 1\n255\n1 2",    // decimal raster ends early
        "P3\n1 1\n255\n1 2 x",
        "P5\n1 1\n255\n\1", // grey maps are not taken
        "P6\n1 1",
    };
    for (const char* text : cases) {
        ScopedImage image;
        EXPECT_EQ(image.run(decode_ppm, Bytes().text(text)), E_FAIL) << text;
    }
}

TEST(PpmDecoder, HeaderOnlyReadsNoSamples)
{
    ScopedImage image;
    ASSERT_EQ(image.run(decode_ppm, Bytes().text("P3 3 2 255 1"), false), S_OK);
    EXPECT_EQ(image->width, 3u);
    EXPECT_EQ(image->height, 2u);
    EXPECT_EQ(image->pixels, nullptr);
    EXPECT_EQ(image.run(decode_ppm, Bytes().text("P3 40000 40000 255 1")), E_OUTOFMEMORY);
}

} // namespace
