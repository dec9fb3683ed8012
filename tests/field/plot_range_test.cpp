// The round step of a span, and the range fitted to a file's points,
// checked against plain statements of what they must be.
#include "field/plot_range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "field/sources/point_reader.h"
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

// Below 40, x is placed one lower, as the classic rule has it.
// A fitted axis runs from a multiple of a round step (1, 2, 2.5 or 5 times
// a power of ten) at or below its lowest point to the first multiple above
// its highest, 4 to 10 steps, the step that the points fill the most; a
// file without a finite point gives no fit.
TEST(RangeTest, TheFittedRangeHugsThePointsOnRoundEnds)
{
    const struct {
        const char* text;
        bool fitted;
        Range range;
    } cases[] = {
        {"1800 1800\n2200 2200\n", true, {1800, 2250, 1800, 2250}},
        {"-3.5 100\n7 120\n0.25 1e3\n", true, {-5, 7.5, 100, 1100}},
        // A top point on a multiple keeps one step outside: its cell is below the end.
        {"0.2 0\n5 24\n", true, {-1, 5, 0, 25}},
        {"-180 -90\n180 90\n", true, {-200, 200, -100, 100}},
        {"30 1\n4962 2\n", true, {0, 5000, 1, 2.2}},
        // A tie in fill, 3..13 by ones and 2.5..12.5 by 2.5s: the finer step.
        {"100 3\n100 12\n", true, {98, 102.5, 3, 13}},
        // One value: 2% of it either way, but at least half a unit (y at zero).
        {"100 -0.001\n100 0.001\n", true, {98, 102.5, -0.001, 0.00125}},
        {"40 0\n", true, {39.2, 41, -0.6, 0.6}},
        {"41.5,7\n# comment\nx y\n", true, {40.6, 42.4, 6.4, 7.6}},
        // Unix seconds and populations above a billion.
        {"1700000000 1400000000\n1700086400 7000000\n", true, {1700000000, 1700090000, 0, 1.5e9}},
        // A point with one coordinate not finite is no point.
        {"45 7\n3 inf\n1e300 -inf\n", true, {44, 46, 6.4, 7.6}},
        // Spans of a few units in the last place: taken as one value.
        {"100 2.9999999999999694\n100 3\n", true, {98, 102.5, 2.4, 3.6}},
        {"5e-324 0\n0 5e-324\n", true, {-1.6, -0.4, -0.6, 0.6}},
        // A lowest point whose quotient by the step rounds up to a whole
        // number of steps: the range starts a step lower.
        {"41.5 4.9999999999999996e-06\n41.5 9.3e-06\n", true, {40.6, 42.4, 4.5e-06, 9.5e-06}},
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
        if (c.fitted) {
            EXPECT_TRUE(range.x_min <= bounds.x_min && bounds.x_max < range.x_max) << c.text;
            EXPECT_TRUE(range.y_min <= bounds.y_min && bounds.y_max < range.y_max) << c.text;
        }
    }
}

// Over the shapes of real data sets, each axis's points fill at least 80%
// of it, its ends are multiples of one round step, 4 to 10 of them apart.
TEST(RangeTest, FittedAxesAreFilledFourFifths)
{
    const std::pair<double, double> extents[] = {
        {30, 4962},    {0, 24},      {0.2, 5},  {-180, 180},   {-90, 90},   {1, 2400},    {-55.5, 71.3},
        {599, 81.4e3}, {1e6, 1.4e9}, {-3, 3},   {0.001, 0.97}, {13, 13.6},  {1952, 2007}, {2.5e-7, 9e-6},
        {-1e-3, 4e-3}, {17, 99},     {-40, 47}, {326, 4010},   {0.5, 0.51},
    };
    for (const auto& [low, high] : extents) {
        Range fitted;
        ASSERT_TRUE(fitted_range(DataBounds{2, Range{low, high, 0, 1}, {}}, &fitted));
        const double span = fitted.x_max - fitted.x_min;
        EXPECT_GE((high - low) / span, 0.8 - 1e-12)
            << low << ".." << high << " in " << fitted.x_min << ".." << fitted.x_max;
        bool round = false;
        for (double steps = 4; steps <= 10; ++steps) {
            const double step = span / steps, decade = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
            const double mantissa = std::round(step / decade * 1e6) / 1e6;
            round = round ||
                ((mantissa == 1 || mantissa == 2 || mantissa == 2.5 || mantissa == 5) &&
                 std::fabs(fitted.x_min / step - std::round(fitted.x_min / step)) < 1e-6);
        }
        EXPECT_TRUE(round) << fitted.x_min << ".." << fitted.x_max;
    }
}

// Bounds from a server may come reversed, infinite or NaN: the fit is that
// of the same bounds in order, an infinity is taken at a quarter of the
// largest double, and NaN gives no fit; every end is finite.
TEST(RangeTest, BoundsOutOfOrderOrInfiniteFitAsTheirOrderedClampedSelves)
{
    const double inf = INFINITY, nan = NAN, far = std::numeric_limits<double>::max() / 4;
    const struct {
        Range bounds, same_as; // same_as: bounds in order, finite
    } cases[] = {
        {{3250, 750, 200, 100}, {750, 3250, 100, 200}},
        {{-inf, inf, 0, 1}, {-far, far, 0, 1}},
        {{inf, -inf, 1, 0}, {-far, far, 0, 1}},
        {{-1e308, 1e308, -1e308, -1e308}, {-far, far, -far, -far}},
        {{5, 5, 1e308, 7}, {5, 5, 7, far}},
    };
    for (const auto& c : cases) {
        Range fitted, expected;
        ASSERT_TRUE(fitted_range(DataBounds{2, c.bounds, {}}, &fitted));
        ASSERT_TRUE(fitted_range(DataBounds{2, c.same_as, {}}, &expected));
        EXPECT_EQ(fitted, expected) << c.bounds.x_min << " " << c.bounds.x_max;
        for (const double end : {fitted.x_min, fitted.x_max, fitted.y_min, fitted.y_max})
            EXPECT_TRUE(std::isfinite(end)) << end;
        EXPECT_TRUE(fitted.x_min < fitted.x_max && fitted.y_min < fitted.y_max);
        EXPECT_TRUE(std::isfinite(fitted.x_max - fitted.x_min) && std::isfinite(fitted.y_max - fitted.y_min));
    }
    Range untouched{1, 2, 3, 4};
    for (const Range& bounds : {Range{nan, 1, 0, 1}, Range{0, 1, 0, nan}})
        EXPECT_FALSE(fitted_range(DataBounds{2, bounds, {}}, &untouched));
    EXPECT_EQ(untouched, (Range{1, 2, 3, 4}));
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

// Read in many small chunks on several threads, each chunk's bounds start
// afresh: the count and the bounds are those of one plain pass.
TEST(RangeTest, BoundsReadInManyChunksAreThoseOfOnePass)
{
    std::string text;
    long long points = 0;
    Range plain{1e300, -1e300, 1e300, -1e300};
    for (int k = 0; k < 3000; ++k, ++points) {
        const double x = (k * 37 % 1001) - 500.5, y = (k * 53 % 997) * 0.25;
        text += std::to_string(x) + " " + std::to_string(y) + "\n";
        plain = Range{std::min(plain.x_min, x), std::max(plain.x_max, x), std::min(plain.y_min, y),
                      std::max(plain.y_max, y)};
    }
    for (const unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        set_point_reader_chunk_bytes(512);
        TempStream in(text);
        const DataBounds bounds = read_data_bounds(in.file, 0, Columns{}, ReadWatch{}, BinningRule::bilinear, threads);
        set_point_reader_chunk_bytes(0);
        EXPECT_EQ(bounds.points, points);
        EXPECT_EQ(bounds.range.x_min, plain.x_min);
        EXPECT_EQ(bounds.range.x_max, plain.x_max);
        EXPECT_EQ(bounds.range.y_min, plain.y_min);
        EXPECT_EQ(bounds.range.y_max, plain.y_max);
    }
}

} // namespace
