#include "field/plot_range.h"

#include <algorithm>
#include <cmath>

#include "field/binning_rules.h"

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

// One axis: the points' ends widened by the margin, on ten steps of the
// finest round step that holds them from a multiple of it; the upper end
// always lies above the highest point, whose cell is below it.
Ends fitted_ends(double low, double high)
{
    const double span = high - low;
    const double margin = span >= kLeastSpan ? span * kMargin : std::max(std::fabs(low) * kMargin, 0.5);
    const double tenth = (span + 2 * margin) / 10;
    for (int n = 4 * (int(std::floor(std::log10(tenth))) - 1);; ++n) {
        const Step step = rung(n);
        // The first multiple at or below the lowest point (far from zero the
        // margin can round away) and the last whose ten steps reach above the
        // highest; between them, the one that centres the points.
        double most_steps = std::floor((low - margin) / step.times(1));
        if (step.times(most_steps) > low)
            --most_steps;
        double least_steps = std::ceil((high + margin) / step.times(1)) - 10;
        if (step.times(least_steps + 10) <= high)
            ++least_steps;
        // Points on one side of zero keep the range there.
        if (most_steps >= 0)
            least_steps = std::max(least_steps, 0.0);
        if (least_steps <= -10)
            most_steps = std::min(most_steps, -10.0);
        if (least_steps > most_steps)
            continue;
        const double centred = std::round((low + high) / 2 / step.times(1) - 5);
        const double low_steps = std::clamp(centred, least_steps, most_steps);
        double fitted_low = step.times(low_steps), fitted_high = step.times(low_steps + 10);
        // At the limits the range stops there, still ten steps wide.
        if (fitted_high > kRangeLimit) {
            fitted_high = kRangeLimit;
            fitted_low = std::max(-kRangeLimit, kRangeLimit - step.times(10));
        } else if (fitted_low < -kRangeLimit) {
            fitted_low = -kRangeLimit;
            fitted_high = std::min(kRangeLimit, -kRangeLimit + step.times(10));
        }
        return {fitted_low, fitted_high};
    }
}

// One chunk's bounds, or the total's.
struct Bounds {
    long long points = 0;
    double x_min = 0, x_max = 0, y_min = 0, y_max = 0;
};

// Ties keep the earlier value, as a pass in file order would (0 and -0).
void widen(Bounds& b, double x_min, double x_max, double y_min, double y_max, long long points)
{
    if (b.points == 0) {
        b = Bounds{points, x_min, x_max, y_min, y_max};
        return;
    }
    b.points += points;
    b.x_min = std::min(b.x_min, x_min);
    b.x_max = std::max(b.x_max, x_max);
    b.y_min = std::min(b.y_min, y_min);
    b.y_max = std::max(b.y_max, y_max);
}

// A fit in progress: the bounds so far, and where the rule places x.
struct Fit {
    Bounds total;
    BinningRule rule;
};

void take_bounds(void* context, void* partial, const Point* points, std::size_t count)
{
    const BinningRule rule = static_cast<const Fit*>(context)->rule;
    Bounds& b = *static_cast<Bounds*>(partial);
    for (std::size_t k = 0; k < count; ++k) {
        const double x = placed_x(rule, points[k].x), y = points[k].y;
        if (std::isfinite(x) && std::isfinite(y))
            widen(b, x, x, y, y, 1);
    }
}

void add_bounds(void* context, void* partial)
{
    Bounds& part = *static_cast<Bounds*>(partial);
    if (part.points > 0)
        widen(static_cast<Fit*>(context)->total, part.x_min, part.x_max, part.y_min, part.y_max, part.points);
    part = Bounds{};
}

void* make_bounds(void*) { return new Bounds; }

void destroy_bounds(void*, void* partial) { delete static_cast<Bounds*>(partial); }

} // namespace

double range_step(double span) { return step_for(span).times(1); }

DataBounds read_data_bounds(std::FILE* stream, int skip_lines, Columns columns, ReadWatch watch, BinningRule rule,
                            unsigned threads)
{
    Fit fit{Bounds{}, rule};
    const ReadCounts read =
        read_chunks(stream, skip_lines, ChunkSink{make_bounds, take_bounds, add_bounds, destroy_bounds, &fit}, columns,
                    watch, threads, line_piece_bytes(rule));
    const Bounds& total = fit.total;
    return DataBounds{total.points, Range{total.x_min, total.x_max, total.y_min, total.y_max}, read};
}

bool fitted_range(const DataBounds& bounds, Range* range)
{
    if (bounds.points == 0)
        return false;
    const Ends x = fitted_ends(bounds.range.x_min, bounds.range.x_max);
    const Ends y = fitted_ends(bounds.range.y_min, bounds.range.y_max);
    *range = Range{x.low, x.high, y.low, y.high};
    return true;
}
