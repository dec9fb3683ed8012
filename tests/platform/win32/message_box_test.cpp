#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "win32_test_support.h"

namespace {

using namespace win32_test;

class MessageBoxTest : public WindowTest {};

TEST_F(MessageBoxTest, ScriptedAnswersAreRecorded)
{
    HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
    EXPECT_EQ(MessageBoxA(main, "メモリの確保に失敗しました。\n確認してください。", "エラー", MB_OK | MB_ICONERROR),
              IDOK);
    win32_script_message_box(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "q", nullptr, MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "r", "t", MB_RETRYCANCEL), IDRETRY); // the first button
    const auto& calls = win32_message_box_calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].owner, main);
    EXPECT_EQ(calls[0].text, "メモリの確保に失敗しました。\n確認してください。");
    EXPECT_EQ(calls[0].caption, "エラー");
    EXPECT_EQ(calls[0].type, UINT(MB_OK | MB_ICONERROR));
    EXPECT_EQ(calls[1].caption, "Error");
}

// The real box, answered by a timer the way a person would press OK.
TEST_F(MessageBoxTest, TheRealBoxIsModalWithTheStopIcon)
{
    win32_answer_dialogs_from_script(false);
    HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
    ShowWindow(main, SW_SHOWNORMAL);
    QString seen_text, seen_title;
    QMessageBox::Icon seen_icon = QMessageBox::NoIcon;
    bool owned = false;
    int buttons = 0;
    ModalAnswer<QMessageBox> person([&](QMessageBox* box) {
        seen_text = box->text();
        seen_title = box->windowTitle();
        seen_icon = box->icon();
        owned = box->parentWidget() == win32_widget_of(main);
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    int answer = MessageBoxA(main, "選択されたファイル", "ERROR", MB_OK | MB_ICONERROR);
    win32_answer_dialogs_from_script(true);
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(seen_text, QString::fromUtf8("選択されたファイル"));
    EXPECT_EQ(seen_title, "ERROR");
    EXPECT_EQ(seen_icon, QMessageBox::Critical);
    EXPECT_TRUE(owned);
    EXPECT_EQ(buttons, 1);
}

// A box closed without a button answers as the platform's does: cancel
// where the box has it, else OK where that is its only button.
TEST_F(MessageBoxTest, ABoxClosedWithoutAButtonAnswersCancelOrItsOnlyButton)
{
    win32_answer_dialogs_from_script(false);
    const struct {
        UINT type;
        int answer;
    } cases[] = {{MB_OK, IDOK}, {MB_OKCANCEL, IDCANCEL}, {MB_YESNOCANCEL, IDCANCEL}};
    for (const auto& c : cases) {
        ModalAnswer<QMessageBox> person([&](QMessageBox* box) { box->reject(); });
        EXPECT_EQ(MessageBoxA(nullptr, "q", "t", c.type), c.answer) << c.type;
    }
    win32_answer_dialogs_from_script(true);
}

} // namespace
