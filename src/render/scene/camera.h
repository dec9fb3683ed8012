// The orbiting camera and the matrices that place the scene in the picture:
// the camera's eye, point looked at and up direction, the left-handed
// look-at view, the perspective and orthographic projections, and where a scene point lands
// in the back buffer. Matrices act on row vectors, rows stored first.
#pragma once

#include <bit>
#include <cstdint>

// The camera as the panel holds it: distance step 0..kFarthestRadius,
// azimuth 0..360 and elevation 0..90 in whole degrees.
struct CameraSetting {
    int32_t radius;
    int32_t azimuth;
    int32_t elevation;
};

struct Float3 {
    float x, y, z;
};

struct CameraVectors {
    Float3 eye, at, up;
};

struct Matrix4 {
    float m[4][4];
};

// A position in the back buffer in pixels, pixel centres at whole numbers
// and y growing downwards. Not placed when the point is not in front of
// the eye (or the matrices give no finite position).
struct PixelPoint {
    float x, y;
    bool placed;
};

// The farthest distance step. Steps keep their size (0.04 of the box's
// width, from 1 at step 0); those past 100 exist so that an oblique view of
// the whole box, its labels and the scale fits a picture at π/8.
constexpr int32_t kFarthestRadius = 300;

// The renderer's projection: π/8 vertically, near 1, far 100.
constexpr float kFieldOfView = std::bit_cast<float>(0x3EC90FDBu); // 0.39269909
constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 100.0f;

// The orbit of a camera setting: eye, point looked at and up direction.
CameraVectors camera_vectors(const CameraSetting& camera);
// Left-handed look-at matrix, in single precision.
Matrix4 build_view_matrix(Float3 eye, Float3 at, Float3 up);
// Left-handed perspective matrix from a vertical field of view in radians;
// depth 0 at the near plane, 1 at the far one.
Matrix4 build_projection_matrix(float fov_y, float aspect, float near_plane, float far_plane);
// Left-handed orthographic matrix for the view-space box [left, right] x
// [bottom, top] x [near, far]; depth 0 at the near plane, 1 at the far one.
Matrix4 build_orthographic_matrix(float left, float right, float bottom, float top, float near_plane, float far_plane);
// The renderer's projection for a back buffer of that many pixels.
Matrix4 build_scene_projection(unsigned width, unsigned height);
// Where the scene point (x, y, z) is drawn in a width x height back buffer,
// computed in the order and precision the device transforms vertices in.
PixelPoint project_point(const Matrix4& view, const Matrix4& projection, unsigned width, unsigned height, float x,
                         float y, float z);
