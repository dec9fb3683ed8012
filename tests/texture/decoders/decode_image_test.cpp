#include <clocale>
#include <cstring>

#include <gtest/gtest.h>

#include "bitmap_bytes.h"
#include "comma_locale.h"
#include "texture/decoders/image_decoders.h"

namespace {

TEST(DecodeImage, MissingBytesAreAnInvalidCall)
{
    DecodedImage image;
    const uint8_t byte = 0;
    EXPECT_EQ(decode_image(nullptr, 10, TRUE, &image), D3DERR_INVALIDCALL);
    EXPECT_EQ(decode_image(&byte, 0, TRUE, &image), D3DERR_INVALIDCALL);
    EXPECT_EQ(decode_image(&byte, 1, TRUE, nullptr), D3DERR_INVALIDCALL);
}

TEST(DecodeImage, PlainTextIsRefusedByEveryDecoderAndLeavesTheImageEmpty)
{
    Bytes text;
    text.text("1.5 2.5\n3 4\n100 200\n");
    DecodedImage image;
    std::memset(&image, 0x5A, sizeof image);
    EXPECT_EQ(decode_image(text.data(), text.size(), TRUE, &image), E_INVALID_IMAGE_DATA);
    DecodedImage empty;
    std::memset(&empty, 0, sizeof empty);
    EXPECT_EQ(std::memcmp(&image, &empty, sizeof image), 0);
}

TEST(DecodeImage, FailedDecoderGivesWayToTheNext)
{
    // Too short for a DDS header; no later decoder takes it either.
    Bytes dds;
    dds.text("DDS ").repeat(0, 60);
    ScopedImage image;
    EXPECT_EQ(image.decode(dds), E_INVALID_IMAGE_DATA);

    // No signature: only the TGA decoder, eighth in line, takes it.
    Bytes tga;
    tga.u8({0, 0, 3}).repeat(0, 9).le16(1).le16(1).u8({8, 0x20, 42});
    ASSERT_EQ(image.decode(tga), S_OK);
    EXPECT_EQ(image->file_format, IMAGE_FILE_TGA);
    EXPECT_EQ(image->region.right, 1u);
    EXPECT_EQ(image->region.bottom, 1u);
    EXPECT_EQ(image->region.back, 1u);
    EXPECT_EQ(image->region.left, 0u);
}

TEST(DecodeImage, HeaderOnlyLeavesPixelsAndPaletteOut)
{
    Bytes dib = info_header(2, 1, 8, 0, 2);
    quad(dib, 1, 2, 3);
    quad(dib, 4, 5, 6);
    dib.u8({0, 1, 0, 0});
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(dib), false), S_OK);
    EXPECT_EQ(image->format, D3DFMT_P8);
    EXPECT_EQ(image->row_pitch, 4u);
    EXPECT_EQ(image->pixels, nullptr);
    EXPECT_EQ(image->palette, nullptr);
    EXPECT_EQ(image->region.right, 2u);
}

TEST(DecodeImage, NumericLocaleIsRestoredOnSuccessAndFailure)
{
    CommaLocale comma;
    if (comma.name().empty())
        GTEST_SKIP() << "no locale with a decimal comma";
    Bytes pfm;
    pfm.text("Pf\n1 1\n-1.5\n").f32le(2.0f);
    Bytes junk;
    junk.text("Pf\n1 1\n-1.5\n");
    ScopedImage image;
    EXPECT_EQ(image.decode(pfm), S_OK);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), comma.name().c_str());
    EXPECT_EQ(image.decode(junk), E_INVALID_IMAGE_DATA);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), comma.name().c_str());
}

TEST(DecodeImage, ReleasingFreesOwnedBuffersAndLeavesTheRecordEmpty)
{
    Bytes dib = info_header(1, 1, 8, 0, 1);
    quad(dib, 1, 2, 3);
    dib.u8({0, 0, 0, 0});
    DecodedImage image;
    ASSERT_EQ(decode_image(dib.data(), dib.size(), TRUE, &image), S_OK);
    EXPECT_TRUE(image.owns_pixels); // bottom-up rows are copied
    EXPECT_TRUE(image.owns_palette);
    release_decoded_image(&image); // the leak checker of the sanitizer build watches this
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.palette, nullptr);
    EXPECT_FALSE(image.owns_pixels);
    release_decoded_image(&image); // an empty record is fine
    release_decoded_image(nullptr);
}

} // namespace
