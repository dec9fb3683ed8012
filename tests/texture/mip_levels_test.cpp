// generate_mip_levels and the box filter: rounding of the 2 x 2 mean, narrow
// and odd levels, whole chains, the integer paths against the float path,
// and failures part way down a chain.
#include "texture/level_fill.h"

#include "fill_helpers.h"

namespace {

class MipLevelsTest : public FillTest {
protected:
    // A texture whose level 0 holds `words` (32-bit pixels, rows top first).
    IDirect3DTexture9* texture_of(UINT width, UINT height, D3DFORMAT format, const std::vector<uint32_t>& words,
                                  UINT levels = 0)
    {
        IDirect3DTexture9* t = texture(width, height, format, levels);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), S_OK);
        for (UINT y = 0; y < height; ++y) {
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch, &words[size_t(y) * width],
                        size_t(width) * 4);
        }
        t->UnlockRect(0);
        return t;
    }
};

// Each channel is (a + b + c + d + 2) >> 2: the mean rounded half up.
TEST_F(MipLevelsTest, BoxMeanRoundsHalfUp)
{
    const struct {
        uint32_t red[4];
        uint32_t want;
    } cases[] = {{{10, 11, 11, 11}, 11}, {{10, 10, 11, 11}, 11},      {{10, 10, 10, 11}, 10},
                 {{0, 0, 0, 1}, 0},      {{255, 255, 255, 254}, 255}, {{0, 1, 1, 0}, 1}};
    for (const auto& c : cases) {
        std::vector<uint32_t> words;
        for (uint32_t red : c.red) {
            words.push_back(0x80000000u | red << 16 | (255 - red) << 8 | red);
        }
        IDirect3DTexture9* t = texture_of(2, 2, D3DFMT_A8R8G8B8, words);
        ASSERT_EQ(generate_mip_levels(t, 0, 5), S_OK);
        const uint32_t green = (4 * 255 - (c.red[0] + c.red[1] + c.red[2] + c.red[3]) + 2) >> 2;
        EXPECT_EQ(level_words(t, 1)[0], 0x80000000u | c.want << 16 | green << 8 | c.want)
            << c.red[0] << " " << c.red[1] << " " << c.red[2] << " " << c.red[3];
        t->Release();
    }
}

// A 1 x 4 level averages pairs down the column; a level 5 wide uses only
// its first four columns.
TEST_F(MipLevelsTest, NarrowAndOddLevels)
{
    IDirect3DTexture9* t = texture_of(1, 4, D3DFMT_X8R8G8B8, {0x000010, 0x000013, 0x0A0000, 0x0B0000});
    ASSERT_EQ(generate_mip_levels(t, 0, 5), S_OK);
    EXPECT_EQ(level_words(t, 1), (std::vector<uint32_t>{0x000012, 0x0B0000}));
    EXPECT_EQ(level_words(t, 2), (std::vector<uint32_t>{0x060009}));
    t->Release();

    t = texture_of(5, 2, D3DFMT_X8R8G8B8, {0x10, 0x20, 0x30, 0x40, 0xFFFFFF, 0x10, 0x20, 0x30, 0x40, 0xFFFFFF}, 2);
    ASSERT_EQ(generate_mip_levels(t, 0, 5), S_OK);
    EXPECT_EQ(level_words(t, 1), (std::vector<uint32_t>{0x18, 0x38}));
    t->Release();
}

// A whole chain from padded rows: each level is the rounded mean of the
// level above, X bytes are 0, and the chain ends at 1 x 1.
TEST_F(MipLevelsTest, ChainOfRoundedMeansEndsAtOneByOne)
{
    use_pitch_padding(8);
    std::mt19937 random(17);
    std::vector<uint32_t> words(24 * 10);
    for (uint32_t& w : words) {
        w = random();
    }
    IDirect3DTexture9* t = texture_of(24, 10, D3DFMT_X8R8G8B8, words);
    ASSERT_EQ(t->GetLevelCount(), 5u);
    ASSERT_EQ(generate_mip_levels(t, 0, 5), S_OK);
    UINT width = 24, height = 10;
    for (UINT level = 1; level < 5; ++level) {
        const std::vector<uint32_t> above = level_words(t, level - 1);
        const std::vector<uint32_t> here = level_words(t, level);
        const UINT w = std::max(1u, width / 2), h = std::max(1u, height / 2);
        ASSERT_EQ(here.size(), size_t(w) * h);
        for (UINT y = 0; y < h; ++y) {
            for (UINT x = 0; x < w; ++x) {
                uint32_t want = 0;
                for (int shift : {0, 8, 16}) {
                    uint32_t sum = 2;
                    for (UINT k = 0; k < 4; ++k) {
                        const UINT sx = std::min(2 * x + k % 2, width - 1), sy = std::min(2 * y + k / 2, height - 1);
                        sum += above[sy * width + sx] >> shift & 255;
                    }
                    want |= (sum >> 2) << shift;
                }
                ASSERT_EQ(here[y * w + x], want) << "level " << level << " pixel " << x << "," << y;
            }
        }
        width = w;
        height = h;
    }
    EXPECT_EQ(width * height, 1u);
    t->Release();
}

// The integer paths give exactly the float path's values.
TEST(BoxFilter, IntegerPathsEqualTheFloatPath)
{
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8, D3DFMT_R5G6B5,
                                 D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_R3G3B2,   D3DFMT_A8,
                                 D3DFMT_L8,       D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4, D3DFMT_A8L8,     D3DFMT_A4L4};
    std::mt19937 random(19);
    for (D3DFORMAT format : formats) {
        const PixelCodec* codec = find_pixel_codec(format);
        for (int round = 0; round < 6; ++round) {
            const UINT sw = 2 + random() % 31, sh = 2 + random() % 31, tw = sw / 2, th = sh / 2;
            const size_t pitch = codec_row_bytes(*codec, sw) + 3;
            std::vector<uint8_t> pixels(pitch * sh);
            for (uint8_t& b : pixels) {
                b = static_cast<uint8_t>(random());
            }
            const LevelSource source{codec, PixelSource{pixels.data(), pitch, nullptr}, nullptr, 0, 0, sw, sh, 0};
            const size_t target_pitch = codec_row_bytes(*codec, tw);
            std::vector<uint8_t> integer(target_pitch * th, 0xEE), floating(target_pitch * th, 0xDD);
            ASSERT_EQ(box_filter_half(source, LevelTarget{codec, integer.data(), target_pitch, tw, th}, 5, true), S_OK);
            ASSERT_EQ(box_filter_half(source, LevelTarget{codec, floating.data(), target_pitch, tw, th}, 5, false),
                      S_OK);
            ASSERT_EQ(integer, floating) << "format " << format << ", " << sw << "x" << sh;
        }
    }
}

// Other filters fill each level from the start level; a flat level stays flat.
TEST_F(MipLevelsTest, OtherFiltersStartFromTheStartLevel)
{
    IDirect3DTexture9* t = texture_of(8, 8, D3DFMT_X8R8G8B8, std::vector<uint32_t>(64, 0x336699));
    ASSERT_EQ(generate_mip_levels(t, 0, 0x80004), S_OK);
    for (UINT level = 1; level < 4; ++level) {
        for (uint32_t w : level_words(t, level)) {
            ASSERT_EQ(w, 0x336699u) << level;
        }
    }
    t->Release();
}

// A failure returns the device's result and keeps the levels written so far.
TEST_F(MipLevelsTest, FailuresKeepTheLevelsWritten)
{
    IDirect3DTexture9* t = texture_of(8, 8, D3DFMT_X8R8G8B8, std::vector<uint32_t>(64, 0x404040));
    EXPECT_EQ(generate_mip_levels(nullptr, 0, 5), D3DERR_INVALIDCALL);
    EXPECT_EQ(generate_mip_levels(t, 4, 5), D3DERR_INVALIDCALL);
    EXPECT_EQ(generate_mip_levels(t, 0, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(generate_mip_levels(t, 0, 0x800005), D3DERR_INVALIDCALL);
    EXPECT_EQ(generate_mip_levels(t, 3, 5), S_OK) << "nothing after the last level";

    d3d9_test_fail(D3D9Call::GetSurfaceLevel, 2, 1, E_OUTOFMEMORY); // the second level's source
    EXPECT_EQ(generate_mip_levels(t, 0, 5), E_OUTOFMEMORY);
    EXPECT_EQ(level_words(t, 1)[0], 0x404040u);
    EXPECT_EQ(level_words(t, 2)[0], 0u);

    d3d9_test_fail(D3D9Call::LockRect, 3, 1, D3DERR_INVALIDCALL); // the second level's target
    EXPECT_EQ(generate_mip_levels(t, 0, 5), D3DERR_INVALIDCALL);
    EXPECT_EQ(level_words(t, 2)[0], 0u);
    EXPECT_EQ(generate_mip_levels(t, 0, 5), S_OK) << "nothing was left locked";
    EXPECT_EQ(level_words(t, 3)[0], 0x404040u);
    t->Release();
}

} // namespace
