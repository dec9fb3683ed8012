// The message queue on top of Qt's event loop: keyboard input is taken from
// the widgets into the queue, and the loop functions hand it out.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

#include <deque>

#include "platform/win32/shellapi.h"
#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

struct KeyRecord {
    DWORD serial;
    QEvent::Type type;
    int key;
    Qt::KeyboardModifiers modifiers;
    quint32 scan_code;
    quint32 virtual_key;
    quint32 native_modifiers;
    QString text;
    bool auto_repeat;
    ushort count;
};

std::deque<MSG> g_queue;
std::deque<KeyRecord> g_keys; // the recent key events, by serial
DWORD g_next_serial = 1;
DWORD g_dispatching_key = 0;
Qt::KeyboardModifiers g_key_state; // as of the last keyboard message taken
bool g_quit_posted = false;
int g_quit_code = 0;
int g_passthrough = 0; // > 0 while the layer itself hands a key to a widget

const KeyRecord* find_key(DWORD serial)
{
    for (const KeyRecord& k : g_keys)
        if (k.serial == serial)
            return &k;
    return nullptr;
}

bool is_key_message(UINT m)
{
    return m == WM_KEYDOWN || m == WM_KEYUP || m == WM_CHAR || m == WM_SYSKEYDOWN || m == WM_SYSKEYUP ||
        m == WM_SYSCHAR;
}

WPARAM virtual_key_of(int key)
{
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<WPARAM>(key); // the same codes
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<WPARAM>(key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    }
    return 0;
}

// Takes key events away from the program's widgets into the queue, queues
// mouse input and dropped files, turns a close request of a window into
// WM_SYSCOMMAND, and reports size changes.
class InputFilter final : public QObject {
protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return g_passthrough == 0 && take_key(object, static_cast<QKeyEvent*>(event));
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            return take_mouse(object, event);
        case QEvent::Leave:
            take_mouse_leave(object);
            return false;
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return take_file_drop(object, event);
        case QEvent::Resize:
        case QEvent::WindowStateChange:
            if (Window* w = own_window(object)) {
                if (w->widget->isWindow())
                    w->minimized = w->widget->isMinimized();
                notify_size(w);
            }
            return false;
        case QEvent::FocusIn:
            keep_focus_unset(object, static_cast<QFocusEvent*>(event));
            return false;
        case QEvent::Close:
            if (Window* w = own_window(object); w && w->widget->isWindow()) {
                event->ignore();
                PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0);
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    // The toolkit hands the focus to a window's first field when the window
    // is first activated; here a window has no focused control until the
    // program or the user gives one the focus, so until then the top-level
    // widget keeps it (typed keys reach the window, not a field).
    static void keep_focus_unset(QObject* object, QFocusEvent* focus)
    {
        if (!object->isWidgetType())
            return;
        QWidget* top = static_cast<QWidget*>(object)->window();
        if (!window_of_widget(top) || top == object)
            return;
        if (focus->reason() != Qt::ActiveWindowFocusReason)
            note_focus_given(top);
        else if (!focus_given(top) && top->focusPolicy() != Qt::NoFocus)
            top->setFocus(Qt::OtherFocusReason);
    }

    // The window whose widget this is (not an inner widget of it).
    static Window* own_window(QObject* object)
    {
        if (!object->isWidgetType())
            return nullptr;
        Window* w = window_of_widget(object);
        return w && w->widget == object ? w : nullptr;
    }

    static bool take_key(QObject* object, QKeyEvent* key)
    {
        if (!object->isWidgetType())
            return false;
        Window* w = window_of_widget(object);
        if (!w)
            return false;
        KeyRecord record{g_next_serial++,
                         key->type(),
                         key->key(),
                         key->modifiers(),
                         key->nativeScanCode(),
                         key->nativeVirtualKey(),
                         key->nativeModifiers(),
                         key->text(),
                         key->isAutoRepeat(),
                         static_cast<ushort>(key->count())};
        g_keys.push_back(record);
        if (g_keys.size() > 512)
            g_keys.pop_front();
        bool alt = key->modifiers() & Qt::AltModifier;
        bool down = key->type() == QEvent::KeyPress;
        UINT message = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
        LPARAM flags = 1 | (static_cast<LPARAM>(key->nativeScanCode() & 0xff) << 16);
        if (alt)
            flags |= 1L << 29;
        if (key->isAutoRepeat() || !down)
            flags |= 1L << 30;
        if (!down)
            flags |= 1L << 31;
        MSG msg = {w, message, virtual_key_of(key->key()), flags, 0, {0, 0}, record.serial};
        g_queue.push_back(msg);
        key->accept();
        return true;
    }
};

bool matches(const MSG& m, HWND filter, UINT min, UINT max)
{
    if (min || max)
        if (m.message < min || m.message > max)
            return false;
    if (!filter)
        return true;
    if (filter == reinterpret_cast<HWND>(-1))
        return m.hwnd == nullptr;
    Window* f = live_window(filter);
    Window* w = live_window(m.hwnd);
    return w && f && (w == f || is_descendant(w, f));
}

bool take_message(LPMSG out, HWND filter, UINT min, UINT max, bool remove)
{
    for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
        if (!matches(*it, filter, min, max))
            continue;
        *out = *it;
        if (remove) {
            g_queue.erase(it);
            if (is_key_message(out->message))
                if (const KeyRecord* k = find_key(out->lPrivate))
                    g_key_state = k->modifiers;
        }
        return true;
    }
    if (g_quit_posted && (!filter || filter == reinterpret_cast<HWND>(-1))) {
        *out = {nullptr, WM_QUIT, static_cast<WPARAM>(g_quit_code), 0, 0, {0, 0}, 0};
        if (remove)
            g_quit_posted = false;
        return true;
    }
    // Painting comes when nothing else is waiting, and stays due until the
    // window validates (BeginPaint).
    if (!(min || max) || (WM_PAINT >= min && WM_PAINT <= max)) {
        for (Window* w : all_windows()) {
            if (w->alive && w->needs_paint && is_visible(w)) {
                MSG paint = {w, WM_PAINT, 0, 0, 0, {0, 0}, 0};
                if (matches(paint, filter, 0, 0)) {
                    *out = paint;
                    return true;
                }
            }
        }
    }
    return false;
}

void wake()
{
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

// Widgets whose windows were destroyed go once no handler of theirs runs.
void delete_dead_widgets() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace

void install_input_filter()
{
    static InputFilter* filter = nullptr;
    if (!filter && QCoreApplication::instance()) {
        filter = new InputFilter;
        QCoreApplication::instance()->installEventFilter(filter);
    }
}

void post_front(const MSG& msg) { g_queue.push_front(msg); }

void discard_messages(Window* w)
{
    for (auto it = g_queue.begin(); it != g_queue.end();) {
        if (it->hwnd != w) {
            ++it;
            continue;
        }
        if (it->message == WM_DROPFILES)
            DragFinish(reinterpret_cast<HDROP>(it->wParam));
        it = g_queue.erase(it);
    }
}

void post_input(const MSG& msg)
{
    if (msg.message == WM_MOUSEMOVE && !g_queue.empty()) {
        MSG& last = g_queue.back();
        if (last.message == WM_MOUSEMOVE && last.hwnd == msg.hwnd && last.wParam == msg.wParam) {
            last = msg;
            return;
        }
    }
    g_queue.push_back(msg);
    wake();
}

void deliver_key(Window* w, UINT message, WPARAM vk, bool strip_text)
{
    const KeyRecord* k = find_key(g_dispatching_key);
    bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    if (!k || !w->widget || (k->type == QEvent::KeyPress) != down || virtual_key_of(k->key) != vk)
        return;
    QString text = k->text;
    if (strip_text && !text.isEmpty() && text.at(0).unicode() >= 0x20 && text.at(0).unicode() != 0x7f)
        text.clear();
    QKeyEvent event(k->type, k->key, k->modifiers, k->scan_code, k->virtual_key, k->native_modifiers, text,
                    k->auto_repeat, k->count);
    QPointer<QWidget> widget = w->widget;
    ++g_passthrough;
    QCoreApplication::sendEvent(widget, &event);
    --g_passthrough;
}

void deliver_char(Window* w, char16_t ch)
{
    if (!w->widget)
        return;
    QKeyEvent event(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(ch)));
    ++g_passthrough;
    QCoreApplication::sendEvent(w->widget, &event);
    --g_passthrough;
}

} // namespace win32

using namespace win32;

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (hWnd && !live_window(hWnd))
        return FALSE;
    g_queue.push_back({hWnd, Msg, wParam, lParam, 0, {0, 0}, 0});
    wake();
    return TRUE;
}

void PostQuitMessage(int nExitCode)
{
    g_quit_posted = true;
    g_quit_code = nExitCode;
    wake();
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg)
        return -1;
    if (hWnd && hWnd != reinterpret_cast<HWND>(-1) && !live_window(hWnd))
        return -1;
    ensure_application();
    for (;;) {
        delete_dead_widgets();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (take_message(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
            return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    if (!lpMsg)
        return FALSE;
    ensure_application();
    delete_dead_widgets();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return take_message(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0);
}

BOOL TranslateMessage(const MSG* lpMsg)
{
    if (!lpMsg || (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN))
        return FALSE;
    const KeyRecord* k = find_key(lpMsg->lPrivate);
    if (!k || k->text.isEmpty())
        return FALSE;
    UINT message = lpMsg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    // The characters come next, before any input that followed the key.
    for (qsizetype i = k->text.size(); i-- > 0;)
        post_front(
            {lpMsg->hwnd, message, k->text.at(i).unicode(), lpMsg->lParam, lpMsg->time, lpMsg->pt, lpMsg->lPrivate});
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* lpMsg)
{
    if (!lpMsg || !live_window(lpMsg->hwnd))
        return 0;
    DWORD outer = g_dispatching_key;
    g_dispatching_key = is_key_message(lpMsg->message) ? lpMsg->lPrivate : 0;
    LRESULT result = SendMessageA(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    g_dispatching_key = outer;
    return result;
}

SHORT GetKeyState(int nVirtKey)
{
    Qt::KeyboardModifier flag;
    switch (nVirtKey) {
    case VK_SHIFT:
        flag = Qt::ShiftModifier;
        break;
    case VK_CONTROL:
        flag = Qt::ControlModifier;
        break;
    case VK_MENU:
        flag = Qt::AltModifier;
        break;
    default:
        return 0;
    }
    return (g_key_state & flag) ? static_cast<SHORT>(0x8000) : 0;
}

int TranslateAcceleratorA(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg)
{
    if (!hAccTable || !lpMsg || !live_window(hWnd))
        return 0;
    bool key_down = lpMsg->message == WM_KEYDOWN || lpMsg->message == WM_SYSKEYDOWN;
    bool character = lpMsg->message == WM_CHAR || lpMsg->message == WM_SYSCHAR;
    if (!key_down && !character)
        return 0;
    Qt::KeyboardModifiers mods;
    if (const KeyRecord* k = find_key(lpMsg->lPrivate))
        mods = k->modifiers;
    bool shift = mods & Qt::ShiftModifier, control = mods & Qt::ControlModifier, alt = mods & Qt::AltModifier;
    for (const ACCEL& a : hAccTable->entries) {
        bool hit;
        if (a.fVirt & FVIRTKEY)
            hit = key_down && a.key == lpMsg->wParam && shift == ((a.fVirt & FSHIFT) != 0) &&
                control == ((a.fVirt & FCONTROL) != 0) && alt == ((a.fVirt & FALT) != 0);
        else
            hit = character && a.key == lpMsg->wParam && alt == ((a.fVirt & FALT) != 0);
        if (hit) {
            SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
            return 1;
        }
    }
    return 0;
}

BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg)
{
    Window* d = live_window(hDlg);
    if (!d || !lpMsg)
        return FALSE;
    Window* target = live_window(lpMsg->hwnd);
    if (!target || (target != d && !is_descendant(target, d)))
        return FALSE;

    if (lpMsg->message == WM_KEYDOWN) {
        LRESULT code = SendMessageA(target, WM_GETDLGCODE, lpMsg->wParam, reinterpret_cast<LPARAM>(lpMsg));
        bool wants_all = (code & DLGC_WANTMESSAGE) != 0;
        switch (lpMsg->wParam) {
        case VK_TAB:
            if (!wants_all && !(code & DLGC_WANTTAB)) {
                bool back = GetKeyState(VK_SHIFT) < 0;
                HWND next = GetNextDlgTabItem(d, target == d ? nullptr : target, back);
                if (Window* n = live_window(next)) {
                    set_keyboard_focus(n);
                    if (SendMessageA(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                        SendMessageA(next, EM_SETSEL, 0, -1);
                }
                return TRUE;
            }
            break;
        case VK_RETURN:
        case VK_ESCAPE:
            if (!wants_all) {
                WORD id = IDCANCEL;
                if (lpMsg->wParam == VK_RETURN)
                    id = (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) ? static_cast<WORD>(target->id) : IDOK;
                SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(d, id)));
                return TRUE;
            }
            break;
        }
    }
    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}

HACCEL CreateAcceleratorTableA(const ACCEL* paccel, int cAccel)
{
    if (!paccel || cAccel <= 0)
        return nullptr;
    auto* table = new HACCEL__;
    for (int i = 0; i < cAccel; ++i) {
        ACCEL a = paccel[i];
        bool last = a.fVirt & ACCEL_END_OF_TABLE;
        a.fVirt &= static_cast<BYTE>(~ACCEL_END_OF_TABLE);
        table->entries.push_back(a);
        if (last)
            break;
    }
    return table;
}

BOOL DestroyAcceleratorTable(HACCEL hAccel)
{
    if (!hAccel)
        return FALSE;
    // Tables loaded from resources belong to the module.
    if (!hAccel->from_resource)
        delete hAccel;
    return TRUE;
}
