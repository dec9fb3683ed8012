// The camera: its vectors for listed settings, the view and projection
// matrices, and what the renderer hands the device.
#include "render_fixture.h"

namespace {

class CameraTest : public RendererTest {};

void expect_near(Float3 actual, Float3 expected, double tolerance, const char* what)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

// A point (x, y, z) through a matrix, as the row vector (x, y, z, 1).
Float3 apply(const D3DMATRIX& m, Float3 p)
{
    const float in[4] = {p.x, p.y, p.z, 1.0f};
    float out[3] = {};
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            out[c] += in[r] * m.m[r][c];
    return Float3{out[0], out[1], out[2]};
}

// cos(π_f / 2): the residue the single-precision π leaves on a right angle.
constexpr double kResidue = -4.371139000186241e-08;

TEST(CameraVectors, ListedSettings)
{
    struct Case {
        CameraSetting camera;
        Float3 eye, up;
        double tolerance;
    };
    const Case cases[] = {
        {{100, 90, 0}, {5, 0, -0.5f}, {0, 0, -1}, 1e-15},
        {{100, 0, 90}, {0, float(-5 * kResidue), -5.5f}, {float(-kResidue), 1, float(-kResidue)}, 1e-13},
        {{0, 0, 0}, {float(kResidue), -1, -0.5f}, {0, 0, -1}, 1e-13},
        {{50, 180, 45}, {0, 2.1213203f, -2.6213203f}, {0, -0.70710678f, -0.70710678f}, 1e-6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.camera.radius << " " << c.camera.azimuth << " " << c.camera.elevation);
        const CameraVectors v = camera_vectors(c.camera);
        expect_near(v.eye, c.eye, c.tolerance, "eye");
        expect_near(v.up, c.up, c.tolerance, "up");
        expect_near(v.at, Float3{0, 0, -0.5f}, 0, "at");
    }
    const CameraVectors north = camera_vectors({30, 0, 20}), full_turn = camera_vectors({30, 360, 20});
    expect_near(full_turn.eye, north.eye, 1e-6, "eye");
    expect_near(full_turn.up, north.up, 1e-6, "up");
}

// For every setting the panel can reach, the view puts the eye at the
// origin and the point looked at r straight ahead, and the up vector maps
// straight up on the screen.
TEST(CameraVectors, ViewMatchesTheOrbitForEverySetting)
{
    for (int radius = 0; radius <= 100; radius += 25) {
        for (int azimuth = 0; azimuth <= 360; azimuth += 15) {
            for (int elevation = 0; elevation <= 90; elevation += 5) {
                SCOPED_TRACE(testing::Message() << radius << " " << azimuth << " " << elevation);
                const CameraVectors v = camera_vectors({radius, azimuth, elevation});
                const double r = 1 + radius / 25.0;
                const D3DMATRIX view = build_view_matrix(v.eye, v.at, v.up);
                expect_near(apply(view, v.eye), Float3{0, 0, 0}, 2e-6, "eye");
                expect_near(apply(view, v.at), Float3{0, 0, float(r)}, 2e-6, "at");
                const Float3 above{v.at.x + 0.5f * v.up.x, v.at.y + 0.5f * v.up.y, v.at.z + 0.5f * v.up.z};
                expect_near(apply(view, above), Float3{0, 0.5f, float(r)}, 2e-6, "up");
            }
        }
    }
}

TEST_F(CameraTest, SideViewMatrix)
{
    EXPECT_EQ(renderer->ops.set_camera(renderer, nullptr), 0);
    set_camera(100, 90, 0);
    expect_near(state->eye, Float3{5, 0, -0.5f}, 0, "stored eye");
    const D3DMATRIX view = transform(D3DTS_VIEW);
    const float rows[4][4] = {{0, 0, -1, 0}, {1, 0, 0, 0}, {0, -1, 0, 0}, {0, -0.5f, 5, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(view.m[r][c], rows[r][c], 1e-7) << r << "," << c;
    // The point looked at is 5 ahead; the top of the box above it is up.
    expect_near(apply(view, Float3{0, 0, -0.5f}), Float3{0, 0, 5}, 1e-6, "at");
    expect_near(apply(view, Float3{0, 0, -1}), Float3{0, 0.5f, 5}, 1e-6, "top");
}

TEST_F(CameraTest, ProjectionFollowsTheBackBuffer)
{
    struct Case {
        float aspect;
        float x_scale;
    };
    for (const Case& c : {Case{640.0f / 480.0f, 3.7705045f}, Case{400.0f / 300.0f, 3.7705045f},
                          Case{1.0f, 5.0273395f}}) {
        const D3DMATRIX m = build_projection_matrix(kFieldOfView, c.aspect, 1.0f, 100.0f);
        const float expected[4][4] = {
            {c.x_scale, 0, 0, 0}, {0, 5.0273395f, 0, 0}, {0, 0, 1.0101010f, 1}, {0, 0, -1.0101010f, 0}};
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                EXPECT_FLOAT_EQ(m.m[r][k], expected[r][k]) << c.aspect << " " << r << "," << k;
    }
    // The renderer's: from the 320 x 240 window, then from a square one.
    EXPECT_FLOAT_EQ(transform(D3DTS_PROJECTION)._11, 3.7705045f);
    EXPECT_FLOAT_EQ(transform(D3DTS_PROJECTION)._22, 5.0273395f);
    window.set_client_size(200, 200);
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 200, 200), 0);
    EXPECT_FLOAT_EQ(transform(D3DTS_PROJECTION)._11, 5.0273395f);
}

TEST_F(CameraTest, ResizeBeforeAnyCameraGivesAnEmptyView)
{
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 320, 240), 0);
    const D3DMATRIX view = transform(D3DTS_VIEW);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(view.m[r][c], r == 3 && c == 3 ? 1.0f : 0.0f) << r << "," << c;
    // A camera set later survives the next reset.
    set_camera(100, 90, 0);
    const D3DMATRIX before = transform(D3DTS_VIEW);
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 320, 240), 0);
    const D3DMATRIX after = transform(D3DTS_VIEW);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

} // namespace
