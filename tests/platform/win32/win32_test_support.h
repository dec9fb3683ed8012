// What the window-layer tests share: the program's two dialog templates, a
// recording dialog procedure and a message pump.
#pragma once

#include <gtest/gtest.h>

#include <QtGlobal>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/win32_test_hooks.h"
#include "platform/win32/windows.h"
#include "resources/program_resources.h"

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
    std::vector<char> buf(static_cast<size_t>(std::max(0, GetWindowTextLengthA(hwnd))) + 1, '\0');
    GetWindowTextA(hwnd, buf.data(), static_cast<int>(buf.size()));
    return buf.data();
}

// The layer tells an event from the same one handed on to a parent widget
// by its time and place, so every event of the run gets a time of its own.
inline quint64 next_timestamp()
{
    static quint64 timestamp = 0;
    return ++timestamp;
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
template <typename T>
class ModalAnswer : public QObject {
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
                    this,
                    [this, target] {
                        if (target)
                            answer_(target);
                    },
                    Qt::QueuedConnection);
                QTimer::singleShot(5000, target, [target] {
                    if (target)
                        target->close();
                });
            }
        }
        return false;
    }

private:
    std::function<void(T*)> answer_;
    bool answered_ = false;
};

} // namespace win32_test
