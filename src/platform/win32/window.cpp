// Window objects, their procedures and data, placement, painting and the
// frames the software device presents into them.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPaintEvent>
#include <QAbstractButton>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cmath>
#include <cstring>
#include <unordered_set>

#include "platform/win32/commctrl.h"
#include "platform/win32/window_internal.h"
#include "platform/win32/windowsx.h"

namespace win32 {
namespace {

struct WindowClass {
    const char* name;
    WNDPROC proc;
    QWidget* (*make)(Window*, QWidget*);
};

const WindowClass kClasses[] = {
    {"#32770", DefDlgProcA, make_dialog},
    {"Static", static_proc, make_static},
    {"Button", button_proc, make_button},
    {"Edit", edit_proc, make_edit},
    {UPDOWN_CLASSA, updown_proc, make_updown},
};

std::vector<Window*>& windows()
{
    static auto* list = new std::vector<Window*>;
    return *list;
}

std::unordered_set<const HWND__*>& known()
{
    static auto* set = new std::unordered_set<const HWND__*>;
    return *set;
}

HDC__ g_paint_dc;

bool same_name(const char* a, const char* b)
{
    return strcasecmp(a, b) == 0;
}

// Client size as the window procedures see it: nothing while minimised.
QSize client_size(const Window* w)
{
    if (!w->widget || w->minimized)
        return QSize(0, 0);
    return w->widget->size();
}

QSize frame_extra(const Window* w)
{
    if (!w->widget || !w->widget->isWindow())
        return QSize(0, 0);
    QRect frame = w->widget->frameGeometry();
    return QSize(std::max(0, frame.width() - w->widget->width()), std::max(0, frame.height() - w->widget->height()));
}

void destroy_tree(Window* w)
{
    w->destroying = true;
    SendMessageA(w, WM_DESTROY, 0, 0);
    for (Window* c : std::vector<Window*>(w->children))
        if (c->alive && !c->destroying)
            destroy_tree(c);
}

void finish_tree(Window* w)
{
    for (Window* c : w->children)
        finish_tree(c);
    SendMessageA(w, WM_NCDESTROY, 0, 0);
    w->alive = false;
    discard_messages(w);
    w->needs_paint = false;
}

} // namespace

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

void invalidate_tree(Window* w)
{
    if (!w->alive)
        return;
    w->needs_paint = true;
    for (Window* c : w->children)
        invalidate_tree(c);
}

int mul_div(int a, int b, int c)
{
    if (c == 0)
        return -1;
    // Rounded half away from zero, as the platform's MulDiv.
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

const std::vector<Window*>& all_windows()
{
    return windows();
}

void ensure_application()
{
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "varnel";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    install_input_filter();
    install_session_end_signals();
}

Window* live_window(HWND hwnd)
{
    if (!hwnd || !known().count(hwnd))
        return nullptr;
    Window* w = static_cast<Window*>(hwnd);
    return w->alive ? w : nullptr;
}

Window* window_of_widget(QObject* object)
{
    for (QObject* o = object; o; o = o->parent()) {
        QVariant v = o->property("varnel_hwnd");
        if (v.isValid())
            return live_window(static_cast<HWND>(v.value<void*>()));
        if (o->isWidgetType() && static_cast<QWidget*>(o)->isWindow())
            break;
    }
    return nullptr;
}

QString from_ansi(const char* text)
{
    if (!text)
        return QString();
    if (GetACP() == 932) {
        QStringDecoder decoder("Shift_JIS");
        if (decoder.isValid())
            return decoder.decode(QByteArrayView(text));
        return QString::fromLatin1(text);
    }
    return QString::fromUtf8(text);
}

std::string to_ansi(const QString& text)
{
    if (GetACP() == 932) {
        QStringEncoder encoder("Shift_JIS");
        QByteArray bytes = encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLatin1();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool is_descendant(const Window* w, const Window* ancestor)
{
    for (const Window* p = w ? w->parent : nullptr; p; p = p->parent)
        if (p == ancestor)
            return true;
    return false;
}

bool is_visible(const Window* w)
{
    return w && w->alive && w->widget && w->widget->isVisible() && !w->minimized;
}

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

void set_text(Window* w, const QString& text)
{
    if (!w->widget)
        return;
    QWidget* widget = w->widget;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(text);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
    else if (widget->isWindow())
        widget->setWindowTitle(text);
}

QString widget_text(Window* w)
{
    if (auto* edit = w->widget ? qobject_cast<QLineEdit*>(w->widget.data()) : nullptr)
        return edit->text();
    return from_ansi(w->text.c_str());
}

QImage window_picture(Window* w)
{
    QSize size = client_size(w);
    if (size.isEmpty())
        return QImage();
    if (w->frame.size() == size)
        return w->frame.convertToFormat(QImage::Format_RGB32); // readers take 32-bit rows
    return w->widget->grab(QRect(QPoint(0, 0), size)).toImage().convertToFormat(QImage::Format_RGB32);
}

void paint_frame(Window* w, QWidget* widget, QPaintEvent* event)
{
    if (!w || w->frame.isNull())
        return;
    QPainter painter(widget);
    painter.setClipRegion(event->region());
    painter.drawImage(0, 0, w->frame);
}

Window* create_window(DWORD ex_style, const char* class_name, const QString& text, DWORD style, int x, int y,
                      int width, int height, Window* parent, WORD id, HINSTANCE instance, LPVOID param,
                      const QFont* font, DLGPROC dlg_proc)
{
    ensure_application();
    const WindowClass* cls = nullptr;
    for (const WindowClass& c : kClasses)
        if (class_name && same_name(c.name, class_name))
            cls = &c;
    if (!cls)
        return nullptr;
    bool child = (style & WS_CHILD) != 0;
    if (child && !parent)
        return nullptr;

    auto* w = new Window;
    windows().push_back(w);
    known().insert(w);
    w->class_name = cls->name;
    w->proc = cls->proc;
    w->style = style & ~WS_VISIBLE;
    w->ex_style = ex_style;
    w->id = child ? id : 0;
    w->instance = instance;
    w->parent = parent;
    w->is_dialog = cls->make == make_dialog;
    w->dlg_proc = dlg_proc;
    w->text = to_ansi(text);

    QWidget* parent_widget = parent ? parent->widget.data() : nullptr;
    QWidget* widget = cls->make(w, child ? parent_widget : nullptr);
    w->widget = widget;
    widget->setProperty("varnel_hwnd", QVariant::fromValue(static_cast<void*>(static_cast<HWND>(w))));
    if (!child) {
        Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
        if ((style & WS_CAPTION) == WS_CAPTION)
            flags |= Qt::WindowTitleHint;
        if (style & WS_SYSMENU)
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (style & WS_MINIMIZEBOX)
            flags |= Qt::WindowMinimizeButtonHint;
        if (style & WS_MAXIMIZEBOX)
            flags |= Qt::WindowMaximizeButtonHint;
        if (!(style & WS_CAPTION))
            flags |= Qt::FramelessWindowHint;
        widget->setParent(parent_widget, flags);
    }
    if (parent)
        parent->children.push_back(w);
    if (font)
        widget->setFont(*font);
    set_text(w, text);
    if (style & WS_DISABLED)
        widget->setEnabled(false);
    // Only windows that accept files take drops; Qt's line edits would
    // otherwise take dropped text of their own accord.
    widget->setAcceptDrops((ex_style & WS_EX_ACCEPTFILES) != 0);
    if (child) {
        widget->setGeometry(x, y, std::max(0, width), std::max(0, height));
    } else {
        widget->move(x, y);
        widget->resize(std::max(0, width), std::max(0, height));
        if (!(style & WS_THICKFRAME))
            widget->setFixedSize(widget->size());
    }
    widget->setVisible(false);

    CREATESTRUCTA cs = {param, instance, nullptr, parent, height, width, y, x, static_cast<LONG>(style),
                        w->text.c_str(), w->class_name.c_str(), ex_style};
    if (SendMessageA(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(w);
        return nullptr;
    }
    if (!w->alive)
        return nullptr;
    w->created = true;
    notify_size(w);
    if ((style & WS_VISIBLE) && w->alive)
        ShowWindow(w, child ? SW_SHOWNA : SW_SHOW);
    return w->alive ? w : nullptr;
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

void Window::target_present(const void* pixels, UINT width, UINT height, UINT pitch)
{
    if (!alive || !widget || !pixels || width == 0 || height == 0 || width > 16384 || height > 16384 ||
        pitch < width * 4)
        return;
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    const auto* src = static_cast<const unsigned char*>(pixels);
    for (UINT row = 0; row < height; ++row) {
        auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(static_cast<int>(row)));
        const unsigned char* line = src + static_cast<size_t>(row) * pitch;
        for (UINT col = 0; col < width; ++col) {
            const unsigned char* p = line + col * 4;
            // The fourth byte is undefined; the picture is opaque.
            dst[col] = 0xff000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
        }
    }
    frame = std::move(image);
    widget->update();
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    Window* parent = live_window(hWndParent);
    if (hWndParent && !parent)
        return nullptr;
    if (lpClassName && same_name(lpClassName, "#32770"))
        return nullptr; // dialogs come from templates
    return create_window(dwExStyle, lpClassName, from_ansi(lpWindowName), dwStyle, X, Y, nWidth, nHeight, parent,
                         static_cast<WORD>(reinterpret_cast<uintptr_t>(hMenu)), hInstance, lpParam, nullptr);
}

BOOL DestroyWindow(HWND hWnd)
{
    Window* w = live_window(hWnd);
    if (!w || w->destroying)
        return FALSE;
    if (w->widget)
        w->widget->hide();
    destroy_tree(w);
    finish_tree(w);
    // Windows this one owns go with it.
    for (Window* other : std::vector<Window*>(windows()))
        if (other->alive && other->parent == w && !(other->style & WS_CHILD))
            DestroyWindow(other);
    if (w->parent) {
        auto& siblings = w->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
    }
    // The widget may be inside one of its own event handlers right now.
    if (w->widget)
        w->widget->deleteLater();
    return TRUE;
}

BOOL IsWindow(HWND hWnd)
{
    return live_window(hWnd) ? TRUE : FALSE;
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
    if (bEnable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    return was_disabled;
}

HWND GetParent(HWND hWnd)
{
    Window* w = live_window(hWnd);
    return w && w->parent && w->parent->alive ? w->parent : nullptr;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    Window* d = live_window(hDlg);
    if (!d)
        return nullptr;
    WORD id = static_cast<WORD>(nIDDlgItem);
    for (Window* c : d->children)
        if (c->alive && (c->style & WS_CHILD) && c->id == id)
            return c;
    return nullptr;
}

int GetDlgCtrlID(HWND hWnd)
{
    Window* w = live_window(hWnd);
    return w ? w->id : 0;
}

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

LONG GetWindowLongA(HWND hWnd, int nIndex)
{
    return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex));
}

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
    Window* w = known().count(hWnd) ? static_cast<Window*>(hWnd) : nullptr;
    // WM_NCDESTROY is the last message a window gets, while it is going.
    if (!w || (!w->alive && Msg != WM_NCDESTROY))
        return 0;
    return w->proc(hWnd, Msg, wParam, lParam);
}

LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

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
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam)
            return 0;
        std::string text = to_ansi(widget_text(w));
        size_t n = std::min(text.size(), static_cast<size_t>(wParam) - 1);
        // Never end inside a double-byte character.
        size_t cut = 0;
        for (const char* p = text.c_str(); *p;) {
            const char* next = CharNextA(p);
            if (static_cast<size_t>(next - text.c_str()) > n)
                break;
            cut = static_cast<size_t>(next - text.c_str());
            p = next;
        }
        std::memcpy(reinterpret_cast<char*>(lParam), text.data(), cut);
        reinterpret_cast<char*>(lParam)[cut] = '\0';
        return static_cast<LRESULT>(cut);
    }
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
            Window* top = w;
            while (top->parent && (top->style & WS_CHILD))
                top = top->parent;
            SendMessageA(top, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        }
        [[fallthrough]];
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        deliver_key(w, Msg, wParam, false);
        return 0;
    case WM_SETICON: {
        int which = wParam == ICON_SMALL ? 0 : 1;
        HICON old = w->icons[which];
        w->icons[which] = reinterpret_cast<HICON>(lParam);
        HICON shown = w->icons[1] ? w->icons[1] : w->icons[0];
        if (w->widget && w->widget->isWindow())
            w->widget->setWindowIcon(shown ? shown->icon : QIcon());
        return reinterpret_cast<LRESULT>(old);
    }
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

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    if (!live_window(hWnd))
        return FALSE;
    return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString ? lpString : "")) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    if (!lpString || nMaxCount <= 0)
        return 0;
    lpString[0] = '\0';
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthA(HWND hWnd)
{
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    return SetWindowTextA(GetDlgItem(hDlg, nIDDlgItem), lpString);
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax)
{
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item) {
        if (lpString && cchMax > 0)
            lpString[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
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
            widget->resize(size);
    }
    if (!(uFlags & SWP_NOZORDER)) {
        if (hWndInsertAfter == HWND_TOP) {
            if (!widget->isWindow() || QGuiApplication::platformName() != "offscreen")
                widget->raise();
        }
        else if (hWndInsertAfter == HWND_BOTTOM)
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

BOOL InvalidateRect(HWND hWnd, const RECT*, BOOL)
{
    if (!hWnd) {
        for (Window* w : windows())
            if (w->alive && !(w->style & WS_CHILD))
                invalidate_tree(w);
        return TRUE;
    }
    Window* w = live_window(hWnd);
    if (!w)
        return FALSE;
    w->needs_paint = true;
    return TRUE;
}

BOOL ValidateRect(HWND hWnd, const RECT*)
{
    Window* w = live_window(hWnd);
    if (!w)
        return FALSE;
    w->needs_paint = false;
    return TRUE;
}

BOOL UpdateWindow(HWND hWnd)
{
    Window* w = live_window(hWnd);
    if (!w)
        return FALSE;
    if (w->needs_paint && is_visible(w))
        SendMessageA(w, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    Window* w = live_window(hWnd);
    if (!w || !lpPaint)
        return nullptr;
    std::memset(lpPaint, 0, sizeof *lpPaint);
    lpPaint->hdc = &g_paint_dc;
    QSize size = client_size(w);
    lpPaint->rcPaint = {0, 0, size.width(), size.height()};
    w->needs_paint = false;
    return lpPaint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*)
{
    return TRUE;
}

namespace {
Window* g_focus = nullptr;
}

HWND SetFocus(HWND hWnd)
{
    HWND previous = GetFocus();
    Window* w = live_window(hWnd);
    if (!w || !w->widget)
        return previous;
    w->widget->setFocus(Qt::OtherFocusReason);
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

void InitWindowSystem(int argc, char** argv)
{
    if (!QApplication::instance()) {
        static int saved_argc;
        static std::vector<char*> saved_argv;
        saved_argc = argc;
        saved_argv.assign(argv, argv + argc);
        saved_argv.push_back(nullptr);
        new QApplication(saved_argc, saved_argv.data());
    }
    install_input_filter();
}
