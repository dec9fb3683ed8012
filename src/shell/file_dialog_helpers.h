// The file dialogs and the two path helpers of the panel. Paths use '/'
// as the separator and are walked character by character (CharNextA), so the
// trail byte of a double-byte character is never taken for one.
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
// The position just after the last '/', or the whole path when it has none.
const char* file_name_of(const char* path);
// Ends the string just after its last '/'; the bytes after the new end stay.
void cut_to_folder(char* path);
