#include "field/plot_range.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "field/binning_rules.h"
#include "field/kept_points.h"
#include "field/sources/chunk_ring.h"

namespace {

// What is kept clear of the points on each side, in parts of their span.
constexpr double kMargin = 0.02;
// Spans below this are taken as none: their hundredths and margins would
// underflow to zero, and a logarithm of zero has no power of ten.
constexpr double kLeastSpan = 1e-290;

// A step as 1, 2, 2.5 or 5 times ten to a power, so that its multiples can be
// made without the rounding of 0.1 showing in them.
struct Step {
    double mantissa;
    int exponent;
    // k steps, as the double nearest to the decimal number.
    double times(double k) const
    {
        const double digits = k * mantissa;
        return exponent >= 0 ? digits * std::pow(10.0, exponent) : digits / std::pow(10.0, -exponent);
    }
};

Step step_for(double span)
{
    if (!(span >= kLeastSpan) || !std::isfinite(span))
        return {1, 0};
    const double hundredth = span / 100;
    int exponent = static_cast<int>(std::floor(std::log10(hundredth)));
    const double ratio = hundredth / std::pow(10.0, exponent);
    // Nearest on a log scale: the borders are the geometric means.
    double mantissa = ratio < std::sqrt(2.0) ? 1 : ratio < std::sqrt(10.0) ? 2 : ratio < std::sqrt(50.0) ? 5 : 10;
    if (mantissa == 10) {
        mantissa = 1;
        ++exponent;
    }
    return {mantissa, exponent};
}

struct Ends {
    double low, high;
};

// Rung n of the ladder of round steps, 1, 2, 2.5 and 5 times each power of
// ten: the steps an axis's ticks take, so that a fitted range's grid lines
// fall on them.
Step rung(int n)
{
    const int decade = n >= 0 ? n / 4 : -((-n + 3) / 4);
    static const double mantissas[] = {1, 2, 2.5, 5};
    return {mantissas[n - decade * 4], decade};
}

// One axis: from the lowest point to past the highest, widened only to the
// multiples of a round step around them, 4 to 10 steps in all; of such
// steps, the one whose range the points fill the most, so that the data
// show large. The upper end lies above the highest point, whose cell is
// below it (a tie there keeps one step outside); points on one side of
// zero keep the range there, as the multiples do.
Ends fitted_ends(double low, double high)
{
    // A span too small for its cells to be told apart at the points' size.
    const double least = std::max(kLeastSpan, (std::fabs(low) + std::fabs(high)) * 1e-12);
    if (!(high - low >= least)) {
        // One value, or all but one: a span about it, a unit wide near zero.
        const double half = std::max(std::fabs(low) * kMargin, 0.5);
        low -= half;
        high += half;
    }
    const double span = high - low;
    Ends best{low, high};
    double best_fill = -1;
    for (int n = 4 * (int(std::floor(std::log10(span / 10))) - 1);; ++n) {
        const Step step = rung(n);
        double low_steps = std::floor(low / step.times(1));
        if (step.times(low_steps) > low)
            --low_steps;
        double high_steps = std::floor(high / step.times(1)) + 1;
        if (step.times(high_steps) <= high)
            ++high_steps;
        const double steps = high_steps - low_steps;
        if (steps < 4)
            break;
        const double fitted_low = step.times(low_steps), fitted_high = step.times(high_steps);
        if (steps > 10 || !std::isfinite(fitted_low) || !std::isfinite(fitted_high))
            continue;
        const double fill = span / (fitted_high - fitted_low);
        if (fill > best_fill) {
            best_fill = fill;
            best = {fitted_low, fitted_high};
        }
    }
    return best;
}

// A chunk's bounds, and its points where the fit keeps them.
struct ChunkBounds {
    PlacedBounds bounds;
    KeptChunk kept;
};

// A fit in progress: the bounds so far, where the rule places x, and the
// logarithmic axes, where a point at or below zero has no place.
struct Fit {
    PlacedBounds total;
    BinningRule rule;
    bool log_x = false, log_y = false;
    KeptPoints* kept = nullptr;
    std::vector<PlacedBounds>* chunks = nullptr;
};

void take_bounds(void* context, void* partial, const Point* points, std::size_t count)
{
    const Fit& fit = *static_cast<const Fit*>(context);
    ChunkBounds& chunk = *static_cast<ChunkBounds*>(partial);
    if (fit.kept)
        keep_points(*fit.kept, chunk.kept, points, nullptr, count);
    widen_bounds(chunk.bounds, bound_points(fit.rule, fit.log_x, fit.log_y, points, count));
}

void add_bounds(void* context, void* partial)
{
    ChunkBounds& chunk = *static_cast<ChunkBounds*>(partial);
    Fit& fit = *static_cast<Fit*>(context);
    widen_bounds(fit.total, chunk.bounds);
    if (fit.chunks)
        fit.chunks->push_back(chunk.bounds);
    if (fit.kept)
        fit.kept->add_chunk(std::exchange(chunk.kept, KeptChunk{}));
}

void clear_bounds(void*, void* partial) { static_cast<ChunkBounds*>(partial)->bounds = PlacedBounds{}; }

void* make_bounds(void*) { return new ChunkBounds; }

void destroy_bounds(void*, void* partial) { delete static_cast<ChunkBounds*>(partial); }

} // namespace

DataBounds data_bounds(const PlacedBounds& bounds, const ReadCounts& read)
{
    return DataBounds{bounds.points, Range{bounds.x_min, bounds.x_max, bounds.y_min, bounds.y_max}, read};
}

double range_step(double span) { return step_for(span).times(1); }

DataBounds read_data_bounds(std::FILE* stream, int skip_lines, Columns columns, ReadWatch watch, BinningRule rule,
                            unsigned threads, bool log_x, bool log_y, KeptPoints* kept,
                            std::vector<PlacedBounds>* chunks)
{
    Fit fit{PlacedBounds{}, rule, log_x, log_y, kept, chunks};
    const ReadCounts read = read_chunks(
        stream, skip_lines, ChunkSink{make_bounds, take_bounds, add_bounds, clear_bounds, destroy_bounds, &fit},
        columns, watch, threads, line_piece_bytes(rule));
    if (kept)
        kept->finish(read);
    return data_bounds(fit.total, read);
}

DataBounds kept_data_bounds(const KeptPoints& kept, BinningRule rule, unsigned threads, bool log_x, bool log_y)
{
    Fit fit{PlacedBounds{}, rule, log_x, log_y};
    const std::unique_ptr<PointSource> source = kept_point_source(kept);
    read_source(*source, ChunkSink{make_bounds, take_bounds, add_bounds, clear_bounds, destroy_bounds, &fit}, threads);
    return data_bounds(fit.total, kept.read());
}

namespace {

// The powers of ten around a logarithmic axis's points, a decade at least.
Ends fitted_log_ends(double low, double high)
{
    return Ends{std::pow(10.0, std::floor(std::log10(low))), std::pow(10.0, std::floor(std::log10(high)) + 1)};
}

} // namespace

bool fitted_range(const DataBounds& bounds, Range* range, bool log_x, bool log_y)
{
    const Range& b = bounds.range;
    if (bounds.points == 0 || std::isnan(b.x_min) || std::isnan(b.x_max) || std::isnan(b.y_min) || std::isnan(b.y_max))
        return false;
    // A server's bounds may come reversed or infinite; points past a
    // quarter of the largest double are taken as there (and then fall
    // outside), which keeps every span and step of the range finite.
    const auto ends_of = [](double a, double b) {
        constexpr double kFar = std::numeric_limits<double>::max() / 4;
        return fitted_ends(std::clamp(std::min(a, b), -kFar, kFar), std::clamp(std::max(a, b), -kFar, kFar));
    };
    const Ends x = log_x && b.x_min > 0 ? fitted_log_ends(b.x_min, b.x_max) : ends_of(b.x_min, b.x_max);
    const Ends y = log_y && b.y_min > 0 ? fitted_log_ends(b.y_min, b.y_max) : ends_of(b.y_min, b.y_max);
    *range = Range{x.low, x.high, y.low, y.high};
    return true;
}
