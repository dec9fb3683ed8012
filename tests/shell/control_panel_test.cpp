#include <QApplication>

#include <cerrno>
#include <cstring>

#include "resources/texts.h"
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

TEST_F(PanelTest, TheMarkerControlsFollowTheRangeOfEachLoad)
{
    EXPECT_EQ(spin_range(IDC_X_MARKER_SPIN), std::make_pair(-8000, 8000));
    set_spin(IDC_X_MIN_SPIN, 100);
    set_spin(IDC_X_MAX_SPIN, 500);
    set_spin(IDC_Y_MIN_SPIN, -300);
    load(write_cloud("run1.txt", 300, 300));
    EXPECT_EQ(spin_range(IDC_X_MARKER_SPIN), std::make_pair(100, 500));
    EXPECT_EQ(spin_range(IDC_Y_MARKER_SPIN), std::make_pair(-300, 4000));
    set_spin(IDC_X_MARKER_SPIN, 900);
    EXPECT_EQ(spin(IDC_X_MARKER_SPIN), 500);
    // Points outside the range were counted, not plotted.
    EXPECT_GT(state_->field->ops.rejected(state_->field), 0);
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

TEST_F(PanelTest, AFileWithoutPointsStillReplacesThePlot)
{
    load(write_cloud("data/run1.txt", 2000, 2000));
    DensityField* old = state_->field;
    load(write_file("data/header.txt", "x y\nsome words\n"));
    EXPECT_TRUE(win32_message_box_calls().empty());
    EXPECT_NE(state_->field, nullptr);
    EXPECT_NE(state_->field, old);
    EXPECT_EQ(text_of(main_), "Varnel : header.txt");
    EXPECT_EQ(state_->field->ops.data(state_->field)[100 * 201 + 100], 0.0);
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
            set_panel_ranges(panel_); // the marker free of the last load's range
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
    EXPECT_EQ(field_text(IDC_X_MAX_EDIT), "4,000");
}

} // namespace
