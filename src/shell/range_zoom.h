// Zooming that bins the data again: in the map view a rectangle dragged out
// with the left button, or the wheel about the point under the pointer; in
// either view the region around the highest peak. Each new range goes to
// the panel's fields and is loaded as a typed range is.
#pragma once

#include "field/range.h"
#include "shell/app_state.h"

// The wheel's factor a notch: forward shows 1/1.25 of the range.
inline constexpr double kWheelZoom = 1.25;

// The range `range` scaled by `factor` about (x, y), which keeps its place.
Range scaled_range(const Range& range, double x, double y, double factor);

// The map view's mouse; each is false (and does nothing) outside the map
// view or without a field, where the camera takes the mouse.
bool start_zoom_band(AppState* state, POINT at);
bool drag_zoom_band(AppState* state, POINT at);
bool end_zoom_band(AppState* state, POINT at);
// The render area lost the mouse: the band goes, nothing is zoomed.
void drop_zoom_band(AppState* state);
// `delta` wheel units with the pointer at `screen_at`.
bool wheel_zoom(AppState* state, int delta, POINT screen_at);

// The range around the highest peak's half-height region, in either view.
void zoom_to_peak(AppState* state);

// The commands of the keys and menu items that change the range (zoom to
// the peak, back, forward); false for any other.
bool range_command(AppState* state, int command);

// The menu's items for those commands, greyed where there is nothing to do.
void append_range_items(HMENU menu, const AppState* state);
