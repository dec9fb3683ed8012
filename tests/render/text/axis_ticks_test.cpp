// Ticks over a table of spans, checked the way a reader checks an axis:
// round, evenly spaced, inside the range, and each label read back (times
// the axis's factor, plus its offset) giving the tick's value.
#include "render/text/axis_ticks.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "label_values.h"

namespace {

// The value a label stands for, with the factor "1eN", "+OFFSET" or both.
double read_back(const std::string& label, const std::string& factor)
{
    double scale = 1, offset = 0;
    size_t at = 0;
    if (factor.rfind("1e", 0) == 0) {
        const size_t end = factor.find(' ');
        scale = std::pow(10.0, label_number(factor.substr(2, end == std::string::npos ? end : end - 2)));
        at = end == std::string::npos ? factor.size() : end + 1;
    }
    if (at < factor.size())
        offset = factor[at] == '+' ? label_number(factor.substr(at + 1)) : label_number(factor.substr(at));
    return label_number(label) * scale + offset;
}

TEST(AxisTicksTest, TicksAreRoundEvenAndInsideForATableOfSpans)
{
    const struct {
        double low, high;
        const char* labels; // the first, the last, and the factor
    } cases[] = {
        {0, 4000, "0 4000 "},
        {1.6, 5.1, "2.0 5.0 "},
        {326, 18823, "2000 18000 "},
        {-178.8, 179.8, "\u2212150 150 "},
        {0, 1e-9, "0.0 1.0 1e\u22129"},
        {0.5, 0.5 + 1e-9, "0.0 1.0 1e\u22129 +0.5"},
        {-1e9, 1e9, "\u22121.00 1.00 1e9"},
        {1000, 1000.01, "0.000 0.010 +1000"},
        {-2000.02, -2000, "\u22120.0200 0.0000 \u22122000"},
        {41.5, 97.3, "50 90 "},
        {0.3, 0.7, "0.30 0.70 "},
        {20, 120, "20 120 "}, // a fitted range: ten steps of 10
        {0.0001, 0.0009, "1 9 1e\u22124"},
        {1000, 1001, "0.0 1.0 +1000"}, // the last tick alone a thousand spans out
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.low) + " to " + std::to_string(c.high));
        const AxisTicks ticks = round_ticks(c.low, c.high, 10);
        ASSERT_GE(ticks.count, 4);
        ASSERT_LE(ticks.count, 10);
        // Far from zero the difference of two ticks is a few ulps off the
        // step: the step is that difference made round.
        const double measured = ticks.value(1) - ticks.value(0);
        const double decade = std::pow(10.0, std::floor(std::log10(measured) + 1e-6));
        const double mantissa = std::round(measured / decade * 10) / 10, step = mantissa * decade;
        EXPECT_TRUE(mantissa == 1 || mantissa == 2 || mantissa == 2.5 || mantissa == 5) << measured;
        EXPECT_NEAR(measured, step, 1e-6 * step);
        const double slack = 1e-6 * step;
        EXPECT_GE(ticks.value(0), c.low - slack);
        EXPECT_LE(ticks.value(ticks.count - 1), c.high + slack);
        // The finest such step: the round step below it gives more than ten.
        const double finer = step * (std::fabs(mantissa - 2.5) < 1e-6 ? 0.8 : 0.5);
        EXPECT_GT(std::floor(c.high / finer + 1e-9) - std::ceil(c.low / finer - 1e-9) + 1, 10) << finer;
        const TickLabels labels = tick_labels(ticks);
        ASSERT_EQ(labels.texts.size(), size_t(ticks.count));
        for (int k = 0; k < ticks.count; ++k) {
            EXPECT_NEAR(ticks.value(k) - ticks.value(0), k * step, slack) << k;
            EXPECT_NEAR(ticks.value(k) / step, std::round(ticks.value(k) / step), 1e-6) << k;
            EXPECT_NEAR(read_back(labels.texts[size_t(k)], labels.factor), ticks.value(k), slack)
                << labels.texts[size_t(k)] << " " << labels.factor;
            EXPECT_EQ(labels.texts[size_t(k)].find(','), std::string::npos);
        }
        EXPECT_EQ(labels.texts.front() + " " + labels.texts.back() + " " + labels.factor, c.labels);
    }
}

// Coarser steps climb the same ladder: 500, 1000, 2000, 2500 over 0..4000;
// a span that is empty or not finite has no ticks.
TEST(AxisTicksTest, CoarserStepsAndEmptySpans)
{
    const double steps[] = {500, 1000, 2000, 2500};
    for (int k = 0; k < 4; ++k) {
        const AxisTicks ticks = round_ticks(0, 4000, 10, k);
        EXPECT_DOUBLE_EQ(ticks.value(1) - ticks.value(0), steps[k]) << k;
    }
    EXPECT_EQ(round_ticks(1, 1, 10).count, 0);
    EXPECT_EQ(round_ticks(2, 1, 10).count, 0);
    EXPECT_EQ(round_ticks(0, INFINITY, 10).count, 0);
}

// A span of a few units in the last place far from zero has no round step
// that the units allow: two ticks near its ends (each in the half of the
// span at its end) are what the axis shows, and their labels read back as
// their values. Coarser asks then get nothing, so that a caller's search
// ends.
TEST(AxisTicksTest, ASpanTooNarrowForItsDistanceFromZeroShowsItsEnds)
{
    const struct {
        double low, high;
    } cases[] = {
        {9007199254740990, 9007199254740994},
        {-9007199254740994, -9007199254740990},
        {1e20, 1e20 + 65536},
        {1, 1 + 4 * DBL_EPSILON},
        {123456789012.5, 123456789012.5 + 3e-5},
        {-7.25e-200, -7.25e-200 * (1 - 8 * DBL_EPSILON)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.low) + " to " + std::to_string(c.high));
        const AxisTicks ticks = round_ticks(c.low, c.high, 10);
        ASSERT_EQ(ticks.count, 2);
        const double span = c.high - c.low;
        EXPECT_TRUE(c.low <= ticks.value(0) && ticks.value(0) <= c.low + span / 2) << ticks.value(0);
        EXPECT_TRUE(c.high - span / 2 <= ticks.value(1) && ticks.value(1) <= c.high) << ticks.value(1);
        EXPECT_LT(ticks.value(0), ticks.value(1));
        const TickLabels labels = tick_labels(ticks);
        ASSERT_EQ(labels.texts.size(), 2u);
        EXPECT_NE(labels.texts[0], labels.texts[1]);
        for (int k = 0; k < 2; ++k)
            EXPECT_NEAR(read_back(labels.texts[size_t(k)], labels.factor), ticks.value(k), span / 4)
                << labels.texts[size_t(k)] << " " << labels.factor;
        EXPECT_EQ(round_ticks(c.low, c.high, 10, 1).count, 0);
    }
    // Where the finest step the units allow leaves two ticks, they are its round multiples.
    const AxisTicks two = round_ticks(1e14 - 1, 1e14 + 5.5, 10);
    ASSERT_EQ(two.count, 2);
    EXPECT_NEAR(two.value(0), 1e14, 0.1);
    EXPECT_NEAR(two.value(1), 1e14 + 5, 0.1);
    // Spans below the smallest normal double: at most the tick at zero.
    for (const double high : {5e-324, 1e-310}) {
        const AxisTicks ticks = round_ticks(0, high, 10);
        EXPECT_LE(ticks.count, 1);
        if (ticks.count == 1) {
            EXPECT_EQ(ticks.value(0), 0);
        }
    }
}

TEST(AxisTicks, LogarithmicAxesTickPowersOfTenAndTwoAndFiveBetween)
{
    const struct {
        double low, high;
        int most;
        std::vector<double> want;
    } cases[] = {
        {1, 1000, 12, {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}},
        {1, 1e4, 10, {1, 10, 100, 1000, 1e4}},
        {100, 1e7, 8, {100, 1000, 1e4, 1e5, 1e6, 1e7}},
        {0.001, 0.1, 10, {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1}},
        {3, 40, 10, {5, 10, 20}},
        // Short of two powers of ten, a 2 and a 5 still make ticks enough.
        {1.5, 6, 10, {2, 5}},
        {1.5e-9, 2e-6, 6, {1e-8, 1e-7, 1e-6}},
        {1e-300, 1e300, 10, {1e-300, 1e-200, 1e-100, 1, 1e100, 1e200, 1e300}},
        {7, 1e9, 5, {100, 1e4, 1e6, 1e8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.low << " to " << c.high << ", at most " << c.most);
        const LogTicks ticks = log_ticks(c.low, c.high, c.most);
        ASSERT_EQ(ticks.values.size(), c.want.size());
        ASSERT_EQ(ticks.labels.size(), c.want.size());
        for (size_t k = 0; k < c.want.size(); ++k) {
            EXPECT_EQ(ticks.values[k], c.want[k]);
            // The label, read as a reader reads it, is the tick in data units.
            EXPECT_EQ(label_number(ticks.labels[k]), c.want[k]) << ticks.labels[k];
            const double power = std::log10(c.want[k]);
            if (c.want[k] == std::pow(10.0, std::round(power))) {
                EXPECT_NEAR(power, std::round(power), 1e-12);
            }
        }
    }
    // Labels as written: plain near one, with an exponent far from it.
    EXPECT_EQ(log_ticks(1e-5, 1e6, 12).labels,
              (std::vector<std::string>{"1e\xE2\x88\x92"
                                        "5",
                                        "0.0001", "0.001", "0.01", "0.1", "1", "10", "100", "1000", "10000", "100000",
                                        "1e6"}));
    // Inside a decade without a 2 or a 5: the linear span's round ticks.
    const LogTicks narrow = log_ticks(2.1, 4.9, 10);
    expect_round_steps(narrow.values, 3, "2.1 to 4.9");
    for (size_t k = 0; k < narrow.values.size(); ++k)
        EXPECT_EQ(label_number(narrow.labels[k]), narrow.values[k]);
    // ... and where those are written with a factor or an offset, each label
    // carries it, read back to its tick.
    for (const auto& [low, high] : {std::pair{2.1e7, 4.9e7}, std::pair{1000001.0, 1000009.0}}) {
        const LogTicks ticks = log_ticks(low, high, 10);
        ASSERT_GE(ticks.values.size(), 2u) << low;
        for (size_t k = 0; k < ticks.values.size(); ++k) {
            const std::string& label = ticks.labels[k];
            const size_t space = label.find(' ');
            ASSERT_NE(space, std::string::npos) << label;
            EXPECT_NEAR(read_back(label.substr(0, space), label.substr(space + 1)), ticks.values[k],
                        ticks.values[k] * 1e-12)
                << label;
        }
    }
    // No logarithm: no ticks.
    for (const double low : {0.0, -1.0})
        EXPECT_TRUE(log_ticks(low, 10, 10).values.empty());
    EXPECT_TRUE(log_ticks(10, 1, 10).values.empty());
}

} // namespace
