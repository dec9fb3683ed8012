// The viewer against a real ClickHouse server started by the test: the
// database dialog's password, the load button asking the table again over
// the panel's range, and Cancel and failures keeping the plot. Skipped
// where clickhouse-server is not installed.
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>

#include <fstream>
#include <iterator>

#include "field/clickhouse_test_servers.h"
#include "resources/texts.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;
using clickhouse_test::kPassword;
using clickhouse_test::post;
using clickhouse_test::Server;

// 50 x 50 points 20 apart from (1000, 1000): in the default range, and half
// of them left of x = 1500.
constexpr int kSide = 50;

class DatabasePanelTest : public ViewerTest {
protected:
    static inline Server server;
    static inline fs::path server_root;
    static inline bool started = false;

    static void SetUpTestSuite()
    {
        if (!fs::exists(CLICKHOUSE_SERVER))
            return;
        server_root = fs::path(CLICKHOUSE_TEST_DIR) / ("viewer-" + std::to_string(getpid()));
        server.start(server_root / "one", 0);
        if (!server.ready())
            return;
        std::string rows;
        for (int k = 0; k < kSide * kSide; ++k)
            rows += std::to_string(1000 + 20 * (k % kSide)) + "\t" + std::to_string(1000 + 20 * (k / kSide)) + "\n";
        // The same points behind a view that takes 2.5 s, long enough to cancel.
        for (const std::string& sql :
             {std::string("CREATE TABLE default.points (x Float64, y Float64) ENGINE = MergeTree ORDER BY tuple()"),
              "INSERT INTO default.points FORMAT TabSeparated\n" + rows,
              std::string("CREATE VIEW default.slow AS SELECT x, y FROM default.points WHERE sleepEachRow(0.001) = 0")})
            if (post(server.http, sql) != 200)
                return;
        started = true;
    }
    static void TearDownTestSuite()
    {
        server.stop();
        if (!server_root.empty())
            fs::remove_all(server_root);
    }
    void SetUp() override
    {
        if (!fs::exists(CLICKHOUSE_SERVER))
            GTEST_SKIP() << "clickhouse-server is not installed (" << CLICKHOUSE_SERVER << ")";
        ASSERT_TRUE(started) << "the server did not start";
        ViewerTest::SetUp();
        unsetenv("CLICKHOUSE_PASSWORD");
        win32_script_tick_count(0);
        start();
        win32_clear_dialog_calls();
    }

    std::string address(const char* table)
    {
        return "clickhouse://default@" + server_name() + "/default." + table + "?x=x&y=y";
    }
    static std::string server_name() { return "127.0.0.1:" + std::to_string(server.http); }
    // The menu's dialog, filled in and answered with Open.
    void open_table(const std::string& address, const std::string& password)
    {
        choose_menu_item(IDM_OPEN_DATABASE);
        const HWND dialog = state_->database_dialog;
        ASSERT_NE(dialog, nullptr);
        SetDlgItemTextA(dialog, IDC_DATABASE_ADDRESS, address.c_str());
        SetDlgItemTextA(dialog, IDC_DATABASE_PASSWORD, password.c_str());
        QTest::mouseClick(static_cast<QAbstractButton*>(win32_widget_of(GetDlgItem(dialog, IDOK))), Qt::LeftButton);
        run();
    }
    // The one message: the table could not be loaded, for the server's reason.
    void expect_server_failure(const std::string& address, const std::string& reason)
    {
        ASSERT_EQ(win32_message_box_calls().size(), 1u);
        const std::string said = win32_message_box_calls()[0].text;
        EXPECT_EQ(
            said.rfind(std::string(text(TextId::cannot_open)) + "\n" + address + ": " + server_name() + ": " + reason,
                       0),
            0u)
            << said;
        win32_clear_dialog_calls();
    }
};

TEST_F(DatabasePanelTest, ThePasswordIsTypedHiddenAndKeptOutOfTheSettings)
{
    choose_menu_item(IDM_OPEN_DATABASE);
    ASSERT_NE(state_->database_dialog, nullptr);
    const auto* password =
        qobject_cast<QLineEdit*>(win32_widget_of(GetDlgItem(state_->database_dialog, IDC_DATABASE_PASSWORD)));
    const auto* typed =
        qobject_cast<QLineEdit*>(win32_widget_of(GetDlgItem(state_->database_dialog, IDC_DATABASE_ADDRESS)));
    ASSERT_TRUE(password && typed);
    EXPECT_EQ(GetFocus(), GetDlgItem(state_->database_dialog, IDC_DATABASE_ADDRESS)) << "the address is typed at once";
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(typed->echoMode(), QLineEdit::Normal);
    QTest::mouseClick(static_cast<QAbstractButton*>(win32_widget_of(GetDlgItem(state_->database_dialog, IDCANCEL))),
                      Qt::LeftButton);
    run();

    // A wrong password: the server's 401, without the password.
    const std::string points = address("points");
    open_table(points, "not-the-password-7");
    EXPECT_EQ(state_->field, nullptr);
    ASSERT_EQ(win32_message_box_calls().size(), 1u);
    EXPECT_EQ(win32_message_box_calls()[0].text.find("not-the-password-7"), std::string::npos);
    expect_server_failure(points, "HTTP 401: ");

    open_table(points, kPassword);
    EXPECT_TRUE(win32_message_box_calls().empty());
    ASSERT_NE(state_->field, nullptr);
    EXPECT_EQ(density_field_counts(state_->field).in_range, kSide * kSide);
    close();
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        if (!entry.is_regular_file())
            continue;
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.find(kPassword), std::string::npos) << entry.path();
    }
    EXPECT_GT(files, 0) << "no settings were written";
}

// Load asks the table again over the range now in the panel, with the
// password typed once; キャンセル and a refusal leave the plot as it was.
TEST_F(DatabasePanelTest, LoadAsksTheTableAgainOverThePanelsRange)
{
    const std::string slow = address("slow");
    open_table(slow, kPassword);
    EXPECT_TRUE(win32_message_box_calls().empty());
    ASSERT_NE(state_->field, nullptr);
    EXPECT_EQ(density_field_counts(state_->field).in_range, kSide * kSide);

    set_spin(IDC_X_MAX_SPIN, 1500);
    click(IDC_LOAD_DATA);
    EXPECT_TRUE(win32_open_file_calls().empty());
    EXPECT_TRUE(win32_message_box_calls().empty());
    ASSERT_NE(state_->field, nullptr);
    EXPECT_EQ(density_field_counts(state_->field).points, kSide * kSide);
    EXPECT_EQ(density_field_counts(state_->field).in_range, kSide * kSide / 2);
    const DensityField* field = state_->field;
    const std::string title = text_of(main_);

    // キャンセル in the progress dialog, which shows after ten asks of the clock.
    win32_script_tick_count(50);
    bool cancelled = false;
    ModalAnswer<QProgressBar> answer([&](QProgressBar* bar) {
        for (QAbstractButton* button : bar->window()->findChildren<QAbstractButton*>())
            if (button->text() == QString::fromUtf8("キャンセル")) {
                QTest::mouseClick(button, Qt::LeftButton);
                cancelled = true;
            }
    });
    set_spin(IDC_X_MAX_SPIN, 1200);
    click(IDC_LOAD_DATA);
    win32_script_tick_count(0);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(state_->field, field);
    EXPECT_EQ(text_of(main_), title);
    EXPECT_TRUE(win32_message_box_calls().empty());

    // A refusal names the server and why; the plot stays.
    state_->database_password = "not-the-password-7";
    click(IDC_LOAD_DATA);
    EXPECT_EQ(state_->field, field);
    EXPECT_EQ(text_of(main_), title);
    expect_server_failure(slow, "HTTP 401: ");
    EXPECT_TRUE(win32_open_file_calls().empty());

    // The menu's way back to files: the file dialog, and the file plotted.
    const fs::path file = root_ / "points.txt";
    std::ofstream(file) << "1100 1100\n1300 1300\n";
    choose(file);
    choose_menu_item(IDM_OPEN_DATA_FILE);
    EXPECT_EQ(win32_open_file_calls().size(), 1u);
    ASSERT_NE(state_->field, nullptr);
    EXPECT_EQ(density_field_counts(state_->field).points, 2);
    EXPECT_STREQ(state_->data_file, file.c_str());
}

// A failed open shows its message box for real: the box's own loop runs
// while the database dialog, destroyed by its Open, is still being
// answered. Clicked or with Return, the failure is told and nothing of the
// dialog is read after it is gone (the address sanitizer's run shows it).
TEST_F(DatabasePanelTest, AFailedOpenShowsTheRealBoxAfterTheDialogIsGone)
{
    const std::string missing = address("no_such_table");
    for (bool with_return : {false, true}) {
        SCOPED_TRACE(with_return ? "Return" : "click");
        choose_menu_item(IDM_OPEN_DATABASE);
        const HWND dialog = state_->database_dialog;
        ASSERT_NE(dialog, nullptr);
        SetDlgItemTextA(dialog, IDC_DATABASE_ADDRESS, missing.c_str());
        SetDlgItemTextA(dialog, IDC_DATABASE_PASSWORD, kPassword);
        QString told;
        ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
            told = box->text();
            box->accept();
        });
        win32_answer_dialogs_from_script(false);
        if (with_return) {
            const HWND field = GetDlgItem(dialog, IDC_DATABASE_ADDRESS);
            SetFocus(field);
            QTest::keyClick(win32_widget_of(field), Qt::Key_Return);
        } else {
            QTest::mouseClick(static_cast<QAbstractButton*>(win32_widget_of(GetDlgItem(dialog, IDOK))), Qt::LeftButton);
        }
        run();
        win32_answer_dialogs_from_script(true);
        EXPECT_TRUE(answer.answered());
        EXPECT_TRUE(told.startsWith(QString::fromUtf8(text(TextId::cannot_open)) + "\n" +
                                    QString::fromStdString(missing) + ": "))
            << told.toStdString();
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(state_->database_dialog, nullptr);
        EXPECT_EQ(state_->field, nullptr);
        EXPECT_TRUE(IsWindowEnabled(main_));
    }
}

// An address named on the command line opens its table as the dialog
// would: with the password from the environment at once, else, for an
// address that names its user, in the dialog filled in for the password;
// one without a user is asked at once. Never read as a file.
TEST_F(DatabasePanelTest, AnAddressNamedAtStartOpensItsTable)
{
    DestroyWindow(main_);
    drain();
    d3d9_test_reset(); // the first frame is the new window's
    const std::string named = address("points");
    const std::string anonymous = "clickhouse://" + server_name() + "/default.points?x=x&y=y";
    struct Case {
        const char* label;
        std::string address;
        const char* environment; // CLICKHOUSE_PASSWORD, or null
        bool asks;               // the dialog comes, for the password
        bool loads;
    };
    const Case cases[] = {
        {"password in the environment", named, kPassword, false, true},
        {"password typed in the dialog", named, nullptr, true, true},
        {"no user: asked at once", anonymous, nullptr, false, false},
        {"too long to keep", named + std::string(1100, 'a'), nullptr, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        win32_clear_dialog_calls();
        if (c.environment)
            setenv("CLICKHOUSE_PASSWORD", c.environment, 1);
        else
            unsetenv("CLICKHOUSE_PASSWORD");
        std::string shown_address;
        int points = -1;
        after_first_frame([&](HWND main) {
            AppState* state = app_state_of(main);
            if (const HWND dialog = state->database_dialog) {
                shown_address = text_of(GetDlgItem(dialog, IDC_DATABASE_ADDRESS));
                SetDlgItemTextA(dialog, IDC_DATABASE_PASSWORD, kPassword);
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
            if (state->field)
                points = density_field_counts(state->field).in_range;
            PostMessageA(main, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(varnel_main(GetModuleHandleA(nullptr), c.address.c_str(), nullptr), 0);
        unsetenv("CLICKHOUSE_PASSWORD");
        d3d9_test_reset();
        EXPECT_EQ(shown_address, c.asks ? c.address : "");
        EXPECT_EQ(points, c.loads ? kSide * kSide : -1);
        if (c.loads) {
            EXPECT_TRUE(win32_message_box_calls().empty());
        } else if (c.address.size() >= 1024) {
            ASSERT_EQ(win32_message_box_calls().size(), 1u);
            EXPECT_EQ(win32_message_box_calls()[0].text, text(TextId::path_too_long));
        } else {
            // The server was asked, and refused the default user's login.
            ASSERT_EQ(win32_message_box_calls().size(), 1u);
            const std::string said = win32_message_box_calls()[0].text;
            EXPECT_EQ(
                said.rfind(std::string(text(TextId::cannot_open)) + "\n" + c.address + ": " + server_name() + ": HTTP ",
                           0),
                0u)
                << said;
        }
    }
}

} // namespace
