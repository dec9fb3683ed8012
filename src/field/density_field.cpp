#include "field/density_field.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "field/density_field_test_hook.h"
#include "field/point_reader.h"

namespace {

constexpr int kNodes = 201;
constexpr int kCells = kNodes - 1;
constexpr char kTag[8] = {'m', 'e', 's', 'h', '_', 'f', 'l', 'd'};

} // namespace

struct FieldState {
    char tag[8];
    double x_min, y_min, x_max, y_max;
    double dx, dy;
    double max;
    double* grid;
    int nx, ny;
    int rejected;
    Columns columns;  // where x and y stand in a line
    ReadWatch watch;  // asked while a load reads
    unsigned threads; // that read the text; 0: one per core
    ReadCounts read;  // what the last load's reader found
    long long binned; // points of the last load inside the range
};

namespace {

// The record, its state and its nodes live in one block.
struct FieldBlock {
    DensityField field;
    FieldState state;
    double nodes[kNodes * kNodes];
};

FieldState* state_of(DensityField* field)
{
    if (!field || !field->state || std::memcmp(field->state->tag, kTag, sizeof kTag) != 0)
        return nullptr;
    return field->state;
}

typedef double Pair __attribute__((vector_size(16)));

std::atomic<bool> g_wide_binning_allowed{true};

// What binning a point needs to know, fixed for a whole load, so that many
// threads can bin at once.
struct Binning {
    double x_min, y_min, x_max, y_max;
    double dx, dy;
};

// One chunk's share of a load: its own nodes and counts.
struct PartialField {
    double nodes[kNodes * kNodes];
    long long binned;
    long long rejected;
};

// A point's cell, by its first node, and where in the cell it lies.
struct CellPlace {
    int node;
    double fx, fy;
};

// Points are placed in their cells this many at a time, then added in.
constexpr std::size_t kPlaceBatch = 256;

// Whether the quotients of a point's place put it in a cell.
inline bool in_a_cell(double qx, double qy) { return qx >= 0.0 && qx <= kCells && qy >= 0.0 && qy <= kCells; }

// The place of one point in its cell, unless it falls in none: then false,
// counting it as rejected unless it is no point at all.
inline bool place_point(const Binning& b, Point point, CellPlace& place, long long& rejected)
{
    double x = point.x, y = point.y;
    // A NaN would pass every range test below; it is no point at all.
    if (std::isnan(x) || std::isnan(y))
        return false;
    x = plotted_x(x);
    if (x < b.x_min || x >= b.x_max || y < b.y_min || y >= b.y_max) {
        ++rejected;
        return false;
    }
    // Both quotients with one packed division; each lane is the same
    // correctly rounded quotient the scalar division gives.
    const Pair q = Pair{x - b.x_min, y - b.y_min} / Pair{b.dx, b.dy};
    const double qx = q[0];
    const double qy = q[1];
    // A point inside the range can still have no cell: a range that
    // overflows gives inf / inf, one whose cells round to no size (or to
    // much less than a 200th of it) gives an infinite or too large
    // quotient. Such a point is counted as rejected; the negated test also
    // catches NaN.
    if (!in_a_cell(qx, qy)) {
        ++rejected;
        return false;
    }
    // Both quotients lie in 0..200 here, where truncation is floor. Just
    // below the upper edge a quotient can round up to exactly 200.
    const int gx = std::min(static_cast<int>(qx), kCells - 1);
    const int gy = std::min(static_cast<int>(qy), kCells - 1);
    place = CellPlace{gy * kNodes + gx, qx - gx, qy - gy};
    return true;
}

// The places of the points that fall in a cell, in order.
std::size_t place_points(const Binning& b, const Point* points, std::size_t count, CellPlace* places,
                         long long& rejected)
{
    std::size_t placed = 0;
    for (std::size_t k = 0; k < count; ++k)
        placed += place_point(b, points[k], places[placed], rejected);
    return placed;
}

// Spreads one point over the four nodes of its cell.
inline void spread(double* grid, const CellPlace& place)
{
    const double fx = place.fx;
    const double fy = place.fy;
    double* const row0 = grid + place.node;
    double* const row1 = row0 + kNodes;
    row0[0] += fx * fy;
    row0[1] += (1 - fx) * fy;
    row1[0] += fx * (1 - fy);
    row1[1] += (1 - fx) * (1 - fy);
}

#if defined(__x86_64__)
// The same as placing and spreading each point in turn, four points at a
// time on processors with AVX2: every lane takes the very steps
// place_point and spread take, and the points are added in their order, so
// the nodes get the same bits. Returns the points spread.
[[gnu::target("avx2")]] std::size_t bin_points_wide(const Binning& b, const Point* points, std::size_t count,
                                                    double* grid, long long& rejected)
{
    const __m256d x_min = _mm256_set1_pd(b.x_min), x_max = _mm256_set1_pd(b.x_max);
    const __m256d y_min = _mm256_set1_pd(b.y_min), y_max = _mm256_set1_pd(b.y_max);
    const __m256d dx = _mm256_set1_pd(b.dx), dy = _mm256_set1_pd(b.dy);
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), cells = _mm256_set1_pd(kCells);
    std::size_t binned = 0, k = 0;
    for (; k + 4 <= count; k += 4) {
        // x0 y0 x1 y1 and x2 y2 x3 y3 into x0..x3 and y0..y3.
        const __m256d first = _mm256_loadu_pd(&points[k].x);
        const __m256d second = _mm256_loadu_pd(&points[k + 2].x);
        __m256d x = _mm256_permute4x64_pd(_mm256_unpacklo_pd(first, second), 0xD8);
        const __m256d y = _mm256_permute4x64_pd(_mm256_unpackhi_pd(first, second), 0xD8);
        const int points_there = ~_mm256_movemask_pd(_mm256_cmp_pd(x, y, _CMP_UNORD_Q)) & 0xF;
        x = _mm256_blendv_pd(x, _mm256_sub_pd(x, one), _mm256_cmp_pd(x, _mm256_set1_pd(40.0), _CMP_LT_OQ));
        const __m256d in_range =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(x, x_min, _CMP_GE_OQ), _mm256_cmp_pd(x, x_max, _CMP_LT_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(y, y_min, _CMP_GE_OQ), _mm256_cmp_pd(y, y_max, _CMP_LT_OQ)));
        const __m256d qx = _mm256_div_pd(_mm256_sub_pd(x, x_min), dx);
        const __m256d qy = _mm256_div_pd(_mm256_sub_pd(y, y_min), dy);
        const __m256d in_cell =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(qx, zero, _CMP_GE_OQ), _mm256_cmp_pd(qx, cells, _CMP_LE_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(qy, zero, _CMP_GE_OQ), _mm256_cmp_pd(qy, cells, _CMP_LE_OQ)));
        const int placed_lanes = _mm256_movemask_pd(_mm256_and_pd(in_range, in_cell)) & points_there;
        rejected += std::popcount(static_cast<unsigned>(points_there & ~placed_lanes));
        if (placed_lanes == 0)
            continue;
        const __m128i last = _mm_set1_epi32(kCells - 1);
        const __m128i gx = _mm_min_epi32(_mm256_cvttpd_epi32(qx), last);
        const __m128i gy = _mm_min_epi32(_mm256_cvttpd_epi32(qy), last);
        const __m256d fx = _mm256_sub_pd(qx, _mm256_cvtepi32_pd(gx));
        const __m256d fy = _mm256_sub_pd(qy, _mm256_cvtepi32_pd(gy));
        const __m256d gfx = _mm256_sub_pd(one, fx), gfy = _mm256_sub_pd(one, fy);
        // Each lane's two weights in a node row side by side: lanes 0 and
        // 2 from the unpacked low halves, 1 and 3 from the high ones.
        const __m256d top_w = _mm256_mul_pd(fx, fy), top_e = _mm256_mul_pd(gfx, fy);
        const __m256d low_w = _mm256_mul_pd(fx, gfy), low_e = _mm256_mul_pd(gfx, gfy);
        alignas(32) double top[2][4], low[2][4];
        _mm256_store_pd(top[0], _mm256_unpacklo_pd(top_w, top_e));
        _mm256_store_pd(top[1], _mm256_unpackhi_pd(top_w, top_e));
        _mm256_store_pd(low[0], _mm256_unpacklo_pd(low_w, low_e));
        _mm256_store_pd(low[1], _mm256_unpackhi_pd(low_w, low_e));
        alignas(16) int node[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(node),
                        _mm_add_epi32(_mm_mullo_epi32(gy, _mm_set1_epi32(kNodes)), gx));
        for (unsigned lanes = static_cast<unsigned>(placed_lanes); lanes; lanes &= lanes - 1) {
            const int lane = std::countr_zero(lanes);
            const int half = (lane >> 1) * 2;
            double* const row0 = grid + node[lane];
            double* const row1 = row0 + kNodes;
            _mm_storeu_pd(row0, _mm_add_pd(_mm_loadu_pd(row0), _mm_load_pd(&top[lane & 1][half])));
            _mm_storeu_pd(row1, _mm_add_pd(_mm_loadu_pd(row1), _mm_load_pd(&low[lane & 1][half])));
        }
        binned += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(placed_lanes)));
    }
    for (; k < count; ++k) {
        CellPlace place;
        if (place_point(b, points[k], place, rejected)) {
            spread(grid, place);
            ++binned;
        }
    }
    return binned;
}
#endif

// Spreads the points over the four nodes of their cells, in the partial of
// their chunk.
void take_points(void* context, void* partial, const Point* points, std::size_t count)
{
    const Binning& b = *static_cast<const Binning*>(context);
    PartialField& part = *static_cast<PartialField*>(partial);
#if defined(__x86_64__)
    static const bool has_avx2 = __builtin_cpu_supports("avx2");
    if (has_avx2 && g_wide_binning_allowed.load(std::memory_order_relaxed)) {
        part.binned += static_cast<long long>(bin_points_wide(b, points, count, part.nodes, part.rejected));
        return;
    }
#endif
    CellPlace places[kPlaceBatch];
    for (std::size_t first = 0; first < count; first += kPlaceBatch) {
        const std::size_t placed =
            place_points(b, points + first, std::min(kPlaceBatch, count - first), places, part.rejected);
        part.binned += static_cast<long long>(placed);
        for (std::size_t k = 0; k < placed; ++k)
            spread(part.nodes, places[k]);
    }
}

void clear_partial(PartialField& part)
{
    std::fill(std::begin(part.nodes), std::end(part.nodes), 0.0);
    part.binned = 0;
    part.rejected = 0;
}

void* make_partial(void*)
{
    auto* part = new PartialField;
    clear_partial(*part);
    return part;
}

void destroy_partial(void*, void* partial) { delete static_cast<PartialField*>(partial); }

// A load in progress: the binning every thread reads, and the field the
// partials are added to, on the caller's thread alone.
struct Load {
    Binning binning;
    FieldState* field;
};

void add_partial(void* context, void* partial)
{
    FieldState& s = *static_cast<Load*>(context)->field;
    PartialField& part = *static_cast<PartialField*>(partial);
    for (int i = 0; i < s.nx * s.ny; ++i)
        s.grid[i] += part.nodes[i];
    s.binned += part.binned;
    s.rejected += static_cast<int>(part.rejected);
    clear_partial(part);
}

void field_destroy(DensityField* field)
{
    if (!state_of(field))
        return;
    FieldBlock* block = reinterpret_cast<FieldBlock*>(field);
    std::memset(static_cast<void*>(block), 0, sizeof *block);
    std::free(block);
}

int field_load(DensityField* field, std::FILE* stream, int skip_lines)
{
    FieldState* s = state_of(field);
    if (!s || !stream)
        return 0;
    std::fill(s->grid, s->grid + s->nx * s->ny, 0.0);
    s->max = 0.0;
    s->rejected = 0;
    s->binned = 0;

    // The partials are added into zeros, so a file of one chunk gives just
    // what one pass would.
    Load load{Binning{s->x_min, s->y_min, s->x_max, s->y_max, s->dx, s->dy}, s};
    s->read = read_chunks(stream, skip_lines, ChunkSink{make_partial, take_points, add_partial, destroy_partial, &load},
                          s->columns, s->watch, s->threads);

    // Weights are never negative, so no node was ever above its final value.
    for (int i = 0; i < s->nx * s->ny; ++i)
        s->max = s->grid[i] > s->max ? s->grid[i] : s->max;
    if (s->max < 0.01)
        return 0;
    for (int i = 0; i < s->nx * s->ny; ++i)
        s->grid[i] /= s->max;
    return 1;
}

int field_width(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? s->nx : 0;
}

int field_height(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? s->ny : 0;
}

int field_rejected(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? s->rejected : 0;
}

double* field_data(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? s->grid : nullptr;
}

} // namespace

namespace {

struct CreateFailure {
    bool armed = false;
    unsigned skip = 0;
    unsigned times = 0; // 0: for ever
};
CreateFailure g_create_failure;

bool create_fails()
{
    CreateFailure& f = g_create_failure;
    if (!f.armed)
        return false;
    if (f.skip > 0) {
        --f.skip;
        return false;
    }
    if (f.times > 0 && --f.times == 0)
        f.armed = false;
    return true;
}

} // namespace

void density_field_test_fail_create(unsigned skip, unsigned times) { g_create_failure = {true, skip, times}; }

void density_field_test_reset()
{
    g_create_failure = {};
    g_wide_binning_allowed.store(true);
}

void density_field_test_wide_binning(bool allowed) { g_wide_binning_allowed.store(allowed); }

DensityField* create_density_field(double x_min, double y_min, double x_max, double y_max)
{
    FieldBlock* block = create_fails() ? nullptr : static_cast<FieldBlock*>(std::malloc(sizeof(FieldBlock)));
    if (!block)
        return nullptr;
    DensityField& f = block->field;
    FieldState& s = block->state;
    f.state = &s;
    f.ops = FieldOps{field_destroy, field_load, field_width, field_height, field_rejected, field_data};
    std::memcpy(s.tag, kTag, sizeof kTag);
    s.x_min = x_min;
    s.y_min = y_min;
    s.x_max = x_max;
    s.y_max = y_max;
    s.dx = (x_max - x_min) / kCells;
    s.dy = (y_max - y_min) / kCells;
    s.max = 0.0; // cleared again by load; set here so that nothing reads garbage
    s.rejected = 0;
    s.columns = Columns{};
    s.watch = ReadWatch{};
    s.threads = 0;
    s.read = ReadCounts{};
    s.binned = 0;
    s.grid = block->nodes;
    s.nx = kNodes;
    s.ny = kNodes;
    return &f;
}

double density_field_max(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? s->max : 0.0;
}

FieldRange density_field_range(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? FieldRange{s->x_min, s->x_max, s->y_min, s->y_max} : FieldRange{};
}

bool density_field_set_columns(DensityField* field, int x_column, int y_column)
{
    FieldState* s = state_of(field);
    if (!s || x_column < 1 || y_column < 1 || x_column > kMaxColumn || y_column > kMaxColumn || x_column == y_column)
        return false;
    s->columns = Columns{x_column, y_column};
    return true;
}

bool density_field_set_threads(DensityField* field, unsigned threads)
{
    FieldState* s = state_of(field);
    if (!s)
        return false;
    s->threads = threads;
    return true;
}

FieldCounts density_field_counts(DensityField* field)
{
    FieldState* s = state_of(field);
    if (!s)
        return FieldCounts{};
    return FieldCounts{s->read.points, s->binned,      s->read.rejected_lines, s->read.first_rejected_line,
                       s->read.header, s->read.stopped};
}

bool density_field_set_watch(DensityField* field, bool (*go_on)(void* context), void* context)
{
    FieldState* s = state_of(field);
    if (!s)
        return false;
    s->watch = ReadWatch{go_on, context};
    return true;
}
