// The grid lines and the marker cross: their batches, vertices and index
// pairs, the marker's rows and columns, pairs off the grid, and set_marker.
#include <limits>

#include "render_fixture.h"

namespace {

class OverlaysTest : public RendererTest {};

// Heights that name their node: h(i, j) = (i + 1000 j) / 1e6.
double named_height(int i, int j)
{
    return (i + 1000.0 * j) / 1e6;
}

float above(double h)
{
    return static_cast<float>(-h - 0.01);
}

// Both overlays start with the line along x on 201 nodes: pairs (0, 1) to
// (199, 200), then (201, 202) begins the next line.
void expect_first_pairs(const std::vector<uint16_t>& pairs)
{
    EXPECT_EQ(pairs[0], 0);
    EXPECT_EQ(pairs[1], 1);
    EXPECT_EQ(pairs[398], 199);
    EXPECT_EQ(pairs[399], 200);
    EXPECT_EQ(pairs[400], 201);
    EXPECT_EQ(pairs[401], 202);
}

TEST_F(OverlaysTest, GridLinesOf201x201Field)
{
    FieldPtr field = make_field(named_height);
    renderer->ops.set_field(renderer, field.get());
    const DrawBatch& grid = state->grid_batch;
    expect_batch(grid, {12, 2, D3DPT_LINELIST, 2, 4422, 4400, 53064, 17600});

    const std::vector<LineVertex> v = batch_vertices<LineVertex>(grid);
    const std::vector<SurfaceVertex> surface = batch_vertices<SurfaceVertex>(state->surface_batch);
    // Lines along x on rows 0, 20, ..., 200, then along y on the same columns;
    // every vertex lies on its surface node, 0.01 above it.
    for (int line = 0; line < 22; ++line) {
        for (int s = 0; s < 201; ++s) {
            const bool along_x = line < 11;
            const int i = along_x ? s : 20 * (line - 11), j = along_x ? 20 * line : s;
            const LineVertex& p = v[size_t(line) * 201 + s];
            const SurfaceVertex& node = surface[size_t(j) * 201 + i];
            ASSERT_EQ(p.x, node.x) << line << " " << s;
            ASSERT_EQ(p.y, node.y) << line << " " << s;
            ASSERT_EQ(p.z, above(named_height(i, j))) << line << " " << s;
        }
    }
    EXPECT_EQ(v[0].x, -0.5f);
    EXPECT_EQ(v[2211].y, -0.5f);
    EXPECT_EQ(v[4421].x, 0.5f);
    EXPECT_EQ(v[4421].y, 0.5f);

    const std::vector<uint16_t> pairs = batch_indices(grid);
    ASSERT_EQ(pairs.size(), 8800u);
    expect_first_pairs(pairs);
    EXPECT_EQ(pairs[8798], 4420);
    EXPECT_EQ(pairs[8799], 4421);
    // Every segment joins neighbours on one line; none crosses to the next line.
    for (size_t k = 0; k < pairs.size(); k += 2) {
        ASSERT_EQ(pairs[k + 1], pairs[k] + 1) << k;
        ASSERT_NE(pairs[k + 1] % 201, 0) << k;
    }
}

TEST_F(OverlaysTest, FlatFieldPutsTheOverlaysJustAboveZero)
{
    FieldPtr field = make_field([](int, int) { return 0.0; });
    const MarkerPair pair{0.3, 0.6};
    renderer->ops.set_marker(renderer, &pair);
    renderer->ops.set_field(renderer, field.get());
    for (const LineVertex& p : batch_vertices<LineVertex>(state->grid_batch))
        ASSERT_EQ(p.z, -0.01f);
    for (const MarkerVertex& p : batch_vertices<MarkerVertex>(state->marker_batch))
        ASSERT_EQ(p.z, -0.01f);
}

// The cross stands exactly at the pair, with the heights of the nearest
// row (line along x) and column (line along y), halves rounded up.
TEST_F(OverlaysTest, MarkerCrossFollowsTheNearestRowAndColumn)
{
    FieldPtr field = make_field(named_height);
    renderer->ops.set_field(renderer, field.get());
    struct Case {
        MarkerPair pair;
        int row, column;
    };
    const Case cases[] = {
        {{0.5, 0.5}, 100, 100},
        {{0.0, 0.0}, 0, 0},
        {{1.0, 1.0}, 200, 200},
        {{0.25, 0.75}, 150, 50},
        {{0.0625, 0.0625}, 13, 13}, // 12.5 rounds up
        {{0.0024, 0.9976}, 200, 0},  // 0.48 and 199.52
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pair.x << ", " << c.pair.y);
        renderer->ops.set_marker(renderer, &c.pair);
        const DrawBatch& marker = state->marker_batch;
        expect_batch(marker, {16, 0x42, D3DPT_LINELIST, 2, 402, 400, 6432, 1600});
        const std::vector<MarkerVertex> v = batch_vertices<MarkerVertex>(marker);
        for (int s = 0; s < 201; ++s) {
            ASSERT_EQ(v[s].y, static_cast<float>(c.pair.y - 0.5)) << s;
            ASSERT_NEAR(v[s].x, s / 200.0 - 0.5, 1e-7) << s;
            ASSERT_NEAR(v[201 + s].y, s / 200.0 - 0.5, 1e-7) << s;
            ASSERT_EQ(v[s].z, above(named_height(s, c.row))) << s;
            ASSERT_EQ(v[201 + s].x, static_cast<float>(c.pair.x - 0.5)) << s;
            ASSERT_EQ(v[201 + s].z, above(named_height(c.column, s))) << s;
            ASSERT_EQ(v[s].color, 0xFFFFFF00u);
            ASSERT_EQ(v[201 + s].color, 0xFFFFFF00u);
        }
        const std::vector<uint16_t> pairs = batch_indices(marker);
        ASSERT_EQ(pairs.size(), 800u);
        expect_first_pairs(pairs);
        EXPECT_EQ(pairs[798], 400);
        EXPECT_EQ(pairs[799], 401);
    }
}

// Fractions off 0..1 or not finite would address nodes off the grid: the
// cross is left out, the marker stays set, and a good pair brings it back.
TEST_F(OverlaysTest, MarkerOffTheGridIsLeftOut)
{
    FieldPtr field = make_field(named_height);
    renderer->ops.set_field(renderer, field.get());
    const double inf = std::numeric_limits<double>::infinity();
    for (MarkerPair pair : {MarkerPair{-0.001, 0.5}, MarkerPair{0.5, 1.0001}, MarkerPair{std::nan(""), 0.5},
                            MarkerPair{0.5, -inf}, MarkerPair{inf, 0.5}, MarkerPair{1e300, -1e300}}) {
        renderer->ops.set_marker(renderer, &pair);
        EXPECT_EQ(state->marker_on, 1);
        EXPECT_EQ(state->marker_batch.vertex_buffer, nullptr);
        EXPECT_EQ(state->marker_batch.primitive_count, 0);
        renderer->ops.render(renderer);
    }
    const MarkerPair good{0.5, 0.5};
    renderer->ops.set_marker(renderer, &good);
    EXPECT_EQ(state->marker_batch.primitive_count, 400);
}

TEST_F(OverlaysTest, MarkerLifecycle)
{
    // Placed before any field: recorded only, then built by the first field.
    const MarkerPair pair{0.25, 0.75};
    renderer->ops.set_marker(renderer, &pair);
    EXPECT_EQ(state->marker_on, 1);
    EXPECT_EQ(state->marker_batch.primitive_count, 0);
    FieldPtr first = make_field([](int, int) { return 0.0; });
    renderer->ops.set_field(renderer, first.get());
    EXPECT_EQ(state->marker_batch.primitive_count, 400);

    // The fractions survive a new field.
    FieldPtr second = make_field(named_height);
    renderer->ops.set_field(renderer, second.get());
    first.reset();
    EXPECT_EQ(batch_vertices<MarkerVertex>(state->marker_batch)[0].z, above(named_height(0, 150)));

    // Removed: off, (0, 0), every member zero, and no later field brings it back.
    renderer->ops.set_marker(renderer, nullptr);
    EXPECT_EQ(state->marker_on, 0);
    EXPECT_EQ(state->marker_pos.x, 0.0);
    EXPECT_EQ(state->marker_pos.y, 0.0);
    const DrawBatch zero{};
    EXPECT_EQ(std::memcmp(&state->marker_batch, &zero, sizeof zero), 0);
    renderer->ops.set_field(renderer, second.get());
    EXPECT_EQ(state->marker_batch.primitive_count, 0);
}

} // namespace
