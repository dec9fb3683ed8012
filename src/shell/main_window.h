// The main window (dialog 102): its procedure, the render area's procedure,
// and the layout.
#pragma once

#include "platform/win32/windows.h"

INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK render_area_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The panel at the top right corner, the render area over the rest.
void layout_main_window(HWND main_window);
// Keeps a proposed window rectangle at least as large as the panel needs;
// TRUE when it had to be changed.
BOOL limit_sizing(HWND main_window, WPARAM edge, RECT* rect);
