// The stored settings in the control panel: the ranges of the spin
// controls that hold the nine integers, and the integers' way into the
// controls and back.
#pragma once

#include "platform/win32/windef.h"
#include "settings/settings.h"

// The ranges the panel starts with.
void set_panel_ranges(HWND panel);
// The nine integers into the panel's spin controls, and back.
void settings_to_panel(HWND panel, Settings* settings);
void panel_to_settings(Settings* settings, HWND panel);
