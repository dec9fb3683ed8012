// The camera under the mouse: drags in the render area turn and tilt it,
// the wheel brings it nearer or farther, all through the panel's spin
// controls with the keys' wrap-around and limits.
#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include <functional>

#include "resources/resource_ids.h"
#include "shell/camera_controls.h"
#include "shell/picture_menu.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

class MouseCameraTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        start();
        RECT client;
        GetClientRect(area_, &client);
        width_ = client.right;
        ASSERT_GT(width_, 360); // so that a pixel is less than a degree
    }
    void send_mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QWidget* widget = win32_widget_of(area_);
        QMouseEvent event(type, at, widget->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
        event.setTimestamp(next_timestamp());
        QApplication::sendEvent(widget, &event);
        run();
    }
    void press(QPoint at) { send_mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
    void move(QPoint at, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        send_mouse(QEvent::MouseMove, at, Qt::NoButton, buttons);
    }
    void release(QPoint at) { send_mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }
    void wheel(int delta)
    {
        QWidget* widget = win32_widget_of(area_);
        QPointF at(40, 40);
        QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        event.setTimestamp(next_timestamp());
        QApplication::sendEvent(widget, &event);
        run();
    }
    void set_camera(int radius, int azimuth, int elevation)
    {
        set_spin(IDC_RADIUS_SPIN, radius);
        set_spin(IDC_AZIMUTH_SPIN, azimuth);
        set_spin(IDC_ELEVATION_SPIN, elevation);
    }
    // The pixels that turn the camera by `degrees`: the width is a turn.
    int pixels_for(int degrees) { return (degrees * width_ + 359) / 360; }

    int width_ = 0;
};

// The azimuth the keys' rules give: down never reaches 360, up never 0.
int reference_turn(int azimuth, int degrees)
{
    for (; degrees < 0; ++degrees)
        azimuth = azimuth == 0 ? 359 : azimuth - 1;
    for (; degrees > 0; --degrees)
        azimuth = azimuth == 360 ? 1 : azimuth + 1;
    return azimuth;
}

// A turn of any size in one step lands where turning degree by degree does.
TEST(TurnAzimuth, AnyTurnLandsWhereDegreeByDegreeTurningDoes)
{
    for (int azimuth = 0; azimuth <= 360; ++azimuth)
        for (int degrees : {-725, -360, -359, -5, -1, 0, 1, 5, 359, 360, 361, 725})
            ASSERT_EQ(turn_azimuth(azimuth, degrees), reference_turn(azimuth, degrees)) << azimuth << " by " << degrees;
}

TEST_F(MouseCameraTest, DraggingTurnsAndTiltsWithWrapAroundAndLimits)
{
    struct Case {
        int azimuth, elevation; // before
        int dx, dy;             // degrees of motion: right and down positive
    };
    const Case cases[] = {
        {10, 45, 30, 0},   // right turns the azimuth down, through 0 to 340
        {350, 45, -30, 0}, // left turns it up, through 360 to 20
        {0, 45, -1, 0},    // up from 0 gives 1, never 0
        {330, 45, -30, 0}, // and up to 360 stays 360
        {180, 45, 400, 0}, // more than a turn
        {90, 80, 0, -30},  // up raises the elevation, and it stops at 90
        {90, 10, 0, 30},   // down lowers it, and it stops at 0
        {200, 30, -50, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.azimuth << "/" << c.elevation << " by " << c.dx << "," << c.dy);
        set_camera(50, c.azimuth, c.elevation);
        QPoint from(width_ / 2, 200);
        // Rounded up, the pixels may hold a little more than the degrees
        // asked for, but never a whole degree more.
        int px = c.dx < 0 ? -pixels_for(-c.dx) : pixels_for(c.dx);
        int py = c.dy < 0 ? -pixels_for(-c.dy) : pixels_for(c.dy);
        press(from);
        // In small steps: motion short of a degree adds up.
        for (int i = 1; i <= 8; ++i)
            move(from + QPoint(px * i / 8, py * i / 8));
        release(from + QPoint(px, py));
        EXPECT_EQ(spin(IDC_AZIMUTH_SPIN), reference_turn(c.azimuth, -c.dx));
        EXPECT_EQ(spin(IDC_ELEVATION_SPIN), std::clamp(c.elevation - c.dy, 0, 90));
        EXPECT_EQ(spin(IDC_RADIUS_SPIN), 50);
    }
}

TEST_F(MouseCameraTest, EachMoveThatChangesTheCameraDrawsOneFrame)
{
    set_camera(50, 100, 45);
    press({100, 100});
    int azimuth = spin(IDC_AZIMUTH_SPIN);
    int changes = 0;
    UINT before = frames();
    // Pixel by pixel: most moves are short of a degree on a wide area.
    for (int x = 101; x <= 100 + pixels_for(10); ++x) {
        move({x, 100});
        if (spin(IDC_AZIMUTH_SPIN) != azimuth)
            ++changes;
        azimuth = spin(IDC_AZIMUTH_SPIN);
        EXPECT_EQ(frames() - before, UINT(changes));
    }
    EXPECT_EQ(spin(IDC_AZIMUTH_SPIN), 90);
    EXPECT_GE(changes, 1);
    // Pushing past the top changes nothing, and draws nothing. The push
    // is a pixel short of 20 degrees, which leaves nearly a degree over.
    set_camera(50, 90, 90);
    before = frames();
    const int top = 100 - (pixels_for(20) - 1);
    move({100 + pixels_for(10), top});
    EXPECT_EQ(spin(IDC_ELEVATION_SPIN), 90);
    EXPECT_EQ(frames(), before);
    // Coming back down moves at once: nothing of the overshoot is kept.
    move({100 + pixels_for(10), top + pixels_for(1)});
    EXPECT_EQ(spin(IDC_ELEVATION_SPIN), 89);
    release({100 + pixels_for(10), 100});

    // After the release, moving does nothing; nor does a move without the
    // button after a release that went elsewhere.
    before = frames();
    move({10, 10}, Qt::NoButton);
    press({10, 10});
    move({10 + pixels_for(10), 10}, Qt::NoButton);
    move({10 + pixels_for(20), 10}, Qt::LeftButton);
    EXPECT_EQ(spin(IDC_AZIMUTH_SPIN), 90);
    EXPECT_EQ(frames(), before);
}

TEST_F(MouseCameraTest, TheWheelStepsTheDistanceByFivePerNotch)
{
    struct Case {
        int radius;
        std::vector<int> deltas;
        int expected;
    };
    const Case cases[] = {
        {50, {120}, 45},             // forward: nearer, as S
        {50, {-120}, 55},            // backward: farther, as X
        {50, {240}, 40},             // two notches at once
        {50, {60, 60}, 45},          // half notches add up
        {50, {60, -60, 60, 60}, 45}, // and cancel
        {3, {120}, 0},               // not below 0
        {297, {-120, -120}, 300},    // not above 300
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.radius);
        set_camera(c.radius, 100, 45);
        UINT before = frames();
        for (int delta : c.deltas)
            wheel(delta);
        EXPECT_EQ(spin(IDC_RADIUS_SPIN), c.expected);
        EXPECT_EQ(spin(IDC_AZIMUTH_SPIN), 100);
        EXPECT_EQ(spin(IDC_ELEVATION_SPIN), 45);
        EXPECT_GE(frames() - before, c.expected != c.radius ? 1u : 0u);
    }
}

// Steering the camera in any way (keys, the camera fields' arrows) leaves
// the map (over a plotted map the mouse zooms instead) for the camera's view, with the camera the map left
// alone: K at 90 degrees moves nothing, so the picture is the one from
// before the map.
TEST_F(MouseCameraTest, EverySteeringLeavesTheMapView)
{
    choose(write_cloud("runs/run1.txt", 2000, 2000));
    click(IDC_LOAD_DATA);
    set_camera(100, 0, 90);
    send_camera(panel_);
    run();
    const QImage camera_view = picture();
    HWND field = GetDlgItem(panel_, IDC_X_MIN_EDIT);
    const struct {
        const char* what;
        std::function<void()> steer;
    } steerings[] = {
        {"K", [&] { QTest::keyClick(win32_widget_of(field), Qt::Key_K); }},
        {"H", [&] { QTest::keyClick(win32_widget_of(field), Qt::Key_H); }},
        {"F", [&] { QTest::keyClick(win32_widget_of(field), Qt::Key_F); }},
        {"arrows",
         [&] {
             SendMessageA(panel_, WM_VSCROLL, SB_THUMBPOSITION,
                          reinterpret_cast<LPARAM>(GetDlgItem(panel_, IDC_AZIMUTH_SPIN)));
         }},
    };
    for (const auto& s : steerings) {
        SCOPED_TRACE(s.what);
        ASSERT_TRUE(choose_picture_item(state_, IDM_MAP_VIEW));
        run();
        ASSERT_EQ(state_->settings.map_view, 1);
        const QImage map = picture();
        EXPECT_NE(map, camera_view);
        SetFocus(field);
        s.steer();
        run();
        EXPECT_EQ(state_->settings.map_view, 0);
        if (std::string(s.what) == "K") {
            EXPECT_EQ(spin(IDC_ELEVATION_SPIN), 90);
            EXPECT_EQ(picture(), camera_view);
        } else {
            EXPECT_NE(picture(), map);
        }
    }
}

} // namespace
