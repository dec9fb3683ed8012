// The rectangle of the x/y plane a field covers, in the one order every
// caller uses: x's ends, then y's.
#pragma once

struct Range {
    double x_min = 0, x_max = 0, y_min = 0, y_max = 0;
    bool operator==(const Range&) const = default;
};
