// The renderer object: the transforms it sets, creation and its failures,
// the frame's draw calls, whole pictures, resets, the texture, and destroy.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "render/scene/colour_maps.h"
#include "render/scene/node_heights.h"
#include "render/text/camera_fit.h"
#include "render/text/number_text.h"
#include "render/text/picture_overlay.h"
#include "render/device_scene.h"
#include "render/scene_view.h"
#include "render_fixture.h"
#include "text/label_values.h"

namespace {

class RendererObjectTest : public RendererTest {};

constexpr uint32_t kGrey = 0x808080, kBlack = 0, kWhite = 0xFFFFFF, kYellow = 0xFFFF00;

void expect_matrix(const D3DMATRIX& m, const float (&rows)[4][4], double tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m.m[r][c], rows[r][c], tolerance) << r << "," << c;
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
        // limit, then (vertices, start index, primitives) of each call; the
        // surface's start within the order the camera picks
        {65535, 40401, 0, 65535, 40401, 196605, 14465, 4422, 0, 4400, 402, 0, 400},
        {80000, 40401, 0, 80000, 4422, 0, 4400, 402, 0, 400},
        {0xFFFFFFFF, 40401, 0, 80000, 4422, 0, 4400, 402, 0, 400}, // no limit a signed count can hold
    };
    const CameraVectors eye = camera_vectors(CameraSetting{100, 0, 90});
    const UINT order_start = UINT(surface_order(eye.eye.x, eye.eye.y)) * 240000;
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
            const UINT start = d.vertex_count == 40401 ? d.start_index - order_start : d.start_index;
            calls.insert(calls.end(), {d.vertex_count, start, d.primitive_count});
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

// Two triangles overlapping in a band, drawn through the renderer's device
// with its fixed states, one order and then the other: where their stored
// depths are equal the one drawn last wins, as kDepthTest says; otherwise
// the nearer one, whichever came first.
TEST_F(RendererObjectTest, EqualDepthsGoToTheTriangleDrawnLast)
{
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR colour;
    };
    constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF;
    const float step = 1.0f / 65535;
    const struct {
        float red_z, blue_z;
        uint32_t red_first, blue_first; // the band's colour when red, or blue, is drawn first
        const char* what;
    } cases[] = {
        {0.25f, 0.25f, kBlue, kRed, "equal"},
        {0.25f, 0.25f + 0.2f * step, kBlue, kRed, "apart by less than half a step of the buffer"},
        {0.25f, 0.25f + 2 * step, kRed, kRed, "red nearer by two steps"},
        {0.25f + 2 * step, 0.25f, kBlue, kBlue, "blue nearer by two steps"},
    };
    IDirect3DDevice9* device = state->device;
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(6 * sizeof(Vertex), 0, 0, D3DPOOL_MANAGED, &buffer, nullptr), S_OK);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Red covers x + y < 160, blue x + y > 150 (both x, y < 150).
        const Vertex red[3] = {{0, 0, c.red_z, 1, kRed}, {160, 0, c.red_z, 1, kRed}, {0, 160, c.red_z, 1, kRed}};
        const Vertex blue[3] = {
            {150, 150, c.blue_z, 1, kBlue}, {150, 0, c.blue_z, 1, kBlue}, {0, 150, c.blue_z, 1, kBlue}};
        for (const bool red_first : {true, false}) {
            void* bits = nullptr;
            ASSERT_EQ(buffer->Lock(0, 0, &bits, 0), S_OK);
            std::memcpy(bits, red_first ? red : blue, sizeof red);
            std::memcpy(static_cast<Vertex*>(bits) + 3, red_first ? blue : red, sizeof red);
            buffer->Unlock();
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
            device->BeginScene();
            device->SetTexture(0, nullptr);
            device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
            device->SetStreamSource(0, buffer, 0, sizeof(Vertex));
            device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
            device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2);
            device->EndScene();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            EXPECT_EQ(window.pixel(20, 20), kRed);
            EXPECT_EQ(window.pixel(140, 140), kBlue);
            EXPECT_EQ(window.pixel(77, 78), red_first ? c.red_first : c.blue_first) << "red first: " << red_first;
        }
    }
    buffer->Release();
}

// The surface's orders change a frame only where triangles tie in the
// depth buffer: on a plane, a step and two hills, seen from every side,
// nothing; among steep spikes a few pixels (15 over the 24 frames here),
// printed. Each frame is compared with the frame of
// the nodes' own order, the batch's other orders hidden.
TEST_F(RendererObjectTest, EveryOrderDrawsTheFrameOfTheNodesOrder)
{
    const struct {
        const char* name;
        std::function<double(int, int)> value;
        size_t most_changed; // pixels of 320 x 240, at any azimuth
    } scenes[] = {
        {"plane", [](int i, int j) { return 0.3 + i / 400.0 - j / 700.0; }, 0},
        {"step", [](int i, int j) { return i <= 100 && j <= 100 ? 1.0 : 0.0; }, 0},
        {"hill",
         [](int i, int j) {
             const double x = i / 200.0, y = j / 200.0;
             return std::exp(-((x - 0.3) * (x - 0.3) + (y - 0.4) * (y - 0.4)) * 30) +
                 0.6 * std::exp(-((x - 0.7) * (x - 0.7) + (y - 0.7) * (y - 0.7)) * 60);
         },
         0},
        {"spikes", [](int i, int j) { return (i * 7 + j * 13) % 29 == 0 ? 1.0 : 0.1; }, 8},
    };
    for (const auto& scene : scenes) {
        FieldPtr field = make_field(scene.value);
        renderer->ops.set_field(renderer, field.get());
        size_t total = 0, most = 0;
        for (int azimuth = 0; azimuth < 360; azimuth += 15) {
            SCOPED_TRACE(testing::Message() << scene.name << " at azimuth " << azimuth);
            set_camera(100, azimuth, 30);
            ASSERT_EQ(renderer->ops.render(renderer), S_OK);
            const std::vector<uint32_t> ordered = window.frame();
            const int32_t orders = state->batches[kSurfaceBatch].orders;
            ASSERT_EQ(orders, kSurfaceOrders);
            state->batches[kSurfaceBatch].orders = 1;
            renderer->ops.render(renderer);
            state->batches[kSurfaceBatch].orders = orders;
            size_t changed = 0;
            for (size_t k = 0; k < ordered.size(); ++k)
                changed += ordered[k] != window.frame()[k];
            EXPECT_LE(changed, scene.most_changed);
            total += changed;
            most = std::max(most, changed);
        }
        std::printf("%s: %zu pixels changed over 24 azimuths, at most %zu in one frame\n", scene.name, total, most);
    }
}

// Where project_point puts the grid's corners the frame draws them: white
// lines around a flat black surface, seen from above, the side and
// obliquely. Three pixels further out from the middle is the background.
TEST_F(RendererObjectTest, ProjectedCornersAreWhereTheFrameDrawsThem)
{
    FieldPtr field = make_field([](int, int) { return 0.0; });
    renderer->ops.set_field(renderer, field.get());
    const CameraSetting cameras[] = {{100, 0, 90}, {100, 30, 35}, {80, 200, 60}, {100, 300, 15}};
    for (const CameraSetting& camera : cameras) {
        SCOPED_TRACE(testing::Message() << camera.radius << " " << camera.azimuth << " " << camera.elevation);
        renderer->ops.set_camera(renderer, &camera);
        renderer->ops.render(renderer);
        const CameraVectors v = camera_vectors(camera);
        const Matrix4 view = build_view_matrix(v.eye, v.at, v.up);
        const Matrix4 projection = build_scene_projection(320, 240);
        const PixelPoint middle = project_point(view, projection, 320, 240, 0, 0, 0);
        for (const std::array<float, 2> corner : {std::array{-.5f, -.5f}, {.5f, -.5f}, {-.5f, .5f}, {.5f, .5f}}) {
            const PixelPoint p = project_point(view, projection, 320, 240, corner[0], corner[1], -0.01f);
            ASSERT_TRUE(p.placed);
            const int x = int(std::floor(p.x + 0.5f)), y = int(std::floor(p.y + 0.5f));
            ASSERT_TRUE(x >= 4 && x < 316 && y >= 4 && y < 236) << p.x << ", " << p.y;
            bool white = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    white |= window.pixel(UINT(x + dx), UINT(y + dy)) == kWhite;
            EXPECT_TRUE(white) << corner[0] << ", " << corner[1];
            const float out_x = p.x - middle.x, out_y = p.y - middle.y;
            const float step = 3 / std::hypot(out_x, out_y);
            EXPECT_EQ(
                window.pixel(UINT(std::floor(p.x + out_x * step + 0.5f)), UINT(std::floor(p.y + out_y * step + 0.5f))),
                kGrey)
                << corner[0] << ", " << corner[1];
        }
    }
}

// A field loaded from points: x over 0 .. 4000, y over -3 .. 3 (so that
// the two axes' values differ), with two lines that hold no point.
FieldPtr loaded_field()
{
    FieldPtr field(create_density_field(Range{0, 4000, -3, 3}));
    std::FILE* file = std::tmpfile();
    for (int k = 0; k < 3000; ++k)
        std::fprintf(file, "%d %.4f\n", 1000 + (k * 37) % 2000, -1.5 + (k % 61) * 0.05);
    std::fputs("oops\nnot a point\n", file);
    std::rewind(file);
    field->ops.load(field.get(), file, 0);
    std::fclose(file);
    return field;
}

// Over the frame the overlay changes only the pixels of its texts and its
// scale bar: each text where the layout puts it, each fully covered texel
// of its glyphs white, each axis value beside the grid line it names, the
// bar's ends the colour map's ends. Without the overlay the frame is the
// scene's as before, however often the overlay was drawn in between. A new
// caption with a character the last one lacked is drawn in full.
TEST_F(RendererObjectTest, OverlayDrawsTextsAndScaleOverTheScene)
{
    FieldPtr field = loaded_field();
    renderer->ops.set_field(renderer, field.get());
    struct Shot {
        CameraSetting camera;
        const char* caption;
    };
    for (const Shot& shot : {Shot{{100, 0, 90}, "hill.txt"}, Shot{{100, 30, 35}, "丘.txt"}}) {
        const CameraSetting camera = shot.camera;
        SCOPED_TRACE(testing::Message() << camera.azimuth << " " << camera.elevation);
        renderer->ops.set_caption(renderer, shot.caption);
        renderer->ops.set_camera(renderer, &camera);
        // The scene alone, framed as the axes frame it beside the scale.
        const D3DMATRIX framed = to_device_matrix(framed_projection(camera_vectors(camera), 320, 240));
        state->device->SetTransform(D3DTS_PROJECTION, &framed);
        ASSERT_EQ(renderer->ops.render(renderer), S_OK);
        const std::vector<uint32_t> scene_only = window.frame();
        show_axes(true);
        renderer->ops.render(renderer);
        renderer->ops.render(renderer);
        const std::vector<uint32_t> with_overlay = window.frame();

        GlyphAtlas atlas;
        ASSERT_TRUE(
            build_glyph_atlas(default_font_file(), overlay_pixel_size(240), overlay_characters(shot.caption), &atlas));
        const CameraVectors vectors = camera_vectors(camera);
        const OverlayScene scene{320,
                                 240,
                                 vectors,
                                 density_field_range(field.get()),
                                 density_field_max(field.get()),
                                 density_field_counts(field.get()),
                                 shot.caption,
                                 ColourMap::grey};
        const PictureOverlay overlay = lay_out_overlay(atlas, scene);
        const BarBox bar = scale_bar_box(320, 240);
        auto inside_something = [&](int x, int y) {
            if (x >= bar.x0 - 1 && x <= bar.x1 && y >= bar.y0 - 1 && y <= bar.y1)
                return true;
            for (const ScreenQuad& q : overlay.quads) // the status line's backing
                if (q.solid && x >= q.x0 && x < q.x1 && y >= q.y0 && y < q.y1)
                    return true;
            for (const PlacedText& t : overlay.texts)
                if (x >= t.x0 - 2 && x < t.x1 + 2 && y >= t.y0 - 2 && y < t.y1 + 2)
                    return true;
            for (const ScreenLine& l : overlay.lines)
                if (x >= std::min(l.x0, l.x1) - 2 && x <= std::max(l.x0, l.x1) + 2 && y >= std::min(l.y0, l.y1) - 2 &&
                    y <= std::max(l.y0, l.y1) + 2)
                    return true;
            return false;
        };
        size_t changed = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                if (scene_only[size_t(y) * 320 + x] != with_overlay[size_t(y) * 320 + x]) {
                    ++changed;
                    EXPECT_TRUE(inside_something(x, y)) << x << ", " << y;
                }
        EXPECT_GT(changed, 1000u);
        // Where a glyph's own outline is opaque and no other glyph reaches,
        // a texel of coverage a blends white over black to grey a.
        std::vector<const ScreenQuad*> outlines, glyphs;
        for (const ScreenQuad& q : overlay.quads)
            if (!q.solid)
                (q.color == 0xFFFFFFFF ? glyphs : outlines).push_back(&q);
        ASSERT_EQ(outlines.size(), glyphs.size());
        auto texel = [&](int u, int v) { return atlas.alpha[size_t(v) * atlas.width + size_t(u)]; };
        std::vector<int> glyphs_at(320 * 240);
        for (const ScreenQuad* q : glyphs)
            for (int y = 0; y < q->y1 - q->y0; ++y)
                for (int x = 0; x < q->x1 - q->x0; ++x)
                    glyphs_at[size_t(q->y0 + y) * 320 + size_t(q->x0 + x)] += texel(q->u0 + x, q->v0 + y) > 0;
        int blended = 0;
        for (size_t k = 0; k < glyphs.size(); ++k) {
            const ScreenQuad &q = *glyphs[k], &edge = *outlines[k];
            for (int y = 0; y < q.y1 - q.y0; ++y)
                for (int x = 0; x < q.x1 - q.x0; ++x) {
                    const int a = texel(q.u0 + x, q.v0 + y);
                    if (a == 0 || texel(edge.u0 + x, edge.v0 + y) != 255 ||
                        glyphs_at[size_t(q.y0 + y) * 320 + size_t(q.x0 + x)] != 1)
                        continue;
                    blended += a < 255;
                    const uint32_t got = window.pixel(UINT(q.x0 + x), UINT(q.y0 + y));
                    EXPECT_TRUE(std::abs(int(got & 255) - a) <= 1 && got == (got & 255) * 0x010101u)
                        << q.x0 + x << ", " << q.y0 + y << ": " << std::hex << got << " for " << a;
                }
        }
        EXPECT_GT(blended, 50);
        const UINT middle = UINT(bar.x0 + bar.x1) / 2;
        EXPECT_EQ(window.pixel(middle, UINT(bar.y0)), colour_map_colour(ColourMap::grey, 1.0) & 0xFFFFFF);
        EXPECT_EQ(window.pixel(middle, UINT(bar.y1 - 1)), colour_map_colour(ColourMap::grey, 0.0) & 0xFFFFFF);

        std::vector<std::string> texts;
        for (const PlacedText& t : overlay.texts)
            texts.push_back(t.text);
        EXPECT_EQ(texts.front(), std::string(shot.caption) + " — 3,000 点、範囲内 3,000 点、不正な行 2 行");
        EXPECT_NE(std::find(texts.begin(), texts.end(), "点/セル"), texts.end());
        // Each axis value stands beside its own point of the edges nearest
        // the eye, the tick's foot; at 320 x 240 the labels take a coarser
        // step, at least three to an axis.
        const Matrix4 view = build_view_matrix(vectors.eye, vectors.at, vectors.up);
        const Matrix4 projection = framed_projection(vectors, 320, 240);
        const float x_edge = vectors.eye.x > 0 ? 0.5f : -0.5f, y_edge = vectors.eye.y > 0 ? 0.5f : -0.5f;
        const Range range = density_field_range(field.get());
        int values[2] = {0, 0};
        for (const PlacedText& t : overlay.texts) {
            if (t.role != TextRole::x_value && t.role != TextRole::y_value)
                continue;
            const int axis = t.role == TextRole::x_value ? 0 : 1;
            const double value = label_number(t.text);
            ++values[axis];
            const float along = float(axis == 0 ? (value - range.x_min) / (range.x_max - range.x_min)
                                                : (value - range.y_min) / (range.y_max - range.y_min)) -
                0.5f;
            const PixelPoint p = axis == 0 ? project_point(view, projection, 320, 240, along, y_edge, 0)
                                           : project_point(view, projection, 320, 240, x_edge, along, 0);
            const float cx = (t.x0 + t.x1) / 2.0f, cy = (t.y0 + t.y1) / 2.0f;
            EXPECT_LT(std::hypot(p.x - cx, p.y - cy), 2.5f * atlas.line_height) << t.text << " beside its tick";
        }
        EXPECT_GE(values[0], 3);
        EXPECT_GE(values[1], 3);

        show_axes(false);
        state->device->SetTransform(D3DTS_PROJECTION, &framed);
        renderer->ops.render(renderer);
        EXPECT_TRUE(window.frame() == scene_only) << "the scene's frame again";
    }
}

// The glyphs reach the device a row at a time at its own pitch: on a
// device whose rows are padded the overlay draws the same picture.
TEST_F(RendererObjectTest, TheOverlayIsTheSameOnRowsOfAnyPitch)
{
    FieldPtr field = loaded_field();
    std::vector<uint32_t> pictures[2];
    for (const UINT padding : {0u, 12u}) {
        D3D9Profile profile = d3d9_default_profile();
        profile.pitch_padding = padding;
        d3d9_test_set_profile(profile);
        start();
        renderer->ops.set_field(renderer, field.get());
        set_camera(100, 30, 35);
        show_axes(true);
        ASSERT_EQ(renderer->ops.render(renderer), S_OK);
        pictures[padding != 0] = window.frame();
        d3d9_test_reset();
    }
    EXPECT_TRUE(pictures[0] == pictures[1]);
}

// The overlay drawn is the layout of the picture as it now is: after the
// camera turns, the caption changes, the window grows to a larger font,
// and the options colour the bar, smooth the heights (the scale then ends
// at the smoothed peak, and an automatic width is named) and put them on a
// log scale.
TEST_F(RendererObjectTest, TheOverlayFollowsEveryChange)
{
    FieldPtr field = loaded_field();
    set_camera(100, 0, 90);
    renderer->ops.set_field(renderer, field.get());
    show_axes(true);
    OverlayScene scene{320,
                       240,
                       camera_vectors({100, 0, 90}),
                       density_field_range(field.get()),
                       density_field_max(field.get()),
                       density_field_counts(field.get()),
                       "",
                       ColourMap::grey};
    auto expect_overlay = [&](const char* after) {
        SCOPED_TRACE(after);
        GlyphAtlas atlas;
        const std::string texts = std::string(scene.caption) + std::string(scene.x_title) + std::string(scene.y_title) +
            std::string(scene.scale_title);
        ASSERT_TRUE(build_glyph_atlas(default_font_file(), overlay_pixel_size(scene.height), overlay_characters(texts),
                                      &atlas));
        const PictureOverlay overlay = lay_out_overlay(atlas, scene);
        std::vector<OverlayVertex> want(4 * overlay_quad_count(overlay));
        std::vector<uint16_t> indices(6 * overlay_quad_count(overlay));
        ASSERT_TRUE(write_overlay(want, indices, overlay, atlas));
        const std::vector<OverlayVertex> got = vertices_of<OverlayVertex>(state->batches[kOverlayBatch]);
        ASSERT_EQ(got.size(), want.size());
        EXPECT_EQ(std::memcmp(got.data(), want.data(), want.size() * sizeof(OverlayVertex)), 0);
    };
    expect_overlay("the first field");
    set_camera(100, 30, 35);
    scene.camera = camera_vectors({100, 30, 35});
    expect_overlay("a turn");
    renderer->ops.set_caption(renderer, "丘.txt");
    scene.caption = "丘.txt";
    expect_overlay("a caption");
    window.set_client_size(640, 480);
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 640, 480), 0);
    scene.width = 640;
    scene.height = 480;
    expect_overlay("a larger window");

    PictureOptions options;
    options.colour_map = ColourMap::magma;
    options.smoothing_cells = 2;
    options.log_scale = true;
    renderer->ops.set_picture_options(renderer, &options);
    std::vector<double> heights(201 * 201);
    ASSERT_TRUE(write_heights(heights, NodeGrid{201, 201, field->ops.data(field.get())}, density_field_max(field.get()),
                              options, &scene.max_weight));
    ASSERT_LT(scene.max_weight, density_field_max(field.get()) * 0.9);
    scene.colour_map = ColourMap::magma;
    scene.log_scale = true;
    expect_overlay("the options");

    // Automatic smoothing names its width, the one Scott's rule gives for
    // the field, and keeps it when the camera turns.
    options.smoothing_cells = kSmoothingAuto;
    renderer->ops.set_picture_options(renderer, &options);
    const NodeGrid nodes{201, 201, field->ops.data(field.get())};
    ASSERT_TRUE(write_heights(heights, nodes, density_field_max(field.get()), options, &scene.max_weight));
    scene.auto_smoothing_cells = scott_smoothing_cells(nodes, density_field_max(field.get()));
    ASSERT_GT(scene.auto_smoothing_cells, 0.0);
    expect_overlay("automatic smoothing");
    set_camera(100, 60, 35);
    scene.camera = camera_vectors({100, 60, 35});
    expect_overlay("automatic smoothing, turned");
    // A fixed width after the automatic one names none.
    options.smoothing_cells = 2;
    renderer->ops.set_picture_options(renderer, &options);
    ASSERT_TRUE(write_heights(heights, nodes, density_field_max(field.get()), options, &scene.max_weight));
    scene.auto_smoothing_cells = 0;
    expect_overlay("a fixed width after the automatic one");

    // The pointer's readout; a band dragged from its lower right corner up
    // and to the left, then let go.
    renderer->ops.set_readout(renderer, "x 1250.0  y 0.50");
    scene.readout = "x 1250.0  y 0.50";
    expect_overlay("a readout");
    const RECT dragged{500, 400, 120, 90};
    renderer->ops.set_band(renderer, &dragged);
    scene.band = ScreenBox{120, 90, 500, 400};
    expect_overlay("a band dragged up and to the left");
    renderer->ops.set_band(renderer, nullptr);
    scene.band.reset();
    expect_overlay("the band let go");
    // Names with characters no other text has.
    renderer->ops.set_axis_titles(renderer, "経度", "緯度");
    renderer->ops.set_scale_title(renderer, "平均 ‰");
    scene.x_title = "経度";
    scene.y_title = "緯度";
    scene.scale_title = "平均 ‰";
    expect_overlay("the names");
    // The map with equal units: a rectangle of the range's proportion.
    options.map_view = true;
    options.equal_aspect = true;
    renderer->ops.set_picture_options(renderer, &options);
    scene.map_view = true;
    scene.equal_aspect = true;
    expect_overlay("the map with equal units");
}

// Sums of weights with one below zero run from their least to their
// greatest, as means do: the least at the floor, zero a part of the way up,
// the greatest at the top, and the scale from the least sum; neither
// smoothed nor on a log scale. Sums of one sign rise from zero as counts do.
TEST_F(RendererObjectTest, SumsBelowZeroRunFromTheLeast)
{
    PictureOptions options;
    options.log_scale = true;
    options.smoothing_cells = 2;
    renderer->ops.set_picture_options(renderer, &options);
    for (const bool below : {true, false}) {
        SCOPED_TRACE(below ? "a sum below zero" : "sums of one sign");
        FieldPtr field(create_density_field(Range{0, 40, 0, 40}));
        ASSERT_TRUE(density_field_set_values(field.get(), 3, 0));
        std::FILE* file = std::tmpfile();
        std::fputs(below ? "10 10 5\n30 30 -2\n" : "10 10 5\n30 30 2\n", file);
        std::rewind(file);
        ASSERT_EQ(field->ops.load(field.get(), file, 0), 1);
        std::fclose(file);
        renderer->ops.set_field(renderer, field.get());
        EXPECT_EQ(levels_from_least(state->view), below);
        EXPECT_EQ(scale_is_log(*state), !below);
        if (!below)
            continue;
        ASSERT_NE(state->heights, nullptr);
        const double* nodes = field->ops.data(field.get());
        const auto [least, most] = std::minmax_element(nodes, nodes + 201 * 201);
        EXPECT_EQ(state->heights[most - nodes], 1.0);
        EXPECT_EQ(state->heights[least - nodes], 0.0);
        EXPECT_DOUBLE_EQ(state->heights[0], 2.0 / 7);
        EXPECT_EQ(state->top_weight, 5);
        EXPECT_EQ(scene_map_shape(*state).scale_foot, -2);
    }
}

// On the map the grid lines give way (they would read as ticks) and the
// cross is seen over every node; back in the camera's view the depth test
// hides again the cross where the raised quarter stands in front of it, and
// the frame is the one drawn before the map.
TEST_F(RendererObjectTest, TheMapDrawsNoGridLinesAndTheCameraViewKeepsItsDepth)
{
    FieldPtr field = make_field([](int i, int j) { return i <= 100 && j <= 100 ? 0.8 : 0.0; });
    renderer->ops.set_field(renderer, field.get());
    const MarkerPair pair{0.25, 0.75};
    renderer->ops.set_marker(renderer, &pair);
    const CameraSetting camera{100, 30, 35};
    renderer->ops.set_camera(renderer, &camera);
    renderer->ops.render(renderer);
    const std::vector<uint32_t> camera_frame = window.frame();
    EXPECT_GT(std::count(camera_frame.begin(), camera_frame.end(), kWhite), 500) << "the grid lines";
    // The cross on the floor behind the raised quarter (the eye is on the
    // +x, -y side) is hidden; on the quarter's top it shows.
    const CameraVectors v = camera_vectors(camera);
    const Matrix4 view = build_view_matrix(v.eye, v.at, v.up);
    const Matrix4 projection = build_scene_projection(320, 240);
    auto yellow_near = [&](float x, float y, float z) {
        const PixelPoint p = project_point(view, projection, 320, 240, x, y, z);
        bool yellow = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                yellow |= window.pixel(UINT(std::lround(p.x) + dx), UINT(std::lround(p.y) + dy)) == kYellow;
        return yellow;
    };
    ASSERT_TRUE(v.eye.x > 0 && v.eye.y < 0);
    EXPECT_FALSE(yellow_near(-0.25f, 0.1f, -0.01f)) << "behind the quarter";
    EXPECT_TRUE(yellow_near(-0.25f, -0.25f, -0.81f)) << "on its top";

    PictureOptions options;
    options.show_axes = false;
    options.map_view = true;
    renderer->ops.set_picture_options(renderer, &options);
    renderer->ops.render(renderer);
    const std::vector<uint32_t> map_frame = window.frame();
    EXPECT_EQ(std::count(map_frame.begin(), map_frame.end(), kWhite), 0) << "no grid lines";
    EXPECT_GT(std::count(map_frame.begin(), map_frame.end(), kYellow), 400) << "the cross across the square";

    options.map_view = false;
    renderer->ops.set_picture_options(renderer, &options);
    renderer->ops.render(renderer);
    EXPECT_TRUE(window.frame() == camera_frame);
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
    EXPECT_EQ(state->batches[kSurfaceBatch].primitive_count, 80000);
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
    for (int row = 0; row < 4; ++row)                                                      // bottom row first
        for (int x = 0; x < 4; ++x)
            file.append(quarters[row / 2][x / 2], 3);
    return file;
}

class TextureTest : public RendererTest {
protected:
    std::string path =
        (std::filesystem::temp_directory_path() / ("varnel-texture-" + std::to_string(::getpid()) + ".bmp")).string();
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

// Where there is no weight the shade is black and so is a texture seen
// through it; a texture alone is seen as it is, everywhere, while the
// grid lines and the cross keep their own colours.
TEST_F(TextureTest, TextureAloneIsSeenWhereTheShadeIsBlack)
{
    write(quarters_bitmap());
    FieldPtr field = make_field([](int i, int) { return i > 100 ? 0.5 : 0.0; });
    ASSERT_EQ(renderer->ops.set_texture(renderer, path.c_str()), S_OK);
    renderer->ops.set_field(renderer, field.get());
    const MarkerPair pair{0.25, 0.35};
    renderer->ops.set_marker(renderer, &pair);
    set_camera(100, 0, 90);
    struct Case {
        bool alone;
        int left_red, right_green; // top-left texel red, top-right green
    };
    for (const Case& c : {Case{false, 0, 192}, Case{true, 255, 255}}) {
        SCOPED_TRACE(c.alone);
        PictureOptions options;
        options.show_axes = false;
        options.texture_only = c.alone;
        renderer->ops.set_picture_options(renderer, &options);
        renderer->ops.render(renderer);
        expect_colour(-0.25, 0.25, 0, c.left_red, 0, 0);
        expect_colour(0.25, 0.25, -0.5, 0, c.right_green, 0);
        EXPECT_TRUE(seen_near(-0.2, -0.25, -0.01, kWhite));
        EXPECT_TRUE(seen_near(-0.25, -0.05, -0.01, kYellow));
    }
}

TEST_F(TextureTest, TextureLifecycle)
{
    write(quarters_bitmap());
    ASSERT_EQ(renderer->ops.set_texture(renderer, path.c_str()), S_OK);
    IDirect3DTexture9* texture = state->batches[kSurfaceBatch].texture;
    EXPECT_NE(texture, nullptr);
    EXPECT_STREQ(state->batches[kSurfaceBatch].texture_file, path.c_str());
    FieldPtr first = make_field([](int, int) { return 1.0; }), second = make_field([](int, int) { return 0.5; });
    for (DensityField* f : {first.get(), static_cast<DensityField*>(nullptr), second.get()}) {
        renderer->ops.set_field(renderer, f);
        EXPECT_EQ(state->batches[kSurfaceBatch].texture, texture) << "kept across fields";
    }
    // Not loadable: no texture, the path stays and the next reset tries again.
    write("not an image");
    EXPECT_EQ(renderer->ops.set_texture(renderer, path.c_str()), HRESULT(0x88760B59));
    EXPECT_EQ(state->batches[kSurfaceBatch].texture, nullptr);
    set_camera(100, 0, 90);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 192, 192);
    write(quarters_bitmap());
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 320, 240), 0);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 0, 0);
    // Removed with its path: the shade alone shows, also after a reset.
    EXPECT_EQ(renderer->ops.set_texture(renderer, nullptr), S_OK);
    EXPECT_EQ(state->batches[kSurfaceBatch].texture_file, nullptr);
    renderer->ops.resize(renderer, &window, 320, 240);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 192, 192);
}

// A batch binds its texture, or none, also when it has nothing to draw, so
// that no later draw finds an earlier batch's texture bound.
TEST_F(TextureTest, AnEmptyBatchStillBindsItsTexture)
{
    write(quarters_bitmap());
    ASSERT_EQ(renderer->ops.set_texture(renderer, path.c_str()), S_OK);
    IDirect3DTexture9* texture = state->batches[kSurfaceBatch].texture;
    for (IDirect3DTexture9* own : {static_cast<IDirect3DTexture9*>(nullptr), texture}) {
        state->device->SetTexture(0, own ? nullptr : texture);
        DrawBatch empty{};
        empty.texture = own;
        draw_batch(state->device, &empty, 1000);
        IDirect3DBaseTexture9* bound = nullptr;
        state->device->GetTexture(0, &bound);
        EXPECT_EQ(bound, static_cast<IDirect3DBaseTexture9*>(own));
        if (bound)
            bound->Release();
    }
}

TEST_F(TextureTest, DestroyGivesEveryReferenceBack)
{
    write(quarters_bitmap());
    FieldPtr field = make_field([](int, int) { return 0.5; });
    const MarkerPair pair{0.5, 0.5};
    show_axes(true);
    renderer->ops.set_marker(renderer, &pair);
    renderer->ops.set_field(renderer, field.get());
    renderer->ops.set_texture(renderer, path.c_str());
    renderer->ops.render(renderer);
    std::vector<IUnknown*> held = {state->d3d, state->device, state->batches[kSurfaceBatch].texture,
                                   state->batches[kOverlayBatch].texture};
    for (const DrawBatch& b : state->batches)
        held.insert(held.end(), {b.vertex_buffer, b.index_buffer});
    for (IUnknown* object : held)
        object->AddRef();
    renderer->ops.destroy(renderer);
    renderer = nullptr;
    for (size_t k = held.size(); k-- > 0;) // resources, then the device, then what made it
        EXPECT_EQ(held[k]->Release(), 0u) << k;
    EXPECT_EQ(field->ops.width(field.get()), 201) << "the field is not the renderer's";
}

} // namespace
