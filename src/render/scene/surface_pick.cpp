#include "render/scene/surface_pick.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A node in the back buffer: its pixel, its depth and 1/w, which are
// linear across a triangle on screen.
struct ScreenNode {
    float x, y, depth, inverse_w;
    bool placed;
};

std::vector<ScreenNode> project_nodes(const Matrix4& view, const Matrix4& projection, unsigned width, unsigned height,
                                      const NodeGrid& grid)
{
    Matrix4 t{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k)
                t.m[r][c] += view.m[r][k] * projection.m[k][c];
    std::vector<ScreenNode> nodes(size_t(grid.nx) * size_t(grid.ny));
    const float half_width = float(width) * 0.5f, half_height = float(height) * 0.5f;
    for (int j = 0; j < grid.ny; ++j) {
        const float y = node_position(j, grid.ny);
        for (int i = 0; i < grid.nx; ++i) {
            const float x = node_position(i, grid.nx), z = float(-drawn_height(grid.at(i, j)));
            const float clip_x = x * t.m[0][0] + y * t.m[1][0] + z * t.m[2][0] + t.m[3][0];
            const float clip_y = x * t.m[0][1] + y * t.m[1][1] + z * t.m[2][1] + t.m[3][1];
            const float clip_z = x * t.m[0][2] + y * t.m[1][2] + z * t.m[2][2] + t.m[3][2];
            const float clip_w = x * t.m[0][3] + y * t.m[1][3] + z * t.m[2][3] + t.m[3][3];
            ScreenNode& n = nodes[size_t(j) * size_t(grid.nx) + size_t(i)];
            n.placed = clip_w > 0.0f && std::isfinite(clip_w);
            const float inverse_w = n.placed ? 1.0f / clip_w : 0.0f;
            n = {(1.0f + clip_x * inverse_w) * half_width, (1.0f - clip_y * inverse_w) * half_height,
                 clip_z * inverse_w, inverse_w, n.placed};
        }
    }
    return nodes;
}

struct Corner {
    const ScreenNode* node;
    double u, v;
};

// The triangle's cover of (px, py): its depth there and the box's point,
// interpolated with perspective; false when it does not cover it.
bool cover(const Corner (&c)[3], float px, float py, double* depth, SurfaceHit* hit)
{
    const ScreenNode &a = *c[0].node, &b = *c[1].node, &d = *c[2].node;
    if (!a.placed || !b.placed || !d.placed)
        return false;
    const double area = double(b.x - a.x) * (d.y - a.y) - double(b.y - a.y) * (d.x - a.x);
    if (area == 0.0)
        return false;
    const double w0 = (double(b.x - px) * (d.y - py) - double(b.y - py) * (d.x - px)) / area;
    const double w1 = (double(d.x - px) * (a.y - py) - double(d.y - py) * (a.x - px)) / area;
    const double w2 = 1.0 - w0 - w1;
    constexpr double kEdge = -1e-9; // a pixel on a shared edge belongs to both
    if (w0 < kEdge || w1 < kEdge || w2 < kEdge)
        return false;
    *depth = w0 * a.depth + w1 * b.depth + w2 * d.depth;
    const double q0 = w0 * a.inverse_w, q1 = w1 * b.inverse_w, q2 = w2 * d.inverse_w, q = q0 + q1 + q2;
    if (!(q > 0.0))
        return false;
    *hit = {true, (q0 * c[0].u + q1 * c[1].u + q2 * c[2].u) / q, (q0 * c[0].v + q1 * c[1].v + q2 * c[2].v) / q};
    return true;
}

} // namespace

SurfaceHit surface_point_at(const Matrix4& view, const Matrix4& projection, unsigned width, unsigned height,
                            const NodeGrid& heights, float px, float py)
{
    SurfaceHit best{false, 0.0, 0.0};
    if (!heights.nodes || heights.nx < 2 || heights.ny < 2 || width == 0 || height == 0)
        return best;
    const std::vector<ScreenNode> nodes = project_nodes(view, projection, width, height, heights);
    const int nx = heights.nx;
    double nearest = INFINITY;
    for (int j = 0; j + 1 < heights.ny; ++j) {
        for (int i = 0; i + 1 < nx; ++i) {
            const size_t k = size_t(j) * size_t(nx) + size_t(i);
            const ScreenNode* cell[4] = {&nodes[k], &nodes[k + 1], &nodes[k + nx], &nodes[k + nx + 1]};
            float low_x = INFINITY, high_x = -INFINITY, low_y = INFINITY, high_y = -INFINITY;
            for (const ScreenNode* n : cell) {
                low_x = std::min(low_x, n->x), high_x = std::max(high_x, n->x);
                low_y = std::min(low_y, n->y), high_y = std::max(high_y, n->y);
            }
            if (px < low_x || px > high_x || py < low_y || py > high_y)
                continue;
            const double u0 = node_fraction(i, nx), u1 = node_fraction(i + 1, nx);
            const double v0 = node_fraction(j, heights.ny), v1 = node_fraction(j + 1, heights.ny);
            // The cell's two triangles as the surface is wound.
            const Corner triangles[2][3] = {{{cell[0], u0, v0}, {cell[2], u0, v1}, {cell[1], u1, v0}},
                                            {{cell[2], u0, v1}, {cell[3], u1, v1}, {cell[1], u1, v0}}};
            for (const auto& triangle : triangles) {
                double depth;
                SurfaceHit hit;
                if (cover(triangle, px, py, &depth, &hit) && depth >= 0.0 && depth <= 1.0 && depth < nearest) {
                    nearest = depth;
                    best = hit;
                }
            }
        }
    }
    return best;
}
