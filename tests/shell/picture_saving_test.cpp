// Saving the picture from the render area's context menu.

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>

#include "resources/texts.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

class SaveTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        start();
        choose(write_cloud("runs/run1.txt", 2000, 2000));
        click(IDC_LOAD_DATA);
        QTest::keyClick(win32_widget_of(main_), Qt::Key_H);
        run();
        win32_clear_dialog_calls();
        std::memcpy(&settings_before_, &state_->settings, sizeof settings_before_);
    }
    // Nothing the menu does is kept in the settings.
    void expect_settings_unchanged()
    {
        EXPECT_EQ(std::memcmp(&settings_before_, &state_->settings, sizeof settings_before_), 0);
    }

    Settings settings_before_;
};

std::vector<unsigned char> bytes_of(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t big_endian(const std::vector<unsigned char>& bytes, size_t at)
{
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
}

TEST_F(SaveTest, TheMenuWritesThePresentedFrameAsAnRgbPng)
{
    QImage shown = picture();
    ASSERT_GT(surface_pixels(shown), 2000);
    fs::create_directories(root_ / "shots");
    win32_script_popup_menu(IDM_SAVE_PICTURE);
    win32_script_save_file((root_ / "shots" / "turned").c_str()); // typed without an extension
    right_click({50, 60});

    ASSERT_EQ(win32_popup_menu_calls().size(), 1u);
    const PopupMenuCall& menu = win32_popup_menu_calls()[0];
    EXPECT_EQ(menu.owner, area_);
    QPoint global = win32_widget_of(area_)->mapToGlobal(QPoint(50, 60));
    EXPECT_EQ(std::make_pair(menu.x, menu.y), std::make_pair(global.x(), global.y()));
    EXPECT_EQ(menu.outline,
              "画像を保存... #1032\n"
              "範囲をデータに合わせる #1033\n"
              "データファイルを開く... #1038\n"
              "データベースから開く... #1035\n"
              "全体が収まる距離にする (F) #1080\n"
              "最も高い山に拡大 (P) #1081\n"
              "前の範囲 (Backspace) #1082\n"
              "次の範囲 (Alt+Right) #1083\n"
              "-\n"
              "カラーマップ >\n"
              "  (o) グレー #1040\n"
              "  viridis #1041\n"
              "  magma #1042\n"
              "  cividis #1043\n"
              "  turbo #1044\n"
              "平滑化 >\n"
              "  (o) なし #1050\n"
              "  1 #1051\n"
              "  2 #1052\n"
              "  4 #1053\n"
              "  8 #1054\n"
              "  16 #1055\n"
              "  自動 (Scott の規則) #1056\n"
              "対数スケール #1060\n"
              "テクスチャのみ #1061\n"
              "[x] 軸と目盛りを表示 #1062\n"
              "旧方式のビニング #1063\n"
              "マップ表示 (真上から平面で) #1064\n"
              "x を対数軸に #1065\n"
              "y を対数軸に #1066\n"
              "縦横の単位をそろえる (マップ表示) #1067\n");

    ASSERT_EQ(win32_save_file_calls().size(), 1u);
    const FileDialogCall& dialog = win32_save_file_calls()[0];
    EXPECT_EQ(dialog.owner, main_);
    EXPECT_EQ(dialog.initial_dir, (root_ / "runs").string() + "/"); // the data file's folder
    EXPECT_EQ(dialog.filters,
              (std::vector<std::pair<std::string, std::string>>{
                  {"PNG", "*.png"}, {"JPEG", "*.jpg;*.jpeg"}, {"BMP", "*.bmp"}, {"PPM", "*.ppm"}}));
    EXPECT_EQ(dialog.default_ext, "png");

    fs::path written = root_ / "shots" / "turned.png";
    std::vector<unsigned char> bytes = bytes_of(written);
    ASSERT_GE(bytes.size(), 33u);
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    EXPECT_EQ(std::memcmp(bytes.data(), signature, 8), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 12, "IHDR", 4), 0);
    EXPECT_EQ(big_endian(bytes, 16), uint32_t(shown.width()));
    EXPECT_EQ(big_endian(bytes, 20), uint32_t(shown.height()));
    EXPECT_EQ(bytes[24], 8); // bits per sample
    EXPECT_EQ(bytes[25], 2); // RGB, no alpha
    QImage saved(QString::fromStdString(written.string()));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), shown);

    // A name with another known extension gets that format.
    win32_script_popup_menu(IDM_SAVE_PICTURE);
    win32_script_save_file((root_ / "shots" / "turned.bmp").c_str());
    right_click({50, 60});
    const std::vector<unsigned char> bitmap = bytes_of(root_ / "shots" / "turned.bmp");
    ASSERT_GE(bitmap.size(), 2u);
    EXPECT_EQ(std::memcmp(bitmap.data(), "BM", 2), 0);
    EXPECT_EQ(
        QImage(QString::fromStdString((root_ / "shots" / "turned.bmp").string())).convertToFormat(QImage::Format_RGB32),
        shown);
    EXPECT_TRUE(win32_message_box_calls().empty());
    expect_settings_unchanged();
}

TEST_F(SaveTest, ADismissedMenuOrACancelledDialogWritesNothing)
{
    win32_script_popup_menu(0);
    right_click({50, 60});
    EXPECT_EQ(win32_popup_menu_calls().size(), 1u);
    EXPECT_TRUE(win32_save_file_calls().empty());

    win32_script_popup_menu(IDM_SAVE_PICTURE);
    win32_script_save_file(nullptr);
    right_click({50, 60});
    EXPECT_EQ(win32_save_file_calls().size(), 1u);
    EXPECT_TRUE(win32_message_box_calls().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "runs"), fs::directory_iterator()), 1);
    expect_settings_unchanged();
}

TEST_F(SaveTest, AFailedSaveIsNamedInAMessageAndLeavesWhatWasThere)
{
    // A folder that is not there; a pipe under the name (never replaced,
    // never written into); an older picture, with the new one cut off by a
    // file size limit half-way; a name whose extension is no format we write.
    const fs::path old_picture = root_ / "plot.png";
    std::ofstream(old_picture) << "the older picture";
    const fs::path pipe = root_ / "pipe.png";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        fs::path target;
        rlim_t size_limit;
    };
    for (const Case& c : {Case{root_ / "no such folder" / "picture.png", RLIM_INFINITY}, Case{pipe, RLIM_INFINITY},
                          Case{old_picture, 1000}, Case{root_ / "plot.gif", RLIM_INFINITY}}) {
        SCOPED_TRACE(c.target);
        win32_clear_dialog_calls();
        win32_script_popup_menu(IDM_SAVE_PICTURE);
        win32_script_save_file(c.target.c_str());
        rlimit before;
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit limited = before;
        limited.rlim_cur = c.size_limit;
        setrlimit(RLIMIT_FSIZE, &limited);
        right_click({50, 60});
        setrlimit(RLIMIT_FSIZE, &before);
        char message[2048];
        std::snprintf(message, sizeof message, text(TextId::cannot_save_format), c.target.c_str());
        expect_one_message(message);
    }
    EXPECT_FALSE(fs::exists(root_ / "no such folder"));
    EXPECT_FALSE(fs::exists(root_ / "plot.gif"));
    EXPECT_TRUE(fs::is_fifo(pipe));
    const std::vector<unsigned char> old_bytes = bytes_of(old_picture);
    EXPECT_EQ(std::string(old_bytes.begin(), old_bytes.end()), "the older picture");
    // Nothing but what the test made: no temporary file stays behind.
    for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    expect_settings_unchanged();
}

} // namespace
