#include "shell/main_window.h"

#include <initializer_list>
#include <new>

#include "resources/texts.h"
#include "resources/resource_ids.h"
#include "platform/win32/windowsx.h"
#include "shell/app_state.h"
#include "shell/camera_controls.h"
#include "shell/control_panel.h"
#include "shell/dropped_files.h"
#include "shell/picture_view.h"
#include "shell/pointer_readout.h"
#include "shell/range_history.h"
#include "shell/range_zoom.h"
#include "shell/render_area_menu.h"

namespace {

// Each start-up failure: the message, then the window ends itself.
BOOL fail_start(HWND main_window, const char* message)
{
    MessageBoxA(main_window, message, text(TextId::startup_error_caption), MB_OK | MB_ICONERROR);
    PostMessageA(main_window, WM_DESTROY, 0, 0);
    return FALSE;
}

BOOL initialise(HWND main_window)
{
    AppState* state = new (std::nothrow) AppState{};
    if (!state)
        return fail_start(main_window, text(TextId::no_memory));
    state->main_window = main_window;
    state->panel =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCE(IDD_PANEL), main_window, panel_proc, 0);
    if (!state->panel) {
        delete state;
        return fail_start(main_window, text(TextId::no_panel));
    }
    state->render_area = GetDlgItem(main_window, IDC_RENDER_AREA);
    state->renderer = create_renderer(state->render_area);
    if (!state->renderer) {
        delete state;
        return fail_start(main_window, text(TextId::no_direct3d));
    }
    for (HWND window : {main_window, state->panel, state->render_area})
        SetWindowLongPtrA(window, GWL_USERDATA, reinterpret_cast<LONG_PTR>(state));
    // The render area is sub-classed only once it carries the record, so
    // that it never meets render_area_proc without one: until then, and for
    // good after a failed start, it keeps the static control's procedure.
    state->old_render_area_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(state->render_area, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(render_area_proc)));
    DragAcceptFiles(main_window, TRUE);
    layout_main_window(main_window);
    const bool stored = load_settings(&state->settings);
    settings_to_panel(state->panel, &state->settings);
    apply_picture_options(state);
    if (!stored) // a first start shows the whole surface
        fit_camera(state);
    return FALSE;
}

void shut_down(HWND main_window)
{
    PostQuitMessage(0);
    AppState* state = app_state_of(main_window);
    if (!state)
        return;
    panel_to_settings(&state->settings, state->panel);
    save_settings(&state->settings);
    SetWindowLongPtrA(state->render_area, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(state->old_render_area_proc));
    if (state->renderer) {
        state->renderer->ops.destroy(state->renderer);
        state->renderer = nullptr;
    }
    if (state->field) {
        state->field->ops.destroy(state->field);
        state->field = nullptr;
    }
    clear_range_history(state);
    // The panel and the render area outlive the record by a moment.
    for (HWND window : {main_window, state->panel, state->render_area})
        SetWindowLongPtrA(window, GWL_USERDATA, 0);
    delete state;
}

} // namespace

void layout_main_window(HWND main_window)
{
    AppState* state = app_state_of(main_window);
    if (!state)
        return;
    RECT client, panel;
    GetClientRect(main_window, &client);
    GetWindowRect(state->panel, &panel);
    int x = (client.right - client.left) - (panel.right - panel.left);
    SetWindowPos(state->panel, nullptr, x, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    SetWindowPos(state->render_area, nullptr, 0, 0, x, client.bottom - client.top, SWP_NOZORDER);
}

BOOL limit_sizing(HWND main_window, WPARAM edge, RECT* rect)
{
    AppState* state = app_state_of(main_window);
    if (!state || !rect)
        return FALSE;
    RECT panel, window, client;
    GetWindowRect(state->panel, &panel);
    GetWindowRect(main_window, &window);
    GetClientRect(main_window, &client);
    LONG min_width = (panel.right - panel.left) + (window.right - window.left) - (client.right - client.left);
    LONG min_height = (panel.bottom - panel.top) + (window.bottom - window.top) - (client.bottom - client.top);
    bool narrow = rect->right - rect->left < min_width;
    bool low = rect->bottom - rect->top < min_height;
    if (!narrow && !low)
        return FALSE;
    // Single edges move whenever either side is too small; corners fix each
    // side that is.
    switch (edge) {
    case WMSZ_LEFT:
        rect->left = rect->right - min_width;
        break;
    case WMSZ_RIGHT:
        rect->right = rect->left + min_width;
        break;
    case WMSZ_TOP:
        rect->top = rect->bottom - min_height;
        break;
    case WMSZ_BOTTOM:
        rect->bottom = rect->top + min_height;
        break;
    default: {
        bool left = edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
        bool top = edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
        if (narrow) {
            if (left)
                rect->left = rect->right - min_width;
            else
                rect->right = rect->left + min_width;
        }
        if (low) {
            if (top)
                rect->top = rect->bottom - min_height;
            else
                rect->bottom = rect->top + min_height;
        }
        break;
    }
    }
    return TRUE;
}

INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return initialise(window);
    case WM_SIZE:
        layout_main_window(window);
        return 0;
    case WM_SIZING:
        return limit_sizing(window, wParam, reinterpret_cast<RECT*>(lParam));
    case WM_COMMAND:
        if (AppState* state = app_state_of(window))
            if (!range_command(state, LOWORD(wParam)))
                camera_key(state, LOWORD(wParam));
        return 0;
    case WM_DROPFILES:
        if (AppState* state = app_state_of(window))
            load_dropped_files(state, reinterpret_cast<HDROP>(wParam));
        else
            DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        shut_down(window);
        return 0;
    }
    return FALSE;
}

LRESULT CALLBACK render_area_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    AppState* state = app_state_of(window);
    if (!state)
        return DefWindowProcA(window, message, wParam, lParam); // never sub-classed without one
    switch (message) {
    case WM_SIZE: {
        RECT client;
        GetClientRect(window, &client);
        state->renderer->ops.resize(state->renderer, window, client.right - client.left, client.bottom - client.top);
        return CallWindowProcA(state->old_render_area_proc, window, message, wParam, lParam);
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        state->renderer->ops.render(state->renderer);
        return 0;
    }
    case WM_NCHITTEST:
        return HTCLIENT; // as a static control it would let the mouse through
    case WM_LBUTTONDOWN: {
        // The area takes the keys then, so that Backspace steps back.
        SetFocus(window);
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (!start_zoom_band(state, at))
            start_camera_drag(state, at);
        return 0;
    }
    case WM_MOUSEMOVE: {
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (!drag_zoom_band(state, at))
            drag_camera(state, at, (wParam & MK_LBUTTON) != 0);
        show_pointer_readout(state, at);
        // Told when the pointer leaves, the readout goes with it.
        TRACKMOUSEEVENT leave{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window, 0};
        TrackMouseEvent(&leave);
        return 0;
    }
    case WM_MOUSELEAVE:
        clear_pointer_readout(state);
        return 0;
    case WM_LBUTTONUP: {
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (!end_zoom_band(state, at)) {
            drag_camera(state, at, true);
            end_camera_drag(state);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        drop_zoom_band(state);
        drop_camera_drag(state);
        return 0;
    case WM_MOUSEWHEEL:
        if (!wheel_zoom(state, GET_WHEEL_DELTA_WPARAM(wParam), {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}))
            wheel_camera(state, GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_CONTEXTMENU:
        render_area_menu(state, lParam);
        return 0;
    }
    return CallWindowProcA(state->old_render_area_proc, window, message, wParam, lParam);
}
