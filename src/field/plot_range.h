// Plot ranges: the round step that suits a span, the bounds of a data
// file's points where the field plots them, and a round range holding them.
#pragma once

#include <cstdio>

#include "field/point_reader.h"

struct PlotRange {
    double x_min, x_max, y_min, y_max;
};

// The plot range's ends keep within a billion either way.
inline constexpr double kRangeLimit = 1e9;

// 1, 2 or 5 times a power of ten, the one nearest to a hundredth of the
// span; 1 for a span that is not positive and finite.
double range_step(double span);

// The smallest rectangle holding every point of a file that has finite
// coordinates, with x as the field plots it.
struct DataBounds {
    long long points = 0; // those points
    double x_min = 0, x_max = 0, y_min = 0, y_max = 0;
    ReadCounts read; // what the reader found, as a load finds it
};
DataBounds read_data_bounds(std::FILE* stream, int skip_lines, Columns columns = {}, ReadWatch watch = {});

// A range that holds every point of the bounds inside its cells, with a
// small margin, its ends on multiples of the step that suits it; false,
// changing nothing, for bounds without a point.
bool fitted_range(const DataBounds& bounds, PlotRange* range);
