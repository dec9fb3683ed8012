#include <clocale>
#include <cstring>

#include <gtest/gtest.h>

#include "bitmap_bytes.h"
#include "comma_locale.h"
#include "jpeg_bytes.h"
#include "png_bytes.h"
#include "texture/decoders/byte_reader.h"
#include "texture/decoders/image_decoders.h"

namespace {

// Every decoder's reads of file bytes go through these checks: each read
// reaches the block's last byte and never one past it, whatever the sums
// of offset and count would wrap to, and a failed cursor read stays put.
TEST(ByteReader, ReadsReachTheLastByteAndNoFurther)
{
    const uint8_t bytes[4] = {1, 2, 3, 4};
    const ByteReader in(bytes, sizeof bytes);
    const struct {
        uint64_t offset, count;
        bool has;
    } spans[] = {{0, 4, true},
                 {0, 5, false},
                 {3, 1, true},
                 {3, 2, false},
                 {4, 0, true},
                 {5, 0, false},
                 {1, ~uint64_t(0), false},
                 {~uint64_t(0), 2, false}};
    for (const auto& c : spans)
        EXPECT_EQ(in.has(c.offset, c.count), c.has) << c.offset << " " << c.count;
    uint32_t word = 0;
    EXPECT_TRUE(in.u32le(0, &word));
    EXPECT_EQ(word, 0x04030201u);
    EXPECT_FALSE(in.u32le(1, &word));
    ByteReader cursor(bytes, sizeof bytes);
    EXPECT_FALSE(cursor.skip(5));
    EXPECT_EQ(cursor.position(), 0u);
    EXPECT_TRUE(cursor.skip(3));
    EXPECT_EQ(cursor.peek(), 4);
    const uint8_t* read = nullptr;
    EXPECT_FALSE(cursor.read(2, &read));
    EXPECT_TRUE(cursor.read(1, &read));
    EXPECT_EQ(*read, 4);
    EXPECT_TRUE(cursor.at_end());
    EXPECT_EQ(cursor.peek(), -1);
    EXPECT_FALSE(cursor.skip(1));
    EXPECT_FALSE(cursor.seek(5));
}

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

TEST(DecodeImage, RefusalsSayWhichFieldHeldWhichValue)
{
    const Bytes good_png = png_file(ihdr(1, 1, 8, 0), Bytes(), Bytes().u8({0, 9}));
    Bytes bad_crc = good_png;
    bad_crc.patch_le32(16, 2); // the width inside IHDR
    const Bytes rle_overrun = info_header(2, 1, 8, 1, 1);
    struct Case {
        Bytes file;
        HRESULT result;
        const char* reason;
    } cases[] = {
        {bmp_file(info_header(1, 1, 24, 7).u8({1, 2, 3, 0})), E_INVALID_IMAGE_DATA,
         "BMP: compression 7 is not supported"},
        {bmp_file(info_header(1, 1, 24).u8({1, 2, 3, 0})).patch_le32(2, 1000), E_INVALID_IMAGE_DATA,
         "BMP: file size 1000 exceeds the 58 bytes present"},
        {bmp_file(info_header(2, 2, 24).repeat(0, 8)), E_INVALID_IMAGE_DATA, "BMP: truncated in the pixel rows"},
        // Its first four bytes also read as a bitmap header's size, 19778:
        // the reason is the first decoder's that knew the file.
        {bmp_file(info_header(1, 1, 24).repeat(0, 20000)).patch_le32(2, 0x10000), E_INVALID_IMAGE_DATA,
         "BMP: file size 65536 exceeds the 20054 bytes present"},
        {bmp_file(Bytes(rle_overrun).u8({0, 0, 0, 0, 5, 7})), E_INVALID_IMAGE_DATA,
         "BMP: run-length data write past the end of the image"},
        {info_header(1, 1, 5).u8({0, 0, 0, 0}), E_INVALID_IMAGE_DATA, "DIB: bit count 5 is not supported"},
        {Bytes().text("P6 1 1 300\n"), E_INVALID_IMAGE_DATA, "PPM: maximum value 300 exceeds 255 in a binary file"},
        {Bytes().text("P3 0 1 255\n"), E_INVALID_IMAGE_DATA, "PPM: width is 0"},
        {Bytes().text("DDS ").repeat(0, 60), E_INVALID_IMAGE_DATA, "DDS: 64 bytes are too few for the 128-byte header"},
        {jpeg_start(4).u8({0x92, 0x4F, 0xFF, 0xD9}), E_INVALID_IMAGE_DATA, "JPEG: 4 components are not supported"},
        {Bytes(good_png).truncate(good_png.size() - 20), E_INVALID_IMAGE_DATA, "PNG: truncated in IDAT"},
        {Bytes(good_png).truncate(good_png.size() - 14), E_INVALID_IMAGE_DATA, "PNG: truncated in IDAT"}, // its CRC
        {bad_crc, E_INVALID_IMAGE_DATA, "PNG: IHDR: CRC error"},
        {Bytes().text("PF\n1 1\nscale\n"), E_INVALID_IMAGE_DATA, "PFM: the scale line is not a decimal number"},
        {Bytes().text("#?RADIANCE\n\n-Y 1 +X 1\n"), E_INVALID_IMAGE_DATA, "HDR: the FORMAT line is missing"},
        {Bytes().text("#?RADIANCE\nFORMAT=\x01\x7F\xE9\r\n"), E_INVALID_IMAGE_DATA,
         "HDR: FORMAT=???? is not supported"},
        {Bytes().u8({0, 0, 2}).repeat(0, 9).le16(40000).le16(40000).u8({32, 0x20}), E_INVALID_IMAGE_DATA,
         "TGA: 40000 x 40000 exceeds the 1 GiB image limit"},
        {Bytes().u8({0, 0, 2}).repeat(0, 9).le16(1).le16(1).u8({12, 0x20, 0, 0}), E_INVALID_IMAGE_DATA,
         "TGA: pixel size 12 is not supported with image type 2"},
        {Bytes().text("1 2\n3 4\n"), E_INVALID_IMAGE_DATA, "no decoder recognises the file"},
        {Bytes(), D3DERR_INVALIDCALL, "no bytes to decode"},
        {good_png, S_OK, ""}, // and a success clears what the last refusal said
    };
    DecodeReason reason;
    for (const Case& c : cases) {
        ScopedImage image;
        EXPECT_EQ(image.decode(c.file, true, &reason), c.result) << c.reason;
        EXPECT_STREQ(reason.text, c.reason);
    }
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
