#include "shell/main.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "field/sources/clickhouse_source.h"
#include "resources/texts.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/control_panel.h"
#include "shell/main_window.h"
#include "shell/range_history.h"
#include "shell/range_walk.h"

namespace {

// A path from the command line in the path buffer the load commands
// expect, made absolute as the file dialog gives it. One that does not fit
// is not opened: the user is told it is too long.
bool full_path_of(HWND main_window, const char* name, char (&path)[kPathBytes])
{
    std::memset(path, 0, sizeof path);
    DWORD length = GetFullPathNameA(name, sizeof path, path, nullptr);
    if (length != 0 && length < sizeof path)
        return true;
    std::memset(path, 0, sizeof path);
    if (length >= sizeof path)
        MessageBoxA(main_window, text(TextId::path_too_long), text(TextId::data_error_caption), MB_OK | MB_ICONERROR);
    return length == 0; // an empty name still goes on, to "cannot open"
}

// A database's address from the command line opens its table as the
// database dialog would: with the password from the environment, or, for
// an address that names its user and without one there, the dialog itself
// filled in, for the password. The address is no path to make absolute.
void open_named_table(AppState* state, const char* address)
{
    if (std::strlen(address) >= kPathBytes) {
        MessageBoxA(state->main_window, text(TextId::path_too_long), text(TextId::data_error_caption),
                    MB_OK | MB_ICONERROR);
        return;
    }
    DatabaseAddress parts;
    std::string problem;
    if (!std::getenv("CLICKHOUSE_PASSWORD") && parse_database_address(address, &parts, &problem) &&
        !parts.user.empty()) {
        open_database_dialog(state->panel, address);
        return;
    }
    char path[kPathBytes] = {};
    std::memcpy(path, address, std::strlen(address));
    load_data_from(state->panel, path);
}

} // namespace

void offer_message(HWND main_window, HACCEL accelerators, MSG* message)
{
    // Without the record (a failed start) there is neither panel nor camera.
    if (AppState* state = app_state_of(main_window)) {
        // The address is typed there: its letters are no camera keys.
        if (state->database_dialog && IsDialogMessageA(state->database_dialog, message))
            return;
        if (range_history_key(state, message))
            return;
        if (TranslateAcceleratorA(main_window, accelerators, message))
            return;
        if (IsDialogMessageA(state->panel, message))
            return;
        if (IsDialogMessageA(main_window, message))
            return;
    }
    TranslateMessage(message);
    DispatchMessageA(message);
}

int varnel_main(HINSTANCE instance, const char* data_file, const char* texture_file)
{
    HICON icon = LoadIconA(instance, MAKEINTRESOURCE(IDI_VARNEL));
    HACCEL accelerators = LoadAcceleratorsA(instance, ACCELERATOR_TABLE_NAME);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);

    HWND main_window = CreateDialogParamA(instance, MAKEINTRESOURCE(IDD_MAIN), nullptr, main_window_proc, 0);
    if (!main_window)
        return 1;
    AppState* state = app_state_of(main_window);
    SendMessageA(main_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(main_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    ShowWindow(main_window, SW_SHOWNORMAL);

    // Loaded before the first frame, so that it shows them.
    char path[kPathBytes];
    if (state && data_file && is_database_address(data_file))
        open_named_table(state, data_file);
    else if (state && data_file && full_path_of(main_window, data_file, path))
        load_data_from(state->panel, path);
    if (state && texture_file && IsWindow(main_window) && full_path_of(main_window, texture_file, path)) {
        load_texture_from(state->panel, path);
        InvalidateRect(state->render_area, nullptr, FALSE);
    }

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0))
        offer_message(main_window, accelerators, &message);
    // After a failed start the window was never destroyed.
    if (IsWindow(main_window))
        DestroyWindow(main_window);
    return static_cast<int>(message.wParam);
}
