// load_surface_from_image: copies, same-size conversions with and without
// dither, palettes and the colour key, the simple filters, flat images
// through every resize, and the refused calls.
#include <cmath>

#include "fill_helpers.h"

namespace {

class SurfaceFillTest : public FillTest {};

// Same size: the same format is copied byte for byte (block rows for DXT),
// another format is converted; rows are padded on both sides.
TEST_F(SurfaceFillTest, SameSizeLevelsAreCopiedOrConverted)
{
    use_pitch_padding(12);
    std::mt19937 random(1);
    TestImage argb(D3DFMT_X8R8G8B8, 7, 5, 28, 5);
    argb.randomise(random, 28);
    IDirect3DTexture9* t = load(argb.image, 7, 5, D3DFMT_X8R8G8B8, 0x80004);
    std::vector<uint8_t> want;
    for (UINT y = 0; y < 5; ++y) {
        want.insert(want.end(), argb.row(y), argb.row(y) + 28);
    }
    EXPECT_EQ(level_bytes(t, 0, 28), want) << "byte for byte, the fourth byte too";
    t->Release();

    TestImage blocks(D3DFMT_DXT1, 8, 8, 16, 3);
    blocks.randomise(random, 16);
    t = load(blocks.image, 8, 8, D3DFMT_DXT1, 0x80004);
    std::vector<uint8_t> block_rows(blocks.row(0), blocks.row(0) + 16);
    block_rows.insert(block_rows.end(), blocks.row(1), blocks.row(1) + 16);
    EXPECT_EQ(level_bytes(t, 0, 16), block_rows);
    t->Release();

    // 24-bit into X8R8G8B8: every 8-bit value arrives, with or without dither; X is 0.
    TestImage bgr(D3DFMT_R8G8B8, 256, 4, 768, 1);
    bgr.randomise(random, 768);
    for (DWORD filter : {DWORD(0x80004), DWORD(4), DWORD(1)}) {
        t = load(bgr.image, 256, 4, D3DFMT_X8R8G8B8, filter);
        const std::vector<uint32_t> words = level_words(t, 0);
        for (UINT y = 0; y < 4; ++y) {
            for (UINT x = 0; x < 256; ++x) {
                const uint8_t* p = bgr.row(y) + x * 3;
                ASSERT_EQ(words[y * 256 + x], uint32_t(p[0] | p[1] << 8 | p[2] << 16)) << x << "," << y;
            }
        }
        t->Release();
    }
}

// X1R5G5B5 into R5G6B5: red and blue keep their 5 bits; green is widened
// to 6 bits with the dither offset of the pixel's position.
TEST_F(SurfaceFillTest, DitherFollowsThePixelPosition)
{
    const float matrix[4][4] = {{31, 15, 27, 11}, {7, 23, 3, 19}, {25, 9, 29, 13}, {1, 17, 5, 21}};
    std::mt19937 random(2);
    TestImage image(D3DFMT_X1R5G5B5, 9, 6, 18);
    image.randomise(random, 18);
    for (DWORD filter : {DWORD(0x80004), DWORD(4)}) {
        IDirect3DTexture9* t = load(image.image, 9, 6, D3DFMT_R5G6B5, filter);
        const std::vector<uint8_t> out = level_bytes(t, 0, 18);
        for (UINT y = 0; y < 6; ++y) {
            for (UINT x = 0; x < 9; ++x) {
                const uint32_t in = image.row(y)[x * 2] | image.row(y)[x * 2 + 1] << 8;
                const uint32_t r = (in >> 10) & 31, g = (in >> 5) & 31, b = in & 31;
                const float d = filter & 0x80000 ? matrix[y % 4][x % 4] / 32.0f : 0.5f;
                const float green = static_cast<float>(g) * static_cast<float>(1.0 / 31.0);
                const uint32_t g6 = static_cast<uint32_t>(green * 63.0f + d);
                ASSERT_EQ(uint32_t(out[(y * 9 + x) * 2] | out[(y * 9 + x) * 2 + 1] << 8), r << 11 | g6 << 5 | b)
                    << "pixel " << x << "," << y << " filter " << filter;
            }
        }
        t->Release();
    }
}

TEST_F(SurfaceFillTest, PaletteColoursAndTheColourKey)
{
    TestImage image(D3DFMT_P8, 4, 2, 4);
    const uint8_t indexes[8] = {0, 1, 2, 1, 2, 2, 0, 1};
    std::memcpy(image.row(0), indexes, 4);
    std::memcpy(image.row(1), indexes + 4, 4);
    image.set_palette({0x10, 0x20, 0x30, 0xFF, 0xFF, 0x00, 0x80, 0x40, 0x01, 0x02, 0x03, 0xFF});
    const uint32_t argb[3] = {0xFF102030, 0x40FF0080, 0xFF010203};
    IDirect3DTexture9* t = load(image.image, 4, 2, D3DFMT_A8R8G8B8, 0x80004);
    const std::vector<uint32_t> plain = level_words(t, 0);
    t->Release();
    t = load(image.image, 4, 2, D3DFMT_A8R8G8B8, 0x80004, S_OK, 0xFF102030);
    const std::vector<uint32_t> keyed = level_words(t, 0);
    t->Release();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(plain[i], argb[indexes[i]]) << i;
        EXPECT_EQ(keyed[i], indexes[i] == 0 ? 0u : argb[indexes[i]]) << i;
    }
}

TEST_F(SurfaceFillTest, NoneAndPointFilters)
{
    TestImage image(D3DFMT_X8R8G8B8, 3, 2, 12);
    const uint32_t pixels[6] = {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112};
    std::memcpy(image.row(0), pixels, 12);
    std::memcpy(image.row(1), pixels + 3, 12);
    IDirect3DTexture9* t = load(image.image, 4, 4, D3DFMT_X8R8G8B8, 1);
    EXPECT_EQ(level_words(t, 0),
              (std::vector<uint32_t>{pixels[0], pixels[1], pixels[2], 0, pixels[3], pixels[4], pixels[5], 0, 0, 0, 0, 0,
                                     0, 0, 0, 0}));
    t->Release();
    // Point: the source pixel under each target pixel's middle, enlarged,
    // shrunk and at ratios that are not whole.
    for (const auto& [width, height] : {std::pair{6u, 4u}, std::pair{2u, 1u}, std::pair{5u, 3u}}) {
        t = load(image.image, width, height, D3DFMT_X8R8G8B8, 2);
        const std::vector<uint32_t> point = level_words(t, 0);
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) {
                const auto column = static_cast<UINT>(std::floor((x + 0.5) * 3 / width));
                const auto row = static_cast<UINT>(std::floor((y + 0.5) * 2 / height));
                EXPECT_EQ(point[y * width + x], pixels[row * 3 + column])
                    << width << "x" << height << " at " << x << "," << y;
            }
        }
        t->Release();
    }
}

// Every filter's weights add up to 1, so a flat image stays flat at any
// size, into 8-bit and float levels, with and without the edge bits.
TEST_F(SurfaceFillTest, FlatImageStaysFlatThroughAnyResize)
{
    use_pitch_padding(4);
    std::mt19937 random(5);
    const DWORD filters[] = {4, 0x80004, 0x30004, 0x10004, 2, 3, 0x30003, 0x80005, 5};
    for (int round = 0; round < 40; ++round) {
        const UINT sw = 1 + random() % 40, sh = 1 + random() % 40;
        const DWORD filter = filters[round % std::size(filters)];
        const bool box = (filter & 0xFFFF) == 5;
        const UINT tw = box ? std::max(1u, sw / 2) : 1 + random() % 40;
        const UINT th = box ? std::max(1u, sh / 2) : 1 + random() % 40;
        TestImage image(D3DFMT_R8G8B8, sw, sh, sw * 3, 2);
        for (UINT y = 0; y < sh; ++y) {
            for (UINT x = 0; x < sw; ++x) {
                image.row(y)[x * 3] = 0x40;
                image.row(y)[x * 3 + 1] = 0x80;
                image.row(y)[x * 3 + 2] = 0xC0;
            }
        }
        IDirect3DTexture9* t = load(image.image, tw, th, D3DFMT_X8R8G8B8, filter);
        for (uint32_t pixel : level_words(t, 0)) {
            ASSERT_EQ(pixel, 0xC08040u) << sw << "x" << sh << " -> " << tw << "x" << th << " filter " << filter;
        }
        t->Release();
        t = load(image.image, tw, th, D3DFMT_A32B32G32R32F, filter);
        const std::vector<float> floats = level_floats(t, 0);
        for (size_t i = 0; i < floats.size(); ++i) {
            const float want[4] = {0xC0 / 255.0f, 0x80 / 255.0f, 0x40 / 255.0f, 1.0f};
            ASSERT_NEAR(floats[i], want[i % 4], 2e-6) << sw << "x" << sh << " -> " << tw << "x" << th;
        }
        t->Release();
    }
}

// Error diffusion spreads what rounding loses: a flat 50% grey into 4-bit
// channels is a mix of 7 and 8 whose mean stays near 7.53, where plain
// rounding gives 8 everywhere.
TEST_F(SurfaceFillTest, ErrorDiffusionKeepsTheMean)
{
    TestImage image(D3DFMT_L8, 32, 32, 32);
    for (UINT y = 0; y < 32; ++y) {
        std::memset(image.row(y), 128, 32);
    }
    for (DWORD filter : {DWORD(0x100004), DWORD(0x100000 | 4 | 0x80000), DWORD(4)}) {
        IDirect3DTexture9* t = load(image.image, 32, 32, D3DFMT_X4R4G4B4, filter);
        const std::vector<uint8_t> out = level_bytes(t, 0, 64);
        double sum = 0;
        int sevens = 0;
        for (size_t i = 0; i < out.size(); i += 2) {
            const int red = out[i + 1] & 15;
            sum += red;
            sevens += red == 7;
            ASSERT_TRUE(red == 7 || red == 8) << red;
        }
        if (filter & 0x100000) {
            EXPECT_NEAR(sum / 1024, 128 * 15 / 255.0, 0.02);
            EXPECT_GT(sevens, 300);
        } else {
            EXPECT_EQ(sevens, 0);
        }
        t->Release();
    }
}

TEST_F(SurfaceFillTest, RegionOfTheImageIsUsed)
{
    TestImage image(D3DFMT_A8R8G8B8, 8, 6, 32);
    std::mt19937 random(9);
    image.randomise(random, 32);
    image.image.region = ImageRegion{2, 1, 6, 4, 0, 1};
    IDirect3DTexture9* t = load(image.image, 4, 3, D3DFMT_A8R8G8B8, 0x80004);
    std::vector<uint8_t> want;
    for (UINT y = 1; y < 4; ++y) {
        want.insert(want.end(), image.row(y) + 8, image.row(y) + 24);
    }
    EXPECT_EQ(level_bytes(t, 0, 16), want);
    t->Release();
}

TEST_F(SurfaceFillTest, RefusedCallsAndDeviceFailures)
{
    TestImage image(D3DFMT_X8R8G8B8, 4, 4, 16);
    IDirect3DTexture9* t = texture(4, 4, D3DFMT_X8R8G8B8);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &surface), S_OK);
    for (DWORD filter : {DWORD(0), DWORD(6), DWORD(0x10000), DWORD(0x800004), DWORD(0xFFFFFFFF)}) {
        EXPECT_EQ(load_surface_from_image(surface, &image.image, filter, 0), D3DERR_INVALIDCALL) << filter;
    }
    EXPECT_EQ(load_surface_from_image(nullptr, &image.image, 4, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(load_surface_from_image(surface, nullptr, 4, 0), D3DERR_INVALIDCALL);

    TestImage broken = image;
    broken.image.pixels = broken.bytes.data();
    broken.image.region.right = 5; // beyond the image
    EXPECT_EQ(load_surface_from_image(surface, &broken.image, 4, 0), D3DERR_INVALIDCALL);
    TestImage no_palette(D3DFMT_P8, 4, 4, 4);
    EXPECT_EQ(load_surface_from_image(surface, &no_palette.image, 4, 0), D3DERR_INVALIDCALL);
    TestImage depth(D3DFMT_D24S8, 4, 4, 16);
    EXPECT_EQ(load_surface_from_image(surface, &depth.image, 4, 0), E_FAIL) << "no codec for the source";

    d3d9_test_fail(D3D9Call::LockRect, 0, 1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(load_surface_from_image(surface, &image.image, 4, 0), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(load_surface_from_image(surface, &image.image, 4, 0), S_OK) << "the level was left unlocked";
    surface->Release();
    t->Release();
}

} // namespace
