// The picture on screen saved to a file, in the format its extension names.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/windows.h"
#include "shell/app_state.h"

// Asks for a file (starting in the data file's folder) and writes the last
// frame presented into the render area to it as 8-bit RGB, in the format
// the file's extension names (PNG without one); a file that cannot be
// written is reported.
void save_picture(AppState* state);

// What the render area shows, read from its window as the screen holds it:
// rows top first, 0x00RRGGBB. False when it has no area.
bool read_render_area(HWND area, std::vector<uint32_t>* pixels, UINT* width, UINT* height);
