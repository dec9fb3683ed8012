// set_field and the surface mesh: one vertex per node, shaded grey by
// height and carrying the texture coordinates, two triangles per cell.
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "render/renderer_state.h"

namespace {

struct SurfaceVertex {
    float x, y, z;
    D3DCOLOR shade;
    float u, v;
};
static_assert(sizeof(SurfaceVertex) == 24);

// Position, colour and texture coordinates. The code's texture count says
// two sets while each vertex carries one; stage 0 reads only set 0, and
// the stream is stepped by the 24 bytes a vertex really has.
constexpr DWORD kSurfaceFvf = 0x242;

// Every vertex must be reachable through a 16-bit index, and the positions
// divide by nx - 1 and ny - 1.
bool surface_fits(const NodeGrid& grid)
{
    return grid.nodes && grid.nx >= 2 && grid.ny >= 2 && int64_t(grid.nx) * grid.ny <= 65536;
}

void write_vertices(std::span<SurfaceVertex> vertices, const NodeGrid& grid)
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
            vertices[k] = SurfaceVertex{column_x[i], y, static_cast<float>(-h), node_shade(h), column_u[i], v};
        }
    }
}

void write_indices(std::span<uint16_t> indices, int nx, int ny)
{
    size_t at = 0;
    for (int r = 0; r < ny - 1; ++r) {
        for (int i = 0; i < nx - 1; ++i) {
            const int k = r * nx + i;
            const uint16_t cell[6] = {uint16_t(k), uint16_t(k + nx), uint16_t(k + 1),
                                      uint16_t(k + nx), uint16_t(k + nx + 1), uint16_t(k + 1)};
            for (uint16_t index : cell)
                indices[at++] = index;
        }
    }
}

} // namespace

NodeGrid read_grid(DensityField* field)
{
    NodeGrid grid;
    grid.nx = field->ops.width(field);
    grid.ny = field->ops.height(field);
    grid.nodes = field->ops.data(field);
    return grid;
}

float node_fraction(int i, int n)
{
    return static_cast<float>(i) / static_cast<float>(n - 1);
}

float node_position(int i, int n)
{
    return node_fraction(i, n) - 0.5f;
}

D3DCOLOR node_shade(double value)
{
    if (value == 0.0)
        return 0xFF000000;
    // Held to 0..255 before the conversion, so no value can overflow it.
    const double level = std::floor(value * 127 + 128.5);
    const D3DCOLOR grey = level >= 255.0 ? 255 : level >= 0.0 ? static_cast<D3DCOLOR>(level) : 0;
    return 0xFF000000 + grey * 0x10000 + grey * 0x100 + grey;
}

void build_surface(DrawBatch* batch, IDirect3DDevice9* device, DensityField* field)
{
    empty_geometry(batch);
    const NodeGrid grid = read_grid(field);
    if (!surface_fits(grid))
        return;
    const size_t vertex_count = size_t(grid.nx) * size_t(grid.ny);
    const size_t index_count = 6 * size_t(grid.nx - 1) * size_t(grid.ny - 1);
    fill_batch<SurfaceVertex>(
        batch, device, kSurfaceFvf, D3DPT_TRIANGLELIST, 3, vertex_count, index_count,
        [&](std::span<SurfaceVertex> out) { write_vertices(out, grid); },
        [&](std::span<uint16_t> out) { write_indices(out, grid.nx, grid.ny); });
}

void set_field(Renderer* renderer, DensityField* field)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return;
    s->field = field;
    if (!field) {
        // The field is gone: nothing may be built from it again. The
        // surface keeps its texture for the next field.
        empty_geometry(&s->surface_batch);
        empty_geometry(&s->grid_batch);
        empty_geometry(&s->marker_batch);
        return;
    }
    build_surface(&s->surface_batch, s->device, field);
    // The overlays are built even when the surface could not be.
    build_grid_lines(&s->grid_batch, s->device, field);
    if (s->marker_on)
        build_marker(&s->marker_batch, s->device, field, &s->marker_pos);
}
