#include <gtest/gtest.h>

#include "bitmap_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

Bytes tiny_dib()
{
    Bytes dib = info_header(1, 1, 24);
    dib.u8({1, 2, 3, 0});
    return dib;
}

TEST(BmpDecoder, DecodesTheDibAfterTheFileHeader)
{
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(tiny_dib())), S_OK);
    EXPECT_EQ(image->file_format, IMAGE_FILE_BMP);
    EXPECT_EQ(image->format, D3DFMT_R8G8B8);
    EXPECT_EQ(rows_of(*image), u8s({1, 2, 3}));
}

TEST(BmpDecoder, FileSizeFieldMustNotExceedTheBytesPresent)
{
    Bytes exact = bmp_file(tiny_dib());
    ScopedImage image;
    EXPECT_EQ(image.run(decode_bmp, exact), S_OK);

    Bytes too_big = bmp_file(tiny_dib());
    too_big.patch_le32(2, uint32_t(too_big.size() + 1));
    EXPECT_EQ(image.run(decode_bmp, too_big), E_FAIL);
    // Nothing after it takes a file that starts with "BM".
    EXPECT_EQ(image.decode(too_big), E_INVALID_IMAGE_DATA);
}

TEST(BmpDecoder, RefusesOtherSignaturesAndShortFiles)
{
    ScopedImage image;
    EXPECT_EQ(image.run(decode_bmp, Bytes().text("BA").le32(14).le32(0).le32(0)), E_FAIL);
    EXPECT_EQ(image.run(decode_bmp, Bytes().text("BM").le32(13).le32(0).u8({0, 0, 0})), E_FAIL);
    // A file header with no DIB behind it.
    EXPECT_EQ(image.run(decode_bmp, Bytes().text("BM").le32(14).le32(0).le32(54)), E_FAIL);
}

} // namespace
