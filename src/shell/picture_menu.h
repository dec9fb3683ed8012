// The picture's choices in the render area's context menu: the colour map
// and the smoothing as radio items in submenus, log scale, texture alone,
// the axes, the binning rule and the map view as check items. A choice is kept in the settings (saved
// with the others when the window closes) and drawn at once.
#pragma once

#include "platform/win32/windows.h"
#include "shell/app_state.h"

// Appends the submenus and items, checked as the settings have them.
void append_picture_menu(HMENU menu, const Settings& settings);

// Keeps and draws the choice `command` stands for; false for a command
// that is no picture choice.
bool choose_picture_item(AppState* state, UINT command);
