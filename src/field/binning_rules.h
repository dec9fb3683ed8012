// How a point is spread over the four nodes of its grid cell. Each rule is
// one small type with its plain form and its four-points-at-a-time form side
// by side, so that the two can never drift apart; the field and the fit read
// them, nothing else knows their weights.
#pragma once

#include <cstddef>
#include <string_view>

#include "field/range.h"

// The values are what the settings store.
enum class BinningRule {
    bilinear = 0, // each node gets the share of the point nearest to it
    classic = 1,  // the program's first rule, kept bit for bit for the files made for it
};

// Where the field puts a point's x under a rule.
double placed_x(BinningRule rule, double x);

// The longest piece of a line a rule reads as a line: the classic rule
// takes lines in the 1023-byte pieces fgets hands out, each piece a line of
// its own; otherwise a line is read whole, up to a mebibyte.
std::size_t line_piece_bytes(BinningRule rule);

// A rule's name, as `--binning` takes it.
const char* binning_rule_name(BinningRule rule);
// False, leaving *rule as it was, for a name no rule has.
bool binning_rule_named(std::string_view name, BinningRule* rule);

// Below: what the field's load uses to bin a batch of points.

struct Point;

// A load's grid geometry, fixed while many threads bin at once: the range
// binned and its cells' sizes.
struct CellGeometry : Range {
    double dx, dy;
};

// What a batch of points came to.
struct BinCounts {
    long long binned = 0;       // spread over the nodes
    long long rejected = 0;     // outside the range, or in no cell
    long long not_a_number = 0; // x or y was NaN: no place at all
    double weight = 0;          // the weights of the points spread (bin_valued_points)
};

// The least and greatest placed x and y of points, over those with finite
// coordinates (above zero on a logarithmic axis), and how many they are.
struct PlacedBounds {
    long long points = 0;
    double x_min = 0, x_max = 0, y_min = 0, y_max = 0;
};
// The bounds of the points under `rule`; a tie keeps the earlier value (0
// and -0), as a pass in the points' order would. Up to `step` points a step
// (4 or 2) where the processor has such a form, the same bits as 1.
PlacedBounds bound_points(BinningRule rule, bool log_x, bool log_y, const Point* points, std::size_t count,
                          unsigned step = 4);
// The same for float32 pairs (x, y, x, y, …), as the points they widen to.
PlacedBounds bound_float_pairs(BinningRule rule, bool log_x, bool log_y, const float* pairs, std::size_t count);
// The bounds of later points taken into those of earlier ones; a tie keeps
// the earlier value again, so bounds gathered a part at a time in order
// are those of one pass.
inline void widen_bounds(PlacedBounds& total, const PlacedBounds& later)
{
    if (later.points == 0)
        return;
    if (total.points == 0) {
        total = later;
        return;
    }
    total.points += later.points;
    total.x_min = later.x_min < total.x_min ? later.x_min : total.x_min;
    total.x_max = later.x_max > total.x_max ? later.x_max : total.x_max;
    total.y_min = later.y_min < total.y_min ? later.y_min : total.y_min;
    total.y_max = later.y_max > total.y_max ? later.y_max : total.y_max;
}

// Spreads the points that fall in a cell over the four nodes of the cell in
// `nodes` (201 x 201, row-major), in the points' order, under `rule`; up to
// `lanes` points a step (8 or 4) where the processor has such a form, which
// gives the very same bits as one at a time (lanes 1).
inline constexpr unsigned kWidestBinning = 8;
void bin_points(BinningRule rule, unsigned lanes, const CellGeometry& cells, const Point* points, std::size_t count,
                double* nodes, BinCounts& counts);
// Spreads float32 pairs (x, y, x, y, …), as an array of two float32
// columns holds them, to the very bits bin_points gives for the same
// values as points; widened in the eight-point form's registers where it
// runs, instead of in a pass of their own.
void bin_float_pairs(BinningRule rule, unsigned lanes, const CellGeometry& cells, const float* pairs, std::size_t count,
                     double* nodes, BinCounts& counts);

// Spreads points with their values, as bin_points spreads them but each
// point's shares scaled by its weight, into `nodes`; where `value_sums` is
// not null, also the shares scaled by weight times value into it (the
// numerators of the nodes' means). A point whose weight, or whose value
// when value_sums is asked, is NaN counts as not_a_number.
struct PointValues;
void bin_valued_points(BinningRule rule, const CellGeometry& cells, const Point* points, const PointValues* values,
                       std::size_t count, double* nodes, double* value_sums, BinCounts& counts);

// The sums over a cell's points of a quantity q each brings, alone and
// times the point's fractions: Σq, Σq·fx, Σq·fy, Σq·fx·fy.
struct ScaledSums {
    double s = 0, sfx = 0, sfy = 0, sfxfy = 0;
};

// What the points of one cell come to, enough to spread them as the points
// themselves would be: every rule's shares are linear in the fraction, so a
// node's weight is a sum of n, the fractions and their product.
struct CellSums {
    long long n = 0;  // points placed in the cell
    double sfx = 0;   // the sum of their fractions across the cell
    double sfy = 0;   // ... up the cell
    double sfxfy = 0; // ... and of the two multiplied
};

// For a load with values, beside a cell's CellSums: the same sums with each
// point scaled by a quantity, which spread as the points give a node's
// weight of it. Apart, so that counts alone take no more memory or time.
struct CellValueSums {
    ScaledSums w;  // scaled by each point's weight w (1 without a weight column)
    ScaledSums wz; // ... and by its weight times its value, w·z
};

// Places the points that fall in a cell as bin_points does and adds each to
// its cell's sums in `cells` (200 x 200, row-major by gy then gx), counting
// the others as bin_points counts them.
void sum_points(BinningRule rule, const CellGeometry& cells, const Point* points, std::size_t count, CellSums* sums,
                BinCounts& counts);

// Places points with their values as bin_valued_points does, counting the
// same points apart, and adds each to its cell's sums in `sums` and its
// weight's and its weight times its value's in `value_sums` (both 200 x
// 200). `means`: the values are asked for, so that a NaN value counts as
// not_a_number.
void sum_valued_points(BinningRule rule, const CellGeometry& cells, const Point* points, const PointValues* values,
                       std::size_t count, bool means, CellSums* sums, CellValueSums* value_sums, BinCounts& counts);

// Spreads the sums of cell (gx, gy) over its four nodes in `nodes` as
// `rule` spreads the points they came from.
void spread_cell_sums(BinningRule rule, int gx, int gy, const CellSums& sums, double* nodes);
// Spreads the cell's sums of a quantity (`scaled`, its w or its wz) as
// bin_valued_points spreads its points' shares scaled by it; a cell of one
// point gets the very bits the point gives.
void spread_scaled_sums(BinningRule rule, int gx, int gy, const CellSums& cell, const ScaledSums& scaled,
                        double* nodes);
