// The Static, Button, Edit and ComboBox (drop-down list) window classes.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>

#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

class StaticWidget final : public QLabel {
public:
    StaticWidget(Window* w, QWidget* parent) : QLabel(parent), window_(w)
    {
        setTextFormat(Qt::PlainText);
        DWORD type = w->style & SS_TYPEMASK;
        black_ = type == SS_BLACKRECT;
        if (black_) {
            setAttribute(Qt::WA_OpaquePaintEvent);
        } else {
            setWordWrap(type == SS_LEFT || type == SS_CENTER);
            Qt::Alignment horizontal = type == SS_CENTER ? Qt::AlignHCenter
                : type == SS_RIGHT                       ? Qt::AlignRight
                                                         : Qt::AlignLeft;
            setAlignment(horizontal | Qt::AlignTop);
        }
        setFocusPolicy(Qt::NoFocus);
        // A window hears the mouse move over it with no button held, too.
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (black_) {
            QPainter painter(this);
            painter.fillRect(event->rect(), Qt::black);
        } else {
            QLabel::paintEvent(event);
        }
        paint_frame(window_, this, event);
    }

private:
    Window* window_;
    bool black_ = false;
};

void notify_parent(Window* w, WORD code)
{
    if (w->alive && w->created && w->parent && w->parent->alive)
        SendMessageA(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(static_cast<HWND>(w)));
}

bool is_group_box(const Window* w) { return (w->style & BS_TYPEMASK) == BS_GROUPBOX; }

} // namespace

QWidget* make_static(Window* w, QWidget* parent) { return new StaticWidget(w, parent); }

QWidget* make_button(Window* w, QWidget* parent)
{
    if (is_group_box(w)) {
        auto* group = new QGroupBox(parent);
        group->setFocusPolicy(Qt::NoFocus);
        // A group box is only a frame drawn behind its neighbours.
        group->setAttribute(Qt::WA_TransparentForMouseEvents);
        return group;
    }
    auto* button = new QPushButton(parent);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, button, [w] {
        if (w->alive)
            PostMessageA(w, WM_LAYER_CLICKED, 0, 0);
    });
    return button;
}

// A read-only field looks it, as on the platform: its background is the
// dialog's grey, not the white of a field that takes typing.
void set_read_only(QLineEdit* edit, bool read_only)
{
    edit->setReadOnly(read_only);
    QPalette palette = QApplication::palette(edit);
    if (read_only)
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
}

QWidget* make_edit(Window* w, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    DWORD align = w->style & 3;
    edit->setAlignment((align == ES_RIGHT        ? Qt::AlignRight
                            : align == ES_CENTER ? Qt::AlignHCenter
                                                 : Qt::AlignLeft) |
                       Qt::AlignVCenter);
    set_read_only(edit, (w->style & ES_READONLY) != 0);
    if (w->style & ES_PASSWORD)
        edit->setEchoMode(QLineEdit::Password);
    edit->setFrame((w->style & WS_BORDER) || (w->ex_style & WS_EX_CLIENTEDGE));
    edit->setMaxLength(32767);
    QObject::connect(edit, &QLineEdit::textChanged, edit, [w] { notify_parent(w, EN_CHANGE); });
    return edit;
}

namespace {

// The platform opens a drop-down list below its field, whatever the
// toolkit's style would do (some lay the list over the field).
class ListBelowStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override
    {
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};

QStyle* list_below_style()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = new ListBelowStyle;
        style->setParent(QApplication::instance());
    }
    return style;
}

bool is_drop_down(const Window* w)
{
    const DWORD kind = w->style & 3;
    return kind == CBS_DROPDOWN || kind == CBS_DROPDOWNLIST;
}

} // namespace

QWidget* make_combo_box(Window* w, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setEditable(false);
    box->setStyle(list_below_style());
    QObject::connect(box, &QComboBox::activated, box, [w] { notify_parent(w, CBN_SELCHANGE); });
    return box;
}

int placed_height(Window* w, int height)
{
    auto* box = qobject_cast<QComboBox*>(w->widget.data());
    if (!box || !is_drop_down(w))
        return height;
    // One line of the font in a field's frame, as tall as the style needs
    // to draw the choice in it.
    const QFontMetrics metrics(box->font());
    const int field = std::max(metrics.height() + 8, box->minimumSizeHint().height());
    // The rest of the height asked is the opened list's, in whole lines.
    box->setMaxVisibleItems(std::max(1, (height - field) / std::max(1, metrics.height())));
    return field;
}

LRESULT CALLBACK combo_box_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = live_window(hwnd);
    if (!w)
        return 0;
    auto* box = qobject_cast<QComboBox*>(w->widget.data());
    switch (msg) {
    case CB_ADDSTRING:
        if (!box || !lParam)
            return CB_ERR;
        box->addItem(from_ansi(reinterpret_cast<const char*>(lParam)));
        return box->count() - 1;
    case CB_GETCOUNT:
        return box ? box->count() : 0;
    case CB_GETCURSEL:
        return box && box->currentIndex() >= 0 ? box->currentIndex() : CB_ERR;
    case CB_SETCURSEL:
        if (!box || static_cast<int>(wParam) >= box->count())
            return CB_ERR;
        box->setCurrentIndex(static_cast<int>(wParam));
        return static_cast<int>(wParam);
    case CB_RESETCONTENT:
        if (box)
            box->clear();
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK static_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: {
        // The widget draws itself; the message only validates.
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_NCHITTEST: {
        // Only a static control that notifies takes the mouse.
        Window* w = live_window(hwnd);
        return w && (w->style & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK button_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = live_window(hwnd);
    if (!w)
        return 0;
    switch (msg) {
    case WM_LAYER_CLICKED:
    case BM_CLICK:
        if (!is_group_box(w) && w->widget && w->widget->isEnabled())
            notify_parent(w, BN_CLICKED);
        return 0;
    case WM_GETDLGCODE:
        if (is_group_box(w))
            return DLGC_STATIC;
        return DLGC_BUTTON | ((w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_CHAR:
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK edit_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = live_window(hwnd);
    if (!w)
        return 0;
    auto* edit = qobject_cast<QLineEdit*>(w->widget.data());
    switch (msg) {
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4)
            break; // the window's close key
        [[fallthrough]];
    case WM_KEYDOWN:
        // Characters arrive as WM_CHAR, after TranslateMessage.
        deliver_key(w, msg, wParam, true);
        return 0;
    case WM_CHAR: {
        char16_t ch = static_cast<char16_t>(wParam);
        if (!edit || ch < 0x20 || ch == 0x7f || edit->isReadOnly())
            return 0;
        if ((w->style & ES_NUMBER) && (ch < u'0' || ch > u'9'))
            return 0; // typed characters other than digits are refused
        deliver_char(w, ch);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case EM_SETSEL:
        if (edit) {
            int length = static_cast<int>(edit->text().size());
            int start = static_cast<int>(wParam);
            int end = static_cast<int>(lParam);
            if (start < 0) {
                edit->deselect();
            } else {
                if (end < 0 || end > length)
                    end = length;
                start = std::min(start, length);
                edit->setSelection(std::min(start, end), std::abs(end - start));
            }
        }
        return 0;
    case EM_GETSEL: {
        int start = 0, end = 0;
        if (edit) {
            start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
            end = edit->hasSelectedText() ? edit->selectionEnd() : start;
        }
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(start);
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(end);
        return MAKELRESULT(start, end);
    }
    case EM_SETREADONLY:
        if (edit)
            set_read_only(edit, wParam != 0);
        if (wParam)
            w->style |= ES_READONLY;
        else
            w->style &= ~ES_READONLY;
        return TRUE;
    case EM_LIMITTEXT:
        if (edit)
            edit->setMaxLength(wParam ? static_cast<int>(std::min<WPARAM>(wParam, 0x7ffffffe)) : 0x7ffffffe);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace win32
