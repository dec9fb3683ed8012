// The orbiting camera and the two matrices: set_camera, the look-at view
// and the perspective projection.
#include <cmath>
#include <cstdint>

#include "render/renderer_state.h"

namespace {

// The angles are scaled with π rounded to single precision, so the cosine
// of a right angle comes out near -4.37e-8, not 0.
constexpr double kPiFloat = static_cast<double>(3.14159265358979323846f);

Float3 operator-(Float3 a, Float3 b)
{
    return Float3{a.x - b.x, a.y - b.y, a.z - b.z};
}

Float3 cross(Float3 a, Float3 b)
{
    return Float3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(Float3 a, Float3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The zero vector stays zero.
Float3 normalise(Float3 a)
{
    const float length = std::sqrt(dot(a, a));
    if (length == 0.0f)
        return Float3{0.0f, 0.0f, 0.0f};
    return Float3{a.x / length, a.y / length, a.z / length};
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

HRESULT set_camera(Renderer* renderer, const CameraSetting* camera)
{
    RendererState* s = renderer_state(renderer);
    if (!s || !camera)
        return 0;
    const CameraVectors v = camera_vectors(*camera);
    s->eye = v.eye;
    s->at = v.at;
    s->up = v.up;
    const D3DMATRIX view = build_view_matrix(s->eye, s->at, s->up);
    return s->device->SetTransform(D3DTS_VIEW, &view);
}

D3DMATRIX build_view_matrix(Float3 eye, Float3 at, Float3 up)
{
    const Float3 zaxis = normalise(at - eye);
    const Float3 xaxis = normalise(cross(up, zaxis));
    const Float3 yaxis = cross(zaxis, xaxis);
    D3DMATRIX m{};
    const float rows[4][3] = {{xaxis.x, yaxis.x, zaxis.x},
                              {xaxis.y, yaxis.y, zaxis.y},
                              {xaxis.z, yaxis.z, zaxis.z},
                              {-dot(xaxis, eye), -dot(yaxis, eye), -dot(zaxis, eye)}};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
            m.m[row][column] = rows[row][column];
    m._44 = 1.0f;
    return m;
}

D3DMATRIX build_projection_matrix(float fov_y, float aspect, float near_plane, float far_plane)
{
    const float half_angle = fov_y * 0.5f;
    const float y_scale = std::cos(half_angle) / std::sin(half_angle);
    const float x_scale = y_scale / aspect;
    const float q = far_plane / (far_plane - near_plane);
    D3DMATRIX m{};
    m._11 = x_scale;
    m._22 = y_scale;
    m._33 = q;
    m._34 = 1.0f;
    m._43 = -q * near_plane;
    return m;
}
