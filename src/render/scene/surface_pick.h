// The point of the surface under a pixel: the cells are projected as the
// device projects them and the nearest one covering the pixel wins, as
// the depth test would have it. Plain data in, plain data out.
#pragma once

#include "render/scene/camera.h"
#include "render/scene/mesh.h"

// Where on the box a pixel falls: fractions of the range along x and y
// (0 at the minimum, 1 at the maximum).
struct SurfaceHit {
    bool found;
    double u, v;
};

// The surface of `heights` (drawn at z = -height) as seen through `view`
// and `projection` in a width x height back buffer, at the pixel centre
// (px, py); not found where no cell covers it.
SurfaceHit surface_point_at(const Matrix4& view, const Matrix4& projection, unsigned width, unsigned height,
                            const NodeGrid& heights, float px, float py);
