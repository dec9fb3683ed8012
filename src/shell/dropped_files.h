// Files dropped on the main window.
#pragma once

#include "platform/win32/windows.h"
#include "shell/app_state.h"

// Loads what was dropped and frees `drop`: the first file that is an image
// becomes the texture, as the texture button makes it; the first other file
// is loaded as data, as the load button loads it. Folders are passed over.
void load_dropped_files(AppState* state, HDROP drop);
