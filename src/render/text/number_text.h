// Numbers as the picture's labels show them: a fixed count of decimals,
// thousands separated by commas, and a true minus sign (U+2212).
#pragma once

#include <string>

// The fewest decimals (0 to 3) that show first, first + step, ... each
// exactly: 0 for 0, 400, 800; 1 for -3.0, -2.4, ...
int series_decimals(double first, double step);

// `value` rounded to `decimals` decimals, as UTF-8; never "-0".
std::string format_number(double value, int decimals);

// `value` to four significant digits (at most 9 decimals), less the zeros
// that end its fraction: a sum's or a mean's value in any units.
std::string significant_text(double value);
