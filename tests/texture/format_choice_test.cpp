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

// The format of a texture made from `image` on a device that takes every
// format: the palette treatment, then the choice before the device.
D3DFORMAT chosen_format(const DecodedImage& image, D3DCOLOR key = 0, D3DPOOL pool = D3DPOOL_MANAGED)
{
    BYTE palette[1024];
    const D3DFORMAT pixels = treat_palette(image, D3DFMT_UNKNOWN, &key, palette);
    return format_before_device(pixels, D3DFMT_UNKNOWN, key, palette, pool);
}

// An 8-bit bitmap of one pixel whose colour table has `entries` entries,
// entry i made by `entry(i)` as red, green, blue.
template <class Entry>
Bytes eight_bit_bitmap(int entries, Entry entry)
{
    Bytes dib = info_header(1, 1, 8, 0, uint32_t(entries));
    for (int i = 0; i < entries; ++i) {
        const std::vector<int> rgb = entry(i);
        quad(dib, rgb[2], rgb[1], rgb[0]);
    }
    dib.u8({7, 0, 0, 0});
    return bmp_file(dib);
}

TEST(FormatChoice, BitmapsGiveTheirTextureFormats)
{
    const int levels3[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    const int levels2[4] = {0, 85, 170, 255};
    auto grey = [](int i) { return std::vector<int>{i, i, i}; };
    auto rgb332 = [&](int i) { return std::vector<int>{levels3[i >> 5], levels3[(i >> 2) & 7], levels2[i & 3]}; };
    auto ordinary = [](int i) { return std::vector<int>{i, 255 - i, 7}; };
    Bytes thirty_two_opaque = info_header(2, 1, 32);
    thirty_two_opaque.u8({1, 2, 3, 0, 4, 5, 6, 0});
    Bytes thirty_two_alpha = info_header(2, 1, 32);
    thirty_two_alpha.u8({1, 2, 3, 0, 4, 5, 6, 9});
    Bytes one_bit = info_header(1, 1, 1);
    quad(one_bit, 0, 0, 0);
    quad(one_bit, 255, 255, 255);
    one_bit.u8({0x80, 0, 0, 0});
    Bytes four_bit = info_header(1, 1, 4);
    for (int i = 0; i < 16; ++i)
        quad(four_bit, i, i, i);
    four_bit.u8({0x30, 0, 0, 0});
    Bytes sixteen = info_header(1, 1, 16);
    sixteen.u8({0x1F, 0x7C, 0, 0});
    Bytes twenty_four = info_header(1, 1, 24);
    twenty_four.u8({1, 2, 3, 0});
    Bytes bit_fields = info_header(1, 1, 16, 3, 0, 56);
    bit_fields.le32(0xF00).le32(0xF0).le32(0x0F).le32(0xF000).u8({0x12, 0x34, 0, 0});
    struct Case {
        const char* what;
        Bytes file;
        D3DFORMAT expected;
    } cases[] = {
        {"grey ramp, 256 entries", eight_bit_bitmap(256, grey), D3DFMT_L8},
        // The white filler of entry 255 completes the ramp...
        {"grey ramp, 255 entries", eight_bit_bitmap(255, grey), D3DFMT_L8},
        // ...but not at 254: entry 254 is white.
        {"grey ramp, 254 entries", eight_bit_bitmap(254, grey), D3DFMT_X8R8G8B8},
        {"3-3-2 palette", eight_bit_bitmap(256, rgb332), D3DFMT_R3G3B2},
        {"ordinary palette", eight_bit_bitmap(256, ordinary), D3DFMT_X8R8G8B8},
        {"1-bit", bmp_file(one_bit), D3DFMT_X8R8G8B8},
        {"4-bit", bmp_file(four_bit), D3DFMT_X8R8G8B8},
        {"16-bit", bmp_file(sixteen), D3DFMT_X1R5G5B5},
        {"24-bit", bmp_file(twenty_four), D3DFMT_X8R8G8B8},
        {"32-bit, fourth bytes 0", bmp_file(thirty_two_opaque), D3DFMT_X8R8G8B8},
        {"32-bit, a fourth byte set", bmp_file(thirty_two_alpha), D3DFMT_A8R8G8B8},
        {"bit fields A4R4G4B4", bmp_file(bit_fields), D3DFMT_A4R4G4B4},
    };
    for (const Case& c : cases) {
        ScopedImage image;
        ASSERT_EQ(image.decode(c.file), S_OK) << c.what;
        EXPECT_STREQ(name(chosen_format(*image)), name(c.expected)) << c.what;
    }
}

TEST(FormatChoice, PaletteTreatmentKeepsPixelsAndAppliesTheColourKeyToThePalette)
{
    ScopedImage image;
    ASSERT_EQ(image.decode(eight_bit_bitmap(3, [](int i) { return std::vector<int>{10 * i, 20, 30}; })), S_OK);
    BYTE palette[1024];
    // The key 0xAARRGGBB matches entry 1 (red 10, green 20, blue 30, alpha 255).
    D3DCOLOR key = 0xFF0A141E;
    EXPECT_EQ(treat_palette(*image, D3DFMT_UNKNOWN, &key, palette), D3DFMT_P8);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(std::vector<BYTE>(palette, palette + 12), u8s({0, 20, 30, 255, 0, 0, 0, 0, 20, 20, 30, 255}));
    EXPECT_EQ(palette[1023], 255);
    // The transparent entry makes the texture keep alpha.
    EXPECT_EQ(format_before_device(D3DFMT_P8, D3DFMT_UNKNOWN, key, palette, D3DPOOL_MANAGED), D3DFMT_A8R8G8B8);

    // A grey ramp stays P8 when P8 is asked for.
    ScopedImage ramp;
    ASSERT_EQ(ramp.decode(eight_bit_bitmap(256, [](int i) { return std::vector<int>{i, i, i}; })), S_OK);
    key = 0;
    EXPECT_EQ(treat_palette(*ramp, D3DFMT_P8, &key, palette), D3DFMT_P8);
    EXPECT_EQ(treat_palette(*ramp, D3DFMT_A8R8G8B8, &key, palette), D3DFMT_L8);

    // Without a palette the key stays and the palette is all 255.
    ScopedImage plain;
    Bytes dib = info_header(1, 1, 24);
    dib.u8({1, 2, 3, 0});
    ASSERT_EQ(plain.decode(bmp_file(dib)), S_OK);
    key = 0xFF010203;
    EXPECT_EQ(treat_palette(*plain, D3DFMT_UNKNOWN, &key, palette), D3DFMT_R8G8B8);
    EXPECT_EQ(key, 0xFF010203u);
    EXPECT_EQ(std::vector<BYTE>(palette, palette + 1024), std::vector<BYTE>(1024, 255));
}

TEST(FormatChoice, FormatBeforeTheDeviceIsAsked)
{
    BYTE opaque[1024];
    std::memset(opaque, 255, sizeof opaque);
    struct Case {
        D3DFORMAT image;
        D3DFORMAT requested;
        D3DCOLOR key;
        D3DPOOL pool;
        D3DFORMAT expected;
    } cases[] = {
        {LOADER_FMT_AL16, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_A8L8},
        {LOADER_FMT_R16, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8},
        {D3DFMT_R8G8B8, D3DFMT_UNKNOWN, 0, D3DPOOL_SCRATCH, D3DFMT_R8G8B8},
        {D3DFMT_A8P8, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8},
        {D3DFMT_DXT1, D3DFMT_UNKNOWN, 0, D3DPOOL_MANAGED, D3DFMT_DXT1},
        {D3DFMT_R8G8B8, D3DFMT_R5G6B5, 0, D3DPOOL_MANAGED, D3DFMT_R5G6B5},
        // A colour key asks for one alpha bit, found in the table alone.
        {D3DFMT_X1R5G5B5, D3DFMT_UNKNOWN, 0xFF000000, D3DPOOL_MANAGED, D3DFMT_A1R5G5B5},
        {D3DFMT_L8, D3DFMT_UNKNOWN, 0xFF000000, D3DPOOL_MANAGED, D3DFMT_A8L8},
        {D3DFMT_A8R8G8B8, D3DFMT_UNKNOWN, 0xFF000000, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8},
        {D3DFMT_V8U8, D3DFMT_UNKNOWN, 0xFF000000, D3DPOOL_MANAGED, D3DFMT_V8U8},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(name(format_before_device(c.image, c.requested, c.key, opaque, c.pool)), name(c.expected))
            << name(c.image);
}

TEST(FormatChoice, ClosestFormatScoresAndTies)
{
    struct Case {
        D3DFORMAT wanted;
        std::vector<D3DFORMAT> missing; // from the default device's formats
        D3DFORMAT expected;
    } cases[] = {
        {D3DFMT_X1R5G5B5, {}, D3DFMT_X1R5G5B5},
        // Score 1 (one more green bit) against 9 for X8R8G8B8.
        {D3DFMT_X1R5G5B5, {D3DFMT_X1R5G5B5}, D3DFMT_R5G6B5},
        // An unwanted alpha bit costs 256, three extra bits per colour 9.
        {D3DFMT_X1R5G5B5, {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5}, D3DFMT_X8R8G8B8},
        // Score 0 for both; the earlier row wins.
        {D3DFMT_L8, {D3DFMT_L8}, D3DFMT_X8R8G8B8},
        {D3DFMT_L8, {D3DFMT_L8, D3DFMT_X8R8G8B8}, D3DFMT_X8B8G8R8},
        // Equal scores (768) go to the fewer bits, though A8R8G8B8 comes first.
        {D3DFMT_A8, {D3DFMT_A8}, D3DFMT_A8R3G3B2},
        {D3DFMT_R8G8B8, {}, D3DFMT_X8R8G8B8},
        {D3DFMT_UNKNOWN, {}, D3DFMT_A8R8G8B8},
        {D3DFMT_P8, {}, D3DFMT_A8R8G8B8},
        // Signed formats only stand in for signed ones.
        {D3DFMT_V8U8, {}, D3DFMT_UNKNOWN},
        // Nothing with alpha left: a candidate lacking every wanted channel is none.
        {D3DFMT_A8,
         {D3DFMT_A8, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_A2B10G10R10,
          D3DFMT_A8B8G8R8, D3DFMT_A2R10G10B10, D3DFMT_A16B16G16R16},
         D3DFMT_UNKNOWN},
    };
    for (const Case& c : cases) {
        TextureDevice device(profile_with([&](D3D9Profile& p) {
            for (D3DFORMAT f : c.missing)
                p.remove_format(f);
        }));
        ASSERT_NE(device.get(), nullptr);
        const ULONG d3d_references = device.d3d_references();
        EXPECT_STREQ(name(find_closest_format(device.get(), 0, D3DRTYPE_TEXTURE, format_descriptor(c.wanted))),
                     name(c.expected))
            << name(c.wanted);
        EXPECT_EQ(device.d3d_references(), d3d_references) << "IDirect3D9 left referenced";
    }
    // Without a device every row counts as taken.
    EXPECT_EQ(find_closest_format(nullptr, 0, D3DRTYPE_TEXTURE, format_descriptor(D3DFMT_V8U8)), D3DFMT_V8U8);
    EXPECT_EQ(format_descriptor(static_cast<D3DFORMAT>(12345)).format, D3DFMT_UNKNOWN);
}

TEST(FormatChoice, ClosestFormatDeviceFailures)
{
    TextureDevice device;
    ASSERT_NE(device.get(), nullptr);
    const ULONG d3d_references = device.d3d_references();
    for (D3D9Call call : {D3D9Call::GetDirect3D, D3D9Call::GetDeviceCaps, D3D9Call::GetDisplayMode}) {
        d3d9_test_fail(call, 0, 1, E_OUTOFMEMORY);
        HRESULT result = S_OK;
        EXPECT_EQ(find_closest_format(device.get(), 0, D3DRTYPE_TEXTURE, format_descriptor(D3DFMT_X8R8G8B8), &result),
                  D3DFMT_UNKNOWN);
        EXPECT_EQ(result, E_OUTOFMEMORY);
        EXPECT_EQ(device.d3d_references(), d3d_references);
    }
    // A refused probe only drops that candidate (X8R8G8B8 is the third row);
    // the same channels in another order take its place.
    d3d9_test_fail(D3D9Call::CheckDeviceFormat, 2, 1);
    EXPECT_EQ(find_closest_format(device.get(), 0, D3DRTYPE_TEXTURE, format_descriptor(D3DFMT_X8R8G8B8)),
              D3DFMT_X8B8G8R8);
}

TEST(FormatChoice, TextureRequirements)
{
    const UINT D = TEXTURE_DEFAULT;
    struct Case {
        const char* what;
        DWORD caps_on, caps_off;
        UINT max_width, ratio;
        UINT width, height, levels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        HRESULT result;
        UINT out_width = 0, out_height = 0, out_levels = 0;
        D3DFORMAT out_format = D3DFMT_UNKNOWN;
    } cases[] = {
        {"100 x 60 image", 0, 0, 4096, 4096, 128, 64, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 128, 64, 8,
         D3DFMT_X8R8G8B8},
        {"256 x 256", 0, 0, 4096, 4096, 256, 256, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 256, 256, 9,
         D3DFMT_X8R8G8B8},
        {"256 x 64", 0, 0, 4096, 4096, 256, 64, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 256, 64, 9,
         D3DFMT_X8R8G8B8},
        {"1 x 1", 0, 0, 4096, 4096, 1, 1, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 1, 1, 1, D3DFMT_X8R8G8B8},
        {"no mip maps", 0, D3DPTEXTURECAPS_MIPMAP, 4096, 4096, 256, 256, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
         S_OK, 256, 256, 1, D3DFMT_X8R8G8B8},
        {"1024 wide at most", 0, 0, 1024, 4096, 2048, 1024, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 1024, 1024,
         11, D3DFMT_X8R8G8B8},
        {"square only", D3DPTEXTURECAPS_SQUAREONLY, 0, 4096, 4096, 256, 64, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
         S_OK, 64, 64, 7, D3DFMT_X8R8G8B8},
        {"square only, tall", D3DPTEXTURECAPS_SQUAREONLY, 0, 4096, 4096, 16, 64, D, 0, D3DFMT_X8R8G8B8,
         D3DPOOL_MANAGED, S_OK, 16, 16, 5, D3DFMT_X8R8G8B8},
        {"aspect ratio 2", 0, 0, 4096, 2, 256, 64, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 128, 64, 8,
         D3DFMT_X8R8G8B8},
        {"powers of two", D3DPTEXTURECAPS_POW2, 0, 4096, 4096, 100, 60, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK,
         128, 64, 8, D3DFMT_X8R8G8B8},
        {"powers of two below a limit of 1500", D3DPTEXTURECAPS_POW2, 0, 1500, 4096, 2000, 60, D, 0,
         D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 1024, 64, 11, D3DFMT_X8R8G8B8},
        {"conditional, one level", D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, 4096, 4096, 100, 60,
         1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 100, 60, 1, D3DFMT_X8R8G8B8},
        {"conditional, DXT", D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, 4096, 4096, 100, 60, 1, 0,
         D3DFMT_DXT1, D3DPOOL_MANAGED, S_OK, 128, 64, 1, D3DFMT_DXT1},
        {"conditional, not powers of two", D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, 4096, 4096, 100, 60, D, 0,
         D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 100, 60, 1, D3DFMT_X8R8G8B8},
        {"DXT multiples of 4", 0, 0, 4096, 4096, 3, 5, D, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, S_OK, 4, 8, 4,
         D3DFMT_DXT5},
        {"three levels asked", 0, 0, 4096, 4096, 256, 256, 3, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 256, 256, 3,
         D3DFMT_X8R8G8B8},
        {"no levels asked", 0, 0, 4096, 4096, 256, 256, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 256, 256, 9,
         D3DFMT_X8R8G8B8},
        {"sizes not given", 0, 0, 4096, 4096, D, D, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 256, 256, 9,
         D3DFMT_X8R8G8B8},
        {"width only", 0, 0, 4096, 4096, 32, D, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 32, 32, 6,
         D3DFMT_X8R8G8B8},
        {"height only", 0, 0, 4096, 4096, D, 8, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 8, 8, 4,
         D3DFMT_X8R8G8B8},
        {"zero sizes", 0, 0, 4096, 4096, 0, 0, D, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 1, 1, 1,
         D3DFMT_X8R8G8B8},
        {"usage -1", 0, 0, 4096, 4096, 4, 4, D, 0xFFFFFFFF, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, S_OK, 4, 4, 3,
         D3DFMT_X8R8G8B8},
        {"automatic mip maps", 0, 0, 4096, 4096, 4, 4, D, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_UNKNOWN, D3DPOOL_SCRATCH,
         S_OK, 4, 4, 0, D3DFMT_A8R8G8B8},
        {"unknown usage bit", 0, 0, 4096, 4096, 4, 4, D, 0x8, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {"unknown pool", 0, 0, 4096, 4096, 4, 4, D, 0, D3DFMT_X8R8G8B8, D3DPOOL(4), D3DERR_INVALIDCALL},
        {"no signed formats", 0, 0, 4096, 4096, 4, 4, D, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, D3DERR_NOTAVAILABLE},
    };
    for (const Case& c : cases) {
        TextureDevice device(profile_with([&](D3D9Profile& p) {
            p.texture_caps = (p.texture_caps | c.caps_on) & ~c.caps_off;
            p.max_texture_width = c.max_width;
            p.max_texture_aspect_ratio = c.ratio;
        }));
        ASSERT_NE(device.get(), nullptr);
        UINT width = c.width, height = c.height, depth = 1, levels = c.levels;
        D3DFORMAT format = c.format;
        ASSERT_EQ(check_texture_requirements(device.get(), &width, &height, &depth, &levels, c.usage, &format, c.pool,
                                             D3DRTYPE_TEXTURE),
                  c.result)
            << c.what;
        if (c.result != S_OK)
            continue;
        EXPECT_EQ(width, c.out_width) << c.what;
        EXPECT_EQ(height, c.out_height) << c.what;
        EXPECT_EQ(depth, 1u) << c.what;
        EXPECT_EQ(levels, c.out_levels) << c.what;
        EXPECT_STREQ(name(format), name(c.out_format)) << c.what;
    }
}

TEST(FormatChoice, TextureRequirementsPassDeviceFailuresOn)
{
    TextureDevice device;
    ASSERT_NE(device.get(), nullptr);
    UINT width = 4, height = 4, depth = 1, levels = TEXTURE_DEFAULT;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    // The second GetDeviceCaps is the requirements' own, after the format search.
    d3d9_test_fail(D3D9Call::GetDeviceCaps, 1, 1, E_FAIL);
    EXPECT_EQ(check_texture_requirements(device.get(), &width, &height, &depth, &levels, 0, &format, D3DPOOL_MANAGED,
                                         D3DRTYPE_TEXTURE),
              E_FAIL);
    d3d9_test_fail(D3D9Call::GetDirect3D, 0, 1, E_OUTOFMEMORY);
    EXPECT_EQ(check_texture_requirements(device.get(), &width, &height, &depth, &levels, 0, &format, D3DPOOL_MANAGED,
                                         D3DRTYPE_TEXTURE),
              E_OUTOFMEMORY);
    EXPECT_EQ(check_texture_requirements(nullptr, &width, &height, &depth, &levels, 0, &format, D3DPOOL_MANAGED,
                                         D3DRTYPE_TEXTURE),
              D3DERR_INVALIDCALL);
    // Nothing written back on failure.
    EXPECT_EQ(width, 4u);
    EXPECT_EQ(levels, TEXTURE_DEFAULT);
}

TEST(FormatChoice, TextureExtentFromTheImage)
{
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT, 100), 128u);
    EXPECT_EQ(texture_extent(0, 60), 64u);
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT, 256), 256u);
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT, 1), 1u);
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT, 0x80000001u), 0x80000000u); // no endless doubling
    EXPECT_EQ(texture_extent(TEXTURE_DEFAULT_NONPOW2, 100), 100u);
    EXPECT_EQ(texture_extent(77, 100), 77u);
}

} // namespace
