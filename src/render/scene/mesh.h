// The scene's geometry as plain data: the vertex layouts, a field's node
// grid, and the writers that fill vertex and index spans for the shaded
// surface, the 11 x 11 grid lines and the marker cross. No device here:
// the renderer uploads these spans, a benchmark or another backend can
// draw them as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "render/scene/picture_options.h"

// Grid lines in each direction, at every (n - 1) / (kGridLines - 1)-th
// node; the axis values stand at them too.
inline constexpr int kGridLines = 11;

// Colours are 0xAARRGGBB.
struct SurfaceVertex {
    float x, y, z;
    uint32_t color;
    float u, v;
};
struct LineVertex {
    float x, y, z;
};
struct MarkerVertex {
    float x, y, z;
    uint32_t color;
};
static_assert(sizeof(SurfaceVertex) == 24 && sizeof(LineVertex) == 12 && sizeof(MarkerVertex) == 16);

// The marker's x and y as fractions of the field's range (0 at the minimum,
// 1 at the maximum).
struct MarkerPair {
    double x;
    double y;
};

// A field's nodes: node (i, j) at j * nx + i. Null nodes when there are none.
struct NodeGrid {
    int nx, ny;
    const double* nodes;
    double at(int i, int j) const { return nodes[size_t(j) * size_t(nx) + size_t(i)]; }
};

// How many vertices and 16-bit indices a piece needs; both 0 when the
// piece cannot be built from the grid (or, for the cross, the pair).
// A piece may hold several orders of the same primitives one after the
// other (`orders` runs of indices / orders each); one is drawn per frame.
struct MeshSize {
    size_t vertices, indices;
    size_t orders = 1;
};

// The height a node is drawn at: a node without a value (NaN, a mean no
// point reached) lies on the floor.
inline double drawn_height(double node) { return node != node ? 0.0 : node; }

// The scene position of node column i of n (row j of n): i / (n - 1) - 0.5,
// rounded to float after the division and after the subtraction.
float node_fraction(int i, int n);
float node_position(int i, int n);

// The surface's grey level of a node value: black for exactly 0, otherwise
// 128 plus value x 127, rounded half up and held to 0..255.
uint32_t node_shade(double value);
// A node's colour under a map: grey is the shade above; another map gives
// its colour for the value, its lowest colour at 0. With `levels` every
// value is a level of the map (a mean's least is no empty node), grey
// included. A node without a value takes the map's no-data colour.
uint32_t node_colour(ColourMap map, double value, bool levels = false);

// The surface: one vertex per node, shaded by height and carrying the
// texture coordinates, a triangle list of two triangles per cell, in
// kSurfaceOrders orders of its cells, by strips: rows, or columns when the
// eye is farther out in x than in y. The strips run away from the side the
// eye is on, so the near cells are drawn first and the hidden ones fail the
// depth test instead of being shaded and painted over. Each strip runs the
// way its nodes are stored: its cells lie at about one distance from the
// eye, and walking the nodes backwards cost up to a third more time a
// frame (the hill at 1024x768, every 15 degrees of azimuth) for the same
// pixels shaded.
inline constexpr int kSurfaceOrders = 4;
MeshSize surface_size(const NodeGrid& grid);
// The order for an eye at scene x and y: 2 for columns, when |x| > |y|,
// plus 1 when the eye is on the high side across the strips (y > 0 for
// rows, x > 0 for columns). Order 0 is the order of the nodes.
// The orders draw the same picture but where two triangles meet at equal
// depth in the depth buffer: there the one later in the order wins (the
// depth test is kDepthTest in render/device_scene.h).
int surface_order(float eye_x, float eye_y);
// The overlays follow the surface 0.01 above it: 11 rows then 11 columns
// of grid lines, and the yellow cross, both as line lists.
MeshSize grid_lines_size(const NodeGrid& grid);
MeshSize marker_size(const NodeGrid& grid, const MarkerPair& pair);

// Each writer fills spans of exactly the sizes above. It writes nothing and
// returns false when the piece cannot be built or a span has another size.
bool write_surface(std::span<SurfaceVertex> vertices, std::span<uint16_t> indices, const NodeGrid& grid,
                   ColourMap map = ColourMap::grey, bool levels = false);
bool write_grid_lines(std::span<LineVertex> vertices, std::span<uint16_t> indices, const NodeGrid& grid);
bool write_marker(std::span<MarkerVertex> vertices, std::span<uint16_t> indices, const NodeGrid& grid,
                  const MarkerPair& pair);
