// The orbiting camera, the look-at view, the perspective projection and
// the orthographic one, and the projection of one scene point to the back buffer.
#include "render/scene/camera.h"

#include <cmath>

namespace {

// The angles are scaled with π rounded to single precision, so the cosine
// of a right angle comes out near -4.37e-8, not 0.
constexpr double kPiFloat = static_cast<double>(3.14159265358979323846f);

Float3 operator-(Float3 a, Float3 b) { return Float3{a.x - b.x, a.y - b.y, a.z - b.z}; }

Float3 cross(Float3 a, Float3 b) { return Float3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

float dot(Float3 a, Float3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The zero vector stays zero.
Float3 normalise(Float3 a)
{
    const float length = std::sqrt(dot(a, a));
    if (length == 0.0f)
        return Float3{0.0f, 0.0f, 0.0f};
    return Float3{a.x / length, a.y / length, a.z / length};
}

// Each element a sum of four products taken left to right, as the device
// combines its transforms.
Matrix4 multiply(const Matrix4& a, const Matrix4& b)
{
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

} // namespace

CameraVectors camera_vectors(const CameraSetting& camera)
{
    const double r = camera.radius * 4.0 / 100.0 + 1.0;
    // The 90 is taken off the whole number first; 64 bits keep that exact for any input.
    const double phi = static_cast<double>(int64_t(camera.azimuth) - 90) / 180.0 * kPiFloat;
    const double theta = camera.elevation / 180.0 * kPiFloat;
    const double ground = r * std::cos(theta);
    CameraVectors v;
    v.eye = Float3{static_cast<float>(ground * std::cos(phi)), static_cast<float>(ground * std::sin(phi)),
                   -static_cast<float>(r * std::sin(theta) + 0.5)};
    v.at = Float3{0.0f, 0.0f, -0.5f};
    v.up = Float3{static_cast<float>(-std::sin(theta) * std::cos(phi)),
                  static_cast<float>(-std::sin(theta) * std::sin(phi)), static_cast<float>(-std::cos(theta))};
    return v;
}

Matrix4 build_view_matrix(Float3 eye, Float3 at, Float3 up)
{
    const Float3 zaxis = normalise(at - eye);
    const Float3 xaxis = normalise(cross(up, zaxis));
    const Float3 yaxis = cross(zaxis, xaxis);
    Matrix4 m{};
    const float rows[4][3] = {{xaxis.x, yaxis.x, zaxis.x},
                              {xaxis.y, yaxis.y, zaxis.y},
                              {xaxis.z, yaxis.z, zaxis.z},
                              {-dot(xaxis, eye), -dot(yaxis, eye), -dot(zaxis, eye)}};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
            m.m[row][column] = rows[row][column];
    m.m[3][3] = 1.0f;
    return m;
}

Matrix4 build_projection_matrix(float fov_y, float aspect, float near_plane, float far_plane)
{
    const float half_angle = fov_y * 0.5f;
    const float y_scale = std::cos(half_angle) / std::sin(half_angle);
    const float x_scale = y_scale / aspect;
    const float q = far_plane / (far_plane - near_plane);
    Matrix4 m{};
    m.m[0][0] = x_scale;
    m.m[1][1] = y_scale;
    m.m[2][2] = q;
    m.m[2][3] = 1.0f;
    m.m[3][2] = -q * near_plane;
    return m;
}

Matrix4 build_orthographic_matrix(float left, float right, float bottom, float top, float near_plane, float far_plane)
{
    Matrix4 m{};
    m.m[0][0] = 2.0f / (right - left);
    m.m[1][1] = 2.0f / (top - bottom);
    m.m[2][2] = 1.0f / (far_plane - near_plane);
    m.m[3][0] = (left + right) / (left - right);
    m.m[3][1] = (top + bottom) / (bottom - top);
    m.m[3][2] = near_plane / (near_plane - far_plane);
    m.m[3][3] = 1.0f;
    return m;
}

Matrix4 build_scene_projection(unsigned width, unsigned height)
{
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    return build_projection_matrix(kFieldOfView, aspect, kNearPlane, kFarPlane);
}

PixelPoint project_point(const Matrix4& view, const Matrix4& projection, unsigned width, unsigned height, float x,
                         float y, float z)
{
    const Matrix4 t = multiply(view, projection);
    const float clip_x = x * t.m[0][0] + y * t.m[1][0] + z * t.m[2][0] + t.m[3][0];
    const float clip_y = x * t.m[0][1] + y * t.m[1][1] + z * t.m[2][1] + t.m[3][1];
    const float clip_w = x * t.m[0][3] + y * t.m[1][3] + z * t.m[2][3] + t.m[3][3];
    if (!(clip_w > 0.0f))
        return PixelPoint{0.0f, 0.0f, false};
    const float invw = 1.0f / clip_w;
    const float half_width = static_cast<float>(width) * 0.5f;
    const float half_height = static_cast<float>(height) * 0.5f;
    const PixelPoint p{(1.0f + clip_x * invw) * half_width, (1.0f - clip_y * invw) * half_height, true};
    if (!std::isfinite(p.x) || !std::isfinite(p.y))
        return PixelPoint{0.0f, 0.0f, false};
    return p;
}
