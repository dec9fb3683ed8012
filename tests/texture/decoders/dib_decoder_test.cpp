#include <gtest/gtest.h>

#include "bitmap_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

std::vector<uint8_t> white_entries(size_t count) { return std::vector<uint8_t>(4 * count, 255); }

TEST(DibDecoder, PositiveAndNegativeHeightGiveTheSameTopRowFirst)
{
    // 2 x 2, 24 bits, rows padded to 8 bytes. Top row: 1 2 3 | 4 5 6.
    Bytes bottom_up = info_header(2, 2, 24);
    bottom_up.u8({7, 8, 9, 10, 11, 12, 0, 0}).u8({1, 2, 3, 4, 5, 6, 0, 0});
    Bytes top_down = info_header(2, -2, 24);
    top_down.u8({1, 2, 3, 4, 5, 6, 0, 0}).u8({7, 8, 9, 10, 11, 12}); // last row unpadded

    const Bytes up_file = bmp_file(bottom_up), down_file = bmp_file(top_down);
    ScopedImage up, down;
    ASSERT_EQ(up.decode(up_file), S_OK);
    ASSERT_EQ(down.decode(down_file), S_OK);
    for (DecodedImage* image : {up.get(), down.get()}) {
        EXPECT_EQ(image->format, D3DFMT_R8G8B8);
        EXPECT_EQ(image->width, 2u);
        EXPECT_EQ(image->height, 2u);
        EXPECT_EQ(image->depth, 1u);
        EXPECT_EQ(image->row_pitch, 8u);
        EXPECT_EQ(image->palette, nullptr);
        EXPECT_EQ(rows_of(*image), u8s({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    }
    // Top-down rows are used where they lie in the file.
    EXPECT_FALSE(down->owns_pixels);
    EXPECT_EQ(down->pixels, down_file.data() + 54);
    EXPECT_TRUE(up->owns_pixels);
}

TEST(DibDecoder, OneBitPaletteHasTheTwoColoursThenWhite)
{
    Bytes dib = info_header(10, 1, 1);
    quad(dib, 0x10, 0x20, 0x30);
    quad(dib, 0x40, 0x50, 0x60);
    dib.u8({0xB0, 0x40, 0, 0}); // most significant bit first
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(dib)), S_OK);
    EXPECT_EQ(image->format, D3DFMT_P8);
    EXPECT_EQ(image->row_pitch, 12u);
    EXPECT_EQ(rows_of(*image), u8s({1, 0, 1, 1, 0, 0, 0, 0, 0, 1}));
    std::vector<uint8_t> expected = u8s({0x30, 0x20, 0x10, 255, 0x60, 0x50, 0x40, 255});
    const std::vector<uint8_t> white = white_entries(254);
    expected.insert(expected.end(), white.begin(), white.end());
    EXPECT_EQ(palette_of(*image), expected);
}

TEST(DibDecoder, PixelsFollowAShortColourTableWhateverTheOffsetField)
{
    Bytes dib = info_header(2, 1, 8, 0, 200);
    for (int i = 0; i < 200; ++i)
        quad(dib, i, 0, 0);
    dib.u8({5, 199, 0, 0});
    ScopedImage image;
    // The offset field claims a full 256-entry table.
    ASSERT_EQ(image.decode(bmp_file(dib, 54 + 1024)), S_OK);
    EXPECT_EQ(rows_of(*image), u8s({5, 199}));
    const std::vector<uint8_t> palette = palette_of(*image);
    EXPECT_EQ(std::vector<uint8_t>(palette.begin() + 4 * 199, palette.begin() + 4 * 200), u8s({0, 0, 199, 255}));
    EXPECT_EQ(std::vector<uint8_t>(palette.begin() + 4 * 200, palette.end()), white_entries(56));
}

TEST(DibDecoder, ColourTableBeyond256EntriesIsSkippedNotStored)
{
    Bytes dib = info_header(2, 1, 8, 0, 300);
    for (int i = 0; i < 300; ++i)
        quad(dib, i & 0xFF, i >> 8, 7);
    dib.u8({1, 255, 0, 0});
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(dib)), S_OK);
    EXPECT_EQ(rows_of(*image), u8s({1, 255}));
    const std::vector<uint8_t> palette = palette_of(*image);
    EXPECT_EQ(std::vector<uint8_t>(palette.end() - 4, palette.end()), u8s({7, 0, 255, 255}));
}

// Three rows at widths where the stored rows' padding changes, so that a
// wrong stride shows from the second row on; indexes high bits first.
TEST(DibDecoder, IndexedRowsUnpackAtEveryWidth)
{
    for (int bits : {1, 4, 8}) {
        for (int width : {1, 2, 3, 7, 8, 9, 17, 31, 33}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
            const int height = 3, colours = 1 << bits;
            std::vector<uint8_t> expected(size_t(width) * height);
            for (size_t i = 0; i < expected.size(); ++i)
                expected[i] = static_cast<uint8_t>((i * 7 + 3) % colours);
            Bytes dib = info_header(width, height, bits);
            dib.repeat(0, 4 * size_t(colours));
            const int stride = (width * bits + 31) / 32 * 4;
            for (int r = height - 1; r >= 0; --r) { // bottom row first
                std::vector<int> row(size_t(stride), 0);
                for (int x = 0; x < width; ++x)
                    row[x * bits / 8] |= expected[size_t(r) * width + x] << (8 - bits - x * bits % 8);
                for (int byte : row)
                    dib.u8({byte});
            }
            ScopedImage image;
            ASSERT_EQ(image.decode(bmp_file(dib, 54 + 4 * colours)), S_OK);
            EXPECT_EQ(rows_of(*image), expected);
        }
    }
}

TEST(DibDecoder, CoreHeaderHasThreeByteColourEntries)
{
    Bytes dib;
    dib.le32(12).le16(2).le16(uint16_t(-1)).le16(1).le16(1); // 2 x 1, top row first
    dib.u8({0x10, 0x20, 0x30, 0x40, 0x50, 0x60});
    dib.u8({0x40, 0, 0, 0});
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(dib)), S_OK);
    EXPECT_EQ(rows_of(*image), u8s({0, 1}));
    EXPECT_EQ(std::vector<uint8_t>(image->palette, image->palette + 8),
              u8s({0x30, 0x20, 0x10, 255, 0x60, 0x50, 0x40, 255}));
}

TEST(DibDecoder, ThirtyTwoBitsGainAlphaFromOneNonZeroFourthByte)
{
    for (const bool want_pixels : {false, true}) {
        Bytes opaque = info_header(2, 1, 32);
        opaque.u8({1, 2, 3, 0, 4, 5, 6, 0});
        Bytes alpha = info_header(2, 1, 32);
        alpha.u8({1, 2, 3, 0, 4, 5, 6, 9});
        ScopedImage a, b;
        ASSERT_EQ(a.decode(bmp_file(opaque), want_pixels), S_OK);
        ASSERT_EQ(b.decode(bmp_file(alpha), want_pixels), S_OK);
        EXPECT_EQ(a->format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(b->format, D3DFMT_A8R8G8B8);
        if (want_pixels)
            EXPECT_EQ(rows_of(*b), u8s({1, 2, 3, 0, 4, 5, 6, 9}));
        else
            EXPECT_EQ(b->pixels, nullptr);
    }
}

TEST(DibDecoder, SixteenBitsUncompressedAreX1R5G5B5)
{
    Bytes dib = info_header(1, 1, 16);
    dib.u8({0x1F, 0x7C, 0, 0});
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(dib)), S_OK);
    EXPECT_EQ(image->format, D3DFMT_X1R5G5B5);
    EXPECT_EQ(rows_of(*image), u8s({0x1F, 0x7C}));
}

// A bit-field bitmap whose header holds the masks (52 or 56 bytes).
Bytes bitfield_dib(int width, int height, int bits, uint32_t red, uint32_t green, uint32_t blue,
                   const uint32_t* alpha = nullptr)
{
    Bytes dib = info_header(width, height, bits, 3, 0, alpha ? 56 : 52);
    dib.le32(red).le32(green).le32(blue);
    if (alpha)
        dib.le32(*alpha);
    return dib;
}

TEST(DibDecoder, BitFieldMasksChooseTheFormat)
{
    const uint32_t alpha_8000 = 0x8000, alpha_ff000000 = 0xFF000000;
    struct Case {
        int bits;
        uint32_t red, green, blue;
        const uint32_t* alpha;
        D3DFORMAT format;
    } cases[] = {
        {16, 0xF800, 0x7E0, 0x1F, nullptr, D3DFMT_R5G6B5},
        {16, 0x7C00, 0x3E0, 0x1F, &alpha_8000, D3DFMT_A1R5G5B5},
        {32, 0xFF0000, 0xFF00, 0xFF, &alpha_ff000000, D3DFMT_A8R8G8B8},
        {32, 0xFF, 0xFF00, 0xFF0000, nullptr, D3DFMT_X8B8G8R8},
        {24, 0xFF0000, 0xFF00, 0xFF, nullptr, D3DFMT_R8G8B8},
    };
    for (const Case& c : cases) {
        Bytes dib = bitfield_dib(1, -1, c.bits, c.red, c.green, c.blue, c.alpha);
        dib.u8({0x11, 0x22, 0x33, 0x44});
        ScopedImage image;
        ASSERT_EQ(image.decode(bmp_file(dib)), S_OK) << c.bits << " bits, red " << c.red;
        EXPECT_EQ(image->format, c.format) << c.bits << " bits, red " << c.red;
        EXPECT_FALSE(image->owns_pixels);
    }
}

TEST(DibDecoder, BitFieldsWithMasksAfterA40ByteHeaderAreRefused)
{
    Bytes dib = info_header(1, 1, 16, 3);
    dib.le32(0xF800).le32(0x7E0).le32(0x1F).u8({0, 0, 0, 0});
    ScopedImage image;
    EXPECT_EQ(image.run(decode_dib, dib), E_FAIL);
    EXPECT_EQ(image.decode(bmp_file(dib)), E_INVALID_IMAGE_DATA);
}

TEST(DibDecoder, UnlistedMasksDecodeToFloats)
{
    // 10-bit red, 11-bit green, 11-bit blue; red full, green 1024 of 2047, blue 0.
    Bytes dib = bitfield_dib(1, 1, 32, 0x3FF, 0x1FFC00, 0xFFE00000);
    dib.le32(0x3FF | 1024u << 10);
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(dib)), S_OK);
    EXPECT_EQ(image->format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(image->row_pitch, 16u);
    EXPECT_EQ(floats_of(*image), (std::vector<float>{1.0f, 1024.0f / 2047.0f, 0.0f, 1.0f}));

    // No colour masks at all: colour 0, alpha from its mask.
    const uint32_t alpha = 0xFF00;
    Bytes grey = bitfield_dib(1, 1, 16, 0, 0, 0, &alpha);
    grey.u8({0x00, 0x80, 0, 0});
    ASSERT_EQ(image.decode(bmp_file(grey)), S_OK);
    EXPECT_EQ(floats_of(*image), (std::vector<float>{0.0f, 0.0f, 0.0f, 128.0f / 255.0f}));
}

TEST(DibDecoder, ColourInTheTopThreeBytesStartsOneByteLater)
{
    Bytes dib = bitfield_dib(2, -1, 32, 0xFF000000, 0xFF0000, 0xFF00);
    dib.u8({0xAA, 1, 2, 3, 0xBB, 4, 5, 6});
    ScopedImage image;
    EXPECT_EQ(image.decode(bmp_file(dib)), E_INVALID_IMAGE_DATA); // the shifted row needs one more byte
    dib.u8({0xCC});
    const Bytes file = bmp_file(dib); // the rows stay in place
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->format, D3DFMT_X8R8G8B8);
    const std::vector<uint8_t> rows = rows_of(*image);
    EXPECT_EQ(u8s({rows[0], rows[1], rows[2], rows[4], rows[5], rows[6]}), u8s({1, 2, 3, 4, 5, 6}));
}

TEST(DibDecoder, RefusesBrokenHeaders)
{
    struct Case {
        const char* what;
        Bytes dib;
    } cases[] = {
        {"header size 39", Bytes().le32(39).repeat(0, 60)},
        {"header longer than the bytes", Bytes().le32(60).repeat(0, 40)},
        {"width 0", info_header(0, 1, 24).repeat(0, 4)},
        {"negative width", info_header(-1, 1, 24).repeat(0, 4)},
        {"height 0", info_header(1, 0, 24).repeat(0, 4)},
        {"2 bits per pixel", info_header(1, 1, 2).repeat(0, 16 + 4)},
        {"compression 4", info_header(1, 1, 24, 4).repeat(0, 4)},
        {"colour table past the end", info_header(1, 1, 8).repeat(0, 1000)},
        {"rows past the end", info_header(2, 2, 24).repeat(0, 13)},
        {"two planes", Bytes().le32(40).le32(1).le32(1).le16(2).le16(24).repeat(0, 24 + 4)},
    };
    for (const Case& c : cases) {
        ScopedImage image;
        EXPECT_EQ(image.run(decode_dib, c.dib), E_FAIL) << c.what;
    }
}

TEST(DibDecoder, HeaderlessDibIsRecognised)
{
    Bytes dib = info_header(1, 1, 24);
    dib.u8({1, 2, 3, 0});
    ScopedImage image;
    ASSERT_EQ(image.decode(dib), S_OK);
    EXPECT_EQ(image->file_format, IMAGE_FILE_DIB);
}

TEST(DibDecoder, HugeHeadersAreRefusedAsOutOfMemoryBeforeAllocating)
{
    // A few bytes claiming 40000 x 30000 run-length pixels (1.2 GB decoded).
    Bytes rle = info_header(40000, 30000, 8, 1, 2);
    rle.repeat(0, 8).u8({0, 1});
    // 20000 x 20000 bottom-up 24-bit rows that are not even there.
    Bytes flat = info_header(20000, 20000, 24);
    ScopedImage image;
    EXPECT_EQ(image.run(decode_dib, rle), E_OUTOFMEMORY);
    EXPECT_EQ(image->pixels, nullptr);
    EXPECT_EQ(image.run(decode_dib, flat), E_OUTOFMEMORY);
    EXPECT_EQ(image.decode(bmp_file(rle)), E_INVALID_IMAGE_DATA);
}

// An 8-bit run-length bitmap of 4 x 2 with a two-entry colour table.
Bytes rle8(int height, std::initializer_list<int> stream)
{
    Bytes dib = info_header(4, height, 8, 1, 2);
    quad(dib, 0, 0, 0);
    quad(dib, 255, 255, 255);
    return bmp_file(dib.u8(stream));
}

TEST(DibDecoder, Rle8StreamsDecode)
{
    struct Case {
        const char* what;
        Bytes file;
        std::vector<uint8_t> rows; // top row first
    } cases[] = {
        {"end of bitmap; unwritten pixels are 0", rle8(2, {3, 7, 0, 0, 2, 9, 0, 1}), u8s({9, 9, 0, 0, 7, 7, 7, 0})},
        {"end of line after the last row", rle8(2, {4, 1, 0, 0, 4, 2, 0, 0}), u8s({2, 2, 2, 2, 1, 1, 1, 1})},
        {"delta", rle8(2, {0, 2, 1, 1, 2, 5, 0, 1}), u8s({0, 5, 5, 0, 0, 0, 0, 0})},
        {"absolute block with pad byte", rle8(2, {0, 3, 4, 5, 6, 0, 0, 1}), u8s({0, 0, 0, 0, 4, 5, 6, 0})},
        {"top-down run into the next row", rle8(-2, {6, 3, 0, 1}), u8s({3, 3, 3, 3, 3, 3, 0, 0})},
        {"delta past the last row then end", rle8(2, {1, 1, 0, 2, 0, 5, 0, 0}), u8s({0, 0, 0, 0, 1, 0, 0, 0})},
    };
    for (const Case& c : cases) {
        ScopedImage image;
        ASSERT_EQ(image.decode(c.file), S_OK) << c.what;
        EXPECT_EQ(image->format, D3DFMT_P8) << c.what;
        EXPECT_TRUE(image->owns_pixels) << c.what;
        EXPECT_EQ(rows_of(*image), c.rows) << c.what;
    }
}

TEST(DibDecoder, Rle8StreamsThatLeaveTheImageOrEndEarlyAreRefused)
{
    struct Case {
        const char* what;
        Bytes file;
    } cases[] = {
        {"run longer than the image", rle8(2, {9, 1, 0, 1})},
        {"bottom row run into memory past the end", rle8(2, {5, 1, 0, 1})},
        {"block longer than the image", rle8(2, {0, 0, 0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1})},
        {"write after a delta past the last row", rle8(2, {0, 2, 0, 2, 1, 1, 0, 1})},
        {"stream without an end", rle8(2, {2, 1})},
        {"command cut in half", rle8(2, {2, 1, 0})},
        {"delta without its offsets", rle8(2, {0, 2, 1})},
        {"block cut short", rle8(2, {0, 4, 1, 2})},
    };
    for (const Case& c : cases) {
        ScopedImage image;
        EXPECT_EQ(image.run(decode_bmp, c.file), E_FAIL) << c.what;
    }
}

TEST(DibDecoder, Rle4BlocksTakeHalfAByteEachAndPadToEvenBytes)
{
    Bytes dib = info_header(9, 3, 4, 2);
    dib.repeat(0, 16 * 4);
    dib.u8({0, 3, 0x12, 0x30, 4, 0xAB, 0, 0});             // block of 3, then a run of 4
    dib.u8({0, 5, 0x12, 0x34, 0x50, 0, 0, 0});             // block of 5: 3 bytes + pad
    dib.u8({0, 9, 0x12, 0x34, 0x56, 0x78, 0x90, 0, 0, 1}); // block of 9: 5 bytes + pad
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(dib)), S_OK);
    EXPECT_EQ(image->row_pitch, 12u);
    EXPECT_EQ(rows_of(*image),
              u8s({1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3, 4, 5, 0, 0, 0, 0, 1, 2, 3, 10, 11, 10, 11, 0, 0}));
}

} // namespace
