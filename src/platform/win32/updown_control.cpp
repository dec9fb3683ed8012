// The up-down control "msctls_updown32": a pair of arrows that steps a
// position within a range, shown in (and read back from) its buddy field.
#include <QLocale>
#include <QResizeEvent>
#include <QToolButton>

#include <climits>
#include <vector>

#include "platform/win32/commctrl.h"
#include "platform/win32/winbase.h"
#include "platform/win32/window_internal.h"

struct UpDownState {
    int lower = 100; // the platform's default range runs from 100 down to 0
    int upper = 0;
    int pos = 0;
    int base = 10;
    Window* buddy = nullptr;
    // The platform's default: one at first, five after two seconds held,
    // twenty after five.
    std::vector<UDACCEL> accel = {{0, 1}, {2, 5}, {5, 20}};
    DWORD key_down_at = 0; // when the arrow key now held went down
};

namespace win32 {
namespace {

class UpDownWidget final : public QWidget {
public:
    UpDownWidget(Window* w, QWidget* parent) : QWidget(parent), horizontal_((w->style & UDS_HORZ) != 0)
    {
        setFocusPolicy(Qt::NoFocus);
        increase_ = new QToolButton(this);
        decrease_ = new QToolButton(this);
        increase_->setArrowType(horizontal_ ? Qt::RightArrow : Qt::UpArrow);
        decrease_->setArrowType(horizontal_ ? Qt::LeftArrow : Qt::DownArrow);
        for (QToolButton* b : {increase_, decrease_}) {
            b->setFocusPolicy(Qt::NoFocus);
            b->setAutoRepeat(true);
            // Each auto-repeat is a release, a click and a press with the
            // button still down: only a press after a real release starts
            // the time held afresh.
            QObject::connect(b, &QToolButton::pressed, this, [this] {
                if (!holding_)
                    pressed_at_ = GetTickCount();
                holding_ = true;
            });
            QObject::connect(b, &QToolButton::released, this, [this, b] { holding_ = b->isDown(); });
            QObject::connect(b, &QToolButton::clicked, this, [this, w, up = b == increase_] {
                if (w->alive)
                    PostMessageA(w, WM_LAYER_STEP, up ? 1 : 0, static_cast<LPARAM>(GetTickCount() - pressed_at_));
            });
        }
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        int w = width(), h = height();
        if (horizontal_) {
            decrease_->setGeometry(0, 0, w / 2, h);
            increase_->setGeometry(w / 2, 0, w - w / 2, h);
        } else {
            increase_->setGeometry(0, 0, w, h / 2);
            decrease_->setGeometry(0, h / 2, w, h - h / 2);
        }
    }

private:
    bool horizontal_;
    QToolButton* increase_;
    QToolButton* decrease_;
    bool holding_ = false; // an arrow is down, repeating or not
    DWORD pressed_at_ = 0; // when it went down, for the acceleration
};

int low_end(const UpDownState& s) { return std::min(s.lower, s.upper); }

int high_end(const UpDownState& s) { return std::max(s.lower, s.upper); }

int clamp_pos(const UpDownState& s, long long v)
{
    return static_cast<int>(std::clamp<long long>(v, low_end(s), high_end(s)));
}

QString format_position(const Window* w, int pos)
{
    const UpDownState& s = *w->updown;
    if (s.base == 16)
        return QStringLiteral("0x%1")
            .arg(static_cast<uint>(pos), 4, 16, QLatin1Char('0'))
            .toUpper()
            .replace("0X", "0x");
    QString digits = QString::number(pos < 0 ? -static_cast<long long>(pos) : pos);
    if (!(w->style & UDS_NOTHOUSANDS)) {
        QString separator = QLocale().groupSeparator();
        for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
            digits.insert(i, separator);
    }
    return pos < 0 ? QStringLiteral("-") + digits : digits;
}

void show_in_buddy(Window* w)
{
    UpDownState& s = *w->updown;
    if (!(w->style & UDS_SETBUDDYINT) || !live_window(s.buddy))
        return;
    std::string text = to_ansi(format_position(w, s.pos));
    SendMessageA(s.buddy, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The number in the buddy field, as typed or as shown (with separators).
bool read_buddy(Window* w, int* value)
{
    UpDownState& s = *w->updown;
    if (!(w->style & UDS_SETBUDDYINT) || !live_window(s.buddy))
        return false;
    char buf[256];
    buf[0] = '\0';
    SendMessageA(s.buddy, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
    QString text = from_ansi(buf).trimmed();
    QString separator = QLocale().groupSeparator();
    if (!separator.isEmpty())
        text.remove(separator);
    bool ok = false;
    long long v = 0;
    if (s.base == 16) {
        if (text.startsWith("0x", Qt::CaseInsensitive))
            text = text.mid(2);
        v = text.toLongLong(&ok, 16);
    } else {
        bool negative = text.startsWith('-');
        QString digits = negative ? text.mid(1) : text;
        ok = !digits.isEmpty() && digits.size() <= 10;
        for (QChar c : digits)
            ok = ok && c >= '0' && c <= '9';
        if (ok)
            v = negative ? -digits.toLongLong() : digits.toLongLong();
    }
    if (!ok || v < low_end(s) || v > high_end(s))
        return false;
    *value = static_cast<int>(v);
    return true;
}

// The increment of the acceleration entry in force after `held_ms`.
int increment_after(const UpDownState& s, long long held_ms)
{
    int increment = 1;
    for (const UDACCEL& entry : s.accel)
        if (held_ms >= 1000LL * entry.nSec)
            increment = static_cast<int>(std::min<UINT>(entry.nInc, INT_MAX));
    return increment;
}

// The parent's say before a step: true when it keeps the position.
bool step_refused(Window* w, int delta)
{
    if (!w->parent || !w->parent->alive)
        return false;
    NMUPDOWN change = {{w, w->id, UDN_DELTAPOS}, w->updown->pos, delta};
    return SendMessageA(w->parent, WM_NOTIFY, w->id, reinterpret_cast<LPARAM>(&change)) != 0;
}

void step(Window* w, bool up, long long held_ms)
{
    UpDownState& s = *w->updown;
    int typed;
    if (read_buddy(w, &typed))
        s.pos = typed;
    int delta = up ? increment_after(s, held_ms) : -increment_after(s, held_ms);
    if (s.lower > s.upper)
        delta = -delta;
    if (step_refused(w, delta))
        return;
    long long next = static_cast<long long>(s.pos) + delta;
    if (next > high_end(s) || next < low_end(s)) {
        if (w->style & UDS_WRAP)
            next = next > high_end(s) ? low_end(s) : high_end(s);
        else
            next = clamp_pos(s, next);
    }
    if (next == s.pos)
        return; // at the end of the range: nothing changes, nothing is sent
    s.pos = static_cast<int>(next);
    show_in_buddy(w);
    if (w->parent && w->parent->alive)
        SendMessageA(w->parent, (w->style & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL,
                     MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(s.pos)),
                     reinterpret_cast<LPARAM>(static_cast<HWND>(w)));
}

// The buddy's procedure while it has an up-down with UDS_ARROWKEYS: the
// up and down keys step the control, also in a read-only field.
LRESULT CALLBACK buddy_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* b = live_window(hwnd);
    if (!b)
        return 0;
    WNDPROC old = b->buddy_old_proc;
    Window* ud = live_window(b->buddy_of);
    if (ud && ud->updown && ud->updown->buddy == b && msg == WM_KEYDOWN) {
        bool horizontal = (ud->style & UDS_HORZ) != 0;
        WPARAM up_key = horizontal ? VK_RIGHT : VK_UP;
        WPARAM down_key = horizontal ? VK_LEFT : VK_DOWN;
        if (wParam == up_key || wParam == down_key) {
            // A held key repeats with bit 30 set: it speeds up as held
            // arrows do, from when it went down.
            UpDownState& s = *ud->updown;
            const bool repeat = (lParam & (1L << 30)) != 0;
            if (!repeat || s.key_down_at == 0)
                s.key_down_at = GetTickCount();
            step(ud, wParam == up_key, repeat ? static_cast<long long>(GetTickCount() - s.key_down_at) : 0);
            return 0;
        }
    }
    return CallWindowProcA(old, hwnd, msg, wParam, lParam);
}

void detach_buddy(Window* w)
{
    UpDownState& s = *w->updown;
    Window* b = live_window(s.buddy);
    if (b && b->buddy_of == w) {
        if (b->proc == buddy_proc && b->buddy_old_proc)
            b->proc = b->buddy_old_proc;
        b->buddy_of = nullptr;
    }
    s.buddy = nullptr;
}

void attach_buddy(Window* w, Window* buddy)
{
    detach_buddy(w);
    UpDownState& s = *w->updown;
    if (!buddy || buddy == w)
        return;
    s.buddy = buddy;
    buddy->buddy_of = w;
    if ((w->style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT)) && buddy->parent == w->parent && buddy->widget && w->widget) {
        // The arrows take the buddy's edge; the buddy narrows by their width.
        QRect b = buddy->widget->geometry();
        int arrows = w->widget->width();
        int narrowed = std::max(0, b.width() - arrows);
        if (w->style & UDS_ALIGNRIGHT) {
            SetWindowPos(w, nullptr, b.x() + narrowed, b.y(), arrows, b.height(), SWP_NOZORDER | SWP_NOACTIVATE);
            SetWindowPos(buddy, nullptr, 0, 0, narrowed, b.height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else {
            SetWindowPos(w, nullptr, b.x(), b.y(), arrows, b.height(), SWP_NOZORDER | SWP_NOACTIVATE);
            SetWindowPos(buddy, nullptr, b.x() + arrows, b.y(), narrowed, b.height(), SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if ((w->style & UDS_ARROWKEYS) && buddy->proc != buddy_proc) {
        buddy->buddy_old_proc = buddy->proc;
        buddy->proc = buddy_proc;
    }
    show_in_buddy(w);
}

} // namespace

QWidget* make_updown(Window* w, QWidget* parent)
{
    w->updown = std::make_unique<UpDownState>();
    return new UpDownWidget(w, parent);
}

LRESULT CALLBACK updown_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = live_window(hwnd);
    if (!w || !w->updown)
        return 0;
    UpDownState& s = *w->updown;
    switch (msg) {
    case WM_CREATE:
        if ((w->style & UDS_AUTOBUDDY) && w->parent) {
            // The window just before this one in Z order.
            auto& siblings = w->parent->children;
            for (size_t i = 1; i < siblings.size(); ++i)
                if (siblings[i] == w && siblings[i - 1]->alive)
                    attach_buddy(w, siblings[i - 1]);
        }
        return 0;
    case WM_DESTROY:
        detach_buddy(w);
        return 0;
    case WM_LAYER_STEP:
        if (w->widget && w->widget->isEnabled())
            step(w, wParam != 0, static_cast<long long>(lParam));
        return 0;
    case UDM_SETACCEL: {
        const auto* table = reinterpret_cast<const UDACCEL*>(lParam);
        if (!table || wParam == 0)
            return FALSE;
        s.accel.assign(table, table + wParam);
        return TRUE;
    }
    case UDM_GETACCEL: {
        auto* table = reinterpret_cast<UDACCEL*>(lParam);
        if (table)
            std::copy_n(s.accel.begin(), std::min<size_t>(wParam, s.accel.size()), table);
        return static_cast<LRESULT>(s.accel.size());
    }
    case UDM_SETRANGE32:
        s.lower = static_cast<int>(wParam);
        s.upper = static_cast<int>(lParam);
        return 0;
    case UDM_GETRANGE32:
        if (wParam)
            *reinterpret_cast<int*>(wParam) = s.lower;
        if (lParam)
            *reinterpret_cast<int*>(lParam) = s.upper;
        return 0;
    case UDM_SETRANGE:
        s.upper = static_cast<SHORT>(LOWORD(lParam));
        s.lower = static_cast<SHORT>(HIWORD(lParam));
        return 0;
    case UDM_GETRANGE:
        return MAKELRESULT(static_cast<WORD>(s.upper), static_cast<WORD>(s.lower));
    case UDM_SETPOS:
    case UDM_SETPOS32: {
        // UDM_SETPOS takes the low word as a signed 16-bit position.
        long long wanted = msg == UDM_SETPOS ? static_cast<SHORT>(LOWORD(lParam)) : static_cast<int>(lParam);
        int old = s.pos;
        s.pos = clamp_pos(s, wanted);
        show_in_buddy(w);
        return msg == UDM_SETPOS ? static_cast<LRESULT>(static_cast<WORD>(old)) : old;
    }
    case UDM_GETPOS:
    case UDM_GETPOS32: {
        // With a buddy the position is what the field holds; text that is
        // no number in the range leaves the position and raises the flag.
        bool error = false;
        if (w->style & UDS_SETBUDDYINT) {
            int typed;
            if (read_buddy(w, &typed))
                s.pos = typed;
            else
                error = live_window(s.buddy) != nullptr;
        }
        if (msg == UDM_GETPOS32) {
            if (lParam)
                *reinterpret_cast<BOOL*>(lParam) = error ? TRUE : FALSE;
            return s.pos;
        }
        return MAKELRESULT(static_cast<WORD>(s.pos), error ? 1 : 0);
    }
    case UDM_SETBUDDY: {
        HWND old = s.buddy;
        attach_buddy(w, live_window(reinterpret_cast<HWND>(wParam)));
        return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY:
        return reinterpret_cast<LRESULT>(static_cast<HWND>(live_window(s.buddy)));
    case UDM_SETBASE: {
        if (wParam != 10 && wParam != 16)
            return 0;
        int old = s.base;
        s.base = static_cast<int>(wParam);
        show_in_buddy(w);
        return old;
    }
    case UDM_GETBASE:
        return s.base;
    case WM_GETDLGCODE:
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace win32

// Here, where the up-down state is a complete type.
Window::Window() = default;
Window::~Window() = default;
