// What the window-layer tests share: a dialog shaped like the program's
// control panel, a recording dialog procedure and a message pump.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32_test_hooks.h"
#include "platform/win32/windows.h"

namespace win32_test {

// Every message a recording procedure saw, in order.
struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
inline std::vector<Seen>& seen()
{
    static std::vector<Seen> list;
    return list;
}
inline INT_PTR CALLBACK recording_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    seen().push_back({hwnd, msg, wParam, lParam});
    return msg == WM_INITDIALOG ? FALSE : (msg == WM_COMMAND || msg == WM_VSCROLL);
}
inline std::vector<Seen> seen_of(UINT msg)
{
    std::vector<Seen> out;
    for (const Seen& s : seen())
        if (s.msg == msg)
            out.push_back(s);
    return out;
}

#define EDIT_STYLE (WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL | ES_RIGHT)
#define SPIN_STYLE (WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS)
#define LABEL_STYLE (WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP)
#define GROUP_STYLE (WS_CHILD | WS_VISIBLE | BS_GROUPBOX)
#define BUTTON_STYLE (WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON)

// 36 controls in the order, places, classes and styles of the panel.
inline const DialogItemTemplate kPanelItems[] = {
    {GROUP_STYLE, 0, 7, 7, 91, 112, 0xFFFF, "Button", 0, "プロットデータ"},
    {LABEL_STYLE, 0, 15, 24, 23, 8, 0xFFFF, nullptr, DIALOG_CLASS_STATIC, "X[min]"},
    {LABEL_STYLE, 0, 15, 43, 23, 8, 0xFFFF, "Static", 0, "X[max]"},
    {LABEL_STYLE, 0, 15, 62, 23, 8, 0xFFFF, "Static", 0, "Y[min]"},
    {LABEL_STYLE, 0, 15, 81, 23, 8, 0xFFFF, "Static", 0, "Y[max]"},
    {EDIT_STYLE, 0, 41, 22, 50, 14, 1002, nullptr, DIALOG_CLASS_EDIT, ""},
    {SPIN_STYLE, 0, 91, 22, 10, 14, 1005, UPDOWN_CLASSA, 0, "Spin1"},
    {EDIT_STYLE, 0, 41, 41, 50, 14, 1003, "Edit", 0, ""},
    {SPIN_STYLE, 0, 91, 41, 10, 14, 1006, UPDOWN_CLASSA, 0, "Spin2"},
    {EDIT_STYLE, 0, 41, 60, 50, 14, 1007, "Edit", 0, ""},
    {SPIN_STYLE, 0, 91, 60, 10, 14, 1009, UPDOWN_CLASSA, 0, "Spin3"},
    {EDIT_STYLE, 0, 41, 79, 50, 14, 1008, "Edit", 0, ""},
    {SPIN_STYLE, 0, 91, 79, 10, 14, 1010, UPDOWN_CLASSA, 0, "Spin4"},
    {BUTTON_STYLE, 0, 36, 98, 33, 14, 1004, nullptr, DIALOG_CLASS_BUTTON, "読み込み"},
    {GROUP_STYLE, 0, 7, 131, 91, 36, 0xFFFF, "Button", 0, "テクスチャ"},
    {BUTTON_STYLE, 0, 17, 146, 33, 14, 1011, "Button", 0, "読み込み"},
    {BUTTON_STYLE, 0, 55, 146, 33, 14, 1019, "Button", 0, "クリア"},
    {GROUP_STYLE, 0, 7, 179, 91, 74, 0xFFFF, "Button", 0, "マーカー"},
    {LABEL_STYLE, 0, 15, 196, 22, 8, 0xFFFF, "Static", 0, "X"},
    {LABEL_STYLE, 0, 15, 215, 22, 8, 0xFFFF, "Static", 0, "Y"},
    {EDIT_STYLE, 0, 41, 194, 50, 14, 1026, "Edit", 0, ""},
    {SPIN_STYLE, 0, 91, 194, 10, 14, 1027, UPDOWN_CLASSA, 0, "Spin8"},
    {EDIT_STYLE, 0, 41, 213, 50, 14, 1028, "Edit", 0, ""},
    {SPIN_STYLE, 0, 91, 213, 10, 14, 1029, UPDOWN_CLASSA, 0, "Spin9"},
    {BUTTON_STYLE, 0, 17, 232, 33, 14, 1030, "Button", 0, "設定"},
    {BUTTON_STYLE, 0, 55, 232, 33, 14, 1031, "Button", 0, "クリア"},
    {GROUP_STYLE, 0, 7, 265, 91, 75, 0xFFFF, "Button", 0, "カメラ位置"},
    {LABEL_STYLE, 0, 15, 282, 15, 8, 0xFFFF, "Static", 0, "距離"},
    {LABEL_STYLE, 0, 15, 301, 22, 8, 0xFFFF, "Static", 0, "方位角"},
    {LABEL_STYLE, 0, 15, 322, 15, 8, 0xFFFF, "Static", 0, "仰角"},
    {EDIT_STYLE | ES_READONLY, 0, 41, 280, 50, 14, 1012, "Edit", 0, ""},
    {SPIN_STYLE, 0, 91, 280, 10, 14, 1013, UPDOWN_CLASSA, 0, "Spin5"},
    {EDIT_STYLE | ES_READONLY, 0, 41, 299, 50, 14, 1014, "Edit", 0, ""},
    {SPIN_STYLE, 0, 91, 299, 10, 14, 1015, UPDOWN_CLASSA, 0, "Spin6"},
    {EDIT_STYLE | ES_READONLY, 0, 41, 318, 50, 14, 1016, "Edit", 0, ""},
    {SPIN_STYLE, 0, 91, 318, 10, 14, 1017, UPDOWN_CLASSA, 0, "Spin7"},
};

inline const DialogTemplate kPanelTemplate = {
    WS_CHILD | DS_SETFONT, 0, 0, 0, 105, 352, "ＭＳ Ｐゴシック", 9, nullptr, kPanelItems, 36,
};

inline const DialogItemTemplate kMainItems[] = {
    {WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 0, 7, 7, 255, 286, 1018, "Static", 0, ""},
};

inline const DialogTemplate kMainTemplate = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_SETFONT,
    0, 0, 0, 400, 352, "ＭＳ Ｐゴシック", 9, "Varnel", kMainItems, 1,
};

// The program's loop, run until nothing is waiting. A procedure that never
// validates would make WM_PAINT come forever, so the count is bounded.
inline void pump(HWND main = nullptr, HWND panel = nullptr, HACCEL accel = nullptr)
{
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // leave it for the test
            return;
        }
        if (accel && main && TranslateAcceleratorA(main, accel, &msg))
            continue;
        if (panel && IsDialogMessageA(panel, &msg))
            continue;
        if (main && IsDialogMessageA(main, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Drops a pending WM_QUIT and every queued message.
inline void drain()
{
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i)
        if (msg.message == WM_PAINT)
            ValidateRect(msg.hwnd, nullptr);
}

inline std::string text_of(HWND hwnd)
{
    char buf[256] = {};
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        win32_answer_dialogs_from_script(true);
        win32_clear_dialog_calls();
        drain();
        seen().clear();
    }
    void TearDown() override
    {
        for (HWND w : windows_)
            DestroyWindow(w);
        drain();
    }
    HWND keep(HWND w)
    {
        windows_.push_back(w);
        return w;
    }
    std::vector<HWND> windows_;
};

} // namespace win32_test

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace win32_test {

// Answers the next modal widget of type T the moment it is shown, as a
// person would, and closes it after five seconds whatever happens.
template <typename T> class ModalAnswer : public QObject {
public:
    explicit ModalAnswer(std::function<void(T*)> answer) : answer_(std::move(answer))
    {
        qApp->installEventFilter(this);
    }
    ~ModalAnswer() override { qApp->removeEventFilter(this); }
    bool answered() const { return answered_; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !answered_) {
            if (T* widget = qobject_cast<T*>(object)) {
                answered_ = true;
                QPointer<T> target(widget);
                QMetaObject::invokeMethod(
                    this, [this, target] { if (target) answer_(target); }, Qt::QueuedConnection);
                QTimer::singleShot(5000, target, [target] { if (target) target->close(); });
            }
        }
        return false;
    }

private:
    std::function<void(T*)> answer_;
    bool answered_ = false;
};

} // namespace win32_test
