// The stored settings in the control panel: the ranges of the spin
// controls, and the camera's integers and the exact plot range and marker
// on their way into the controls and back.
#pragma once

#include "platform/win32/windef.h"
#include "settings/settings.h"

// The ranges the panel starts with.
void set_panel_ranges(HWND panel);
// The camera into its spin controls and the range and marker into their
// decimal fields, and back; a decimal field whose text is no number keeps
// the setting it had.
void settings_to_panel(HWND panel, Settings* settings);
void panel_to_settings(Settings* settings, HWND panel);
