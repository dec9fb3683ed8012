// The map view as a reader checks it: the box's corners, at the floor and
// at full height, on the square's corners; the values below and left of
// the square at their own places, round and evenly spaced; every text in
// the picture and off the map.
#include "render/text/map_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "render/text/glyph_atlas.h"
#include "render/text/picture_overlay.h"
#include "label_values.h"

namespace {

struct PictureSize {
    unsigned width, height;
};
constexpr PictureSize kSizes[] = {{640, 480}, {1600, 1200}, {480, 640}, {1000, 600}, {320, 240}};

std::string name_of(PictureSize size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

TEST(MapFrameTest, TheBoxsCornersLandOnTheSquaresCorners)
{
    const CameraVectors eye = map_camera();
    const Matrix4 view = build_view_matrix(eye.eye, eye.at, eye.up);
    for (const PictureSize size : kSizes) {
        for (const bool axes : {true, false}) {
            const std::string where = name_of(size) + (axes ? " with axes" : " without");
            const MapFrame frame = map_frame(size.width, size.height, Range{0, 4000, 0, 4000}, 57.0, false, axes);
            const int side = frame.x1 - frame.x0;
            EXPECT_EQ(frame.y1 - frame.y0, side) << where;
            EXPECT_TRUE(frame.x0 >= 0 && frame.y0 >= 0 && frame.x1 <= int(size.width) && frame.y1 <= int(size.height))
                << where;
            if (axes) {
                // Not lost in the picture, and above the status band.
                EXPECT_GE(side, int(0.55 * std::min(size.width, size.height))) << where;
                EXPECT_LE(frame.y1, int(size.height) - status_band_height(size.height)) << where;
            } else {
                EXPECT_EQ(side, int(std::min(size.width, size.height))) << where;
            }
            const Matrix4 projection = map_projection(size.width, size.height, frame);
            for (float x : {-0.5f, 0.5f})
                for (float y : {-0.5f, 0.5f})
                    for (float z : {0.0f, -1.0f}) { // a peak stands where its foot does
                        const PixelPoint p = project_point(view, projection, size.width, size.height, x, y, z);
                        ASSERT_TRUE(p.placed) << where;
                        // The outer edges of the corner pixels: x grows right, y up.
                        EXPECT_NEAR(p.x, (x < 0 ? frame.x0 : frame.x1) - 0.5f, 0.01f) << where << " " << x << "," << y;
                        EXPECT_NEAR(p.y, (y > 0 ? frame.y0 : frame.y1) - 0.5f, 0.01f) << where << " " << x << "," << y;
                    }
        }
    }
}

TEST(MapFrameTest, ValuesStandBelowAndLeftAtTheirPlacesAndNoTextIsOnTheMap)
{
    const struct {
        Range range;
        double top_weight;
        bool log_scale;
        bool ends_ticked = false; // both axes' lows are round: the corner they share is valued on both
        bool log_x = false;
        double foot = 0; // a mean's least: wide negative values at the scale
        bool log_y = false;
    } cases[] = {{{0, 4000, 0, 4000}, 57.0, false, true},
                 {{-178.8, 179.8, -85, 85}, 123456.0, true},
                 {{326, 18823, 1.6, 5.1}, 0.75, false},
                 {{0, 1, 0, 1}, 2.5, true, true},
                 {{1, 1000, -0.0125, 0.0375}, 9.0, false, false, true},
                 {{0, 4000, 0, 4000}, 3.0, false, false, false, -12345},
                 {{100000, 500000, 0, 4000}, 57.0, false, true},
                 {{0, 4000, 1e-5, 1}, 57.0, false, false, false, 0, true}};
    for (const PictureSize size : kSizes) {
        if (size.height < 480)
            continue; // smaller pictures may drop the names; their corners are checked above
        GlyphAtlas atlas;
        ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(size.height),
                                      overlay_characters("points.txt"), &atlas));
        for (const auto& c : cases) {
            const Range& range = c.range;
            const std::string where = name_of(size) + " range " + std::to_string(range.x_min) + ".." +
                std::to_string(range.x_max) + " x " + std::to_string(range.y_min) + ".." + std::to_string(range.y_max);
            OverlayScene scene{size.width,   size.height,       map_camera(),
                               range,        c.top_weight,      {200000, 199812, 0, 0, false, false},
                               "points.txt", ColourMap::viridis};
            scene.log_scale = c.log_scale;
            scene.map_view = true;
            scene.log_x = c.log_x;
            scene.log_y = c.log_y;
            scene.scale_foot = c.foot;
            const PictureOverlay overlay = lay_out_overlay(atlas, scene);
            const MapFrame f =
                map_frame(size.width, size.height, range, scene.max_weight, scene.log_scale, true, map_shape(scene));
            // Where an x value stands along the edge, as a part of the edge.
            auto x_part = [&](double v) {
                return c.log_x ? std::log10(v / range.x_min) / std::log10(range.x_max / range.x_min)
                               : (v - range.x_min) / (range.x_max - range.x_min);
            };
            auto y_part = [&](double v) {
                return c.log_y ? std::log10(v / range.y_min) / std::log10(range.y_max / range.y_min)
                               : (v - range.y_min) / (range.y_max - range.y_min);
            };
            const double side = f.x1 - f.x0;
            const int band_top = int(size.height) - status_band_height(size.height);
            std::vector<double> xs, ys;
            int count[7] = {}, values_bottom = f.y1, values_left = f.x0;
            for (const PlacedText& t : overlay.texts) {
                ++count[int(t.role)];
                EXPECT_TRUE(t.x0 >= 0 && t.y0 >= 0 && t.x1 <= int(size.width) && t.y1 <= int(size.height))
                    << where << " " << t.text << " leaves the picture";
                EXPECT_FALSE(t.x0 < f.x1 && f.x0 < t.x1 && t.y0 < f.y1 && f.y0 < t.y1) << where << " " << t.text;
                if (t.role != TextRole::status) {
                    EXPECT_LE(t.y1, band_top) << where << " " << t.text << " in the status band";
                }
                const double cx = (t.x0 + t.x1) / 2.0, cy = (t.y0 + t.y1) / 2.0;
                if (t.role == TextRole::x_value) {
                    const double v = label_number(t.text);
                    xs.push_back(v);
                    EXPECT_GE(t.y0, f.y1) << where << " " << t.text << " below";
                    EXPECT_NEAR(cx, f.x0 - 0.5 + x_part(v) * side, 1.0) << where << " " << t.text;
                    values_bottom = std::max(values_bottom, t.y1);
                } else if (t.role == TextRole::y_value) {
                    const double v = label_number(t.text);
                    ys.push_back(v);
                    EXPECT_LE(t.x1, f.x0) << where << " " << t.text << " left";
                    // The room reckoned for them holds them within the picture's margin.
                    EXPECT_GE(t.x0, overlay_pixel_size(size.height) / 2) << where << " " << t.text << " margin";
                    values_left = std::min(values_left, t.x0);
                    EXPECT_NEAR(cy, f.y1 - 0.5 - y_part(v) * side, 1.0) << where << " " << t.text;
                } else if (t.role == TextRole::scale_value) {
                    EXPECT_GE(t.x0, f.bar.x1 + 3) << where << " " << t.text << " clear of the bar's frame";
                }
                // The names above the map keep the picture's margin.
                if (t.role == TextRole::y_title || t.role == TextRole::scale_unit) {
                    EXPECT_GE(t.y0, overlay_pixel_size(size.height) / 2) << where << " " << t.text;
                }
            }
            // No two texts share a pixel: at the corner the axes share, the
            // x values keep below the y values' reach.
            for (std::size_t a = 0; a < overlay.texts.size(); ++a)
                for (std::size_t b = a + 1; b < overlay.texts.size(); ++b) {
                    const PlacedText &s = overlay.texts[a], &t = overlay.texts[b];
                    EXPECT_FALSE(s.x0 < t.x1 && t.x0 < s.x1 && s.y0 < t.y1 && t.y0 < s.y1)
                        << where << " " << s.text << " and " << t.text;
                }
            // How many an axis holds is the tick rule's own (wide labels on
            // a narrow square may leave three).
            if (!c.log_x)
                expect_round_steps(xs, 3, where + " x");
            else // every power of ten, with 2 and 5 times them where they fit
                for (double power : {1.0, 10.0, 100.0, 1000.0})
                    EXPECT_NE(std::find(xs.begin(), xs.end(), power), xs.end()) << where << " " << power;
            if (c.ends_ticked) {
                EXPECT_TRUE(!xs.empty() && xs.front() == range.x_min) << where << " x at the corner";
                EXPECT_TRUE(!ys.empty() && ys.front() == range.y_min) << where << " y at the corner";
            }
            if (!c.log_y)
                expect_round_steps(ys, 3, where + " y");
            EXPECT_EQ(count[int(TextRole::status)], 1) << where;
            EXPECT_EQ(count[int(TextRole::x_title)], 1) << where;
            EXPECT_EQ(count[int(TextRole::y_title)], 1) << where;
            EXPECT_GE(count[int(TextRole::scale_value)], 2) << where;
            for (const PlacedText& t : overlay.texts) {
                if (t.role == TextRole::x_title) {
                    EXPECT_GE(t.y0, values_bottom) << where << " under the values";
                }
                if (t.role == TextRole::y_title) {
                    EXPECT_LE(t.y1, f.y0) << where << " above the map";
                    EXPECT_EQ(t.x0, values_left) << where << " over the y values";
                }
            }
            // A tick out of each edge at every value: below and above at the
            // x values, left and right at the y values.
            size_t edge_ticks[4] = {};
            for (const ScreenLine& l : overlay.lines) {
                const bool vertical = std::fabs(l.x0 - l.x1) < 0.01f, horizontal = std::fabs(l.y0 - l.y1) < 0.01f;
                edge_ticks[0] += vertical && std::fabs(l.y0 - (f.y1 - 0.5f)) < 0.01f && l.y1 > l.y0;
                edge_ticks[1] += vertical && std::fabs(l.y0 - (f.y0 - 0.5f)) < 0.01f && l.y1 < l.y0;
                edge_ticks[2] += horizontal && std::fabs(l.x0 - (f.x0 - 0.5f)) < 0.01f && l.x1 < l.x0;
                edge_ticks[3] += horizontal && std::fabs(l.x0 - (f.x1 - 0.5f)) < 0.01f && l.x1 > l.x0;
            }
            EXPECT_EQ(edge_ticks[0], xs.size()) << where;
            EXPECT_EQ(edge_ticks[1], xs.size()) << where;
            EXPECT_EQ(edge_ticks[2], ys.size()) << where;
            EXPECT_EQ(edge_ticks[3], ys.size()) << where;
        }
    }
}

} // namespace

// With equal units the frame is the largest rectangle of the range's
// proportion (in decades on a log axis) that the square's room holds, and
// the box's corners land on its corners; the values stand where their
// numbers put them, a log axis's at powers of ten and 2 and 5 times them.
TEST(MapFrameTest, EqualUnitsAndLogAxesPlaceTheBoxAndItsValues)
{
    const struct {
        Range range;
        bool log_x, log_y;
        double aspect; // the box's width over its height, worked by hand
    } cases[] = {{{-180, 180, -90, 90}, false, false, 2.0},
                 {{0, 10, 0, 40}, false, false, 0.25},
                 {{100, 1e7, 0, 5}, true, false, 1.0},
                 {{100, 1e7, 15, 95}, true, false, 5.0 / 80.0},
                 {{1, 1000, 0.01, 100}, true, true, 0.75}};
    const CameraVectors eye = map_camera();
    const Matrix4 view = build_view_matrix(eye.eye, eye.at, eye.up);
    for (const PictureSize size : {PictureSize{640, 480}, PictureSize{1600, 1200}}) {
        GlyphAtlas atlas;
        ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(size.height),
                                      overlay_characters("points.txt"), &atlas));
        for (const auto& c : cases) {
            const std::string where = name_of(size) + " aspect " + std::to_string(c.aspect);
            const MapShape square{0, c.log_x, c.log_y, false}, equal{0, c.log_x, c.log_y, true};
            const MapFrame room = map_frame(size.width, size.height, c.range, 57.0, false, true, square);
            const MapFrame f = map_frame(size.width, size.height, c.range, 57.0, false, true, equal);
            const int across = f.x1 - f.x0, up = f.y1 - f.y0;
            EXPECT_NEAR(double(across) / up, c.aspect, 1.0 / std::min(across, up)) << where;
            // In the middle of the square's room, as the square is.
            EXPECT_LE(std::abs(f.x0 + f.x1 - room.x0 - room.x1), 1) << where;
            EXPECT_LE(std::abs(f.y0 + f.y1 - room.y0 - room.y1), 1) << where;
            // At least as long as the square on its longer side.
            EXPECT_GE(std::max(across, up), room.x1 - room.x0) << where;
            EXPECT_LE(across, int(size.width)) << where;
            EXPECT_LE(up, int(size.height) - status_band_height(size.height)) << where;
            const Matrix4 projection = map_projection(size.width, size.height, f);
            for (float x : {-0.5f, 0.5f})
                for (float y : {-0.5f, 0.5f}) {
                    const PixelPoint p = project_point(view, projection, size.width, size.height, x, y, 0);
                    EXPECT_NEAR(p.x, (x < 0 ? f.x0 : f.x1) - 0.5f, 0.01f) << where;
                    EXPECT_NEAR(p.y, (y > 0 ? f.y0 : f.y1) - 0.5f, 0.01f) << where;
                }
            OverlayScene scene{size.width, size.height, map_camera(), c.range,
                               57.0,       {},          "points.txt", ColourMap::viridis};
            scene.map_view = true;
            scene.log_x = c.log_x, scene.log_y = c.log_y, scene.equal_aspect = true;
            const PictureOverlay overlay = lay_out_overlay(atlas, scene);
            // Where a value stands along its edge, as a part of the edge.
            const auto part = [](double v, double low, double high, bool log) {
                return log ? std::log10(v / low) / std::log10(high / low) : (v - low) / (high - low);
            };
            int powers[2] = {}, values[2] = {};
            for (const PlacedText& t : overlay.texts) {
                const bool is_x = t.role == TextRole::x_value;
                if (!is_x && t.role != TextRole::y_value)
                    continue;
                const double v = label_number(t.text);
                const bool log = is_x ? c.log_x : c.log_y;
                const double cx = (t.x0 + t.x1) / 2.0, cy = (t.y0 + t.y1) / 2.0;
                if (is_x)
                    EXPECT_NEAR(cx, f.x0 - 0.5 + part(v, c.range.x_min, c.range.x_max, log) * across, 1.0)
                        << where << " " << t.text;
                else
                    EXPECT_NEAR(cy, f.y1 - 0.5 - part(v, c.range.y_min, c.range.y_max, log) * up, 1.0)
                        << where << " " << t.text;
                ++values[is_x ? 0 : 1];
                if (!log)
                    continue;
                const double mantissa = v / std::pow(10.0, std::floor(std::log10(v) + 1e-9));
                EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                            std::fabs(mantissa - 5) < 1e-9)
                    << where << " " << t.text;
                powers[is_x ? 0 : 1] += std::fabs(mantissa - 1) < 1e-9;
            }
            // A map a sixteenth as wide as it is tall has no room for its x values.
            EXPECT_GE(values[0], c.aspect < 0.1 ? 0 : 3) << where;
            EXPECT_GE(values[1], 3) << where;
            if (c.log_x && c.aspect > 0.1) {
                EXPECT_GE(powers[0], 3) << where;
            }
            if (c.log_y) {
                EXPECT_GE(powers[1], 3) << where;
            }
        }
    }
}
