// Scan conversion of screen-space triangles, lines and points into the
// back buffer and the D16 depth buffer, with depth test, Gouraud colour,
// perspective-correct texture coordinates and the stage-0 colour blend.
//
// Pixel centres lie on integer screen coordinates, as on the platform. A
// triangle covers the pixels whose centre lies inside it; a centre on an
// edge belongs to the triangle only when that edge is a top edge (exactly
// horizontal, the triangle below it) or a left edge. Vertex positions are
// snapped to 1/256 pixel first, so shared edges are covered exactly once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/d3d9/pixel_shading.h"
#include "platform/d3d9/raster_target.h"

namespace pixel_loops {
struct TriangleSetup;
}
class DepthTiles;

// Draws the triangles of one call into the rows of `rows`. What is the same
// for every triangle of the call is worked out once: the pixel loop for its
// states (unless the texture level is chosen per triangle), and the values
// that loop reads for every pixel. Cull: 0 none, 1 drop clockwise triangles
// (D3DCULL_CW), -1 drop counter-clockwise ones (D3DCULL_CCW); orientation
// as seen on the screen.
class TriangleRaster {
public:
    TriangleRaster(const RasterTarget& target, const PixelShading& shading, RowRange rows, int cull);

    void draw(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2) const;

    // Tiles of the depth buffer's deepest values for this call, kept up to
    // date by the triangles drawn: a triangle's rows of tiles that lie in
    // front of it are skipped, and a triangle behind them all is dropped.
    void set_depth_tiles(DepthTiles* tiles) { tiles_ = tiles; }

    // Where a triangle draws, whatever the rows of this raster: its box
    // of pixels within the target, and twice its area in square subpixels
    // (the corners taken in clockwise order on screen, v1 and v2 swapped
    // when `flipped`). False when it draws nothing: no pixel centre's row
    // or column in the box, no area, or culled.
    struct TriangleBox {
        int min_x, min_y, max_x, max_y;
        int32_t lo_x, hi_x, lo_y, hi_y; // the corners' extent in subpixels
        int64_t area;
        bool flipped;
    };
    bool box(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2, TriangleBox* box) const;

    // The rows of the target holding pixel centres between a triangle's
    // highest and lowest corner, as box has them: every row it may draw in,
    // and no more, where box is true. False when there are none.
    bool rows(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2, int* min_y, int* max_y) const
    {
        const int32_t lo_y = std::min(v0.fy, std::min(v1.fy, v2.fy));
        const int32_t hi_y = std::max(v0.fy, std::max(v1.fy, v2.fy));
        *min_y = std::max((lo_y + kSubpixel - 1) >> kSubpixelBits, target_.y0);
        *max_y = std::min(hi_y >> kSubpixelBits, target_.y1 - 1);
        return *min_y <= *max_y;
    }

    const RasterTarget& target() const { return target_; }
    const PixelShading& shading() const { return shading_; }
    const LaneConstants& lanes() const { return lanes_; }

private:
    using Fill = void (*)(const TriangleRaster&, const pixel_loops::TriangleSetup&);

    const RasterTarget& target_;
    const PixelShading& shading_;
    RowRange rows_;
    int cull_;
    Fill fill_ = nullptr; // null: chosen for each triangle with its texture level
    DepthTiles* tiles_ = nullptr;
    // Whether the last triangle drew (the next, its neighbour in a mesh,
    // most likely lies in front too), how many tests of the tiles in a row
    // left the triangle to draw, and a count that picks the one small
    // triangle in eight tested still after them.
    mutable bool last_drew_ = false;
    mutable uint32_t tests_in_vain_ = 0, untested_ = 0;
    LaneConstants lanes_;
};

inline bool TriangleRaster::box(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2,
                                TriangleBox* box) const
{
    // The rows first: many triangles hold no pixel centre.
    const RasterTarget& target = target_;
    box->lo_y = std::min(v0.fy, std::min(v1.fy, v2.fy));
    box->hi_y = std::max(v0.fy, std::max(v1.fy, v2.fy));
    if (!rows(v0, v1, v2, &box->min_y, &box->max_y)) {
        return false;
    }
    box->lo_x = std::min(v0.fx, std::min(v1.fx, v2.fx));
    box->hi_x = std::max(v0.fx, std::max(v1.fx, v2.fx));
    box->min_x = std::max((box->lo_x + kSubpixel - 1) >> kSubpixelBits, target.x0);
    box->max_x = std::min(box->hi_x >> kSubpixelBits, target.x1 - 1);
    if (box->min_x > box->max_x) {
        return false;
    }
    const int64_t area =
        (int64_t(v1.fx) - v0.fx) * (int64_t(v2.fy) - v0.fy) - (int64_t(v2.fx) - v0.fx) * (int64_t(v1.fy) - v0.fy);
    // With y growing downwards a positive area is a clockwise turn on screen.
    if (area == 0 || (cull_ > 0 && area > 0) || (cull_ < 0 && area < 0)) {
        return false;
    }
    box->area = area > 0 ? area : -area;
    box->flipped = area < 0;
    return true;
}

// A line from v0 to v1: one pixel per column (per row when steeper than 45
// degrees), the pixels whose diamond the line leaves; the pixel of the end
// point only when `last_pixel`. Flat shading takes the colour of v0. With
// `tiles` (see TriangleRaster::set_depth_tiles), the rows behind them are
// skipped.
void raster_line(const RasterTarget& target, const PixelShading& shading, RowRange rows, bool last_pixel,
                 const RasterVertex& v0, const RasterVertex& v1, DepthTiles* tiles = nullptr);

// The pixel whose centre is nearest to the vertex.
void raster_point(const RasterTarget& target, const PixelShading& shading, RowRange rows, const RasterVertex& v);
