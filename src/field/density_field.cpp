#include "field/density_field.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

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

// Spreads one point over the four nodes of its cell. The order of the four
// additions and of the max updates is part of the result.
void bin_point(FieldState& s, double x, double y)
{
    // A NaN would pass every range test below; it is no point at all.
    if (std::isnan(x) || std::isnan(y))
        return;
    if (x < 40.0)
        x -= 1.0;
    if (x < s.x_min || x >= s.x_max || y < s.y_min || y >= s.y_max) {
        ++s.rejected;
        return;
    }
    double qx = (x - s.x_min) / s.dx;
    double qy = (y - s.y_min) / s.dy;
    // Extreme ranges can overflow the differences into inf/inf.
    if (std::isnan(qx) || std::isnan(qy)) {
        ++s.rejected;
        return;
    }
    int gx = static_cast<int>(std::floor(qx));
    int gy = static_cast<int>(std::floor(qy));
    // Just below the upper edge the quotient can round up to exactly 200.
    if (gx > kCells - 1)
        gx = kCells - 1;
    if (gy > kCells - 1)
        gy = kCells - 1;
    double fx = qx - gx;
    double fy = qy - gy;

    double* row0 = s.grid + gy * s.nx;
    double* row1 = row0 + s.nx;
    auto add = [&s](double& node, double w) {
        node += w;
        if (node > s.max)
            s.max = node;
    };
    add(row0[gx], fx * fy);
    add(row0[gx + 1], (1 - fx) * fy);
    add(row1[gx], fx * (1 - fy));
    add(row1[gx + 1], (1 - fx) * (1 - fy));
}

void take_points(void* context, const Point* points, std::size_t count)
{
    FieldState& s = *static_cast<FieldState*>(context);
    for (std::size_t i = 0; i < count; ++i)
        bin_point(s, points[i].x, points[i].y);
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

    read_points(stream, skip_lines, PointSink{take_points, s});

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

DensityField* create_density_field(double x_min, double y_min, double x_max, double y_max)
{
    FieldBlock* block = static_cast<FieldBlock*>(std::malloc(sizeof(FieldBlock)));
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
