#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "decoders/bitmap_bytes.h"
#include "texture/format_names.h"
#include "texture/texture_loader.h"
#include "texture_device.h"
#include "temp_folder.h"

namespace {

// An uncompressed bitmap, bottom row first; `pixel` gives each pixel's bytes.
Bytes bitmap(int width, int height, int bits, const std::function<std::vector<int>(int x, int y)>& pixel)
{
    Bytes dib = info_header(width, height, bits);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            for (int byte : pixel(x, y))
                dib.u8({byte});
        dib.repeat(0, size_t((4 - width * bits / 8 % 4) % 4));
    }
    return bmp_file(dib);
}

// A 16 x 16 8-bit bitmap of the indexes 0 to 255, with `entries` colours
// made by `entry` (red, green, blue).
Bytes indexed_bitmap(int entries, const std::function<std::vector<int>(int)>& entry)
{
    Bytes dib = info_header(16, 16, 8, 0, uint32_t(entries));
    for (int i = 0; i < entries; ++i)
        quad(dib, entry(i)[2], entry(i)[1], entry(i)[0]);
    for (int y = 15; y >= 0; --y)
        for (int x = 0; x < 16; ++x)
            dib.u8({x + 16 * y});
    return bmp_file(dib);
}

// A 2 x 1 bitmap of 1 or 4 bits per pixel: red, then blue.
Bytes two_colour_bitmap(int bits)
{
    Bytes dib = info_header(2, 1, bits, 0, 2);
    quad(dib, 0, 0, 255);
    quad(dib, 255, 0, 0);
    return bmp_file(dib.u8({bits == 1 ? 0x40 : 0x01, 0, 0, 0}));
}

struct Level {
    D3DSURFACE_DESC desc;
    std::vector<uint8_t> bytes; // rows without padding
};

const char* name(D3DFORMAT format) { return format_name(format) ? format_name(format) : "?"; }

class TextureLoader : public ::testing::Test {
protected:
    std::string write(const Bytes& bytes, const char* name = "image.bmp") const
    {
        return folder_.write(name, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }

    // Loads the file and reads every level back.
    static std::vector<Level> load(TextureDevice& device, const std::string& path, UINT texel_bytes)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(load_texture_file(device.get(), path.c_str(), &texture), S_OK) << path;
        std::vector<Level> levels(texture ? texture->GetLevelCount() : 0);
        for (UINT l = 0; l < levels.size(); ++l) {
            D3DLOCKED_RECT locked;
            EXPECT_EQ(texture->GetLevelDesc(l, &levels[l].desc), S_OK);
            EXPECT_EQ(texture->LockRect(l, &locked, nullptr, D3DLOCK_READONLY), S_OK);
            for (UINT y = 0; y < levels[l].desc.Height; ++y) {
                const auto* row = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch;
                levels[l].bytes.insert(levels[l].bytes.end(), row, row + levels[l].desc.Width * texel_bytes);
            }
            texture->UnlockRect(l);
        }
        if (texture) {
            EXPECT_EQ(texture->Release(), 0u);
        }
        return levels;
    }

    TempFolder folder_{"texture"};
    const std::string dir_ = folder_.path().string();
};

TEST_F(TextureLoader, SizesFormatsAndLevelCounts)
{
    const D3D9Profile defaults = d3d9_default_profile();
    const D3D9Profile no_mipmaps = profile_with([](D3D9Profile& p) { p.texture_caps &= ~D3DPTEXTURECAPS_MIPMAP; });
    const D3D9Profile narrow = profile_with([](D3D9Profile& p) { p.max_texture_width = 1024; });
    const D3D9Profile square = profile_with([](D3D9Profile& p) { p.texture_caps |= D3DPTEXTURECAPS_SQUAREONLY; });
    const D3D9Profile no_l8 = profile_with([](D3D9Profile& p) { p.remove_format(D3DFMT_L8); });
    auto colour = [](int x, int y) { return std::vector<int>{x & 255, y & 255, 7}; };
    auto ramp = [](int i) { return std::vector<int>{i, i, i}; };
    struct Case {
        const D3D9Profile& profile;
        Bytes file;
        D3DFORMAT format;
        UINT width, height, levels;
    } cases[] = {
        {defaults, bitmap(256, 256, 24, colour), D3DFMT_X8R8G8B8, 256, 256, 9},
        {defaults, bitmap(100, 60, 24, colour), D3DFMT_X8R8G8B8, 128, 64, 8},
        {defaults, bitmap(256, 64, 24, colour), D3DFMT_X8R8G8B8, 256, 64, 9},
        {defaults,
         bitmap(3, 3, 16,
                [](int, int) {
                    return std::vector<int>{0x1F, 0x7C};
                }),
         D3DFMT_X1R5G5B5, 4, 4, 3},
        {no_l8, indexed_bitmap(256, ramp), D3DFMT_X8R8G8B8, 16, 16, 5},
        {no_mipmaps, bitmap(256, 256, 24, colour), D3DFMT_X8R8G8B8, 256, 256, 1},
        {narrow, bitmap(1500, 10, 24, colour), D3DFMT_X8R8G8B8, 1024, 16, 11},
        {square, bitmap(256, 64, 24, colour), D3DFMT_X8R8G8B8, 64, 64, 7},
    };
    int row = 0;
    for (const Case& c : cases) {
        ++row;
        TextureDevice device(c.profile);
        const std::vector<Level> levels = load(device, write(c.file), 0);
        ASSERT_FALSE(levels.empty()) << "row " << row;
        EXPECT_STREQ(name(levels[0].desc.Format), name(c.format)) << "row " << row;
        EXPECT_EQ(levels[0].desc.Width, c.width) << "row " << row;
        EXPECT_EQ(levels[0].desc.Height, c.height) << "row " << row;
        EXPECT_EQ(levels.size(), c.levels) << "row " << row;
        EXPECT_EQ(levels[0].desc.Pool, D3DPOOL_MANAGED) << "row " << row;
    }
}

// Level 0 of a 256 x 256 24-bit bitmap holds its pixels exactly; every
// further level is the rounded mean of 2 x 2 texels of the one above.
TEST_F(TextureLoader, LevelZeroIsExactAndFurtherLevelsAreRoundedBoxMeans)
{
    std::mt19937 random(7);
    std::vector<uint8_t> pixels(256 * 256 * 3);
    for (uint8_t& p : pixels)
        p = uint8_t(random());
    const std::string path = write(bitmap(256, 256, 24, [&](int x, int y) {
        const uint8_t* p = &pixels[(size_t(y) * 256 + x) * 3];
        return std::vector<int>{p[0], p[1], p[2]};
    }));
    TextureDevice device(profile_with([](D3D9Profile& p) { p.pitch_padding = 12; }));
    const std::vector<Level> levels = load(device, path, 4);
    ASSERT_EQ(levels.size(), 9u);
    for (size_t i = 0; i < 256 * 256; ++i) {
        const uint8_t expected[4] = {pixels[3 * i], pixels[3 * i + 1], pixels[3 * i + 2], 0};
        ASSERT_EQ(std::memcmp(&levels[0].bytes[4 * i], expected, 4), 0) << "texel " << i;
    }
    for (size_t l = 1; l < levels.size(); ++l) {
        const std::vector<uint8_t>& above = levels[l - 1].bytes;
        const size_t width = levels[l].desc.Width, above_row = 2 * width * 4;
        ASSERT_EQ(width, 256u >> l);
        for (size_t i = 0; i < width * width * 4; ++i) {
            const size_t at = (i / (width * 4)) * 2 * above_row + (i % (width * 4)) / 4 * 8 + i % 4;
            const int mean = (above[at] + above[at + 4] + above[at + above_row] + above[at + above_row + 4] + 2) >> 2;
            ASSERT_EQ(levels[l].bytes[i], mean) << "level " << l << " byte " << i;
        }
    }
    // Nothing is cached or left over between loads.
    const std::vector<Level> again = load(device, path, 4);
    ASSERT_EQ(again.size(), levels.size());
    for (size_t l = 0; l < levels.size(); ++l)
        EXPECT_EQ(again[l].bytes, levels[l].bytes) << "level " << l;
}

TEST_F(TextureLoader, LevelZeroTexelsOfPalettedAndThirtyTwoBitBitmaps)
{
    const int levels3[8] = {0, 36, 73, 109, 146, 182, 219, 255}, levels2[4] = {0, 85, 170, 255};
    auto ramp = [](int i) { return std::vector<int>{i, i, i}; };
    auto rgb332 = [&](int i) { return std::vector<int>{levels3[i >> 5], levels3[(i >> 2) & 7], levels2[i & 3]}; };
    auto ordinary = [](int i) { return std::vector<int>{i, 255 - i, 7}; };
    std::vector<uint8_t> indexes, colours, ramp254;
    for (int i = 0; i < 256; ++i) {
        indexes.push_back(uint8_t(i));
        colours.insert(colours.end(), {7, uint8_t(255 - i), uint8_t(i), 0}); // blue, green, red, X
        const uint8_t grey = i < 254 ? uint8_t(i) : 255;                     // entries 254 and 255 are white
        ramp254.insert(ramp254.end(), {grey, grey, grey, 0});
    }
    struct Case {
        Bytes file;
        D3DFORMAT format;
        UINT texel_bytes;
        std::vector<uint8_t> level0;
    } cases[] = {
        {indexed_bitmap(256, ramp), D3DFMT_L8, 1, indexes},
        {indexed_bitmap(255, ramp), D3DFMT_L8, 1, indexes}, // the white filler ends the ramp
        {indexed_bitmap(254, ramp), D3DFMT_X8R8G8B8, 4, ramp254},
        {indexed_bitmap(256, rgb332), D3DFMT_R3G3B2, 1, indexes},
        {indexed_bitmap(256, ordinary), D3DFMT_X8R8G8B8, 4, colours},
        {two_colour_bitmap(1), D3DFMT_X8R8G8B8, 4, u8s({0, 0, 255, 0, 255, 0, 0, 0})},
        {two_colour_bitmap(4), D3DFMT_X8R8G8B8, 4, u8s({0, 0, 255, 0, 255, 0, 0, 0})},
        // A fourth byte set anywhere makes alpha; zero ones stay alpha 0.
        {bitmap(2, 1, 32,
                [](int x, int) {
                    return std::vector<int>{1, 2, 3, 200 * x};
                }),
         D3DFMT_A8R8G8B8, 4, u8s({1, 2, 3, 0, 1, 2, 3, 200})},
    };
    TextureDevice device;
    int row = 0;
    for (const Case& c : cases) {
        ++row;
        const std::vector<Level> levels = load(device, write(c.file), c.texel_bytes);
        ASSERT_FALSE(levels.empty()) << "row " << row;
        EXPECT_STREQ(name(levels[0].desc.Format), name(c.format)) << "row " << row;
        EXPECT_EQ(levels[0].bytes, c.level0) << "row " << row;
    }
}

TEST_F(TextureLoader, SixteenBitOnADeviceWithoutX1R5G5B5WidensGreenThroughTheDither)
{
    TextureDevice device(profile_with([](D3D9Profile& p) { p.remove_format(D3DFMT_X1R5G5B5); }));
    auto colour = [](int x, int y) { return std::vector<int>{(x * 7 + y * 3) & 31, (x + 5 * y) & 31, (x * 3) & 31}; };
    const std::vector<Level> levels = load(device,
                                           write(bitmap(8, 8, 16,
                                                        [&](int x, int y) {
                                                            const std::vector<int> c = colour(x, y);
                                                            const int v = c[0] << 10 | c[1] << 5 | c[2];
                                                            return std::vector<int>{v & 0xFF, v >> 8};
                                                        })),
                                           2);
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels[0].desc.Format, D3DFMT_R5G6B5);
    static const int kDither[4][4] = {{31, 15, 27, 11}, {7, 23, 3, 19}, {25, 9, 29, 13}, {1, 17, 5, 21}};
    for (int i = 0; i < 64; ++i) {
        const int x = i % 8, y = i / 8;
        const std::vector<int> c = colour(x, y); // red, green, blue
        const float green = float(c[1]) * (1.0f / 31.0f) * 63.0f + float(kDither[y % 4][x % 4]) / 32.0f;
        const int texel = levels[0].bytes[2 * i] | levels[0].bytes[2 * i + 1] << 8;
        EXPECT_EQ(texel, c[0] << 11 | std::min(63, int(green)) << 5 | c[2]) << x << "," << y;
    }
    // Level 0 is resampled with wrap-around: a white right edge shows in the
    // left column of the enlarged level.
    auto right_edge = [](int x, int) { return std::vector<int>(3, x == 99 ? 255 : 0); };
    const std::vector<Level> enlarged = load(device, write(bitmap(100, 60, 24, right_edge)), 4);
    ASSERT_EQ(enlarged.size(), 8u);
    EXPECT_GT(enlarged[0].bytes[0], 0);
    EXPECT_EQ(enlarged[0].bytes[64 * 4], 0);
}

TEST_F(TextureLoader, FailuresLeaveTextureOutUntouched)
{
    TextureDevice device;
    TextureDevice dxt_only(profile_with([](D3D9Profile& p) { p.texture_formats = {D3DFMT_DXT1}; }));
    const std::string image = write(bitmap(2, 2, 24, [](int, int) { return std::vector<int>{1, 2, 3}; }));
    const std::string empty = write(Bytes(), "empty.bmp");
    const std::string text = write(Bytes().text("1 2\n3 4\n"), "points.txt");
    const std::string missing = dir_ + "/missing.bmp";
    auto* const sentinel = reinterpret_cast<IDirect3DTexture9*>(0x1234);
    struct Case {
        IDirect3DDevice9* device;
        const char* path;
        bool out;
        HRESULT result;
    } cases[] = {
        {device.get(), empty.c_str(), true, D3DERR_INVALIDCALL},
        {device.get(), missing.c_str(), true, E_INVALID_IMAGE_DATA},
        {device.get(), dir_.c_str(), true, E_INVALID_IMAGE_DATA},
        {device.get(), text.c_str(), true, E_INVALID_IMAGE_DATA},
        {device.get(), nullptr, true, D3DERR_INVALIDCALL},
        {nullptr, image.c_str(), true, D3DERR_INVALIDCALL},
        {device.get(), image.c_str(), false, D3DERR_INVALIDCALL},
        {dxt_only.get(), image.c_str(), true, D3DERR_NOTAVAILABLE},
    };
    for (const Case& c : cases) {
        IDirect3DTexture9* texture = sentinel;
        EXPECT_EQ(load_texture_file(c.device, c.path, c.out ? &texture : nullptr), c.result) << (c.path ? c.path : "");
        EXPECT_EQ(texture, sentinel);
    }
}

// Every device call the loader makes, made to fail in turn at every point
// it is reached: its result comes back and nothing stays referenced.
TEST_F(TextureLoader, EveryDeviceFailureIsPassedOnAndReleasesEverything)
{
    TextureDevice device;
    const std::string path = write(bitmap(5, 3, 24, [](int x, int y) { return std::vector<int>{x, y, x + y}; }));
    const ULONG device_references = device.device_references(), d3d_references = device.d3d_references();
    for (D3D9Call call : {D3D9Call::GetDirect3D, D3D9Call::GetDeviceCaps, D3D9Call::GetDisplayMode,
                          D3D9Call::CreateTexture, D3D9Call::GetSurfaceLevel, D3D9Call::LockRect}) {
        for (UINT skip = 0;; ++skip) {
            d3d9_test_reset();
            d3d9_test_fail(call, skip, 1, E_OUTOFMEMORY);
            IDirect3DTexture9* texture = nullptr;
            const HRESULT hr = load_texture_file(device.get(), path.c_str(), &texture);
            if (hr == S_OK) {
                EXPECT_GT(skip, 0u) << "call " << int(call) << " never made";
                EXPECT_EQ(d3d9_test_call_count(call), skip);
                texture->Release();
                break;
            }
            EXPECT_EQ(hr, E_OUTOFMEMORY) << "call " << int(call) << " skip " << skip;
            EXPECT_EQ(texture, nullptr);
            EXPECT_EQ(device.device_references(), device_references) << "call " << int(call) << " skip " << skip;
            EXPECT_EQ(device.d3d_references(), d3d_references) << "call " << int(call) << " skip " << skip;
            ASSERT_LT(skip, 100u);
        }
    }
    // A device that refuses every format has nothing to offer.
    d3d9_test_reset();
    d3d9_test_fail(D3D9Call::CheckDeviceFormat, 0, 0);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(load_texture_file(device.get(), path.c_str(), &texture), D3DERR_NOTAVAILABLE);
}

} // namespace
