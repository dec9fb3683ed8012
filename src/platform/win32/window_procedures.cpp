// A window's data words and its procedure: sending messages, and what the
// default procedure does with those a window leaves to it.
#include <QIcon>
#include <QWidget>

#include <algorithm>
#include <cstring>

#include "platform/win32/window_internal.h"
#include "platform/win32/windowsx.h"

using namespace win32;

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    Window* w = live_window(hWnd);
    if (!w)
        return 0;
    switch (nIndex) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(static_cast<HWND>(w->parent));
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style | (w->widget && !w->widget->isHidden() ? WS_VISIBLE : 0));
    case GWL_EXSTYLE:
        return w->ex_style;
    case GWLP_USERDATA:
        return w->user_data;
    }
    if (w->is_dialog) {
        switch (nIndex) {
        case DWLP_MSGRESULT:
            return w->msg_result;
        case DWLP_DLGPROC:
            return reinterpret_cast<LONG_PTR>(w->dlg_proc);
        case DWLP_USER:
            return w->dlg_user;
        }
    }
    return 0;
}

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    Window* w = live_window(hWnd);
    if (!w)
        return 0;
    LONG_PTR old = GetWindowLongPtrA(hWnd, nIndex);
    switch (nIndex) {
    case GWLP_WNDPROC:
        if (!dwNewLong)
            return 0;
        w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        return old;
    case GWLP_ID:
        w->id = static_cast<WORD>(dwNewLong);
        return old;
    case GWL_STYLE:
        w->style = static_cast<DWORD>(dwNewLong) & ~WS_VISIBLE;
        return old;
    case GWL_EXSTYLE:
        w->ex_style = static_cast<DWORD>(dwNewLong);
        return old;
    case GWLP_USERDATA:
        w->user_data = dwNewLong;
        return old;
    }
    if (w->is_dialog) {
        switch (nIndex) {
        case DWLP_MSGRESULT:
            w->msg_result = dwNewLong;
            return old;
        case DWLP_DLGPROC:
            w->dlg_proc = reinterpret_cast<DLGPROC>(dwNewLong);
            return old;
        case DWLP_USER:
            w->dlg_user = dwNewLong;
            return old;
        }
    }
    return 0;
}

LONG GetWindowLongA(HWND hWnd, int nIndex) { return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex)); }

LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong)
{
    // Procedures are pointers, which a LONG cannot hold here.
    if (nIndex == GWLP_WNDPROC || (nIndex == DWLP_DLGPROC && live_window(hWnd) && live_window(hWnd)->is_dialog))
        return 0;
    return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, dwNewLong));
}

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (!lpPrevWndFunc)
        return 0;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = known_window(hWnd);
    // WM_NCDESTROY is the last message a window gets, while it is going.
    if (!w || (!w->alive && Msg != WM_NCDESTROY))
        return 0;
    WindowHold hold(w);
    return w->proc(hWnd, Msg, wParam, lParam);
}

LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

namespace {

// WM_GETTEXT: as much of the text as fits in `size` bytes with its
// terminator, never ending inside a double-byte character.
LRESULT copy_text(Window* w, size_t size, char* buffer)
{
    if (size == 0 || !buffer)
        return 0;
    std::string text = to_ansi(widget_text(w));
    size_t n = std::min(text.size(), size - 1);
    size_t cut = 0;
    for (const char* p = text.c_str(); *p;) {
        const char* next = CharNextA(p);
        if (static_cast<size_t>(next - text.c_str()) > n)
            break;
        cut = static_cast<size_t>(next - text.c_str());
        p = next;
    }
    std::memcpy(buffer, text.data(), cut);
    buffer[cut] = '\0';
    return static_cast<LRESULT>(cut);
}

// WM_SETICON: the small (0) or big (1) icon; a top-level window shows the
// big one where it has one. The icon it replaces.
HICON set_icon(Window* w, int which, HICON icon)
{
    HICON old = w->icons[which];
    w->icons[which] = icon;
    HICON shown = w->icons[1] ? w->icons[1] : w->icons[0];
    if (w->widget && w->widget->isWindow())
        w->widget->setWindowIcon(shown ? shown->icon : QIcon());
    return old;
}

Window* top_level_of(Window* w)
{
    while (w->parent && (w->style & WS_CHILD))
        w = w->parent;
    return w;
}

} // namespace

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = live_window(hWnd);
    if (!w)
        return 0;
    switch (Msg) {
    case WM_SETTEXT: {
        const char* text = reinterpret_cast<const char*>(lParam);
        QString qtext = from_ansi(text ? text : "");
        w->text = to_ansi(qtext);
        set_text(w, qtext);
        return TRUE;
    }
    case WM_GETTEXT:
        return copy_text(w, static_cast<size_t>(wParam), reinterpret_cast<char*>(lParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(to_ansi(widget_text(w)).size());
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessageA(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4) {
            // Alt+F4 closes the top-level window, wherever the focus is.
            SendMessageA(top_level_of(w), WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        }
        [[fallthrough]];
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        deliver_key(w, Msg, wParam, false);
        return 0;
    case WM_SETICON:
        return reinterpret_cast<LRESULT>(set_icon(w, wParam == ICON_SMALL ? 0 : 1, reinterpret_cast<HICON>(lParam)));
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(w->icons[wParam == ICON_SMALL ? 0 : 1]);
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_RBUTTONUP: {
        POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(hWnd, &at);
        SendMessageA(hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hWnd), MAKELPARAM(at.x, at.y));
        return 0;
    }
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
        // Unhandled, they go up to the parent.
        if ((w->style & WS_CHILD) && w->parent && w->parent->alive)
            return SendMessageA(w->parent, Msg, wParam, lParam);
        return 0;
    }
    return 0;
}
