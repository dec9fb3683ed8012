// The rectangle of the x/y plane a field covers, in the one order every
// caller uses: x's ends, then y's.
#pragma once

#include <cmath>

struct Range {
    double x_min = 0, x_max = 0, y_min = 0, y_max = 0;
    bool operator==(const Range&) const = default;
};

// Whether the range's logarithmic axes have logarithms to bin between:
// such an axis's ends above zero, in order and finite, so that their
// logarithms are too. The one rule for the field, its loads and the query.
inline bool logarithms_defined(const Range& r, bool log_x, bool log_y)
{
    const auto loggable = [](double low, double high) { return low > 0 && high > low && std::isfinite(high); };
    return (!log_x || loggable(r.x_min, r.x_max)) && (!log_y || loggable(r.y_min, r.y_max));
}
