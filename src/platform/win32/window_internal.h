// What the parts of the window layer share. Not for the program.
#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/wingdi.h"
#include "platform/win32/winuser.h"

// Messages the layer posts to its own controls. Mouse input is handled by
// the widgets; what the platform turns into notifications (a click, a spin
// step) is queued as one of these, so that the notification is sent while
// the message loop dispatches, as on the platform.
#define WM_LAYER_CLICKED 0x03F0 // a button was clicked
#define WM_LAYER_STEP 0x03F1    // an up-down arrow: wParam 1 up, 0 down

struct UpDownState;

class Window final : public HWND__ {
public:
    BOOL target_client_size(UINT* width, UINT* height) override;
    void target_present(const void* pixels, UINT width, UINT height, UINT pitch) override;

    std::string class_name; // canonical spelling
    WNDPROC proc = nullptr; // current procedure (may be sub-classed)
    LONG_PTR user_data = 0;
    DWORD style = 0;
    DWORD ex_style = 0;
    WORD id = 0;
    HINSTANCE instance = nullptr;
    Window* parent = nullptr;
    std::vector<Window*> children; // creation order = Z order = tab order
    QPointer<QWidget> widget;
    std::string text; // ANSI; edits keep theirs in the widget
    bool alive = true;
    bool created = false; // WM_CREATE is done; notifications may go out
    bool destroying = false;
    int holds = 0;            // calls into the window's procedures running now
    bool widget_gone = false; // the object goes with the last hold
    bool needs_paint = false;
    bool minimized = false;
    int last_width = -1;
    int last_height = -1;

    // Dialogs.
    bool is_dialog = false;
    DLGPROC dlg_proc = nullptr;
    LONG_PTR msg_result = 0;
    bool modal_ended = false; // EndDialog was called on a modal dialog
    INT_PTR modal_result = 0;
    LONG_PTR dlg_user = 0;
    int base_x = 0; // dialog base units in pixels
    int base_y = 0;
    HICON icons[2] = {};

    // Up-down controls, and the up-down a buddy belongs to.
    std::unique_ptr<UpDownState> updown;
    Window* buddy_of = nullptr;
    WNDPROC buddy_old_proc = nullptr;

    // The last frame presented into the window.
    QImage frame;

    Window();
    ~Window() override;
};

// Keeps a window's object while one of its procedures runs: a loop nested
// inside the procedure (a message box, a progress dialog) may destroy the
// window, and whoever called the procedure still reads the object after.
class WindowHold {
public:
    explicit WindowHold(Window* w) : window_(w) { ++window_->holds; }
    ~WindowHold();
    WindowHold(const WindowHold&) = delete;
    WindowHold& operator=(const WindowHold&) = delete;

private:
    Window* window_;
};

// A device context: a window's client area, or a memory DC with the
// bitmap selected into it.
struct HDC__ {
    Window* window = nullptr;
    HBITMAP bitmap = nullptr;
};

struct HICON__ {
    QIcon icon;
};

struct HACCEL__ {
    std::vector<ACCEL> entries;
    bool from_resource = false;
};

namespace win32 {

void ensure_application();

// Null unless `hwnd` is a window of this layer that has not been destroyed.
Window* live_window(HWND hwnd);
// The window also while it is being destroyed (its WM_NCDESTROY), else null.
Window* known_window(HWND hwnd);
// The window a widget (or one of its inner widgets) shows.
Window* window_of_widget(QObject* object);
// Every window not destroyed, in creation order.
const std::vector<Window*>& all_windows();
// A destroyed window no longer has the keyboard focus.
void forget_focus(Window* w);
// The focus moved by the keyboard (Tab, a dialog's next control), shown
// as such by the controls that draw it.
void set_keyboard_focus(Window* w);

// Whether the program or the user has given a control of this top-level
// widget the focus: until then the widget keeps it when it is activated.
void note_focus_given(QWidget* top);
bool focus_given(const QWidget* top);

Window* create_window(DWORD ex_style, const char* class_name, const QString& text, DWORD style, int x, int y, int width,
                      int height, Window* parent, WORD id, HINSTANCE instance, LPVOID param, const QFont* font,
                      DLGPROC dlg_proc = nullptr);

QString from_ansi(const char* text);
std::string to_ansi(const QString& text);

bool is_descendant(const Window* w, const Window* ancestor);
bool is_visible(const Window* w);
// The client area's size; empty while minimised or without a widget.
QSize client_size(const Window* w);
void notify_size(Window* w);
void update_minimum_size(Window* w);
// The height a child takes when `height` is asked of it: a drop-down combo
// box keeps one line and opens its list to the rest.
int placed_height(Window* w, int height);
void invalidate_tree(Window* w);
void set_text(Window* w, const QString& text);
QString widget_text(Window* w);

// Hands the key event behind the keyboard message being dispatched to the
// window's widget; with `strip_text` a printable text is left out (it comes
// as WM_CHAR). Nothing happens for a keyboard message that did not come
// through the queue.
void deliver_key(Window* w, UINT message, WPARAM vk, bool strip_text);
// Types one character into the window's widget.
void deliver_char(Window* w, char16_t ch);
void post_front(const MSG& msg);

// Drops the messages still queued for a window that is being destroyed,
// freeing what they own (a dropped-files HDROP).
void discard_messages(Window* w);
// Queues input from the window system; a move replaces a move of the same
// window and buttons that still waits at the end of the queue.
void post_input(const MSG& msg);
void install_input_filter();
// SIGTERM and SIGHUP post WM_CLOSE to every top-level window.
void install_session_end_signals();
// True once the session's end has closed the windows: message boxes, file
// dialogs and menus then answer as cancelled without showing.
bool session_ended();
// The mouse and wheel events of the program's widgets as messages, and
// files dropped on windows that accept them; true when the event ends here.
bool take_mouse(QObject* object, QEvent* event);
// The pointer left a widget: WM_MOUSELEAVE to its window, where it asked.
void take_mouse_leave(QObject* object);
bool take_file_drop(QObject* object, QEvent* event);

// Window classes.
LRESULT CALLBACK static_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK combo_box_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK button_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK edit_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK updown_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK progress_bar_proc(HWND, UINT, WPARAM, LPARAM);
QWidget* make_static(Window* w, QWidget* parent);
QWidget* make_combo_box(Window* w, QWidget* parent);
QWidget* make_button(Window* w, QWidget* parent);
QWidget* make_edit(Window* w, QWidget* parent);
QWidget* make_updown(Window* w, QWidget* parent);
QWidget* make_progress_bar(Window* w, QWidget* parent);
QWidget* make_dialog(Window* w, QWidget* parent);
void paint_frame(Window* w, QWidget* widget, QPaintEvent* event);
// What the window's client area shows: its last presented frame as it was
// presented, or for a window without one of that size, what the toolkit
// draws. Null while it has no client area.
QImage window_picture(Window* w);

bool dialogs_answered_from_script();

int mul_div(int a, int b, int c);

} // namespace win32
