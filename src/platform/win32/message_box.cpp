// MessageBoxA on Qt's message box, and the scripted answers tests give.
#include <QMessageBox>
#include <QPushButton>

#include <deque>

#include "platform/win32/win32_test_hooks.h"
#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

bool g_scripted = false;
std::deque<int> g_answers;

std::vector<MessageBoxCall>& calls()
{
    static auto* list = new std::vector<MessageBoxCall>;
    return *list;
}

struct BoxButton {
    QMessageBox::StandardButton button;
    int id;
};

std::vector<BoxButton> buttons_of(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon icon_of(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// The answer of a box closed by the end of the session: cancel, or no, or
// the only way out a box without either has.
int answer_at_session_end(const std::vector<BoxButton>& buttons)
{
    for (int id : {IDCANCEL, IDNO})
        for (const BoxButton& b : buttons)
            if (b.id == id)
                return id;
    return buttons.front().id;
}

} // namespace

bool dialogs_answered_from_script() { return g_scripted; }

} // namespace win32

using namespace win32;

void win32_answer_dialogs_from_script(bool on) { g_scripted = on; }

void win32_script_message_box(int answer) { g_answers.push_back(answer); }

const std::vector<MessageBoxCall>& win32_message_box_calls() { return calls(); }

QWidget* win32_widget_of(HWND hwnd)
{
    Window* w = live_window(hwnd);
    return w ? w->widget.data() : nullptr;
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    Window* owner = live_window(hWnd);
    if (hWnd && !owner)
        return 0;
    std::vector<BoxButton> buttons = buttons_of(uType);
    if (g_scripted) {
        calls().push_back({hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType});
        int answer = buttons.front().id;
        if (!g_answers.empty()) {
            answer = g_answers.front();
            g_answers.pop_front();
        }
        return answer;
    }
    if (session_ended())
        return answer_at_session_end(buttons);
    ensure_application();
    QWidget* parent = owner && owner->widget ? owner->widget->window() : nullptr;
    QMessageBox box(icon_of(uType), from_ansi(lpCaption ? lpCaption : "Error"), from_ansi(lpText ? lpText : ""),
                    QMessageBox::NoButton, parent);
    for (const BoxButton& b : buttons)
        box.addButton(b.button);
    box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
    if (session_ended())
        return answer_at_session_end(buttons);
    QAbstractButton* clicked = box.clickedButton();
    for (const BoxButton& b : buttons)
        if (clicked && box.button(b.button) == clicked)
            return b.id;
    // Closed without a button: the platform answers IDCANCEL where there is
    // one, and OK for a box with only that.
    for (const BoxButton& b : buttons)
        if (b.id == IDCANCEL)
            return IDCANCEL;
    return buttons.size() == 1 ? buttons.front().id : 0;
}
