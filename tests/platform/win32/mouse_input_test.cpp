// Mouse input as messages: which window gets them, in which coordinates,
// the capture, moves that pile up, and what DefWindowProc makes of the
// right button and the wheel. Dropped files arrive the same way.
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>

#include <cstring>

#include "platform/win32/windowsx.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;

// The render area as the program sub-classes it: it takes the mouse.
std::vector<Seen> g_area_seen;
WNDPROC g_static_proc = nullptr;
LRESULT CALLBACK area_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCHITTEST)
        return HTCLIENT;
    if ((msg >= WM_MOUSEMOVE && msg <= WM_MOUSEWHEEL) || msg == WM_CONTEXTMENU || msg == WM_CAPTURECHANGED)
        g_area_seen.push_back({hwnd, msg, wParam, lParam});
    return CallWindowProcA(g_static_proc, hwnd, msg, wParam, lParam);
}

class MouseTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        main_ = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
        ASSERT_NE(main_, nullptr);
        area_ = GetDlgItem(main_, 1018);
        SetWindowPos(area_, nullptr, 20, 30, 200, 100, SWP_NOZORDER);
        ShowWindow(main_, SW_SHOWNORMAL);
        pump();
        seen().clear();
        g_area_seen.clear();
    }
    void TearDown() override
    {
        ReleaseCapture();
        WindowTest::TearDown();
    }
    void subclass()
    {
        g_static_proc =
            reinterpret_cast<WNDPROC>(SetWindowLongPtrA(area_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(area_proc)));
    }
    // A mouse event at `at` in the area's widget; not pumped.
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QWidget* widget = win32_widget_of(area_);
        QMouseEvent event(type, at, widget->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
        event.setTimestamp(next_timestamp());
        QApplication::sendEvent(widget, &event);
    }
    std::vector<Seen> area_seen(UINT msg)
    {
        std::vector<Seen> out;
        for (const Seen& s : g_area_seen)
            if (s.msg == msg)
                out.push_back(s);
        return out;
    }
    static POINT point_of(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

    HWND main_ = nullptr;
    HWND area_ = nullptr;
};

TEST_F(MouseTest, APlainStaticLetsTheMouseThroughToItsParent)
{
    mouse(QEvent::MouseButtonPress, {5, 6}, Qt::LeftButton, Qt::LeftButton);
    pump();
    std::vector<Seen> downs = seen_of(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, main_);
    POINT at = point_of(downs[0].lParam);
    EXPECT_EQ(std::make_pair(at.x, at.y), std::make_pair(25, 36)); // the parent's client coordinates
    EXPECT_EQ(downs[0].wParam, WPARAM(MK_LBUTTON));

    // A move says which buttons are held.
    const std::pair<Qt::MouseButtons, WPARAM> held[] = {
        {Qt::NoButton, 0},
        {Qt::RightButton, MK_RBUTTON},
        {Qt::MiddleButton, MK_MBUTTON},
        {Qt::LeftButton | Qt::RightButton, MK_LBUTTON | MK_RBUTTON},
    };
    int x = 10;
    for (const auto& [buttons, keys] : held) {
        seen().clear();
        mouse(QEvent::MouseMove, {x++, 6}, Qt::NoButton, buttons);
        pump();
        std::vector<Seen> moves = seen_of(WM_MOUSEMOVE);
        ASSERT_EQ(moves.size(), 1u) << keys;
        EXPECT_EQ(moves[0].wParam, keys);
    }
}

TEST_F(MouseTest, TheCaptureTakesEveryMoveAndMovesInARowCollapse)
{
    subclass();
    mouse(QEvent::MouseButtonPress, {5, 6}, Qt::LeftButton, Qt::LeftButton);
    pump();
    ASSERT_EQ(area_seen(WM_LBUTTONDOWN).size(), 1u);
    EXPECT_TRUE(seen_of(WM_LBUTTONDOWN).empty());
    EXPECT_EQ(SetCapture(area_), nullptr);
    EXPECT_EQ(GetCapture(), area_);

    // Three moves before the loop runs: it sees the last one only. Over
    // the parent, outside the area, the captured area still gets it, in
    // its own coordinates.
    mouse(QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, {20, 10}, Qt::NoButton, Qt::LeftButton);
    QWidget* parent = win32_widget_of(main_);
    QPoint over_parent(3, 4);
    QMouseEvent outside(QEvent::MouseMove, over_parent, parent->mapToGlobal(QPointF(over_parent)), Qt::NoButton,
                        Qt::LeftButton, Qt::NoModifier);
    outside.setTimestamp(next_timestamp());
    QApplication::sendEvent(parent, &outside);
    pump();
    std::vector<Seen> moves = area_seen(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u);
    POINT at = point_of(moves[0].lParam);
    EXPECT_EQ(std::make_pair(at.x, at.y), std::make_pair(-17, -26));
    EXPECT_EQ(moves[0].wParam, WPARAM(MK_LBUTTON));

    // A button between two moves keeps them apart.
    g_area_seen.clear();
    mouse(QEvent::MouseMove, {30, 10}, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {30, 10}, Qt::LeftButton, Qt::NoButton);
    mouse(QEvent::MouseMove, {40, 10}, Qt::NoButton, Qt::NoButton);
    pump();
    ASSERT_EQ(g_area_seen.size(), 3u);
    EXPECT_EQ(g_area_seen[0].msg, UINT(WM_MOUSEMOVE));
    EXPECT_EQ(g_area_seen[1].msg, UINT(WM_LBUTTONUP));
    EXPECT_EQ(g_area_seen[2].msg, UINT(WM_MOUSEMOVE));

    // Released, the capture says so to the window that held it.
    g_area_seen.clear();
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_EQ(area_seen(WM_CAPTURECHANGED).size(), 1u);
    EXPECT_EQ(area_seen(WM_CAPTURECHANGED)[0].lParam, 0);
    SetWindowLongPtrA(area_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_static_proc));
}

TEST_F(MouseTest, TheRightButtonAndTheWheelGoUpToTheParentUnhandled)
{
    subclass();
    mouse(QEvent::MouseButtonPress, {5, 6}, Qt::RightButton, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, {5, 6}, Qt::RightButton, Qt::NoButton);
    QWidget* widget = win32_widget_of(area_);
    QPointF wheel_at(7, 8);
    QWheelEvent wheel(wheel_at, widget->mapToGlobal(wheel_at), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    wheel.setTimestamp(next_timestamp());
    QApplication::sendEvent(widget, &wheel);
    pump();

    QPoint global = widget->mapToGlobal(QPoint(5, 6));
    std::vector<Seen> menus = seen_of(WM_CONTEXTMENU);
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0].hwnd, main_);
    EXPECT_EQ(menus[0].wParam, reinterpret_cast<WPARAM>(area_)); // the window clicked
    POINT at = point_of(menus[0].lParam);
    EXPECT_EQ(std::make_pair(at.x, at.y), std::make_pair(global.x(), global.y())); // screen coordinates
    EXPECT_EQ(area_seen(WM_CONTEXTMENU).size(), 1u);

    std::vector<Seen> wheels = seen_of(WM_MOUSEWHEEL);
    ASSERT_EQ(wheels.size(), 1u);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(wheels[0].wParam), -240);
    QPoint wheel_global = widget->mapToGlobal(QPoint(7, 8));
    at = point_of(wheels[0].lParam);
    EXPECT_EQ(std::make_pair(at.x, at.y), std::make_pair(wheel_global.x(), wheel_global.y()));
    SetWindowLongPtrA(area_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_static_proc));
}

TEST_F(MouseTest, FilesDroppedOnAWindowThatAcceptsThemComeAsOneHandle)
{
    QMimeData data;
    const std::string long_name = "/tmp/" + std::string(300, 'a') + ".txt";
    data.setUrls({QUrl::fromLocalFile("/tmp/run1.txt"), QUrl("https://example.com/x.txt"),
                  QUrl::fromLocalFile(QString::fromStdString(long_name))});
    auto drop_on_main = [&](QPoint at = QPoint(5, 5)) {
        QWidget* widget = win32_widget_of(main_);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &drop);
        pump();
        return enter.isAccepted();
    };
    EXPECT_FALSE(drop_on_main()); // not before it says it takes files
    EXPECT_TRUE(seen_of(WM_DROPFILES).empty());

    DragAcceptFiles(main_, TRUE);
    EXPECT_TRUE(drop_on_main());
    std::vector<Seen> drops = seen_of(WM_DROPFILES);
    ASSERT_EQ(drops.size(), 1u);
    auto drop = reinterpret_cast<HDROP>(drops[0].wParam);
    ASSERT_EQ(DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0), 2u); // the local files only
    EXPECT_EQ(DragQueryFileA(drop, 0, nullptr, 0), 13u);
    char name[32];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(DragQueryFileA(drop, 0, name, sizeof name), 13u);
    EXPECT_STREQ(name, "/tmp/run1.txt");
    // A buffer too small takes what fits and its terminator, never more.
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(DragQueryFileA(drop, 1, name, 10), 9u);
    EXPECT_EQ(std::string(name, 10), long_name.substr(0, 9) + '\0');
    EXPECT_EQ(name[10], 'x');
    EXPECT_EQ(DragQueryFileA(drop, 1, nullptr, 0), UINT(long_name.size()));
    EXPECT_EQ(DragQueryFileA(drop, 2, name, sizeof name), 0u);
    EXPECT_EQ(DragQueryFileA(drop, 0, name, 0), 0u);
    POINT point;
    EXPECT_TRUE(DragQueryPoint(drop, &point));
    EXPECT_EQ(std::make_pair(point.x, point.y), std::make_pair(5, 5));
    DragFinish(drop);
    // Let go beside the client area, the drop's point says so.
    EXPECT_TRUE(drop_on_main(QPoint(-3, 5)));
    drops = seen_of(WM_DROPFILES);
    ASSERT_EQ(drops.size(), 2u);
    drop = reinterpret_cast<HDROP>(drops[1].wParam);
    EXPECT_FALSE(DragQueryPoint(drop, &point));
    EXPECT_EQ(std::make_pair(point.x, point.y), std::make_pair(-3, 5));
    DragFinish(drop);

    DragAcceptFiles(main_, FALSE);
    EXPECT_FALSE(drop_on_main());

    // A drop still queued when its window goes is freed with the queue
    // entry (the sanitizer build's leak check sees one that is not).
    DragAcceptFiles(main_, TRUE);
    seen().clear();
    QWidget* widget = win32_widget_of(main_);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    QDropEvent drop_event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &drop_event);
    DestroyWindow(main_);
    pump();
    EXPECT_TRUE(seen_of(WM_DROPFILES).empty());
}

} // namespace
