#include <cstdlib>

#include <gtest/gtest.h>

#include "jpeg_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

TEST(JpegDecoder, GreyImageIsL8)
{
    ScopedImage image;
    ASSERT_EQ(image.decode(grey_jpeg()), S_OK);
    EXPECT_EQ(image->file_format, IMAGE_FILE_JPG);
    EXPECT_EQ(image->format, D3DFMT_L8);
    EXPECT_EQ(image->width, 8u);
    EXPECT_EQ(image->height, 8u);
    EXPECT_EQ(image->row_pitch, 8u);
    EXPECT_TRUE(image->owns_pixels);
    EXPECT_EQ(rows_of(*image), std::vector<uint8_t>(64, 144));
}

TEST(JpegDecoder, ColourImageIsX8R8G8B8WithBlueFirstAndAZeroFourthByte)
{
    ScopedImage image;
    ASSERT_EQ(image.decode(colour_jpeg()), S_OK);
    EXPECT_EQ(image->format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image->row_pitch, 32u);
    const std::vector<uint8_t> rows = rows_of(*image);
    ASSERT_EQ(rows.size(), 256u);
    // Red = 144 + 1.402 x 16, green = 144 - 0.714 x 16, blue = 144.
    for (size_t i = 0; i < rows.size(); i += 4) {
        EXPECT_EQ(rows[i], 144);
        EXPECT_NEAR(rows[i + 1], 133, 1);
        EXPECT_NEAR(rows[i + 2], 166, 1);
        EXPECT_EQ(rows[i + 3], 0);
    }
}

TEST(JpegDecoder, HeaderOnlyDecodesNoPixels)
{
    ScopedImage image;
    ASSERT_EQ(image.decode(colour_jpeg(), false), S_OK);
    EXPECT_EQ(image->format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image->width, 8u);
    EXPECT_EQ(image->pixels, nullptr);
}

TEST(JpegDecoder, FourComponentsAreRefused)
{
    Bytes cmyk = jpeg_start(4).u8({0x92, 0x4F, 0xFF, 0xD9});
    ScopedImage image;
    EXPECT_EQ(image.run(decode_jpeg, cmyk), E_FAIL);
}

TEST(JpegDecoder, DamagedFilesEndWithoutReadingForever)
{
    ScopedImage image;
    EXPECT_EQ(image.run(decode_jpeg, Bytes().u8({0xFF, 0xD8}).text("not a jpeg at all")), E_FAIL);
    EXPECT_EQ(image.run(decode_jpeg, Bytes().u8({0xFF, 0xD8})), E_FAIL);
    // A table marker whose length runs far past the end makes libjpeg skip
    // through the repeated block until it meets the start marker again.
    EXPECT_EQ(image.run(decode_jpeg, Bytes().u8({0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF, 1, 2})), E_FAIL);

    // A comment whose length runs past the end lands, in the repeated block,
    // on itself again: the repeats must run out.
    EXPECT_EQ(image.run(decode_jpeg, Bytes().u8({0xFF, 0xD8, 0xFF, 0xFE, 0, 4, 0, 0, 0xFF, 0xFE, 0, 10})), E_FAIL);

    // Cut right after the scan header: the block is fed again and the scan
    // ends at its start marker. Either outcome is fine; it must end.
    Bytes cut = jpeg_start(1);
    const HRESULT hr = image.decode(cut);
    EXPECT_TRUE(hr == S_OK || hr == E_INVALID_IMAGE_DATA);
}

TEST(JpegDecoder, HugeHeaderIsRefusedAsOutOfMemory)
{
    // A quantisation table and a frame of three components, SIDE by SIDE.
    const auto frame = [](uint8_t marker, uint16_t side) {
        Bytes bytes;
        bytes.u8({0xFF, 0xD8});
        bytes.u8({0xFF, 0xDB}).be16(67).u8({0x00}).repeat(1, 64);
        bytes.u8({0xFF, marker}).be16(17).u8({8}).be16(side).be16(side).u8({3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0});
        return bytes;
    };
    Bytes huge = frame(0xC0, 60000);
    huge.u8({0xFF, 0xDA}).be16(12).u8({3, 1, 0, 2, 0, 3, 0, 0, 63, 0});
    ScopedImage image;
    EXPECT_EQ(image.run(decode_jpeg, huge), E_OUTOFMEMORY);

    // A progressive file holds every coefficient until its last scan: 1.2
    // GB for these 200 M pixels, past the ceiling its 800 MB of pixels keep
    // within. It is refused before that memory is taken.
    Bytes progressive = frame(0xC2, 14142);
    progressive.u8({0xFF, 0xC4}).be16(21).u8({0x00, 1, 1}).repeat(0, 14).u8({0x04, 0x00});
    progressive.u8({0xFF, 0xDA}).be16(12).u8({3, 1, 0, 2, 0, 3, 0, 0, 0, 0, 0xFF, 0xD9});
    EXPECT_EQ(image.run(decode_jpeg, progressive), E_FAIL);
}

} // namespace
