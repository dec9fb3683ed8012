// Test-only controls of the window layer. The program never calls these.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win32/winuser.h"

class QWidget;

// From this call on, message boxes, file dialogs and popup menus are never
// shown: each is answered from the script below (or, with nothing scripted,
// IDOK / the box's first button, cancel for a file dialog, and a dismissed
// menu) and recorded.
void win32_answer_dialogs_from_script(bool on);

// The answer of the next message box.
void win32_script_message_box(int answer);
// The file the user "chooses" in the next file-open dialog; null cancels it.
void win32_script_open_file(const char* path);
// The name the user ends with in the next file-save dialog (the dialog adds
// its default extension as it would to a typed name); null cancels it.
void win32_script_save_file(const char* path);
// The item the user picks in the next popup menu, by its id; 0, or an id
// the menu has no enabled item for, dismisses it.
void win32_script_popup_menu(UINT command);

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
struct FileDialogCall {
    HWND owner;
    std::string title;
    std::string initial_dir; // empty when none was given
    std::vector<std::pair<std::string, std::string>> filters;
    DWORD flags;
    DWORD filter_index;
    DWORD max_file;
    std::string default_ext; // empty when none was given
};
struct PopupMenuCall {
    HWND owner;
    int x, y; // screen coordinates
    UINT flags;
    std::vector<std::pair<UINT_PTR, std::string>> items; // id and text; separators and submenus with id 0
    // The whole menu, a line per item, a submenu's items under it indented
    // by two spaces: "[x] " before a checked item, "(o) " before a radio
    // one, " #ID" after an item's text, " >" after a submenu's, "-" for a
    // separator.
    std::string outline;
};
const std::vector<MessageBoxCall>& win32_message_box_calls();
const std::vector<FileDialogCall>& win32_open_file_calls();
const std::vector<FileDialogCall>& win32_save_file_calls();
const std::vector<PopupMenuCall>& win32_popup_menu_calls();
void win32_clear_dialog_calls();

// From this call on GetTickCount reads a clock that stands still but for
// `step_ms` at each read, so that a test decides how long anything took
// without waiting; win32_real_tick_count() gives the real clock back.
void win32_script_tick_count(DWORD step_ms);
void win32_real_tick_count();

// The widget that shows a window, to drive it with QTest.
QWidget* win32_widget_of(HWND hwnd);

// How many windows the handle table holds (destroyed ones leave it).
size_t win32_window_count();
