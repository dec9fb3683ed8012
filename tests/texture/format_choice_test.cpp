#include <gtest/gtest.h>

#include <vector>

#include "decoders/bitmap_bytes.h"
#include "texture/format_choice.h"
#include "texture/format_names.h"
#include "texture_device.h"

namespace {

const char* name(D3DFORMAT format)
{
    const char* n = format_name(format);
    return n ? n : "?";
}

TEST(FormatChoice, ColourKeyMakesPaletteEntriesTransparent)
{
    Bytes dib = info_header(1, 1, 8, 0, 3);
    for (int i = 0; i < 3; ++i)
        quad(dib, 30, 20, 10 * i);
    ScopedImage image;
    ASSERT_EQ(image.decode(bmp_file(dib.u8({0, 0, 0, 0}))), S_OK);
    BYTE palette[1024];
    D3DCOLOR key = 0xFF0A141E; // 0xAARRGGBB of entry 1
    EXPECT_EQ(treat_palette(*image, D3DFMT_UNKNOWN, &key, palette), D3DFMT_P8);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(std::vector<BYTE>(palette, palette + 12), u8s({0, 20, 30, 255, 0, 0, 0, 0, 20, 20, 30, 255}));
    EXPECT_EQ(format_before_device(D3DFMT_P8, D3DFMT_UNKNOWN, key, palette, D3DPOOL_MANAGED), D3DFMT_A8R8G8B8);
}

TEST(FormatChoice, FormatBeforeTheDeviceIsAsked)
{
    BYTE opaque[1024];
    std::memset(opaque, 255, sizeof opaque);
    struct Case {
        D3DFORMAT image, requested;
        D3DCOLOR key;
        D3DPOOL pool;
        D3DFORMAT expected;
    } cases[] = {
        {D3DFMT_P8, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8},
        {D3DFMT_A8P8, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8},
        {LOADER_FMT_AL16, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_A8L8},
        {LOADER_FMT_R16, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8},
        {D3DFMT_R8G8B8, D3DFMT_UNKNOWN, 0, D3DPOOL_SCRATCH, D3DFMT_R8G8B8},
        {D3DFMT_DXT1, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_DXT1},
        {D3DFMT_R8G8B8, D3DFMT_R5G6B5, 0, D3DPOOL_MANAGED, D3DFMT_R5G6B5},
        // A colour key asks for one alpha bit, found in the table alone.
        {D3DFMT_X1R5G5B5, D3DFMT_UNKNOWN, 0xFF000000, D3DPOOL_MANAGED, D3DFMT_A1R5G5B5},
        {D3DFMT_L8, D3DFMT_UNKNOWN, 0xFF000000, D3DPOOL_MANAGED, D3DFMT_A8L8},
        {D3DFMT_V8U8, D3DFMT_UNKNOWN, 0xFF000000, D3DPOOL_MANAGED, D3DFMT_V8U8},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(name(format_before_device(c.image, c.requested, c.key, opaque, c.pool)), name(c.expected))
            << name(c.image);
}

TEST(FormatChoice, ClosestFormatScoresAndTies)
{
    const std::vector<D3DFORMAT> with_alpha = {D3DFMT_A8,       D3DFMT_A8R8G8B8,    D3DFMT_A1R5G5B5,
                                               D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2,    D3DFMT_A2B10G10R10,
                                               D3DFMT_A8B8G8R8, D3DFMT_A2R10G10B10, D3DFMT_A16B16G16R16};
    struct Case {
        D3DFORMAT wanted;
        std::vector<D3DFORMAT> missing; // from the default device's formats
        D3DFORMAT expected;
    } cases[] = {
        {D3DFMT_X1R5G5B5, {}, D3DFMT_X1R5G5B5},
        {D3DFMT_X1R5G5B5, {D3DFMT_X1R5G5B5}, D3DFMT_R5G6B5},                  // 1 against 9 for X8R8G8B8
        {D3DFMT_X1R5G5B5, {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5}, D3DFMT_X8R8G8B8}, // an alpha bit costs 256
        {D3DFMT_L8, {D3DFMT_L8}, D3DFMT_X8R8G8B8},                            // 0 for both; the earlier row wins
        {D3DFMT_L8, {D3DFMT_L8, D3DFMT_X8R8G8B8}, D3DFMT_X8B8G8R8},
        {D3DFMT_A8, {D3DFMT_A8}, D3DFMT_A8R3G3B2}, // 768 for both; the fewer bits win
        {D3DFMT_R8G8B8, {}, D3DFMT_X8R8G8B8},
        {D3DFMT_UNKNOWN, {}, D3DFMT_A8R8G8B8},
        {D3DFMT_V8U8, {}, D3DFMT_UNKNOWN},       // only signed formats stand in for signed ones
        {D3DFMT_A8, with_alpha, D3DFMT_UNKNOWN}, // lacking every wanted channel is no substitute
    };
    for (const Case& c : cases) {
        TextureDevice device(profile_with([&](D3D9Profile& p) {
            for (D3DFORMAT f : c.missing)
                p.remove_format(f);
        }));
        const ULONG d3d_references = device.d3d_references();
        EXPECT_STREQ(name(find_closest_format(device.get(), 0, D3DRTYPE_TEXTURE, format_descriptor(c.wanted))),
                     name(c.expected))
            << name(c.wanted);
        EXPECT_EQ(device.d3d_references(), d3d_references) << "IDirect3D9 left referenced";
    }
    // Without a device every row counts as taken.
    EXPECT_EQ(find_closest_format(nullptr, 0, D3DRTYPE_TEXTURE, format_descriptor(D3DFMT_V8U8)), D3DFMT_V8U8);
}

// The loader's tests cover the common cases on the device's profiles; these
// are the rules they do not reach.
TEST(FormatChoice, TextureRequirements)
{
    const UINT D = TEXTURE_DEFAULT;
    const DWORD POW2 = D3DPTEXTURECAPS_POW2, COND = D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    const D3DFORMAT X8 = D3DFMT_X8R8G8B8;
    struct Case {
        DWORD caps_on, caps_off;
        UINT max_width, ratio, width, height, levels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        HRESULT result;
        UINT out_width = 0, out_height = 0, out_levels = 0;
        D3DFORMAT out_format = D3DFMT_UNKNOWN;
    } cases[] = {
        {0, 0, 4096, 4096, 256, 64, D, 0, X8, D3DPOOL_MANAGED, S_OK, 256, 64, 9, X8},
        {D3DPTEXTURECAPS_SQUAREONLY, 0, 4096, 4096, 16, 64, D, 0, X8, D3DPOOL_MANAGED, S_OK, 16, 16, 5, X8},
        {0, 0, 4096, 2, 256, 64, D, 0, X8, D3DPOOL_MANAGED, S_OK, 128, 64, 8, X8}, // aspect ratio 2
        {POW2, 0, 4096, 4096, 100, 60, D, 0, X8, D3DPOOL_MANAGED, S_OK, 128, 64, 8, X8},
        // Rounding up would pass the maximum: the power of two below it.
        {POW2, 0, 1500, 4096, 2000, 60, D, 0, X8, D3DPOOL_MANAGED, S_OK, 1024, 64, 11, X8},
        {POW2, 0, 2049, 4096, 2049, 60, D, 0, X8, D3DPOOL_MANAGED, S_OK, 2048, 64, 12, X8},
        {POW2 | COND, 0, 4096, 4096, 100, 60, 1, 0, X8, D3DPOOL_MANAGED, S_OK, 100, 60, 1, X8},
        {POW2 | COND, 0, 4096, 4096, 100, 60, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, S_OK, 128, 64, 1, D3DFMT_DXT1},
        {COND, 0, 4096, 4096, 100, 60, D, 0, X8, D3DPOOL_MANAGED, S_OK, 100, 60, 1, X8},
        {0, 0, 4096, 4096, 3, 5, D, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, S_OK, 4, 8, 4, D3DFMT_DXT5},
        {0, 0, 4096, 4096, 256, 256, 3, 0, X8, D3DPOOL_MANAGED, S_OK, 256, 256, 3, X8},
        {0, 0, 4096, 4096, D, D, 0, 0, X8, D3DPOOL_MANAGED, S_OK, 256, 256, 9, X8},
        {0, 0, 4096, 4096, 32, D, D, 0xFFFFFFFF, X8, D3DPOOL_MANAGED, S_OK, 32, 32, 6, X8},
        {0, 0, 4096, 4096, D, 0, D, 0, X8, D3DPOOL_MANAGED, S_OK, 1, 1, 1, X8},
        {0, 0, 4096, 4096, 4, 4, D, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_UNKNOWN, D3DPOOL_SCRATCH, S_OK, 4, 4, 0,
         D3DFMT_A8R8G8B8},
        {0, 0, 4096, 4096, 4, 4, D, D3DUSAGE_WRITEONLY, X8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {0, 0, 4096, 4096, 4, 4, D, 0, X8, D3DPOOL(4), D3DERR_INVALIDCALL},
        {0, 0, 4096, 4096, 4, 4, D, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, D3DERR_NOTAVAILABLE},
    };
    int row = 0;
    for (const Case& c : cases) {
        ++row;
        TextureDevice device(profile_with([&](D3D9Profile& p) {
            p.texture_caps = (p.texture_caps | c.caps_on) & ~c.caps_off;
            p.max_texture_width = c.max_width;
            p.max_texture_aspect_ratio = c.ratio;
        }));
        UINT width = c.width, height = c.height, depth = 1, levels = c.levels;
        D3DFORMAT format = c.format;
        ASSERT_EQ(check_texture_requirements(device.get(), &width, &height, &depth, &levels, c.usage, &format, c.pool,
                                             D3DRTYPE_TEXTURE),
                  c.result)
            << "row " << row;
        if (c.result == S_OK) {
            EXPECT_EQ(width, c.out_width) << "row " << row;
            EXPECT_EQ(height, c.out_height) << "row " << row;
            EXPECT_EQ(levels, c.out_levels) << "row " << row;
            EXPECT_STREQ(name(format), name(c.out_format)) << "row " << row;
        }
    }
}

TEST(FormatChoice, TextureExtentFromTheImage)
{
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT, 100), 128u);
    EXPECT_EQ(texture_extent(0, 60), 64u);
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT, 256), 256u);
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT, 0x80000001u), 0x80000000u); // no endless doubling
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT_NONPOW2, 100), 100u);
    EXPECT_EQ(texture_extent(77, 100), 77u);
}

} // namespace
