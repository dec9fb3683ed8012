#include "field/density_field.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "field/binning_rules.h"
#include "field/density_field_test_hook.h"
#include "field/fault_plan.h"
#include "field/grid_size.h"
#include "field/kept_points.h"
#include "field/large_pages.h"
#include "field/sources/chunk_ring.h"
#include "field/sources/point_reader.h"

namespace {

constexpr int kNodes = kGridNodes;
constexpr int kCells = kGridCells;
constexpr char kTag[8] = {'m', 'e', 's', 'h', '_', 'f', 'l', 'd'};

} // namespace

struct FieldState {
    char tag[8];
    double x_min, y_min, x_max, y_max;
    double dx, dy;
    double max;
    double* grid;
    int nx, ny;
    long long rejected; // points outside the range (ops.rejected gives them as an int)
    long long not_a_number;
    BinningRule rule;
    Columns columns;       // where x and y stand in a line
    ReadWatch watch;       // asked while a load reads
    unsigned threads;      // that read the text; 0: one per core
    ReadCounts read;       // what the last load's reader found
    long long binned;      // points of the last load inside the range
    CellSums* sums;        // where loads also add up each cell's points; null for nowhere
    CellValueSums* valued; // ... and loads with values their sums of them; null for nowhere
    bool log_x, log_y;     // bin the logarithms of x, of y
    double least;          // the least mean of a load of means; of weights, the least sum below zero, else 0
    double weight;         // the weights binned by the last load
    long long nonpositive; // points of the last load at or below zero on a log axis
    double* value_sums;    // with a value column: Σ share·w·z at each node; else null
    KeptPoints* kept;      // where loads keep their points; null for nowhere
    PlacedBounds* bounds;  // where loads gather their points' bounds; null for nowhere
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

std::atomic<unsigned> g_binning_lanes{kWidestBinning};
// Where a load's count of rejected points starts: 0 but in a test.
std::atomic<long long> g_rejected_before_load{0};

// One chunk's share of a load: its own nodes and counts.
struct PartialField {
    double nodes[kNodes * kNodes];
    BinCounts counts;
    std::vector<CellSums> sums;       // empty unless the field keeps sums
    std::vector<double> value_sums;   // empty unless the nodes hold means
    long long nonpositive = 0;        // points with no logarithm on a log axis
    std::vector<Point> logged;        // the points on their log axes
    std::vector<PointValues> carried; // and the values of those kept
    KeptChunk kept;                   // the chunk's points as read, where the field keeps them
    PlacedBounds bounds;              // their bounds, where the field gathers them

    // Empty unless the field keeps sums with their values.
    std::vector<CellValueSums> valued;
};

// A load's partials, several to a large page: a partial spans 80 pages of
// 4 KiB, and where each first touch of one costs microseconds (a virtual
// machine) making four took 3.3 ms, against 0.5 ms in one large page.
class PartialPool {
public:
    PartialPool() = default;
    PartialPool(const PartialPool&) = delete;
    PartialPool& operator=(const PartialPool&) = delete;
    ~PartialPool()
    {
        for (void* block : blocks_)
            large_page_free(block, kBlockBytes);
    }

    // On the caller's thread alone; a partial lives until the pool goes
    // (its destructor is run by the sink's destroy).
    PartialField* make()
    {
        if (blocks_.empty() || used_ == kPerBlock) {
            blocks_.reserve(blocks_.size() + 1);
            blocks_.push_back(large_page_allocate(kBlockBytes));
            used_ = 0;
        }
        return new (static_cast<char*>(blocks_.back()) + used_++ * sizeof(PartialField)) PartialField;
    }

private:
    static constexpr std::size_t kBlockBytes = std::size_t(2) << 20;
    static constexpr std::size_t kPerBlock = kBlockBytes / sizeof(PartialField);
    static_assert(kPerBlock >= 1);
    std::vector<void*> blocks_;
    std::size_t used_ = 0;
};

// A load in progress: the binning every thread reads, and the field the
// partials are added to, on the caller's thread alone.
struct Load {
    CellGeometry cells;
    BinningRule rule;
    FieldState* field;
    PartialPool partials;
};

// The points, as the field bins them, into the partial's scratch: the
// logarithm on a log axis, a point at or below zero there counted apart
// and left out (a NaN goes on, to be counted as one); the values of those
// kept beside them where there are values. The count of those kept.
std::size_t take_logarithms(const FieldState& s, const Point* points, const PointValues* values, std::size_t count,
                            PartialField& part)
{
    part.logged.resize(count);
    if (values)
        part.carried.resize(count);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < count; ++k) {
        Point point = points[k];
        if (!std::isnan(point.x) && !std::isnan(point.y)) {
            if ((s.log_x && !(point.x > 0)) || (s.log_y && !(point.y > 0))) {
                ++part.nonpositive;
                continue;
            }
            if (s.log_x)
                point.x = std::log10(point.x);
            if (s.log_y)
                point.y = std::log10(point.y);
        }
        part.logged[kept] = point;
        if (values)
            part.carried[kept] = values[k];
        ++kept;
    }
    return kept;
}

// The points' bounds as a fit finds them, before any logarithm, where the
// field gathers them.
void gather_bounds(const FieldState& s, const Point* points, std::size_t count, PartialField& part)
{
    if (s.bounds)
        widen_bounds(part.bounds, bound_points(s.rule, s.log_x, s.log_y, points, count));
}

// Points with their weights and values, in the partial of their chunk.
void take_values(void* context, void* partial, const Point* points, const PointValues* values, std::size_t count)
{
    const Load& load = *static_cast<const Load*>(context);
    PartialField& part = *static_cast<PartialField*>(partial);
    if (load.field->kept)
        keep_points(*load.field->kept, part.kept, points, values, count);
    gather_bounds(*load.field, points, count, part);
    if (load.field->log_x || load.field->log_y) {
        count = take_logarithms(*load.field, points, values, count, part);
        points = part.logged.data();
        values = part.carried.data();
    }
    const bool means = !part.value_sums.empty();
    bin_valued_points(load.rule, load.cells, points, values, count, part.nodes,
                      means ? part.value_sums.data() : nullptr, part.counts);
    if (!part.valued.empty()) {
        BinCounts again; // the same points counted once already
        sum_valued_points(load.rule, load.cells, points, values, count, means, part.sums.data(), part.valued.data(),
                          again);
    }
}

// Spreads the points over the four nodes of their cells, in the partial of
// their chunk.
void take_points(void* context, void* partial, const Point* points, std::size_t count)
{
    const Load& load = *static_cast<const Load*>(context);
    PartialField& part = *static_cast<PartialField*>(partial);
    if (load.field->kept)
        keep_points(*load.field->kept, part.kept, points, nullptr, count);
    gather_bounds(*load.field, points, count, part);
    if (load.field->log_x || load.field->log_y) {
        count = take_logarithms(*load.field, points, nullptr, count, part);
        points = part.logged.data();
    }
    bin_points(load.rule, g_binning_lanes.load(std::memory_order_relaxed), load.cells, points, count, part.nodes,
               part.counts);
    if (!part.sums.empty()) {
        BinCounts again; // the same points counted once already
        sum_points(load.rule, load.cells, points, count, part.sums.data(), again);
    }
}

// Float32 pairs straight into the partial of their chunk: only for a load
// that neither keeps its points, nor takes logarithms, nor sums its cells.
// Their bounds, where the field gathers them, are those of the points
// they widen to (a fitted range read the array as points before, a
// quarter slower).
void take_float_pairs(void* context, void* partial, const float* pairs, std::size_t count)
{
    const Load& load = *static_cast<const Load*>(context);
    PartialField& part = *static_cast<PartialField*>(partial);
    const FieldState& s = *load.field;
    if (s.bounds)
        widen_bounds(part.bounds, bound_float_pairs(s.rule, s.log_x, s.log_y, pairs, count));
    bin_float_pairs(load.rule, g_binning_lanes.load(std::memory_order_relaxed), load.cells, pairs, count, part.nodes,
                    part.counts);
}

void clear_partial(PartialField& part)
{
    std::fill(std::begin(part.nodes), std::end(part.nodes), 0.0);
    part.counts = BinCounts{};
    std::fill(part.sums.begin(), part.sums.end(), CellSums{});
    std::fill(part.valued.begin(), part.valued.end(), CellValueSums{});
    std::fill(part.value_sums.begin(), part.value_sums.end(), 0.0);
    part.nonpositive = 0;
    part.bounds = PlacedBounds{};
}

void* make_partial(void* context)
{
    Load& load = *static_cast<Load*>(context);
    PartialField* part = load.partials.make();
    const FieldState& field = *load.field;
    if (field.sums)
        part->sums.resize(kCells * kCells);
    if (field.sums && field.valued)
        part->valued.resize(kCells * kCells);
    if (field.value_sums)
        part->value_sums.resize(kNodes * kNodes);
    return part;
}

void destroy_partial(void*, void* partial) { static_cast<PartialField*>(partial)->~PartialField(); }

void add_scaled_sums(ScaledSums& total, const ScaledSums& chunk)
{
    total.s += chunk.s;
    total.sfx += chunk.sfx;
    total.sfy += chunk.sfy;
    total.sfxfy += chunk.sfxfy;
}

void add_partial(void* context, void* partial)
{
    FieldState& s = *static_cast<Load*>(context)->field;
    PartialField& part = *static_cast<PartialField*>(partial);
    for (int i = 0; i < s.nx * s.ny; ++i)
        s.grid[i] += part.nodes[i];
    s.binned += part.counts.binned;
    s.rejected += part.counts.rejected;
    s.not_a_number += part.counts.not_a_number;
    s.weight += part.counts.weight;
    s.nonpositive += part.nonpositive;
    for (std::size_t k = 0; k < part.value_sums.size(); ++k)
        s.value_sums[k] += part.value_sums[k];
    for (std::size_t k = 0; k < part.sums.size(); ++k) {
        CellSums& total = s.sums[k];
        total.n += part.sums[k].n;
        total.sfx += part.sums[k].sfx;
        total.sfy += part.sums[k].sfy;
        total.sfxfy += part.sums[k].sfxfy;
    }
    for (std::size_t k = 0; k < part.valued.size(); ++k) {
        add_scaled_sums(s.valued[k].w, part.valued[k].w);
        add_scaled_sums(s.valued[k].wz, part.valued[k].wz);
    }
    if (s.kept)
        s.kept->add_chunk(std::exchange(part.kept, KeptChunk{}));
    if (s.bounds)
        widen_bounds(*s.bounds, part.bounds);
}

void empty_partial(void*, void* partial) { clear_partial(*static_cast<PartialField*>(partial)); }

// Each node's mean, NaN where no share reached it; 0 when no node has one.
int take_means(FieldState& s)
{
    bool any = false;
    for (int i = 0; i < s.nx * s.ny; ++i) {
        const double shares = s.grid[i];
        s.grid[i] = shares != 0 ? s.value_sums[i] / shares : NAN;
        if (std::isnan(s.grid[i]))
            continue;
        s.max = any ? std::max(s.max, s.grid[i]) : s.grid[i];
        s.least = any ? std::min(s.least, s.grid[i]) : s.grid[i];
        any = true;
    }
    return any ? 1 : 0;
}

// Weights may be negative: every node divided by the greatest absolute
// one; 0, leaving them, when that is none or not finite.
int normalise_weights(FieldState& s)
{
    for (int i = 0; i < s.nx * s.ny; ++i) {
        s.max = std::max(s.max, std::fabs(s.grid[i]));
        s.least = std::min(s.least, s.grid[i]);
    }
    if (!(s.max > 0) || !std::isfinite(s.max))
        return 0;
    for (int i = 0; i < s.nx * s.ny; ++i)
        s.grid[i] /= s.max;
    return 1;
}

// Divides every node by the largest; 0, leaving them, when that is too
// small to show.
int normalise(FieldState& s)
{
    if (s.value_sums)
        return take_means(s);
    if (s.columns.weight > 0)
        return normalise_weights(s);
    // Weights are never negative, so no node was ever above its final value.
    for (int i = 0; i < s.nx * s.ny; ++i)
        s.max = s.grid[i] > s.max ? s.grid[i] : s.max;
    if (s.max < 0.01)
        return 0;
    for (int i = 0; i < s.nx * s.ny; ++i)
        s.grid[i] /= s.max;
    return 1;
}

// Where the field bins: its range, or the logarithms of its ends on a log axis.
CellGeometry geometry_of(const FieldState& s)
{
    if (!s.log_x && !s.log_y)
        return CellGeometry{{s.x_min, s.x_max, s.y_min, s.y_max}, s.dx, s.dy};
    const double x_min = s.log_x ? std::log10(s.x_min) : s.x_min, x_max = s.log_x ? std::log10(s.x_max) : s.x_max;
    const double y_min = s.log_y ? std::log10(s.y_min) : s.y_min, y_max = s.log_y ? std::log10(s.y_max) : s.y_max;
    return CellGeometry{{x_min, x_max, y_min, y_max}, (x_max - x_min) / kCells, (y_max - y_min) / kCells};
}

void field_destroy(DensityField* field)
{
    if (!state_of(field))
        return;
    FieldBlock* block = reinterpret_cast<FieldBlock*>(field);
    std::free(block->state.value_sums);
    std::memset(static_cast<void*>(block), 0, sizeof *block);
    std::free(block);
}

// Every node and count cleared for a load.
void start_load(FieldState* s)
{
    std::fill(s->grid, s->grid + s->nx * s->ny, 0.0);
    s->max = 0.0;
    s->rejected = g_rejected_before_load.load(std::memory_order_relaxed);
    s->binned = 0;
    s->not_a_number = 0;
    s->least = 0.0;
    s->weight = 0.0;
    s->nonpositive = 0;
    if (s->value_sums)
        std::fill(s->value_sums, s->value_sums + s->nx * s->ny, 0.0);
    if (s->bounds)
        *s->bounds = PlacedBounds{};
}

ChunkSink sink_of(Load& load)
{
    ChunkSink sink{make_partial, take_points, add_partial, empty_partial, destroy_partial, &load, take_values};
    const FieldState& s = *load.field;
    if (!s.kept && !s.log_x && !s.log_y && !s.sums)
        sink.take_float_pairs = take_float_pairs;
    return sink;
}

// A load of the stream's points, after those of the kept beginning of the
// same file where one is given: the beginning's chunks, then the rest's,
// each added in order, are the partials of one read of the file, and a
// load that keeps keeps both.
int load_stream(DensityField* field, const KeptPoints* beginning, std::FILE* stream, int skip_lines)
{
    FieldState* s = state_of(field);
    if (!s || !stream)
        return 0;
    start_load(s);
    // The partials are added into zeros, so a file of one chunk gives just
    // what one pass would.
    Load load{geometry_of(*s), s->rule, s, {}};
    const ChunkSink sink = sink_of(load);
    if (beginning) {
        const std::unique_ptr<PointSource> source = kept_point_source(*beginning);
        read_source(*source, sink, s->threads);
    }
    s->read = read_chunks(stream, skip_lines, sink, s->columns, s->watch, s->threads, line_piece_bytes(s->rule),
                          beginning ? &beginning->read() : nullptr);
    if (s->kept)
        s->kept->finish(s->read);
    return normalise(*s);
}

int field_load(DensityField* field, std::FILE* stream, int skip_lines)
{
    return load_stream(field, nullptr, stream, skip_lines);
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
    if (!s)
        return 0;
    // Past what an int holds the count is kept whole in the load's counts.
    return static_cast<int>(std::min<long long>(s->rejected, INT_MAX));
}

double* field_data(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? s->grid : nullptr;
}

} // namespace

namespace {

FaultPlan g_create_failure;

bool create_fails() { return g_create_failure.fires(); }

} // namespace

void density_field_test_fail_create(unsigned skip, unsigned times) { g_create_failure = {true, skip, times}; }

void density_field_test_reset()
{
    g_create_failure = {};
    g_binning_lanes.store(kWidestBinning);
    g_rejected_before_load.store(0);
}

void density_field_test_rejected_before_load(long long count) { g_rejected_before_load.store(count); }

void density_field_test_binning_lanes(unsigned lanes) { g_binning_lanes.store(lanes); }

DensityField* create_density_field(const Range& range)
{
    FieldBlock* block = create_fails() ? nullptr : static_cast<FieldBlock*>(std::malloc(sizeof(FieldBlock)));
    if (!block)
        return nullptr;
    DensityField& f = block->field;
    FieldState& s = block->state;
    f.state = &s;
    f.ops = FieldOps{field_destroy, field_load, field_width, field_height, field_rejected, field_data};
    std::memcpy(s.tag, kTag, sizeof kTag);
    s.x_min = range.x_min;
    s.y_min = range.y_min;
    s.x_max = range.x_max;
    s.y_max = range.y_max;
    s.dx = (range.x_max - range.x_min) / kCells;
    s.dy = (range.y_max - range.y_min) / kCells;
    s.max = 0.0; // cleared again by load; set here so that nothing reads garbage
    s.rejected = 0;
    s.not_a_number = 0;
    s.rule = BinningRule::classic;
    s.columns = Columns{};
    s.watch = ReadWatch{};
    s.threads = 0;
    s.read = ReadCounts{};
    s.binned = 0;
    s.sums = nullptr;
    s.valued = nullptr;
    s.log_x = s.log_y = false;
    s.least = 0.0;
    s.weight = 0.0;
    s.nonpositive = 0;
    s.value_sums = nullptr;
    s.kept = nullptr;
    s.bounds = nullptr;
    s.grid = block->nodes;
    s.nx = kNodes;
    s.ny = kNodes;
    return &f;
}

int density_field_load_sums(DensityField* field, const CellSums* cells, long long rejected, long long not_a_number,
                            long long nonpositive, const CellValueSums* values)
{
    FieldState* s = state_of(field);
    if (!s || !cells || (s->columns.has_values() && !values))
        return 0;
    start_load(s);
    const bool weighted = s->columns.weight > 0;
    for (int gy = 0; gy < kCells; ++gy)
        for (int gx = 0; gx < kCells; ++gx) {
            const int k = gy * kCells + gx;
            const CellSums& cell = cells[k];
            if (cell.n == 0)
                continue;
            // Counts that go below zero or past a long long are no points.
            if (cell.n < 0 || __builtin_add_overflow(s->binned, cell.n, &s->binned))
                return 0;
            if (weighted)
                spread_scaled_sums(s->rule, gx, gy, cell, values[k].w, s->grid);
            else
                spread_cell_sums(s->rule, gx, gy, cell, s->grid);
            if (s->value_sums)
                spread_scaled_sums(s->rule, gx, gy, cell, values[k].wz, s->value_sums);
            if (s->columns.has_values())
                s->weight += weighted ? values[k].w.s : static_cast<double>(cell.n);
        }
    long long points = 0;
    if (rejected < 0 || not_a_number < 0 || nonpositive < 0 || __builtin_add_overflow(s->binned, rejected, &points) ||
        __builtin_add_overflow(points, not_a_number, &points) || __builtin_add_overflow(points, nonpositive, &points))
        return 0;
    s->rejected = rejected;
    s->not_a_number = not_a_number;
    s->nonpositive = nonpositive;
    s->read = ReadCounts{};
    s->read.points = points;
    return normalise(*s);
}

double density_field_max(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? s->max : 0.0;
}

double density_field_least(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? s->least : 0.0;
}

Range density_field_range(DensityField* field)
{
    FieldState* s = state_of(field);
    return s ? Range{s->x_min, s->x_max, s->y_min, s->y_max} : Range{};
}

bool density_field_set_binning(DensityField* field, BinningRule rule)
{
    FieldState* s = state_of(field);
    if (!s)
        return false;
    s->rule = rule;
    return true;
}

bool density_field_set_columns(DensityField* field, int x_column, int y_column)
{
    FieldState* s = state_of(field);
    if (!s || x_column < 1 || y_column < 1 || x_column > kMaxColumn || y_column > kMaxColumn || x_column == y_column)
        return false;
    s->columns.x = x_column;
    s->columns.y = y_column;
    return true;
}

bool density_field_set_values(DensityField* field, int weight_column, int value_column)
{
    FieldState* s = state_of(field);
    if (!s || weight_column < 0 || value_column < 0 || weight_column > kMaxColumn || value_column > kMaxColumn)
        return false;
    if (value_column > 0 && !s->value_sums) {
        s->value_sums = static_cast<double*>(std::calloc(std::size_t(kNodes) * kNodes, sizeof(double)));
        if (!s->value_sums)
            return false;
    } else if (value_column == 0) {
        std::free(s->value_sums);
        s->value_sums = nullptr;
    }
    s->columns.weight = weight_column;
    s->columns.value = value_column;
    return true;
}

NodeMeasure density_field_measure(DensityField* field)
{
    FieldState* s = state_of(field);
    if (!s || (s->columns.weight == 0 && s->columns.value == 0))
        return NodeMeasure::count;
    return s->columns.value > 0 ? NodeMeasure::mean : NodeMeasure::weight;
}

bool density_field_set_log_axes(DensityField* field, bool log_x, bool log_y)
{
    FieldState* s = state_of(field);
    if (!s || !logarithms_defined(Range{s->x_min, s->x_max, s->y_min, s->y_max}, log_x, log_y))
        return false;
    s->log_x = log_x;
    s->log_y = log_y;
    return true;
}

void density_field_log_axes(DensityField* field, bool* log_x, bool* log_y)
{
    const FieldState* s = state_of(field);
    *log_x = s && s->log_x;
    *log_y = s && s->log_y;
}

bool density_field_set_dialect(DensityField* field, const TextDialect& dialect, bool byte_order_mark)
{
    FieldState* s = state_of(field);
    const char separator = dialect.separator;
    if (!s || (separator != 0 && separator != ',' && separator != ';' && separator != '\t'))
        return false;
    s->columns.separator = separator;
    s->columns.decimal_comma = dialect.decimal_comma;
    s->columns.byte_order_mark = byte_order_mark;
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

bool density_field_keep_points(DensityField* field, KeptPoints* kept)
{
    FieldState* s = state_of(field);
    if (!s)
        return false;
    s->kept = kept;
    return true;
}

bool density_field_gather_bounds(DensityField* field, PlacedBounds* bounds)
{
    FieldState* s = state_of(field);
    if (!s)
        return false;
    s->bounds = bounds;
    return true;
}

int density_field_load_kept(DensityField* field, const KeptPoints& kept)
{
    FieldState* s = state_of(field);
    if (!s)
        return 0;
    start_load(s);
    Load load{geometry_of(*s), s->rule, s, {}};
    KeptPoints* keeping = std::exchange(s->kept, nullptr); // they are kept already
    const std::unique_ptr<PointSource> source = kept_point_source(kept);
    read_source(*source, sink_of(load), s->threads);
    s->kept = keeping;
    s->read = kept.read();
    return normalise(*s);
}

int density_field_load_after(DensityField* field, const KeptPoints& beginning, std::FILE* stream, int skip_lines)
{
    return load_stream(field, &beginning, stream, skip_lines);
}

bool density_field_set_cell_sums(DensityField* field, CellSums* cells, CellValueSums* values)
{
    FieldState* s = state_of(field);
    if (!s)
        return false;
    s->sums = cells;
    s->valued = values;
    return true;
}

FieldCounts density_field_counts(DensityField* field)
{
    FieldState* s = state_of(field);
    if (!s)
        return FieldCounts{};
    FieldCounts counts;
    counts.points = s->read.points;
    counts.in_range = s->binned;
    counts.rejected = s->rejected;
    counts.not_a_number = s->not_a_number;
    counts.rejected_lines = s->read.rejected_lines;
    counts.first_rejected_line = s->read.first_rejected_line;
    counts.header = s->read.header;
    counts.stopped = s->read.stopped;
    counts.changed = s->read.changed;
    counts.weight = s->weight;
    counts.nonpositive = s->nonpositive;
    return counts;
}

bool density_field_set_watch(DensityField* field, bool (*go_on)(void* context), void* context)
{
    FieldState* s = state_of(field);
    if (!s)
        return false;
    s->watch = ReadWatch{go_on, context};
    return true;
}

FieldView density_field_view(DensityField* field)
{
    FieldView view;
    if (!field)
        return view;
    view.nx = field->ops.width(field);
    view.ny = field->ops.height(field);
    view.nodes = field->ops.data(field);
    view.range = density_field_range(field);
    view.max = density_field_max(field);
    view.counts = density_field_counts(field);
    view.measure = density_field_measure(field);
    view.least = density_field_least(field);
    density_field_log_axes(field, &view.log_x, &view.log_y);
    return view;
}
