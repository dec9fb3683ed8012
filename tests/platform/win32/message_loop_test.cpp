#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>

#include "platform/win32/commdlg.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;

class MessageLoopTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        main_ = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
        panel_ = CreateDialogIndirectParamA(nullptr, &kPanelTemplate, main_, recording_proc, 0);
        ASSERT_NE(panel_, nullptr);
        accel_ = CreateAcceleratorTableA(kCameraKeys, 6);
        ShowWindow(main_, SW_SHOWNORMAL);
        ShowWindow(panel_, SW_SHOWNA);
        SendDlgItemMessageA(panel_, 1005, UDM_SETRANGE32, static_cast<WPARAM>(-8000), 8000);
        SendDlgItemMessageA(panel_, 1005, UDM_SETPOS, 0, 0);
        pump(main_, panel_, accel_);
        seen().clear();
    }
    void TearDown() override
    {
        DestroyAcceleratorTable(accel_);
        WindowTest::TearDown();
    }
    std::vector<WORD> commands_to(HWND hwnd)
    {
        std::vector<WORD> ids;
        for (const Seen& s : seen_of(WM_COMMAND))
            if (s.hwnd == hwnd && HIWORD(s.wParam) != EN_CHANGE)
                ids.push_back(LOWORD(s.wParam));
        return ids;
    }
    QWidget* widget(int id) { return win32_widget_of(GetDlgItem(panel_, id)); }
    HWND main_ = nullptr;
    HWND panel_ = nullptr;
    HACCEL accel_ = nullptr;
};

TEST_F(MessageLoopTest, AltF4ClosesTheTopLevelWindowWhereverTheFocusIs)
{
    struct Case {
        const char* where;
        HWND focus;
    };
    for (const Case& c : {Case{"field", GetDlgItem(panel_, 1002)}, Case{"button", GetDlgItem(panel_, 1004)},
                          Case{"main window", main_}}) {
        SCOPED_TRACE(c.where);
        seen().clear();
        SetFocus(c.focus);
        QTest::keyClick(win32_widget_of(c.focus), Qt::Key_F4, Qt::AltModifier);
        pump(main_, panel_, accel_);
        std::vector<Seen> closes = seen_of(WM_CLOSE);
        ASSERT_EQ(closes.size(), 1u);
        EXPECT_EQ(closes[0].hwnd, main_);
        EXPECT_TRUE(seen_of(WM_COMMAND).empty() || commands_to(main_) == std::vector<WORD>{IDCANCEL});
    }
    // F4 alone is an ordinary key.
    seen().clear();
    QTest::keyClick(widget(1002), Qt::Key_F4);
    pump(main_, panel_, accel_);
    EXPECT_TRUE(seen_of(WM_CLOSE).empty());
}

TEST_F(MessageLoopTest, CameraKeysInAFieldBecomeCommandsAndNeverLetters)
{
    QWidget* field = widget(1002);
    SetFocus(GetDlgItem(panel_, 1002));
    QTest::keyClicks(field, "hjklsx");
    pump(main_, panel_, accel_);
    EXPECT_EQ(commands_to(main_), (std::vector<WORD>{1020, 1023, 1022, 1021, 1024, 1025}));
    for (const Seen& s : seen_of(WM_COMMAND)) {
        if (s.hwnd == main_) {
            EXPECT_EQ(HIWORD(s.wParam), 1); // from an accelerator
        }
    }
    EXPECT_EQ(text_of(GetDlgItem(panel_, 1002)), "0");

    // Upper case (Shift) is another key combination: no command, and the
    // number field refuses the letter.
    seen().clear();
    QTest::keyClick(field, Qt::Key_H, Qt::ShiftModifier);
    pump(main_, panel_, accel_);
    EXPECT_TRUE(commands_to(main_).empty());
    EXPECT_EQ(text_of(GetDlgItem(panel_, 1002)), "0");

    // Keys the table does not take reach the field.
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClicks(field, "7a");
    pump(main_, panel_, accel_);
    EXPECT_EQ(text_of(GetDlgItem(panel_, 1002)), "07");
    QTest::keyClick(field, Qt::Key_Backspace);
    pump(main_, panel_, accel_);
    EXPECT_EQ(text_of(GetDlgItem(panel_, 1002)), "0");

    // In a read-only field nothing is typed, the camera keys still act.
    seen().clear();
    QTest::keyClicks(widget(1012), "5h");
    pump(main_, panel_, accel_);
    EXPECT_EQ(commands_to(main_), (std::vector<WORD>{1020}));
    EXPECT_EQ(text_of(GetDlgItem(panel_, 1012)), "0");
}

TEST_F(MessageLoopTest, EnterAndEscapeBecomeOkAndCancelOfThePanel)
{
    QTest::keyClick(widget(1002), Qt::Key_Return);
    QTest::keyClick(widget(1002), Qt::Key_Escape);
    pump(main_, panel_, accel_);
    EXPECT_EQ(commands_to(panel_), (std::vector<WORD>{IDOK, IDCANCEL}));
    // On a push button Enter presses that button.
    seen().clear();
    QTest::keyClick(widget(1004), Qt::Key_Return);
    pump(main_, panel_, accel_);
    EXPECT_EQ(commands_to(panel_), (std::vector<WORD>{1004}));
}

TEST_F(MessageLoopTest, ButtonsNotifyTheirDialogWhenTheLoopRuns)
{
    QTest::mouseClick(widget(1004), Qt::LeftButton);
    EXPECT_TRUE(commands_to(panel_).empty()); // queued, not yet sent
    pump(main_, panel_, accel_);
    auto commands = seen_of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].hwnd, panel_);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(1004, BN_CLICKED));
    EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), GetDlgItem(panel_, 1004));
    // The space bar presses a focused button too; BM_CLICK at once.
    seen().clear();
    QTest::keyClick(widget(1030), Qt::Key_Space);
    pump(main_, panel_, accel_);
    SendDlgItemMessageA(panel_, 1031, BM_CLICK, 0, 0);
    EXPECT_EQ(commands_to(panel_), (std::vector<WORD>{1030, 1031}));
}

TEST_F(MessageLoopTest, GetMessageWaitsForInputAndEndsWithTheQuitCode)
{
    PostMessageA(main_, WM_APP, 1, 0);
    PostMessageA(main_, WM_APP, 2, 0);
    // Later, while GetMessage waits: a click, then the end.
    QTimer::singleShot(20, [this] {
        QTest::mouseClick(widget(1011), Qt::LeftButton);
        QTimer::singleShot(20, [] { PostQuitMessage(5); });
    });
    MSG msg;
    std::vector<UINT> got;
    BOOL r;
    while ((r = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        got.push_back(msg.message);
        if (!IsDialogMessageA(panel_, &msg) && !IsDialogMessageA(main_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EXPECT_EQ(r, FALSE);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, 5u);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[0], UINT(WM_APP));
    EXPECT_EQ(got[1], UINT(WM_APP));
    EXPECT_EQ(commands_to(panel_), (std::vector<WORD>{1011}));
}

TEST_F(MessageLoopTest, TheMessageFilterTakesBothBoundsAndTheWindow)
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_APP, WM_APP + 10, PM_REMOVE)) {}
    PostMessageA(main_, WM_APP + 1, 1, 0);
    PostMessageA(panel_, WM_APP + 2, 2, 0);
    PostMessageA(nullptr, WM_APP + 3, 3, 0); // for the thread, no window
    const HWND thread_only = reinterpret_cast<HWND>(-1);
    const struct {
        HWND window;
        UINT min, max;
        WPARAM expected; // 0: nothing
    } cases[] = {
        {nullptr, WM_APP + 1, WM_APP + 1, 1}, {nullptr, WM_APP + 2, WM_APP + 2, 2},
        {nullptr, WM_APP + 2, WM_APP + 9, 2}, {nullptr, WM_APP, WM_APP, 0},
        {nullptr, WM_APP + 4, WM_APP + 9, 0}, {panel_, WM_APP, WM_APP + 9, 2},
        {nullptr, WM_APP + 3, WM_APP + 9, 3}, {thread_only, WM_APP, WM_APP + 9, 3},
        {main_, WM_APP + 3, WM_APP + 3, 0},   {main_, WM_APP + 2, WM_APP + 2, 2},
        {panel_, WM_APP + 1, WM_APP + 1, 0},
    };
    for (const auto& c : cases) {
        msg = {};
        EXPECT_EQ(PeekMessageA(&msg, c.window, c.min, c.max, PM_NOREMOVE), c.expected != 0) << c.min << ".." << c.max;
        EXPECT_EQ(msg.wParam, c.expected) << c.min << ".." << c.max;
    }
    // The panel lies inside the main window. GetMessage takes the one
    // asked for and leaves the others queued.
    ASSERT_EQ(GetMessageA(&msg, nullptr, WM_APP + 2, WM_APP + 2), TRUE);
    EXPECT_EQ(msg.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP + 9, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(PeekMessageA(&msg, thread_only, WM_APP, WM_APP + 9, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP + 9, PM_REMOVE));
}

// The flags of lParam a key message carries: bit 29 for Alt, bit 30 when
// the key was already down (a repeat, and every release), bit 31 on release.
TEST_F(MessageLoopTest, KeyMessagesCarryTheirStateBits)
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_SYSKEYUP, PM_REMOVE)) {}
    QWidget* field = widget(1002);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier, QString(), true);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_F5, Qt::NoModifier);
    QKeyEvent alt_press(QEvent::KeyPress, Qt::Key_F5, Qt::AltModifier);
    QKeyEvent alt_release(QEvent::KeyRelease, Qt::Key_F5, Qt::AltModifier);
    const struct {
        QKeyEvent* event;
        UINT message;
        LPARAM flags; // bits 29 to 31
    } cases[] = {
        {&press, WM_KEYDOWN, 0},
        {&repeat, WM_KEYDOWN, LPARAM(1) << 30},
        {&release, WM_KEYUP, LPARAM(3) << 30},
        {&alt_press, WM_SYSKEYDOWN, LPARAM(1) << 29},
        {&alt_release, WM_SYSKEYUP, LPARAM(7) << 29},
    };
    for (const auto& c : cases) {
        QApplication::sendEvent(field, c.event);
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_SYSKEYUP, PM_REMOVE)) << c.message;
        EXPECT_EQ(msg.message, c.message);
        EXPECT_EQ(msg.wParam, WPARAM(VK_F1 + 4));
        EXPECT_EQ(msg.lParam & (LPARAM(7) << 29), c.flags) << c.message;
        EXPECT_EQ(msg.lParam & 0xFFFF, 1) << "the repeat count";
    }
}

// Raised once per process: a second signal ends it. It comes while a box
// waits for an answer: the box goes as if cancelled, no box or dialog
// shows after it, and only the top-level window is asked to close.
TEST_F(MessageLoopTest, TheEndOfTheSessionClosesTopLevelWindowsOnly)
{
    win32_answer_dialogs_from_script(false);
    int shown = 0;
    ModalAnswer<QMessageBox> person([&](QMessageBox*) {
        ++shown;
        ::raise(SIGHUP);
    });
    const int answer = MessageBoxA(main_, "Fit the range to the data?", "Varnel", MB_YESNO | MB_ICONQUESTION);
    ModalAnswer<QDialog> late([&](QDialog* dialog) {
        ++shown;
        dialog->reject();
    });
    // Cancel, not no, where a box has both.
    const int late_answer = MessageBoxA(main_, "Save the picture first?", "Varnel", MB_YESNOCANCEL | MB_ICONQUESTION);
    char path[260] = "";
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = main_;
    open.lpstrFile = path;
    open.nMaxFile = sizeof path;
    const BOOL chosen = GetOpenFileNameA(&open);
    win32_answer_dialogs_from_script(true);
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(late_answer, IDCANCEL);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(shown, 1);
    for (int k = 0; k < 100 && seen_of(WM_CLOSE).empty(); ++k) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pump(main_, panel_);
    }
    const std::vector<Seen> closes = seen_of(WM_CLOSE);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].hwnd, main_);
}

TEST_F(MessageLoopTest, AcceleratorsMatchModifiersExactly)
{
    const ACCEL table[] = {
        {FVIRTKEY | FCONTROL, 'S', 7}, {FVIRTKEY | FSHIFT | ACCEL_END_OF_TABLE, 'S', 8}, {FVIRTKEY, 'Q', 9}};
    HACCEL a = CreateAcceleratorTableA(table, 3); // the end flag stops before Q
    QTest::keyClick(widget(1002), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(widget(1002), Qt::Key_S, Qt::ShiftModifier);
    QTest::keyClick(widget(1002), Qt::Key_S);
    QTest::keyClick(widget(1002), Qt::Key_Q);
    pump(main_, panel_, a);
    EXPECT_EQ(commands_to(main_), (std::vector<WORD>{7, 8}));
    DestroyAcceleratorTable(a);
}

} // namespace
