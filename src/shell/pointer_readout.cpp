#include "shell/pointer_readout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/text/axis_ticks.h"
#include "render/text/number_text.h"
#include "resources/texts.h"

namespace {

// The ticks' decimals, and one more: the pointer stands between them. A
// step of 2.5 counts its extra decimal in its power already.
int axis_decimals(double low, double high)
{
    const AxisTicks ticks = round_ticks(low, high, 10);
    return std::min(9, std::max(0, -ticks.power) + 1);
}

// Counts are whole with the classic rule and fractions with bilinear
// binning: two decimals where they are not whole.
std::string count_text(double count)
{
    const bool whole = std::fabs(count - std::round(count)) < 1e-9;
    return format_number(count, whole ? 0 : 2);
}

template <class... Words>
std::string filled(TextId format, const Words&... words)
{
    std::string line(std::snprintf(nullptr, 0, text(format), words.c_str()...) + 1, '\0');
    std::snprintf(line.data(), line.size(), text(format), words.c_str()...);
    line.pop_back();
    return line;
}

} // namespace

std::string pointer_readout(const PointUnder& point)
{
    const Range& r = point.range;
    const std::string x = format_number(point.x, axis_decimals(r.x_min, r.x_max));
    const std::string y = format_number(point.y, axis_decimals(r.y_min, r.y_max));
    if (!point.measure)
        return filled(TextId::pointer_readout_format, x, y, count_text(point.count), count_text(point.height));
    // A mean where no point fell has no value: the picture shows no data there.
    if (std::isnan(point.count))
        return filled(TextId::pointer_no_points_format, x, y);
    return filled(TextId::pointer_measure_format, x, y, std::string(point.measure), significant_text(point.count),
                  significant_text(point.height));
}

void show_pointer_readout(AppState* state, POINT at)
{
    PointUnder point;
    const bool on =
        state->field && state->renderer->ops.point_under(state->renderer, at.x, at.y, &point) && point.on_surface;
    const std::string readout = on ? pointer_readout(point) : std::string();
    if (readout == state->readout)
        return;
    state->readout = readout;
    state->renderer->ops.set_readout(state->renderer, readout.c_str());
    InvalidateRect(state->render_area, nullptr, FALSE);
}

void clear_pointer_readout(AppState* state)
{
    if (state->readout.empty())
        return;
    state->readout.clear();
    state->renderer->ops.set_readout(state->renderer, nullptr);
    InvalidateRect(state->render_area, nullptr, FALSE);
}
