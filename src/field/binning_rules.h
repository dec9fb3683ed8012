// How a point is spread over the four nodes of its grid cell. Each rule is
// one small type with its plain form and its four-points-at-a-time form side
// by side, so that the two can never drift apart; the field and the fit read
// them, nothing else knows their weights.
#pragma once

#include <cstddef>
#include <string_view>

// The values are what the settings store.
enum class BinningRule {
    bilinear = 0, // each node gets the share of the point nearest to it
    classic = 1,  // the program's first rule, kept bit for bit for the files made for it
};

// Where the field puts a point's x under a rule.
double placed_x(BinningRule rule, double x);

// A rule's name, as `--binning` takes it.
const char* binning_rule_name(BinningRule rule);
// False, leaving *rule as it was, for a name no rule has.
bool binning_rule_named(std::string_view name, BinningRule* rule);

// Below: what the field's load uses to bin a batch of points.

struct Point;

// A load's grid geometry, fixed while many threads bin at once.
struct CellGeometry {
    double x_min, y_min, x_max, y_max;
    double dx, dy;
};

// What a batch of points came to.
struct BinCounts {
    long long binned = 0;       // spread over the nodes
    long long rejected = 0;     // outside the range, or in no cell
    long long not_a_number = 0; // x or y was NaN: no place at all
};

// Spreads the points that fall in a cell over the four nodes of the cell in
// `nodes` (201 x 201, row-major), in the points' order, under `rule`; the
// four-at-a-time form where the processor has it and `wide` allows, which
// gives the very same bits.
void bin_points(BinningRule rule, bool wide, const CellGeometry& cells, const Point* points, std::size_t count,
                double* nodes, BinCounts& counts);
