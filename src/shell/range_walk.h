// Walking the history of ranges: a step back or forward shows a kept field
// at once, or loads the step's file over its range through the panel.
#pragma once

#include "platform/win32/windows.h"

struct AppState;

// One step back (-1) or forward (+1); false where there is none that way.
bool step_range(AppState* state, int direction);

// Backspace (outside the panel's fields, where it edits), Alt+Left and
// Alt+Right; true when the message was one of them and was handled.
bool range_history_key(AppState* state, const MSG* message);
