// The handle table: window objects made from their classes, found by handle,
// and destroyed with their children and owned windows. A destroyed window
// leaves the table at once; its object goes with its widget, once no
// handler of the widget's runs any more.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <algorithm>
#include <strings.h>
#include <unordered_set>

#include "platform/win32/commctrl.h"
#include "platform/win32/win32_test_hooks.h"
#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

struct WindowClass {
    const char* name;
    WNDPROC proc;
    QWidget* (*make)(Window*, QWidget*);
};

const WindowClass kClasses[] = {
    {"#32770", DefDlgProcA, make_dialog},         {"Static", static_proc, make_static},
    {"Button", button_proc, make_button},         {"Edit", edit_proc, make_edit},
    {UPDOWN_CLASSA, updown_proc, make_updown},    {PROGRESS_CLASSA, progress_bar_proc, make_progress_bar},
    {"ComboBox", combo_box_proc, make_combo_box},
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

bool same_name(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

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

// Out of the table at once; the object itself when its widget goes (the
// widget may be inside one of its own handlers right now) and no procedure
// of the window runs any more.
void forget_tree(Window* w)
{
    for (Window* c : w->children)
        forget_tree(c);
    auto& list = windows();
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
    known().erase(w);
    forget_focus(w);
    // Every window has a widget; one without would simply stay.
    if (w->widget)
        QObject::connect(w->widget, &QObject::destroyed, [w] {
            w->widget_gone = true;
            if (w->holds == 0)
                delete w;
        });
}

// The toolkit's own texts (file dialogs, message box buttons) in the
// user's language, as the rest of the program's.
void install_toolkit_translations()
{
    const bool english = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_ENGLISH;
    const QLocale locale(english ? QLocale::English : QLocale::Japanese);
    QLocale::setDefault(locale);
    if (english)
        return;
    auto* translator = new QTranslator(QApplication::instance());
    if (translator->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

} // namespace

const std::vector<Window*>& all_windows() { return windows(); }

void ensure_application()
{
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "varnel";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
        install_toolkit_translations();
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

Window* known_window(HWND hwnd) { return hwnd && known().count(hwnd) ? static_cast<Window*>(hwnd) : nullptr; }

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

bool is_descendant(const Window* w, const Window* ancestor)
{
    for (const Window* p = w ? w->parent : nullptr; p; p = p->parent)
        if (p == ancestor)
            return true;
    return false;
}

Window* create_window(DWORD ex_style, const char* class_name, const QString& text, DWORD style, int x, int y, int width,
                      int height, Window* parent, WORD id, HINSTANCE instance, LPVOID param, const QFont* font,
                      DLGPROC dlg_proc)
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
        widget->setGeometry(x, y, std::max(0, width), std::max(0, placed_height(w, height)));
    } else {
        widget->move(x, y);
        widget->resize(std::max(0, width), std::max(0, height));
        if (!(style & WS_THICKFRAME))
            widget->setFixedSize(widget->size());
    }
    widget->setVisible(false);

    CREATESTRUCTA cs = {param,
                        instance,
                        nullptr,
                        parent,
                        height,
                        width,
                        y,
                        x,
                        static_cast<LONG>(style),
                        w->text.c_str(),
                        w->class_name.c_str(),
                        ex_style};
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

WindowHold::~WindowHold()
{
    if (--window_->holds == 0 && window_->widget_gone)
        delete window_;
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y, int nWidth,
                     int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
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
    forget_tree(w);
    return TRUE;
}

BOOL IsWindow(HWND hWnd) { return live_window(hWnd) ? TRUE : FALSE; }

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

void InitWindowSystem(int argc, char** argv)
{
    if (!QApplication::instance()) {
        static int saved_argc;
        static std::vector<char*> saved_argv;
        saved_argc = argc;
        saved_argv.assign(argv, argv + argc);
        saved_argv.push_back(nullptr);
        new QApplication(saved_argc, saved_argv.data());
        install_toolkit_translations();
    }
    install_input_filter();
}

size_t win32_window_count() { return known().size(); }
