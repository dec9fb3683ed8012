#include "field/density_field.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

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

// Spreads the points over the four nodes of their cells, in the partial of
// their chunk.
void take_points(void* context, void* partial, const Point* points, std::size_t count)
{
    const Binning& b = *static_cast<const Binning*>(context);
    PartialField& part = *static_cast<PartialField*>(partial);
    const double x_min = b.x_min, x_max = b.x_max, y_min = b.y_min, y_max = b.y_max;
    const double dx = b.dx, dy = b.dy;
    double* const grid = part.nodes;
    long long rejected = part.rejected;
    long long binned = part.binned;
    for (std::size_t k = 0; k < count; ++k) {
        double x = points[k].x, y = points[k].y;
        // A NaN would pass every range test below; it is no point at all.
        if (std::isnan(x) || std::isnan(y))
            continue;
        x = plotted_x(x);
        if (x < x_min || x >= x_max || y < y_min || y >= y_max) {
            ++rejected;
            continue;
        }
        // Both quotients with one packed division; each lane is the same
        // correctly rounded quotient the scalar division gives.
        const Pair q = Pair{x - x_min, y - y_min} / Pair{dx, dy};
        const double qx = q[0];
        const double qy = q[1];
        // A point inside the range can still have no cell: a range that
        // overflows gives inf / inf, one whose cells round to no size (or to
        // much less than a 200th of it) gives an infinite or too large
        // quotient. Such a point is counted as rejected; the negated test
        // also catches NaN.
        if (!(qx >= 0.0 && qx <= kCells && qy >= 0.0 && qy <= kCells)) {
            ++rejected;
            continue;
        }
        // Both quotients lie in 0..200 here, where truncation is floor.
        int gx = static_cast<int>(qx);
        int gy = static_cast<int>(qy);
        // Just below the upper edge a quotient can round up to exactly 200.
        if (gx > kCells - 1)
            gx = kCells - 1;
        if (gy > kCells - 1)
            gy = kCells - 1;
        ++binned;
        const double fx = qx - gx;
        const double fy = qy - gy;

        double* const row0 = grid + gy * kNodes + gx;
        double* const row1 = row0 + kNodes;
        row0[0] += fx * fy;
        row0[1] += (1 - fx) * fy;
        row1[0] += fx * (1 - fy);
        row1[1] += (1 - fx) * (1 - fy);
    }
    part.rejected = rejected;
    part.binned = binned;
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

void density_field_test_reset() { g_create_failure = {}; }

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
