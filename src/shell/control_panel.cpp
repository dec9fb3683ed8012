#include "shell/control_panel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "field/data_file.h"
#include "resources/texts.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/file_dialog_helpers.h"
#include "shell/main_window.h"
#include "shell/settings.h"

namespace {

constexpr size_t kPathSize = sizeof(Settings::data_path);

struct PlotRange {
    int x_min, x_max, y_min, y_max;
};

PlotRange read_range(HWND panel)
{
    return {read_spin(panel, IDC_X_MIN_SPIN), read_spin(panel, IDC_X_MAX_SPIN), read_spin(panel, IDC_Y_MIN_SPIN),
            read_spin(panel, IDC_Y_MAX_SPIN)};
}

void set_range(HWND panel, int control, int lower, int upper)
{
    SendDlgItemMessageA(panel, control, UDM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

// The busy pointer while a file is read; message boxes come after it.
class BusyCursor {
public:
    BusyCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
    ~BusyCursor() { SetCursor(previous_); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    HCURSOR previous_;
};

void show_data_error(AppState* state, const char* message)
{
    MessageBoxA(state->main_window, message, text(TextId::data_error_caption), MB_OK | MB_ICONERROR);
}

void invalidate_render_area(AppState* state) { InvalidateRect(state->render_area, nullptr, FALSE); }

// Only a regular file is read: a folder would open as an empty stream and
// a device or pipe might never end. Null, with why not in `reason`, for
// anything else or a file that cannot be opened.
std::FILE* open_regular_file(const char* path, const char** reason)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *reason = std::strerror(EISDIR);
        return nullptr;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE)) {
        *reason = text(TextId::not_a_regular_file);
        return nullptr;
    }
    errno = 0;
    std::FILE* file = open_data_file(path);
    if (!file)
        *reason = std::strerror(errno ? errno : ENOENT);
    return file;
}

// The cannot-open message, followed by the file and the system's reason.
void show_cannot_open(AppState* state, const char* path, const char* reason)
{
    const std::string message = std::string(text(TextId::cannot_open)) + "\n" + path + ": " + reason;
    MessageBoxA(state->main_window, message.c_str(), text(TextId::data_error_caption), MB_OK | MB_ICONERROR);
}

void set_loaded_title(HWND main_window, const char* path)
{
    const char* name = file_name_of(path);
    char title[1024];
    int room = static_cast<int>(sizeof title) - 1 - std::snprintf(nullptr, 0, text(TextId::title_format), 0, "");
    const char* end = name;
    for (const char* p = name; *p;) {
        const char* next = CharNextA(p);
        if (next - name > room)
            break;
        end = p = next;
    }
    std::snprintf(title, sizeof title, text(TextId::title_format), static_cast<int>(end - name), name);
    SetWindowTextA(main_window, title);
}

enum class ReadResult { Loaded, CannotOpen, NoField };

// A new field for the range, filled from the file. On CannotOpen nothing
// was made; a read error counts as that too, so that a file read only in
// part never replaces the plot.
ReadResult read_data_file(const PlotRange& range, const char* path, DensityField** field_out, const char** reason)
{
    *field_out = nullptr;
    std::FILE* file = open_regular_file(path, reason);
    if (!file)
        return ReadResult::CannotOpen;
    DensityField* field = create_density_field(range.x_min, range.y_min, range.x_max, range.y_max);
    bool read_failed = false;
    if (field) {
        errno = 0;
        field->ops.load(field, file, 0);
        read_failed = std::ferror(file) != 0;
        if (read_failed)
            *reason = std::strerror(errno ? errno : EIO);
    }
    std::fclose(file);
    if (!field)
        return ReadResult::NoField;
    if (read_failed) {
        field->ops.destroy(field);
        return ReadResult::CannotOpen;
    }
    *field_out = field;
    return ReadResult::Loaded;
}

// The renderer lets go of the old field before it is destroyed.
void replace_field(AppState* state, DensityField* field)
{
    state->renderer->ops.set_field(state->renderer, field);
    if (state->field)
        state->field->ops.destroy(state->field);
    state->field = field;
}

void load_data(HWND panel, const PlotRange& range, const char* path)
{
    AppState* state = app_state_of(panel);
    ReadResult result;
    const char* reason = "";
    {
        BusyCursor busy;
        DensityField* field = nullptr;
        result = read_data_file(range, path, &field, &reason);
        if (result == ReadResult::NoField) {
            replace_field(state, nullptr);
            invalidate_render_area(state); // the old surface is gone
        }
        if (result == ReadResult::Loaded) {
            std::memcpy(state->settings.data_path, path, kPathSize);
            cut_to_folder(state->settings.data_path);
            state->renderer->ops.set_caption(state->renderer, file_name_of(path));
            replace_field(state, field);
            adapt_marker_ranges(panel);
            send_camera(panel);
            set_loaded_title(state->main_window, path);
        }
    }
    if (result == ReadResult::CannotOpen)
        show_cannot_open(state, path, reason);
    else if (result == ReadResult::NoField)
        show_data_error(state, text(TextId::no_field));
}

void load_data_command(HWND panel, AppState* state)
{
    PlotRange range = read_range(panel);
    char path[kPathSize];
    if (!open_file_dialog(state->main_window, text(TextId::data_dialog_title), state->settings.data_path, path,
                          sizeof path, text(TextId::data_filter))) {
        SetWindowTextA(state->main_window, text(TextId::program_title));
        return;
    }
    load_data(panel, range, path);
}

void load_texture_command(HWND panel, AppState* state)
{
    char path[kPathSize];
    if (open_file_dialog(state->main_window, text(TextId::texture_dialog_title), state->settings.texture_path, path,
                         sizeof path, text(TextId::texture_filter)))
        load_texture_from(panel, path);
    invalidate_render_area(state);
}

// The renderer draws the cross from the grid nodes under it, so only a
// marker inside a range that has an inside is handed over; any other
// leaves the cross out rather than putting it somewhere it is not.
void place_marker(HWND panel, AppState* state)
{
    int x_max = read_spin(panel, IDC_X_MAX_SPIN);
    int x_min = read_spin(panel, IDC_X_MIN_SPIN);
    int y_max = read_spin(panel, IDC_Y_MAX_SPIN);
    int y_min = read_spin(panel, IDC_Y_MIN_SPIN);
    int x = read_spin(panel, IDC_X_MARKER_SPIN);
    int y = read_spin(panel, IDC_Y_MARKER_SPIN);
    bool inside = x_min < x_max && y_min < y_max && x_min <= x && x <= x_max && y_min <= y && y <= y_max;
    if (inside) {
        MarkerPair pair{static_cast<double>(x - x_min) / (static_cast<double>(x_max) - x_min),
                        static_cast<double>(y - y_min) / (static_cast<double>(y_max) - y_min)};
        state->renderer->ops.set_marker(state->renderer, &pair);
    } else {
        state->renderer->ops.set_marker(state->renderer, nullptr);
    }
    invalidate_render_area(state);
}

void run_command(HWND panel, int command)
{
    AppState* state = app_state_of(panel);
    if (!state)
        return;
    switch (command) {
    case IDC_LOAD_DATA:
        load_data_command(panel, state);
        break;
    case IDC_LOAD_TEXTURE:
        load_texture_command(panel, state);
        break;
    case IDC_CLEAR_TEXTURE:
        state->renderer->ops.set_texture(state->renderer, nullptr);
        invalidate_render_area(state);
        break;
    case IDC_SET_MARKER:
        place_marker(panel, state);
        break;
    case IDC_CLEAR_MARKER:
        state->renderer->ops.set_marker(state->renderer, nullptr);
        invalidate_render_area(state);
        break;
    }
}

} // namespace

void adapt_marker_ranges(HWND panel)
{
    PlotRange range = read_range(panel);
    set_range(panel, IDC_X_MARKER_SPIN, range.x_min, range.x_max);
    set_range(panel, IDC_Y_MARKER_SPIN, range.y_min, range.y_max);
}

void load_data_from(HWND panel, const char* path) { load_data(panel, read_range(panel), path); }

void load_texture_from(HWND panel, const char* path)
{
    AppState* state = app_state_of(panel);
    std::memcpy(state->settings.texture_path, path, kPathSize);
    cut_to_folder(state->settings.texture_path);
    BusyCursor busy;
    state->renderer->ops.set_texture(state->renderer, path);
}

INT_PTR CALLBACK panel_proc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        set_panel_ranges(panel);
        return FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            run_command(panel, LOWORD(wParam));
        return 0;
    case WM_VSCROLL: {
        int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id == IDC_RADIUS_SPIN || id == IDC_AZIMUTH_SPIN || id == IDC_ELEVATION_SPIN)
            send_camera(panel);
        return 0;
    }
    }
    return FALSE;
}
