// Ticks are found on a ladder of steps (1, 2, 2.5, 5 x 10^e, rising) and
// kept as integers, so that a label is written digit by digit from its
// count of units and two neighbours never print alike, at any span.
#include "render/text/axis_ticks.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <string>

namespace {

constexpr char kMinusSign[] = "\xE2\x88\x92"; // U+2212
// Past this many units from zero a tick no longer has a double of its own.
constexpr double kMostUnits = 1e15;

struct Rung {
    long long stride;
    int power;
    double step() const
    {
        return power >= 0 ? double(stride) * std::pow(10.0, power) : double(stride) / std::pow(10.0, -power);
    }
};

// Rung n of the ladder; 4 rungs to each power of ten.
Rung rung(long long n)
{
    const long long decade = n >= 0 ? n / 4 : -((-n + 3) / 4);
    const int place = int(n - decade * 4);
    static const long long strides[] = {1, 2, 25, 5};
    return Rung{strides[place], int(decade) - (place == 2 ? 1 : 0)};
}

double units_to_value(long long units, int power)
{
    return power >= 0 ? double(units) * std::pow(10.0, power) : double(units) / std::pow(10.0, -power);
}

// `value` in units of 10^power, with the bits a unit count of up to 10^18
// needs.
long double units_of(double value, int power)
{
    const long double scale = std::pow(10.0L, std::abs(power));
    return power >= 0 ? value / scale : value * scale;
}

int digit_count(long long n)
{
    int digits = 1;
    for (n = std::llabs(n); n >= 10; n /= 10)
        ++digits;
    return digits;
}

long long power_of_ten(int e)
{
    long long p = 1;
    while (e-- > 0)
        p *= 10;
    return p;
}

// `units` x 10^power written out in full: the digits of the integer with a
// decimal point `-power` places from the right, or `power` zeros after it.
std::string written(long long units, int power, int decimals)
{
    std::string digits = std::to_string(std::llabs(units));
    if (power > 0 && units != 0)
        digits.append(size_t(power), '0');
    if (decimals > 0) {
        if (digits.size() <= size_t(decimals))
            digits.insert(0, size_t(decimals) + 1 - digits.size(), '0');
        digits.insert(digits.size() - size_t(decimals), 1, '.');
    }
    return units < 0 ? kMinusSign + digits : digits;
}

// Ticks at the ends rounded inward to a power of ten, for a span too
// narrow for two round steps at its distance from zero: the power just
// under the span, or one finer where the ends round alike there. A span of
// doubles is at least 2^-52 of its ends, so the units fit a long long; past
// 2^53 a double rounds them, so each end steps inward until its value lies
// inside the span.
AxisTicks end_ticks(double low, double high)
{
    AxisTicks ticks;
    const int coarsest = int(std::floor(std::log10(high - low)));
    for (int power = coarsest; power >= coarsest - 1 && ticks.count < 2; --power) {
        const long double first_units = std::ceil(units_of(low, power)), last_units = std::floor(units_of(high, power));
        if (!(last_units >= first_units) || std::fabs(first_units) > 1e18L || std::fabs(last_units) > 1e18L)
            continue;
        long long first = (long long)first_units, last = (long long)last_units;
        while (first <= last && units_to_value(first, power) < low)
            ++first;
        while (last >= first && units_to_value(last, power) > high)
            --last;
        if (last < first)
            continue;
        // Below the smallest normal double units of 10^power are no longer apart.
        if (!(units_to_value(first, power) < units_to_value(last, power)))
            last = first;
        ticks.first = first;
        ticks.stride = std::max(1LL, last - first);
        ticks.power = power;
        ticks.count = last > first ? 2 : 1;
    }
    return ticks;
}

} // namespace

double AxisTicks::value(int k) const { return units_to_value(first + stride * k, power); }

AxisTicks round_ticks(double low, double high, int most, int coarser)
{
    AxisTicks ticks;
    const double span = high - low;
    if (!(span > 0) || !std::isfinite(span) || most < 1)
        return ticks;
    // Start a decade below the step that would give `most`, and climb. The
    // logarithms apart: a span near the smallest double over `most` is zero.
    long long n = 4 * (long long)(std::floor(std::log10(span) - std::log10(double(most))) - 1);
    for (bool first_taken = true;; ++n) {
        const Rung r = rung(n);
        const double step = r.step();
        // Steps below the smallest normal double are not what they say.
        if (step < DBL_MIN)
            continue;
        if (!std::isfinite(step))
            return ticks;
        const double first = std::ceil(low / step - 1e-9), last = std::floor(high / step + 1e-9);
        if (std::fabs(first) > kMostUnits / 25 || std::fabs(last) > kMostUnits / 25 || last - first + 1 > most)
            continue;
        // Far from zero the steps that fit the units can be too wide for two
        // ticks in the span: the ends, then, are what the axis shows.
        if (first_taken && last - first + 1 < std::min(2, most))
            return coarser == 0 ? end_ticks(low, high) : ticks;
        first_taken = false;
        if (coarser-- > 0)
            continue;
        ticks.stride = r.stride;
        ticks.power = r.power;
        ticks.first = (long long)first * r.stride;
        ticks.count = int(last - first + 1);
        return ticks;
    }
}

TickLabels tick_labels(const AxisTicks& ticks)
{
    TickLabels labels;
    if (ticks.count <= 0)
        return labels;
    const long long first = ticks.first, last = ticks.first + ticks.stride * (ticks.count - 1);
    const long long span = last - first;
    // An offset where the values' common leading digits would drown the
    // ones that change: a round number a power of ten above the span.
    long long offset = 0;
    if (std::llabs(first) > 1000 * std::max(span, 1LL) || std::llabs(last) > 1000 * std::max(span, 1LL)) {
        const long long block = power_of_ten(digit_count(span));
        offset = std::llround(((long double)first + (long double)last) / 2 / block) * block;
    }
    const long long largest = std::max(std::llabs(first - offset), std::llabs(last - offset));
    // A common power of ten for values of a million and more, or under a
    // thousandth.
    const int magnitude = digit_count(largest) - 1 + ticks.power;
    const int scale = largest != 0 && (magnitude >= 6 || magnitude <= -4) ? magnitude : 0;
    const int decimals = std::max(0, scale - ticks.power);
    for (int k = 0; k < ticks.count; ++k)
        labels.texts.push_back(written(first + ticks.stride * k - offset, ticks.power - scale, decimals));
    if (scale != 0)
        labels.factor = "1e" + (scale < 0 ? kMinusSign + std::to_string(-scale) : std::to_string(scale));
    if (offset != 0) {
        const int block_power = digit_count(span);
        const long long blocks = offset / power_of_ten(block_power);
        const int power = ticks.power + block_power;
        std::string number = written(std::llabs(blocks), power, std::max(0, -power));
        if (number.find('.') != std::string::npos) {
            number.erase(number.find_last_not_of('0') + 1);
            if (number.back() == '.')
                number.pop_back();
        }
        if (!labels.factor.empty())
            labels.factor += ' ';
        labels.factor += (offset < 0 ? kMinusSign : "+") + number;
    }
    return labels;
}

namespace {

// m x 10^power, for a mantissa of one digit, as a log axis writes it.
std::string log_label(int mantissa, int power)
{
    if (power >= -4 && power <= 5)
        return written(mantissa, power, std::max(0, -power));
    const std::string exponent = std::to_string(std::abs(power));
    return std::to_string(mantissa) + "e" + (power < 0 ? kMinusSign + exponent : exponent);
}

double log_value(int mantissa, int power) { return std::stod(std::to_string(mantissa) + "e" + std::to_string(power)); }

// The ticks m x 10^p in [low, high] for each mantissa given, powers every
// `every` decades.
LogTicks decade_ticks(double low, double high, std::initializer_list<int> mantissas, int every)
{
    LogTicks ticks;
    const int first = int(std::floor(std::log10(low))) - 1, last = int(std::ceil(std::log10(high))) + 1;
    for (int power = first; power <= last; ++power) {
        if (power % every != 0)
            continue;
        for (int mantissa : mantissas) {
            const double value = log_value(mantissa, power);
            if (value >= low && value <= high) {
                ticks.values.push_back(value);
                ticks.labels.push_back(log_label(mantissa, power));
            }
        }
    }
    return ticks;
}

} // namespace

LogTicks log_ticks(double low, double high, int most)
{
    if (!(low > 0) || !(high > low) || !std::isfinite(high) || most < 2)
        return LogTicks{};
    LogTicks between = decade_ticks(low, high, {1, 2, 5}, 1);
    LogTicks powers = decade_ticks(low, high, {1}, 1);
    if (powers.values.size() < 2) {
        if (between.values.size() >= 2 && int(between.values.size()) <= most)
            return between;
        // Inside a decade the axis is nearly linear: its round ticks.
        const AxisTicks round = round_ticks(low, high, most);
        const TickLabels labels = tick_labels(round);
        LogTicks linear;
        for (int k = 0; k < round.count; ++k) {
            linear.values.push_back(round.value(k));
            linear.labels.push_back(labels.texts[size_t(k)] + (labels.factor.empty() ? "" : " " + labels.factor));
        }
        return linear;
    }
    if (int(between.values.size()) <= most)
        return between;
    for (int every : {1, 2, 5, 10, 20, 50, 100}) {
        LogTicks thinned = decade_ticks(low, high, {1}, every);
        if (int(thinned.values.size()) <= most)
            return thinned;
    }
    return powers;
}
