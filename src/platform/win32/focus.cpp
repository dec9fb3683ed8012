// The keyboard focus, by window.
#include <QApplication>
#include <QWidget>

#include "platform/win32/window_internal.h"

namespace {

// The window last given the focus: an inactive top-level window (always so
// without a window manager) still keeps the widget that has its focus.
Window* g_focus = nullptr;

constexpr char kFocusGiven[] = "varnel_focus_given";

} // namespace

namespace win32 {

void set_keyboard_focus(Window* w)
{
    if (!w->widget)
        return;
    // Focus moved from the keyboard is drawn (a push button's focus frame);
    // the toolkit marks the window so only for its own Tab handling.
    w->widget->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    w->widget->setFocus(Qt::TabFocusReason);
    g_focus = w;
}

void note_focus_given(QWidget* top) { top->setProperty(kFocusGiven, true); }

bool focus_given(const QWidget* top) { return top->property(kFocusGiven).toBool(); }

void forget_focus(Window* w)
{
    if (g_focus == w)
        g_focus = nullptr;
}

} // namespace win32

using namespace win32;

HWND SetFocus(HWND hWnd)
{
    HWND previous = GetFocus();
    Window* w = live_window(hWnd);
    if (!w || !w->widget)
        return previous;
    w->widget->setFocus(Qt::OtherFocusReason);
    // Given before its window is shown (a dialog's first field), the focus
    // makes no event; the window keeps it there when it is activated.
    if (QWidget* top = w->widget->window(); top != w->widget)
        note_focus_given(top);
    g_focus = w;
    return previous;
}

HWND GetFocus(void)
{
    if (!QApplication::instance())
        return nullptr;
    if (QWidget* focus = QApplication::focusWidget())
        return window_of_widget(focus);
    // An inactive window (always so without a window manager) still keeps
    // the widget that has its focus.
    Window* w = live_window(g_focus);
    if (w && w->widget && w->widget->window()->focusWidget() == w->widget)
        return w;
    return nullptr;
}
