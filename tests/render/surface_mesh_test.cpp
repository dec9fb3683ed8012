// set_field and the surface mesh: the batch, its vertices and indices, the
// shades, fields that cannot be meshed, and failures of the buffers.
#include "render_fixture.h"

namespace {

class SurfaceMeshTest : public RendererTest {};

TEST_F(SurfaceMeshTest, SurfaceOf201x201Field)
{
    FieldPtr field = make_field([](int i, int j) { return (i + j) / 400.0; });
    renderer->ops.set_field(renderer, field.get());
    const DrawBatch& surface = state->surface_batch;
    expect_batch(surface, {24, 0x242, D3DPT_TRIANGLELIST, 3, 40401, 80000, 969624, 480000});

    const std::vector<SurfaceVertex> vertices = batch_vertices<SurfaceVertex>(surface);
    struct Corner {
        int index;
        float x, y, u, v;
    };
    for (const Corner& c : {Corner{0, -0.5f, -0.5f, 0, 1}, Corner{200, 0.5f, -0.5f, 1, 1},
                            Corner{40200, -0.5f, 0.5f, 0, 0}, Corner{40400, 0.5f, 0.5f, 1, 0}}) {
        const SurfaceVertex& v = vertices[c.index];
        EXPECT_EQ(v.x, c.x) << c.index;
        EXPECT_EQ(v.y, c.y) << c.index;
        EXPECT_EQ(v.u, c.u) << c.index;
        EXPECT_EQ(v.v, c.v) << c.index;
    }
    // Every vertex stands on its node: column i, row j, height -h.
    for (int k = 0; k < 40401; k += 97) {
        const int i = k % 201, j = k / 201;
        const double h = (i + j) / 400.0;
        ASSERT_NEAR(vertices[k].x, i / 200.0 - 0.5, 1e-7) << k;
        ASSERT_NEAR(vertices[k].y, j / 200.0 - 0.5, 1e-7) << k;
        ASSERT_EQ(vertices[k].z, static_cast<float>(-h)) << k;
        ASSERT_NEAR(vertices[k].u, i / 200.0, 1e-7) << k;
        ASSERT_NEAR(vertices[k].v, 1 - j / 200.0, 1e-7) << k;
    }
    // Column 100 is the middle exactly; x(i) and u(i) come from one rounded quotient.
    EXPECT_EQ(vertices[100].x, 0.0f);
    EXPECT_EQ(vertices[37].x, static_cast<float>(vertices[37].u - 0.5f));

    const std::vector<uint16_t> indices = batch_indices(surface);
    ASSERT_EQ(indices.size(), 240000u);
    EXPECT_EQ(std::vector<uint16_t>(indices.begin(), indices.begin() + 6),
              (std::vector<uint16_t>{0, 201, 1, 201, 202, 1}));
    EXPECT_EQ(std::vector<uint16_t>(indices.end() - 6, indices.end()),
              (std::vector<uint16_t>{40198, 40399, 40199, 40399, 40400, 40199}));
}

TEST_F(SurfaceMeshTest, ShadesOfNodeValues)
{
    struct Case {
        double value;
        D3DCOLOR shade;
    };
    const Case cases[] = {
        {0.0, 0xFF000000},  {-0.0, 0xFF000000}, {1e-300, 0xFF808080},    {0.25, 0xFFA0A0A0},
        {0.5, 0xFFC0C0C0},  {0.75, 0xFFDFDFDF}, {1.0, 0xFFFFFFFF},       {3.0, 0xFFFFFFFF},
        {-5.0, 0xFF000000}, {1e300, 0xFFFFFFFF}, {std::nan(""), 0xFF000000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(node_shade(c.value), c.shade) << c.value;

    // The same shades reach the vertices.
    FieldPtr field = make_field([&](int i, int) { return i < 11 ? cases[i].value : 0.0; });
    renderer->ops.set_field(renderer, field.get());
    const std::vector<SurfaceVertex> vertices = batch_vertices<SurfaceVertex>(state->surface_batch);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(vertices[i].shade, cases[i].shade) << i;
}

// Fields of other sizes: the surface needs 2 to 65,536 nodes, the grid lines
// steps that give 11 lines each way; the marker cross fits any size the
// surface does.
TEST_F(SurfaceMeshTest, FieldSizesThatCannotBeMeshedLeaveTheirBatchEmpty)
{
    struct Case {
        int nx, ny;
        int surface_triangles, grid_segments, marker_segments;
    };
    const Case cases[] = {
        {2, 2, 2, 0, 2},
        {1, 201, 0, 0, 0},
        {201, 0, 0, 0, 0},
        {256, 256, 130050, 5610, 510},
        {257, 256, 0, 5621, 511},
        {21, 31, 1200, 550, 50},
        {25, 201, 9600, 0, 224},
        {0, 0, 0, 0, 0},
        {-3, 5, 0, 0, 0},
        {70000, 70000, 0, 0, 0},
    };
    const MarkerPair middle{0.5, 0.5};
    renderer->ops.set_marker(renderer, &middle);
    for (const Case& c : cases) {
        SizedField field(c.nx, c.ny);
        renderer->ops.set_field(renderer, field.get());
        SCOPED_TRACE(testing::Message() << c.nx << " x " << c.ny);
        EXPECT_EQ(state->surface_batch.primitive_count, c.surface_triangles);
        EXPECT_EQ(state->grid_batch.primitive_count, c.grid_segments);
        EXPECT_EQ(state->marker_batch.primitive_count, c.marker_segments);
        EXPECT_EQ(state->surface_batch.vertex_buffer != nullptr, c.surface_triangles > 0);
        renderer->ops.render(renderer);
    }
    renderer->ops.set_field(renderer, nullptr);
}

// A failed buffer step leaves the surface undrawn, but the grid lines and
// the marker cross are still built and drawn.
TEST_F(SurfaceMeshTest, FailedSurfaceBuffersStillBuildTheOverlays)
{
    FieldPtr field = make_field([](int, int) { return 0.5; });
    const MarkerPair pair{0.25, 0.75};
    renderer->ops.set_marker(renderer, &pair);
    set_camera(100, 0, 90);
    for (D3D9Call call :
         {D3D9Call::CreateVertexBuffer, D3D9Call::VertexBufferLock, D3D9Call::CreateIndexBuffer,
          D3D9Call::IndexBufferLock}) {
        SCOPED_TRACE(static_cast<int>(call));
        d3d9_test_fail(call); // the surface's buffers come first
        renderer->ops.set_field(renderer, field.get());
        EXPECT_EQ(state->surface_batch.vertex_count, 0);
        EXPECT_EQ(state->surface_batch.primitive_count, 0);
        EXPECT_EQ(state->grid_batch.primitive_count, 4400);
        EXPECT_EQ(state->marker_batch.primitive_count, 400);
        renderer->ops.render(renderer);
        // Inside a cell the background shows; the grid line at x = -0.2 is white.
        EXPECT_EQ(pixel_at(top_view_pixel(-0.35, -0.35, -0.5)), 0x808080u);
        EXPECT_TRUE(colour_near(top_view_pixel(-0.2, -0.35, -0.51), 0xFFFFFF));
    }
    // Good buffers again: the surface is back, shaded 0xC0 at height 0.5.
    renderer->ops.set_field(renderer, field.get());
    EXPECT_EQ(state->surface_batch.primitive_count, 80000);
    renderer->ops.render(renderer);
    EXPECT_EQ(pixel_at(top_view_pixel(-0.35, -0.35, -0.5)), 0xC0C0C0u);
}

// Without a field nothing is drawn or built; the texture path stays for the
// next field.
TEST_F(SurfaceMeshTest, DroppingTheFieldEmptiesTheGeometry)
{
    FieldPtr field = make_field([](int, int) { return 1.0; });
    const MarkerPair pair{0.5, 0.5};
    renderer->ops.set_marker(renderer, &pair);
    renderer->ops.set_texture(renderer, "/nonexistent/texture.bmp");
    renderer->ops.set_field(renderer, field.get());
    ASSERT_EQ(state->marker_batch.primitive_count, 400);

    renderer->ops.set_field(renderer, nullptr);
    field.reset();
    for (const DrawBatch* batch : {&state->surface_batch, &state->grid_batch, &state->marker_batch}) {
        EXPECT_EQ(batch->vertex_buffer, nullptr);
        EXPECT_EQ(batch->index_buffer, nullptr);
        EXPECT_EQ(batch->primitive_count, 0);
    }
    EXPECT_STREQ(state->surface_batch.texture_file, "/nonexistent/texture.bmp");
    // A marker change now only records the pair; the destroyed field is not read.
    const MarkerPair other{0.25, 0.25};
    renderer->ops.set_marker(renderer, &other);
    EXPECT_EQ(state->marker_batch.primitive_count, 0);
    renderer->ops.render(renderer);
    EXPECT_EQ(pixels_other_than(0x808080), 0u);
}

} // namespace
