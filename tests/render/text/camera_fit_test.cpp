// The fitted distance against what the picture then shows: the box's
// corners and every text the layout placed inside the picture, both axes
// named and valued, and the box large in its frame rather than lost in it.
#include "render/text/camera_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "render/text/glyph_atlas.h"
#include "render/text/picture_overlay.h"

namespace {

// Pictures from 480 rows; views from 15 degrees up. Lower, and in smaller
// pictures, the values crowd the axes' names out.
TEST(CameraFitTest, TheWholeBoxAndItsLabelsAreInThePicture)
{
    const struct {
        int32_t azimuth, elevation;
    } cameras[] = {{30, 35}, {45, 30}, {0, 90}, {315, 60}, {90, 15}, {135, 75}};
    const struct {
        unsigned width, height;
    } sizes[] = {{640, 480}, {1000, 600}, {1600, 1200}, {800, 800}};
    for (const auto& size : sizes) {
        GlyphAtlas atlas;
        ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(size.height),
                                      overlay_characters("points.txt"), &atlas));
        const BarBox bar = scale_bar_box(size.width, size.height);
        const int band_top = int(size.height) - status_band_height(size.height);
        for (const auto& camera : cameras) {
            const int32_t radius = fitted_camera_radius(camera.azimuth, camera.elevation, size.width, size.height);
            const std::string where = std::to_string(size.width) + "x" + std::to_string(size.height) + " camera " +
                std::to_string(radius) + " " + std::to_string(camera.azimuth) + " " + std::to_string(camera.elevation);
            ASSERT_TRUE(radius >= 0 && radius < kFarthestRadius) << where;
            const CameraVectors vectors = camera_vectors({radius, camera.azimuth, camera.elevation});
            const Matrix4 view = build_view_matrix(vectors.eye, vectors.at, vectors.up);
            const Matrix4 projection = framed_projection(vectors, size.width, size.height);
            float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
            for (float x : {-0.5f, 0.5f})
                for (float y : {-0.5f, 0.5f})
                    for (float z : {0.0f, -1.0f}) {
                        const PixelPoint p = project_point(view, projection, size.width, size.height, x, y, z);
                        ASSERT_TRUE(p.placed) << where;
                        // Clear of the scale and above the status band.
                        EXPECT_TRUE(p.x >= 0 && p.x < float(bar.x0) && p.y >= 0 && p.y < float(band_top))
                            << where << " corner " << x << "," << y << "," << z << " at " << p.x << "," << p.y;
                        left = std::min(left, p.x), right = std::max(right, p.x);
                        top = std::min(top, p.y), bottom = std::max(bottom, p.y);
                    }
            const OverlayScene scene{size.width,   size.height,
                                     vectors,      {0, 4000, 0, 4000},
                                     57.0,         {200000, 199812, 0, 0, false, false},
                                     "points.txt", ColourMap::viridis};
            const PictureOverlay overlay = lay_out_overlay(atlas, scene);
            int count[7] = {};
            for (const PlacedText& t : overlay.texts) {
                ++count[int(t.role)];
                EXPECT_TRUE(t.x0 >= 0 && t.y0 >= 0 && t.x1 <= int(size.width) && t.y1 <= int(size.height))
                    << where << " " << t.text;
                if (t.role != TextRole::status) {
                    EXPECT_LE(t.y1, band_top) << where << " " << t.text << " in the status band";
                }
            }
            // The box and its axes fill the frame one way, and stand in its
            // middle: within a few percent of both its edges.
            const PlotFrame frame = plot_frame(size.width, size.height);
            for (const PlacedText& t : overlay.texts)
                if (t.role != TextRole::status && t.role != TextRole::scale_value && t.role != TextRole::scale_unit) {
                    EXPECT_TRUE(t.x0 >= frame.x0 && t.x1 <= frame.x1 && t.y0 >= frame.y0 && t.y1 <= frame.y1)
                        << where << " " << t.text << " out of the frame " << t.x0 << " " << t.y0 << " " << t.x1 << " "
                        << t.y1;
                    left = std::min(left, float(t.x0)), right = std::max(right, float(t.x1));
                    top = std::min(top, float(t.y0)), bottom = std::max(bottom, float(t.y1));
                }
            const float wide = (right - left) / (frame.x1 - frame.x0), tall = (bottom - top) / (frame.y1 - frame.y0);
            EXPECT_TRUE(wide > 0.93f || tall > 0.93f) << where << " fills " << wide << " x " << tall;
            EXPECT_TRUE(std::fabs(left + right - frame.x0 - frame.x1) < 0.1f * (frame.x1 - frame.x0) &&
                        std::fabs(top + bottom - frame.y0 - frame.y1) < 0.1f * (frame.y1 - frame.y0))
                << where << " off the frame's middle";
            EXPECT_EQ(count[int(TextRole::status)], 1) << where;
            EXPECT_EQ(count[int(TextRole::x_title)], 1) << where;
            EXPECT_EQ(count[int(TextRole::y_title)], 1) << where;
            // Edge-on or straight down an axis may lose all but its ends' values.
            EXPECT_GE(count[int(TextRole::x_value)] + count[int(TextRole::y_value)], 4) << where;
            EXPECT_GE(count[int(TextRole::scale_value)], 2) << where;

            // A fitted range, ten steps of 0.5 and of 10, keeps at least four
            // values to an axis; only an axis seen at 15 degrees end-on in
            // the smallest picture is too short for six and takes three.
            const OverlayScene fitted{
                size.width,   size.height,       vectors, {1, 6, 20, 120}, 57.0, {272, 272, 0, 0, false, false},
                "points.txt", ColourMap::viridis};
            int values[2] = {};
            for (const PlacedText& t : lay_out_overlay(atlas, fitted).texts)
                if (t.role == TextRole::x_value || t.role == TextRole::y_value)
                    ++values[t.role == TextRole::y_value];
            const int least = camera.elevation == 15 && size.height == 480 ? 3 : 4;
            EXPECT_TRUE(values[0] >= least && values[1] >= least) << where << " " << values[0] << " " << values[1];

            // Values in tens of millions keep their factor, in the y axis's
            // name, also where the name is long beside the scale's column.
            OverlayScene large = fitted;
            large.range = {-250, 250, -4e6, 1.6e7};
            large.x_title = "long";
            large.y_title = "lat";
            int titles = 0;
            for (const PlacedText& t : lay_out_overlay(atlas, large).texts)
                titles += t.text == "long" || t.text == "lat (\u00D71e7)";
            EXPECT_EQ(titles, 2) << where << " factor";
        }
    }
}

// The box and its labels look the same from an eye mirrored across either
// axis, mirrored in the picture: the fitted distance is the same.
TEST(CameraFitTest, MirroredEyesFitAtTheSameDistance)
{
    for (int32_t elevation : {15, 35, 60})
        for (int32_t azimuth = 0; azimuth < 360; azimuth += 15) {
            const int32_t radius = fitted_camera_radius(azimuth, elevation, 640, 480);
            EXPECT_EQ(fitted_camera_radius(180 - azimuth, elevation, 640, 480), radius) << azimuth << " " << elevation;
            EXPECT_EQ(fitted_camera_radius(360 - azimuth, elevation, 640, 480), radius) << azimuth << " " << elevation;
        }
}

// An eye inside the box has no extent to frame: the point it looks at,
// the picture's middle without the axes, goes to the plot frame's middle.
TEST(CameraFitTest, AnEyeInsideTheBoxLooksAtTheFramesMiddle)
{
    for (const auto& [width, height] : {std::pair{640u, 480u}, {1000u, 600u}}) {
        const CameraVectors inside{{0.1f, 0.2f, -0.4f}, {0.0f, 0.0f, -0.5f}, {0.0f, 0.0f, -1.0f}};
        const Matrix4 view = build_view_matrix(inside.eye, inside.at, inside.up);
        const PixelPoint p =
            project_point(view, framed_projection(inside, width, height), width, height, 0.0f, 0.0f, -0.5f);
        const PlotFrame frame = plot_frame(width, height);
        ASSERT_TRUE(p.placed);
        EXPECT_NEAR(p.x, (frame.x0 + frame.x1) / 2, 0.01f) << width << "x" << height;
        EXPECT_NEAR(p.y, (frame.y0 + frame.y1) / 2, 0.01f) << width << "x" << height;
    }
}

} // namespace
