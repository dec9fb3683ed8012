// The control panel (dialog 103): plot range and data file, texture,
// marker and camera.
#pragma once

#include "platform/win32/windows.h"

INT_PTR CALLBACK panel_proc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// Limits the marker spin controls to the current plot range.
void adapt_marker_ranges(HWND panel);

// What the two load buttons do once a file is chosen, also used for the
// files named on the command line. `path` is a 1024-byte buffer.
void load_data_from(HWND panel, const char* path);
void load_texture_from(HWND panel, const char* path);
