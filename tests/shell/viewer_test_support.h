// What the viewer's window tests share: the program's own main window on
// Qt's offscreen platform, run by the program's own loop body, with the
// settings in a folder of the test's own.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <unistd.h>

#include "field/density_field_test_hook.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/win32/win32_test_support.h"
#include "shell/app_state.h"
#include "shell/camera_controls.h"
#include "shell/main.h"
#include "shell/main_window.h"
#include "temp_folder.h"

namespace viewer_test {

namespace fs = std::filesystem;
using namespace win32_test;

// What the render area shows.
inline constexpr QRgb kClearGrey = 0xff808080;

inline bool is_yellow(QRgb p) { return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 80; }
inline bool is_coloured(QRgb p)
{
    return !is_yellow(p) && (std::abs(qRed(p) - qGreen(p)) > 12 || std::abs(qGreen(p) - qBlue(p)) > 12);
}

template <typename Test>
int count(const QImage& image, Test test)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

inline int surface_pixels(const QImage& image)
{
    return count(image, [](QRgb p) { return p != kClearGrey; });
}

// The main window of the running program, once it is shown.
inline HWND shown_main_window()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle().startsWith("Varnel"))
            return static_cast<HWND>(w->property("varnel_hwnd").value<void*>());
    return nullptr;
}

// Runs `then` on the program's main window once the loop has drawn a frame.
inline void after_first_frame(std::function<void(HWND)> then)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, then] {
        HWND main = shown_main_window();
        if (!main || d3d9_test_call_count(D3D9Call::Present) == 0)
            return;
        timer->stop();
        timer->deleteLater();
        then(main);
    });
    timer->start(5);
}

class ViewerTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        SetModuleResources(kProgramResources, 4);
        d3d9_test_reset();
        density_field_test_reset();
    }
    void TearDown() override
    {
        if (IsWindow(main_))
            DestroyWindow(main_);
        drain();
        d3d9_test_reset();
        density_field_test_reset();
        win32_real_tick_count();
        WindowTest::TearDown();
    }

    // The main window as the entry function makes and shows it.
    void start()
    {
        main_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCE(IDD_MAIN), nullptr, main_window_proc, 0);
        ASSERT_NE(main_, nullptr);
        state_ = app_state_of(main_);
        ASSERT_NE(state_, nullptr);
        panel_ = state_->panel;
        area_ = state_->render_area;
        accel_ = LoadAcceleratorsA(GetModuleHandleA(nullptr), ACCELERATOR_TABLE_NAME);
        ShowWindow(main_, SW_SHOWNORMAL);
        run();
    }
    // Closes the window the user's way and lets the loop see the end.
    void close()
    {
        SendMessageA(main_, WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(main_));
        drain();
        state_ = nullptr;
    }
    // The program's loop until nothing waits; a quit stays for the test.
    void run()
    {
        MSG msg;
        for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            offer_message(main_, accel_, &msg);
        }
    }
    // A right click in the render area, which opens its menu.
    void right_click(QPoint at)
    {
        QWidget* widget = win32_widget_of(area_);
        QPointF global = widget->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton, Qt::NoModifier);
        press.setTimestamp(next_timestamp());
        release.setTimestamp(next_timestamp());
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
        run();
    }
    // The render area's menu opened from the keyboard, `command` taken from it.
    void choose_menu_item(UINT command)
    {
        win32_script_popup_menu(command);
        SendMessageA(area_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(area_), MAKELPARAM(-1, -1));
        run();
    }
    void click(int id)
    {
        QTest::mouseClick(static_cast<QAbstractButton*>(win32_widget_of(GetDlgItem(panel_, id))), Qt::LeftButton);
        run();
    }
    // The one message box since the last check: a stop-icon error over the
    // main window.
    void expect_one_message(const std::string& text)
    {
        ASSERT_EQ(win32_message_box_calls().size(), 1u);
        const MessageBoxCall& box = win32_message_box_calls()[0];
        EXPECT_EQ(box.owner, main_);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "ERROR");
        EXPECT_EQ(box.type, UINT(MB_OK | MB_ICONERROR));
        win32_clear_dialog_calls();
    }
    // The range and marker fields hold decimals, the camera's their spin
    // control's integer.
    static bool is_decimal(int id)
    {
        for (int spin :
             {IDC_X_MIN_SPIN, IDC_X_MAX_SPIN, IDC_Y_MIN_SPIN, IDC_Y_MAX_SPIN, IDC_X_MARKER_SPIN, IDC_Y_MARKER_SPIN})
            if (id == spin)
                return true;
        return false;
    }
    HWND buddy(int spin) { return reinterpret_cast<HWND>(SendDlgItemMessageA(panel_, spin, UDM_GETBUDDY, 0, 0)); }
    double number(int spin) { return std::stod(text_of(buddy(spin))); }
    int spin(int id) { return is_decimal(id) ? static_cast<int>(number(id)) : read_spin(panel_, id); }
    std::pair<int, int> spin_range(int id)
    {
        int lower = 0, upper = 0;
        SendDlgItemMessageA(panel_, id, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                            reinterpret_cast<LPARAM>(&upper));
        return {lower, upper};
    }
    void set_spin(int id, int value)
    {
        if (is_decimal(id))
            SetWindowTextA(buddy(id), std::to_string(value).c_str());
        else
            SendDlgItemMessageA(panel_, id, UDM_SETPOS, 0, MAKELPARAM(value, 0));
    }
    std::string field_text(int id) { return text_of(GetDlgItem(panel_, id)); }
    UINT frames() { return d3d9_test_call_count(D3D9Call::Present); }
    QImage picture() { return win32_widget_of(area_)->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    fs::path write_file(const std::string& name, const std::string& text)
    {
        fs::path path = root_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // A cloud of points around (x, y) inside the default range.
    fs::path write_cloud(const std::string& name, int x, int y)
    {
        std::string text;
        for (int i = -20; i <= 20; ++i)
            for (int j = -20; j <= 20; ++j)
                text += std::to_string(x + 10 * i) + " " + std::to_string(y + 10 * j) + "\n";
        return write_file(name, text);
    }
    void choose(const fs::path& path) { win32_script_open_file(path.c_str()); }

    TempFolder folder_{"viewer"};
    const fs::path root_ = folder_.path();
    HWND main_ = nullptr;
    HWND panel_ = nullptr;
    HWND area_ = nullptr;
    HACCEL accel_ = nullptr;
    AppState* state_ = nullptr;
};

} // namespace viewer_test
