// The progress bar "msctls_progress32": a position within a range, shown
// as a bar. The widget holds both.
#include <QProgressBar>

#include <algorithm>

#include "platform/win32/commctrl.h"
#include "platform/win32/window_internal.h"

namespace win32 {

QWidget* make_progress_bar(Window*, QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100); // the platform's default
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFocusPolicy(Qt::NoFocus);
    return bar;
}

LRESULT CALLBACK progress_bar_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = live_window(hwnd);
    auto* bar = w ? qobject_cast<QProgressBar*>(w->widget.data()) : nullptr;
    if (!bar)
        return w ? DefWindowProcA(hwnd, msg, wParam, lParam) : 0;
    switch (msg) {
    case PBM_SETRANGE32: {
        const LRESULT old = MAKELRESULT(static_cast<WORD>(bar->minimum()), static_cast<WORD>(bar->maximum()));
        bar->setRange(static_cast<int>(wParam), static_cast<int>(lParam));
        return old;
    }
    case PBM_GETRANGE:
        return wParam ? bar->minimum() : bar->maximum();
    case PBM_SETPOS: {
        const int old = bar->value() < bar->minimum() ? bar->minimum() : bar->value();
        bar->setValue(std::clamp(static_cast<int>(wParam), bar->minimum(), bar->maximum()));
        return old;
    }
    case PBM_GETPOS:
        return bar->value() < bar->minimum() ? bar->minimum() : bar->value();
    case WM_GETDLGCODE:
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace win32
