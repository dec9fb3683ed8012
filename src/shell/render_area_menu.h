// The render area's context menu: save the picture, fit the range to the
// data, open a data file or a database table, fit the camera, and the
// picture's choices (picture_menu.h).
#pragma once

#include "platform/win32/windows.h"
#include "shell/app_state.h"

// The menu at `screen_point` (WM_CONTEXTMENU's lParam), and its command.
void render_area_menu(AppState* state, LPARAM screen_point);
