// The density field: a 201 x 201 grid of node weights over a rectangle of the
// x/y plane, filled from the points of any source (text, an array, a
// database's query) or from its cells' sums, and normalised.
#pragma once

#include <cstdio>

#include "field/binning_rules.h"
#include "field/range.h"
#include "field/sources/text_dialect.h"

struct DensityField;

struct FieldOps {
    void (*destroy)(DensityField* field);
    int (*load)(DensityField* field, std::FILE* stream, int skip_lines);
    int (*width)(DensityField* field);
    int (*height)(DensityField* field);
    int (*rejected)(DensityField* field);
    double* (*data)(DensityField* field);
};

struct DensityField {
    struct FieldState* state;
    FieldOps ops;
};

// One allocation holding the record, its state and the node array, over
// `range`; null when memory is exhausted. The nodes are not cleared until load.
DensityField* create_density_field(const Range& range);

// The largest node value of the last load before normalisation (the
// largest absolute one for weights, the greatest mean for means); 0 on a
// bad handle.
double density_field_max(DensityField* field);
// The least mean of the last load of means; 0 otherwise.
double density_field_least(DensityField* field);

// The rectangle the field covers; zeros on a bad handle.
Range density_field_range(DensityField* field);

// The rule later loads spread points by (classic until set). False,
// changing nothing, for a bad handle.
bool density_field_set_binning(DensityField* field, BinningRule rule);

// The columns later loads take x and y from, counted from 1 (1 and 2 until
// set). False, changing nothing, for a bad handle, a column below 1 or
// above kMaxColumn, or both the same.
inline constexpr int kMaxColumn = 1000;
bool density_field_set_columns(DensityField* field, int x_column, int y_column);

// What the nodes hold: the points' shares (counts), or their shares times
// their weights, both normalised to the greatest absolute node; or the mean
// of a value at each node, Σ(share·w·z) / Σ(share·w), in the value's own
// units, NaN where no share reached (w being 1 without a weight column).
enum class NodeMeasure { count, weight, mean };

// The columns later loads take each point's weight and the value to
// average from, counted from 1; 0 for none (as until set). The weight
// then is 1, and the nodes hold counts (or, with a value, its plain mean).
// False, changing nothing, for a bad handle or a column below 0 or above
// kMaxColumn.
bool density_field_set_values(DensityField* field, int weight_column, int value_column);
NodeMeasure density_field_measure(DensityField* field);

// Whether later loads bin the base-10 logarithm of x and of y (not until
// set): the range stays in the data's units, and a point at or below zero
// on such an axis is counted apart (FieldCounts::nonpositive). False,
// changing nothing, for a bad handle or a range that reaches zero or below
// on a logarithmic axis.
bool density_field_set_log_axes(DensityField* field, bool log_x, bool log_y);
// Whether loads bin the logarithm of x and of y; both false on a bad handle.
void density_field_log_axes(DensityField* field, bool* log_x, bool* log_y);

// How later loads split a line into columns, as the file's first lines
// show (white space until set), and whether it begins with a byte-order
// mark to pass over. False, changing nothing, for a bad handle or a
// separator other than 0, ',', ';' and '\t'.
bool density_field_set_dialect(DensityField* field, const TextDialect& dialect, bool byte_order_mark);

// How many threads later loads read the text with, the caller's included;
// 0, as until set, takes one per core. The field is the same whatever the
// number. False, changing nothing, for a bad handle.
bool density_field_set_threads(DensityField* field, unsigned threads);

// Loads the field from the sums of its 200 x 200 cells (row-major by gy,
// then gx) instead of points: each cell spread as the field's rule spreads
// its points, then normalised as a load of the points is. A field set for
// weights spreads each cell's sums of weights (`values`, as many, w), one
// set for a value also their sums times the values (wz), as the points
// would be; the sums of a field on logarithmic axes are those of the
// logarithms. The counts are those of the points: `rejected` outside the
// range, `not_a_number` with a NaN coordinate (or weight, or value),
// `nonpositive` with no logarithm. 0 on a bad handle, for a field with
// values but no `values`, when nothing could be normalised, or when a
// count is negative or the counts add up past a long long.
struct CellSums;
struct CellValueSums;
int density_field_load_sums(DensityField* field, const CellSums* cells, long long rejected, long long not_a_number,
                            long long nonpositive = 0, const CellValueSums* values = nullptr);

// Where later loads of points also add each point in range to the sums of
// its cell (200 x 200, row-major by gy, then gx), and loads with a weight
// or a value its sums scaled by them to `values` (as many; where it is
// null, such loads keep no sums); null, as until set, for none. The caller
// clears them and keeps them alive. False for a bad handle.
bool density_field_set_cell_sums(DensityField* field, CellSums* cells, CellValueSums* values = nullptr);

// Where later loads of points also keep every point they read (with its
// values where they read any), which the caller started for the file; null,
// as until set, for nowhere. The caller keeps it alive. False for a bad
// handle.
class KeptPoints;
bool density_field_keep_points(DensityField* field, KeptPoints* kept);

// Loads the field from points a read kept, chunk by chunk as that read
// would bin them, so that the nodes get the same bits; the counts are that
// read's. 0 as load gives 0.
int density_field_load_kept(DensityField* field, const KeptPoints& kept);

// Loads the field from the kept beginning of a file (a read its watch
// stopped: KeptPoints::holds_beginning) and the rest of the file from
// `stream`, which is read from the start as load reads it and passed over
// to where that read stopped: the nodes and counts a load of the whole
// file gives, without parsing the beginning again. 0 as load gives 0.
int density_field_load_after(DensityField* field, const KeptPoints& beginning, std::FILE* stream, int skip_lines);

// What the last load read. A line is a line of the file after the skipped
// ones, or a 1023-byte part of a longer one.
struct FieldCounts {
    long long points = 0;              // lines that held a point
    long long in_range = 0;            // points that fell inside the range and were binned
    long long rejected_lines = 0;      // lines with text but no point (comments and a header aside)
    long long first_rejected_line = 0; // the first of those, from 1; 0 for none
    bool header = false;               // text without a point before any point was passed over
    bool stopped = false;              // the watch ended the load early
    long long rejected = 0;            // points outside the range, or in no cell
    long long not_a_number = 0;        // points with a NaN coordinate, which have no place at all
    bool changed = false;              // the file shrank while it was read: the field is not the file's
    double weight = 0;                 // the weights of the points binned, with a weight column
    long long nonpositive = 0;         // points at or below zero on a logarithmic axis
};
// Zeros on a bad handle or before any load.
FieldCounts density_field_counts(DensityField* field);

// Where later loads also gather the bounds of the points they read, as a
// fit finds them (read_data_bounds), in file order; null, as until set, for
// nowhere. Each load starts them anew, and the caller may read them
// between its partials' adds, on the thread that loads (in its watch).
// False for a bad handle.
bool density_field_gather_bounds(DensityField* field, PlacedBounds* bounds);

// Asked now and then while later loads read (see ReadWatch); false stops
// the load there. False, changing nothing, for a bad handle.
bool density_field_set_watch(DensityField* field, bool (*go_on)(void* context), void* context);

// What a view draws of a loaded field, read once when it is handed over:
// the nodes through the field's operations (width, height and data, in
// that order; the nodes stay the field's), the rectangle, the largest node
// before normalisation and the counts (zeros for a record without the
// field's own state).
struct FieldView {
    int nx = 0, ny = 0;
    const double* nodes = nullptr;
    Range range;
    double max = 0;
    FieldCounts counts;
    NodeMeasure measure = NodeMeasure::count;
    double least = 0;                  // the least mean; for weights, the least sum where one is below zero
    bool log_x = false, log_y = false; // the nodes stand evenly in the logarithm of x, of y
};
FieldView density_field_view(DensityField* field);
