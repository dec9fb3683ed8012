#include <zlib.h>

#include <gtest/gtest.h>

#include "image_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

// A chunk: length, type, data and the CRC over type and data.
Bytes chunk(const char* type, const Bytes& data)
{
    Bytes body;
    body.text(type).append(data);
    Bytes b;
    b.be32(uint32_t(data.size())).append(body);
    return b.be32(uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// The scan lines as a zlib stream of one stored (uncompressed) block.
Bytes stored_zlib(const Bytes& raw)
{
    Bytes b;
    b.u8({0x78, 0x01, 0x01}).le16(uint32_t(raw.size())).le16(uint32_t(~raw.size() & 0xFFFF)).append(raw);
    return b.be32(uint32_t(adler32(1, raw.data(), uInt(raw.size()))));
}

Bytes ihdr(uint32_t width, uint32_t height, int depth, int colour_type, int interlace = 0)
{
    Bytes b;
    b.be32(width).be32(height).u8({depth, colour_type, 0, 0, interlace});
    return chunk("IHDR", b);
}

// Signature, header, the extra chunks, the image data and the end chunk.
Bytes png_file(const Bytes& header, const Bytes& extra, const Bytes& scan_lines)
{
    Bytes b;
    b.u8({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}).append(header).append(extra);
    return b.append(chunk("IDAT", stored_zlib(scan_lines))).append(chunk("IEND", Bytes()));
}

TEST(PngDecoder, ColourTypesAndDepthsGiveTheirFormats)
{
    struct Case {
        const char* what;
        Bytes file;
        D3DFORMAT format;
        UINT row_pitch;
        std::vector<uint8_t> rows;
    } cases[] = {
        {"RGB 8: blue first, filler 255", png_file(ihdr(2, 1, 8, 2), Bytes(), Bytes().u8({0, 10, 20, 30, 40, 50, 60})),
         D3DFMT_X8R8G8B8, 8, u8s({30, 20, 10, 255, 60, 50, 40, 255})},
        {"RGBA 8", png_file(ihdr(1, 1, 8, 6), Bytes(), Bytes().u8({0, 1, 2, 3, 4})), D3DFMT_A8R8G8B8, 4,
         u8s({3, 2, 1, 4})},
        {"grey 1 bit expanded", png_file(ihdr(3, 1, 1, 0), Bytes(), Bytes().u8({0, 0xA0})), D3DFMT_L8, 3,
         u8s({255, 0, 255})},
        {"grey 16 little-endian", png_file(ihdr(1, 1, 16, 0), Bytes(), Bytes().u8({0, 0x12, 0x34})), D3DFMT_L16, 2,
         u8s({0x34, 0x12})},
        {"grey and alpha 8", png_file(ihdr(1, 1, 8, 4), Bytes(), Bytes().u8({0, 9, 200})), D3DFMT_A8L8, 2,
         u8s({9, 200})},
        {"grey and alpha 16", png_file(ihdr(1, 1, 16, 4), Bytes(), Bytes().u8({0, 1, 2, 3, 4})), LOADER_FMT_AL16, 4,
         u8s({2, 1, 4, 3})},
        {"RGB 16: blue first", png_file(ihdr(1, 1, 16, 2), Bytes(), Bytes().u8({0, 1, 2, 3, 4, 5, 6})), LOADER_FMT_R16,
         6, u8s({6, 5, 4, 3, 2, 1})},
        {"RGBA 16: red first", png_file(ihdr(1, 1, 16, 6), Bytes(), Bytes().u8({0, 1, 2, 3, 4, 5, 6, 7, 8})),
         D3DFMT_A16B16G16R16, 8, u8s({2, 1, 4, 3, 6, 5, 8, 7})},
        {"grey 8 with tRNS", png_file(ihdr(2, 1, 8, 0), chunk("tRNS", Bytes().be16(5)), Bytes().u8({0, 5, 6})),
         D3DFMT_A8L8, 4, u8s({5, 0, 6, 255})},
        {"RGB 8 with tRNS",
         png_file(ihdr(1, 1, 8, 2), chunk("tRNS", Bytes().be16(1).be16(2).be16(3)), Bytes().u8({0, 1, 2, 3})),
         D3DFMT_A8R8G8B8, 4, u8s({3, 2, 1, 0})},
        {"RGB 16 with tRNS",
         png_file(ihdr(1, 1, 16, 2), chunk("tRNS", Bytes().be16(9).be16(9).be16(9)), Bytes().u8({0, 1, 2, 3, 4, 5, 6})),
         D3DFMT_A16B16G16R16, 8, u8s({2, 1, 4, 3, 6, 5, 0xFF, 0xFF})},
        {"grey 16 with tRNS",
         png_file(ihdr(1, 1, 16, 0), chunk("tRNS", Bytes().be16(0x1234)), Bytes().u8({0, 0x12, 0x34})), LOADER_FMT_AL16,
         4, u8s({0x34, 0x12, 0, 0})},
    };
    for (const Case& c : cases) {
        ScopedImage image;
        ASSERT_EQ(image.decode(c.file), S_OK) << c.what;
        EXPECT_EQ(image->file_format, IMAGE_FILE_PNG) << c.what;
        EXPECT_EQ(image->format, c.format) << c.what;
        EXPECT_EQ(image->row_pitch, c.row_pitch) << c.what;
        EXPECT_EQ(image->palette, nullptr) << c.what;
        EXPECT_EQ(rows_of(*image), c.rows) << c.what;
    }
}

TEST(PngDecoder, PaletteImagesUnpackIndexesAndTakeAlphaFromTrns)
{
    Bytes extra = chunk("PLTE", Bytes().u8({10, 20, 30, 40, 50, 60, 70, 80, 90}));
    extra.append(chunk("tRNS", Bytes().u8({7})));
    const Bytes file = png_file(ihdr(3, 1, 2, 3), extra, Bytes().u8({0, 0x18})); // indexes 0 1 2
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->format, D3DFMT_P8);
    EXPECT_EQ(image->row_pitch, 3u);
    EXPECT_EQ(rows_of(*image), u8s({0, 1, 2}));
    std::vector<uint8_t> expected = u8s({10, 20, 30, 7, 40, 50, 60, 255, 70, 80, 90, 255});
    expected.resize(1024, 255);
    EXPECT_EQ(palette_of(*image), expected);
}

TEST(PngDecoder, PaletteGammaIsCorrectedUnlessTheFileIsSrgb)
{
    const Bytes plte = chunk("PLTE", Bytes().u8({64, 128, 255, 0, 1, 2}));
    const Bytes gamma_1 = chunk("gAMA", Bytes().be32(100000));
    Bytes srgb_too = chunk("sRGB", Bytes().u8({0}));
    srgb_too.append(gamma_1);
    ScopedImage corrected, plain;
    ASSERT_EQ(corrected.decode(png_file(ihdr(1, 1, 8, 3), Bytes().append(gamma_1).append(plte), Bytes().u8({0, 0}))),
              S_OK);
    ASSERT_EQ(plain.decode(png_file(ihdr(1, 1, 8, 3), Bytes().append(srgb_too).append(plte), Bytes().u8({0, 0}))),
              S_OK);
    // floor(255 (c / 255)^(1 / 2.2) + 0.5)
    EXPECT_EQ(std::vector<uint8_t>(corrected->palette, corrected->palette + 8),
              u8s({136, 186, 255, 255, 0, 21, 28, 255}));
    EXPECT_EQ(std::vector<uint8_t>(plain->palette, plain->palette + 8), u8s({64, 128, 255, 255, 0, 1, 2, 255}));
}

TEST(PngDecoder, InterlacedImageGivesTheSameRows)
{
    // 2 x 2 RGB: Adam7 holds pixel (0,0) in pass 1, (1,0) in pass 6 and row 1 in pass 7.
    const Bytes plain =
        png_file(ihdr(2, 2, 8, 2), Bytes(), Bytes().u8({0, 1, 2, 3, 4, 5, 6}).u8({0, 7, 8, 9, 10, 11, 12}));
    const Bytes interlaced =
        png_file(ihdr(2, 2, 8, 2, 1), Bytes(), Bytes().u8({0, 1, 2, 3}).u8({0, 4, 5, 6}).u8({0, 7, 8, 9, 10, 11, 12}));
    ScopedImage a, b;
    ASSERT_EQ(a.decode(plain), S_OK);
    ASSERT_EQ(b.decode(interlaced), S_OK);
    EXPECT_EQ(rows_of(*a), rows_of(*b));
    EXPECT_EQ(rows_of(*a)[8 + 4], 12); // row 1, pixel 1 starts with its blue sample
}

TEST(PngDecoder, RefusesDamagedFiles)
{
    const Bytes good = png_file(ihdr(2, 1, 8, 2), Bytes(), Bytes().u8({0, 10, 20, 30, 40, 50, 60}));
    Bytes cut = good;
    cut.truncate(good.size() - 20); // inside the image data
    Bytes bad_crc = good;
    bad_crc.patch_le32(29, 0); // the header chunk's CRC
    ScopedImage image;
    EXPECT_EQ(image.run(decode_png, good), S_OK);
    EXPECT_EQ(image.run(decode_png, cut), E_FAIL);
    EXPECT_EQ(image.run(decode_png, bad_crc), E_FAIL);
    EXPECT_EQ(image.run(decode_png, Bytes().u8({0x89, 'P', 'N', 'G'})), E_FAIL);
    EXPECT_EQ(image.run(decode_png, png_file(ihdr(1, 1, 8, 7), Bytes(), Bytes().u8({0, 0}))), E_FAIL);
}

TEST(PngDecoder, HeaderOnlyAndHugeHeaders)
{
    const Bytes palette_image = png_file(ihdr(3, 1, 2, 3), chunk("PLTE", Bytes().u8({1, 2, 3})), Bytes().u8({0, 0}));
    ScopedImage image;
    ASSERT_EQ(image.decode(palette_image, false), S_OK);
    EXPECT_EQ(image->format, D3DFMT_P8);
    EXPECT_EQ(image->pixels, nullptr);
    EXPECT_EQ(image->palette, nullptr);
    // 20000 x 20000 RGBA claims 1.6 GB.
    EXPECT_EQ(image.run(decode_png, png_file(ihdr(20000, 20000, 8, 6), Bytes(), Bytes().u8({0}))), E_OUTOFMEMORY);
}

} // namespace
