// The program's entry function and its message loop.
#pragma once

#include "platform/win32/windows.h"

// Starts the viewer on the module's resources and runs it until the main
// window is closed; the exit code. `data_file` and `texture_file`, when not
// null, are loaded at start as the two load buttons load them.
int varnel_main(HINSTANCE instance, const char* data_file, const char* texture_file);

// One message of the loop: offered to the camera keys, the panel and the
// main window, and otherwise translated and dispatched.
void offer_message(HWND main_window, HACCEL accelerators, MSG* message);
