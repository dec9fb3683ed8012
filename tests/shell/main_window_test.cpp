#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "render/text/camera_fit.h"
#include "resources/texts.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

TEST_F(ViewerTest, FirstStartShowsTheDefaultsAndLaysTheWindowOut)
{
    start();
    struct Field {
        int id;
        const char* text;
    };
    for (const Field& f : {Field{IDC_X_MIN_EDIT, "0"}, Field{IDC_X_MAX_EDIT, "4000"}, Field{IDC_Y_MIN_EDIT, "0"},
                           Field{IDC_Y_MAX_EDIT, "4000"}, Field{IDC_X_MARKER_EDIT, "0"}, Field{IDC_Y_MARKER_EDIT, "0"},
                           Field{IDC_AZIMUTH_EDIT, "0"}, Field{IDC_ELEVATION_EDIT, "90"}})
        EXPECT_EQ(field_text(f.id), f.text) << f.id;
    EXPECT_EQ(text_of(main_), "Varnel");
    EXPECT_TRUE(IsWindowVisible(panel_));
    EXPECT_EQ(state_->field, nullptr);

    // The panel at the top right corner, the render area over the rest.
    RECT client, panel, area;
    GetClientRect(main_, &client);
    GetWindowRect(panel_, &panel);
    GetClientRect(area_, &area);
    QWidget* panel_widget = win32_widget_of(panel_);
    EXPECT_EQ(panel_widget->x(), client.right - (panel.right - panel.left));
    EXPECT_EQ(panel_widget->y(), 0);
    EXPECT_EQ(area.right, panel_widget->x());
    EXPECT_EQ(area.bottom, client.bottom);
    // Nothing stored yet: the distance that frames the whole surface there.
    EXPECT_EQ(field_text(IDC_RADIUS_EDIT),
              std::to_string(fitted_camera_radius(0, 90, unsigned(area.right), unsigned(area.bottom))));
    // Every field, arrow and button of the panel lies inside a group box,
    // and none covers another.
    std::vector<QRect> boxes, controls;
    for (const QGroupBox* box : panel_widget->findChildren<QGroupBox*>())
        boxes.push_back(box->geometry());
    for (int id = IDC_X_MIN_EDIT; id <= IDC_CLEAR_MARKER; ++id) {
        HWND control = GetDlgItem(panel_, id);
        if (!control)
            continue;
        const QRect at = win32_widget_of(control)->geometry();
        EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(), [&](const QRect& box) { return box.contains(at); })) << id;
        for (const QRect& other : controls)
            EXPECT_FALSE(other.intersects(at)) << id;
        controls.push_back(at);
    }
    EXPECT_EQ(boxes.size(), 4u);
    EXPECT_EQ(controls.size(), 23u); // nine fields, their arrows, five buttons
    // Nothing was loaded, and one frame was drawn.
    EXPECT_EQ(frames(), 1u);
}

struct KeyCase {
    Qt::Key key;
    int control;
    int from;
    int to;
};

TEST_F(ViewerTest, CameraKeysStepTheCameraEvenFromAnEditField)
{
    start();
    const KeyCase cases[] = {
        {Qt::Key_H, IDC_AZIMUTH_SPIN, 0, 355},   {Qt::Key_H, IDC_AZIMUTH_SPIN, 4, 359},
        {Qt::Key_H, IDC_AZIMUTH_SPIN, 5, 0},     {Qt::Key_H, IDC_AZIMUTH_SPIN, 360, 355},
        {Qt::Key_H, IDC_AZIMUTH_SPIN, 100, 95},  {Qt::Key_L, IDC_AZIMUTH_SPIN, 355, 360},
        {Qt::Key_L, IDC_AZIMUTH_SPIN, 356, 1},   {Qt::Key_L, IDC_AZIMUTH_SPIN, 360, 5},
        {Qt::Key_L, IDC_AZIMUTH_SPIN, 0, 5},     {Qt::Key_K, IDC_ELEVATION_SPIN, 88, 90},
        {Qt::Key_K, IDC_ELEVATION_SPIN, 90, 90}, {Qt::Key_K, IDC_ELEVATION_SPIN, 40, 45},
        {Qt::Key_J, IDC_ELEVATION_SPIN, 3, 0},   {Qt::Key_J, IDC_ELEVATION_SPIN, 0, 0},
        {Qt::Key_J, IDC_ELEVATION_SPIN, 45, 40}, {Qt::Key_S, IDC_RADIUS_SPIN, 2, 0},
        {Qt::Key_S, IDC_RADIUS_SPIN, 50, 45},    {Qt::Key_X, IDC_RADIUS_SPIN, 97, 102},
        {Qt::Key_X, IDC_RADIUS_SPIN, 298, 300},  {Qt::Key_X, IDC_RADIUS_SPIN, 300, 300},
        {Qt::Key_X, IDC_RADIUS_SPIN, 0, 5},
    };
    HWND field = GetDlgItem(panel_, IDC_X_MIN_EDIT);
    SetFocus(field);
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<char>(c.key) << " from " << c.from);
        set_spin(c.control, c.from);
        UINT before = frames();
        QTest::keyClick(win32_widget_of(field), c.key);
        run();
        EXPECT_EQ(spin(c.control), c.to);
        EXPECT_EQ(frames(), before + 1); // sent and repainted, also when nothing moved
    }
    // F: the distance that frames the surface for the angles as they are.
    set_spin(IDC_AZIMUTH_SPIN, 30);
    set_spin(IDC_ELEVATION_SPIN, 35);
    set_spin(IDC_RADIUS_SPIN, 0);
    QTest::keyClick(win32_widget_of(field), Qt::Key_F);
    run();
    RECT area;
    GetClientRect(area_, &area);
    EXPECT_EQ(spin(IDC_RADIUS_SPIN), fitted_camera_radius(30, 35, unsigned(area.right), unsigned(area.bottom)));
    EXPECT_GT(spin(IDC_RADIUS_SPIN), 0);
    EXPECT_EQ(field_text(IDC_X_MIN_EDIT), "0"); // no letter was typed
    EXPECT_EQ(GetFocus(), field);
}

TEST_F(ViewerTest, ArrowKeysInACameraFieldMoveTheCamera)
{
    start();
    HWND field = GetDlgItem(panel_, IDC_AZIMUTH_EDIT);
    SetFocus(field);
    UINT before = frames();
    QTest::keyClick(win32_widget_of(field), Qt::Key_Up);
    run();
    EXPECT_EQ(spin(IDC_AZIMUTH_SPIN), 1);
    EXPECT_EQ(frames(), before + 1);
}

TEST_F(ViewerTest, MinimisingEmptiesTheClientAreaAndRestoringLaysOutAgain)
{
    start();
    QWidget* panel = win32_widget_of(panel_);
    int panel_width = panel->width();
    ShowWindow(main_, SW_MINIMIZE);
    run();
    RECT area;
    GetClientRect(area_, &area);
    EXPECT_EQ(panel->x(), -panel_width);
    EXPECT_EQ(area.right, 0);

    ShowWindow(main_, SW_RESTORE);
    run();
    RECT client;
    GetClientRect(main_, &client);
    GetClientRect(area_, &area);
    EXPECT_EQ(panel->x(), client.right - panel_width);
    EXPECT_EQ(area.right, panel->x());
    EXPECT_GT(area.right, 0);
}

TEST_F(ViewerTest, SizingStopsWhereTheClientAreaHoldsThePanel)
{
    start();
    RECT panel, window, client;
    GetWindowRect(panel_, &panel);
    GetWindowRect(main_, &window);
    GetClientRect(main_, &client);
    LONG min_w = (panel.right - panel.left) + (window.right - window.left) - client.right;
    LONG min_h = (panel.bottom - panel.top) + (window.bottom - window.top) - client.bottom;
    struct SizingCase {
        WPARAM edge;
        RECT proposed;
        BOOL changed;
        RECT result;
    };
    const LONG W = min_w, H = min_h;
    const SizingCase cases[] = {
        {WMSZ_RIGHT, {100, 50, 110, 50 + H + 40}, TRUE, {100, 50, 100 + W, 50 + H + 40}},
        {WMSZ_LEFT, {100, 50, 110, 50 + H + 40}, TRUE, {110 - W, 50, 110, 50 + H + 40}},
        // A single edge moves to the minimum whenever either side is too small.
        {WMSZ_RIGHT, {0, 0, W + 300, 10}, TRUE, {0, 0, W, 10}},
        {WMSZ_TOP, {0, 0, W + 300, 10}, TRUE, {0, 10 - H, W + 300, 10}},
        {WMSZ_BOTTOM, {0, 0, 10, H + 5}, TRUE, {0, 0, 10, H}},
        // Corners fix each side that is too small, and only that one.
        {WMSZ_BOTTOMRIGHT, {0, 0, W + 300, 10}, TRUE, {0, 0, W + 300, H}},
        {WMSZ_TOPLEFT, {0, 0, 10, 10}, TRUE, {10 - W, 10 - H, 10, 10}},
        {WMSZ_TOPRIGHT, {0, 0, 10, H + 1}, TRUE, {0, 0, W, H + 1}},
        {WMSZ_TOPRIGHT, {0, 0, W, 10}, TRUE, {0, 10 - H, W, 10}},
        {WMSZ_BOTTOMLEFT, {0, 0, W, 10}, TRUE, {0, 0, W, H}},
        {WMSZ_BOTTOMRIGHT, {0, 0, W, H}, FALSE, {0, 0, W, H}},
    };
    for (const SizingCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "edge " << c.edge << " " << c.proposed.right << "x" << c.proposed.bottom);
        RECT r = c.proposed;
        EXPECT_EQ(limit_sizing(main_, c.edge, &r), c.changed);
        EXPECT_EQ(r.left, c.result.left);
        EXPECT_EQ(r.top, c.result.top);
        EXPECT_EQ(r.right, c.result.right);
        EXPECT_EQ(r.bottom, c.result.bottom);
    }
    // The window itself cannot be dragged smaller than that.
    QSize smallest = win32_widget_of(main_)->minimumSize();
    EXPECT_EQ(smallest, win32_widget_of(panel_)->size());
    SetWindowPos(main_, nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
    run();
    GetClientRect(area_, &client);
    EXPECT_EQ(client.right, 0);
}

TEST_F(ViewerTest, ClosingWritesEveryValueAndTheNextStartReadsThemBack)
{
    start();
    choose(write_cloud("data/run1.txt", 2000, 2000));
    click(IDC_LOAD_DATA);
    choose(write_file("pictures/wood.bmp", "not really a bitmap"));
    click(IDC_LOAD_TEXTURE);
    const int values[][2] = {{IDC_X_MIN_SPIN, -2000}, {IDC_X_MAX_SPIN, 3000},  {IDC_Y_MIN_SPIN, 100},
                             {IDC_Y_MAX_SPIN, 900},   {IDC_X_MARKER_SPIN, 5},  {IDC_Y_MARKER_SPIN, 700},
                             {IDC_RADIUS_SPIN, 40},   {IDC_AZIMUTH_SPIN, 355}, {IDC_ELEVATION_SPIN, 15}};
    for (const auto& v : values)
        set_spin(v[0], v[1]);
    SetWindowTextA(buddy(IDC_Y_MIN_SPIN), "100.75"); // stored as 100 beside the exact value
    close();

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const char* name : {"data_path", "texture_path"}) {
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(size, 1024u) << name;
    }
    const char* names[] = {"x_min",    "x_max",  "y_min",   "y_max",    "x_marker",
                           "y_marker", "radius", "azimuth", "elevation"};
    const int expected[] = {-2000, 3000, 100, 900, 5, 700, 40, 355, 15};
    for (int i = 0; i < 9; ++i) {
        int32_t value = 0;
        DWORD size = sizeof value;
        EXPECT_EQ(RegQueryValueExA(key, names[i], nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(value, expected[i]) << names[i];
    }
    RegCloseKey(key);

    start();
    for (const auto& v : values)
        EXPECT_EQ(spin(v[0]), v[1]) << v[0];
    EXPECT_EQ(field_text(IDC_Y_MIN_EDIT), "100.75");
    EXPECT_EQ(std::string(state_->settings.data_path), (root_ / "data").string() + "/");
    EXPECT_EQ(std::string(state_->settings.texture_path), (root_ / "pictures").string() + "/");
    // The folders are where the dialogs start.
    win32_clear_dialog_calls();
    win32_script_open_file(nullptr); // cancel
    click(IDC_LOAD_DATA);
    ASSERT_EQ(win32_open_file_calls().size(), 1u);
    EXPECT_EQ(win32_open_file_calls()[0].initial_dir, (root_ / "data").string() + "/");
}

// Each start-up failure: its message, no record on any window, the render
// area still with its own procedure, and the end through the posted
// WM_DESTROY.
TEST_F(ViewerTest, StartUpFailuresShowTheirMessageAndEnd)
{
    struct FailureCase {
        const char* what;
        const char* text;
    };
    const RESOURCE_ENTRY without_panel[] = {kProgramResources[0], kProgramResources[1], kProgramResources[2]};
    for (const FailureCase& c :
         {FailureCase{"panel", text(TextId::no_panel)}, FailureCase{"renderer", text(TextId::no_direct3d)}}) {
        SCOPED_TRACE(c.what);
        win32_clear_dialog_calls();
        if (c.text == text(TextId::no_panel))
            SetModuleResources(without_panel, 3);
        else
            d3d9_test_fail(D3D9Call::CreateDevice, 0, 0);
        HWND main =
            CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCE(IDD_MAIN), nullptr, main_window_proc, 0);
        ASSERT_NE(main, nullptr);
        ASSERT_EQ(win32_message_box_calls().size(), 1u);
        const MessageBoxCall& box = win32_message_box_calls()[0];
        EXPECT_EQ(box.owner, main);
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, "エラー");
        EXPECT_EQ(box.type, UINT(MB_OK | MB_ICONERROR));
        HWND area = GetDlgItem(main, IDC_RENDER_AREA);
        EXPECT_EQ(app_state_of(main), nullptr);
        EXPECT_EQ(app_state_of(area), nullptr);
        EXPECT_NE(GetWindowLongPtrA(area, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(render_area_proc));
        SendMessageA(area, WM_SIZE, 0, 0);
        // The posted WM_DESTROY ends the loop with exit code 0.
        MSG msg;
        bool quit = false;
        for (int i = 0; i < 1000 && !quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            quit = msg.message == WM_QUIT;
            if (!quit)
                offer_message(main, nullptr, &msg);
        }
        EXPECT_TRUE(quit);
        EXPECT_EQ(msg.wParam, 0u);
        DestroyWindow(main);
        drain();
        SetModuleResources(kProgramResources, 4);
        d3d9_test_reset();
    }
}

TEST_F(ViewerTest, TheProgramEndsWithZeroWhenTheDeviceCannotBeMade)
{
    d3d9_test_fail(D3D9Call::CreateDevice, 0, 0);
    EXPECT_EQ(varnel_main(GetModuleHandleA(nullptr), nullptr, nullptr), 0);
    ASSERT_EQ(win32_message_box_calls().size(), 1u);
    EXPECT_EQ(win32_message_box_calls()[0].text, text(TextId::no_direct3d));
}

TEST_F(ViewerTest, FilesNamedAtStartAreLoadedAsTheButtonsLoadThem)
{
    fs::path data = write_cloud("runs/run1.txt", 2000, 2000);
    fs::path texture = write_file("pictures/wood.bmp", "not really a bitmap");
    fs::path cwd = fs::current_path();
    fs::current_path(root_);
    std::string title;
    after_first_frame([&](HWND main) {
        title = text_of(main);
        // The user presses H, then logs out: the end of the session
        // closes the window as the close box does.
        QTest::keyClick(win32_widget_of(main), Qt::Key_H);
        ::raise(SIGTERM);
    });
    EXPECT_EQ(varnel_main(GetModuleHandleA(nullptr), "runs/../runs/run1.txt", "pictures/wood.bmp"), 0);
    fs::current_path(cwd);
    EXPECT_EQ(title, "Varnel : run1.txt");
    EXPECT_TRUE(win32_message_box_calls().empty());
    EXPECT_TRUE(win32_open_file_calls().empty());

    Settings settings;
    load_settings(&settings);
    EXPECT_EQ(std::string(settings.data_path), (root_ / "runs").string() + "/");
    EXPECT_EQ(std::string(settings.texture_path), (root_ / "pictures").string() + "/");
    EXPECT_EQ(settings.azimuth, 355);
}

TEST_F(ViewerTest, ADataFileNamedAtStartThatCannotBeOpenedGivesTheMessage)
{
    // A name longer than the program keeps is never cut and opened.
    const std::string too_long = (root_ / std::string(1100, 'a')).string();
    for (const auto& [name, text] : {std::pair{(root_ / "missing.txt").string(),
                                               std::string(text(TextId::cannot_open)) + "\n" +
                                                   (root_ / "missing.txt").string() + ": " + std::strerror(ENOENT)},
                                     std::pair{too_long, std::string(text(TextId::path_too_long))}}) {
        win32_clear_dialog_calls();
        after_first_frame([](HWND main) { PostMessageA(main, WM_CLOSE, 0, 0); });
        EXPECT_EQ(varnel_main(GetModuleHandleA(nullptr), name.c_str(), nullptr), 0);
        ASSERT_EQ(win32_message_box_calls().size(), 1u);
        EXPECT_EQ(win32_message_box_calls()[0].text, text);
        EXPECT_EQ(win32_message_box_calls()[0].caption, "ERROR");
    }
}

// One language on the screen: the panel's captions come from the user's
// table (only ASCII in English), and the toolkit's own buttons and dialogs
// are translated into Japanese. Run once as is and once with LANGUAGE=en.
TEST_F(ViewerTest, EveryCaptionIsInTheUserLanguage)
{
    start();
    const bool english = ui_language() == UiLanguage::english;
    // LANGUAGE, when set, decides before the other variables.
    if (const char* asked = std::getenv("LANGUAGE"); asked && std::strncmp(asked, "en", 2) == 0) {
        EXPECT_TRUE(english) << asked;
    }
    QStringList captions;
    QWidget* panel = win32_widget_of(panel_);
    for (const QLabel* label : panel->findChildren<QLabel*>())
        captions << label->text();
    for (const QAbstractButton* button : panel->findChildren<QAbstractButton*>())
        captions << button->text();
    for (const QGroupBox* box : panel->findChildren<QGroupBox*>())
        captions << box->title();
    EXPECT_TRUE(captions.contains(QString::fromUtf8(text(TextId::panel_load))));
    EXPECT_TRUE(captions.contains(QString::fromUtf8(text(TextId::panel_camera))));
    int non_ascii = 0;
    for (const QString& caption : captions)
        for (const QChar c : caption)
            non_ascii += c.unicode() > 127;
    if (english)
        EXPECT_EQ(non_ascii, 0) << captions.join('|').toStdString();
    else
        EXPECT_GT(non_ascii, 0);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), english ? "Cancel" : "キャンセル");
}

} // namespace
