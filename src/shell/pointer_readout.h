// What lies under the pointer, in the status line: the x and y there and
// the nearest node's points and height; nothing off the surface.
#pragma once

#include <string>

#include "render/renderer.h"
#include "shell/app_state.h"

// The words for a point, its x and y with one decimal more than the
// axes' ticks show.
std::string pointer_readout(const PointUnder& point);

// The readout for the pointer at `at` (render-area client coordinates),
// or none where it is off the surface; redrawn only when it changed.
void show_pointer_readout(AppState* state, POINT at);
void clear_pointer_readout(AppState* state);
