// The control panel (dialog 103): plot range and data file, texture,
// marker and camera.
#pragma once

#include "field/range.h"
#include "platform/win32/windows.h"

INT_PTR CALLBACK panel_proc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// What the two load buttons do once a file is chosen, also used for the
// files named on the command line. `path` is a 1024-byte buffer.
void load_data_from(HWND panel, const char* path);
void load_texture_from(HWND panel, const char* path);

// The range's fields show `range`, as if typed.
void show_plot_range(HWND panel, const Range& range);

// Loads the current data file again over the range in the fields, as the
// settings now ask (the binning rule); nothing without one.
void reload_data(HWND panel);

// Fits the plot range to the points of the current data file and loads it
// again; nothing without one.
void fit_range_to_data(HWND panel);

// Opens the dialog that takes a database table's address (`address` when
// given, else the current data's when it is one); its Open button loads
// the table over the range in the fields, as a data file is loaded. One
// dialog at a time.
void open_database_dialog(HWND panel, const char* address = nullptr);
// The file dialog, then the chosen file loaded over the panel's range: the
// load button's way for a file, and the menu's way back to files once a
// table is plotted (the button then asks the table again).
void open_data_file_dialog(HWND panel);
