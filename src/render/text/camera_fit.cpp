// The fitted distance: the smallest whole distance step that frames the
// box. The setting stays the integer the panel, the keys and the settings
// file hold; a step moves the eye by 0.04 of the box's width, 1% to 4% of
// the box's size in the picture, so the smallest fitting step wastes little.
#include "render/text/camera_fit.h"

#include <algorithm>

#include "render/text/picture_overlay.h"

namespace {

// How far out of the floor's edges the values and names stand (in scene
// units: the ticks, the values beyond them and the names' first places).
constexpr float kLabelReach = 0.05f;

bool frames_the_box(const CameraSetting& camera, unsigned width, unsigned height, const PlotFrame& frame, float pad)
{
    const CameraVectors v = camera_vectors(camera);
    const Matrix4 view = build_view_matrix(v.eye, v.at, v.up);
    const Matrix4 projection = build_scene_projection(width, height);
    auto inside = [&](float x, float y, float z, float margin) {
        // In front of the near plane: the view's third column is the depth.
        const float depth = x * view.m[0][2] + y * view.m[1][2] + z * view.m[2][2] + view.m[3][2];
        if (!(depth > kNearPlane))
            return false;
        const PixelPoint p = project_point(view, projection, width, height, x, y, z);
        return p.placed && p.x >= frame.x0 + margin && p.x <= frame.x1 - margin && p.y >= frame.y0 + margin &&
            p.y <= frame.y1 - margin;
    };
    for (float x : {-0.5f, 0.5f})
        for (float y : {-0.5f, 0.5f}) {
            if (!inside(x, y, 0.0f, 0.0f) || !inside(x, y, -1.0f, 0.0f))
                return false;
            // The labels' ring round the floor, a text's half height further in.
            const float ring = 0.5f + kLabelReach;
            if (!inside(x / 0.5f * ring, y / 0.5f * ring, 0.0f, pad) || !inside(x / 0.5f * ring, 0.0f, 0.0f, pad) ||
                !inside(0.0f, y / 0.5f * ring, 0.0f, pad))
                return false;
        }
    return true;
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

int32_t fitted_camera_radius(int32_t azimuth, int32_t elevation, unsigned width, unsigned height)
{
    const PlotFrame frame = plot_frame(width, height);
    const float pad = 3.0f * float(overlay_pixel_size(height));
    for (int32_t radius = 0; radius < kFarthestRadius; ++radius)
        if (frames_the_box(CameraSetting{radius, azimuth, elevation}, width, height, frame, pad))
            return radius;
    return kFarthestRadius;
}
