#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstring>

#include "win32_test_support.h"

namespace {

using namespace win32_test;

// A sub-classing procedure as the program writes one: it handles WM_SIZE
// and WM_PAINT itself and passes everything on to the saved procedure.
WNDPROC g_old_proc = nullptr;
std::vector<std::pair<int, int>> g_sizes;
int g_paints = 0;
RECT g_painted = {};
LRESULT CALLBACK render_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SIZE)
        g_sizes.emplace_back(LOWORD(lParam), HIWORD(lParam));
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        g_painted = ps.rcPaint;
        EndPaint(hwnd, &ps);
        ++g_paints;
        return 0;
    }
    return CallWindowProcA(g_old_proc, hwnd, msg, wParam, lParam);
}

// A main window that keeps its client area at least 300 x 200 pixels the
// way the program's own does: by adjusting the proposed rectangle.
INT_PTR CALLBACK sizing_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    seen().push_back({hwnd, msg, wParam, lParam});
    if (msg == WM_SIZING) {
        auto* r = reinterpret_cast<RECT*>(lParam);
        EXPECT_EQ(wParam, WPARAM(WMSZ_BOTTOMRIGHT));
        bool small = r->right - r->left < 300 || r->bottom - r->top < 200;
        if (r->right - r->left < 300)
            r->right = r->left + 300;
        if (r->bottom - r->top < 200)
            r->bottom = r->top + 200;
        return small;
    }
    return FALSE;
}

class WindowLayerTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        main_ = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, sizing_proc, 0));
        ASSERT_NE(main_, nullptr);
        render_ = GetDlgItem(main_, 1018);
        ASSERT_NE(render_, nullptr);
        g_sizes.clear();
        g_paints = 0;
    }
    HWND main_ = nullptr;
    HWND render_ = nullptr;
};

TEST_F(WindowLayerTest, SubclassingChainsToTheSavedProcedure)
{
    g_old_proc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(render_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(render_proc)));
    ASSERT_NE(g_old_proc, nullptr);
    EXPECT_EQ(GetWindowLongPtrA(render_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(render_proc));
    // Messages the new procedure does not handle still work through the old one.
    EXPECT_TRUE(SetWindowTextA(render_, "area"));
    EXPECT_EQ(text_of(render_), "area");

    SetWindowLongPtrA(render_, GWLP_USERDATA, 0x1234);
    SetWindowLongPtrA(main_, GWLP_USERDATA, 0x5678);
    EXPECT_EQ(GetWindowLongPtrA(render_, GWLP_USERDATA), 0x1234);
    EXPECT_EQ(GetWindowLongPtrA(main_, GWLP_USERDATA), 0x5678);
    EXPECT_EQ(GetWindowLongPtrA(render_, GWLP_ID), 1018);

    // The own procedure back: WM_SIZE no longer reaches render_proc.
    SetWindowLongPtrA(render_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_old_proc));
    SetWindowPos(render_, nullptr, 0, 0, 50, 60, SWP_NOZORDER);
    EXPECT_TRUE(g_sizes.empty());
}

// A buffer takes whole characters and their terminator, never a byte more;
// the count returned is what it holds.
TEST_F(WindowLayerTest, WindowTextIsCutToTheBufferAtAWholeCharacter)
{
    struct Case {
        const char* text;
        int buffer;
        const char* expected;
    };
    const Case cases[] = {
        {"abc", 4, "abc"}, {"abc", 3, "ab"},   {"abc", 1, ""},      {"aエ", 5, "aエ"},
        {"aエ", 4, "a"},   {"aエb", 5, "aエ"}, {"abc", 0, nullptr}, // no room even for the terminator
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " into " << c.buffer);
        ASSERT_TRUE(SetWindowTextA(render_, c.text));
        char buf[16];
        std::memset(buf, 'x', sizeof buf);
        EXPECT_EQ(GetWindowTextA(render_, buf, c.buffer), c.expected ? int(std::strlen(c.expected)) : 0);
        if (c.expected) {
            EXPECT_STREQ(buf, c.expected);
        }
        EXPECT_EQ(buf[c.buffer], 'x');
    }
}

TEST_F(WindowLayerTest, PlacingAHiddenWindowSendsWmSizeAtOnce)
{
    g_old_proc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(render_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(render_proc)));
    ASSERT_FALSE(IsWindowVisible(main_));
    SetWindowPos(render_, nullptr, 0, 0, 321, 123, SWP_NOZORDER);
    ASSERT_EQ(g_sizes.size(), 1u);
    EXPECT_EQ(g_sizes[0], std::make_pair(321, 123));
    RECT r;
    GetClientRect(render_, &r);
    EXPECT_EQ(r.right, 321);
    EXPECT_EQ(r.bottom, 123);
    // Moving alone changes no size and sends none.
    SetWindowPos(render_, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(g_sizes.size(), 1u);
    EXPECT_EQ(win32_widget_of(render_)->pos(), QPoint(10, 20));
    // A width of 0 is a size like any other.
    SetWindowPos(render_, nullptr, 0, 0, 0, 123, SWP_NOZORDER);
    ASSERT_EQ(g_sizes.size(), 2u);
    EXPECT_EQ(g_sizes[1], std::make_pair(0, 123));
    SetWindowLongPtrA(render_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_old_proc));
}

TEST_F(WindowLayerTest, TheWindowGetsTheMinimumSizeItsProcedureAsksFor)
{
    ShowWindow(main_, SW_SHOWNORMAL);
    QWidget* w = win32_widget_of(main_);
    // WM_SIZING speaks of the whole window, frame included.
    RECT window, client;
    GetWindowRect(main_, &window);
    GetClientRect(main_, &client);
    int frame_w = (window.right - window.left) - client.right;
    int frame_h = (window.bottom - window.top) - client.bottom;
    EXPECT_EQ(w->minimumSize(), QSize(300 - frame_w, 200 - frame_h));
    w->resize(100, 500);
    GetWindowRect(main_, &window);
    EXPECT_EQ(window.right - window.left, 300);
    EXPECT_EQ(window.bottom - window.top, 500 + frame_h);
    // Programs still ask with WM_SIZING themselves and get the same answer.
    RECT r = {10, 10, 20, 400};
    SendMessageA(main_, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(r.right, 310);
}

TEST_F(WindowLayerTest, MinimisingEmptiesTheClientAreaAndRestoringBringsItBack)
{
    ShowWindow(main_, SW_SHOWNORMAL);
    RECT before;
    GetClientRect(main_, &before);
    seen().clear();
    ShowWindow(main_, SW_MINIMIZE);
    RECT r;
    GetClientRect(main_, &r);
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.bottom, 0);
    EXPECT_TRUE(IsIconic(main_));
    auto sizes = seen_of(WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back().wParam, WPARAM(SIZE_MINIMIZED));
    EXPECT_EQ(sizes.back().lParam, 0);
    UINT width = 1, height = 1;
    EXPECT_TRUE(render_->target_client_size(&width, &height));
    ShowWindow(main_, SW_RESTORE);
    GetClientRect(main_, &r);
    EXPECT_EQ(r.right, before.right);
    EXPECT_EQ(r.bottom, before.bottom);
    sizes = seen_of(WM_SIZE);
    EXPECT_EQ(sizes.back().wParam, WPARAM(SIZE_RESTORED));
    EXPECT_EQ(sizes.back().lParam, MAKELPARAM(before.right, before.bottom));
}

TEST_F(WindowLayerTest, APresentedFrameIsWhatTheWindowShows)
{
    SetWindowPos(render_, nullptr, 0, 0, 8, 6, SWP_NOZORDER);
    UINT width = 0, height = 0;
    ASSERT_TRUE(render_->target_client_size(&width, &height));
    EXPECT_EQ(width, 8u);
    EXPECT_EQ(height, 6u);

    // 3 x 2 pixels, X8R8G8B8 with garbage in the fourth byte, rows 16 bytes apart.
    const unsigned char pixels[32] = {
        0x10, 0x20, 0x30, 0x99, 0x00, 0x00, 0xff, 0x00, 0x00, 0xff, 0x00, 0x55, 0xee, 0xee, 0xee, 0xee,
        0xff, 0x00, 0x00, 0x01, 0xff, 0xff, 0xff, 0xff, 0x01, 0x02, 0x03, 0x04, 0xee, 0xee, 0xee, 0xee,
    };
    render_->target_present(pixels, 3, 2, 16);
    QImage shown = win32_widget_of(render_)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(8, 6));
    EXPECT_EQ(shown.pixel(0, 0), qRgb(0x30, 0x20, 0x10));
    EXPECT_EQ(shown.pixel(1, 0), qRgb(0xff, 0, 0));
    EXPECT_EQ(shown.pixel(2, 0), qRgb(0, 0xff, 0));
    EXPECT_EQ(shown.pixel(0, 1), qRgb(0, 0, 0xff));
    EXPECT_EQ(shown.pixel(1, 1), qRgb(0xff, 0xff, 0xff));
    EXPECT_EQ(shown.pixel(2, 1), qRgb(0x03, 0x02, 0x01));
    // The rest of the black rectangle stays black.
    EXPECT_EQ(shown.pixel(5, 4), qRgb(0, 0, 0));

    // A second frame of the same size replaces every pixel of the first.
    unsigned char next[32];
    for (int i = 0; i < 32; ++i) {
        next[i] = static_cast<unsigned char>(0x41 + i);
    }
    render_->target_present(next, 3, 2, 16);
    const QImage before = shown;
    shown = win32_widget_of(render_)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(0x43, 0x42, 0x41));
    EXPECT_EQ(shown.pixel(2, 1), qRgb(0x5b, 0x5a, 0x59));
    EXPECT_EQ(before.pixel(0, 0), qRgb(0x30, 0x20, 0x10)) << "a picture taken earlier keeps its pixels";

    // A pitch shorter than a row is no frame.
    render_->target_present(pixels, 5, 1, 16);
    shown = win32_widget_of(render_)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(4, 0), qRgb(0, 0, 0));
}

TEST_F(WindowLayerTest, PaintingComesWhenNothingElseWaitsAndOnlyOnce)
{
    g_old_proc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(render_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(render_proc)));
    InvalidateRect(render_, nullptr, FALSE);
    pump();
    EXPECT_EQ(g_paints, 0); // hidden windows are not painted

    ShowWindow(main_, SW_SHOWNORMAL);
    pump();
    EXPECT_EQ(g_paints, 1); // showing invalidates
    pump();
    EXPECT_EQ(g_paints, 1);

    // Posted messages come first; three invalidations make one paint.
    InvalidateRect(render_, nullptr, FALSE);
    InvalidateRect(render_, nullptr, FALSE);
    PostMessageA(main_, WM_APP, 1, 2);
    InvalidateRect(render_, nullptr, FALSE);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_PAINT));
    EXPECT_EQ(msg.hwnd, render_);
    DispatchMessageA(&msg);
    EXPECT_EQ(g_paints, 2);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    RECT client;
    GetClientRect(render_, &client);
    EXPECT_EQ(std::memcmp(&g_painted, &client, sizeof client), 0) << g_painted.right << "x" << g_painted.bottom;

    // Invalidating every window reaches the children too; a validated
    // window is not painted; UpdateWindow paints at once, only when due.
    seen().clear();
    InvalidateRect(nullptr, nullptr, FALSE);
    pump();
    EXPECT_EQ(g_paints, 3);
    const std::vector<Seen> paints = seen_of(WM_PAINT);
    EXPECT_TRUE(std::any_of(paints.begin(), paints.end(), [this](const Seen& p) { return p.hwnd == main_; }));
    InvalidateRect(render_, nullptr, FALSE);
    ValidateRect(render_, nullptr);
    pump();
    EXPECT_EQ(g_paints, 3);
    InvalidateRect(render_, nullptr, FALSE);
    UpdateWindow(render_);
    EXPECT_EQ(g_paints, 4);
    UpdateWindow(render_);
    EXPECT_EQ(g_paints, 4);
    SetWindowLongPtrA(render_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_old_proc));
}

TEST_F(WindowLayerTest, TheCloseBoxAsksTheProcedure)
{
    ShowWindow(main_, SW_SHOWNORMAL);
    seen().clear();
    win32_widget_of(main_)->close();
    pump();
    // The system menu's Close, its low four bits the system's own.
    SendMessageA(main_, WM_SYSCOMMAND, SC_CLOSE | 2, 0);
    auto closes = seen_of(WM_CLOSE);
    EXPECT_EQ(closes.size(), 2u);
    // The procedure did not destroy it, so it is still there.
    EXPECT_TRUE(IsWindow(main_));
    EXPECT_TRUE(IsWindowVisible(main_));
}

TEST_F(WindowLayerTest, DestroyedWindowsLeaveTheHandleTable)
{
    const size_t before = win32_window_count();
    std::vector<HWND> made;
    for (int k = 0; k < 50; ++k)
        made.push_back(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, sizing_proc, 0));
    EXPECT_GT(win32_window_count(), before + 50);
    for (HWND w : made) {
        PostMessageA(w, WM_USER, 0, 0); // still queued when it goes
        DestroyWindow(w);
    }
    pump();
    EXPECT_EQ(win32_window_count(), before);
    for (HWND w : made)
        EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(seen_of(WM_USER).empty());
}

TEST_F(WindowLayerTest, CreationRefusesWhatCannotBeAndOwnedWindowsGoWithTheirOwner)
{
    HWND owner = CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, sizing_proc, 0);
    HWND gone = CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, sizing_proc, 0);
    DestroyWindow(gone);
    const struct {
        const char* class_name;
        DWORD style;
        HWND parent;
        bool made;
    } cases[] = {
        {"Static", WS_CHILD, owner, true},    {"sTATIC", WS_CHILD | WS_DISABLED, owner, true},
        {"Static", WS_POPUP, owner, true},    {"Static", WS_CHILD, nullptr, false},
        {"Static", WS_CHILD, gone, false},    {"Picture", WS_CHILD, owner, false},
        {"#32770", WS_POPUP, nullptr, false},
    };
    std::vector<HWND> made;
    for (const auto& c : cases) {
        HWND w = CreateWindowExA(0, c.class_name, "", c.style, 0, 0, 10, 10, c.parent,
                                 reinterpret_cast<HMENU>(intptr_t(700 + made.size())), nullptr, nullptr);
        EXPECT_EQ(w != nullptr, c.made) << c.class_name << " " << c.style;
        if (w)
            made.push_back(w);
    }
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(GetDlgItem(owner, 700), made[0]);
    EXPECT_EQ(GetDlgCtrlID(made[1]), 701);
    EXPECT_TRUE(IsWindowEnabled(made[0]));
    EXPECT_FALSE(IsWindowEnabled(made[1]));
    // An owned window has no control id and is no item of its owner.
    EXPECT_EQ(GetDlgCtrlID(made[2]), 0);
    EXPECT_EQ(GetDlgItem(owner, 0), nullptr);
    EXPECT_EQ(GetParent(made[2]), owner);
    EXPECT_TRUE(DestroyWindow(owner));
    for (HWND w : made)
        EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(DestroyWindow(owner));
}

TEST_F(WindowLayerTest, IconsAreSetAndReturned)
{
    HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(SendMessageA(main_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(SendMessageA(main_, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(icon));
    EXPECT_EQ(SendMessageA(main_, WM_GETICON, ICON_SMALL, 0), 0); // each size its own
    EXPECT_EQ(SendMessageA(main_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(SendMessageA(main_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)),
              reinterpret_cast<LRESULT>(icon));
    EXPECT_FALSE(win32_widget_of(main_)->windowIcon().isNull());
}

TEST_F(WindowTest, SetCursorShowsItsShapeUntilTheArrowComesBack)
{
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), IDC_WAIT), nullptr); // the program has no cursors

    HCURSOR before = SetCursor(wait);
    EXPECT_EQ(before, arrow);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(SetCursor(wait), wait);
    EXPECT_EQ(SetCursor(nullptr), wait); // hidden
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BlankCursor);
    EXPECT_EQ(SetCursor(before), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
