// Mouse input: the widgets' mouse and wheel events become queued messages
// for the window the platform would give them to, the capture, and the
// pointer's leaving a window that asked to hear of it.
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <vector>

#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

Window* g_capture = nullptr;
// The windows that asked to hear when the pointer leaves them.
std::vector<HWND> g_leave_tracked;

// Qt hands an event a widget ignores on to its parent, and the application's
// filter sees it again there; what tells one event from the next.
struct EventKey {
    QEvent::Type type = QEvent::None;
    quint64 timestamp = 0;
    QPointF global;
    Qt::MouseButtons buttons;
    bool operator==(const EventKey&) const = default;
};
EventKey g_last_event;

WPARAM key_state(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    WPARAM state = 0;
    if (buttons & Qt::LeftButton)
        state |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        state |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        state |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        state |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        state |= MK_CONTROL;
    return state;
}

// The message for a button event; 0 for buttons the platform has none for.
// Without CS_DBLCLKS in any class, a double click is a second press.
UINT button_message(QEvent::Type type, Qt::MouseButton button)
{
    bool down = type != QEvent::MouseButtonRelease;
    switch (button) {
    case Qt::LeftButton:
        return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case Qt::RightButton:
        return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case Qt::MiddleButton:
        return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    default:
        return 0;
    }
}

// The window that takes the pointer at `global`, starting from the one
// whose widget it is over: a window answering HTTRANSPARENT hands it to its
// parent (the platform also tries the siblings beneath; the program's
// windows do not overlap).
Window* hit_window(Window* w, QPoint global)
{
    while (w) {
        LRESULT hit = SendMessageA(w, WM_NCHITTEST, 0, MAKELPARAM(global.x(), global.y()));
        if (!live_window(w) || hit == HTNOWHERE)
            return nullptr;
        if (hit != HTTRANSPARENT)
            return w;
        w = (w->style & WS_CHILD) ? w->parent : nullptr;
    }
    return nullptr;
}

LPARAM client_point(Window* w, QPoint global)
{
    QPoint p = w->widget ? w->widget->mapFromGlobal(global) : global;
    return MAKELPARAM(p.x(), p.y());
}

} // namespace

bool take_mouse(QObject* object, QEvent* event)
{
    Window* under = object->isWidgetType() ? window_of_widget(object) : nullptr;
    if (!under)
        return false;
    auto* input = static_cast<QSinglePointEvent*>(event);
    // A static control's widget does nothing with the mouse: its events
    // end here, so that the widgets behind it never see them.
    bool ends_here = under->class_name == "Static";
    if (ends_here)
        input->accept();
    EventKey key{event->type(), input->timestamp(), input->globalPosition(), input->buttons()};
    if (key == g_last_event)
        return ends_here;
    g_last_event = key;

    QPoint global = input->globalPosition().toPoint();
    WPARAM keys = key_state(input->buttons(), input->modifiers());
    UINT message = 0;
    WPARAM wParam = keys;
    bool screen_point = false;
    if (event->type() == QEvent::Wheel) {
        int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (delta == 0)
            return ends_here; // a touchpad's start or end of scrolling, or sideways
        message = WM_MOUSEWHEEL;
        wParam = MAKEWPARAM(keys, static_cast<short>(std::clamp(delta, -32768, 32767)));
        screen_point = true;
    } else if (event->type() == QEvent::MouseMove) {
        message = WM_MOUSEMOVE;
    } else {
        message = button_message(event->type(), static_cast<QMouseEvent*>(event)->button());
    }
    Window* target = live_window(g_capture);
    if (!target)
        target = hit_window(under, global);
    if (message && target) {
        LPARAM lParam = screen_point ? MAKELPARAM(global.x(), global.y()) : client_point(target, global);
        post_input(
            {target, message, wParam, lParam, static_cast<DWORD>(input->timestamp()), {global.x(), global.y()}, 0});
    }
    return ends_here;
}

void take_mouse_leave(QObject* object)
{
    Window* left = object->isWidgetType() ? window_of_widget(object) : nullptr;
    if (!left)
        return;
    const auto tracked = std::find(g_leave_tracked.begin(), g_leave_tracked.end(), static_cast<HWND>(left));
    if (tracked == g_leave_tracked.end())
        return;
    g_leave_tracked.erase(tracked);
    post_input({left, WM_MOUSELEAVE, 0, 0, 0, {0, 0}, 0});
}

} // namespace win32

using namespace win32;

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack)
{
    if (!lpEventTrack || lpEventTrack->cbSize != sizeof(TRACKMOUSEEVENT) || !live_window(lpEventTrack->hwndTrack))
        return FALSE;
    const HWND window = lpEventTrack->hwndTrack;
    const bool tracked = std::find(g_leave_tracked.begin(), g_leave_tracked.end(), window) != g_leave_tracked.end();
    if ((lpEventTrack->dwFlags & TME_LEAVE) && !tracked)
        g_leave_tracked.push_back(window);
    return TRUE;
}

HWND SetCapture(HWND hWnd)
{
    Window* previous = live_window(g_capture);
    Window* w = live_window(hWnd);
    if (!w)
        return previous;
    g_capture = w;
    if (previous && previous != w)
        SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(static_cast<HWND>(w)));
    return previous;
}

BOOL ReleaseCapture(void)
{
    Window* previous = live_window(g_capture);
    g_capture = nullptr;
    if (previous)
        SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture(void) { return live_window(g_capture); }
