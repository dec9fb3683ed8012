// Label numbers: rounded once to a whole count of the last decimal's
// units, then written digit by digit, so the separators and the sign are
// the program's own and no locale changes them.
#include "render/text/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr char kMinusSign[] = "\xE2\x88\x92"; // U+2212
constexpr int kMostDecimals = 3;
// Past this the units no longer fit a 64-bit count exactly.
constexpr double kLargestUnits = 9.0e15;

// Whether v has no more than `decimals` decimals, up to rounding error.
bool whole_at(double v, int decimals)
{
    const double scaled = v * std::pow(10.0, decimals);
    return std::fabs(scaled - std::round(scaled)) <= 1e-6 * std::fmax(1.0, std::fabs(scaled));
}

// Digits of a whole number with a comma before every group of three.
std::string grouped(long long whole)
{
    const std::string digits = std::to_string(whole);
    std::string out;
    for (size_t k = 0; k < digits.size(); ++k) {
        if (k > 0 && (digits.size() - k) % 3 == 0)
            out += ',';
        out += digits[k];
    }
    return out;
}

} // namespace

int series_decimals(double first, double step)
{
    for (int decimals = 0; decimals < kMostDecimals; ++decimals)
        if (whole_at(first, decimals) && whole_at(step, decimals))
            return decimals;
    return kMostDecimals;
}

std::string format_number(double value, int decimals)
{
    const double unit = std::pow(10.0, decimals);
    const double units = std::round(std::fabs(value) * unit);
    if (!(units < kLargestUnits)) { // huge, infinite or not a number
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", value);
        return text;
    }
    const auto count = static_cast<long long>(units);
    const long long scale = static_cast<long long>(unit);
    std::string out = count != 0 && value < 0 ? kMinusSign : "";
    out += grouped(count / scale);
    if (decimals > 0) {
        const std::string fraction = std::to_string(count % scale + scale); // a leading 1 keeps the zeros
        out += '.';
        out += fraction.substr(1);
    }
    return out;
}

std::string significant_text(double value)
{
    const double size = std::fabs(value);
    const int decimals = size > 0 ? 3 - int(std::floor(std::log10(size))) : 0;
    std::string text = format_number(value, std::clamp(decimals, 0, 9));
    if (text.find('.') != std::string::npos && text.find('e') == std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}
