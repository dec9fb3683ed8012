// The point under a pixel, checked against where project_point draws the
// nodes: a visible node's pixel gives back that node, a node behind a wall
// gives the wall, and pixels beside the box give nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render/scene/surface_pick.h"

namespace {

constexpr int kNodes = 21;

std::vector<double> bump()
{
    std::vector<double> heights(kNodes * kNodes);
    for (int j = 0; j < kNodes; ++j)
        for (int i = 0; i < kNodes; ++i)
            heights[j * kNodes + i] = 0.3 * std::exp(-(std::pow(i - 8, 2) + std::pow(j - 12, 2)) / 40.0);
    return heights;
}

struct View {
    Matrix4 view, projection;
    unsigned width, height;
};

View camera_view(CameraSetting setting, unsigned width, unsigned height)
{
    const CameraVectors c = camera_vectors(setting);
    return {build_view_matrix(c.eye, c.at, c.up), build_scene_projection(width, height), width, height};
}

PixelPoint node_pixel(const View& v, const NodeGrid& grid, int i, int j)
{
    return project_point(v.view, v.projection, v.width, v.height, node_position(i, kNodes), node_position(j, kNodes),
                         float(-grid.at(i, j)));
}

TEST(SurfacePick, AVisibleNodesPixelGivesThatNode)
{
    const std::vector<double> heights = bump();
    const NodeGrid grid{kNodes, kNodes, heights.data()};
    const struct {
        CameraSetting camera;
        unsigned width, height;
    } views[] = {{{40, 30, 60}, 640, 480}, {{60, 200, 35}, 1600, 1200}, {{30, 0, 90}, 300, 300}};
    const int nodes[][2] = {{8, 12}, {3, 17}, {15, 4}, {10, 10}, {19, 1}};
    for (const auto& c : views) {
        const View v = camera_view(c.camera, c.width, c.height);
        for (const auto& n : nodes) {
            SCOPED_TRACE(testing::Message() << c.camera.azimuth << " node " << n[0] << "," << n[1]);
            const PixelPoint p = node_pixel(v, grid, n[0], n[1]);
            ASSERT_TRUE(p.placed);
            const SurfaceHit hit = surface_point_at(v.view, v.projection, v.width, v.height, grid, p.x, p.y);
            ASSERT_TRUE(hit.found);
            EXPECT_NEAR(hit.u, n[0] / double(kNodes - 1), 1e-3);
            EXPECT_NEAR(hit.v, n[1] / double(kNodes - 1), 1e-3);
        }
    }
}

TEST(SurfacePick, ATallerRowHidesWhatIsBehindIt)
{
    const CameraSetting setting{60, 30, 10};
    const CameraVectors eye = camera_vectors(setting);
    // The wall stands on the row nearer the eye; the node looked for lies
    // on the far side of the box, in the same column.
    const int wall = eye.eye.y > 0 ? 14 : 6, far = eye.eye.y > 0 ? 2 : 18;
    std::vector<double> heights(kNodes * kNodes, 0.0);
    for (int i = 0; i < kNodes; ++i)
        heights[wall * kNodes + i] = 1.0;
    const NodeGrid grid{kNodes, kNodes, heights.data()};
    const View v = camera_view(setting, 800, 600);
    const PixelPoint p = node_pixel(v, grid, 10, far);
    ASSERT_TRUE(p.placed);
    const SurfaceHit hit = surface_point_at(v.view, v.projection, v.width, v.height, grid, p.x, p.y);
    ASSERT_TRUE(hit.found);
    EXPECT_NEAR(hit.v, wall / double(kNodes - 1), 1.0 / (kNodes - 1));
    // With the wall gone the node itself is found.
    heights.assign(heights.size(), 0.0);
    const SurfaceHit flat = surface_point_at(v.view, v.projection, v.width, v.height, grid, p.x, p.y);
    ASSERT_TRUE(flat.found);
    EXPECT_NEAR(flat.v, far / double(kNodes - 1), 1e-3);
}

// On a level surface every point of a triangle lies at the one height, so
// a picked point drawn again must land on the pixel it was picked at,
// inside cells as well as on nodes, from afar and from nearby.
TEST(SurfacePick, APickedPointLandsOnItsPixel)
{
    const std::vector<double> level(kNodes * kNodes, 0.25);
    const NodeGrid grid{kNodes, kNodes, level.data()};
    const float x0 = node_position(0, kNodes), x1 = node_position(kNodes - 1, kNodes);
    const View views[] = {camera_view({40, 30, 60}, 640, 480), camera_view({0, 120, 5}, 640, 480),
                          camera_view({0, 300, 20}, 400, 300)};
    for (const View& v : views) {
        SCOPED_TRACE(&v - views);
        int found = 0;
        for (unsigned py = 3; py < v.height; py += 16)
            for (unsigned px = 5; px < v.width; px += 16) {
                const SurfaceHit hit = surface_point_at(v.view, v.projection, v.width, v.height, grid, px, py);
                if (!hit.found)
                    continue;
                ++found;
                const PixelPoint back =
                    project_point(v.view, v.projection, v.width, v.height, float(x0 + hit.u * (x1 - x0)),
                                  float(x0 + hit.v * (x1 - x0)), -0.25f);
                ASSERT_TRUE(back.placed) << px << "," << py;
                EXPECT_NEAR(back.x, px, 0.05) << px << "," << py;
                EXPECT_NEAR(back.y, py, 0.05) << px << "," << py;
            }
        EXPECT_GT(found, 100);
    }
}

TEST(SurfacePick, NothingBesideTheBoxOrWithoutNodes)
{
    const std::vector<double> heights = bump();
    const NodeGrid grid{kNodes, kNodes, heights.data()};
    const View v = camera_view({100, 30, 60}, 640, 480);
    for (const auto& [x, y] : {std::pair{0.0f, 0.0f}, {639.0f, 0.0f}, {0.0f, 479.0f}, {639.0f, 479.0f}})
        EXPECT_FALSE(surface_point_at(v.view, v.projection, 640, 480, grid, x, y).found) << x << "," << y;
    EXPECT_FALSE(surface_point_at(v.view, v.projection, 640, 480, NodeGrid{kNodes, kNodes, nullptr}, 320, 240).found);
}

} // namespace
