// The geometry set_field and set_marker build: the surface mesh, the grid
// lines and the marker cross, fields that cannot be meshed, failed buffers.
#include <algorithm>
#include <limits>
#include <tuple>

#include "render_fixture.h"

namespace {

class GeometryTest : public RendererTest {};

// Heights that name their node.
double named(int i, int j)
{
    return (i + 1000.0 * j) / 1e6;
}
float above(double h)
{
    return static_cast<float>(-h - 0.01);
}

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

TEST_F(GeometryTest, SurfaceOf201x201Field)
{
    FieldPtr field = make_field(named);
    renderer->ops.set_field(renderer, field.get());
    expect_shape(state->surface_batch, {24, 0x242, D3DPT_TRIANGLELIST, 3, 40401, 80000, 969624, 480000});
    const std::vector<SurfaceVertex> v = vertices_of<SurfaceVertex>(state->surface_batch);
    for (int k = 0; k < 40401; k += 97) {
        const int i = k % 201, j = k / 201;
        ASSERT_NEAR(v[k].x, i / 200.0 - 0.5, 1e-7) << k;
        ASSERT_NEAR(v[k].y, j / 200.0 - 0.5, 1e-7) << k;
        ASSERT_EQ(v[k].z, static_cast<float>(-named(i, j))) << k;
        ASSERT_NEAR(v[k].u, i / 200.0, 1e-7) << k;
        ASSERT_NEAR(v[k].v, 1 - j / 200.0, 1e-7) << k;
    }
    // Corners exactly; x and u come from one rounded quotient.
    const float corners[4][5] = {{0, -.5f, -.5f, 0, 1}, {200, .5f, -.5f, 1, 1}, {40200, -.5f, .5f, 0, 0},
                                 {40400, .5f, .5f, 1, 0}};
    for (const auto& c : corners)
        EXPECT_TRUE(v[int(c[0])].x == c[1] && v[int(c[0])].y == c[2] && v[int(c[0])].u == c[3] &&
                    v[int(c[0])].v == c[4])
            << c[0];
    EXPECT_EQ(v[37].x, v[37].u - 0.5f);
    const std::vector<uint16_t> indices = indices_of(state->surface_batch);
    EXPECT_EQ(std::vector<uint16_t>(indices.begin(), indices.begin() + 6),
              (std::vector<uint16_t>{0, 201, 1, 201, 202, 1}));
    EXPECT_EQ(std::vector<uint16_t>(indices.end() - 6, indices.end()),
              (std::vector<uint16_t>{40198, 40399, 40199, 40399, 40400, 40199}));
}

TEST_F(GeometryTest, Shades)
{
    const std::pair<double, D3DCOLOR> cases[] = {
        {0.0, 0xFF000000},  {-0.0, 0xFF000000}, {1e-300, 0xFF808080}, {0.25, 0xFFA0A0A0},
        {0.5, 0xFFC0C0C0},  {0.75, 0xFFDFDFDF}, {1.0, 0xFFFFFFFF},    {3.0, 0xFFFFFFFF},
        {-5.0, 0xFF000000}, {std::nan(""), 0xFF000000}};
    FieldPtr field = make_field([&](int i, int) { return i < 10 ? cases[i].first : 0.0; });
    renderer->ops.set_field(renderer, field.get());
    const std::vector<SurfaceVertex> v = vertices_of<SurfaceVertex>(state->surface_batch);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(v[i].shade, cases[i].second) << cases[i].first;
}

TEST_F(GeometryTest, GridLinesOf201x201Field)
{
    FieldPtr field = make_field(named);
    renderer->ops.set_field(renderer, field.get());
    expect_shape(state->grid_batch, {12, 2, D3DPT_LINELIST, 2, 4422, 4400, 53064, 17600});
    const std::vector<LineVertex> v = vertices_of<LineVertex>(state->grid_batch);
    const std::vector<SurfaceVertex> nodes = vertices_of<SurfaceVertex>(state->surface_batch);
    // Rows 0, 20, ..., 200, then the same columns, on the nodes 0.01 above.
    for (int line = 0; line < 22; ++line) {
        for (int s = 0; s < 201; ++s) {
            const int i = line < 11 ? s : 20 * (line - 11), j = line < 11 ? 20 * line : s;
            const LineVertex& p = v[size_t(line) * 201 + s];
            ASSERT_TRUE(p.x == nodes[j * 201 + i].x && p.y == nodes[j * 201 + i].y) << line << " " << s;
            ASSERT_EQ(p.z, above(named(i, j))) << line << " " << s;
        }
    }
    const std::vector<uint16_t> pairs = indices_of(state->grid_batch);
    EXPECT_EQ(pairs[398], 199);
    EXPECT_EQ(pairs[401], 202);
    EXPECT_EQ(pairs[8799], 4421);
    for (size_t k = 0; k < pairs.size(); k += 2) // neighbours on one line only
        ASSERT_TRUE(pairs[k + 1] == pairs[k] + 1 && pairs[k + 1] % 201 != 0) << k;
}

// The cross stands at the pair with the heights of the nearest row and
// column (halves up); a pair off 0..1 is kept but not drawn.
TEST_F(GeometryTest, MarkerCross)
{
    const MarkerPair before{0.25, 0.75};
    renderer->ops.set_marker(renderer, &before);
    EXPECT_EQ(state->marker_batch.vertex_buffer, nullptr) << "no field yet";
    FieldPtr field = make_field(named);
    renderer->ops.set_field(renderer, field.get());
    expect_shape(state->marker_batch, {16, 0x42, D3DPT_LINELIST, 2, 402, 400, 6432, 1600});

    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        MarkerPair pair;
        int row, column; // -1: not drawn
    };
    const Case cases[] = {{{0.5, 0.5}, 100, 100},     {{0, 0}, 0, 0},           {{1, 1}, 200, 200},
                          {{0.25, 0.75}, 150, 50},    {{0.0625, 0.0625}, 13, 13}, {{0.0024, 0.9976}, 200, 0},
                          {{-0.001, 0.5}, -1, -1},    {{0.5, 1.0001}, -1, -1},   {{std::nan(""), 0.5}, -1, -1},
                          {{0.5, -inf}, -1, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pair.x << ", " << c.pair.y);
        renderer->ops.set_marker(renderer, &c.pair);
        EXPECT_EQ(state->marker_on, 1);
        if (c.row < 0) {
            EXPECT_EQ(state->marker_batch.vertex_buffer, nullptr);
            EXPECT_EQ(state->marker_batch.primitive_count, 0);
            continue;
        }
        const std::vector<MarkerVertex> v = vertices_of<MarkerVertex>(state->marker_batch);
        for (int s = 0; s < 201; ++s) {
            ASSERT_EQ(v[s].y, static_cast<float>(c.pair.y - 0.5));
            ASSERT_EQ(v[s].z, above(named(s, c.row)));
            ASSERT_EQ(v[201 + s].x, static_cast<float>(c.pair.x - 0.5));
            ASSERT_EQ(v[201 + s].z, above(named(c.column, s)));
            ASSERT_EQ(v[s].color & v[201 + s].color, 0xFFFFFF00u);
        }
        const std::vector<uint16_t> pairs = indices_of(state->marker_batch);
        EXPECT_TRUE(pairs[398] == 199 && pairs[399] == 200 && pairs[400] == 201 && pairs[799] == 401);
    }
    // Removed: off, (0, 0), every member zero; a new field does not bring it back.
    renderer->ops.set_marker(renderer, nullptr);
    const DrawBatch zero{};
    EXPECT_TRUE(state->marker_on == 0 && state->marker_pos.x == 0 && state->marker_pos.y == 0);
    EXPECT_EQ(std::memcmp(&state->marker_batch, &zero, sizeof zero), 0);
    renderer->ops.set_field(renderer, field.get());
    EXPECT_EQ(state->marker_batch.primitive_count, 0);
}

// The surface needs 2 to 65,536 nodes, the grid lines steps giving 11
// lines each way; the cross fits wherever the positions can be formed.
TEST_F(GeometryTest, FieldSizesThatCannotBeMeshedLeaveTheirBatchEmpty)
{
    const int cases[][5] = {
        // nx, ny, triangles, grid segments, marker segments
        {2, 2, 2, 0, 2},         {1, 201, 0, 0, 0},   {201, 0, 0, 0, 0},     {256, 256, 130050, 5610, 510},
        {257, 256, 0, 5621, 511}, {21, 31, 1200, 550, 50}, {25, 201, 9600, 0, 224}, {-3, 5, 0, 0, 0},
        {70000, 70000, 0, 0, 0}};
    const MarkerPair middle{0.5, 0.5};
    renderer->ops.set_marker(renderer, &middle);
    for (const auto& c : cases) {
        SizedField field(c[0], c[1]);
        renderer->ops.set_field(renderer, field.get());
        EXPECT_EQ(state->surface_batch.primitive_count, c[2]) << c[0] << " x " << c[1];
        EXPECT_EQ(state->grid_batch.primitive_count, c[3]) << c[0] << " x " << c[1];
        EXPECT_EQ(state->marker_batch.primitive_count, c[4]) << c[0] << " x " << c[1];
        renderer->ops.render(renderer);
    }
}

// A failed buffer step leaves the surface out while the overlays are still
// built and drawn; a null field empties everything but keeps the texture path.
TEST_F(GeometryTest, FailedSurfaceBuffersAndDroppedFields)
{
    FieldPtr field = make_field([](int, int) { return 0.5; });
    const MarkerPair pair{0.25, 0.75};
    renderer->ops.set_marker(renderer, &pair);
    set_camera(100, 0, 90);
    for (D3D9Call call : {D3D9Call::CreateVertexBuffer, D3D9Call::VertexBufferLock, D3D9Call::CreateIndexBuffer,
                          D3D9Call::IndexBufferLock}) {
        d3d9_test_fail(call); // the surface's buffers come first
        renderer->ops.set_field(renderer, field.get());
        EXPECT_EQ(state->surface_batch.vertex_count | state->surface_batch.primitive_count, 0);
        EXPECT_EQ(state->grid_batch.primitive_count + state->marker_batch.primitive_count, 4800);
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
    for (const DrawBatch* b : {&state->surface_batch, &state->grid_batch, &state->marker_batch})
        EXPECT_TRUE(!b->vertex_buffer && !b->index_buffer && !b->primitive_count);
    EXPECT_STREQ(state->surface_batch.texture_file, "/nonexistent/texture.bmp");
    renderer->ops.set_marker(renderer, &pair); // only recorded: the field is gone
    EXPECT_EQ(state->marker_batch.primitive_count, 0);
    renderer->ops.render(renderer);
    EXPECT_EQ(std::count(window.frame().begin(), window.frame().end(), 0x808080u), 320 * 240);
}

} // namespace
