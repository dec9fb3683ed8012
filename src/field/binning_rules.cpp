// One file, past the usual length: every form of each rule (a point at a
// time, four, eight, and the bounds of points as the rule places them) is
// built here from the rule's own small type, so that none can drift from
// the rule it spreads by.
#include "field/binning_rules.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>

#if defined(__x86_64__)
// GCC 12 takes the unset source its AVX-512 intrinsics pass to their
// unmasked forms for a read of an uninitialised value, dozens of times.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

#include "field/sources/line_pieces.h"
#include "field/grid_size.h"
#include "field/point.h"

namespace {

constexpr int kNodes = kGridNodes;
constexpr int kCells = kGridCells;

// A rule is where a point's x is placed and how one direction's fraction f
// of the cell splits between the cell's first and second node; a node gets
// the product of its two directions' shares.

// Standard bilinear spreading: the nearer node gets the larger share, so a
// point on a node puts all of its weight there.
struct BilinearRule {
    static double placed_x(double x) { return x; }
    static double first_share(double f) { return 1 - f; }
    static double second_share(double f) { return f; }
#if defined(__x86_64__)
    [[gnu::target("avx2")]] static __m256d placed_x(__m256d x) { return x; }
    [[gnu::target("avx2")]] static __m256d first_share(__m256d f) { return _mm256_sub_pd(_mm256_set1_pd(1.0), f); }
    [[gnu::target("avx2")]] static __m256d second_share(__m256d f) { return f; }
    [[gnu::target("avx512f")]] static __m512d placed_x(__m512d x) { return x; }
    [[gnu::target("avx512f")]] static __m512d first_share(__m512d f) { return _mm512_sub_pd(_mm512_set1_pd(1.0), f); }
    [[gnu::target("avx512f")]] static __m512d second_share(__m512d f) { return f; }
#endif
};

// The first rule: the files it was made for count x from 1 below 40, so
// such an x moves down by one; and each point's weight is mirrored inside
// its cell, the node nearest it getting the smallest share.
struct ClassicRule {
    static double placed_x(double x) { return x < 40.0 ? x - 1.0 : x; }
    static double first_share(double f) { return f; }
    static double second_share(double f) { return 1 - f; }
#if defined(__x86_64__)
    [[gnu::target("avx2")]] static __m256d placed_x(__m256d x)
    {
        const __m256d low = _mm256_cmp_pd(x, _mm256_set1_pd(40.0), _CMP_LT_OQ);
        return _mm256_blendv_pd(x, _mm256_sub_pd(x, _mm256_set1_pd(1.0)), low);
    }
    [[gnu::target("avx2")]] static __m256d first_share(__m256d f) { return f; }
    [[gnu::target("avx2")]] static __m256d second_share(__m256d f) { return _mm256_sub_pd(_mm256_set1_pd(1.0), f); }
    [[gnu::target("avx512f")]] static __m512d placed_x(__m512d x)
    {
        const __mmask8 low = _mm512_cmp_pd_mask(x, _mm512_set1_pd(40.0), _CMP_LT_OQ);
        return _mm512_mask_sub_pd(x, low, x, _mm512_set1_pd(1.0));
    }
    [[gnu::target("avx512f")]] static __m512d first_share(__m512d f) { return f; }
    [[gnu::target("avx512f")]] static __m512d second_share(__m512d f) { return _mm512_sub_pd(_mm512_set1_pd(1.0), f); }
#endif
};

typedef double Pair __attribute__((vector_size(16)));

// A point's cell, by its first node, and where in the cell it lies.
struct CellPlace {
    int node;
    double fx, fy;
};

// Whether the quotients of a point's place put it in a cell.
inline bool in_a_cell(double qx, double qy) { return qx >= 0.0 && qx <= kCells && qy >= 0.0 && qy <= kCells; }

// Whether every point inside the range has quotients in a cell, so that
// in_a_cell need not be asked: x - x_min and its quotient by dx > 0 only
// grow with x, so the range's span divided by dx bounds them all. A range
// that overflows, or cells that round to no size, fail it.
inline bool every_place_in_a_cell(const CellGeometry& b)
{
    return b.dx > 0 && b.dy > 0 && (b.x_max - b.x_min) / b.dx <= kCells && (b.y_max - b.y_min) / b.dy <= kCells;
}

// The place of one point in its cell, unless it falls in none: then false,
// counting it as rejected, or as no number when it is NaN.
template <class Rule>
inline bool place_point(const CellGeometry& b, Point point, CellPlace& place, BinCounts& counts)
{
    double x = point.x, y = point.y;
    // A NaN would pass every range test below.
    if (std::isnan(x) || std::isnan(y)) {
        ++counts.not_a_number;
        return false;
    }
    x = Rule::placed_x(x);
    if (x < b.x_min || x >= b.x_max || y < b.y_min || y >= b.y_max) {
        ++counts.rejected;
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
        ++counts.rejected;
        return false;
    }
    // Both quotients lie in 0..200 here, where truncation is floor. Just
    // below the upper edge a quotient can round up to exactly 200.
    const int gx = std::min(static_cast<int>(qx), kCells - 1);
    const int gy = std::min(static_cast<int>(qy), kCells - 1);
    place = CellPlace{gy * kNodes + gx, qx - gx, qy - gy};
    return true;
}

// Spreads one point over the four nodes of its cell, in this order.
template <class Rule>
inline void spread(double* grid, const CellPlace& place)
{
    const double first_x = Rule::first_share(place.fx), second_x = Rule::second_share(place.fx);
    const double first_y = Rule::first_share(place.fy), second_y = Rule::second_share(place.fy);
    double* const row0 = grid + place.node;
    double* const row1 = row0 + kNodes;
    row0[0] += first_x * first_y;
    row0[1] += second_x * first_y;
    row1[0] += first_x * second_y;
    row1[1] += second_x * second_y;
}

// Spreads the sums of a cell's points over its four nodes. A share is
// linear in f, a + b f with a its value at 0 and b its growth to 1, so the
// sum of the products of the two directions' shares over the points is
// ax ay n + ax by Σfy + bx ay Σfx + bx by Σfx·fy; taking a and b from the
// rule's own shares keeps the weights in one place.
template <class Rule>
void spread_linear(double* grid, int node, const ScaledSums& sums)
{
    const double a[2] = {Rule::first_share(0.0), Rule::second_share(0.0)};
    const double b[2] = {Rule::first_share(1.0) - a[0], Rule::second_share(1.0) - a[1]};
    double* const rows[2] = {grid + node, grid + node + kNodes};
    for (int sy = 0; sy < 2; ++sy)
        for (int sx = 0; sx < 2; ++sx)
            rows[sy][sx] += a[sx] * a[sy] * sums.s + a[sx] * b[sy] * sums.sfy + b[sx] * a[sy] * sums.sfx +
                b[sx] * b[sy] * sums.sfxfy;
}

template <class Rule>
void spread_sums(double* grid, int node, const CellSums& sums)
{
    // The sum of one value is that value: a cell of one point gets the
    // very bits the point itself gives.
    if (sums.n == 1) {
        spread<Rule>(grid, CellPlace{node, sums.sfx, sums.sfy});
        return;
    }
    spread_linear<Rule>(grid, node, ScaledSums{static_cast<double>(sums.n), sums.sfx, sums.sfy, sums.sfxfy});
}

// One point's shares, each scaled, into the four nodes of its cell, in
// spread's order.
template <class Rule>
inline void spread_scaled(double* grid, const CellPlace& place, double scale)
{
    const double first_x = Rule::first_share(place.fx), second_x = Rule::second_share(place.fx);
    const double first_y = Rule::first_share(place.fy), second_y = Rule::second_share(place.fy);
    double* const row0 = grid + place.node;
    double* const row1 = row0 + kNodes;
    row0[0] += first_x * first_y * scale;
    row0[1] += second_x * first_y * scale;
    row1[0] += first_x * second_y * scale;
    row1[1] += second_x * second_y * scale;
}

// The sums of a quantity scaled by a point's shares, spread as the point
// itself would be; a lone point by its own fractions, which its cell's
// sums hold exactly.
template <class Rule>
void spread_scaled_sums_of(double* grid, int node, const CellSums& cell, const ScaledSums& scaled)
{
    if (cell.n == 1) {
        spread_scaled<Rule>(grid, CellPlace{node, cell.sfx, cell.sfy}, scaled.s);
        return;
    }
    spread_linear<Rule>(grid, node, scaled);
}

// Whether a point's weight, or its value where means are asked, is NaN,
// which would spoil every node it reached: it is counted as no number.
inline bool spoilt_values(const PointValues& v, bool means, BinCounts& counts)
{
    if (!std::isnan(v.weight) && !(means && std::isnan(v.value)))
        return false;
    ++counts.not_a_number;
    return true;
}

template <class Rule>
void bin_valued_points_of(const CellGeometry& b, const Point* points, const PointValues* values, std::size_t count,
                          double* grid, double* value_sums, BinCounts& counts)
{
    for (std::size_t k = 0; k < count; ++k) {
        const PointValues& v = values[k];
        if (spoilt_values(v, value_sums != nullptr, counts))
            continue;
        CellPlace place;
        if (!place_point<Rule>(b, points[k], place, counts))
            continue;
        ++counts.binned;
        counts.weight += v.weight;
        spread_scaled<Rule>(grid, place, v.weight);
        if (value_sums)
            spread_scaled<Rule>(value_sums, place, v.weight * v.value);
    }
}

// A placed point's cell, among 200 x 200.
inline int cell_of(const CellPlace& place) { return place.node / kNodes * kCells + place.node % kNodes; }

// A placed point added to its cell's count and fractions.
inline void add_to_cell(CellSums& cell, const CellPlace& place)
{
    ++cell.n;
    cell.sfx += place.fx;
    cell.sfy += place.fy;
    cell.sfxfy += place.fx * place.fy;
}

inline void add_scaled(ScaledSums& sums, double q, const CellPlace& place)
{
    sums.s += q;
    sums.sfx += q * place.fx;
    sums.sfy += q * place.fy;
    sums.sfxfy += q * place.fx * place.fy;
}

template <class Rule>
void sum_points_of(const CellGeometry& b, const Point* points, std::size_t count, CellSums* sums, BinCounts& counts)
{
    for (std::size_t k = 0; k < count; ++k) {
        CellPlace place;
        if (!place_point<Rule>(b, points[k], place, counts))
            continue;
        ++counts.binned;
        add_to_cell(sums[cell_of(place)], place);
    }
}

// As bin_valued_points_of takes its points, into the cells' sums.
template <class Rule>
void sum_valued_points_of(const CellGeometry& b, const Point* points, const PointValues* values, std::size_t count,
                          bool means, CellSums* sums, CellValueSums* value_sums, BinCounts& counts)
{
    for (std::size_t k = 0; k < count; ++k) {
        const PointValues& v = values[k];
        if (spoilt_values(v, means, counts))
            continue;
        CellPlace place;
        if (!place_point<Rule>(b, points[k], place, counts))
            continue;
        ++counts.binned;
        const int cell = cell_of(place);
        add_to_cell(sums[cell], place);
        add_scaled(value_sums[cell].w, v.weight, place);
        // The product as the nodes' numerators take it, so that a lone
        // point's sum is the very scale it is spread by.
        add_scaled(value_sums[cell].wz, v.weight * v.value, place);
    }
}

// Points are placed in their cells this many at a time, then added in.
constexpr std::size_t kPlaceBatch = 256;

template <class Rule>
void bin_points_plain(const CellGeometry& b, const Point* points, std::size_t count, double* grid, BinCounts& counts)
{
    CellPlace places[kPlaceBatch];
    for (std::size_t first = 0; first < count; first += kPlaceBatch) {
        const std::size_t batch = std::min(kPlaceBatch, count - first);
        std::size_t placed = 0;
        for (std::size_t k = 0; k < batch; ++k)
            placed += place_point<Rule>(b, points[first + k], places[placed], counts);
        counts.binned += static_cast<long long>(placed);
        for (std::size_t k = 0; k < placed; ++k)
            spread<Rule>(grid, places[k]);
    }
}

// Float32 pairs as the points they stand for: widened exactly.
void widen_pairs(const float* pairs, std::size_t count, Point* points)
{
    for (std::size_t k = 0; k < count; ++k)
        points[k] = Point{pairs[2 * k], pairs[2 * k + 1]};
}

#if defined(__x86_64__)
// Eight placed points' weights and first nodes (the four-point form uses
// the first four), as the wide forms lay them out: each lane's two weights
// in a node row side by side, even lanes from the unpacked low halves, odd
// ones from the high.
struct PlacedStep {
    alignas(64) double top[2][8], low[2][8];
    // Each lane's first node's address, not its index: the adds then take
    // no instructions of their own to find it.
    alignas(64) double* node[8];
};

// Steps whose every point is placed are held in a ring of kHeldSteps, and
// each is added when the ring comes round to it, while the step that takes
// its place is placed. Adding a step straight after placing it made every
// add wait for the weights just stored; adding all the held steps at once
// left the placing idle behind a burst of adds. The ring against the
// bursts (eight points a step) and against adding from the registers
// (four), bench_binning_kernel: 14-17% more points a second spread, 17%
// and 51% more in the cache, the same and 14% more clustered from memory.
// A step with a point left out adds the steps held before it first, so
// every node still takes its points in order.
constexpr int kHeldSteps = 8;

// How far ahead of the points being placed the wide forms ask for the
// next ones: an array's points come from mapped pages, and the hardware
// does not fetch ahead across a page's end. A kilobyte ahead took 12-14%
// off a float array's whole run (bench/npy_vs_cat.sh); two were no better.
constexpr std::size_t kAhead = 1024;

// Adds one placed point of a step to its four nodes.
inline void add_lane(const PlacedStep& step, int lane)
{
    const int half = (lane >> 1) * 2;
    double* const row0 = step.node[lane];
    double* const row1 = row0 + kNodes;
    _mm_storeu_pd(row0, _mm_add_pd(_mm_loadu_pd(row0), _mm_load_pd(&step.top[lane & 1][half])));
    _mm_storeu_pd(row1, _mm_add_pd(_mm_loadu_pd(row1), _mm_load_pd(&step.low[lane & 1][half])));
}

// Adds the placed points of a step whose `lanes` bits are set, in order.
inline void add_lanes(const PlacedStep& step, unsigned lanes)
{
    for (; lanes; lanes &= lanes - 1)
        add_lane(step, std::countr_zero(lanes));
}

// The steps held, of Lanes points each. Where the next step goes and how
// many are held are the caller's locals, passed in: as members, beside
// the steps in memory, the grid's stores (which may alias anything) made
// the compiler reload them every step.
template <int Lanes>
struct StepRing {
    PlacedStep steps[kHeldSteps];

    // The slot for the step being placed. A step whose every point is
    // placed (`whole`) takes that of the step placed kHeldSteps steps
    // before, adding it first; one with a point left out adds every step
    // held first, and its own points (add_lanes) once it is stored.
    PlacedStep& slot(bool whole, int& next, int& held)
    {
        PlacedStep& step = steps[next];
        if (!whole) {
            add_held(next, held);
            return step;
        }
        if (held == kHeldSteps)
            add_step(step);
        else
            ++held;
        next = (next + 1) & (kHeldSteps - 1);
        return step;
    }

    // Adds the steps held, oldest first.
    void add_held(int next, int& held)
    {
        for (int s = next - held; s < next; ++s)
            add_step(steps[s & (kHeldSteps - 1)]);
        held = 0;
    }

    static void add_step(const PlacedStep& step)
    {
        for (int lane = 0; lane < Lanes; ++lane)
            add_lane(step, lane);
    }
};

// The same as placing and spreading each point in turn, four points at a
// time on processors with AVX2: every lane takes the very steps
// place_point and spread take, and the points are added in their order, so
// the nodes get the same bits.
template <class Rule>
[[gnu::target("avx2")]] void bin_points_wide(const CellGeometry& b, const Point* points, std::size_t count,
                                             double* grid, BinCounts& counts)
{
    const __m256d x_min = _mm256_set1_pd(b.x_min), x_max = _mm256_set1_pd(b.x_max);
    const __m256d y_min = _mm256_set1_pd(b.y_min), y_max = _mm256_set1_pd(b.y_max);
    const __m256d dx = _mm256_set1_pd(b.dx), dy = _mm256_set1_pd(b.dy);
    const __m256d zero = _mm256_setzero_pd(), cells = _mm256_set1_pd(kCells);
    const bool range_in_cells = every_place_in_a_cell(b);
    StepRing<4> ring;
    int next = 0, held = 0;
    const __m256i base = _mm256_set1_epi64x(reinterpret_cast<std::intptr_t>(grid));
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        _mm_prefetch(reinterpret_cast<const char*>(points + k) + kAhead, _MM_HINT_T0);
        // x0 y0 x1 y1 and x2 y2 x3 y3 into x0..x3 and y0..y3.
        const __m256d first = _mm256_loadu_pd(&points[k].x);
        const __m256d second = _mm256_loadu_pd(&points[k + 2].x);
        __m256d x = _mm256_permute4x64_pd(_mm256_unpacklo_pd(first, second), 0xD8);
        const __m256d y = _mm256_permute4x64_pd(_mm256_unpackhi_pd(first, second), 0xD8);
        const int points_there = ~_mm256_movemask_pd(_mm256_cmp_pd(x, y, _CMP_UNORD_Q)) & 0xF;
        counts.not_a_number += std::popcount(static_cast<unsigned>(~points_there & 0xF));
        x = Rule::placed_x(x);
        const __m256d in_range =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(x, x_min, _CMP_GE_OQ), _mm256_cmp_pd(x, x_max, _CMP_LT_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(y, y_min, _CMP_GE_OQ), _mm256_cmp_pd(y, y_max, _CMP_LT_OQ)));
        const __m256d qx = _mm256_div_pd(_mm256_sub_pd(x, x_min), dx);
        const __m256d qy = _mm256_div_pd(_mm256_sub_pd(y, y_min), dy);
        int placed_lanes = _mm256_movemask_pd(in_range) & points_there;
        if (!range_in_cells) {
            const __m256d in_cell =
                _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(qx, zero, _CMP_GE_OQ), _mm256_cmp_pd(qx, cells, _CMP_LE_OQ)),
                              _mm256_and_pd(_mm256_cmp_pd(qy, zero, _CMP_GE_OQ), _mm256_cmp_pd(qy, cells, _CMP_LE_OQ)));
            placed_lanes &= _mm256_movemask_pd(in_cell);
        }
        counts.rejected += std::popcount(static_cast<unsigned>(points_there & ~placed_lanes));
        if (placed_lanes == 0)
            continue;
        const __m128i last = _mm_set1_epi32(kCells - 1);
        const __m128i gx = _mm_min_epi32(_mm256_cvttpd_epi32(qx), last);
        const __m128i gy = _mm_min_epi32(_mm256_cvttpd_epi32(qy), last);
        const __m256d fx = _mm256_sub_pd(qx, _mm256_cvtepi32_pd(gx));
        const __m256d fy = _mm256_sub_pd(qy, _mm256_cvtepi32_pd(gy));
        const __m256d first_x = Rule::first_share(fx), second_x = Rule::second_share(fx);
        const __m256d first_y = Rule::first_share(fy), second_y = Rule::second_share(fy);
        // Each lane's two weights in a node row side by side: lanes 0 and
        // 2 from the unpacked low halves, 1 and 3 from the high ones.
        const __m256d top_w = _mm256_mul_pd(first_x, first_y), top_e = _mm256_mul_pd(second_x, first_y);
        const __m256d low_w = _mm256_mul_pd(first_x, second_y), low_e = _mm256_mul_pd(second_x, second_y);
        const __m256d top_even = _mm256_unpacklo_pd(top_w, top_e), top_odd = _mm256_unpackhi_pd(top_w, top_e);
        const __m256d low_even = _mm256_unpacklo_pd(low_w, low_e), low_odd = _mm256_unpackhi_pd(low_w, low_e);
        const __m128i nodes = _mm_add_epi32(_mm_mullo_epi32(gy, _mm_set1_epi32(kNodes)), gx);
        PlacedStep& step = ring.slot(placed_lanes == 0xF, next, held);
        _mm256_store_pd(step.top[0], top_even);
        _mm256_store_pd(step.top[1], top_odd);
        _mm256_store_pd(step.low[0], low_even);
        _mm256_store_pd(step.low[1], low_odd);
        _mm256_store_si256(reinterpret_cast<__m256i*>(step.node),
                           _mm256_add_epi64(base, _mm256_slli_epi64(_mm256_cvtepi32_epi64(nodes), 3)));
        if (placed_lanes != 0xF)
            add_lanes(step, static_cast<unsigned>(placed_lanes));
        counts.binned += std::popcount(static_cast<unsigned>(placed_lanes));
    }
    ring.add_held(next, held);
    bin_points_plain<Rule>(b, points + k, count - k, grid, counts);
}

// Eight points' x0..x7 and y0..y7 from their pairs x0 y0 x1 y1 …, of
// doubles or of floats (widened exactly, so either gives the same bits).
[[gnu::target("avx512f,avx512dq,avx512vl")]] inline void load_eight(const double* pairs, __m512d* x, __m512d* y)
{
    const __m512i xs = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0), ys = _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1);
    const __m512d first = _mm512_loadu_pd(pairs), second = _mm512_loadu_pd(pairs + 8);
    *x = _mm512_permutex2var_pd(first, xs, second);
    *y = _mm512_permutex2var_pd(first, ys, second);
}
[[gnu::target("avx512f,avx512dq,avx512vl")]] inline void load_eight(const float* pairs, __m512d* x, __m512d* y)
{
    // Sorted while still floats: one shuffle of one register.
    const __m512i order = _mm512_set_epi32(15, 13, 11, 9, 7, 5, 3, 1, 14, 12, 10, 8, 6, 4, 2, 0);
    const __m512 sorted = _mm512_permutexvar_ps(order, _mm512_loadu_ps(pairs));
    *x = _mm512_cvtps_pd(_mm512_castps512_ps256(sorted));
    *y = _mm512_cvtps_pd(_mm512_extractf32x8_ps(sorted, 1));
}
// Four points' x0 y0 … x3 y3, likewise.
[[gnu::target("avx512f,avx512dq,avx512vl")]] inline __m512d load_four(const double* pairs)
{
    return _mm512_loadu_pd(pairs);
}
[[gnu::target("avx512f,avx512dq,avx512vl")]] inline __m512d load_four(const float* pairs)
{
    return _mm512_cvtps_pd(_mm256_loadu_ps(pairs));
}

// The last few of fewer than eight pairs, one at a time.
template <class Rule>
void bin_pairs_plain(const CellGeometry& b, const double* pairs, std::size_t count, double* grid, BinCounts& counts)
{
    bin_points_plain<Rule>(b, reinterpret_cast<const Point*>(pairs), count, grid, counts);
}
template <class Rule>
void bin_pairs_plain(const CellGeometry& b, const float* pairs, std::size_t count, double* grid, BinCounts& counts)
{
    Point points[8];
    widen_pairs(pairs, count, points);
    bin_points_plain<Rule>(b, points, count, grid, counts);
}

// The same eight points at a time, on processors with AVX-512: half the
// instructions of the four-point form for the placing, the same steps in
// every lane and the points added in their order, so the same bits again.
// The pairs are points' doubles, or a float32 array's floats, widened here
// rather than in a pass of their own over memory.
template <class Rule, class Value>
[[gnu::target("avx512f,avx512dq,avx512vl")]] void bin_pairs_wider(const CellGeometry& b, const Value* pairs,
                                                                  std::size_t count, double* grid, BinCounts& total)
{
    // The counts are kept a lane each in vectors, a masked add a step in
    // place of a popcount and an add of each count; the steps held are
    // locals of the ring's (see StepRing).
    const __m512d x_min = _mm512_set1_pd(b.x_min), x_max = _mm512_set1_pd(b.x_max);
    const __m512d y_min = _mm512_set1_pd(b.y_min), y_max = _mm512_set1_pd(b.y_max);
    const __m512d dx = _mm512_set1_pd(b.dx), dy = _mm512_set1_pd(b.dy);
    const __m512d zero = _mm512_setzero_pd(), cells = _mm512_set1_pd(kCells);
    const __m256i last = _mm256_set1_epi32(kCells - 1), row = _mm256_set1_epi32(kNodes);
    const __m512i base = _mm512_set1_epi64(reinterpret_cast<std::intptr_t>(grid)), one = _mm512_set1_epi64(1);
    __m512i there_lanes = _mm512_setzero_si512(), placed_lanes = _mm512_setzero_si512();
    const bool range_in_cells = every_place_in_a_cell(b);
    StepRing<8> ring;
    int next = 0, held = 0;
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        for (std::size_t line = 0; line < 16 * sizeof(Value); line += 64)
            _mm_prefetch(reinterpret_cast<const char*>(pairs + 2 * k) + kAhead + line, _MM_HINT_T0);
        __m512d x, y;
        load_eight(pairs + 2 * k, &x, &y);
        x = Rule::placed_x(x);
        // The placed x of a NaN is NaN: the test finds the same lanes.
        const __mmask8 there = static_cast<__mmask8>(~_mm512_cmp_pd_mask(x, y, _CMP_UNORD_Q));
        there_lanes = _mm512_mask_add_epi64(there_lanes, there, there_lanes, one);
        __mmask8 placed = _mm512_mask_cmp_pd_mask(there, x, x_min, _CMP_GE_OQ);
        placed = _mm512_mask_cmp_pd_mask(placed, x, x_max, _CMP_LT_OQ);
        placed = _mm512_mask_cmp_pd_mask(placed, y, y_min, _CMP_GE_OQ);
        placed = _mm512_mask_cmp_pd_mask(placed, y, y_max, _CMP_LT_OQ);
        const __m512d qx = _mm512_div_pd(_mm512_sub_pd(x, x_min), dx);
        const __m512d qy = _mm512_div_pd(_mm512_sub_pd(y, y_min), dy);
        if (!range_in_cells) {
            placed = _mm512_mask_cmp_pd_mask(placed, qx, zero, _CMP_GE_OQ);
            placed = _mm512_mask_cmp_pd_mask(placed, qx, cells, _CMP_LE_OQ);
            placed = _mm512_mask_cmp_pd_mask(placed, qy, zero, _CMP_GE_OQ);
            placed = _mm512_mask_cmp_pd_mask(placed, qy, cells, _CMP_LE_OQ);
        }
        placed_lanes = _mm512_mask_add_epi64(placed_lanes, placed, placed_lanes, one);
        if (placed == 0)
            continue;
        const __m256i gx = _mm256_min_epi32(_mm512_cvttpd_epi32(qx), last);
        const __m256i gy = _mm256_min_epi32(_mm512_cvttpd_epi32(qy), last);
        const __m512d fx = _mm512_sub_pd(qx, _mm512_cvtepi32_pd(gx));
        const __m512d fy = _mm512_sub_pd(qy, _mm512_cvtepi32_pd(gy));
        const __m512d first_x = Rule::first_share(fx), second_x = Rule::second_share(fx);
        const __m512d first_y = Rule::first_share(fy), second_y = Rule::second_share(fy);
        const __m512d top_w = _mm512_mul_pd(first_x, first_y), top_e = _mm512_mul_pd(second_x, first_y);
        const __m512d low_w = _mm512_mul_pd(first_x, second_y), low_e = _mm512_mul_pd(second_x, second_y);
        PlacedStep& step = ring.slot(placed == 0xFF, next, held);
        _mm512_store_pd(step.top[0], _mm512_unpacklo_pd(top_w, top_e));
        _mm512_store_pd(step.top[1], _mm512_unpackhi_pd(top_w, top_e));
        _mm512_store_pd(step.low[0], _mm512_unpacklo_pd(low_w, low_e));
        _mm512_store_pd(step.low[1], _mm512_unpackhi_pd(low_w, low_e));
        const __m256i nodes = _mm256_add_epi32(_mm256_mullo_epi32(gy, row), gx);
        _mm512_store_si512(step.node, _mm512_add_epi64(base, _mm512_slli_epi64(_mm512_cvtepi32_epi64(nodes), 3)));
        if (placed != 0xFF)
            add_lanes(step, placed);
    }
    ring.add_held(next, held);
    const long long there_total = _mm512_reduce_add_epi64(there_lanes);
    const long long placed_total = _mm512_reduce_add_epi64(placed_lanes);
    total.not_a_number += static_cast<long long>(k) - there_total;
    total.rejected += there_total - placed_total;
    total.binned += placed_total;
    bin_pairs_plain<Rule>(b, pairs + 2 * k, count - k, grid, total);
}

template <class Rule>
void bin_points_wider(const CellGeometry& b, const Point* points, std::size_t count, double* grid, BinCounts& counts)
{
    bin_pairs_wider<Rule>(b, reinterpret_cast<const double*>(points), count, grid, counts);
}
#endif

// Whether a placed point counts in the bounds: both numbers finite (x - x
// is NaN for infinities and NaN), and above zero on a logarithmic axis.
inline bool bounded(double x, double y, bool log_x, bool log_y)
{
    return x - x == 0 && y - y == 0 && !(log_x && !(x > 0)) && !(log_y && !(y > 0));
}

// The bounds loop with the rule's placing inlined: a call a point would
// cost more than the rest of it, which otherwise runs at the speed the
// mapped numbers come in.
template <class Rule, class Value = double>
PlacedBounds bound_pairs_of(bool log_x, bool log_y, const Value* pairs, std::size_t count)
{
    const double inf = std::numeric_limits<double>::infinity();
    PlacedBounds b{0, inf, -inf, inf, -inf};
    for (std::size_t k = 0; k < count; ++k) {
        const double x = Rule::placed_x(pairs[2 * k]), y = pairs[2 * k + 1];
        if (!bounded(x, y, log_x, log_y))
            continue;
        ++b.points;
        // Strictly beyond: a tie keeps the earlier value.
        b.x_min = x < b.x_min ? x : b.x_min;
        b.x_max = x > b.x_max ? x : b.x_max;
        b.y_min = y < b.y_min ? y : b.y_min;
        b.y_max = y > b.y_max ? y : b.y_max;
    }
    return b;
}

template <class Rule>
PlacedBounds bound_points_of(bool log_x, bool log_y, const Point* points, std::size_t count)
{
    return bound_pairs_of<Rule>(log_x, log_y, reinterpret_cast<const double*>(points), count);
}

#if defined(__x86_64__)
// The value an extreme of the points in order takes where it is zero: the
// first placed point's zero on that axis (0 or -0), as the loop above keeps.
template <class Rule, class Value>
double first_zero(bool log_x, bool log_y, const Value* pairs, std::size_t count, bool on_y)
{
    for (std::size_t k = 0; k < count; ++k) {
        const double x = Rule::placed_x(pairs[2 * k]), y = pairs[2 * k + 1];
        if (bounded(x, y, log_x, log_y) && (on_y ? y : x) == 0)
            return on_y ? y : x;
    }
    return 0;
}

// Bounds the lanes of a wide loop found, with the points it left (from
// `done` on) and each zero extreme taken from the points in order.
template <class Rule, class Value>
PlacedBounds with_the_rest(PlacedBounds b, bool log_x, bool log_y, const Value* pairs, std::size_t count,
                           std::size_t done)
{
    widen_bounds(b, bound_pairs_of<Rule>(log_x, log_y, pairs + 2 * done, count - done));
    for (double* end : {&b.x_min, &b.x_max})
        if (*end == 0)
            *end = first_zero<Rule>(log_x, log_y, pairs, count, false);
    for (double* end : {&b.y_min, &b.y_max})
        if (*end == 0)
            *end = first_zero<Rule>(log_x, log_y, pairs, count, true);
    return b;
}

// The bounds loop two points a step on processors with AVX2, x and y side
// by side in the four lanes. Each lane keeps its own extremes, which give
// the loop's values; where they tie, only zero's sign could differ, and a
// zero extreme is taken from the points in order.
template <class Rule>
[[gnu::target("avx2")]] PlacedBounds bound_points_wide(bool log_x, bool log_y, const Point* points, std::size_t count)
{
    const double inf = std::numeric_limits<double>::infinity();
    const __m256d plus = _mm256_set1_pd(inf), minus = _mm256_set1_pd(-inf), zero = _mm256_setzero_pd();
    // The lanes free of a logarithmic axis's "above zero".
    const __m256d any_sign =
        _mm256_castsi256_pd(_mm256_set_epi64x(log_y ? 0 : -1, log_x ? 0 : -1, log_y ? 0 : -1, log_x ? 0 : -1));
    __m256d low = plus, high = minus;
    long long lanes_placed = 0;
    std::size_t k = 0;
    for (; k + 2 <= count; k += 2) {
        __m256d v = _mm256_loadu_pd(&points[k].x);
        v = _mm256_blend_pd(v, Rule::placed_x(v), 0b0101);
        const __m256d finite = _mm256_cmp_pd(_mm256_sub_pd(v, v), zero, _CMP_EQ_OQ);
        const __m256d ok = _mm256_and_pd(finite, _mm256_or_pd(any_sign, _mm256_cmp_pd(v, zero, _CMP_GT_OQ)));
        // A point is placed where both its numbers are.
        const __m256d placed = _mm256_and_pd(ok, _mm256_permute_pd(ok, 0b0101));
        // Strictly beyond: a lane's tie keeps its earlier value.
        low = _mm256_min_pd(_mm256_blendv_pd(plus, v, placed), low);
        high = _mm256_max_pd(_mm256_blendv_pd(minus, v, placed), high);
        lanes_placed += std::popcount(static_cast<unsigned>(_mm256_movemask_pd(placed)));
    }
    alignas(32) double lows[4], highs[4];
    _mm256_store_pd(lows, low);
    _mm256_store_pd(highs, high);
    const PlacedBounds b{lanes_placed / 2, std::min(lows[0], lows[2]), std::max(highs[0], highs[2]),
                         std::min(lows[1], lows[3]), std::max(highs[1], highs[3])};
    return with_the_rest<Rule>(b, log_x, log_y, reinterpret_cast<const double*>(points), count, k);
}

// The same four points a step on processors with AVX-512, from points'
// doubles or a float32 array's floats (widened exactly, the same bounds).
template <class Rule, class Value>
[[gnu::target("avx512f,avx512dq,avx512vl")]] PlacedBounds bound_pairs_wider(bool log_x, bool log_y, const Value* pairs,
                                                                            std::size_t count)
{
    const double inf = std::numeric_limits<double>::infinity();
    const __m512d plus = _mm512_set1_pd(inf), minus = _mm512_set1_pd(-inf), zero = _mm512_setzero_pd();
    // The lanes of x, and those that must be above zero.
    constexpr unsigned kX = 0x55;
    const unsigned positive = (log_x ? kX : 0) | (log_y ? kX << 1 : 0);
    __m512d low = plus, high = minus;
    long long placed_points = 0;
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        __m512d v = load_four(pairs + 2 * k);
        v = _mm512_mask_blend_pd(kX, v, Rule::placed_x(v));
        unsigned ok = _mm512_cmp_pd_mask(_mm512_sub_pd(v, v), zero, _CMP_EQ_OQ);
        if (positive)
            ok &= ~positive | _mm512_cmp_pd_mask(v, zero, _CMP_GT_OQ);
        // A point is placed where both its numbers are.
        const unsigned placed = ok & (ok >> 1) & kX;
        const __mmask8 lanes = static_cast<__mmask8>(placed | placed << 1);
        // Strictly beyond: a lane's tie keeps its earlier value.
        low = _mm512_mask_min_pd(low, lanes, v, low);
        high = _mm512_mask_max_pd(high, lanes, v, high);
        placed_points += std::popcount(placed);
    }
    alignas(64) double lows[8], highs[8];
    _mm512_store_pd(lows, low);
    _mm512_store_pd(highs, high);
    const PlacedBounds b{placed_points, std::min({lows[0], lows[2], lows[4], lows[6]}),
                         std::max({highs[0], highs[2], highs[4], highs[6]}),
                         std::min({lows[1], lows[3], lows[5], lows[7]}),
                         std::max({highs[1], highs[3], highs[5], highs[7]})};
    return with_the_rest<Rule>(b, log_x, log_y, pairs, count, k);
}

template <class Rule>
PlacedBounds bound_points_wider(bool log_x, bool log_y, const Point* points, std::size_t count)
{
    return bound_pairs_wider<Rule>(log_x, log_y, reinterpret_cast<const double*>(points), count);
}
#endif

using BinFunction = void (*)(const CellGeometry&, const Point*, std::size_t, double*, BinCounts&);
using FloatPairsFunction = void (*)(const CellGeometry&, const float*, std::size_t, double*, BinCounts&);
using BoundFunction = PlacedBounds (*)(bool, bool, const Point*, std::size_t);
using FloatBoundFunction = PlacedBounds (*)(bool, bool, const float*, std::size_t);
using SumFunction = void (*)(const CellGeometry&, const Point*, std::size_t, CellSums*, BinCounts&);
using SpreadFunction = void (*)(double*, int, const CellSums&);
using ValuedFunction = void (*)(const CellGeometry&, const Point*, const PointValues*, std::size_t, double*, double*,
                                BinCounts&);
using ValuedSumFunction = void (*)(const CellGeometry&, const Point*, const PointValues*, std::size_t, bool, CellSums*,
                                   CellValueSums*, BinCounts&);
using ScaledSpreadFunction = void (*)(double*, int, const CellSums&, const ScaledSums&);

// Every rule: its name, where it places x, and its two forms of binning.
struct RuleForms {
    BinningRule rule;
    const char* name;
    double (*placed_x)(double x);
    BoundFunction bound;
    BoundFunction bound_wide;              // two points a step; null where the processor's kind has none
    BoundFunction bound_wider;             // four; likewise
    FloatBoundFunction bound_floats;       // float32 pairs, one at a time
    FloatBoundFunction bound_floats_wider; // four; likewise
    std::size_t piece_bytes;               // the longest piece of a line read as a line
    BinFunction plain;
    BinFunction wide;                // four points at a time; null where the processor's kind has none
    BinFunction wider;               // eight at a time; likewise
    FloatPairsFunction wider_floats; // eight float32 pairs at a time; likewise
    SumFunction sum;
    SpreadFunction spread_sums;
    ValuedFunction valued;
    ValuedSumFunction sum_valued;
    ScaledSpreadFunction spread_scaled_sums;
};

#if defined(__x86_64__)
#define WIDE_FORMS(Rule) bin_points_wide<Rule>, bin_points_wider<Rule>, bin_pairs_wider<Rule, float>
#define WIDE_BOUNDS(Rule)                                                                                              \
    bound_points_wide<Rule>, bound_points_wider<Rule>, bound_pairs_of<Rule, float>, bound_pairs_wider<Rule, float>
#else
#define WIDE_FORMS(Rule) nullptr, nullptr, nullptr
#define WIDE_BOUNDS(Rule) nullptr, nullptr, bound_pairs_of<Rule, float>, nullptr
#endif

constexpr RuleForms kRules[] = {
    {BinningRule::bilinear, "bilinear", BilinearRule::placed_x, bound_points_of<BilinearRule>,
     WIDE_BOUNDS(BilinearRule), kLongestLine, bin_points_plain<BilinearRule>, WIDE_FORMS(BilinearRule),
     sum_points_of<BilinearRule>, spread_sums<BilinearRule>, bin_valued_points_of<BilinearRule>,
     sum_valued_points_of<BilinearRule>, spread_scaled_sums_of<BilinearRule>},
    {BinningRule::classic, "classic", ClassicRule::placed_x, bound_points_of<ClassicRule>, WIDE_BOUNDS(ClassicRule),
     kPieceBytes, bin_points_plain<ClassicRule>, WIDE_FORMS(ClassicRule), sum_points_of<ClassicRule>,
     spread_sums<ClassicRule>, bin_valued_points_of<ClassicRule>, sum_valued_points_of<ClassicRule>,
     spread_scaled_sums_of<ClassicRule>},
};

#undef WIDE_FORMS
#undef WIDE_BOUNDS

#if defined(__x86_64__)
// What the processor has for the wide forms, asked once.
bool has_avx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
bool has_avx512()
{
    static const bool has =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    return has;
}
#endif

const RuleForms& forms_of(BinningRule rule)
{
    for (const RuleForms& forms : kRules)
        if (forms.rule == rule)
            return forms;
    return kRules[0];
}

} // namespace

double placed_x(BinningRule rule, double x) { return forms_of(rule).placed_x(x); }

PlacedBounds bound_points(BinningRule rule, bool log_x, bool log_y, const Point* points, std::size_t count,
                          unsigned step)
{
    const RuleForms& forms = forms_of(rule);
#if defined(__x86_64__)
    if (step >= 4 && has_avx512() && forms.bound_wider)
        return forms.bound_wider(log_x, log_y, points, count);
    if (step >= 2 && has_avx2() && forms.bound_wide)
        return forms.bound_wide(log_x, log_y, points, count);
#endif
    return forms.bound(log_x, log_y, points, count);
}

PlacedBounds bound_float_pairs(BinningRule rule, bool log_x, bool log_y, const float* pairs, std::size_t count)
{
    const RuleForms& forms = forms_of(rule);
#if defined(__x86_64__)
    if (has_avx512() && forms.bound_floats_wider)
        return forms.bound_floats_wider(log_x, log_y, pairs, count);
#endif
    return forms.bound_floats(log_x, log_y, pairs, count);
}

const char* binning_rule_name(BinningRule rule) { return forms_of(rule).name; }

std::size_t line_piece_bytes(BinningRule rule) { return forms_of(rule).piece_bytes; }

bool binning_rule_named(std::string_view name, BinningRule* rule)
{
    for (const RuleForms& forms : kRules)
        if (name == forms.name) {
            *rule = forms.rule;
            return true;
        }
    return false;
}

void bin_points(BinningRule rule, unsigned lanes, const CellGeometry& cells, const Point* points, std::size_t count,
                double* nodes, BinCounts& counts)
{
    const RuleForms& forms = forms_of(rule);
#if defined(__x86_64__)
    if (lanes >= 8 && has_avx512() && forms.wider) {
        forms.wider(cells, points, count, nodes, counts);
        return;
    }
    if (lanes >= 4 && has_avx2() && forms.wide) {
        forms.wide(cells, points, count, nodes, counts);
        return;
    }
#endif
    forms.plain(cells, points, count, nodes, counts);
}

void bin_float_pairs(BinningRule rule, unsigned lanes, const CellGeometry& cells, const float* pairs, std::size_t count,
                     double* nodes, BinCounts& counts)
{
#if defined(__x86_64__)
    const RuleForms& forms = forms_of(rule);
    if (lanes >= 8 && has_avx512() && forms.wider_floats) {
        forms.wider_floats(cells, pairs, count, nodes, counts);
        return;
    }
#endif
    // Widened a block at a time, then binned as points are.
    constexpr std::size_t kBlock = 1024;
    Point points[kBlock];
    for (std::size_t first = 0; first < count; first += kBlock) {
        const std::size_t n = std::min(kBlock, count - first);
        widen_pairs(pairs + 2 * first, n, points);
        bin_points(rule, lanes, cells, points, n, nodes, counts);
    }
}

void bin_valued_points(BinningRule rule, const CellGeometry& cells, const Point* points, const PointValues* values,
                       std::size_t count, double* nodes, double* value_sums, BinCounts& counts)
{
    forms_of(rule).valued(cells, points, values, count, nodes, value_sums, counts);
}

void sum_points(BinningRule rule, const CellGeometry& cells, const Point* points, std::size_t count, CellSums* sums,
                BinCounts& counts)
{
    forms_of(rule).sum(cells, points, count, sums, counts);
}

void sum_valued_points(BinningRule rule, const CellGeometry& cells, const Point* points, const PointValues* values,
                       std::size_t count, bool means, CellSums* sums, CellValueSums* value_sums, BinCounts& counts)
{
    forms_of(rule).sum_valued(cells, points, values, count, means, sums, value_sums, counts);
}

void spread_cell_sums(BinningRule rule, int gx, int gy, const CellSums& sums, double* nodes)
{
    if (gx < 0 || gy < 0 || gx >= kCells || gy >= kCells)
        return;
    forms_of(rule).spread_sums(nodes, gy * kNodes + gx, sums);
}

void spread_scaled_sums(BinningRule rule, int gx, int gy, const CellSums& cell, const ScaledSums& scaled, double* nodes)
{
    if (gx < 0 || gy < 0 || gx >= kCells || gy >= kCells)
        return;
    forms_of(rule).spread_scaled_sums(nodes, gy * kNodes + gx, cell, scaled);
}
