#include "shell/range_zoom.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "field/peak_region.h"
#include "field/plot_range.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"
#include "shell/control_panel.h"
#include "shell/range_history.h"
#include "shell/range_walk.h"

namespace {

// Too small a drag is a click, not a rectangle.
constexpr int kLeastBand = 3;

bool in_map_with_field(const AppState* state) { return state->settings.map_view && state->field; }

// The range's point under a pixel, held to the map's square.
bool range_point(AppState* state, POINT at, double* x, double* y)
{
    PointUnder point;
    if (!state->renderer->ops.point_under(state->renderer, at.x, at.y, &point))
        return false;
    const Range& r = point.range;
    *x = r.x_min + std::clamp(point.u, 0.0, 1.0) * (r.x_max - r.x_min);
    *y = r.y_min + std::clamp(point.v, 0.0, 1.0) * (r.y_max - r.y_min);
    return true;
}

// A dragged rectangle's ends, each held to a round thousandth of its span
// (well within a pixel), so that the range fields read 1715 and not
// 1714.9870801: the drag cannot say more than that.
Range rounded_band(const Range& r)
{
    // A multiple of a step of one digit, read back from fifteen digits so
    // that 0.1 * 3 is 0.3.
    const auto without_noise = [](double value) {
        char text[64];
        const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr;
        std::from_chars(text, end, value);
        return value;
    };
    const auto round_axis = [&](double& low, double& high) {
        const double step = range_step(high - low) / 10;
        const double l = std::round(low / step) * step, h = std::round(high / step) * step;
        if (std::isfinite(l) && std::isfinite(h) && l < h) {
            low = without_noise(l);
            high = without_noise(h);
        }
    };
    Range rounded = r;
    round_axis(rounded.x_min, rounded.x_max);
    round_axis(rounded.y_min, rounded.y_max);
    return rounded;
}

void zoom_to(AppState* state, const Range& range)
{
    if (!(range.x_min < range.x_max && range.y_min < range.y_max) || !state->data_file[0])
        return;
    show_plot_range(state->panel, range);
    reload_data(state->panel);
}

} // namespace

Range scaled_range(const Range& r, double x, double y, double factor)
{
    return Range{x + (r.x_min - x) * factor, x + (r.x_max - x) * factor, y + (r.y_min - y) * factor,
                 y + (r.y_max - y) * factor};
}

bool start_zoom_band(AppState* state, POINT at)
{
    if (!in_map_with_field(state))
        return false;
    SetCapture(state->render_area);
    state->band.on = true;
    state->band.from = state->band.to = at;
    return true;
}

bool drag_zoom_band(AppState* state, POINT at)
{
    if (!state->band.on)
        return false;
    state->band.to = at;
    const RECT band{state->band.from.x, state->band.from.y, at.x, at.y};
    state->renderer->ops.set_band(state->renderer, &band);
    InvalidateRect(state->render_area, nullptr, FALSE);
    return true;
}

bool end_zoom_band(AppState* state, POINT at)
{
    if (!state->band.on)
        return false;
    const POINT from = state->band.from;
    drop_zoom_band(state);
    if (GetCapture() == state->render_area)
        ReleaseCapture();
    double x0, y0, x1, y1;
    if (std::abs(at.x - from.x) < kLeastBand || std::abs(at.y - from.y) < kLeastBand ||
        !range_point(state, from, &x0, &y0) || !range_point(state, at, &x1, &y1))
        return true;
    zoom_to(state, rounded_band(Range{std::min(x0, x1), std::max(x0, x1), std::min(y0, y1), std::max(y0, y1)}));
    return true;
}

void drop_zoom_band(AppState* state)
{
    if (!state->band.on)
        return;
    state->band.on = false;
    state->renderer->ops.set_band(state->renderer, nullptr);
    InvalidateRect(state->render_area, nullptr, FALSE);
}

bool wheel_zoom(AppState* state, int delta, POINT screen_at)
{
    if (!in_map_with_field(state))
        return false;
    state->mouse.wheel_rest += delta;
    const int notches = state->mouse.wheel_rest / WHEEL_DELTA;
    state->mouse.wheel_rest -= notches * WHEEL_DELTA;
    POINT at = screen_at;
    ScreenToClient(state->render_area, &at);
    PointUnder point;
    if (notches == 0 || !state->renderer->ops.point_under(state->renderer, at.x, at.y, &point))
        return true;
    zoom_to(state, scaled_range(point.range, point.x, point.y, std::pow(kWheelZoom, -notches)));
    return true;
}

void zoom_to_peak(AppState* state)
{
    if (!state->field)
        return;
    Range region;
    if (peak_region(density_field_view(state->field), &region))
        zoom_to(state, region);
}

bool range_command(AppState* state, int command)
{
    if (command == IDM_ZOOM_TO_PEAK)
        zoom_to_peak(state);
    else if (command == IDM_RANGE_BACK || command == IDM_RANGE_FORWARD)
        step_range(state, command == IDM_RANGE_BACK ? -1 : 1);
    else
        return false;
    return true;
}

void append_range_items(HMENU menu, const AppState* state)
{
    const RangeHistory& history = state->history;
    const auto greyed = [](bool can) { return UINT(MF_STRING | (can ? 0 : MF_GRAYED)); };
    AppendMenuA(menu, greyed(state->field != nullptr), IDM_ZOOM_TO_PEAK, text(TextId::zoom_to_peak_item));
    AppendMenuA(menu, greyed(history.at > 0), IDM_RANGE_BACK, text(TextId::range_back_item));
    AppendMenuA(menu, greyed(history.at + 1 < history.steps.size()), IDM_RANGE_FORWARD,
                text(TextId::range_forward_item));
}
