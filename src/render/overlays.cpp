// The two line overlays that follow the surface 0.01 above it: 11 x 11 grid
// lines, and the yellow marker cross with set_marker.
#include <cmath>
#include <cstdint>
#include <span>

#include "render/renderer_state.h"

namespace {

struct LineVertex {
    float x, y, z;
};
static_assert(sizeof(LineVertex) == 12);

struct MarkerVertex {
    float x, y, z;
    D3DCOLOR color;
};
static_assert(sizeof(MarkerVertex) == 16);

constexpr DWORD kLineFvf = D3DFVF_XYZ;
constexpr DWORD kMarkerFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
constexpr D3DCOLOR kMarkerColor = 0xFFFFFF00;
constexpr int kLinesPerDirection = 11;

float overlay_z(double h)
{
    return static_cast<float>(-h - 0.01);
}

// Lines at every step-th node, step = (n - 1) / 10: the buffers hold
// exactly 11 lines per direction, so other counts are not drawn.
bool eleven_lines(int n)
{
    const int step = (n - 1) / 10;
    return step >= 1 && (n - 1) / step + 1 == kLinesPerDirection;
}

bool grid_lines_fit(const NodeGrid& grid)
{
    return grid.nodes && eleven_lines(grid.nx) && eleven_lines(grid.ny) &&
           int64_t(kLinesPerDirection) * (int64_t(grid.nx) + grid.ny) <= 65536;
}

bool marker_fits(const NodeGrid& grid)
{
    return grid.nodes && grid.nx >= 2 && grid.ny >= 2 && int64_t(grid.nx) + grid.ny <= 65536;
}

// A fraction outside 0..1 (or not a number) would address a row or column
// off the grid; such a marker is not drawn.
bool on_grid(double fraction)
{
    return fraction >= 0.0 && fraction <= 1.0;
}

// The nearest row (column) to a fraction, halves rounded up.
int nearest_node(double fraction, int n)
{
    return static_cast<int>(std::floor((n - 1) * fraction + 0.5));
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
    const int row_step = (grid.ny - 1) / 10;
    for (int r = 0; r < grid.ny; r += row_step) {
        const float y = node_position(r, grid.ny);
        for (int i = 0; i < grid.nx; ++i)
            vertices[k++] = LineVertex{node_position(i, grid.nx), y, overlay_z(grid.at(i, r))};
    }
    const int column_step = (grid.nx - 1) / 10;
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

void build_grid_lines(DrawBatch* batch, IDirect3DDevice9* device, DensityField* field)
{
    empty_geometry(batch);
    const NodeGrid grid = read_grid(field);
    if (!grid_lines_fit(grid))
        return;
    int lengths[2 * kLinesPerDirection];
    for (int line = 0; line < kLinesPerDirection; ++line) {
        lengths[line] = grid.nx;
        lengths[kLinesPerDirection + line] = grid.ny;
    }
    const size_t vertices = size_t(kLinesPerDirection) * (grid.nx + grid.ny);
    fill_batch<LineVertex>(
        batch, device, kLineFvf, D3DPT_LINELIST, 2, vertices, 2 * (vertices - 2 * kLinesPerDirection),
        [&](std::span<LineVertex> out) { write_grid_vertices(out, grid); },
        [&](std::span<uint16_t> out) { write_line_pairs(out, lengths); });
}

void build_marker(DrawBatch* batch, IDirect3DDevice9* device, DensityField* field, const MarkerPair* pair)
{
    empty_geometry(batch);
    const NodeGrid grid = read_grid(field);
    if (!marker_fits(grid) || !on_grid(pair->x) || !on_grid(pair->y))
        return;
    const int lengths[2] = {grid.nx, grid.ny};
    const size_t vertices = size_t(grid.nx) + grid.ny;
    fill_batch<MarkerVertex>(
        batch, device, kMarkerFvf, D3DPT_LINELIST, 2, vertices, 2 * (vertices - 2),
        [&](std::span<MarkerVertex> out) { write_marker_vertices(out, grid, *pair); },
        [&](std::span<uint16_t> out) { write_line_pairs(out, lengths); });
}

void set_marker(Renderer* renderer, const MarkerPair* pair)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return;
    if (!pair) {
        s->marker_on = 0;
        s->marker_pos = MarkerPair{0.0, 0.0};
        release_batch(&s->marker_batch);
        return;
    }
    s->marker_on = 1;
    s->marker_pos = *pair;
    if (s->field)
        build_marker(&s->marker_batch, s->device, s->field, &s->marker_pos);
}
