// The batches set_field and set_marker build on the device: their formats
// and buffers, fields that cannot be meshed, failed buffers.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>

#include "render_fixture.h"

namespace {

class SceneBatches : public RendererTest {};

// Heights that name their node.
double named(int i, int j) { return (i + 1000.0 * j) / 1e6; }

struct Shape {
    uint32_t stride, fvf;
    D3DPRIMITIVETYPE type;
    int32_t per_primitive, vertices, primitives;
    UINT vertex_bytes, index_bytes;
};

void expect_shape(const DrawBatch& b, const Shape& want)
{
    EXPECT_EQ(std::tie(b.stride, b.fvf, b.primitive_type, b.indices_per_primitive, b.vertex_count, b.primitive_count),
              std::tie(want.stride, want.fvf, want.type, want.per_primitive, want.vertices, want.primitives));
    D3DVERTEXBUFFER_DESC vertex_desc{};
    D3DINDEXBUFFER_DESC index_desc{};
    b.vertex_buffer->GetDesc(&vertex_desc);
    b.index_buffer->GetDesc(&index_desc);
    EXPECT_EQ(vertex_desc.Size, want.vertex_bytes);
    EXPECT_EQ(index_desc.Size, want.index_bytes);
    EXPECT_TRUE(vertex_desc.Pool == D3DPOOL_MANAGED && index_desc.Pool == D3DPOOL_MANAGED);
    EXPECT_EQ(index_desc.Format, D3DFMT_INDEX16);
}

// The three batches of a 201 x 201 field, and the cross's life: built once
// a field is there, rebuilt or emptied with each pair, removed whole.
TEST_F(SceneBatches, BatchesOfA201x201FieldAndTheMarkersLife)
{
    const MarkerPair before{0.25, 0.75};
    renderer->ops.set_marker(renderer, &before);
    EXPECT_EQ(state->batches[kMarkerBatch].vertex_buffer, nullptr) << "no field yet";
    FieldPtr field = make_field(named);
    renderer->ops.set_field(renderer, field.get());
    expect_shape(state->batches[kSurfaceBatch], {24, 0x242, D3DPT_TRIANGLELIST, 3, 40401, 80000, 969624, 4 * 480000});
    expect_shape(state->batches[kGridBatch], {12, 2, D3DPT_LINELIST, 2, 4422, 4400, 53064, 17600});
    expect_shape(state->batches[kMarkerBatch], {16, 0x42, D3DPT_LINELIST, 2, 402, 400, 6432, 1600});
    // What the buffers hold is what the scene writes.
    EXPECT_EQ(vertices_of<SurfaceVertex>(state->batches[kSurfaceBatch])[40400].color, node_shade(named(200, 200)));
    EXPECT_EQ(vertices_of<MarkerVertex>(state->batches[kMarkerBatch])[401].z,
              static_cast<float>(-named(50, 200) - 0.01));
    const MarkerPair off{0.5, 1.0001};
    renderer->ops.set_marker(renderer, &off);
    EXPECT_TRUE(state->marker_on == 1 && state->batches[kMarkerBatch].vertex_buffer == nullptr &&
                state->batches[kMarkerBatch].primitive_count == 0);
    // Removed: off, (0, 0), every member zero; a new field does not bring it back.
    renderer->ops.set_marker(renderer, nullptr);
    const DrawBatch zero{};
    EXPECT_TRUE(state->marker_on == 0 && state->marker_pos.x == 0 && state->marker_pos.y == 0);
    EXPECT_EQ(std::memcmp(&state->batches[kMarkerBatch], &zero, sizeof zero), 0);
    renderer->ops.set_field(renderer, field.get());
    EXPECT_EQ(state->batches[kMarkerBatch].primitive_count, 0);
}

// The surface needs 2 to 65,536 nodes, the grid lines steps giving 11
// lines each way; the cross fits wherever the positions can be formed.
TEST_F(SceneBatches, FieldSizesThatCannotBeMeshedLeaveTheirBatchEmpty)
{
    const int cases[][5] = {
        // nx, ny, triangles, grid segments, marker segments
        {2, 2, 2, 0, 2},          {1, 201, 0, 0, 0},       {201, 0, 0, 0, 0},       {256, 256, 130050, 5610, 510},
        {257, 256, 0, 5621, 511}, {21, 31, 1200, 550, 50}, {25, 201, 9600, 0, 224}, {-3, 5, 0, 0, 0},
        {70000, 70000, 0, 0, 0}};
    const MarkerPair middle{0.5, 0.5};
    renderer->ops.set_marker(renderer, &middle);
    for (const auto& c : cases) {
        SizedField field(c[0], c[1]);
        renderer->ops.set_field(renderer, field.get());
        EXPECT_EQ(state->batches[kSurfaceBatch].primitive_count, c[2]) << c[0] << " x " << c[1];
        EXPECT_EQ(state->batches[kGridBatch].primitive_count, c[3]) << c[0] << " x " << c[1];
        EXPECT_EQ(state->batches[kMarkerBatch].primitive_count, c[4]) << c[0] << " x " << c[1];
        renderer->ops.render(renderer);
    }
    // The field's width runs across: the second node is a thirtieth along.
    SizedField wide(31, 21);
    renderer->ops.set_field(renderer, wide.get());
    EXPECT_FLOAT_EQ(vertices_of<SurfaceVertex>(state->batches[kSurfaceBatch])[1].x, 1 / 30.0f - 0.5f);
}

// A failed buffer step leaves the surface out while the overlays are still
// built and drawn; a null field empties everything but keeps the texture path.
TEST_F(SceneBatches, FailedSurfaceBuffersAndDroppedFields)
{
    FieldPtr field = make_field([](int, int) { return 0.5; });
    const MarkerPair pair{0.25, 0.75};
    renderer->ops.set_marker(renderer, &pair);
    set_camera(100, 0, 90);
    for (D3D9Call call : {D3D9Call::CreateVertexBuffer, D3D9Call::VertexBufferLock, D3D9Call::CreateIndexBuffer,
                          D3D9Call::IndexBufferLock}) {
        d3d9_test_fail(call); // the surface's buffers come first
        renderer->ops.set_field(renderer, field.get());
        EXPECT_EQ(state->batches[kSurfaceBatch].vertex_count | state->batches[kSurfaceBatch].primitive_count, 0);
        EXPECT_EQ(state->batches[kGridBatch].primitive_count + state->batches[kMarkerBatch].primitive_count, 4800);
        renderer->ops.render(renderer);
        EXPECT_EQ(seen(-0.35, -0.35, -0.5), 0x808080u) << int(call);
        EXPECT_TRUE(seen_near(-0.2, -0.35, -0.51, 0xFFFFFF)) << int(call);
    }
    renderer->ops.set_texture(renderer, "/nonexistent/texture.bmp");
    renderer->ops.set_field(renderer, field.get());
    renderer->ops.render(renderer);
    EXPECT_EQ(seen(-0.35, -0.35, -0.5), 0xC0C0C0u);

    renderer->ops.set_field(renderer, nullptr);
    field.reset();
    for (const DrawBatch& b : state->batches)
        EXPECT_TRUE(!b.vertex_buffer && !b.index_buffer && !b.primitive_count);
    EXPECT_STREQ(state->batches[kSurfaceBatch].texture_file, "/nonexistent/texture.bmp");
    renderer->ops.set_marker(renderer, &pair); // only recorded: the field is gone
    EXPECT_EQ(state->batches[kMarkerBatch].primitive_count, 0);
    renderer->ops.render(renderer);
    EXPECT_EQ(std::count(window.frame().begin(), window.frame().end(), 0x808080u), 320 * 240);
}

// The options reach every batch: a heavy-tailed field loaded from points
// (1000 on one node, 10 on another, 1 on a third) is drawn, surface and
// cross alike, from log(1 + weight), its colours from those heights; the
// defaults bring the field's own nodes back.
TEST_F(SceneBatches, TheOptionsHeightsAndColoursReachEveryBatch)
{
    FieldPtr field(create_density_field(Range{0, 4000, 0, 4000}));
    std::string points;
    for (const auto& [line, times] : {std::pair{"1000 1000\n", 1000}, {"3000 2000\n", 10}, {"2000 3000\n", 1}})
        for (int k = 0; k < times; ++k)
            points += line;
    std::FILE* stream = fmemopen(points.data(), points.size(), "r");
    ASSERT_EQ(field->ops.load(field.get(), stream, 0), 1);
    std::fclose(stream);
    // Each point lies on a node corner and gives it its whole weight.
    const size_t heavy = 51 * 201 + 51, light = 101 * 201 + 151, single = 151 * 201 + 101;
    const double* nodes = field->ops.data(field.get());
    ASSERT_TRUE(nodes[heavy] == 1.0 && nodes[light] == 0.01 && nodes[single] == 0.001);
    const MarkerPair on_light{(3000 + 20) / 4000.0, (2000 + 20) / 4000.0};
    renderer->ops.set_marker(renderer, &on_light);

    PictureOptions options;
    options.log_scale = true;
    options.colour_map = ColourMap::viridis;
    renderer->ops.set_picture_options(renderer, &options);
    renderer->ops.set_field(renderer, field.get());
    std::vector<SurfaceVertex> surface = vertices_of<SurfaceVertex>(state->batches[kSurfaceBatch]);
    EXPECT_FLOAT_EQ(surface[heavy].z, -1.0f);
    EXPECT_NEAR(surface[light].z / surface[heavy].z, std::log(11.0) / std::log(1001.0), 1e-6);
    EXPECT_NEAR(surface[single].z / surface[light].z, std::log(2.0) / std::log(11.0), 1e-6);
    EXPECT_EQ(surface[light].color, node_colour(ColourMap::viridis, std::log(11.0) / std::log(1001.0)));
    EXPECT_EQ(surface[0].color, node_colour(ColourMap::viridis, 0.0));
    // The cross's row through the light node runs 0.01 above its new height.
    EXPECT_NEAR(vertices_of<MarkerVertex>(state->batches[kMarkerBatch])[151].z, surface[light].z - 0.01f, 1e-6);

    const PictureOptions defaults;
    renderer->ops.set_picture_options(renderer, &defaults);
    surface = vertices_of<SurfaceVertex>(state->batches[kSurfaceBatch]);
    EXPECT_FLOAT_EQ(surface[light].z, -0.01f);
    EXPECT_EQ(surface[light].color, node_shade(0.01));
    EXPECT_EQ(state->heights, nullptr);
}

} // namespace
