// The overlay without a device: the status line's words and counts, the
// atlas against the font, and what is left when the font cannot be read.
#include "render/text/picture_overlay.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "render/text/glyph_atlas.h"

namespace {

TEST(PictureOverlayTest, StatusLineNamesTheFileAndItsCounts)
{
    const struct {
        FieldCounts counts;
        const char* text;
    } cases[] = {
        {{200000, 199812, 0, 0, false}, "points.txt — 200,000 点、範囲内 199,812 点"},
        {{12, 0, 3, 5, false}, "points.txt — 12 点、範囲内 0 点、不正な行 3 行"},
        {{1234567, 1000, 1001, 1, true}, "points.txt — 1,234,567 点、範囲内 1,000 点、不正な行 1,001 行"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(status_line("points.txt", c.counts), c.text);
}

// Every character the overlay may draw has a glyph of the font, with
// coverage for those that are not blank; the outline cell is the glyph's
// coverage grown by one pixel all round (the most of its 3 x 3 neighbours).
TEST(PictureOverlayTest, AtlasHoldsEveryCharacterWithItsOutline)
{
    const std::u32string characters = overlay_characters("データ.txt");
    GlyphAtlas atlas;
    ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(768), characters, &atlas));
    EXPECT_GE(atlas.line_height, 12) << "at least 12 pixels at 768";
    for (char32_t c : characters) {
        const AtlasGlyph* g = atlas.find(c);
        ASSERT_NE(g, nullptr);
        ASSERT_EQ(g->code, c) << std::hex << uint32_t(c);
        ASSERT_TRUE(g->plain_x + g->width <= atlas.width && g->plain_y + g->height <= atlas.height);
        int covered = 0;
        for (int y = 0; y < g->height; ++y)
            for (int x = 0; x < g->width; ++x) {
                const uint8_t plain = atlas.alpha[size_t(g->plain_y + y) * atlas.width + size_t(g->plain_x + x)];
                const uint8_t outline = atlas.alpha[size_t(g->outline_y + y) * atlas.width + size_t(g->outline_x + x)];
                covered += plain > 0;
                uint8_t most = 0;
                for (int ny = std::max(0, y - 1); ny <= std::min(g->height - 1, y + 1); ++ny)
                    for (int nx = std::max(0, x - 1); nx <= std::min(g->width - 1, x + 1); ++nx)
                        most = std::max(most,
                                        atlas.alpha[size_t(g->plain_y + ny) * atlas.width + size_t(g->plain_x + nx)]);
                EXPECT_EQ(outline, most) << std::hex << uint32_t(c) << std::dec << " at " << x << "," << y;
                if (x == 0 || y == 0 || x == g->width - 1 || y == g->height - 1)
                    EXPECT_EQ(plain, 0) << "a texel of border";
            }
        EXPECT_EQ(covered == 0, c == U' ') << std::hex << uint32_t(c);
    }
}

// The scale's values at its levels: along the weights, or back from the log
// scale, log(1 + w) / log(1 + top).
TEST(PictureOverlayTest, TheScaleShowsTheWeightAtEachLevel)
{
    struct Case {
        double top;
        bool log;
        double level, weight;
    };
    for (const Case& c : {Case{10, false, 0.5, 5}, Case{10, false, 1, 10}, Case{99, true, 0, 0}, Case{99, true, 0.5, 9},
                          Case{99, true, 1, 99}, Case{999, true, 1.0 / 3, 9}}) {
        OverlayScene scene{};
        scene.max_weight = c.top;
        scene.log_scale = c.log;
        EXPECT_NEAR(scale_value(scene, c.level), c.weight, 1e-9) << c.top << (c.log ? " log" : "") << " " << c.level;
    }
}

// The scale's top label: whole numbers from 100 up, one decimal from 10,
// two below.
TEST(PictureOverlayTest, TheScaleShowsFewerDecimalsForLargerWeights)
{
    GlyphAtlas atlas;
    ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(480), overlay_characters("a.txt"), &atlas));
    const struct {
        double top;
        const char* label;
    } cases[] = {{1000, "1,000"}, {100, "100"}, {99.5, "99.5"}, {10, "10.0"}, {9.5, "9.50"}};
    for (const auto& c : cases) {
        OverlayScene scene{640,
                           480,
                           {{0, 0, 5.5f}, {0, 0, 0}, {0, 1, 0}},
                           {0, 1, 0, 1},
                           c.top,
                           {5, 5, 0, 0, false, false},
                           "a.txt",
                           ColourMap::grey};
        const PictureOverlay overlay = lay_out_overlay(atlas, scene);
        EXPECT_TRUE(std::any_of(overlay.texts.begin(), overlay.texts.end(), [&](const PlacedText& t) {
            return t.text == c.label;
        })) << c.top;
    }
}

TEST(PictureOverlayTest, WithoutTheFontOnlyTheScaleBarIsDrawn)
{
    GlyphAtlas atlas;
    EXPECT_FALSE(build_glyph_atlas("/nonexistent/font.ttf", 18, U"0123", &atlas));
    OverlayScene scene{640,
                       480,
                       {{0, 0, 5.5f}, {0, 0, 0}, {0, 1, 0}},
                       {0, 1, 0, 1},
                       10.0,
                       {5, 5, 0, 0, false},
                       "a.txt",
                       ColourMap::grey};
    const PictureOverlay overlay = lay_out_overlay(atlas, scene);
    EXPECT_TRUE(overlay.texts.empty());
    const BarBox bar = scale_bar_box(640, 480);
    ASSERT_EQ(overlay.quads.size(), 4 + 2 + size_t(bar.y1 - bar.y0 - 2 + 7) / 8) << "frame, ends, bands of 8";
    EXPECT_TRUE(std::all_of(overlay.quads.begin(), overlay.quads.end(), [](const ScreenQuad& q) { return q.solid; }));
}

} // namespace
