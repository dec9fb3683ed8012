// The file dialogs of the panel.
#pragma once

#include "platform/win32/windows.h"

// Runs the file-open dialog; non-zero when a file was chosen, whose full
// path is then in `path` (`size` bytes).
BOOL open_file_dialog(HWND owner, const char* title, const char* initial_dir, char* path, DWORD size,
                      const char* filter);
// Runs the file-save dialog; non-zero when the user named a file, whose full
// path is then in `path`. A name typed without an extension gets
// `default_ext`; an existing file is written over only after the user agreed.
BOOL save_file_dialog(HWND owner, const char* title, const char* initial_dir, char* path, DWORD size,
                      const char* filter, const char* default_ext);
