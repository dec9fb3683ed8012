// The progress dialog of a long load, with the clock in the test's hands:
// the reader asks after every megabyte, and each read of the clock moves it
// on by the step the test chose.
#include <QAbstractButton>
#include <QPointer>
#include <QProgressBar>

#include "resources/texts.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

constexpr long long kMegabyte = 1 << 20;

class LoadProgressTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        win32_script_tick_count(0); // no load takes any time unless a case says so
        start();
        win32_clear_dialog_calls();
    }
    // Points inside the default range, a little over `bytes` of them.
    fs::path write_big(const std::string& name, long long bytes)
    {
        std::string text;
        for (int i = 0; static_cast<long long>(text.size()) < bytes; ++i)
            text += std::to_string(1000 + i % 2000) + " " + std::to_string(1000 + i % 1999) + "\n";
        return write_file(name, text);
    }
    void load(const fs::path& path)
    {
        choose(path);
        click(IDC_LOAD_DATA);
    }
    void fit() { choose_menu_item(IDM_FIT_RANGE); }

    // What the user sees the first time the load lets the window system run.
    struct DialogView {
        bool shown = false;
        std::string title;
        int bar = -1, bar_end = -1;
        bool main_enabled = true;
    };
    // Watches for the dialog; with `cancel`, presses its button at once.
    std::unique_ptr<ModalAnswer<QProgressBar>> watch(DialogView* seen, bool cancel)
    {
        return std::make_unique<ModalAnswer<QProgressBar>>([this, seen, cancel](QProgressBar* bar) {
            QWidget* dialog = bar->window();
            dialog_ = dialog;
            *seen = {dialog->isVisible(), dialog->windowTitle().toStdString(), bar->value(), bar->maximum(),
                     IsWindowEnabled(main_) != FALSE};
            if (!cancel)
                return;
            for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
                if (button->text() == QString::fromUtf8("キャンセル"))
                    QTest::mouseClick(button, Qt::LeftButton);
        });
    }
    // After the load: no dialog, and the main window takes input again.
    void expect_dialog_gone()
    {
        EXPECT_TRUE(dialog_.isNull() || !dialog_->isVisible());
        EXPECT_TRUE(IsWindowEnabled(main_));
    }
    QPointer<QWidget> dialog_;
};

// The reader asks once, after the first megabyte: the dialog is there when
// half a second has passed since the load began, not a moment before, with
// its bar at the share read, and the main window takes no input meanwhile.
TEST_F(LoadProgressTest, TheDialogAppearsAfterHalfASecondAndTheWindowWaits)
{
    const fs::path file = write_big("big.txt", kMegabyte * 3 / 2);
    const long long size = static_cast<long long>(fs::file_size(file));
    for (DWORD step : {499u, 500u}) {
        SCOPED_TRACE(step);
        win32_script_tick_count(step);
        DialogView seen;
        auto answer = watch(&seen, false);
        // The file is read again, not binned from the points the first load kept.
        state_->kept_points.clear();
        load(file);
        if (step < 500) {
            EXPECT_FALSE(answer->answered());
        } else {
            ASSERT_TRUE(answer->answered());
            EXPECT_TRUE(seen.shown);
            EXPECT_EQ(seen.title, "読み込み中");
            EXPECT_EQ(seen.bar, kMegabyte * 1000 / size);
            EXPECT_EQ(seen.bar_end, 1000);
            EXPECT_FALSE(seen.main_enabled);
        }
        expect_dialog_gone();
        EXPECT_EQ(text_of(main_), "Varnel : big.txt");
        ASSERT_NE(state_->field, nullptr);
        EXPECT_EQ(density_field_counts(state_->field).points, size / 10);
        EXPECT_TRUE(win32_message_box_calls().empty());
    }
}

// キャンセル during a load keeps the plot, its title and its folder; during
// the pass that fits the range, the range as well. Nothing is said. The
// button is pressed after ten megabytes, when the reader has handed on
// points already.
TEST_F(LoadProgressTest, CancelKeepsThePlotAndTheRange)
{
    const fs::path first = write_big("old/first.txt", kMegabyte * 11);
    const fs::path second = write_big("new/second.txt", kMegabyte * 11);
    load(first);
    ASSERT_NE(state_->field, nullptr);
    const DensityField* field = state_->field;
    const std::string folder = state_->settings.data_path;
    const std::string x_max = field_text(IDC_X_MAX_EDIT);

    for (bool fitting : {false, true}) {
        SCOPED_TRACE(fitting ? "fitting the range" : "loading");
        win32_script_tick_count(50);
        DialogView seen;
        auto answer = watch(&seen, true);
        if (fitting)
            fit();
        else
            load(second);
        ASSERT_TRUE(answer->answered());
        EXPECT_TRUE(seen.shown);
        win32_script_tick_count(0);
        expect_dialog_gone();
        EXPECT_EQ(state_->field, field);
        EXPECT_EQ(text_of(main_), "Varnel : first.txt");
        EXPECT_EQ(state_->settings.data_path, folder);
        EXPECT_EQ(field_text(IDC_X_MAX_EDIT), x_max);
        EXPECT_TRUE(win32_message_box_calls().empty());
    }
}

} // namespace
