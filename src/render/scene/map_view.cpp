#include "render/scene/map_view.h"

namespace {

// The eye's height above the floor and the depths kept, in scene units:
// heights reach 1 above the floor, the overlays a little more.
constexpr float kEyeHeight = 3.0f;
constexpr float kNearDepth = 0.5f;
constexpr float kFarDepth = 5.5f;

} // namespace

CameraVectors map_camera()
{
    return CameraVectors{Float3{0.0f, 0.0f, -kEyeHeight}, Float3{0.0f, 0.0f, 0.0f}, Float3{0.0f, 1.0f, 0.0f}};
}

// Pixel centres lie on whole numbers, so the box's edges go half a pixel
// outside the centres of the square's outer pixels: x = -0.5 at x0 - 0.5,
// y = 0.5 (up) at y0 - 0.5, one scene unit to the square's side.
Matrix4 map_projection(unsigned width, unsigned height, int x0, int y0, int side)
{
    return map_projection(width, height, x0, y0, side, side);
}

Matrix4 map_projection(unsigned width, unsigned height, int x0, int y0, int side_x, int side_y)
{
    const float pixels_x = float(side_x), pixels_y = float(side_y);
    const float left = -0.5f - (float(x0) - 0.5f) / pixels_x;
    const float top = 0.5f + (float(y0) - 0.5f) / pixels_y;
    return build_orthographic_matrix(left, left + float(width) / pixels_x, top - float(height) / pixels_y, top,
                                     kNearDepth, kFarDepth);
}
