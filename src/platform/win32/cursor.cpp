// The pointer's shape: the system's cursors as Qt's override cursor.
#include <QApplication>
#include <QCursor>

#include "platform/win32/window_internal.h"

struct HCURSOR__ {
    Qt::CursorShape shape;
};

namespace {

HCURSOR__ g_arrow{Qt::ArrowCursor};
HCURSOR__ g_wait{Qt::WaitCursor};
HCURSOR g_current = &g_arrow;
bool g_overriding = false;

} // namespace

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    if (hInstance)
        return nullptr;
    if (lpCursorName == IDC_ARROW)
        return &g_arrow;
    if (lpCursorName == IDC_WAIT)
        return &g_wait;
    return nullptr;
}

HCURSOR SetCursor(HCURSOR hCursor)
{
    win32::ensure_application();
    HCURSOR previous = g_current;
    if (hCursor == g_current)
        return previous;
    g_current = hCursor;
    if (g_overriding) {
        QApplication::restoreOverrideCursor();
        g_overriding = false;
    }
    if (hCursor != &g_arrow) {
        QApplication::setOverrideCursor(QCursor(hCursor ? hCursor->shape : Qt::BlankCursor));
        g_overriding = true;
    }
    // Callers set the busy shape before long work that does not return to
    // the loop; the window system sees the change only when events run.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return previous;
}
