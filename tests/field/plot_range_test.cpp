// The round step of a span, and the range fitted to a file's points,
// checked against plain statements of what they must be.
#include "field/plot_range.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "temp_stream.h"

namespace {

TEST(RangeTest, TheStepIsTheRoundNumberNearestAHundredthOfTheSpan)
{
    const struct {
        double span, step;
    } cases[] = {
        {4000, 50},  {100, 1},     {140, 1},   {142, 2},     {300, 2}, {320, 5}, {700, 5},    {710, 10},
        {13.5, 0.1}, {0.3, 0.002}, {2e9, 2e7}, {1e-6, 1e-8}, {0, 1},   {-5, 1},  {5e-324, 1},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(range_step(c.span), c.step) << c.span;
}

// The fitted range holds every point (x as plotted: one lower below 40)
// with a margin, ten round steps wide from a multiple of the step (points
// on one side of zero stay there), and nothing for a file without a
// finite point.
TEST(RangeTest, TheFittedRangeHoldsEveryPointOnRoundEnds)
{
    const struct {
        const char* text;
        bool fitted;
        Range range;
    } cases[] = {
        {"1800 1800\n2200 2200\n", true, {1750, 2250, 1750, 2250}},
        {"-3.5 100\n7 120\n0.25 1e3\n", true, {-10, 10, 0, 2000}},
        // One x: a margin of 2% of it, ten steps of 0.5.
        {"100 -0.001\n100 0.001\n", true, {97.5, 102.5, -0.00125, 0.00125}},
        {"41.5,7\n# comment\nx y\n", true, {40.6, 42.6, 6.5, 7.5}},
        // At the limit the range stops there, still ten steps wide.
        {"1e9 -1e9\n", true, {950000000, 1e9, -1e9, -950000000}},
        // A span of a few units in the last place: the margin rounds away,
        // and the upper end still lies above the top point.
        {"100 2.9999999999999694\n100 3\n", true, {97.5, 102.5, 2.99999999999996, 3.0000000000000102}},
        // One point: 2% of it either way, but at least half a unit (y at zero).
        {"40 0\n", true, {39, 41, -0.5, 0.5}},
        // A point with one coordinate not finite is no point.
        {"45 7\n3 inf\n1e300 -inf\n", true, {44, 46, 6.5, 7.5}},
        // A span of a few units in the last place, the margin lost to
        // rounding: ten steps still hold both points.
        {"100 174.426\n100 174.4260000000007\n", true, {97.5, 102.5, 174.42599999999979, 174.42600000000081}},
        // Spans too small for a hundredth of them: taken as one point.
        {"5e-324 0\n0 5e-324\n", true, {-1.5, -0.5, -0.5, 0.5}},
        {"nan 1\ninf 2\n", false, {}},
        {"words only\n", false, {}},
    };
    for (const auto& c : cases) {
        TempStream in(c.text);
        const DataBounds data = read_data_bounds(in.file, 0);
        const Range& bounds = data.range;
        Range range{1, 2, 3, 4};
        EXPECT_EQ(fitted_range(data, &range), c.fitted) << c.text;
        const Range expected = c.fitted ? c.range : Range{1, 2, 3, 4};
        EXPECT_EQ(range.x_min, expected.x_min) << c.text;
        EXPECT_EQ(range.x_max, expected.x_max) << c.text;
        EXPECT_EQ(range.y_min, expected.y_min) << c.text;
        EXPECT_EQ(range.y_max, expected.y_max) << c.text;
        // Every point in the range, whose upper ends are open, short of the limit.
        if (c.fitted) {
            // Spans of a few units in the last place cannot be exact steps.
            for (const auto& [low, high] : {std::pair{range.x_min, range.x_max}, {range.y_min, range.y_max}}) {
                if (high - low < 1e-9 * std::fabs(low))
                    continue;
                const double step = (high - low) / 10, decade = std::pow(10.0, std::floor(std::log10(step)));
                const double mantissa = std::round(step / decade * 1e6) / 1e6;
                EXPECT_TRUE(mantissa == 1 || mantissa == 2 || mantissa == 2.5 || mantissa == 5) << step;
                EXPECT_NEAR(low / (mantissa * decade), std::round(low / (mantissa * decade)), 1e-6) << low;
            }
            EXPECT_TRUE(range.x_min <= bounds.x_min && (bounds.x_max < range.x_max || range.x_max == kRangeLimit))
                << c.text;
            EXPECT_TRUE(range.y_min <= bounds.y_min && (bounds.y_max < range.y_max || range.y_max == kRangeLimit))
                << c.text;
        }
    }
}

// The watch is asked once a megabyte; stopping drops what was not yet
// handed out, so no cut line counts.
TEST(RangeTest, AWatchThatSaysStopEndsTheReadEarly)
{
    std::string text;
    while (text.size() < (5u << 20))
        text += "1000 2000\n";
    TempStream in(text);
    int asked = 0;
    auto stop_at_second = [](void* context) { return ++*static_cast<int*>(context) < 2; };
    const DataBounds bounds = read_data_bounds(in.file, 0, Columns{}, ReadWatch{stop_at_second, &asked});
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(bounds.read.stopped);
    EXPECT_LE(bounds.points, static_cast<long long>((2u << 20) / 10));
    EXPECT_EQ(bounds.read.rejected_lines, 0);
}

} // namespace
