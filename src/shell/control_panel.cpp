#include "shell/control_panel.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "field/sources/clickhouse_source.h"
#include "field/field_loader.h"
#include "render/height_scale_title.h"
#include "resources/program_resources.h"
#include "resources/texts.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/camera_controls.h"
#include "shell/column_choice.h"
#include "shell/decimal_fields.h"
#include "shell/file_dialog_helpers.h"
#include "shell/load_progress.h"
#include "shell/picture_view.h"
#include "shell/range_history.h"
#include "shell/settings.h"

namespace {

// The message for a field whose text is no number; the text stays there.
void show_not_a_number(HWND panel, int spin)
{
    const std::string typed = decimal_field_text(panel, spin);
    const char* format = text(TextId::not_a_number_format);
    const char* name = decimal_field_name(spin);
    std::string message(std::strlen(format) + std::strlen(name) + typed.size() + 1, '\0');
    std::snprintf(message.data(), message.size(), format, name, typed.c_str());
    MessageBoxA(app_state_of(panel)->main_window, message.c_str(), text(TextId::data_error_caption),
                MB_OK | MB_ICONERROR);
}

// The numbers of the given fields, or false after a message naming the
// first one that holds none.
bool read_fields(HWND panel, std::initializer_list<std::pair<int, double*>> fields)
{
    for (auto [spin, value] : fields) {
        if (!read_decimal_field(panel, spin, value)) {
            show_not_a_number(panel, spin);
            return false;
        }
    }
    return true;
}

bool read_range(HWND panel, Range* range)
{
    return read_fields(panel,
                       {{IDC_X_MIN_SPIN, &range->x_min},
                        {IDC_X_MAX_SPIN, &range->x_max},
                        {IDC_Y_MIN_SPIN, &range->y_min},
                        {IDC_Y_MAX_SPIN, &range->y_max}});
}

void show_range(HWND panel, const Range& range)
{
    show_decimal_field(panel, IDC_X_MIN_SPIN, range.x_min);
    show_decimal_field(panel, IDC_X_MAX_SPIN, range.x_max);
    show_decimal_field(panel, IDC_Y_MIN_SPIN, range.y_min);
    show_decimal_field(panel, IDC_Y_MAX_SPIN, range.y_max);
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
// a device or pipe might never end. Why not for anything else, or null.
const char* why_not_readable(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::strerror(EISDIR);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE))
        return text(TextId::not_a_regular_file);
    return nullptr;
}

// The cannot-open message, followed by the file and the system's reason;
// a database's address never with a password written in it.
void show_cannot_open(AppState* state, const char* path, const char* reason)
{
    const std::string message =
        std::string(text(TextId::cannot_open)) + "\n" + address_for_message(path) + ": " + reason;
    MessageBoxA(state->main_window, message.c_str(), text(TextId::data_error_caption), MB_OK | MB_ICONERROR);
}

void set_loaded_title(HWND main_window, const char* path)
{
    const std::string shown = address_for_message(path);
    const char* name = file_name_of(shown.c_str());
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

// The renderer lets go of the old field before it is destroyed.
void replace_field(AppState* state, DensityField* field)
{
    state->renderer->ops.set_field(state->renderer, field);
    if (state->field)
        state->field->ops.destroy(state->field);
    state->field = field;
}

// A file that held no point: said, and the plot left as it was.
void show_no_point(AppState* state, const char* file, const FieldCounts& counts)
{
    const std::string shown = address_for_message(file);
    const char* path = shown.c_str();
    std::string message(std::strlen(path) + std::strlen(text(TextId::no_readable_point_format)) + 32, '\0');
    if (counts.first_rejected_line > 0)
        std::snprintf(message.data(), message.size(), text(TextId::no_readable_point_format), path,
                      counts.first_rejected_line);
    else
        std::snprintf(message.data(), message.size(), text(TextId::no_point_format), path);
    show_data_error(state, message.c_str());
}

// Points were read but none lies in the range: asks whether to fit it.
bool want_fitted_range(AppState* state, long long points, const Range& range)
{
    char message[512];
    std::snprintf(message, sizeof message, text(TextId::none_in_range_format), points, exact_text(range.x_min).c_str(),
                  exact_text(range.x_max).c_str(), exact_text(range.y_min).c_str(), exact_text(range.y_max).c_str());
    return MessageBoxA(state->main_window, message, text(TextId::none_in_range_caption), MB_YESNO | MB_ICONQUESTION) ==
        IDYES;
}

enum class Offer { FitRange, Nothing };

// The field over the range (or over the range fitted to the points) from
// the file, read with a progress dialog and the busy pointer.
LoadedField read_data_file(AppState* state, const Range& range, const char* path, bool fit)
{
    BusyCursor busy;
    LoadProgress progress(state->main_window);
    LoadRequest request;
    request.path = path;
    request.range = range;
    // A header of many columns is asked about after the load's one look.
    request.choose_columns = [state](const FileHeader& header, Columns* columns) {
        return choose_data_columns(state, header, columns);
    };
    request.binning = static_cast<BinningRule>(state->settings.binning);
    request.kept = &state->kept_points;
    request.log_x = state->settings.log_x != 0;
    request.log_y = state->settings.log_y != 0;
    // A log axis cannot start at or below zero: it is fitted to the points.
    const bool unloggable = (request.log_x && !(range.x_min > 0)) || (request.log_y && !(range.y_min > 0));
    request.fit_range = fit || unloggable;
    // A database's password comes from the environment, else from the
    // database dialog; it is held in memory only.
    if (is_database_address(request.path)) {
        const char* password = std::getenv("CLICKHOUSE_PASSWORD");
        request.password = password ? password : state->database_password;
    }
    return load_field(request, LoadWatch{progress.meter(), ReadWatch{LoadProgress::go_on, &progress}});
}

// The loaded field in place of the old one, unless it was cancelled or
// holds nothing to show: then the plot stays. A field that could not be
// made leaves no plot.
void show_loaded(HWND panel, const char* path, LoadedField& loaded, bool fit)
{
    AppState* state = app_state_of(panel);
    if (loaded.failure == LoadFailure::no_memory) {
        replace_field(state, nullptr);
        state->data_file[0] = '\0';
        invalidate_render_area(state); // the old surface is gone
        return;
    }
    if (!loaded.ok() || loaded.counts.stopped || loaded.counts.points == 0 || (fit && !loaded.fitted))
        return;
    if (loaded.fitted)
        show_range(panel, loaded.range);
    // A database's address is no folder for the file dialog.
    if (!is_database_address(path)) {
        std::memcpy(state->settings.data_path, path, kPathBytes);
        cut_to_folder(state->settings.data_path);
    }
    std::memcpy(state->data_file, path, kPathBytes);
    state->renderer->ops.set_caption(state->renderer, file_name_of(address_for_message(path).c_str()));
    state->renderer->ops.set_axis_titles(state->renderer, loaded.columns.x_name.c_str(), loaded.columns.y_name.c_str());
    state->renderer->ops.set_scale_title(state->renderer, height_scale_title(loaded).c_str());
    // The field left behind goes to the history, which may keep it.
    DensityField* left = state->field;
    state->field = loaded.field.release();
    state->renderer->ops.set_field(state->renderer, state->field);
    record_range_step(state, path, loaded.range, left);
    send_camera(panel);
    set_loaded_title(state->main_window, path);
}

void load_data(HWND panel, const Range& range, const char* path, Offer offer = Offer::FitRange, bool fit = false)
{
    AppState* state = app_state_of(panel);
    if (const char* reason = is_database_address(path) ? nullptr : why_not_readable(path)) {
        show_cannot_open(state, path, reason);
        return;
    }
    LoadedField loaded = read_data_file(state, range, path, fit);
    // A file other than the last one, its points not well inside the
    // range, is shown over its own: the old range was another file's.
    const bool new_file = std::strcmp(state->data_file, path) != 0;
    const bool refit = !fit && offer == Offer::FitRange && new_file && loaded.ok() && !loaded.counts.stopped &&
        !is_database_address(path) && points_mostly_outside(loaded);
    if (refit) {
        fit = true;
        loaded = read_data_file(state, range, path, fit);
    }
    show_loaded(panel, path, loaded, fit);
    if (refit && loaded.fitted)
        state->renderer->ops.set_readout(state->renderer, text(TextId::range_fitted_note));
    const FieldCounts& counts = loaded.counts;
    if (loaded.failure == LoadFailure::cannot_open || loaded.failure == LoadFailure::cannot_read)
        show_cannot_open(state, path, loaded.problem.empty() ? std::strerror(loaded.error) : loaded.problem.c_str());
    else if (loaded.failure == LoadFailure::changed)
        show_cannot_open(state, path, text(TextId::file_changed));
    else if (loaded.failure == LoadFailure::database || loaded.failure == LoadFailure::bad_sums ||
             loaded.failure == LoadFailure::bad_array)
        show_cannot_open(state, path, loaded.problem.c_str());
    else if (loaded.failure == LoadFailure::no_memory)
        show_data_error(state, text(TextId::no_field));
    else if (counts.stopped)
        return;
    else if (counts.points == 0 || (fit && !loaded.fitted))
        show_no_point(state, path, counts);
    else if (counts.in_range == 0 && offer == Offer::FitRange && want_fitted_range(state, counts.points, range))
        load_data(panel, range, path, Offer::Nothing, true);
}

} // namespace

void open_data_file_dialog(HWND panel)
{
    AppState* state = app_state_of(panel);
    Range range;
    if (!state || !read_range(panel, &range))
        return;
    char path[kPathBytes];
    if (!open_file_dialog(state->main_window, text(TextId::data_dialog_title), state->settings.data_path, path,
                          sizeof path, text(TextId::data_filter))) {
        SetWindowTextA(state->main_window, text(TextId::program_title));
        return;
    }
    load_data(panel, range, path);
}

namespace {

void load_data_command(HWND panel, AppState* state)
{
    // A table is asked again, over the range now in the panel: it has no
    // file to choose.
    if (!is_database_address(state->data_file)) {
        open_data_file_dialog(panel);
        return;
    }
    Range range;
    if (!read_range(panel, &range))
        return;
    char address[kPathBytes];
    std::memcpy(address, state->data_file, kPathBytes);
    load_data(panel, range, address);
}

void load_texture_command(HWND panel, AppState* state)
{
    char path[kPathBytes];
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
    Range range;
    double x, y;
    if (!read_range(panel, &range) || !read_fields(panel, {{IDC_X_MARKER_SPIN, &x}, {IDC_Y_MARKER_SPIN, &y}}))
        return;
    const auto [x_min, x_max, y_min, y_max] = range;
    bool inside = x_min < x_max && y_min < y_max && x_min <= x && x <= x_max && y_min <= y && y <= y_max;
    if (inside) {
        MarkerPair pair{(x - x_min) / (x_max - x_min), (y - y_min) / (y_max - y_min)};
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

void load_data_from(HWND panel, const char* path)
{
    // The load keeps a path as a whole buffer of the settings' size.
    char whole[kPathBytes] = {};
    std::strncpy(whole, path, sizeof whole - 1);
    Range range;
    if (read_range(panel, &range))
        load_data(panel, range, whole);
}

void show_plot_range(HWND panel, const Range& range) { show_range(panel, range); }

void reload_data(HWND panel)
{
    AppState* state = app_state_of(panel);
    if (!state || !state->data_file[0])
        return;
    char path[kPathBytes];
    std::memcpy(path, state->data_file, kPathBytes);
    load_data_from(panel, path);
}

void fit_range_to_data(HWND panel)
{
    AppState* state = app_state_of(panel);
    if (state && state->data_file[0])
        load_data(panel, Range{}, state->data_file, Offer::Nothing, true);
}

namespace {

INT_PTR CALLBACK database_dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return TRUE;
    }
    const HWND panel = reinterpret_cast<HWND>(GetWindowLongPtrA(dialog, DWLP_USER));
    AppState* state = panel ? app_state_of(panel) : nullptr;
    if (message == WM_CLOSE)
        wParam = IDCANCEL;
    else if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL))
        return FALSE;
    if (!state)
        return FALSE;
    char address[kPathBytes] = "";
    GetDlgItemTextA(dialog, IDC_DATABASE_ADDRESS, address, sizeof address);
    if (LOWORD(wParam) == IDOK) {
        std::string& password = state->database_password;
        password.assign(static_cast<std::size_t>(GetWindowTextLengthA(GetDlgItem(dialog, IDC_DATABASE_PASSWORD))) + 1,
                        '\0');
        password.resize(static_cast<std::size_t>(
            GetDlgItemTextA(dialog, IDC_DATABASE_PASSWORD, password.data(), static_cast<int>(password.size()))));
    }
    EnableWindow(state->main_window, TRUE);
    state->database_dialog = nullptr;
    DestroyWindow(dialog);
    Range range;
    if (LOWORD(wParam) == IDOK && read_range(panel, &range))
        load_data(panel, range, address);
    return TRUE;
}

} // namespace

void open_database_dialog(HWND panel, const char* address)
{
    AppState* state = app_state_of(panel);
    if (!state || state->database_dialog)
        return;
    state->database_dialog =
        CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kDatabaseTemplate, state->main_window,
                                   database_dialog_proc, reinterpret_cast<LPARAM>(panel));
    if (!state->database_dialog)
        return;
    if (address)
        SetDlgItemTextA(state->database_dialog, IDC_DATABASE_ADDRESS, address);
    else if (is_database_address(state->data_file))
        SetDlgItemTextA(state->database_dialog, IDC_DATABASE_ADDRESS, state->data_file);
    // The field shows dots for the password kept: what is sent is what it holds.
    SetDlgItemTextA(state->database_dialog, IDC_DATABASE_PASSWORD, state->database_password.c_str());
    EnableWindow(state->main_window, FALSE);
}

void load_texture_from(HWND panel, const char* path)
{
    AppState* state = app_state_of(panel);
    std::memcpy(state->settings.texture_path, path, kPathBytes);
    cut_to_folder(state->settings.texture_path);
    BusyCursor busy;
    state->renderer->ops.set_texture(state->renderer, path);
}

INT_PTR CALLBACK panel_proc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        make_fields_decimal(panel);
        set_panel_ranges(panel);
        return FALSE;
    case WM_NOTIFY: {
        // The arrows of a decimal field step its text; their own position
        // never moves.
        const auto* change = reinterpret_cast<const NMUPDOWN*>(lParam);
        if (!change || change->hdr.code != UDN_DELTAPOS || !decimal_field_name(static_cast<int>(change->hdr.idFrom)))
            return FALSE;
        step_decimal_field(panel, static_cast<int>(change->hdr.idFrom), change->iDelta);
        SetWindowLongPtrA(panel, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            run_command(panel, LOWORD(wParam));
        return 0;
    case WM_VSCROLL: {
        int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id == IDC_RADIUS_SPIN || id == IDC_AZIMUTH_SPIN || id == IDC_ELEVATION_SPIN) {
            if (AppState* state = app_state_of(panel))
                leave_map_view(state);
            send_camera(panel);
        }
        return 0;
    }
    }
    return FALSE;
}
