// The camera distance that frames the whole picture: the box the surface
// stands in, the axes' values and names around its floor, clear of the
// height scale at the right and of the status band at the foot.
#pragma once

#include <cstdint>

#include "render/scene/camera.h"

// The part of a width x height picture the box and its labels may take,
// [x0, x1) x [y0, y1): the scale's column and the status band left out.
struct PlotFrame {
    float x0, y0, x1, y1;
};
PlotFrame plot_frame(unsigned width, unsigned height);

// The renderer's projection moved so that the box and its labels, as seen
// from `camera`, stand in the middle of the plot frame; for an eye inside
// the box, the picture's middle goes to the frame's.
Matrix4 framed_projection(const CameraVectors& camera, unsigned width, unsigned height);

// The nearest distance step (0..kFarthestRadius) at which the box's eight corners, and
// its floor widened by where the axes' labels stand, project inside the
// plot frame in front of the near plane under the framed projection; the
// farthest when none does.
int32_t fitted_camera_radius(int32_t azimuth, int32_t elevation, unsigned width, unsigned height);
