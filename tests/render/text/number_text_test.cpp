// Label numbers: decimals chosen from a series, thousands separators, the
// minus sign, rounding.
#include "render/text/number_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(NumberTextTest, FormatsWithSeparatorsSignAndDecimals)
{
    const struct {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        {0, 0, "0"},
        {400, 0, "400"},
        {4000, 0, "4,000"},
        {199812, 0, "199,812"},
        {1234567.891, 0, "1,234,568"},
        {1234567.891, 2, "1,234,567.89"},
        {-3, 1, "\u22123.0"},
        {-2.4, 1, "\u22122.4"},
        {-1000.5, 1, "\u22121,000.5"},
        {0.05, 2, "0.05"},
        {2.5, 0, "3"}, // halves away from zero
        {-2.5, 0, "\u22123"},
        {-0.0001, 1, "0.0"}, // no negative zero
        {999.96, 1, "1,000.0"},
        {12.006, 3, "12.006"},
        // The last count of units kept exact, and past it the short form.
        {8.99e15, 0, "8,990,000,000,000,000"},
        {9e15, 0, "9e+15"},
        {-1e20, 2, "-1e+20"},
        {std::numeric_limits<double>::infinity(), 0, "inf"},
        {std::numeric_limits<double>::quiet_NaN(), 1, "nan"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(format_number(c.value, c.decimals), c.text) << c.value << " with " << c.decimals;
}

TEST(NumberTextTest, SeriesDecimalsAreTheFewestThatShowEveryStep)
{
    const struct {
        double first, step;
        int decimals;
    } cases[] = {
        {0, 400, 0},     {-3, 0.6, 1},    {0, 0.1, 1},    {1000, 200, 0},
        {0.25, 0.05, 2}, {0, 1.0 / 3, 3}, {-1.5, 0.3, 1}, {1e6, 2.5e5, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(series_decimals(c.first, c.step), c.decimals) << c.first << " by " << c.step;
}

} // namespace
