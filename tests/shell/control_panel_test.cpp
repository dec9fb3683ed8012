#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QPointer>
#include <QComboBox>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include <unistd.h>
#include <zlib.h>

#include "field/binning_rules.h"
#include "field/field_loader.h"
#include "render/renderer_state.h"
#include "field/loopback_port.h"
#include "resources/texts.h"
#include "shell/picture_menu.h"
#include "shell/settings.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

class PanelTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        start();
        win32_clear_dialog_calls();
    }
    void load(const fs::path& path)
    {
        choose(path);
        click(IDC_LOAD_DATA);
    }
    // What a load must leave alone when it fails.
    struct Plot {
        DensityField* field;
        std::string title;
        std::string data_path;
    };
    Plot plot() { return {state_->field, text_of(main_), state_->settings.data_path}; }
    void expect_unchanged(const Plot& before)
    {
        EXPECT_EQ(state_->field, before.field);
        EXPECT_EQ(text_of(main_), before.title);
        EXPECT_EQ(std::string(state_->settings.data_path), before.data_path);
    }
};

TEST_F(PanelTest, ADataFileChosenInTheDialogBecomesThePlot)
{
    fs::path file = write_cloud("data/run1.txt", 2000, 2000);
    UINT before = frames();
    load(file);
    ASSERT_EQ(win32_open_file_calls().size(), 1u);
    const FileDialogCall& call = win32_open_file_calls()[0];
    EXPECT_EQ(call.owner, main_);
    EXPECT_EQ(call.title, "データファイル選択");
    EXPECT_EQ(call.initial_dir, ""); // the system's own folder the first time
    EXPECT_EQ(call.filters, (std::vector<std::pair<std::string, std::string>>{{"all type", "*.*"}}));
    EXPECT_EQ(call.flags, DWORD(0x1808));
    EXPECT_EQ(call.filter_index, 0u);
    EXPECT_EQ(call.max_file, 1024u);

    EXPECT_EQ(text_of(main_), "Varnel : run1.txt");
    EXPECT_EQ(std::string(state_->settings.data_path), (root_ / "data").string() + "/");
    ASSERT_NE(state_->field, nullptr);
    EXPECT_EQ(state_->field->ops.rejected(state_->field), 0);
    EXPECT_EQ(frames(), before + 1);
    EXPECT_TRUE(win32_message_box_calls().empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr); // the busy pointer is gone again
}

// Decimals, signs and magnitudes far past the old spin limits are loaded as
// typed: a cloud from -200 to 200 in steps of 10 has 22 x (from -10 after
// the shift below 40) and 21 y (from 0) inside.
TEST_F(PanelTest, TheRangeFieldsAreLoadedAsTyped)
{
    // A new file is first shown over its own range; the same file again,
    // over the range typed.
    const fs::path file = write_cloud("run1.txt", 0, 0);
    load(file);
    const char* texts[][2] = {{"-12.5", "1e3"}, {"-0.25", "50000"}};
    SetWindowTextA(buddy(IDC_X_MIN_SPIN), texts[0][0]);
    SetWindowTextA(buddy(IDC_X_MAX_SPIN), texts[0][1]);
    SetWindowTextA(buddy(IDC_Y_MIN_SPIN), texts[1][0]);
    SetWindowTextA(buddy(IDC_Y_MAX_SPIN), texts[1][1]);
    load(file);
    ASSERT_NE(state_->field, nullptr);
    EXPECT_EQ(density_field_counts(state_->field).in_range, 22 * 21);
    EXPECT_EQ(field_text(IDC_X_MIN_EDIT), "-12.5");
    EXPECT_TRUE(win32_message_box_calls().empty());
}

// Text that is no number stops the load or the marker before anything
// changes, with a message naming the field; the text stays for correcting.
TEST_F(PanelTest, TextThatIsNoNumberIsRefusedNamingTheField)
{
    load(write_cloud("data/run1.txt", 2000, 2000));
    win32_clear_dialog_calls();
    struct Case {
        int spin;
        const char* text;
        int button;
        const char* name;
    };
    // Longer than any buffer of old, and no number only at its end.
    const std::string long_text = std::string(300, '1') + "x";
    const Case cases[] = {
        {IDC_X_MAX_SPIN, "12,5", IDC_LOAD_DATA, "X[max]"},
        {IDC_X_MIN_SPIN, long_text.c_str(), IDC_LOAD_DATA, "X[min]"},
        {IDC_Y_MIN_SPIN, "abc", IDC_LOAD_DATA, "Y[min]"},
        {IDC_X_MIN_SPIN, "", IDC_LOAD_DATA, "X[min]"},
        {IDC_Y_MAX_SPIN, "2e999", IDC_LOAD_DATA, "Y[max]"},
        {IDC_X_MARKER_SPIN, "-", IDC_SET_MARKER, "マーカー X"},
        {IDC_Y_MARKER_SPIN, "inf", IDC_SET_MARKER, "マーカー Y"},
        {IDC_X_MARKER_SPIN, "+-5", IDC_SET_MARKER, "マーカー X"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string kept = text_of(buddy(c.spin));
        SetWindowTextA(buddy(c.spin), c.text);
        Plot before = plot();
        UINT frames_before = frames();
        click(c.button);
        EXPECT_TRUE(win32_open_file_calls().empty());
        expect_one_message(std::string("「") + c.name + "」の「" + c.text +
                           "」は数として読めません。\n有限の数を入力してください。");
        expect_unchanged(before);
        EXPECT_EQ(frames(), frames_before);
        EXPECT_EQ(text_of(buddy(c.spin)), c.text);
        SetWindowTextA(buddy(c.spin), kept.c_str());
    }
}

// The arrows (here their keys) step by 1, 2 or 5 times a power of ten near
// a hundredth of the span of the field's axis.
TEST_F(PanelTest, TheArrowsStepByARoundPartOfTheSpan)
{
    struct Case {
        const char* x_range[2];
        int spin;
        const char* from;
        Qt::Key key;
        const char* to;
    };
    // 0.5000...01e3, 306 characters: the whole text is the number, its
    // exponent at the end included.
    const std::string long_number = "0.5" + std::string(300, '0') + "1e3";
    const Case cases[] = {
        {{"0", "4000"}, IDC_X_MAX_SPIN, "4000", Qt::Key_Up, "4050"},
        {{"0", "4000"}, IDC_X_MARKER_SPIN, long_number.c_str(), Qt::Key_Up, "550"},
        {{"-12.5", "1"}, IDC_X_MIN_SPIN, "-12.5", Qt::Key_Up, "-12.4"},
        {{"0", "0.3"}, IDC_X_MARKER_SPIN, "0.1", Qt::Key_Down, "0.098"},
        // Past a billion, as unix seconds are.
        {{"-1e9", "1e9"}, IDC_X_MAX_SPIN, "1e9", Qt::Key_Up, "1020000000"},
        {{"1.7e9", "1.8e9"}, IDC_X_MIN_SPIN, "1700000000", Qt::Key_Down, "1699000000"},
        {{"0", "20"}, IDC_X_MARKER_SPIN, "0.1", Qt::Key_Up, "0.3"}, // not 0.30000000000000004
        {{"5", "5"}, IDC_X_MIN_SPIN, "5", Qt::Key_Down, "4"},
        {{"0", "4000"}, IDC_X_MARKER_SPIN, "abc", Qt::Key_Up, "abc"},
        {{"0", "4000"}, IDC_X_MARKER_SPIN, " +500 ", Qt::Key_Up, "550"}, // as a user may type it
        // Y's fields step by Y's span, 0 to 1 here.
        {{"0", "4000"}, IDC_Y_MARKER_SPIN, "0.5", Qt::Key_Up, "0.51"},
        {{"0", "4000"}, IDC_Y_MAX_SPIN, "1", Qt::Key_Down, "0.99"},
        {{"0", "4000"}, IDC_Y_MIN_SPIN, "0", Qt::Key_Up, "0.01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        SetWindowTextA(buddy(IDC_X_MIN_SPIN), c.x_range[0]);
        SetWindowTextA(buddy(IDC_X_MAX_SPIN), c.x_range[1]);
        SetWindowTextA(buddy(IDC_Y_MIN_SPIN), "0");
        SetWindowTextA(buddy(IDC_Y_MAX_SPIN), "1");
        SetWindowTextA(buddy(c.spin), c.from);
        SetFocus(buddy(c.spin));
        QTest::keyClick(win32_widget_of(buddy(c.spin)), c.key);
        run();
        EXPECT_EQ(text_of(buddy(c.spin)), c.to);
    }
}

// A new file whose points mostly miss the range is shown over its own,
// and the status line says so; the same file again, over a range that all
// its points miss: the question, then the plot as answered.
TEST_F(PanelTest, PointsOutsideTheRangeOfferToFitIt)
{
    const fs::path file = write_cloud("run1.txt", 2000, 2000);
    set_spin(IDC_X_MAX_SPIN, 10);
    set_spin(IDC_Y_MAX_SPIN, 10);
    load(file);
    EXPECT_TRUE(win32_message_box_calls().empty());
    EXPECT_EQ(density_field_counts(state_->field).in_range, 1681);
    EXPECT_EQ(field_text(IDC_X_MIN_EDIT), "1800");
    ASSERT_NE(renderer_state(state_->renderer)->readout, nullptr);
    EXPECT_STREQ(renderer_state(state_->renderer)->readout, text(TextId::range_fitted_note));
    // A file in the range it finds is left there.
    const fs::path inside = write_cloud("run2.txt", 2000, 2000);
    SetWindowTextA(buddy(IDC_X_MIN_SPIN), "0");
    SetWindowTextA(buddy(IDC_X_MAX_SPIN), "4000");
    load(inside);
    EXPECT_EQ(field_text(IDC_X_MAX_EDIT), "4000");
    load(file);
    set_spin(IDC_X_MIN_SPIN, 0);
    set_spin(IDC_Y_MIN_SPIN, 0);
    set_spin(IDC_X_MAX_SPIN, 10);
    set_spin(IDC_Y_MAX_SPIN, 10);
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer);
        win32_script_message_box(answer);
        load(file);
        ASSERT_EQ(win32_message_box_calls().size(), 1u);
        const MessageBoxCall& box = win32_message_box_calls()[0];
        EXPECT_EQ(box.text,
                  "1681 個の点を読み込みましたが、範囲 X 0..10, Y 0..10 に入る点はありません。\n"
                  "範囲をデータに合わせますか？");
        EXPECT_EQ(box.type, UINT(MB_YESNO | MB_ICONQUESTION));
        win32_clear_dialog_calls();
        ASSERT_NE(state_->field, nullptr);
        EXPECT_EQ(text_of(main_), "Varnel : run1.txt");
        if (answer == IDNO) {
            EXPECT_EQ(density_field_counts(state_->field).in_range, 0);
            EXPECT_EQ(field_text(IDC_X_MAX_EDIT), "10");
        }
    }
    // The points run from 1800 to 2200: nine steps of 50, the top one above them.
    EXPECT_EQ(density_field_counts(state_->field).in_range, 1681);
    for (int edit : {IDC_X_MIN_EDIT, IDC_Y_MIN_EDIT})
        EXPECT_EQ(field_text(edit), "1800");
    for (int edit : {IDC_X_MAX_EDIT, IDC_Y_MAX_EDIT})
        EXPECT_EQ(field_text(edit), "2250");
    EXPECT_GT(surface_pixels(picture()), 2000);
}

// A log axis from zero is fitted to the points above it, whichever axis
// it is; the other keeps its range.
TEST_F(PanelTest, ALogAxisFromZeroIsFitted)
{
    load(write_cloud("run1.txt", 2000, 2000));
    set_spin(IDC_X_MIN_SPIN, 1);
    set_spin(IDC_Y_MIN_SPIN, 0);
    choose_picture_item(state_, IDM_LOG_Y);
    run();
    ASSERT_NE(state_->field, nullptr);
    bool log_x = true, log_y = false;
    density_field_log_axes(state_->field, &log_x, &log_y);
    EXPECT_FALSE(log_x);
    EXPECT_TRUE(log_y);
    EXPECT_GT(density_field_range(state_->field).y_min, 0);
}

// The render area's menu fits the range to the file last loaded.
TEST_F(PanelTest, TheMenuFitsTheRangeToTheData)
{
    choose_menu_item(IDM_FIT_RANGE);
    EXPECT_EQ(field_text(IDC_X_MAX_EDIT), "4000"); // no file yet: the item is off
    EXPECT_EQ(state_->field, nullptr);

    state_->settings.binning = int32_t(BinningRule::classic);
    // A new file, its points mostly outside the range, is fitted at once;
    // loaded again over the range typed, the menu fits it.
    const fs::path file = write_file("run1.txt", "-3.5 100\n7 120\n0.25 1e3\n");
    load(file);
    EXPECT_EQ(field_text(IDC_X_MIN_EDIT), "-5");
    EXPECT_EQ(density_field_counts(state_->field).in_range, 3);
    for (int spin : {IDC_X_MIN_SPIN, IDC_Y_MIN_SPIN})
        set_spin(spin, 0);
    for (int spin : {IDC_X_MAX_SPIN, IDC_Y_MAX_SPIN})
        set_spin(spin, 4000);
    load(file);
    EXPECT_EQ(density_field_counts(state_->field).in_range, 1);
    win32_clear_dialog_calls();
    choose_menu_item(IDM_FIT_RANGE);
    ASSERT_EQ(win32_popup_menu_calls().size(), 1u);
    EXPECT_EQ(win32_popup_menu_calls()[0].items[1],
              std::make_pair(UINT_PTR(IDM_FIT_RANGE), std::string(text(TextId::fit_range_item))));
    // x is plotted one lower below 40: -4.5 to 6, five steps of 2.5; ten of 100.
    EXPECT_EQ(field_text(IDC_X_MIN_EDIT), "-5");
    EXPECT_EQ(field_text(IDC_X_MAX_EDIT), "7.5");
    EXPECT_EQ(field_text(IDC_Y_MIN_EDIT), "100");
    EXPECT_EQ(field_text(IDC_Y_MAX_EDIT), "1100");
    EXPECT_EQ(density_field_counts(state_->field).in_range, 3);

    // Bilinear binning, the menu's check item cleared, loads the file again
    // with every x where it is, and fits it where it is.
    choose_menu_item(IDM_CLASSIC_BINNING);
    EXPECT_EQ(state_->settings.binning, int32_t(BinningRule::bilinear));
    EXPECT_EQ(density_field_counts(state_->field).in_range, 3);
    choose_menu_item(IDM_FIT_RANGE);
    EXPECT_EQ(field_text(IDC_X_MIN_EDIT), "-4");
    EXPECT_EQ(field_text(IDC_X_MAX_EDIT), "8");
    EXPECT_TRUE(win32_message_box_calls().empty());
}

// The menu's database item takes a table's address in a dialog; a server
// that is not there is named with its reason, and the plot stays. A table
// of cell sums opens as a data file.
TEST_F(PanelTest, TheMenuOpensATableByItsAddressAndSumsOpenAsData)
{
    load(write_cloud("data/run1.txt", 2000, 2000));
    const Plot before = plot();
    // A loopback port that nothing listens on.
    const std::string server = "127.0.0.1:" + std::to_string(free_loopback_port());
    const std::string address = "clickhouse://" + server + "/sky.stars?x=ra&y=dec";

    choose_menu_item(IDM_OPEN_DATABASE);
    const HWND dialog = state_->database_dialog;
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main_));
    SetDlgItemTextA(dialog, IDC_DATABASE_ADDRESS, address.c_str());
    QTest::mouseClick(static_cast<QAbstractButton*>(win32_widget_of(GetDlgItem(dialog, IDOK))), Qt::LeftButton);
    run();
    EXPECT_EQ(state_->database_dialog, nullptr);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowEnabled(main_));
    ASSERT_EQ(win32_message_box_calls().size(), 1u);
    const std::string said = std::string(text(TextId::cannot_open)) + "\n" + address + ": " + server + ": ";
    EXPECT_EQ(win32_message_box_calls()[0].text.rfind(said, 0), 0u) << win32_message_box_calls()[0].text;
    win32_clear_dialog_calls();
    expect_unchanged(before);

    // A password written in the address is never shown back.
    choose_menu_item(IDM_OPEN_DATABASE);
    ASSERT_NE(state_->database_dialog, nullptr);
    SetDlgItemTextA(state_->database_dialog, IDC_DATABASE_ADDRESS, (address + "&password=hunter2-secret").c_str());
    QTest::mouseClick(static_cast<QAbstractButton*>(win32_widget_of(GetDlgItem(state_->database_dialog, IDOK))),
                      Qt::LeftButton);
    run();
    ASSERT_EQ(win32_message_box_calls().size(), 1u);
    EXPECT_EQ(win32_message_box_calls()[0].text.find("hunter2"), std::string::npos)
        << win32_message_box_calls()[0].text;
    EXPECT_NE(win32_message_box_calls()[0].text.find("&password=..."), std::string::npos);
    win32_clear_dialog_calls();
    expect_unchanged(before);

    // Cancel loads nothing.
    choose_menu_item(IDM_OPEN_DATABASE);
    ASSERT_NE(state_->database_dialog, nullptr);
    QTest::mouseClick(static_cast<QAbstractButton*>(win32_widget_of(GetDlgItem(state_->database_dialog, IDCANCEL))),
                      Qt::LeftButton);
    run();
    EXPECT_EQ(state_->database_dialog, nullptr);
    EXPECT_TRUE(win32_message_box_calls().empty());
    expect_unchanged(before);

    // Two cells' sums over 0..4000: five points in all, one outside.
    load(write_file("data/sums.csv",
                    "gx,gy,n,sfx,sfy,sfxfy,x_min,x_max,y_min,y_max\n"
                    "10,20,3,1.5,0,0,0,4000,0,4000\n"
                    "11,20,1,0,0,0,0,4000,0,4000\n"
                    "-1,-1,1,0,0,0,0,4000,0,4000\n"));
    ASSERT_NE(state_->field, nullptr);
    EXPECT_NE(state_->field, before.field);
    const FieldCounts counts = density_field_counts(state_->field);
    EXPECT_EQ(counts.points, 5);
    EXPECT_EQ(counts.in_range, 4);
    // Node (11, 20) takes half of the first cell's three and all of the second's one point.
    EXPECT_EQ(state_->field->ops.data(state_->field)[20 * 201 + 11], 1.0);
    EXPECT_EQ(density_field_max(state_->field), 2.5);
    EXPECT_TRUE(win32_message_box_calls().empty());
}

TEST_F(PanelTest, CancellingTheDialogOnlyResetsTheTitle)
{
    load(write_cloud("data/run1.txt", 2000, 2000));
    Plot before = plot();
    win32_script_open_file(nullptr); // cancel
    click(IDC_LOAD_DATA);
    EXPECT_EQ(text_of(main_), "Varnel");
    EXPECT_EQ(state_->field, before.field);
    EXPECT_EQ(std::string(state_->settings.data_path), before.data_path);
    EXPECT_EQ(win32_open_file_calls().back().initial_dir, before.data_path);
    EXPECT_TRUE(win32_message_box_calls().empty());
}

TEST_F(PanelTest, AFileThatCannotBeReadLeavesEverythingAsItWas)
{
    load(write_cloud("data/run1.txt", 2000, 2000));
    fs::path locked = write_cloud("locked/run2.txt", 1000, 1000);
    fs::permissions(locked.parent_path(), fs::perms::none);
    // A damaged compressed file: the decompressor's reason, as the loader gives it.
    const fs::path cut = root_ / "data" / "cut.txt.gz";
    {
        gzFile gz = gzopen(cut.c_str(), "wb");
        ASSERT_NE(gz, nullptr);
        std::ifstream whole(write_cloud("data/whole.txt", 1500, 1500), std::ios::binary);
        const std::string lines((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
        gzwrite(gz, lines.data(), unsigned(lines.size()));
        gzclose(gz);
        // Its middle overwritten: damage the decompressor finds.
        std::fstream damage(cut, std::ios::in | std::ios::out | std::ios::binary);
        damage.seekp(std::streamoff(fs::file_size(cut) / 2));
        damage.write(std::string(64, '\xA5').data(), 64);
    }
    LoadRequest cut_request;
    cut_request.path = cut.string();
    DataFileMeter meter;
    const std::string cut_reason = load_field(cut_request, LoadWatch{&meter, {}}).problem;
    ASSERT_FALSE(cut_reason.empty());
    struct Case {
        const char* what;
        fs::path path;
        std::string reason; // the system's, after the file's name
    };
    const Case cases[] = {
        {"missing", root_ / "data" / "missing.txt", std::strerror(ENOENT)},
        {"folder", root_ / "data", std::strerror(EISDIR)},
        {"device", "/dev/zero", text(TextId::not_a_regular_file)},
        {"read error", "/proc/self/mem", std::strerror(EIO)}, // opens, then every read fails
        {"damaged", cut, cut_reason},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plot before = plot();
        load(c.path);
        expect_one_message(std::string(text(TextId::cannot_open)) + "\n" + c.path.string() + ": " + c.reason);
        expect_unchanged(before);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    fs::permissions(locked.parent_path(), fs::perms::owner_all);
}

// A file without a single point says so, with the first line that held
// text but no point, and leaves the plot as it was.
TEST_F(PanelTest, AFileWithoutPointsSaysSoAndKeepsThePlot)
{
    load(write_cloud("data/run1.txt", 2000, 2000));
    struct Case {
        std::string text;
        long long line; // 0: no such line
    };
    const Case cases[] = {
        {"x y\nsome words\n", 2},
        {"", 0},
        {"# a comment\n\n", 0},
        {std::string("\0\0\x01\x02 binary\n\xff", 13), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Plot before = plot();
        const fs::path file = write_file("data/none.txt", c.text);
        load(file);
        char expected[2048];
        if (c.line)
            std::snprintf(expected, sizeof expected, text(TextId::no_readable_point_format), file.c_str(), c.line);
        else
            std::snprintf(expected, sizeof expected, text(TextId::no_point_format), file.c_str());
        expect_one_message(expected);
        expect_unchanged(before);
    }
}

TEST_F(PanelTest, AFieldThatCannotBeMadeEmptiesThePlotAndKeepsTheRest)
{
    load(write_cloud("data/run1.txt", 2000, 2000));
    set_spin(IDC_X_MARKER_SPIN, 2000);
    set_spin(IDC_Y_MARKER_SPIN, 2000);
    click(IDC_SET_MARKER);
    Plot before = plot();
    density_field_test_fail_create();
    load(write_cloud("other/run2.txt", 1000, 1000));
    expect_one_message(text(TextId::no_field));
    EXPECT_EQ(state_->field, nullptr);
    EXPECT_EQ(text_of(main_), before.title);
    EXPECT_EQ(std::string(state_->settings.data_path), before.data_path);
    // Without a plot there is no file to fit the range to: the item is off.
    choose_menu_item(IDM_FIT_RANGE);
    EXPECT_EQ(field_text(IDC_X_MAX_EDIT), "4000");
    EXPECT_TRUE(win32_message_box_calls().empty());
    // The renderer holds no field any more: placing the marker again reads
    // nothing of the destroyed one, and a later load works.
    click(IDC_SET_MARKER);
    run();
    load(write_cloud("other/run2.txt", 1000, 1000));
    EXPECT_NE(state_->field, nullptr);
    EXPECT_EQ(text_of(main_), "Varnel : run2.txt");
}

TEST_F(PanelTest, TextureLoadAndClearKeepTheFolder)
{
    fs::path picture = write_file("pictures/wood.bmp", "BM not really");
    UINT before = frames();
    choose(picture);
    click(IDC_LOAD_TEXTURE);
    ASSERT_EQ(win32_open_file_calls().size(), 1u);
    const FileDialogCall& call = win32_open_file_calls()[0];
    EXPECT_EQ(call.title, "テクスチャファイル選択");
    EXPECT_EQ(call.filters,
              (std::vector<std::pair<std::string, std::string>>{
                  {"画像ファイル", "*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.tga;*.dds;*.ppm;*.pgm;*.pnm;*.hdr;*.pfm"},
                  {"すべてのファイル", "*.*"}}));
    EXPECT_EQ(call.flags, DWORD(0x1808));
    EXPECT_EQ(std::string(state_->settings.texture_path), (root_ / "pictures").string() + "/");
    EXPECT_EQ(frames(), before + 1);
    EXPECT_TRUE(win32_message_box_calls().empty()); // a file that is no picture is not reported

    // A cancelled dialog still repaints; clearing keeps the folder.
    win32_script_open_file(nullptr); // cancel
    click(IDC_LOAD_TEXTURE);
    EXPECT_EQ(frames(), before + 2);
    EXPECT_EQ(win32_open_file_calls().back().initial_dir, (root_ / "pictures").string() + "/");
    click(IDC_CLEAR_TEXTURE);
    EXPECT_EQ(frames(), before + 3);
    EXPECT_EQ(std::string(state_->settings.texture_path), (root_ / "pictures").string() + "/");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The cross stands on the surface only for a marker inside a range that
// has an inside, edges included; clearing takes it off again.
TEST_F(PanelTest, TheMarkerCrossIsDrawnOnlyInsideARangeWithAnInside)
{
    struct MarkerCase {
        const char* what;
        int x_min, x_max, y_min, y_max, x, y;
        bool drawn;
    };
    const MarkerCase cases[] = {
        {"inside", 0, 4000, 0, 4000, 1000, 3000, true},
        {"on the upper edge", 0, 4000, 0, 4000, 4000, 4000, true},
        {"on the lower edge", 0, 4000, 0, 4000, 0, 0, true},
        {"empty range", 500, 500, 0, 4000, 500, 10, false},
        {"inverted range", 4000, 0, 0, 4000, 100, 100, false},
        {"outside", 0, 4000, 0, 4000, -100, 5000, false},
        {"just past the upper edge", 0, 4000, 0, 4000, 4001, 2000, false},
        {"just past the upper edge in y", 0, 4000, 0, 4000, 2000, 4001, false},
        {"just below the lower edge in y", 0, 4000, 0, 4000, 2000, -1, false},
    };
    // Before any load the marker is only recorded; afterwards the cross is built.
    for (bool loaded : {false, true}) {
        if (loaded)
            load(write_cloud("run1.txt", 2000, 2000));
        for (const MarkerCase& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << (loaded ? " after a load" : " before a load"));
            set_spin(IDC_X_MIN_SPIN, c.x_min);
            set_spin(IDC_X_MAX_SPIN, c.x_max);
            set_spin(IDC_Y_MIN_SPIN, c.y_min);
            set_spin(IDC_Y_MAX_SPIN, c.y_max);
            set_spin(IDC_X_MARKER_SPIN, c.x);
            set_spin(IDC_Y_MARKER_SPIN, c.y);
            click(IDC_SET_MARKER);
            if (loaded && c.drawn)
                EXPECT_GT(count(picture(), is_yellow), 50);
            else
                EXPECT_EQ(count(picture(), is_yellow), 0);
            click(IDC_CLEAR_MARKER);
            EXPECT_EQ(count(picture(), is_yellow), 0);
        }
    }
}

TEST_F(PanelTest, OnlyTheCameraSpinControlsSendTheCamera)
{
    struct ScrollCase {
        int spin;
        bool camera;
    };
    for (const ScrollCase& c :
         {ScrollCase{IDC_RADIUS_SPIN, true}, ScrollCase{IDC_AZIMUTH_SPIN, true}, ScrollCase{IDC_ELEVATION_SPIN, true},
          ScrollCase{IDC_X_MIN_SPIN, false}, ScrollCase{IDC_Y_MAX_SPIN, false}, ScrollCase{IDC_X_MARKER_SPIN, false}}) {
        SCOPED_TRACE(c.spin);
        for (WPARAM code : {WPARAM(SB_THUMBPOSITION), WPARAM(SB_ENDSCROLL)}) {
            UINT before = frames();
            SendMessageA(panel_, WM_VSCROLL, code, reinterpret_cast<LPARAM>(GetDlgItem(panel_, c.spin)));
            run();
            EXPECT_EQ(frames(), before + (c.camera ? 1 : 0));
        }
    }
}

TEST_F(PanelTest, EnterAndEscapeInThePanelChangeNothing)
{
    HWND field = GetDlgItem(panel_, IDC_X_MAX_EDIT);
    SetFocus(field);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QTest::keyClick(win32_widget_of(field), key);
        run();
    }
    EXPECT_TRUE(IsWindow(main_));
    EXPECT_TRUE(win32_open_file_calls().empty());
    EXPECT_EQ(field_text(IDC_X_MAX_EDIT), "4000");
}

// A header of more than two columns is asked about: the lists start at the
// columns the reader would pick (not the row names, not the text) and at
// the count, the height's list offers the sum and the mean of each numeric
// column, the answer is what loads, a file with the same header is not
// asked again, and a cancelled question leaves the plot as it was.
TEST_F(PanelTest, TheColumnsOfAWideFileArePickedInADialogOnce)
{
    const std::string header = "\"\",\"species\",\"a\",\"b\",\"c\"\n";
    std::vector<int> first_choice;
    QStringList heights;
    int asked = 0;
    // The answer: the lists' entries for x, y and the height, then a button.
    const auto answer = [&](QString button_text, int x, int y, int height) {
        return [&, button_text, x, y, height](QComboBox* list) {
            ++asked;
            const QList<QComboBox*> lists = list->window()->findChildren<QComboBox*>();
            ASSERT_EQ(lists.size(), 3);
            first_choice = {lists[0]->currentIndex() + 1, lists[1]->currentIndex() + 1, lists[2]->currentIndex()};
            heights.clear();
            for (int k = 0; k < lists[2]->count(); ++k)
                heights << lists[2]->itemText(k);
            lists[0]->setCurrentIndex(x);
            lists[1]->setCurrentIndex(y);
            lists[2]->setCurrentIndex(height);
            for (QAbstractButton* button : list->window()->findChildren<QAbstractButton*>())
                if (button->text() == button_text)
                    QTest::mouseClick(button, Qt::LeftButton);
        };
    };
    {
        ModalAnswer<QComboBox> answering(answer("OK", 4, 2, 5)); // x: c, y: a, height: the mean of b
        load(write_file("penguins.csv", header + "\"1\",\"Adelie\",1000,2000,3000\n\"2\",\"Adelie\",1000,4000,3000\n"));
    }
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(first_choice, (std::vector<int>{3, 4, 0}));
    const auto entry = [](TextId format, const char* column) {
        char said[256];
        std::snprintf(said, sizeof said, text(format), column);
        return QString::fromUtf8(said);
    };
    QStringList offered{QString::fromUtf8(text(TextId::height_count_entry))};
    for (TextId format : {TextId::scale_sum_format, TextId::scale_mean_format})
        for (const char* column : {"a", "b", "c"})
            offered << entry(format, column);
    EXPECT_EQ(heights, offered);
    ASSERT_NE(state_->field, nullptr);
    // Both points at x = 3000, y = 1000: node (150, 50) holds the mean of
    // their b, in b's units.
    EXPECT_EQ(state_->field->ops.data(state_->field)[50 * 201 + 150], 3000.0);

    // The same header again: no question, the same columns and height.
    {
        ModalAnswer<QComboBox> answering(answer("OK", 4, 2, 5));
        load(write_file("more.csv", header + "\"1\",\"Gentoo\",500,2000,1500\n"));
    }
    EXPECT_EQ(asked, 1);
    ASSERT_NE(state_->field, nullptr);
    EXPECT_EQ(state_->field->ops.data(state_->field)[25 * 201 + 75], 2000.0);
    EXPECT_EQ(text_of(main_), "Varnel : more.csv");

    // Another header, its height the sum of a column (x: r, y: q, the
    // weights p): the greatest node holds 1, and the answer holds for the
    // next file of that header too.
    for (const char* name : {"sums.csv", "more sums.csv"}) {
        ModalAnswer<QComboBox> answering(answer("OK", 2, 1, 1));
        load(write_file(name, "p,q,r\n5,1000,3000\n-1,1000,3000\n1,2000,1000\n"));
    }
    EXPECT_EQ(asked, 2);
    ASSERT_NE(state_->field, nullptr);
    const double* nodes = state_->field->ops.data(state_->field);
    EXPECT_EQ(nodes[50 * 201 + 150], 1.0);  // 5 - 1 = 4 there
    EXPECT_EQ(nodes[100 * 201 + 50], 0.25); // 1 there

    // Names that run together as the last header's do are another header.
    {
        ModalAnswer<QComboBox> answering(answer("OK", 2, 1, 0));
        load(write_file("joined.csv", "pq,r,\n5,1000,3000\n"));
    }
    EXPECT_EQ(asked, 3);
    // One column for both is no answer: the dialog stays until they differ.
    bool stayed = false;
    {
        ModalAnswer<QComboBox> answering([&](QComboBox* list) {
            ++asked;
            QWidget* dialog = list->window();
            const QList<QComboBox*> lists = dialog->findChildren<QComboBox*>();
            QAbstractButton* ok = nullptr;
            for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
                ok = button->text() == "OK" ? button : ok;
            ASSERT_NE(ok, nullptr);
            lists[0]->setCurrentIndex(1);
            lists[1]->setCurrentIndex(1);
            QTest::mouseClick(ok, Qt::LeftButton);
            // A dialog that ended is gone once its loop has run again, well
            // within a tenth of a second.
            QTimer::singleShot(100, [guard = QPointer<QWidget>(dialog), second = lists[1], ok, &stayed] {
                stayed = !guard.isNull() && guard->isVisible();
                if (!stayed)
                    return;
                second->setCurrentIndex(2);
                QTest::mouseClick(ok, Qt::LeftButton);
            });
        });
        load(write_file("same.csv", "v,w,x\n1,1000,3000\n"));
    }
    EXPECT_EQ(asked, 4);
    EXPECT_TRUE(stayed);
    ASSERT_NE(state_->field, nullptr);
    EXPECT_EQ(state_->field->ops.data(state_->field)[150 * 201 + 50], 1.0); // x from w, y from x
    // A header again new, the question cancelled: the plot stays, and no
    // message says the file held nothing.
    const DensityField* shown = state_->field;
    win32_clear_dialog_calls();
    {
        ModalAnswer<QComboBox> answering(answer(QString::fromUtf8(text(TextId::cancel_button)), 0, 1, 0));
        load(write_file("other.csv", "s,t,u\n1,2,3\n"));
    }
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(state_->field, shown);
    EXPECT_TRUE(win32_message_box_calls().empty());
    EXPECT_EQ(text_of(main_), "Varnel : same.csv");
}

} // namespace
