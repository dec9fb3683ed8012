// The axes' values read back from the picture's texts, and the rule every
// axis keeps: round steps, evenly apart.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

// A value as the picture writes it, its minus sign (U+2212) made ASCII.
inline double label_number(std::string text)
{
    for (size_t at; (at = text.find("\xE2\x88\x92")) != std::string::npos;)
        text.replace(at, 3, "-");
    return std::strtod(text.c_str(), nullptr);
}

// At least `least` values, each a multiple of one step of 1, 2, 2.5 or 5
// times a power of ten, one step apart; none dropped.
inline void expect_round_steps(std::vector<double> values, size_t least, const std::string& where)
{
    ASSERT_GE(values.size(), least) << where;
    std::sort(values.begin(), values.end());
    const double step = values[1] - values[0];
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 || std::fabs(mantissa - 2.5) < 1e-9 ||
                std::fabs(mantissa - 5) < 1e-9)
        << where << " step " << step;
    for (size_t k = 0; k < values.size(); ++k) {
        EXPECT_NEAR(values[k] - values[0], double(k) * step, 1e-9 * step) << where;
        EXPECT_NEAR(values[k] / step, std::round(values[k] / step), 1e-6) << where << " " << values[k];
    }
}
