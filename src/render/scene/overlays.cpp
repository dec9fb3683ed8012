// The two line overlays that follow the surface 0.01 above it: 11 x 11 grid
// lines, and the yellow marker cross.
#include <cmath>

#include "render/scene/mesh.h"

namespace {

constexpr uint32_t kMarkerColor = 0xFFFFFF00;

float overlay_z(double h) { return static_cast<float>(-drawn_height(h) - 0.01); }

// Lines at every step-th node: the buffers hold exactly kGridLines lines
// per direction, so other counts are not drawn.
bool eleven_lines(int n)
{
    const int step = (n - 1) / (kGridLines - 1);
    return step >= 1 && (n - 1) / step + 1 == kGridLines;
}

bool grid_lines_fit(const NodeGrid& grid)
{
    return grid.nodes && eleven_lines(grid.nx) && eleven_lines(grid.ny) &&
        int64_t(kGridLines) * (int64_t(grid.nx) + grid.ny) <= 65536;
}

bool marker_fits(const NodeGrid& grid)
{
    return grid.nodes && grid.nx >= 2 && grid.ny >= 2 && int64_t(grid.nx) + grid.ny <= 65536;
}

// A fraction outside 0..1 (or not a number) would address a row or column
// off the grid; such a marker is not drawn.
bool on_grid(double fraction) { return fraction >= 0.0 && fraction <= 1.0; }

// The nearest row (column) to a fraction, halves rounded up.
int nearest_node(double fraction, int n) { return static_cast<int>(std::floor((n - 1) * fraction + 0.5)); }

// A line list over lines whose vertices lie one after another: a line of
// n vertices has n - 1 segments of two indices.
MeshSize line_list_size(size_t vertices, size_t lines) { return MeshSize{vertices, 2 * (vertices - lines)}; }

bool sizes_match(MeshSize size, size_t vertices, size_t indices)
{
    return size.vertices != 0 && vertices == size.vertices && indices == size.indices;
}

// Pairs (n, n + 1) joining the consecutive vertices of each line, the
// lines' vertices lying one after another; no pair joins two lines.
void write_line_pairs(std::span<uint16_t> indices, std::span<const int> line_lengths)
{
    size_t at = 0;
    int first = 0;
    for (int length : line_lengths) {
        for (int n = first; n < first + length - 1; ++n) {
            indices[at++] = uint16_t(n);
            indices[at++] = uint16_t(n + 1);
        }
        first += length;
    }
}

void write_grid_vertices(std::span<LineVertex> vertices, const NodeGrid& grid)
{
    size_t k = 0;
    const int row_step = (grid.ny - 1) / (kGridLines - 1);
    for (int r = 0; r < grid.ny; r += row_step) {
        const float y = node_position(r, grid.ny);
        for (int i = 0; i < grid.nx; ++i)
            vertices[k++] = LineVertex{node_position(i, grid.nx), y, overlay_z(grid.at(i, r))};
    }
    const int column_step = (grid.nx - 1) / (kGridLines - 1);
    for (int c = 0; c < grid.nx; c += column_step) {
        const float x = node_position(c, grid.nx);
        for (int j = 0; j < grid.ny; ++j)
            vertices[k++] = LineVertex{x, node_position(j, grid.ny), overlay_z(grid.at(c, j))};
    }
}

void write_marker_vertices(std::span<MarkerVertex> vertices, const NodeGrid& grid, const MarkerPair& pair)
{
    size_t k = 0;
    // Placed exactly at the marker; the heights are the nearest row's and column's.
    const int row = nearest_node(pair.y, grid.ny);
    const float y = static_cast<float>(pair.y - 0.5);
    for (int i = 0; i < grid.nx; ++i)
        vertices[k++] = MarkerVertex{node_position(i, grid.nx), y, overlay_z(grid.at(i, row)), kMarkerColor};
    const int column = nearest_node(pair.x, grid.nx);
    const float x = static_cast<float>(pair.x - 0.5);
    for (int j = 0; j < grid.ny; ++j)
        vertices[k++] = MarkerVertex{x, node_position(j, grid.ny), overlay_z(grid.at(column, j)), kMarkerColor};
}

} // namespace

MeshSize grid_lines_size(const NodeGrid& grid)
{
    if (!grid_lines_fit(grid))
        return MeshSize{0, 0};
    return line_list_size(size_t(kGridLines) * (size_t(grid.nx) + size_t(grid.ny)), 2 * kGridLines);
}

MeshSize marker_size(const NodeGrid& grid, const MarkerPair& pair)
{
    if (!marker_fits(grid) || !on_grid(pair.x) || !on_grid(pair.y))
        return MeshSize{0, 0};
    return line_list_size(size_t(grid.nx) + size_t(grid.ny), 2);
}

bool write_grid_lines(std::span<LineVertex> vertices, std::span<uint16_t> indices, const NodeGrid& grid)
{
    if (!sizes_match(grid_lines_size(grid), vertices.size(), indices.size()))
        return false;
    int lengths[2 * kGridLines];
    for (int line = 0; line < kGridLines; ++line) {
        lengths[line] = grid.nx;
        lengths[kGridLines + line] = grid.ny;
    }
    write_grid_vertices(vertices, grid);
    write_line_pairs(indices, lengths);
    return true;
}

bool write_marker(std::span<MarkerVertex> vertices, std::span<uint16_t> indices, const NodeGrid& grid,
                  const MarkerPair& pair)
{
    if (!sizes_match(marker_size(grid, pair), vertices.size(), indices.size()))
        return false;
    const int lengths[2] = {grid.nx, grid.ny};
    write_marker_vertices(vertices, grid, pair);
    write_line_pairs(indices, lengths);
    return true;
}
