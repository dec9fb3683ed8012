// Where windows are and how large: client and window rectangles, moves and
// sizes, showing, minimising and the WM_SIZE that follows.
#include <QGuiApplication>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

QSize frame_extra(const Window* w)
{
    if (!w->widget || !w->widget->isWindow())
        return QSize(0, 0);
    QRect frame = w->widget->frameGeometry();
    return QSize(std::max(0, frame.width() - w->widget->width()), std::max(0, frame.height() - w->widget->height()));
}

} // namespace

// Client size as the window procedures see it: nothing while minimised.
QSize client_size(const Window* w)
{
    if (!w->widget || w->minimized)
        return QSize(0, 0);
    return w->widget->size();
}

// A top-level window takes no WM_SIZING here (the window manager owns the
// resize drag), so the procedure is asked once what it would do with an
// empty rectangle dragged at the bottom right corner: what it gives back is
// the smallest window, and the window gets that as its minimum size.
void update_minimum_size(Window* w)
{
    if (!w->widget || !w->widget->isWindow() || !(w->style & WS_THICKFRAME) || w->minimized)
        return;
    RECT r = {0, 0, 0, 0};
    SendMessageA(w, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
    if (!live_window(w) || !w->widget)
        return;
    QSize extra = frame_extra(w);
    int min_w = std::max(0, static_cast<int>(r.right - r.left) - extra.width());
    int min_h = std::max(0, static_cast<int>(r.bottom - r.top) - extra.height());
    if (w->widget->minimumSize() != QSize(min_w, min_h))
        w->widget->setMinimumSize(min_w, min_h);
}

int mul_div(int a, int b, int c)
{
    if (c == 0)
        return -1;
    // Rounded half away from zero, as the platform's MulDiv.
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

bool is_visible(const Window* w) { return w && w->alive && w->widget && w->widget->isVisible() && !w->minimized; }

void notify_size(Window* w)
{
    if (!w->alive || !w->widget)
        return;
    QSize size = client_size(w);
    if (size.width() == w->last_width && size.height() == w->last_height)
        return;
    w->last_width = size.width();
    w->last_height = size.height();
    w->needs_paint = true;
    WPARAM kind = w->minimized ? SIZE_MINIMIZED : (w->widget->isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED);
    SendMessageA(w, WM_SIZE, kind, MAKELPARAM(size.width(), size.height()));
    if (live_window(w))
        update_minimum_size(w);
}

} // namespace win32

using namespace win32;

BOOL Window::target_client_size(UINT* width, UINT* height)
{
    if (!alive || !widget)
        return FALSE;
    QSize size = minimized ? QSize(0, 0) : widget->size();
    if (width)
        *width = static_cast<UINT>(size.width());
    if (height)
        *height = static_cast<UINT>(size.height());
    return TRUE;
}

BOOL IsWindowVisible(HWND hWnd)
{
    Window* w = live_window(hWnd);
    return w && w->widget && w->widget->isVisible();
}

BOOL IsWindowEnabled(HWND hWnd)
{
    Window* w = live_window(hWnd);
    return w && w->widget && w->widget->isEnabled();
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable)
{
    Window* w = live_window(hWnd);
    if (!w || !w->widget)
        return FALSE;
    BOOL was_disabled = !w->widget->isEnabled();
    w->widget->setEnabled(bEnable != FALSE);
    // The toolkit disables a widget's child windows with it; the windows
    // it owns (a progress dialog over a waiting main window) keep their own
    // state, unless they were disabled themselves.
    if (!bEnable)
        for (QWidget* child : w->widget->findChildren<QWidget*>())
            if (child->isWindow() && !child->testAttribute(Qt::WA_ForceDisabled))
                child->setEnabled(true);
    if (bEnable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    return was_disabled;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect)
{
    Window* w = live_window(hWnd);
    if (!w || !lpRect)
        return FALSE;
    QSize size = client_size(w);
    *lpRect = {0, 0, size.width(), size.height()};
    return TRUE;
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    Window* w = live_window(hWnd);
    if (!w || !lpRect || !w->widget)
        return FALSE;
    QRect r;
    if (w->widget->isWindow()) {
        r = w->widget->frameGeometry();
    } else {
        QPoint origin = w->widget->mapToGlobal(QPoint(0, 0));
        r = QRect(origin, w->widget->size());
    }
    *lpRect = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    return TRUE;
}

BOOL ScreenToClient(HWND hWnd, POINT* lpPoint)
{
    Window* w = live_window(hWnd);
    if (!w || !lpPoint || !w->widget)
        return FALSE;
    QPoint p = w->widget->mapFromGlobal(QPoint(lpPoint->x, lpPoint->y));
    *lpPoint = {p.x(), p.y()};
    return TRUE;
}

BOOL ClientToScreen(HWND hWnd, POINT* lpPoint)
{
    Window* w = live_window(hWnd);
    if (!w || !lpPoint || !w->widget)
        return FALSE;
    QPoint p = w->widget->mapToGlobal(QPoint(lpPoint->x, lpPoint->y));
    *lpPoint = {p.x(), p.y()};
    return TRUE;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
    Window* w = live_window(hWnd);
    if (!w || !w->widget)
        return FALSE;
    QWidget* widget = w->widget;
    if (!(uFlags & SWP_NOMOVE))
        widget->move(X, Y);
    if (!(uFlags & SWP_NOSIZE)) {
        QSize extra = frame_extra(w);
        QSize size(std::max(0, cx - extra.width()), std::max(0, cy - extra.height()));
        if (widget->isWindow() && !(w->style & WS_THICKFRAME))
            widget->setFixedSize(size);
        else
            widget->resize(size.width(), placed_height(w, size.height()));
    }
    if (!(uFlags & SWP_NOZORDER)) {
        if (hWndInsertAfter == HWND_TOP) {
            if (!widget->isWindow() || QGuiApplication::platformName() != "offscreen")
                widget->raise();
        } else if (hWndInsertAfter == HWND_BOTTOM)
            widget->lower();
        else if (Window* after = live_window(hWndInsertAfter); after && after->widget)
            widget->stackUnder(after->widget);
    }
    notify_size(w);
    if (!live_window(w))
        return TRUE;
    if (uFlags & SWP_SHOWWINDOW)
        ShowWindow(w, SW_SHOWNA);
    else if (uFlags & SWP_HIDEWINDOW)
        ShowWindow(w, SW_HIDE);
    return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL)
{
    return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
    Window* w = live_window(hWnd);
    if (!w || !w->widget)
        return FALSE;
    QWidget* widget = w->widget;
    BOOL was_visible = !widget->isHidden();
    bool top = widget->isWindow();
    switch (nCmdShow) {
    case SW_HIDE:
        widget->hide();
        return was_visible;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
        if (top) {
            w->minimized = true;
            widget->showMinimized();
            notify_size(w);
        }
        return was_visible;
    case SW_MAXIMIZE:
        w->minimized = false;
        if (top)
            widget->showMaximized();
        else
            widget->show();
        break;
    default:
        if (top && (w->minimized || nCmdShow == SW_RESTORE || nCmdShow == SW_SHOWNORMAL) &&
            (w->minimized || widget->isMaximized())) {
            w->minimized = false;
            widget->showNormal();
        } else {
            widget->show();
        }
        if (top && nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE) {
            if (QGuiApplication::platformName() != "offscreen") // it has no stacking
                widget->raise();
            widget->activateWindow();
        }
        break;
    }
    if (!was_visible)
        invalidate_tree(w);
    notify_size(w);
    if (live_window(w))
        update_minimum_size(w);
    return was_visible;
}

BOOL IsIconic(HWND hWnd)
{
    Window* w = live_window(hWnd);
    return w && w->minimized;
}
