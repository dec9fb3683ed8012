// Plot ranges: the round step that suits a span, the bounds of a data
// file's points where the field plots them, and a round range holding them.
#pragma once

#include <cstdio>
#include <vector>

#include "field/binning_rules.h"
#include "field/sources/point_reader.h"
#include "field/range.h"

// 1, 2 or 5 times a power of ten, the one nearest to a hundredth of the
// span; 1 for a span that is not positive and finite. The range fields'
// arrows step by it.
double range_step(double span);

// The smallest rectangle holding every point of a file that has finite
// coordinates, with x placed as the rule places it.
struct DataBounds {
    long long points = 0; // those points
    Range range;
    ReadCounts read; // what the reader found, as a load finds it
};
// Bounds gathered as the points were read, with that read's counts.
DataBounds data_bounds(const PlacedBounds& bounds, const ReadCounts& read);
// On a logarithmic axis only a point above zero there is held.
// Where `kept` is given (started by the caller), the points read are also
// kept there; their values are not, a fit reading x and y alone. Where
// `chunks` is given, each chunk's bounds are put there too, in file order.
class KeptPoints;
DataBounds read_data_bounds(std::FILE* stream, int skip_lines, Columns columns = {}, ReadWatch watch = {},
                            BinningRule rule = BinningRule::classic, unsigned threads = 0, bool log_x = false,
                            bool log_y = false, KeptPoints* kept = nullptr,
                            std::vector<PlacedBounds>* chunks = nullptr);
// The same bounds from the points a read kept, with that read's counts.
DataBounds kept_data_bounds(const KeptPoints& kept, BinningRule rule = BinningRule::classic, unsigned threads = 0,
                            bool log_x = false, bool log_y = false);

// A range that holds every point of the bounds inside its cells and shows
// them large: each axis from a multiple of a round step (1, 2, 2.5 or 5
// times a power of ten) at or below its lowest point to the first multiple
// above its highest, 4 to 10 steps, the step the points fill the most;
// false, changing nothing, for bounds without a point.
// On a logarithmic axis the ends are the powers of ten at or below the
// lowest point and above the highest.
bool fitted_range(const DataBounds& bounds, Range* range, bool log_x = false, bool log_y = false);
