#include <gtest/gtest.h>

#include "image_bytes.h"
#include "texture/decoders/image_decoders.h"

namespace {

struct DdsFields {
    uint32_t flags = 0x1007;
    uint32_t height = 1, width = 1, depth = 0, mip_count = 0;
    uint32_t pf_flags = 0, four_cc = 0, bits = 0, red = 0, green = 0, blue = 0, alpha = 0;
    uint32_t caps2 = 0;
    uint32_t pf_size = 32;
};

// The 128-byte header, field by field.
Bytes dds_header(const DdsFields& f)
{
    Bytes b;
    b.text("DDS ").le32(124).le32(f.flags).le32(f.height).le32(f.width).le32(0).le32(f.depth).le32(f.mip_count);
    b.repeat(0, 44);
    b.le32(f.pf_size).le32(f.pf_flags).le32(f.four_cc).le32(f.bits);
    b.le32(f.red).le32(f.green).le32(f.blue).le32(f.alpha);
    b.le32(0x1000).le32(f.caps2).le32(0).le32(0).le32(0);
    return b;
}

DdsFields argb(uint32_t width, uint32_t height, uint32_t mip_count)
{
    DdsFields f;
    f.width = width;
    f.height = height;
    f.mip_count = mip_count;
    f.pf_flags = 0x41;
    f.bits = 32;
    f.red = 0xFF0000;
    f.green = 0xFF00;
    f.blue = 0xFF;
    f.alpha = 0xFF000000;
    return f;
}

DdsFields luminance(uint32_t width, uint32_t height)
{
    DdsFields f;
    f.width = width;
    f.height = height;
    f.pf_flags = 0x20000;
    f.bits = 8;
    f.red = 0xFF;
    return f;
}

TEST(DdsDecoder, MipLevelsFollowEachOtherInPlace)
{
    Bytes file = dds_header(argb(4, 2, 3));
    file.repeat(1, 32).repeat(2, 8).repeat(3, 4);
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->file_format, IMAGE_FILE_DDS);
    EXPECT_EQ(image->resource_type, D3DRTYPE_TEXTURE);
    struct Level {
        UINT width, height, row_pitch, slice_pitch;
        size_t offset;
    } expected[] = {{4, 2, 16, 32, 128}, {2, 1, 8, 8, 160}, {1, 1, 4, 4, 168}};
    const DecodedImage* level = image.get();
    for (const Level& e : expected) {
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level->format, D3DFMT_A8R8G8B8);
        EXPECT_EQ(level->width, e.width);
        EXPECT_EQ(level->height, e.height);
        EXPECT_EQ(level->depth, 1u);
        EXPECT_EQ(level->row_pitch, e.row_pitch);
        EXPECT_EQ(level->slice_pitch, e.slice_pitch);
        EXPECT_EQ(level->pixels, file.data() + e.offset);
        EXPECT_FALSE(level->owns_pixels);
        EXPECT_EQ(level->region.right, e.width);
        EXPECT_EQ(level->region.bottom, e.height);
        EXPECT_EQ(level->region.back, 1u);
        level = level->next_level;
    }
    EXPECT_EQ(level, nullptr);

    file.truncate(file.size() - 1);
    EXPECT_EQ(image.run(decode_dds, file), E_FAIL);
}

// Block-compressed rows are counted in 4 x 4 blocks, the pair formats' rows
// in pairs of pixels: an odd width still takes its last pair.
TEST(DdsDecoder, PackedLevelsAreMeasuredInBlocksAndPairs)
{
    struct Case {
        D3DFORMAT format;
        uint32_t width, height;
        UINT row_pitch, slice_pitch, next_width, next_row_pitch, next_slice_pitch;
    } cases[] = {
        {D3DFMT_DXT1, 5, 5, 16, 32, 2, 8, 8},
        {D3DFMT_YUY2, 3, 2, 8, 16, 1, 4, 4},
        {D3DFMT_UYVY, 5, 1, 12, 12, 2, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.format << " " << c.width << "x" << c.height);
        DdsFields f;
        f.width = c.width;
        f.height = c.height;
        f.mip_count = 2;
        f.pf_flags = 0x4;
        f.four_cc = c.format;
        Bytes file = dds_header(f);
        file.repeat(0, c.slice_pitch + c.next_slice_pitch);
        ScopedImage image;
        ASSERT_EQ(image.decode(file), S_OK);
        EXPECT_EQ(image->format, c.format);
        EXPECT_EQ(image->row_pitch, c.row_pitch);
        EXPECT_EQ(image->slice_pitch, c.slice_pitch);
        ASSERT_NE(image->next_level, nullptr);
        EXPECT_EQ(image->next_level->width, c.next_width);
        EXPECT_EQ(image->next_level->row_pitch, c.next_row_pitch);
        EXPECT_EQ(image->next_level->pixels, file.data() + 128 + c.slice_pitch);
        file.truncate(file.size() - 1);
        EXPECT_EQ(image.run(decode_dds, file), E_FAIL);
    }
}

TEST(DdsDecoder, CubeHoldsSixFacesOrIsRefused)
{
    DdsFields f = luminance(2, 2);
    f.caps2 = 0xFE00;
    Bytes file = dds_header(f);
    for (int face = 0; face < 6; ++face)
        file.repeat(face, 4);
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->resource_type, D3DRTYPE_CUBETEXTURE);
    int faces = 0;
    for (const DecodedImage* face = image.get(); face; face = face->next_face, ++faces) {
        EXPECT_EQ(face->pixels, file.data() + 128 + 4 * faces);
        EXPECT_EQ(face->region.right, 2u);
    }
    EXPECT_EQ(faces, 6);

    f.caps2 = 0x0600; // two faces only
    Bytes partial = dds_header(f);
    partial.repeat(0, 24);
    EXPECT_EQ(image.run(decode_dds, partial), E_FAIL);
}

TEST(DdsDecoder, VolumeLevelsHoldDepthSlices)
{
    DdsFields f = luminance(2, 2);
    f.flags |= 0x800000;
    f.depth = 3;
    f.mip_count = 2;
    Bytes file = dds_header(f);
    file.repeat(7, 12).repeat(8, 1);
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->resource_type, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(image->depth, 3u);
    EXPECT_EQ(image->slice_pitch, 4u);
    EXPECT_EQ(image->region.back, 3u);
    ASSERT_NE(image->next_level, nullptr);
    EXPECT_EQ(image->next_level->depth, 1u);
    EXPECT_EQ(image->next_level->pixels, file.data() + 140);
}

TEST(DdsDecoder, PalettisedFilesCarryTheirPaletteInPlace)
{
    DdsFields f;
    f.width = 2;
    f.pf_flags = 0x20;
    f.bits = 8;
    Bytes file = dds_header(f);
    file.repeat(0x40, 1024).u8({1, 2});
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    EXPECT_EQ(image->format, D3DFMT_P8);
    EXPECT_EQ(image->palette, file.data() + 128);
    EXPECT_FALSE(image->owns_palette);
    EXPECT_EQ(image->pixels, file.data() + 128 + 1024);

    Bytes short_palette = dds_header(f);
    short_palette.repeat(0, 1000);
    EXPECT_EQ(image.run(decode_dds, short_palette), E_FAIL);
}

TEST(DdsDecoder, PixelFormatMatching)
{
    DdsFields l8_any_bits = luminance(1, 1);
    l8_any_bits.bits = 16; // luminance entries do not compare the bit count
    DdsFields dxt5 = luminance(4, 4);
    dxt5.pf_flags = 0x4 | 0x40; // with a four-character code the other flags are dropped
    dxt5.four_cc = MAKEFOURCC('D', 'X', 'T', '5');
    DdsFields r32f;
    r32f.width = 2;
    r32f.pf_flags = 0x4;
    r32f.four_cc = D3DFMT_R32F;
    DdsFields odd_masks = argb(1, 1, 1);
    odd_masks.red = 0xF00000;
    DdsFields unknown_code = dxt5;
    unknown_code.four_cc = MAKEFOURCC('A', 'T', 'I', '2');

    struct Case {
        const char* what;
        DdsFields fields;
        D3DFORMAT format; // D3DFMT_UNKNOWN: refused
        UINT row_pitch;
    } cases[] = {
        {"L8 with 16 bits", l8_any_bits, D3DFMT_L8, 1},    {"DXT5", dxt5, D3DFMT_DXT5, 16},
        {"R32F by number", r32f, D3DFMT_R32F, 8},          {"unlisted masks", odd_masks, D3DFMT_UNKNOWN, 0},
        {"unknown code", unknown_code, D3DFMT_UNKNOWN, 0},
    };
    for (const Case& c : cases) {
        Bytes file = dds_header(c.fields);
        file.repeat(0, 64);
        ScopedImage image;
        const HRESULT hr = image.run(decode_dds, file);
        if (c.format == D3DFMT_UNKNOWN) {
            EXPECT_EQ(hr, E_FAIL) << c.what;
            continue;
        }
        ASSERT_EQ(hr, S_OK) << c.what;
        EXPECT_EQ(image->format, c.format) << c.what;
        EXPECT_EQ(image->row_pitch, c.row_pitch) << c.what;
    }
}

TEST(DdsDecoder, MipCountBeyondTheFullChainStopsAtOneByOne)
{
    DdsFields f = luminance(2, 1);
    f.mip_count = 0xFFFFFFFF;
    Bytes file = dds_header(f);
    file.repeat(0, 3);
    ScopedImage image;
    ASSERT_EQ(image.decode(file), S_OK);
    ASSERT_NE(image->next_level, nullptr);
    EXPECT_EQ(image->next_level->next_level, nullptr);
}

TEST(DdsDecoder, RefusesBrokenHeaders)
{
    DdsFields bad_pf_size = luminance(1, 1);
    bad_pf_size.pf_size = 24;
    DdsFields zero_width = luminance(0, 1);
    ScopedImage image;
    EXPECT_EQ(image.run(decode_dds, dds_header(bad_pf_size).repeat(0, 4)), E_FAIL);
    EXPECT_EQ(image.run(decode_dds, dds_header(zero_width).repeat(0, 4)), E_FAIL);
    EXPECT_EQ(image.run(decode_dds, dds_header(luminance(1, 1)).truncate(127)), E_FAIL);
    EXPECT_EQ(image.run(decode_dds, dds_header(argb(65536, 65536, 1))), E_OUTOFMEMORY);
}

} // namespace
