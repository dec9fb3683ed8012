// The renderer object: camera and matrices, creation and its failures,
// the frame's draw calls, whole pictures, resets, the
// texture, and destroy.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "render_fixture.h"

namespace {

class RendererObjectTest : public RendererTest {};

constexpr uint32_t kGrey = 0x808080, kBlack = 0, kWhite = 0xFFFFFF, kYellow = 0xFFFF00;

void expect_near(Float3 a, Float3 b, double tolerance)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// A point through a matrix, as the row vector (x, y, z, 1).
Float3 apply(const D3DMATRIX& m, Float3 p)
{
    const float in[4] = {p.x, p.y, p.z, 1.0f};
    float out[3] = {};
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            out[c] += in[r] * m.m[r][c];
    return Float3{out[0], out[1], out[2]};
}

void expect_matrix(const D3DMATRIX& m, const float (&rows)[4][4], double tolerance)
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
                const D3DMATRIX view = build_view_matrix(v.eye, v.at, v.up);
                expect_near(apply(view, v.eye), {0, 0, 0}, 2e-6);
                expect_near(apply(view, v.at), {0, 0, r}, 2e-6);
                const Float3 above{v.at.x + 0.5f * v.up.x, v.at.y + 0.5f * v.up.y, v.at.z + 0.5f * v.up.z};
                expect_near(apply(view, above), {0, 0.5f, r}, 2e-6);
            }
}

TEST_F(RendererObjectTest, TransformsAcrossCreateCameraAndResize)
{
    D3DMATRIX m;
    state->device->GetTransform(D3DTS_PROJECTION, &m);
    EXPECT_FLOAT_EQ(m._11, 3.7705045f) << "320 x 240";
    // Before any camera a reset builds the view from zero vectors.
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 320, 240), 0);
    state->device->GetTransform(D3DTS_VIEW, &m);
    expect_matrix(m, {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 1}}, 0);
    EXPECT_EQ(renderer->ops.set_camera(renderer, nullptr), 0);
    set_camera(100, 90, 0);
    window.set_client_size(200, 200);
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 200, 200), 0);
    state->device->GetTransform(D3DTS_VIEW, &m);
    expect_matrix(m, {{0, 0, -1, 0}, {1, 0, 0, 0}, {0, -1, 0, 0}, {0, -0.5f, 5, 1}}, 1e-7);
    state->device->GetTransform(D3DTS_PROJECTION, &m);
    EXPECT_FLOAT_EQ(m._11, 5.0273395f) << "square";
}

TEST_F(RendererObjectTest, CreationFailures)
{
    for (D3D9Call call : {D3D9Call::Direct3DCreate9, D3D9Call::GetAdapterDisplayMode, D3D9Call::CreateDevice}) {
        d3d9_test_fail(call);
        EXPECT_EQ(create_renderer(&window), nullptr) << int(call);
    }
    // Without a back buffer the projection is left as the device's own.
    d3d9_test_fail(D3D9Call::GetBackBuffer, 0, 2);
    Renderer* other = create_renderer(&window);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->ops.resize(other, &window, 320, 240), 0);
    D3DMATRIX projection;
    renderer_state(other)->device->GetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_TRUE(projection._11 == 1.0f && projection._34 == 0.0f);
    other->ops.destroy(other);
}

// Pieces of at most the device's limit over consecutive index ranges, each
// naming every vertex; the picture is the same whatever the pieces.
TEST_F(RendererObjectTest, BatchesAreDrawnInPiecesOfTheDeviceLimit)
{
    FieldPtr field = make_field([](int i, int) { return i / 200.0; });
    const MarkerPair pair{0.5, 0.5};
    const std::vector<std::vector<UINT>> cases = {
        // limit, then (vertices, start index, primitives) of each call
        {65535, 40401, 0, 65535, 40401, 196605, 14465, 4422, 0, 4400, 402, 0, 400},
        {80000, 40401, 0, 80000, 4422, 0, 4400, 402, 0, 400},
    };
    std::vector<uint32_t> picture;
    for (const std::vector<UINT>& c : cases) {
        D3D9Profile profile = d3d9_default_profile();
        profile.max_primitive_count = c[0];
        d3d9_test_set_profile(profile);
        start();
        renderer->ops.set_field(renderer, field.get());
        renderer->ops.set_marker(renderer, &pair);
        set_camera(100, 0, 90);
        ASSERT_EQ(renderer->ops.render(renderer), S_OK);
        std::vector<UINT> calls = {c[0]};
        for (const D3D9IndexedDraw& d : d3d9_test_indexed_draws()) {
            EXPECT_TRUE(d.base_vertex == 0 && d.min_index == 0);
            calls.insert(calls.end(), {d.vertex_count, d.start_index, d.primitive_count});
        }
        EXPECT_EQ(calls, c);
        if (picture.empty())
            picture = window.frame();
        EXPECT_TRUE(window.frame() == picture);
        d3d9_test_reset();
    }
}

// Seen from straight above: the lower-left quarter raised to 1 and white,
// the rest flat and black, white grid lines every 0.1, the yellow cross at
// x = 0.25 and y = 0.35, and the grey background around the plot.
TEST_F(RendererObjectTest, Pictures)
{
    set_camera(100, 0, 90);
    const MarkerPair pair{0.75, 0.85};
    renderer->ops.set_marker(renderer, &pair);
    EXPECT_EQ(renderer->ops.render(renderer), S_OK);
    EXPECT_EQ(std::count(window.frame().begin(), window.frame().end(), kGrey), 320 * 240) << "no field yet";

    FieldPtr field = make_field([](int i, int j) { return i <= 100 && j <= 100 ? 1.0 : 0.0; });
    renderer->ops.set_field(renderer, field.get());
    renderer->ops.render(renderer);
    EXPECT_EQ(seen(-0.25, -0.25, -1), kWhite);
    EXPECT_EQ(seen(0.15, 0.15, 0), kBlack);
    EXPECT_EQ(seen(-0.25, 0.45, 0), kBlack);
    EXPECT_EQ(seen(0.45, -0.45, 0), kBlack);
    EXPECT_EQ(seen(0.5, 0.15, 0, -3), kBlack) << "inside the right edge";
    EXPECT_EQ(seen(0.5, 0.15, 0, 3), kGrey) << "outside it";
    EXPECT_EQ(seen(0.15, 0.5, 0, 0, 3), kBlack) << "inside the top edge";
    EXPECT_EQ(seen(0.15, 0.5, 0, 0, -3), kGrey) << "outside it";
    EXPECT_TRUE(seen_near(0.2, 0.15, -0.01, kWhite));
    EXPECT_TRUE(seen_near(0.15, 0.1, -0.01, kWhite));
    EXPECT_TRUE(seen_near(0.25, 0.15, -0.01, kYellow));
    EXPECT_TRUE(seen_near(0.15, 0.35, -0.01, kYellow));
    EXPECT_FALSE(seen_near(0.15, 0.15, 0, kYellow));
}

// A failed reset keeps everything and draws nothing; a good one brings back
// the states, the camera and the picture at the window's size.
TEST_F(RendererObjectTest, FailedResetThenAGoodOne)
{
    FieldPtr field = make_field([](int, int) { return 0.5; });
    renderer->ops.set_field(renderer, field.get());
    set_camera(100, 0, 90);
    state->device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    d3d9_test_fail(D3D9Call::Reset, 0, 1, D3DERR_DEVICELOST);
    EXPECT_EQ(renderer->ops.resize(renderer, &window, 200, 100), D3DERR_DEVICELOST);
    EXPECT_EQ(state->surface_batch.primitive_count, 80000);
    renderer->ops.render(renderer);
    EXPECT_EQ(window.frames_presented(), 0u);

    window.set_client_size(200, 100);
    EXPECT_EQ(renderer->ops.resize(renderer, &window, 0, 0), 0) << "a zero size is the window's";
    DWORD cull = 0, lighting = 1;
    state->device->GetRenderState(D3DRS_CULLMODE, &cull);
    state->device->GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_TRUE(cull == D3DCULL_NONE && lighting == FALSE);
    EXPECT_EQ(renderer->ops.render(renderer), S_OK);
    EXPECT_EQ(window.frame_width(), 200u);
    EXPECT_EQ(seen(-0.15, -0.15, -0.5), 0xC0C0C0u);
}

// A 4 x 4 24-bit bitmap in 2 x 2 quarters: red top left, green top right,
// blue bottom left, (200, 100, 50) bottom right.
std::string quarters_bitmap()
{
    std::string file("BM\x66\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x04\0\0\0\x04\0\0\0\x01\0\x18\0", 30);
    file += std::string("\0\0\0\0\x30\0\0\0", 8) + std::string(16, '\0');
    const char* quarters[2][2] = {{"\xFF\0\0", "\x32\x64\xC8"}, {"\0\0\xFF", "\0\xFF\0"}}; // blue, green, red
    for (int row = 0; row < 4; ++row) // bottom row first
        for (int x = 0; x < 4; ++x)
            file.append(quarters[row / 2][x / 2], 3);
    return file;
}

class TextureTest : public RendererTest {
protected:
    std::string path = (std::filesystem::temp_directory_path() /
                        ("varnel-texture-" + std::to_string(::getpid()) + ".bmp")).string();
    void TearDown() override
    {
        RendererTest::TearDown();
        std::filesystem::remove(path);
    }
    void write(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    // The picture at a scene point, within 1 of (r, g, b) in every channel.
    void expect_colour(double x, double y, double z, int r, int g, int b)
    {
        const uint32_t got = seen(x, y, z);
        EXPECT_TRUE(std::abs(int(got >> 16) - r) <= 1 && std::abs(int(got >> 8 & 255) - g) <= 1 &&
                    std::abs(int(got & 255) - b) <= 1)
            << x << ", " << y << ": " << std::hex << got;
    }
};

// Height 0.5 shades 192: every texel is seen at 192/255, upright from
// above; the grid lines stay white.
TEST_F(TextureTest, TexturedSurfaceIsSeenThroughItsShade)
{
    write(quarters_bitmap());
    FieldPtr field = make_field([](int, int) { return 0.5; });
    ASSERT_EQ(renderer->ops.set_texture(renderer, path.c_str()), S_OK);
    renderer->ops.set_field(renderer, field.get());
    set_camera(100, 0, 90);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 0, 0);
    expect_colour(0.25, 0.25, -0.5, 0, 192, 0);
    expect_colour(-0.25, -0.25, -0.5, 0, 0, 192);
    expect_colour(0.25, -0.25, -0.5, 151, 75, 38);
    EXPECT_TRUE(seen_near(-0.2, 0.25, -0.51, kWhite));
}

TEST_F(TextureTest, TextureLifecycle)
{
    write(quarters_bitmap());
    ASSERT_EQ(renderer->ops.set_texture(renderer, path.c_str()), S_OK);
    IDirect3DTexture9* texture = state->surface_batch.texture;
    EXPECT_NE(texture, nullptr);
    EXPECT_STREQ(state->surface_batch.texture_file, path.c_str());
    FieldPtr first = make_field([](int, int) { return 1.0; }), second = make_field([](int, int) { return 0.5; });
    for (DensityField* f : {first.get(), static_cast<DensityField*>(nullptr), second.get()}) {
        renderer->ops.set_field(renderer, f);
        EXPECT_EQ(state->surface_batch.texture, texture) << "kept across fields";
    }
    // Not loadable: no texture, the path stays and the next reset tries again.
    write("not an image");
    EXPECT_EQ(renderer->ops.set_texture(renderer, path.c_str()), HRESULT(0x88760B59));
    EXPECT_EQ(state->surface_batch.texture, nullptr);
    set_camera(100, 0, 90);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 192, 192);
    write(quarters_bitmap());
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 320, 240), 0);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 0, 0);
    // Removed with its path: the shade alone shows, also after a reset.
    EXPECT_EQ(renderer->ops.set_texture(renderer, nullptr), S_OK);
    EXPECT_EQ(state->surface_batch.texture_file, nullptr);
    renderer->ops.resize(renderer, &window, 320, 240);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 192, 192);
}

TEST_F(TextureTest, DestroyGivesEveryReferenceBack)
{
    write(quarters_bitmap());
    FieldPtr field = make_field([](int, int) { return 0.5; });
    const MarkerPair pair{0.5, 0.5};
    renderer->ops.set_marker(renderer, &pair);
    renderer->ops.set_field(renderer, field.get());
    renderer->ops.set_texture(renderer, path.c_str());
    renderer->ops.render(renderer);
    std::vector<IUnknown*> held = {state->d3d, state->device, state->surface_batch.texture};
    for (const DrawBatch* b : {&state->surface_batch, &state->grid_batch, &state->marker_batch})
        held.insert(held.end(), {b->vertex_buffer, b->index_buffer});
    for (IUnknown* object : held)
        object->AddRef();
    renderer->ops.destroy(renderer);
    renderer = nullptr;
    for (size_t k = held.size(); k-- > 0;) // resources, then the device, then what made it
        EXPECT_EQ(held[k]->Release(), 0u) << k;
    EXPECT_EQ(field->ops.width(field.get()), 201) << "the field is not the renderer's";
}

} // namespace
