// The scene's geometry without a device: the surface mesh, its shades, the
// grid lines and the marker cross as the writers fill plain vectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "render/scene/colour_maps.h"
#include "render/scene/camera.h"
#include "render/scene/mesh.h"

namespace {

// Heights that name their node.
double named(int i, int j) { return (i + 1000.0 * j) / 1e6; }
float above(double h) { return static_cast<float>(-h - 0.01); }

std::vector<double> named_nodes()
{
    std::vector<double> nodes(201 * 201);
    for (int j = 0; j < 201; ++j)
        for (int i = 0; i < 201; ++i)
            nodes[j * 201 + i] = named(i, j);
    return nodes;
}

template <class Vertex>
struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
};

// A piece written into vectors of the size it asks for.
template <class Vertex, class Write>
Mesh<Vertex> written(MeshSize size, Write write)
{
    Mesh<Vertex> mesh{std::vector<Vertex>(size.vertices), std::vector<uint16_t>(size.indices)};
    EXPECT_EQ(write(std::span<Vertex>(mesh.vertices), std::span<uint16_t>(mesh.indices)), size.vertices != 0);
    return mesh;
}

class SceneMesh : public ::testing::Test {
protected:
    std::vector<double> nodes = named_nodes();
    NodeGrid grid{201, 201, nodes.data()};
    Mesh<SurfaceVertex> surface()
    {
        return written<SurfaceVertex>(surface_size(grid), [&](auto v, auto i) { return write_surface(v, i, grid); });
    }
};

TEST_F(SceneMesh, SurfaceOf201x201Field)
{
    const Mesh<SurfaceVertex> mesh = surface();
    ASSERT_EQ(mesh.vertices.size(), 40401u);
    ASSERT_EQ(mesh.indices.size(), 4 * 240000u);
    const std::vector<SurfaceVertex>& v = mesh.vertices;
    for (int k = 0; k < 40401; k += 97) {
        const int i = k % 201, j = k / 201;
        ASSERT_NEAR(v[k].x, i / 200.0 - 0.5, 1e-7) << k;
        ASSERT_NEAR(v[k].y, j / 200.0 - 0.5, 1e-7) << k;
        ASSERT_EQ(v[k].z, static_cast<float>(-named(i, j))) << k;
        ASSERT_EQ(v[k].color, node_shade(named(i, j))) << k;
        ASSERT_NEAR(v[k].u, i / 200.0, 1e-7) << k;
        ASSERT_NEAR(v[k].v, 1 - j / 200.0, 1e-7) << k;
    }
    // Corners exactly; x and u come from one rounded quotient.
    const float corners[4][5] = {
        {0, -.5f, -.5f, 0, 1}, {200, .5f, -.5f, 1, 1}, {40200, -.5f, .5f, 0, 0}, {40400, .5f, .5f, 1, 0}};
    for (const auto& c : corners)
        EXPECT_TRUE(v[int(c[0])].x == c[1] && v[int(c[0])].y == c[2] && v[int(c[0])].u == c[3] &&
                    v[int(c[0])].v == c[4])
            << c[0];
    EXPECT_EQ(v[37].x, v[37].u - 0.5f);
    const std::vector<uint16_t>& indices = mesh.indices;
    EXPECT_EQ(std::vector<uint16_t>(indices.begin(), indices.begin() + 6),
              (std::vector<uint16_t>{0, 201, 1, 201, 202, 1}));
    EXPECT_EQ(std::vector<uint16_t>(indices.begin() + 240000 - 6, indices.begin() + 240000),
              (std::vector<uint16_t>{40198, 40399, 40199, 40399, 40400, 40199}));
    // Spans of another size are refused.
    std::vector<SurfaceVertex> short_of_one(40400);
    EXPECT_FALSE(write_surface(short_of_one, std::span<uint16_t>(), grid));
}

// From an eye on any side, the order that surface_order picks draws every
// cell once, with both its triangles as wound before, in strips across the
// direction the eye is farther out in (rows when |y| >= |x|): a strip
// before the strip one step farther from the eye, and within a strip the
// cells in the order of the nodes.
TEST(SceneMeshShape, EveryCameraDrawsNearStripsFirst)
{
    const int nx = 31, ny = 21, cells = (nx - 1) * (ny - 1);
    std::vector<double> nodes(size_t(nx) * ny, 0.5);
    const NodeGrid grid{nx, ny, nodes.data()};
    const Mesh<SurfaceVertex> surface =
        written<SurfaceVertex>(surface_size(grid), [&](auto v, auto i) { return write_surface(v, i, grid); });
    ASSERT_EQ(surface.indices.size(), size_t(kSurfaceOrders) * 6 * cells);
    for (int azimuth = 0; azimuth < 360; azimuth += 15) {
        const CameraVectors eye = camera_vectors(CameraSetting{30, azimuth, 30});
        const int order = surface_order(eye.eye.x, eye.eye.y);
        SCOPED_TRACE(testing::Message() << "azimuth " << azimuth << ", order " << order);
        // Where each cell is drawn, found from its triangles' indices.
        std::vector<int> drawn_at(cells, -1);
        const uint16_t* run = surface.indices.data() + size_t(order) * 6 * cells;
        for (int at = 0; at < cells; ++at) {
            const uint16_t* t = run + 6 * at;
            const int k = t[0], i = k % nx, j = k / nx;
            ASSERT_TRUE(i < nx - 1 && j < ny - 1);
            ASSERT_EQ(std::vector<uint16_t>(t, t + 6),
                      (std::vector<uint16_t>{uint16_t(k), uint16_t(k + nx), uint16_t(k + 1), uint16_t(k + nx),
                                             uint16_t(k + nx + 1), uint16_t(k + 1)}));
            ASSERT_EQ(drawn_at[size_t(j * (nx - 1) + i)], -1) << "cell drawn twice";
            drawn_at[size_t(j * (nx - 1) + i)] = at;
        }
        const bool columns = std::fabs(eye.eye.x) > std::fabs(eye.eye.y);
        const int away = (columns ? eye.eye.x : eye.eye.y) > 0 ? -1 : 1;
        // One step to the next strip away from the eye, one along the strip.
        const int across_i = columns ? away : 0, across_j = columns ? 0 : away;
        const int along_i = columns ? 0 : 1, along_j = columns ? 1 : 0;
        auto at = [&](int i, int j) { return drawn_at[size_t(j * (nx - 1) + i)]; };
        auto inside = [&](int i, int j) { return i >= 0 && i < nx - 1 && j >= 0 && j < ny - 1; };
        for (int j = 0; j < ny - 1; ++j) {
            for (int i = 0; i < nx - 1; ++i) {
                if (inside(i + across_i, j + across_j)) {
                    ASSERT_LT(at(i, j), at(i + across_i, j + across_j)) << i << ", " << j;
                }
                if (inside(i + along_i, j + along_j)) {
                    ASSERT_EQ(at(i, j) + 1, at(i + along_i, j + along_j)) << i << ", " << j;
                }
            }
        }
    }
}

TEST(SceneShade, Levels)
{
    const std::pair<double, uint32_t> cases[] = {
        {0.0, 0xFF000000},  {-0.0, 0xFF000000}, {1e-300, 0xFF808080}, {0.25, 0xFFA0A0A0}, {0.5, 0xFFC0C0C0},
        {0.75, 0xFFDFDFDF}, {1.0, 0xFFFFFFFF},  {3.0, 0xFFFFFFFF},    {-5.0, 0xFF000000}, {std::nan(""), 0xFF000000}};
    for (const auto& [value, shade] : cases)
        EXPECT_EQ(node_shade(value), shade) << value;
}

// The grey map against 128 + 127 * level rounded half up, the level held
// to 0..1 and NaN taken as 0; unlike the shade, level 0 is not black.
TEST(SceneColourMap, GreyRunsFromHalfBrightnessToWhite)
{
    for (double level : {-1.0, 0.0, 1e-300, 0.25, 0.5, 0.75, 1.0, 2.0, std::nan("")}) {
        const double held = std::isnan(level) ? 0.0 : std::min(std::max(level, 0.0), 1.0);
        const uint32_t grey = static_cast<uint32_t>(std::lround(128 + 127 * held));
        EXPECT_EQ(colour_map_colour(ColourMap::grey, level), 0xFF000000u | grey << 16 | grey << 8 | grey) << level;
    }
}

TEST_F(SceneMesh, GridLinesOf201x201Field)
{
    const Mesh<LineVertex> mesh =
        written<LineVertex>(grid_lines_size(grid), [&](auto v, auto i) { return write_grid_lines(v, i, grid); });
    ASSERT_EQ(mesh.vertices.size(), 4422u);
    ASSERT_EQ(mesh.indices.size(), 8800u);
    const std::vector<SurfaceVertex> nodes = surface().vertices;
    // Rows 0, 20, ..., 200, then the same columns, on the nodes 0.01 above.
    for (int line = 0; line < 22; ++line) {
        for (int s = 0; s < 201; ++s) {
            const int i = line < 11 ? s : 20 * (line - 11), j = line < 11 ? 20 * line : s;
            const LineVertex& p = mesh.vertices[size_t(line) * 201 + s];
            ASSERT_TRUE(p.x == nodes[j * 201 + i].x && p.y == nodes[j * 201 + i].y) << line << " " << s;
            ASSERT_EQ(p.z, above(named(i, j))) << line << " " << s;
        }
    }
    const std::vector<uint16_t>& pairs = mesh.indices;
    EXPECT_EQ(pairs[398], 199);
    EXPECT_EQ(pairs[401], 202);
    EXPECT_EQ(pairs[8799], 4421);
    for (size_t k = 0; k < pairs.size(); k += 2) // neighbours on one line only
        ASSERT_TRUE(pairs[k + 1] == pairs[k] + 1 && pairs[k + 1] % 201 != 0) << k;
}

// The cross stands at the pair with the heights of the nearest row and
// column (halves up); a pair off 0..1 has no cross.
TEST_F(SceneMesh, MarkerCross)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        MarkerPair pair;
        int row, column; // -1: not drawn
    };
    const Case cases[] = {{{0.5, 0.5}, 100, 100},
                          {{0, 0}, 0, 0},
                          {{1, 1}, 200, 200},
                          {{0.25, 0.75}, 150, 50},
                          {{0.0625, 0.0625}, 13, 13},
                          {{0.0024, 0.9976}, 200, 0},
                          {{-0.001, 0.5}, -1, -1},
                          {{0.5, 1.0001}, -1, -1},
                          {{std::nan(""), 0.5}, -1, -1},
                          {{0.5, -inf}, -1, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pair.x << ", " << c.pair.y);
        const Mesh<MarkerVertex> mesh = written<MarkerVertex>(
            marker_size(grid, c.pair), [&](auto v, auto i) { return write_marker(v, i, grid, c.pair); });
        if (c.row < 0) {
            EXPECT_TRUE(mesh.vertices.empty() && mesh.indices.empty());
            continue;
        }
        ASSERT_EQ(mesh.vertices.size(), 402u);
        ASSERT_EQ(mesh.indices.size(), 800u);
        const std::vector<MarkerVertex>& v = mesh.vertices;
        for (int s = 0; s < 201; ++s) {
            ASSERT_EQ(v[s].y, static_cast<float>(c.pair.y - 0.5));
            ASSERT_EQ(v[s].z, above(named(s, c.row)));
            ASSERT_EQ(v[201 + s].x, static_cast<float>(c.pair.x - 0.5));
            ASSERT_EQ(v[201 + s].z, above(named(c.column, s)));
            ASSERT_EQ(v[s].color & v[201 + s].color, 0xFFFFFF00u);
        }
        const std::vector<uint16_t>& pairs = mesh.indices;
        EXPECT_TRUE(pairs[398] == 199 && pairs[399] == 200 && pairs[400] == 201 && pairs[799] == 401);
    }
}

// 31 nodes across and 21 down: rows and columns never trade places. Grid
// lines every 2nd row and every 3rd column; the cross at (0.25, 0.75) takes
// row 15 and column 7.5, rounded up to 8.
TEST(SceneMeshShape, RowsAndColumnsOfAWideGrid)
{
    std::vector<double> nodes(31 * 21);
    for (int j = 0; j < 21; ++j)
        for (int i = 0; i < 31; ++i)
            nodes[size_t(j) * 31 + i] = named(i, j);
    const NodeGrid grid{31, 21, nodes.data()};
    const Mesh<SurfaceVertex> surface =
        written<SurfaceVertex>(surface_size(grid), [&](auto v, auto i) { return write_surface(v, i, grid); });
    ASSERT_EQ(surface.vertices.size(), 651u);
    for (int k = 0; k < 651; ++k) {
        const int i = k % 31, j = k / 31;
        const SurfaceVertex& v = surface.vertices[size_t(k)];
        ASSERT_TRUE(std::fabs(v.x - (i / 30.0 - 0.5)) < 1e-7 && std::fabs(v.y - (j / 20.0 - 0.5)) < 1e-7) << k;
        ASSERT_TRUE(std::fabs(v.u - i / 30.0) < 1e-7 && std::fabs(v.v - (1 - j / 20.0)) < 1e-7) << k;
        ASSERT_EQ(v.z, static_cast<float>(-named(i, j))) << k;
    }
    EXPECT_EQ(std::vector<uint16_t>(surface.indices.begin() + 3600 - 6, surface.indices.begin() + 3600),
              (std::vector<uint16_t>{618, 649, 619, 649, 650, 619}));

    const Mesh<LineVertex> lines =
        written<LineVertex>(grid_lines_size(grid), [&](auto v, auto i) { return write_grid_lines(v, i, grid); });
    ASSERT_EQ(lines.vertices.size(), 11u * 31 + 11u * 21);
    for (size_t k = 0; k < lines.vertices.size(); ++k) {
        const bool row = k < 11 * 31;
        const int line = row ? int(k / 31) : int((k - 11 * 31) / 21), s = row ? int(k % 31) : int((k - 11 * 31) % 21);
        const int i = row ? s : 3 * line, j = row ? 2 * line : s;
        const LineVertex& p = lines.vertices[k];
        ASSERT_TRUE(std::fabs(p.x - (i / 30.0 - 0.5)) < 1e-7 && std::fabs(p.y - (j / 20.0 - 0.5)) < 1e-7) << k;
        ASSERT_EQ(p.z, above(named(i, j))) << k;
    }
    EXPECT_EQ(lines.indices.size(), 2u * (11 * 30 + 11 * 20));

    const MarkerPair pair{0.25, 0.75};
    const Mesh<MarkerVertex> cross =
        written<MarkerVertex>(marker_size(grid, pair), [&](auto v, auto i) { return write_marker(v, i, grid, pair); });
    ASSERT_EQ(cross.vertices.size(), 52u);
    for (int s = 0; s < 31; ++s)
        ASSERT_TRUE(cross.vertices[size_t(s)].y == 0.25f && cross.vertices[size_t(s)].z == above(named(s, 15))) << s;
    for (int s = 0; s < 21; ++s)
        ASSERT_TRUE(cross.vertices[size_t(31 + s)].x == -0.25f &&
                    cross.vertices[size_t(31 + s)].z == above(named(8, s)))
            << s;
    EXPECT_EQ(cross.indices.size(), 2u * (30 + 20));
}

// The largest pieces 16-bit indices reach, and one node more: the surface
// 65,536 nodes, the grid lines 11 x (nx + ny) vertices, the cross nx + ny.
// Nodes 11 apart still make 11 lines, one step each.
TEST(SceneMeshShape, PiecesUpToTheLastIndex)
{
    const double node = 0;
    struct Case {
        int nx, ny;
        size_t surface, grid, cross; // vertices; 0 when refused
    } cases[] = {
        {256, 256, 65536, 5632, 512}, {257, 256, 0, 5643, 513}, {2981, 2976, 0, 65527, 5957},
        {2981, 2977, 0, 0, 5958},     {65534, 2, 0, 0, 65536},  {65535, 2, 0, 0, 0},
        {11, 11, 121, 242, 22},       {12, 11, 132, 0, 23},     {10, 11, 110, 0, 21},
    };
    const MarkerPair middle{0.5, 0.5};
    for (const Case& c : cases) {
        const NodeGrid grid{c.nx, c.ny, &node};
        EXPECT_EQ(surface_size(grid).vertices, c.surface) << c.nx << " x " << c.ny;
        EXPECT_EQ(grid_lines_size(grid).vertices, c.grid) << c.nx << " x " << c.ny;
        EXPECT_EQ(marker_size(grid, middle).vertices, c.cross) << c.nx << " x " << c.ny;
    }
}

} // namespace

namespace {

// A mean's surface: each node's level from the least mean (0) to the
// greatest (1); a node no point reached lies on the floor in the map's
// no-data colour, and the grid lines and the cross pass over it at the
// floor too. The least mean on the grey map is the map's own lowest grey,
// not the black of an empty count.
TEST(SceneMeshShape, AMeansNodesWithoutAValueLieOnTheFloorInTheNoDataColour)
{
    constexpr int n = 11;
    const double none = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> levels(n * n, 0.5);
    levels[0] = 0.0, levels[1] = 1.0, levels[2] = none, levels[n * n - 1] = none;
    const NodeGrid grid{n, n, levels.data()};
    const MeshSize size = surface_size(grid);
    for (const ColourMap map : {ColourMap::grey, ColourMap::viridis, ColourMap::magma}) {
        std::vector<SurfaceVertex> vertices(size.vertices);
        std::vector<uint16_t> indices(size.indices);
        ASSERT_TRUE(write_surface(vertices, indices, grid, map, true));
        const struct {
            size_t node;
            float z;
            uint32_t colour;
        } cases[] = {{0, -0.0f, colour_map_colour(map, 0.0)},
                     {1, -1.0f, colour_map_colour(map, 1.0)},
                     {2, -0.0f, no_data_colour(map)},
                     {n * n - 1, -0.0f, no_data_colour(map)},
                     {5, -0.5f, colour_map_colour(map, 0.5)}};
        for (const auto& c : cases) {
            EXPECT_EQ(vertices[c.node].z, c.z) << c.node;
            EXPECT_EQ(vertices[c.node].color, c.colour) << c.node;
        }
        for (size_t k = 0; k < 3; ++k)
            EXPECT_NE(no_data_colour(map), colour_map_colour(map, k / 2.0)) << k;
    }
    EXPECT_EQ(no_data_colour(ColourMap::grey), 0xFF000000u);
    EXPECT_NE(colour_map_colour(ColourMap::grey, 0.0), 0xFF000000u);
    // Counts keep their black empty node.
    std::vector<SurfaceVertex> vertices(size.vertices);
    std::vector<uint16_t> indices(size.indices);
    ASSERT_TRUE(write_surface(vertices, indices, grid, ColourMap::grey));
    EXPECT_EQ(vertices[0].color, 0xFF000000u);
    const MeshSize line_size = grid_lines_size(grid);
    std::vector<LineVertex> lines(line_size.vertices);
    std::vector<uint16_t> line_indices(line_size.indices);
    ASSERT_TRUE(write_grid_lines(lines, line_indices, grid));
    for (const LineVertex& v : lines)
        EXPECT_TRUE(std::isfinite(v.z) && v.z <= -0.01f + 1e-6f && v.z >= -1.02f);
}

} // namespace
