// The render area's context menu: save the picture on screen as a PNG
// file, and the picture's choices (picture_menu.h).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/windows.h"
#include "shell/app_state.h"

// The menu at `screen_point` (WM_CONTEXTMENU's lParam), and its command.
void render_area_menu(AppState* state, LPARAM screen_point);

// Asks for a file (starting in the data file's folder) and writes the last
// frame presented into the render area to it as an 8-bit RGB PNG file; a
// file that cannot be written is reported.
void save_picture(AppState* state);

// What the render area shows, read from its window as the screen holds it:
// rows top first, 0x00RRGGBB. False when it has no area.
bool read_render_area(HWND area, std::vector<uint32_t>* pixels, UINT* width, UINT* height);
