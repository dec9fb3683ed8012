#include <gtest/gtest.h>

#include "image_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

// The 18-byte header, field by field; `descriptor` 0x20 = top row first,
// 0x10 = right to left.
Bytes tga_header(int image_type, int width, int height, int pixel_bits, int descriptor, int map_type = 0,
                 int map_first = 0, int map_length = 0, int map_entry_bits = 0, int id_length = 0)
{
    Bytes b;
    b.u8({id_length, map_type, image_type}).le16(map_first).le16(map_length).u8({map_entry_bits});
    b.le16(0).le16(0).le16(width).le16(height).u8({pixel_bits, descriptor});
    return b;
}

TEST(TgaDecoder, AllFourStorageOrdersGiveTheSameImage)
{
    // 2 x 2, 24 bits; top row (1 2 3)(4 5 6), bottom row (7 8 9)(10 11 12).
    Bytes top_left = tga_header(2, 2, 2, 24, 0x20);
    top_left.u8({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    Bytes bottom_left = tga_header(2, 2, 2, 24, 0x00);
    bottom_left.u8({7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6});
    Bytes top_right = tga_header(2, 2, 2, 24, 0x30);
    top_right.u8({4, 5, 6, 1, 2, 3, 10, 11, 12, 7, 8, 9});
    Bytes bottom_right = tga_header(2, 2, 2, 24, 0x10);
    bottom_right.u8({10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3});
    for (const Bytes* file : {&top_left, &bottom_left, &top_right, &bottom_right}) {
        ScopedImage image;
        ASSERT_EQ(image.decode(*file), S_OK);
        EXPECT_EQ(image->file_format, IMAGE_FILE_TGA);
        EXPECT_EQ(image->format, D3DFMT_R8G8B8);
        EXPECT_EQ(image->row_pitch, 6u);
        EXPECT_EQ(rows_of(*image), u8s({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        // Only the top-left order is used where it lies.
        EXPECT_EQ(image->owns_pixels, file != &top_left);
    }
}

TEST(TgaDecoder, AlphaThatIsAllZeroIsDropped)
{
    Bytes clear = tga_header(2, 2, 1, 32, 0x20);
    clear.u8({1, 2, 3, 0, 4, 5, 6, 0});
    Bytes some = tga_header(2, 2, 1, 32, 0x20);
    some.u8({1, 2, 3, 0, 4, 5, 6, 1});
    Bytes clear16 = tga_header(2, 1, 1, 16, 0x20);
    clear16.u8({0xFF, 0x7F});
    Bytes opaque16 = tga_header(2, 1, 1, 16, 0x20);
    opaque16.u8({0x00, 0x80});
    struct Case {
        const Bytes* file;
        D3DFORMAT format;
    } cases[] = {
        {&clear, D3DFMT_X8R8G8B8}, {&some, D3DFMT_A8R8G8B8}, {&clear16, D3DFMT_X1R5G5B5}, {&opaque16, D3DFMT_A1R5G5B5}};
    for (const Case& c : cases) {
        ScopedImage image;
        ASSERT_EQ(image.decode(*c.file), S_OK);
        EXPECT_EQ(image->format, c.format);
    }
}

TEST(TgaDecoder, RunLengthPackets)
{
    // 3 x 2 grey, bottom row first: a run of 2, then a literal packet of 4
    // that runs past the end of the first row into the second.
    Bytes file = tga_header(11, 3, 2, 8, 0x00);
    file.u8({0x81, 9, 0x03, 1, 2, 3, 4});
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->format, D3DFMT_L8);
    EXPECT_EQ(rows_of(*image), u8s({2, 3, 4, 9, 9, 1}));

    // A run past the last pixel stops at the image's end.
    Bytes overrun = tga_header(11, 2, 1, 8, 0x20);
    overrun.u8({0xFF, 5});
    ASSERT_EQ(image.decode(overrun), S_OK);
    EXPECT_EQ(rows_of(*image), u8s({5, 5}));

    Bytes short_stream = tga_header(11, 2, 2, 8, 0x20);
    short_stream.u8({0x82, 5});
    EXPECT_EQ(image.run(decode_tga, short_stream), E_FAIL);
    Bytes short_literal = tga_header(11, 2, 1, 8, 0x20);
    short_literal.u8({0x01, 5});
    EXPECT_EQ(image.run(decode_tga, short_literal), E_FAIL);
}

TEST(TgaDecoder, ColourMapFillsThePaletteFromItsFirstIndex)
{
    // ID field of 2 bytes, then a 24-bit map of 2 entries for indexes 3 and 4.
    Bytes file = tga_header(1, 2, 1, 8, 0x20, 1, 3, 2, 24, 2);
    file.u8({'i', 'd'}).u8({0x10, 0x20, 0x30, 0x40, 0x50, 0x60}).u8({3, 4});
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->format, D3DFMT_P8);
    EXPECT_EQ(rows_of(*image), u8s({3, 4}));
    const std::vector<uint8_t> palette = palette_of(*image);
    EXPECT_EQ(std::vector<uint8_t>(palette.begin() + 8, palette.begin() + 24),
              u8s({255, 255, 255, 255, 0x30, 0x20, 0x10, 255, 0x60, 0x50, 0x40, 255, 255, 255, 255, 255}));

    Bytes too_long = tga_header(1, 1, 1, 8, 0x20, 1, 255, 2, 24);
    too_long.repeat(0, 6).u8({0});
    EXPECT_EQ(image.run(decode_tga, too_long), E_FAIL);
    // A map that ends on the last index just fits.
    Bytes to_the_end = tga_header(1, 1, 1, 8, 0x20, 1, 254, 2, 24);
    to_the_end.u8({1, 2, 3, 4, 5, 6}).u8({255});
    ASSERT_EQ(image.decode(to_the_end), S_OK);
    const std::vector<uint8_t> full = palette_of(*image);
    EXPECT_EQ(std::vector<uint8_t>(full.end() - 4, full.end()), u8s({6, 5, 4, 255}));
}

TEST(TgaDecoder, ColourMapEntryWidths)
{
    // 16-bit entries: 5-bit fields widened, alpha from bit 15; a map whose
    // alpha is all zero becomes opaque.
    Bytes sixteen = tga_header(1, 1, 1, 8, 0x20, 1, 0, 2, 16);
    sixteen.u8({0x1F, 0x80, 0xE0, 0x03}).u8({0});
    Bytes clear32 = tga_header(1, 1, 1, 8, 0x20, 1, 0, 1, 32);
    clear32.u8({1, 2, 3, 0}).u8({0});
    ScopedImage image;
    ASSERT_EQ(image.decode(sixteen), S_OK);
    EXPECT_EQ(std::vector<uint8_t>(image->palette, image->palette + 8), u8s({0, 0, 255, 255, 0, 255, 0, 0}));
    ASSERT_EQ(image.decode(clear32), S_OK);
    EXPECT_EQ(std::vector<uint8_t>(image->palette, image->palette + 4), u8s({3, 2, 1, 255}));
}

TEST(TgaDecoder, RefusesImplausibleHeaders)
{
    struct Case {
        const char* what;
        Bytes file;
    } cases[] = {
        {"colour-map type 2", tga_header(2, 1, 1, 24, 0x20, 2).repeat(0, 3)},
        {"image type 32", tga_header(32, 1, 1, 24, 0x20).repeat(0, 3)},
        {"image type 4", tga_header(4, 1, 1, 24, 0x20).repeat(0, 3)},
        {"no image data", tga_header(0, 1, 1, 24, 0x20).repeat(0, 3)},
        {"width 0", tga_header(2, 0, 1, 24, 0x20).repeat(0, 3)},
        {"colour-mapped without a map", tga_header(1, 1, 1, 8, 0x20).repeat(0, 1)},
        {"map entry of 8 bits", tga_header(1, 1, 1, 8, 0x20, 1, 0, 1, 8).repeat(0, 2)},
        {"true colour of 8 bits", tga_header(2, 1, 1, 8, 0x20).repeat(0, 1)},
        {"grey of 16 bits", tga_header(3, 1, 1, 16, 0x20).repeat(0, 2)},
        {"pixels missing", tga_header(2, 2, 2, 24, 0x20).repeat(0, 11)},
        {"map missing", tga_header(2, 1, 1, 24, 0x20, 1, 0, 4, 24).repeat(0, 3)},
        {"short header", tga_header(2, 1, 1, 24, 0x20).truncate(17)},
    };
    for (const Case& c : cases) {
        ScopedImage image;
        EXPECT_EQ(image.run(decode_tga, c.file), E_FAIL) << c.what;
    }
    ScopedImage image;
    EXPECT_EQ(image.run(decode_tga, tga_header(10, 65535, 65535, 32, 0x20).u8({0xFF, 0, 0, 0, 0})), E_OUTOFMEMORY);
}

} // namespace
