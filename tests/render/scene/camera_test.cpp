// The camera without a device: the orbit of each setting, the view and
// projection matrices, and where a scene point lands in the back buffer.
#include <gtest/gtest.h>

#include "render/scene/camera.h"

namespace {

void expect_near(Float3 a, Float3 b, double tolerance)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// A point through a matrix, as the row vector (x, y, z, 1).
Float3 apply(const Matrix4& m, Float3 p)
{
    const float in[4] = {p.x, p.y, p.z, 1.0f};
    float out[3] = {};
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            out[c] += in[r] * m.m[r][c];
    return Float3{out[0], out[1], out[2]};
}

void expect_matrix(const Matrix4& m, const float (&rows)[4][4], double tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m.m[r][c], rows[r][c], tolerance) << r << "," << c;
}

TEST(Camera, ListedSettings)
{
    const double residue = -4.371139000186241e-08; // cos(π_f / 2)
    struct Case {
        CameraSetting camera;
        Float3 eye, up;
        double tolerance;
    } cases[] = {
        {{100, 90, 0}, {5, 0, -0.5f}, {0, 0, -1}, 1e-15},
        {{100, 0, 90}, {0, float(-5 * residue), -5.5f}, {float(-residue), 1, float(-residue)}, 1e-13},
        {{0, 0, 0}, {float(residue), -1, -0.5f}, {0, 0, -1}, 1e-13},
        {{50, 180, 45}, {0, 2.1213203f, -2.6213203f}, {0, -0.70710678f, -0.70710678f}, 1e-6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera.azimuth);
        const CameraVectors v = camera_vectors(c.camera);
        expect_near(v.eye, c.eye, c.tolerance);
        expect_near(v.up, c.up, c.tolerance);
        expect_near(v.at, {0, 0, -0.5f}, 0);
    }
    expect_near(camera_vectors({30, 360, 20}).eye, camera_vectors({30, 0, 20}).eye, 1e-6);
    expect_matrix(build_view_matrix({5, 0, -0.5f}, {0, 0, -0.5f}, {0, 0, -1}),
                  {{0, 0, -1, 0}, {1, 0, 0, 0}, {0, -1, 0, 0}, {0, -0.5f, 5, 1}}, 1e-7);
    const float y = 5.0273395f, q = 1.0101010f;
    expect_matrix(build_projection_matrix(kFieldOfView, 4.0f / 3.0f, 1, 100),
                  {{3.7705045f, 0, 0, 0}, {0, y, 0, 0}, {0, 0, q, 1}, {0, 0, -q, 0}}, 1e-6);
    // A quarter turn, aspect 2, depth 2 to 10: cot(π/4) = 1, q = 10 / 8.
    expect_matrix(build_projection_matrix(std::bit_cast<float>(0x3FC90FDBu), 2, 2, 10),
                  {{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.25f, 1}, {0, 0, -2.5f, 0}}, 1e-6);
    expect_matrix(build_scene_projection(320, 240), {{3.7705045f, 0, 0, 0}, {0, y, 0, 0}, {0, 0, q, 1}, {0, 0, -q, 0}},
                  1e-6);
}

// For every setting the panel reaches, the view puts the eye at the origin,
// the point looked at r straight ahead and the up vector straight up.
TEST(Camera, ViewMatchesTheOrbitForEverySetting)
{
    for (int radius = 0; radius <= 100; radius += 25)
        for (int azimuth = 0; azimuth <= 360; azimuth += 15)
            for (int elevation = 0; elevation <= 90; elevation += 5) {
                SCOPED_TRACE(testing::Message() << radius << " " << azimuth << " " << elevation);
                const CameraVectors v = camera_vectors({radius, azimuth, elevation});
                const float r = 1 + radius / 25.0f;
                const Matrix4 view = build_view_matrix(v.eye, v.at, v.up);
                expect_near(apply(view, v.eye), {0, 0, 0}, 2e-6);
                expect_near(apply(view, v.at), {0, 0, r}, 2e-6);
                const Float3 above{v.at.x + 0.5f * v.up.x, v.at.y + 0.5f * v.up.y, v.at.z + 0.5f * v.up.z};
                expect_near(apply(view, above), {0, 0.5f, r}, 2e-6);
            }
}

// Worked by hand from cot(π/16) = 5.0273395: a point d ahead of the eye and
// s across lands s x 5.0273395 / d half-heights from the centre.
TEST(Camera, ProjectedPoints)
{
    struct Case {
        CameraSetting camera;
        unsigned width, height;
        Float3 point;
        PixelPoint want;
    } cases[] = {
        {{100, 0, 90}, 320, 240, {0, 0, -0.5f}, {160, 120, true}},                // the point looked at
        {{100, 0, 90}, 320, 240, {0.5f, 0.5f, 0}, {214.84370f, 65.15630f, true}}, // a corner, 5.5 below the eye
        {{100, 0, 90}, 1024, 768, {-0.25f, 0.5f, -1}, {404.75009f, 169.50018f, true}},
        {{100, 90, 0}, 320, 240, {0, 0.5f, -0.5f}, {220.32807f, 120, true}}, // from the side: y is across
        {{100, 90, 0}, 200, 200, {0, 0.5f, -0.5f}, {150.27339f, 100, true}},
        {{100, 0, 90}, 320, 240, {0, 0, -5.5f}, {0, 0, false}}, // in the eye's plane
        {{100, 0, 90}, 320, 240, {0.1f, 0, -9}, {0, 0, false}}, // behind it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.point.x << ", " << c.point.y << ", " << c.point.z);
        const CameraVectors v = camera_vectors(c.camera);
        const PixelPoint p =
            project_point(build_view_matrix(v.eye, v.at, v.up), build_scene_projection(c.width, c.height), c.width,
                          c.height, c.point.x, c.point.y, c.point.z);
        EXPECT_EQ(p.placed, c.want.placed);
        EXPECT_NEAR(p.x, c.want.x, 2e-4);
        EXPECT_NEAR(p.y, c.want.y, 2e-4);
    }
}

} // namespace
