// The fitted distance: the smallest whole distance step that frames the
// box. The setting stays the integer the panel, the keys and the settings
// file hold; a step moves the eye by 0.04 of the box's width, 1% to 4% of
// the box's size in the picture, so the smallest fitting step wastes little.
// The projection is moved, not the camera, so that the box stands in the
// middle of the frame and not of the picture.
#include "render/text/camera_fit.h"

#include <algorithm>

#include "render/text/overlay_measures.h"

namespace {

// How far out of the floor's edges the values and names stand (in scene
// units: the ticks, the values beyond them and the names' first places).
constexpr float kLabelReach = 0.05f;
constexpr float kRing = 0.5f + kLabelReach;

// The box's eight corners.
constexpr Float3 kCorners[] = {{-0.5f, -0.5f, 0.0f},  {-0.5f, 0.5f, 0.0f},  {0.5f, -0.5f, 0.0f},  {0.5f, 0.5f, 0.0f},
                               {-0.5f, -0.5f, -1.0f}, {-0.5f, 0.5f, -1.0f}, {0.5f, -0.5f, -1.0f}, {0.5f, 0.5f, -1.0f}};
// Where the labels stand round the floor, on the two edges nearest the eye
// (as the overlay places them), for an eye on the +x, +y side: the ends of
// those edges moved out, with room for a value round them, and their
// middles, with room for a value and the axis's name beyond it.
struct LabelPoint {
    Float3 at;
    float lines; // the room round it, in text sizes
};
constexpr LabelPoint kLabelPoints[] = {{{kRing, kRing, 0.0f}, 1.5f},
                                       {{kRing, -kRing, 0.0f}, 1.5f},
                                       {{-kRing, kRing, 0.0f}, 1.5f},
                                       {{kRing, 0.0f, 0.0f}, 3.0f},
                                       {{0.0f, kRing, 0.0f}, 3.0f}};

// What the box and its labels take of the picture: the corners' extent
// widened by the ring's, a text's half height and more further out.
struct Extent {
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    bool placed = true; // every point in front of the near plane
};

Extent box_extent(const CameraVectors& camera, const Matrix4& projection, unsigned width, unsigned height)
{
    const Matrix4 view = build_view_matrix(camera.eye, camera.at, camera.up);
    const float x_side = camera.eye.x > 0 ? 1.0f : -1.0f, y_side = camera.eye.y > 0 ? 1.0f : -1.0f;
    const float side = float(overlay_pixel_size(height));
    Extent e;
    auto take = [&](const Float3& q, float margin) {
        // In front of the near plane: the view's third column is the depth.
        const float depth = q.x * view.m[0][2] + q.y * view.m[1][2] + q.z * view.m[2][2] + view.m[3][2];
        const PixelPoint p = project_point(view, projection, width, height, q.x, q.y, q.z);
        if (!(depth > kNearPlane) || !p.placed) {
            e.placed = false;
            return;
        }
        e.x0 = std::min(e.x0, p.x - margin), e.x1 = std::max(e.x1, p.x + margin);
        e.y0 = std::min(e.y0, p.y - margin), e.y1 = std::max(e.y1, p.y + margin);
    };
    for (const Float3& q : kCorners)
        take(q, 0.0f);
    for (const LabelPoint& q : kLabelPoints)
        take(Float3{q.at.x * x_side, q.at.y * y_side, q.at.z}, q.lines * side);
    return e;
}

// The projection followed by a move of (dx, dy) pixels: a point's clip x
// and y grow by w times the move in normalised units.
Matrix4 moved(Matrix4 projection, float dx, float dy, unsigned width, unsigned height)
{
    const float nx = 2.0f * dx / float(width), ny = -2.0f * dy / float(height);
    for (auto& row : projection.m) {
        row[0] += row[3] * nx;
        row[1] += row[3] * ny;
    }
    return projection;
}

} // namespace

PlotFrame plot_frame(unsigned width, unsigned height)
{
    const int side = overlay_pixel_size(height);
    const BarBox bar = scale_bar_box(width, height);
    // The scale's values, up to six digits, stand left of the bar; the
    // status line's band is a line and two margins high.
    const float right = float(bar.x0) - 4.0f * float(side);
    const float bottom = float(height) - float(status_band_height(height));
    return PlotFrame{float(side) / 2, float(side) / 2, std::max(right, float(width) / 2),
                     std::max(bottom, float(height) / 2)};
}

Matrix4 framed_projection(const CameraVectors& camera, unsigned width, unsigned height)
{
    const Matrix4 projection = build_scene_projection(width, height);
    if (width == 0 || height == 0)
        return projection;
    const PlotFrame frame = plot_frame(width, height);
    const Extent e = box_extent(camera, projection, width, height);
    // An eye inside the box has no extent: the picture's middle stands for it.
    const float x = e.placed ? (e.x0 + e.x1) / 2 : float(width) / 2,
                y = e.placed ? (e.y0 + e.y1) / 2 : float(height) / 2;
    return moved(projection, (frame.x0 + frame.x1) / 2 - x, (frame.y0 + frame.y1) / 2 - y, width, height);
}

int32_t fitted_camera_radius(int32_t azimuth, int32_t elevation, unsigned width, unsigned height)
{
    const PlotFrame frame = plot_frame(width, height);
    for (int32_t radius = 0; radius < kFarthestRadius; ++radius) {
        const CameraVectors v = camera_vectors(CameraSetting{radius, azimuth, elevation});
        const Extent e = box_extent(v, framed_projection(v, width, height), width, height);
        if (e.placed && e.x0 >= frame.x0 && e.x1 <= frame.x1 && e.y0 >= frame.y0 && e.y1 <= frame.y1)
            return radius;
    }
    return kFarthestRadius;
}
