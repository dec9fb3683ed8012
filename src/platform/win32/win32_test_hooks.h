// Test-only controls of the window layer. The program never calls these.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win32/winuser.h"

class QWidget;

// From this call on, message boxes and file dialogs are never shown: each
// is answered from the script below (or, with nothing scripted, IDOK / the
// box's first button, and cancel for a file dialog) and recorded.
void win32_answer_dialogs_from_script(bool on);

// The answer of the next message box.
void win32_script_message_box(int answer);
// The file the user "chooses" in the next file dialog; null cancels it.
void win32_script_open_file(const char* path);

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
struct OpenFileCall {
    HWND owner;
    std::string title;
    std::string initial_dir; // empty when none was given
    std::vector<std::pair<std::string, std::string>> filters;
    DWORD flags;
    DWORD filter_index;
    DWORD max_file;
};
const std::vector<MessageBoxCall>& win32_message_box_calls();
const std::vector<OpenFileCall>& win32_open_file_calls();
void win32_clear_dialog_calls();

// The widget that shows a window, to drive it with QTest.
QWidget* win32_widget_of(HWND hwnd);
