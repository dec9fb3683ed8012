// The overlay without a device: the status line's words and counts, the
// atlas against the font, and what is left when the font cannot be read.
#include "render/text/picture_overlay.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "render/text/camera_fit.h"
#include "render/text/map_frame.h"
#include "render/text/glyph_atlas.h"
#include "resources/texts.h"
#include "render/text/number_text.h"
#include "label_values.h"

namespace {

TEST(PictureOverlayTest, StatusLineNamesTheFileAndItsCounts)
{
    const struct {
        FieldCounts counts;
        const char* text;
    } cases[] = {
        {{200000, 199812, 0, 0, false, false}, "points.txt — 200,000 点、範囲内 199,812 点"},
        {{12, 0, 3, 5, false, false}, "points.txt — 12 点、範囲内 0 点、不正な行 3 行"},
        {{1234567, 1000, 1001, 1, true, false}, "points.txt — 1,234,567 点、範囲内 1,000 点、不正な行 1,001 行"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(status_line("points.txt", c.counts), c.text);
    // Points at or below zero on a log axis are counted after the NaN ones.
    FieldCounts logged{1000, 17, 0, 0, false, false};
    logged.not_a_number = 2;
    logged.nonpositive = 981;
    EXPECT_EQ(status_line("points.txt", logged), "points.txt — 1,000 点、範囲内 17 点、NaN 2 点、対数軸で0以下 981 点");
}

// Every character the overlay may draw has a glyph of the font, with
// coverage for those that are not blank; the outline cell is the glyph's
// coverage grown by one pixel all round (the most of its 3 x 3 neighbours).
// Drawn with the pen at (0, 0) on the baseline, each texel of the plain
// cell covers what FreeType's own rendering of the glyph covers there.
// No two cells share a texel. A character the font lacks is drawn as '?'.
TEST(PictureOverlayTest, AtlasHoldsEveryCharacterWithItsOutline)
{
    const std::u32string characters = overlay_characters("データ.txt");
    for (char32_t c = U' '; c <= U'~'; ++c)
        ASSERT_NE(characters.find(c), std::u32string::npos) << char(c);
    ASSERT_NE(characters.find(U'\u2212'), std::u32string::npos) << "the minus sign";
    GlyphAtlas atlas;
    const int pixel_size = overlay_pixel_size(768);
    ASSERT_TRUE(build_glyph_atlas(default_font_file(), pixel_size, characters, &atlas));
    EXPECT_GE(atlas.line_height, 12) << "at least 12 pixels at 768";
    ASSERT_NE(atlas.find(U'\U0001F600'), nullptr);
    EXPECT_EQ(atlas.find(U'\U0001F600')->code, U'?');
    EXPECT_EQ(GlyphAtlas{}.find(U'a'), nullptr);

    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    ASSERT_EQ(FT_New_Face(library, default_font_file(), 0, &face), 0);
    ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixel_size)), 0);
    std::vector<std::array<int, 4>> cells = {{atlas.solid_x, atlas.solid_y, kSolidSide, kSolidSide}};
    for (char32_t c : characters) {
        const AtlasGlyph* g = atlas.find(c);
        ASSERT_NE(g, nullptr);
        ASSERT_EQ(FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT), 0);
        const FT_Bitmap& font = face->glyph->bitmap;
        const int font_left = face->glyph->bitmap_left, font_top = -face->glyph->bitmap_top;
        EXPECT_EQ(g->advance, int(std::lround(face->glyph->advance.x / 64.0))) << std::hex << uint32_t(c);
        EXPECT_TRUE(g->left <= font_left && g->left + g->width >= font_left + int(font.width) && g->top <= font_top &&
                    g->top + g->height >= font_top + int(font.rows))
            << std::hex << uint32_t(c);
        for (int y = 0; y < g->height; ++y)
            for (int x = 0; x < g->width; ++x) {
                const int fx = g->left + x - font_left, fy = g->top + y - font_top;
                const bool inside = fx >= 0 && fy >= 0 && fx < int(font.width) && fy < int(font.rows);
                const uint8_t want = inside ? font.buffer[fy * font.pitch + fx] : 0;
                ASSERT_EQ(atlas.alpha[size_t(g->plain_y + y) * atlas.width + size_t(g->plain_x + x)], want)
                    << std::hex << uint32_t(c) << std::dec << " at " << x << "," << y;
            }
    }
    EXPECT_EQ(atlas.ascent, int(std::lround(face->size->metrics.ascender / 64.0)));
    EXPECT_EQ(atlas.line_height, int(std::lround(face->size->metrics.height / 64.0)));
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    for (const AtlasGlyph& g : atlas.glyphs) {
        cells.push_back({g.plain_x, g.plain_y, g.width, g.height});
        cells.push_back({g.outline_x, g.outline_y, g.width, g.height});
    }
    for (size_t a = 0; a < cells.size(); ++a)
        for (size_t b = a + 1; b < cells.size(); ++b) {
            const auto& [ax, ay, aw, ah] = cells[a];
            const auto& [bx, by, bw, bh] = cells[b];
            ASSERT_FALSE(ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah) << a << " and " << b;
        }
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
                if (x == 0 || y == 0 || x == g->width - 1 || y == g->height - 1) {
                    EXPECT_EQ(plain, 0) << "a texel of border";
                }
            }
        EXPECT_EQ(covered == 0, c == U' ') << std::hex << uint32_t(c);
    }
}

// The scale's values at its levels: along the weights, or back from the log
// scale, log(1 + w) / log(1 + top); a mean's from its least (the foot).
TEST(PictureOverlayTest, TheScaleShowsTheWeightAtEachLevel)
{
    struct Case {
        double top;
        bool log;
        double level, weight;
        double foot = 0;
    };
    for (const Case& c : {Case{10, false, 0.5, 5}, Case{10, false, 1, 10}, Case{99, true, 0, 0}, Case{99, true, 0.5, 9},
                          Case{99, true, 1, 99}, Case{999, true, 1.0 / 3, 9}, Case{30, false, 0, -10, -10},
                          Case{30, false, 0.25, 0, -10}, Case{30, false, 1, 30, -10}}) {
        OverlayScene scene{};
        scene.max_weight = c.top;
        scene.log_scale = c.log;
        scene.scale_foot = c.foot;
        EXPECT_NEAR(scale_value(scene, c.level), c.weight, 1e-9) << c.top << (c.log ? " log" : "") << " " << c.level;
    }
}

// The scale's values, foot to top: round steps on a linear scale; on a log
// scale 0 and the powers of ten (with 2 and 5 times them where all fit),
// the lowest giving way where they crowd the foot.
TEST(PictureOverlayTest, TheScaleIsTickedAtRoundValues)
{
    GlyphAtlas atlas;
    ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(480), overlay_characters("a.txt"), &atlas));
    const struct {
        double top;
        bool log;
        unsigned height;
        const char* values;
        double foot = 0; // a mean's least
        const char* title = "";
        bool map = false; // right of the map's bar, the unit above it
    } cases[] = {
        {50.6, false, 480, "0 10 20 30 40 50"},
        {1000, false, 480, "0 200 400 600 800 1000"},
        {9.5, false, 480, "0 1 2 3 4 5 6 7 8 9"},
        {0.37, false, 480, "0.00 0.05 0.10 0.15 0.20 0.25 0.30 0.35"},
        {700, true, 1200, "0 1 10 100"},
        {99999, true, 480, "0 10 100 1000 10000"},
        {101, false, 480, "0 20 40 60 80 100", -7.5, "mean of dep_delay"},
        {-2.5, false, 480, "−40 −35 −30 −25 −20 −15 −10 −5", -41, "mean of t"},
        {-2.5, false, 480, "−40 −35 −30 −25 −20 −15 −10 −5", -41, "mean of t", true},
        {101, false, 480, "0 20 40 60 80 100", -7.5, "mean of dep_delay", true},
        // Means all alike: their one value, at the foot.
        {4.25, false, 480, "4.25", 4.25, "mean of b"},
        {-1234.5678, false, 480,
         "\xE2\x88\x92"
         "1,235",
         -1234.5678, "mean of b", true},
    };
    for (const auto& c : cases) {
        OverlayScene scene{640,          c.height,       camera_vectors({100, 30, 35}),
                           {0, 1, 0, 1}, c.top,          {5, 5, 0, 0, false, false},
                           "a.txt",      ColourMap::grey};
        scene.log_scale = c.log;
        scene.scale_foot = c.foot;
        scene.scale_title = c.title;
        scene.map_view = c.map;
        GlyphAtlas sized;
        ASSERT_TRUE(
            build_glyph_atlas(default_font_file(), overlay_pixel_size(c.height), overlay_characters("a.txt"), &sized));
        const PictureOverlay overlay = lay_out_overlay(sized, scene);
        std::string values, unit;
        for (const PlacedText& t : overlay.texts) {
            if (t.role == TextRole::scale_value)
                values += (values.empty() ? "" : " ") + t.text;
            if (t.role == TextRole::scale_unit)
                unit = t.text;
        }
        EXPECT_EQ(values, c.values) << c.top << (c.log ? " log" : "") << (c.map ? " map" : "");
        EXPECT_EQ(unit, *c.title ? c.title : text(TextId::height_scale_unit)) << c.top;
    }
}

// Whole sequences of one to four bytes; a byte that starts none, or a
// sequence cut short by the end of the text or by a byte that does not
// continue it, is one U+FFFD and reading goes on at the next byte.
TEST(PictureOverlayTest, Utf8Characters)
{
    const struct {
        std::string_view text;
        std::u32string characters;
    } cases[] = {
        {"a~", U"a~"},
        {"\xC3\xA9\xE4\xB8\x98\xF0\x9F\x98\x80", U"\u00E9\u4E18\U0001F600"},
        {"\xE2\x88\x92"
         "1",
         U"\u22121"},
        {std::string_view("\xC3\xA9", 1), U"\uFFFD"}, // the next byte is not the text's
        {std::string_view("x\xE4\xB8\x98", 3), U"x\uFFFD\uFFFD"},
        {std::string_view("\xF0\x9F\x98\x80", 3), U"\uFFFD\uFFFD\uFFFD"},
        {"\xC3(", U"\uFFFD("},
        {"\xE4\xB8(", U"\uFFFD\uFFFD("},
        {"\x80\xBF", U"\uFFFD\uFFFD"},
        {"\xF8\x88\x80\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"", U""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8_characters(c.text), c.characters) << testing::PrintToString(std::string(c.text));
}

// Pixel centres lie on whole coordinates, so a quad's edges sit half a
// pixel out and texel u0 + i lands on pixel x0 + i; the top corners take
// the top colour, the bottom ones the bottom colour; a solid quad samples
// the middle of the solid cell throughout.
TEST(PictureOverlayTest, QuadsBecomeVerticesOnPixelCentres)
{
    GlyphAtlas atlas;
    atlas.width = 8;
    atlas.height = 4;
    atlas.solid_x = 4;
    PictureOverlay overlay;
    overlay.quads = {{10, 20, 13, 30, 0, 0, 0xFF112233, 0xFF445566, true},
                     {5, 6, 7, 9, 1, 0, 0xFFFFFFFF, 0xFF000000, false}};
    std::vector<OverlayVertex> vertices(8);
    std::vector<uint16_t> indices(12);
    ASSERT_EQ(overlay_quad_count(overlay), 2u);
    ASSERT_TRUE(write_overlay(vertices, indices, overlay, atlas));
    const float want[8][5] = {
        // x, y, colour (as float bits would lose it: checked apart), u, v
        {9.5f, 19.5f, 0, 0.6875f, 0.375f},  {12.5f, 19.5f, 0, 0.6875f, 0.375f}, {9.5f, 29.5f, 1, 0.6875f, 0.375f},
        {12.5f, 29.5f, 1, 0.6875f, 0.375f}, {4.5f, 5.5f, 0, 0.125f, 0.0f},      {6.5f, 5.5f, 0, 0.375f, 0.0f},
        {4.5f, 8.5f, 1, 0.125f, 0.75f},     {6.5f, 8.5f, 1, 0.375f, 0.75f},
    };
    for (size_t k = 0; k < 8; ++k) {
        const OverlayVertex& v = vertices[k];
        const ScreenQuad& q = overlay.quads[k / 4];
        EXPECT_TRUE(v.x == want[k][0] && v.y == want[k][1] && v.z == 0 && v.rhw == 1 && v.u == want[k][3] &&
                    v.v == want[k][4])
            << k;
        EXPECT_EQ(v.color, want[k][2] ? q.bottom_color : q.color) << k;
    }
    EXPECT_EQ(indices, (std::vector<uint16_t>{0, 1, 2, 1, 3, 2, 4, 5, 6, 5, 7, 6}));
    std::vector<OverlayVertex> one_short(7);
    EXPECT_FALSE(write_overlay(one_short, indices, overlay, atlas));
    // 16-bit indices reach 16,384 quads.
    overlay.quads.resize(16384);
    EXPECT_EQ(overlay_quad_count(overlay), 16384u);
    overlay.quads.resize(16385);
    EXPECT_EQ(overlay_quad_count(overlay), 0u);
}

// The font grows with the picture: 18 pixels from 480 rows, 3% of the
// height from 600, never under 10, halves up; the bar stands one letter in from the right, from a fifth
// of the height down to a quarter above the foot.
TEST(PictureOverlayTest, FontSizeAndScaleBarFollowThePicture)
{
    for (const auto& [height, size] :
         {std::pair{100u, 10}, {240u, 10}, {320u, 12}, {448u, 17}, {480u, 18}, {768u, 23}, {1200u, 36}, {2160u, 65}})
        EXPECT_EQ(overlay_pixel_size(height), size) << height;
    const struct {
        unsigned width, height;
        BarBox bar;
    } cases[] = {{320, 240, {303, 48, 310, 180}}, {1024, 768, {984, 153, 1001, 576}}, {640, 480, {609, 96, 622, 360}}};
    for (const auto& c : cases) {
        const BarBox bar = scale_bar_box(c.width, c.height);
        EXPECT_TRUE(bar.x0 == c.bar.x0 && bar.y0 == c.bar.y0 && bar.x1 == c.bar.x1 && bar.y1 == c.bar.y1)
            << c.width << " x " << c.height << ": " << bar.x0 << " " << bar.y0 << " " << bar.x1 << " " << bar.y1;
    }
}

// A digit drawn at three picture sizes is at least 12 pixels tall, and
// about 2.2% of the picture's height in large ones (rows at least half
// covered).
TEST(PictureOverlayTest, DigitsGrowWithThePicture)
{
    for (const auto& [height, least, most] : {std::tuple{480u, 12, 14}, {1200u, 25, 29}, {2160u, 45, 51}}) {
        GlyphAtlas atlas;
        ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(height), U"0123456789", &atlas));
        for (char32_t digit : {U'0', U'4', U'8'}) {
            const AtlasGlyph* g = atlas.find(digit);
            ASSERT_NE(g, nullptr);
            int rows = 0;
            for (int y = 0; y < g->height; ++y) {
                uint8_t row_most = 0;
                for (int x = 0; x < g->width; ++x)
                    row_most =
                        std::max(row_most, atlas.alpha[size_t(g->plain_y + y) * atlas.width + size_t(g->plain_x + x)]);
                rows += row_most >= 128;
            }
            EXPECT_TRUE(rows >= least && rows <= most) << height << ": " << rows << " rows";
        }
    }
}

// Seen from +x and -y, the x values are ticked along the y = -0.5 edge and
// the y values along x = +0.5: each tick starts on the edge at its value's
// exact place and its value stands beyond its tip, along it, clear of it;
// the values are round, evenly spaced and at least four to an axis. The
// scale's values sit left of the bar, centred on their levels' rows, the
// unit above them, the status line in the lower left corner. Every text is
// inside the picture and a few pixels clear of every other.
TEST(PictureOverlayTest, TextsStandWhereTheyAreAimed)
{
    GlyphAtlas atlas;
    ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(480), overlay_characters("a.txt"), &atlas));
    const OverlayScene scene{640,
                             480,
                             camera_vectors({100, 30, 35}),
                             {1000, 2000, -3, 3},
                             7.0,
                             {5, 5, 0, 0, false, false},
                             "a.txt",
                             ColourMap::grey};
    ASSERT_TRUE(scene.camera.eye.x > 0 && scene.camera.eye.y < 0);
    const PictureOverlay overlay = lay_out_overlay(atlas, scene);
    const std::vector<PlacedText>& texts = overlay.texts;
    for (size_t a = 0; a < texts.size(); ++a) {
        const PlacedText& t = texts[a];
        EXPECT_TRUE(t.x0 >= 0 && t.y0 >= 0 && t.x1 <= 640 && t.y1 <= 480) << t.text;
        for (size_t b = a + 1; b < texts.size(); ++b) {
            const PlacedText& o = texts[b];
            EXPECT_FALSE(t.x0 < o.x1 + 3 && o.x0 < t.x1 + 3 && t.y0 < o.y1 + 3 && o.y0 < t.y1 + 3)
                << t.text << " and " << o.text;
        }
    }
    const int margin = overlay_pixel_size(480) / 2;
    ASSERT_FALSE(texts.empty());
    EXPECT_TRUE(texts[0].text == status_line("a.txt", scene.counts) && texts[0].x0 == margin &&
                texts[0].y1 == 480 - margin);

    const Matrix4 view = build_view_matrix(scene.camera.eye, scene.camera.at, scene.camera.up);
    const Matrix4 projection = framed_projection(scene.camera, 640, 480);
    std::vector<double> values[2];
    size_t ticked = 0;
    for (const PlacedText& t : texts) {
        if (t.role != TextRole::x_value && t.role != TextRole::y_value)
            continue;
        const bool x = t.role == TextRole::x_value;
        const double value = label_number(t.text);
        values[x ? 0 : 1].push_back(value);
        const float along = float(x ? (value - 1000) / 1000 : (value + 3) / 6) - 0.5f;
        const PixelPoint foot = x ? project_point(view, projection, 640, 480, along, -0.5f, 0)
                                  : project_point(view, projection, 640, 480, 0.5f, along, 0);
        // The tick from this foot (at a corner, the one nearer the text),
        // and the text's centre on its line beyond the tip, the tip outside
        // the text.
        auto line = overlay.lines.end();
        for (auto l = overlay.lines.begin(); l != overlay.lines.end(); ++l)
            if (std::fabs(l->x0 - foot.x) < 0.01f && std::fabs(l->y0 - foot.y) < 0.01f &&
                (line == overlay.lines.end() ||
                 std::hypot(l->x1 - (t.x0 + t.x1) / 2.0, l->y1 - (t.y0 + t.y1) / 2.0) <
                     std::hypot(line->x1 - (t.x0 + t.x1) / 2.0, line->y1 - (t.y0 + t.y1) / 2.0)))
                line = l;
        ASSERT_NE(line, overlay.lines.end()) << t.text;
        ++ticked;
        const double cx = (t.x0 + t.x1) / 2.0, cy = (t.y0 + t.y1) / 2.0;
        const double dx = line->x1 - line->x0, dy = line->y1 - line->y0;
        EXPECT_LT(std::fabs((cx - line->x0) * dy - (cy - line->y0) * dx) / std::hypot(dx, dy), 1.0) << t.text;
        EXPECT_GT((cx - line->x1) * dx + (cy - line->y1) * dy, 0) << t.text;
        EXPECT_FALSE(line->x1 > t.x0 - 3 && line->x1 < t.x1 + 3 && line->y1 > t.y0 - 3 && line->y1 < t.y1 + 3)
            << t.text;
    }
    EXPECT_EQ(ticked, overlay.lines.size());
    for (const auto& [axis, low, high] : {std::tuple{0, 1000.0, 2000.0}, {1, -3.0, 3.0}}) {
        const std::vector<double>& v = values[axis];
        expect_round_steps(v, 4, "axis " + std::to_string(axis));
        for (double value : v)
            EXPECT_TRUE(value >= low && value <= high) << value;
    }

    const BarBox bar = scale_bar_box(640, 480);
    int levels = 0;
    for (const PlacedText& t : texts) {
        if (t.role == TextRole::scale_value) {
            ++levels;
            const double row = bar.y1 - 1 - (bar.y1 - 1 - bar.y0) * std::stod(t.text) / 7.0;
            EXPECT_LE(std::fabs(t.y0 + atlas.line_height / 2 - row), 0.5) << t.text;
            EXPECT_TRUE(t.x1 <= bar.x0 - 3 && t.x1 >= bar.x0 - atlas.line_height / 2) << t.text;
        }
        if (t.role == TextRole::scale_unit) {
            EXPECT_TRUE(t.text == "点/セル" && t.x1 == bar.x1 && t.y1 < bar.y0 - atlas.line_height / 2)
                << t.x1 << ", " << t.y1;
        }
    }
    EXPECT_EQ(levels, 8) << "0 to 7";
    // Every character but a space drawn twice, outline and glyph, on its
    // text's line.
    size_t drawn = 0, quads = 0;
    for (const PlacedText& t : texts)
        for (char32_t c : utf8_characters(t.text))
            drawn += c != U' ';
    for (const ScreenQuad& q : overlay.quads) {
        if (q.solid)
            continue;
        ++quads;
        EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                                [&](const PlacedText& t) {
                                    return q.x0 >= t.x0 - 2 && q.x1 <= t.x1 + 2 && q.y0 >= t.y0 - 2 && q.y1 <= t.y1 + 2;
                                }))
            << q.x0 << ", " << q.y0;
    }
    EXPECT_EQ(quads, 2 * drawn);
}

// A name too long for the picture keeps its beginning and end around an
// ellipsis, cut between whole characters, as much of both as fits; the
// counts stay whole. (At 640 wide the whole line would leave the picture.)
TEST(PictureOverlayTest, ALongNameIsShortenedInTheMiddleAndTheCountsStay)
{
    std::string latin = "survey-", japanese;
    for (int k = 0; k < 12; ++k) {
        latin += "station" + std::to_string(k) + "-";
        japanese += "観測データ";
    }
    const FieldCounts counts{1234567, 1000, 3, 0, false, false};
    const std::u32string rest = utf8_characters(status_line("", counts));
    for (const std::string& name : {latin + "end.txt", japanese + ".txt"}) {
        SCOPED_TRACE(name);
        GlyphAtlas atlas;
        ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(480), overlay_characters(name), &atlas));
        auto width = [&](const std::u32string& text) {
            int sum = 0;
            for (char32_t c : text)
                sum += atlas.find(c)->advance;
            return sum;
        };
        const int margin = overlay_pixel_size(480) / 2, room = 640 - 2 * margin;
        const std::u32string whole = utf8_characters(name);
        ASSERT_GT(width(whole + rest), room);
        const OverlayScene scene{
            640, 480, camera_vectors({100, 30, 35}), {0, 1, 0, 1}, 1.0, counts, name, ColourMap::grey};
        const PictureOverlay overlay = lay_out_overlay(atlas, scene);
        ASSERT_FALSE(overlay.texts.empty());
        const PlacedText& status = overlay.texts[0];
        EXPECT_TRUE(status.x0 == margin && status.x1 <= 640 - margin) << status.text;

        const std::u32string shown = utf8_characters(status.text);
        ASSERT_GT(shown.size(), rest.size());
        EXPECT_EQ(shown.substr(shown.size() - rest.size()), rest) << status.text;
        const std::u32string kept = shown.substr(0, shown.size() - rest.size());
        const size_t dot = kept.find(U'\u2026');
        ASSERT_NE(dot, std::u32string::npos) << status.text;
        const size_t head = dot, tail = kept.size() - dot - 1;
        EXPECT_EQ(kept.substr(0, head), whole.substr(0, head));
        EXPECT_EQ(kept.substr(dot + 1), whole.substr(whole.size() - tail));
        EXPECT_TRUE(head == tail || head == tail + 1) << head << " and " << tail;
        EXPECT_GT(head, 5u);
        // One more character of the name, at the end where it would go next.
        const size_t more_head = head == tail ? head + 1 : head, more_tail = head == tail ? tail : tail + 1;
        EXPECT_GT(width(whole.substr(0, more_head) + U"\u2026" + whole.substr(whole.size() - more_tail) + rest), room);
    }
}

// The pointer's readout follows the counts on the status line; where the
// two do not fit together the readout, asked for just now, takes the line.
TEST(PictureOverlayTest, TheReadoutFollowsTheCountsOrTakesTheLine)
{
    const FieldCounts counts{5, 5, 0, 0, false, false};
    const std::string counted = status_line("a.txt", counts);
    const std::string short_readout = "x 12.5  y 3.25", long_readout = "x 1234.5  y 678.25  count 12  height 0.75";
    const struct {
        unsigned width;
        std::string readout, status;
    } cases[] = {
        {640, "", counted}, {640, short_readout, counted + "   " + short_readout}, {320, long_readout, long_readout}};
    for (const auto& c : cases) {
        GlyphAtlas atlas;
        ASSERT_TRUE(
            build_glyph_atlas(default_font_file(), overlay_pixel_size(240), overlay_characters("a.txt"), &atlas));
        OverlayScene scene{c.width,        240, camera_vectors({100, 30, 35}), {0, 1, 0, 1}, 1.0, counts, "a.txt",
                           ColourMap::grey};
        scene.readout = c.readout;
        const PictureOverlay overlay = lay_out_overlay(atlas, scene);
        ASSERT_FALSE(overlay.texts.empty());
        EXPECT_EQ(overlay.texts[0].text, c.status) << c.width;
        EXPECT_TRUE(overlay.texts[0].role == TextRole::status && overlay.texts[0].x1 <= int(c.width));
    }
}

// The colour a picture's point takes from the overlay's lines: the last
// line whose stroke covers it (each is drawn over those before), 0 for none.
uint32_t line_colour_at(const std::vector<ScreenLine>& lines, float x, float y)
{
    uint32_t colour = 0;
    for (const ScreenLine& l : lines) {
        const float dx = l.x1 - l.x0, dy = l.y1 - l.y0, length = std::hypot(dx, dy);
        const float along = ((x - l.x0) * dx + (y - l.y0) * dy) / length;
        const float across = std::fabs((x - l.x0) * dy - (y - l.y0) * dx) / length;
        if (along >= 0 && along <= length && across <= l.width / 2)
            colour = l.color;
    }
    return colour;
}

// The rectangle being dragged out is white on every edge with a dark rim
// either side, its corners closed; the map's square is framed by a white
// ring just outside its edges, its corners closed too, the square's own
// pixels left to the map.
TEST(PictureOverlayTest, TheBandAndTheMapsFrameAreInkedRoundTheirEdges)
{
    GlyphAtlas atlas;
    ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(480), overlay_characters("a.txt"), &atlas));
    OverlayScene scene{640, 480, camera_vectors({100, 30, 35}), {0, 1, 0, 1}, 1.0, {}, "a.txt", ColourMap::grey};
    scene.band = ScreenBox{100, 80, 300, 200};
    constexpr uint32_t kWhite = 0xFFFFFFFF, kDark = 0xFF000000;
    const struct {
        float x, y;
        uint32_t colour;
    } band_points[] = {{200, 80, kWhite}, {200, 200, kWhite}, {100, 140, kWhite}, {300, 140, kWhite},
                       {100, 80, kWhite}, {300, 200, kWhite}, {200, 79, kDark},   {200, 201, kDark},
                       {99, 140, kDark},  {301, 140, kDark},  {99, 79, kDark},    {301, 201, kDark},
                       {200, 140, 0},     {200, 78, 0},       {102, 140, 0}};
    const PictureOverlay band = lay_out_overlay(atlas, scene);
    for (const auto& p : band_points)
        EXPECT_EQ(line_colour_at(band.lines, p.x, p.y), p.colour) << p.x << ", " << p.y;

    scene.band.reset();
    scene.map_view = true;
    const PictureOverlay map = lay_out_overlay(atlas, scene);
    const MapFrame f = map_frame(640, 480, scene.range, scene.max_weight, false, true);
    const float stroke = std::max(1.0f, atlas.line_height / 14.0f), in = 0.1f * stroke, out = 0.9f * stroke;
    const float left = f.x0 - 0.5f, right = f.x1 - 0.5f, top = f.y0 - 0.5f, bottom = f.y1 - 0.5f;
    for (const auto& [x, y] : {std::pair{left - out, top - out},
                               {right + out, top - out},
                               {left - out, bottom + out},
                               {right + out, bottom + out},
                               {left - in, (top + bottom) / 2},
                               {(left + right) / 2, top - in},
                               {right + in, (top + bottom) / 2},
                               {(left + right) / 2, bottom + in}})
        EXPECT_EQ(line_colour_at(map.lines, x, y), kWhite) << x << ", " << y;
    for (const auto& [x, y] :
         {std::pair{left + 0.5f, top + 0.5f}, {right - 0.5f, bottom - 0.5f}, {(left + right) / 2, (top + bottom) / 2}})
        EXPECT_EQ(line_colour_at(map.lines, x, y), 0u) << x << ", " << y;
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
                       {5, 5, 0, 0, false, false},
                       "a.txt",
                       ColourMap::grey};
    const PictureOverlay overlay = lay_out_overlay(atlas, scene);
    EXPECT_TRUE(overlay.texts.empty());
    const BarBox bar = scale_bar_box(640, 480);
    ASSERT_EQ(overlay.quads.size(), 4 + 2 + size_t(bar.y1 - bar.y0 - 2 + 7) / 8) << "frame, ends, bands of 8";
    EXPECT_TRUE(std::all_of(overlay.quads.begin(), overlay.quads.end(), [](const ScreenQuad& q) { return q.solid; }));
    // ... from the atlas's solid cell, which is there and opaque without a font too.
    ASSERT_EQ(atlas.alpha.size(), size_t(atlas.width) * size_t(atlas.height));
    for (int y = atlas.solid_y; y < atlas.solid_y + kSolidSide; ++y)
        for (int x = atlas.solid_x; x < atlas.solid_x + kSolidSide; ++x)
            ASSERT_EQ(atlas.alpha[size_t(y) * size_t(atlas.width) + size_t(x)], 255) << x << ", " << y;
}

} // namespace

namespace {

// The axes carry the data's own names where it has them, X and Y where not.
TEST(PictureOverlayTest, AxesCarryTheirTitles)
{
    GlyphAtlas atlas;
    ASSERT_TRUE(build_glyph_atlas(default_font_file(), 18, overlay_characters("a.txteruptions待ち時間"), &atlas));
    for (const auto& [x_title, y_title] : {std::pair<const char*, const char*>{"eruptions", "待ち時間"}, {"", ""}}) {
        OverlayScene scene{640,
                           480,
                           camera_vectors({100, 30, 65}),
                           {0, 1, 0, 1},
                           1.0,
                           {5, 5, 0, 0, false, false},
                           "a.txt",
                           ColourMap::grey};
        scene.x_title = x_title;
        scene.y_title = y_title;
        const PictureOverlay overlay = lay_out_overlay(atlas, scene);
        const auto placed = [&](const std::string& text) {
            return std::any_of(overlay.texts.begin(), overlay.texts.end(),
                               [&](const PlacedText& t) { return t.text == text; });
        };
        EXPECT_EQ(placed("eruptions"), *x_title != 0);
        EXPECT_EQ(placed("待ち時間"), *y_title != 0);
        EXPECT_EQ(placed(text(TextId::axis_x_name)), *x_title == 0);
        EXPECT_EQ(placed(text(TextId::axis_y_name)), *y_title == 0);
    }
}

} // namespace
