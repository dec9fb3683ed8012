// The surface mesh: node positions, the shade of a height, and one
// vertex per node with two triangles per cell.
#include <algorithm>
#include <cmath>
#include <vector>

#include "render/scene/colour_maps.h"
#include "render/scene/mesh.h"

namespace {

// Every vertex must be reachable through a 16-bit index, and the positions
// divide by nx - 1 and ny - 1.
bool surface_fits(const NodeGrid& grid)
{
    return grid.nodes && grid.nx >= 2 && grid.ny >= 2 && int64_t(grid.nx) * grid.ny <= 65536;
}

void write_vertices(std::span<SurfaceVertex> vertices, const NodeGrid& grid, ColourMap map, bool levels)
{
    std::vector<float> column_x(grid.nx), column_u(grid.nx);
    for (int i = 0; i < grid.nx; ++i) {
        column_u[i] = node_fraction(i, grid.nx);
        column_x[i] = node_position(i, grid.nx);
    }
    size_t k = 0;
    for (int j = 0; j < grid.ny; ++j) {
        const float y = node_position(j, grid.ny);
        const float v = 1.0f - node_fraction(j, grid.ny);
        for (int i = 0; i < grid.nx; ++i, ++k) {
            const double h = grid.nodes[k];
            vertices[k] = SurfaceVertex{
                column_x[i], y, static_cast<float>(-drawn_height(h)), node_colour(map, h, levels), column_u[i], v};
        }
    }
}

// The cells in strips, rows or columns, the strips from the side that
// order `order` starts at; each strip in the order its nodes are stored,
// each cell's two triangles as they have always been wound.
void write_indices(std::span<uint16_t> indices, int nx, int ny, int order)
{
    const bool from_high_side = order & 1, by_columns = order & 2;
    const int cells_x = nx - 1, cells_y = ny - 1;
    const int strips = by_columns ? cells_x : cells_y, strip_length = by_columns ? cells_y : cells_x;
    size_t at = 0;
    for (int strip = 0; strip < strips; ++strip) {
        const int s = from_high_side ? strips - 1 - strip : strip;
        for (int step = 0; step < strip_length; ++step) {
            const int i = by_columns ? s : step, r = by_columns ? step : s;
            const int k = r * nx + i;
            const uint16_t cell[6] = {uint16_t(k),      uint16_t(k + nx),     uint16_t(k + 1),
                                      uint16_t(k + nx), uint16_t(k + nx + 1), uint16_t(k + 1)};
            for (uint16_t index : cell)
                indices[at++] = index;
        }
    }
}

} // namespace

float node_fraction(int i, int n) { return static_cast<float>(i) / static_cast<float>(n - 1); }

float node_position(int i, int n) { return node_fraction(i, n) - 0.5f; }

uint32_t node_shade(double value) { return value == 0.0 ? 0xFF000000 : grey_colour(value); }

uint32_t node_colour(ColourMap map, double value, bool levels)
{
    if (std::isnan(value))
        return no_data_colour(map);
    return map == ColourMap::grey && !levels ? node_shade(value) : colour_map_colour(map, value);
}

MeshSize surface_size(const NodeGrid& grid)
{
    if (!surface_fits(grid))
        return MeshSize{0, 0};
    return MeshSize{size_t(grid.nx) * size_t(grid.ny), kSurfaceOrders * 6 * size_t(grid.nx - 1) * size_t(grid.ny - 1),
                    kSurfaceOrders};
}

bool write_surface(std::span<SurfaceVertex> vertices, std::span<uint16_t> indices, const NodeGrid& grid, ColourMap map,
                   bool levels)
{
    const MeshSize size = surface_size(grid);
    if (size.vertices == 0 || vertices.size() != size.vertices || indices.size() != size.indices)
        return false;
    write_vertices(vertices, grid, map, levels);
    const size_t per_order = size.indices / kSurfaceOrders;
    for (int order = 0; order < kSurfaceOrders; ++order)
        write_indices(indices.subspan(size_t(order) * per_order, per_order), grid.nx, grid.ny, order);
    return true;
}

int surface_order(float eye_x, float eye_y)
{
    const bool by_columns = std::fabs(eye_x) > std::fabs(eye_y);
    return ((by_columns ? eye_x : eye_y) > 0 ? 1 : 0) + (by_columns ? 2 : 0);
}
