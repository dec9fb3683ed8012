#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QToolButton>

#include "platform/win32/window_internal.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;

class UpDownTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        main_ = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
        panel_ = CreateDialogIndirectParamA(nullptr, &kPanelTemplate, main_, recording_proc, 0);
        ASSERT_NE(panel_, nullptr);
        for (int id : {1005, 1006, 1009, 1010, 1027, 1029})
            SendDlgItemMessageA(panel_, id, UDM_SETRANGE32, static_cast<WPARAM>(-8000), 8000);
        SendDlgItemMessageA(panel_, 1013, UDM_SETRANGE32, 0, 100);
        SendDlgItemMessageA(panel_, 1015, UDM_SETRANGE32, 0, 360);
        SendDlgItemMessageA(panel_, 1017, UDM_SETRANGE32, 0, 90);
        seen().clear();
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::c());
        WindowTest::TearDown();
    }
    int pos(int id) { return static_cast<SHORT>(LOWORD(SendDlgItemMessageA(panel_, id, UDM_GETPOS, 0, 0))); }
    bool error(int id) { return HIWORD(SendDlgItemMessageA(panel_, id, UDM_GETPOS, 0, 0)) != 0; }
    std::string field(int id) { return text_of(GetDlgItem(panel_, id)); }
    HWND main_ = nullptr;
    HWND panel_ = nullptr;
};

TEST_F(UpDownTest, SetPosTakesTheLowWordSignedAndClampsToTheRange)
{
    struct {
        int spin;
        LPARAM value;
        int expected;
        const char* text;
    } cases[] = {
        {1005, -2000, -2000, "-2,000"},
        {1005, 4000, 4000, "4,000"},
        {1005, 9000, 8000, "8,000"},
        {1005, -9000, -8000, "-8,000"},
        {1005, 0x0001F830, -2000, "-2,000"}, // high bits ignored, F830 is -2000
        {1005, 70000, 4464, "4,464"},        // 70000 & 0xFFFF
        {1005, 999, 999, "999"},
        {1013, 500, 100, "100"},
        {1013, -5, 0, "0"},
        {1015, 360, 360, "360"},
    };
    for (const auto& c : cases) {
        SendDlgItemMessageA(panel_, c.spin, UDM_SETPOS, 0, c.value);
        EXPECT_EQ(pos(c.spin), c.expected) << c.value;
        EXPECT_FALSE(error(c.spin)) << c.value;
        EXPECT_EQ(field(c.spin == 1005 ? 1002 : c.spin - 1), c.text) << c.value;
    }
    int lower = 0, upper = 0;
    SendDlgItemMessageA(panel_, 1005, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                        reinterpret_cast<LPARAM>(&upper));
    EXPECT_EQ(lower, -8000);
    EXPECT_EQ(upper, 8000);
}

TEST_F(UpDownTest, TheFieldUsesTheLocalesThousandsSeparator)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    SendDlgItemMessageA(panel_, 1005, UDM_SETPOS, 0, 4000);
    EXPECT_EQ(field(1002), "4.000");
    EXPECT_EQ(pos(1005), 4000);

    // Without separators when the style says so.
    const DialogItemTemplate items[] = {
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 40, 12, 1, "Edit", 0, ""},
        {WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_AUTOBUDDY | UDS_NOTHOUSANDS, 0, 40, 0, 10, 12, 2, UPDOWN_CLASSA,
         0, ""},
    };
    const DialogTemplate tpl = {WS_CHILD, 0, 0, 0, 60, 20, nullptr, 0, nullptr, items, 2};
    HWND d = CreateDialogIndirectParamA(nullptr, &tpl, main_, recording_proc, 0);
    SendDlgItemMessageA(d, 2, UDM_SETRANGE32, 0, 100000);
    SendDlgItemMessageA(d, 2, UDM_SETPOS32, 0, 12345);
    EXPECT_EQ(text_of(GetDlgItem(d, 1)), "12345");
}

TEST_F(UpDownTest, TextTypedIntoTheBuddyIsReadBackAsThePosition)
{
    SendDlgItemMessageA(panel_, 1005, UDM_SETPOS, 0, 10);
    struct {
        const char* text;
        int expected;
        bool error;
    } cases[] = {
        {"1234", 1234, false}, {"1,234", 1234, false}, {"-7", -7, false}, {"8000", 8000, false},
        {"abc", 8000, true},   {"9999", 8000, true},   {"", 8000, true},  {"12a", 8000, true},
    };
    for (const auto& c : cases) {
        SetDlgItemTextA(panel_, 1002, c.text);
        EXPECT_EQ(pos(1005), c.expected) << c.text;
        EXPECT_EQ(error(1005), c.error) << c.text;
    }
    // Typed with the keyboard (digits go through the field's own handling).
    SetDlgItemTextA(panel_, 1002, "");
    QWidget* edit = win32_widget_of(GetDlgItem(panel_, 1002));
    QTest::keyClicks(edit, "250");
    pump(main_, panel_);
    EXPECT_EQ(field(1002), "250");
    EXPECT_EQ(pos(1005), 250);
}

TEST_F(UpDownTest, ArrowKeysStepTheControlAlsoInAReadOnlyFieldWithoutWrapping)
{
    SendDlgItemMessageA(panel_, 1015, UDM_SETPOS, 0, 359);
    QWidget* azimuth = win32_widget_of(GetDlgItem(panel_, 1014));
    ASSERT_TRUE(qobject_cast<QLineEdit*>(azimuth)->isReadOnly());
    HWND spin = GetDlgItem(panel_, 1015);

    QTest::keyClick(azimuth, Qt::Key_Up);
    pump(main_, panel_);
    EXPECT_EQ(pos(1015), 360);
    EXPECT_EQ(field(1014), "360");
    auto scrolls = seen_of(WM_VSCROLL);
    ASSERT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(scrolls[0].hwnd, panel_);
    EXPECT_EQ(reinterpret_cast<HWND>(scrolls[0].lParam), spin);
    EXPECT_EQ(LOWORD(scrolls[0].wParam), SB_THUMBPOSITION);
    EXPECT_EQ(HIWORD(scrolls[0].wParam), 360);

    QTest::keyClick(azimuth, Qt::Key_Up); // at the top: no wrap, no change
    pump(main_, panel_);
    EXPECT_EQ(pos(1015), 360);
    EXPECT_EQ(seen_of(WM_VSCROLL).size(), 1u);

    QTest::keyClick(azimuth, Qt::Key_Down);
    QTest::keyClick(azimuth, Qt::Key_Down);
    pump(main_, panel_);
    EXPECT_EQ(pos(1015), 358);
    EXPECT_EQ(seen_of(WM_VSCROLL).size(), 3u);

    SendDlgItemMessageA(panel_, 1017, UDM_SETPOS, 0, 0);
    QTest::keyClick(win32_widget_of(GetDlgItem(panel_, 1016)), Qt::Key_Down);
    pump(main_, panel_);
    EXPECT_EQ(pos(1017), 0);
}

TEST_F(UpDownTest, WrapStyleStepsPastOneEndToTheOther)
{
    HWND spin = GetDlgItem(panel_, 1015);
    SetWindowLongA(spin, GWL_STYLE, GetWindowLongA(spin, GWL_STYLE) | UDS_WRAP);
    QWidget* azimuth = win32_widget_of(GetDlgItem(panel_, 1014));
    SendDlgItemMessageA(panel_, 1015, UDM_SETPOS, 0, 360);
    QTest::keyClick(azimuth, Qt::Key_Up);
    pump(main_, panel_);
    EXPECT_EQ(pos(1015), 0);
    QTest::keyClick(azimuth, Qt::Key_Down);
    pump(main_, panel_);
    EXPECT_EQ(pos(1015), 360);
}

TEST_F(UpDownTest, TheArrowButtonsStepWithinTheNewRange)
{
    // After a data load the marker only moves within the plot range.
    SendDlgItemMessageA(panel_, 1027, UDM_SETRANGE32, 100, 500);
    HWND spin = GetDlgItem(panel_, 1027);
    QList<QToolButton*> arrows = win32_widget_of(spin)->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    QToolButton* up = arrows[0]->arrowType() == Qt::UpArrow ? arrows[0] : arrows[1];
    QToolButton* down = up == arrows[0] ? arrows[1] : arrows[0];
    ShowWindow(main_, SW_SHOWNORMAL);
    ShowWindow(panel_, SW_SHOWNA);

    EXPECT_EQ(pos(1027), 0); // the old position stands until a step or a read
    down->click();
    pump(main_, panel_);
    EXPECT_EQ(pos(1027), 100);
    up->click();
    up->click();
    pump(main_, panel_);
    EXPECT_EQ(pos(1027), 102);
    EXPECT_EQ(field(1026), "102");
    EXPECT_EQ(seen_of(WM_VSCROLL).size(), 3u);
}

TEST_F(UpDownTest, AutoBuddyAndAlignRightUseTheFieldBefore)
{
    for (int id : {1005, 1006, 1009, 1010, 1027, 1029, 1013, 1015, 1017}) {
        HWND spin = GetDlgItem(panel_, id);
        HWND buddy = reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0));
        int field_id = GetDlgCtrlID(buddy);
        EXPECT_EQ(field_id,
                  id == 1005       ? 1002
                      : id == 1006 ? 1003
                      : id == 1009 ? 1007
                      : id == 1010 ? 1008
                                   : id - 1)
            << id;
        QRect f = win32_widget_of(buddy)->geometry();
        QRect s = win32_widget_of(spin)->geometry();
        // The arrows sit at the field's right edge inside its template width.
        EXPECT_EQ(s.left(), f.right() + 1) << id;
        EXPECT_EQ(s.top(), f.top());
        EXPECT_EQ(s.height(), f.height());
    }
}

// A parent that hears each step before it is taken and may refuse it.
NMUPDOWN g_change = {};
bool g_refuse = false;
INT_PTR CALLBACK deciding_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == UDN_DELTAPOS) {
        g_change = *reinterpret_cast<NMUPDOWN*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, g_refuse);
        return TRUE;
    }
    return recording_proc(hwnd, msg, wParam, lParam);
}

TEST_F(UpDownTest, TheParentHearsEachStepAndMayRefuseIt)
{
    HWND parent = CreateDialogIndirectParamA(nullptr, &kPanelTemplate, main_, deciding_proc, 0);
    HWND spin = CreateWindowExA(0, UPDOWN_CLASSA, "", WS_CHILD | WS_VISIBLE | UDS_HORZ, 0, 0, 10, 20, parent,
                                reinterpret_cast<HMENU>(77), nullptr, nullptr);
    SendMessageA(spin, UDM_SETRANGE32, 0, 10);
    SendMessageA(spin, UDM_SETPOS32, 0, 5);
    const struct {
        bool up, refuse;
        int before, after;
    } cases[] = {{true, false, 5, 6}, {true, true, 6, 6}, {false, false, 6, 5}, {false, true, 5, 5}};
    for (const auto& c : cases) {
        g_refuse = c.refuse;
        g_change = {};
        seen().clear();
        PostMessageA(spin, 0x03F1, c.up, 0); // an arrow click
        pump();
        EXPECT_EQ(g_change.hdr.hwndFrom, spin);
        EXPECT_EQ(g_change.hdr.idFrom, 77u);
        EXPECT_EQ(g_change.iPos, c.before);
        EXPECT_EQ(g_change.iDelta, c.up ? 1 : -1);
        EXPECT_EQ(SendMessageA(spin, UDM_GETPOS32, 0, 0), c.after);
        // A horizontal control tells its new position by WM_HSCROLL.
        const std::vector<Seen> scrolls = seen_of(WM_HSCROLL);
        ASSERT_EQ(scrolls.size(), c.refuse ? 0u : 1u) << c.up << c.refuse;
        EXPECT_TRUE(seen_of(WM_VSCROLL).empty());
        if (!c.refuse) {
            EXPECT_EQ(scrolls[0].wParam, MAKEWPARAM(SB_THUMBPOSITION, c.after));
            EXPECT_EQ(scrolls[0].lParam, reinterpret_cast<LPARAM>(spin));
        }
    }
    g_refuse = false;
}

TEST_F(UpDownTest, AFreshControlRunsFromHundredDownToZero)
{
    HWND parent = CreateDialogIndirectParamA(nullptr, &kPanelTemplate, main_, recording_proc, 0);
    HWND spin =
        CreateWindowExA(0, UPDOWN_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 20, parent, nullptr, nullptr, nullptr);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(SendMessageA(spin, UDM_GETRANGE, 0, 0), MAKELRESULT(0, 100));
    SendMessageA(spin, UDM_SETPOS, 0, 50);
    SendMessageA(spin, WM_APP + 0, 0, 0);
    PostMessageA(spin, 0x03F1, 1, 0); // an up arrow click
    pump();
    EXPECT_EQ(static_cast<SHORT>(LOWORD(SendMessageA(spin, UDM_GETPOS, 0, 0))), 49);

    // The 16-bit range: upper limit in the low word, lower in the high word.
    SendMessageA(spin, UDM_SETRANGE, 0, MAKELPARAM(300, static_cast<WORD>(-20)));
    EXPECT_EQ(SendMessageA(spin, UDM_GETRANGE, 0, 0), MAKELRESULT(300, static_cast<WORD>(-20)));
    int lower = 0, upper = 0;
    SendMessageA(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
    EXPECT_EQ(lower, -20);
    EXPECT_EQ(upper, 300);
    const struct {
        LPARAM set;
        int steps; // up clicks
        int expected;
    } steps[] = {{299, 3, 300}, {-19, 0, -19}, {1000, 0, 300}, {-100, 0, -20}, {-20, 1, -19}};
    for (const auto& c : steps) {
        SendMessageA(spin, UDM_SETPOS, 0, c.set);
        for (int k = 0; k < c.steps; ++k)
            PostMessageA(spin, 0x03F1, 1, 0);
        pump();
        EXPECT_EQ(static_cast<SHORT>(LOWORD(SendMessageA(spin, UDM_GETPOS, 0, 0))), c.expected) << c.set;
    }
}

} // namespace

namespace {

// Held arrows step by the acceleration table's increment for the time held
// (the layer's step message carries it); a key press starts afresh.
TEST_F(UpDownTest, HeldArrowsStepByTheAccelerationTable)
{
    UDACCEL table[4] = {};
    EXPECT_EQ(SendDlgItemMessageA(panel_, 1013, UDM_GETACCEL, 4, reinterpret_cast<LPARAM>(table)), 3);
    const UDACCEL defaults[3] = {{0, 1}, {2, 5}, {5, 20}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::make_pair(table[i].nSec, table[i].nInc), std::make_pair(defaults[i].nSec, defaults[i].nInc));

    const struct {
        LPARAM held_ms;
        int from, to;
    } cases[] = {{0, 10, 11}, {1999, 10, 11}, {2000, 10, 15}, {4999, 10, 15}, {5000, 10, 30}, {60000, 90, 100}};
    HWND spin = GetDlgItem(panel_, 1013);
    for (const auto& c : cases) {
        SendMessageA(spin, UDM_SETPOS32, 0, c.from);
        SendMessageA(spin, WM_LAYER_STEP, 1, c.held_ms);
        EXPECT_EQ(pos(1013), c.to) << c.held_ms;
    }

    const UDACCEL tens[1] = {{0, 10}};
    EXPECT_EQ(SendMessageA(spin, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(tens)), TRUE);
    EXPECT_EQ(SendMessageA(spin, UDM_SETACCEL, 0, reinterpret_cast<LPARAM>(tens)), FALSE);
    SendMessageA(spin, UDM_SETPOS32, 0, 50);
    QTest::keyClick(win32_widget_of(GetDlgItem(panel_, 1012)), Qt::Key_Down);
    pump(main_, panel_);
    EXPECT_EQ(pos(1013), 40);
}

// An arrow held down with the mouse repeats, and the time held runs from
// the press, not from the last repeat: on a clock that moves a second at
// each read the steps grow as the table says (1 at first, 5 from two
// seconds, 20 from five). A new press starts at 1 again.
TEST_F(UpDownTest, AnArrowHeldWithTheMouseSpeedsUp)
{
    HWND spin = GetDlgItem(panel_, 1013);
    SendMessageA(spin, UDM_SETRANGE32, 0, 100000);
    SendMessageA(spin, UDM_SETPOS32, 0, 0);
    QToolButton* up = nullptr;
    for (QToolButton* b : win32_widget_of(spin)->findChildren<QToolButton*>())
        if (b->arrowType() == Qt::UpArrow)
            up = b;
    ASSERT_NE(up, nullptr);
    up->setAutoRepeatDelay(1);
    up->setAutoRepeatInterval(1);
    win32_script_tick_count(1000);
    auto steps = [] {
        std::vector<int> sizes;
        int last = 0;
        for (const Seen& s : seen_of(WM_VSCROLL)) {
            sizes.push_back(HIWORD(s.wParam) - last);
            last = HIWORD(s.wParam);
        }
        return sizes;
    };
    QTest::mousePress(up, Qt::LeftButton);
    const bool repeated = QTest::qWaitFor(
        [&] {
            pump(main_, panel_);
            return steps().size() >= 7;
        },
        10000);
    QTest::mouseRelease(up, Qt::LeftButton);
    pump(main_, panel_);
    ASSERT_TRUE(repeated);
    std::vector<int> held = steps();
    held.resize(7);
    EXPECT_EQ(held, (std::vector<int>{1, 5, 5, 5, 20, 20, 20}));

    seen().clear();
    SendMessageA(spin, UDM_SETPOS32, 0, 0);
    QTest::mouseClick(up, Qt::LeftButton);
    pump(main_, panel_);
    win32_real_tick_count();
    EXPECT_EQ(steps(), (std::vector<int>{1}));
}

TEST_F(UpDownTest, AProgressBarKeepsItsPositionWithinItsRange)
{
    const DialogItemTemplate items[] = {{WS_CHILD | WS_VISIBLE, 0, 0, 0, 80, 10, 1, PROGRESS_CLASSA, 0, ""}};
    const DialogTemplate tpl = {WS_CHILD, 0, 0, 0, 80, 10, nullptr, 0, nullptr, items, 1};
    HWND d = CreateDialogIndirectParamA(nullptr, &tpl, main_, recording_proc, 0);
    HWND bar = GetDlgItem(d, 1);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100); // the default range
    SendMessageA(bar, PBM_SETRANGE32, 0, 1000);
    const struct {
        WPARAM set;
        LRESULT old, now;
    } cases[] = {{250, 0, 250}, {1000, 250, 1000}, {5000, 1000, 1000}, {static_cast<WPARAM>(-3), 1000, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, c.set, 0), c.old);
        EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), c.now);
    }
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 1000);
}

} // namespace
