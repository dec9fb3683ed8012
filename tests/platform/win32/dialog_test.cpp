#include <QAbstractItemView>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "platform/win32/commctrl.h"
#include "resources/texts.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;

class DialogTest : public WindowTest {
protected:
    void build()
    {
        main_ = keep(CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kMainTemplate, nullptr, recording_proc, 7));
        ASSERT_NE(main_, nullptr);
        panel_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kPanelTemplate, main_, recording_proc, 0);
        ASSERT_NE(panel_, nullptr);
    }
    HWND main_ = nullptr;
    HWND panel_ = nullptr;
};

TEST_F(DialogTest, PanelTemplateBuildsEveryControlInOrder)
{
    build();
    ASSERT_EQ(GetParent(panel_), main_);
    for (const DialogItemTemplate& item : kPanelItems) {
        if (item.id == 0xFFFF)
            continue;
        HWND c = GetDlgItem(panel_, item.id);
        ASSERT_NE(c, nullptr) << item.id;
        EXPECT_EQ(GetDlgCtrlID(c), item.id);
        EXPECT_EQ(GetParent(c), panel_);
        QWidget* w = win32_widget_of(c);
        std::string cls = item.class_name ? item.class_name : "";
        if (item.class_atom == DIALOG_CLASS_EDIT || cls == "Edit") {
            auto* edit = qobject_cast<QLineEdit*>(w);
            ASSERT_NE(edit, nullptr) << item.id;
            EXPECT_EQ(edit->isReadOnly(), (item.style & ES_READONLY) != 0) << item.id;
            // A read-only field shows the dialog's grey, a typing field does not.
            const QColor grey = win32_widget_of(panel_)->palette().color(QPalette::Window);
            const QImage field = edit->grab().toImage();
            EXPECT_EQ(field.pixelColor(4, field.height() / 2) == grey, edit->isReadOnly()) << item.id;
            EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
            EXPECT_TRUE(edit->hasFrame());
        } else if (item.class_atom == DIALOG_CLASS_BUTTON || cls == "Button") {
            auto* button = qobject_cast<QPushButton*>(w);
            ASSERT_NE(button, nullptr) << item.id;
            EXPECT_EQ(text_of(c), item.text);
            EXPECT_EQ(button->text(), QString::fromUtf8(item.text));
        }
    }
    // The items without an id are there too: group boxes and labels.
    QWidget* panel = win32_widget_of(panel_);
    EXPECT_EQ(panel->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly).size(), 4);
    QStringList labels;
    for (QLabel* l : panel->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        labels << l->text();
    EXPECT_EQ(labels, (QStringList{"X[min]", "X[max]", "Y[min]", "Y[max]", "X", "Y", "距離", "方位角", "仰角"}));
    EXPECT_EQ(panel->findChildren<QGroupBox*>().front()->title(), QString::fromUtf8("プロットデータ"));

    // Not visible by itself: the template has no WS_VISIBLE.
    EXPECT_FALSE(GetWindowLongA(panel_, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(GetWindowLongA(panel_, GWL_STYLE) & WS_CHILD, WS_CHILD);
    EXPECT_EQ(text_of(main_), "Varnel");
}

TEST_F(DialogTest, DialogUnitsBecomePixelsFromTheFontMetrics)
{
    build();
    QWidget* panel = win32_widget_of(panel_);
    // The template's font is not known to fontconfig; IPA P Gothic stands in.
    EXPECT_EQ(QFontInfo(panel->font()).family(), "IPAPGothic");
    EXPECT_EQ(panel->font().pixelSize(), 12); // 9 points at 96 pixels per inch

    QFontMetrics metrics(panel->font());
    int bx = (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
    int by = metrics.height();
    auto px_x = [&](int du) { return (du * bx * 2 + 4) / 8; }; // MulDiv(du, bx, 4), rounded
    auto px_y = [&](int du) { return (du * by * 2 + 8) / 16; };

    RECT r = {0, 0, 105, 352};
    ASSERT_TRUE(MapDialogRect(panel_, &r));
    EXPECT_EQ(r.right, px_x(105));
    EXPECT_EQ(r.bottom, px_y(352));
    RECT client;
    GetClientRect(panel_, &client);
    EXPECT_EQ(client.right, r.right);
    EXPECT_EQ(client.bottom, r.bottom);

    // The first button, (36, 98) 33 x 14 dialog units, inside the panel.
    QRect button = win32_widget_of(GetDlgItem(panel_, 1004))->geometry();
    EXPECT_EQ(button, QRect(px_x(36), px_y(98), px_x(33), px_y(14)));
    // The main window's client area is its 400 x 352 units.
    GetClientRect(main_, &client);
    EXPECT_EQ(client.right, px_x(400));
    EXPECT_EQ(client.bottom, px_y(352));
    // Sanity of the metrics themselves: a 12-pixel font.
    EXPECT_GE(bx, 5);
    EXPECT_LE(bx, 8);
    EXPECT_GE(by, 12);
    EXPECT_LE(by, 16);
}

TEST_F(DialogTest, InitDialogGetsTheFirstTabStopAndTheInitialValue)
{
    build();
    auto inits = seen_of(WM_INITDIALOG);
    ASSERT_EQ(inits.size(), 2u);
    EXPECT_EQ(inits[0].hwnd, main_);
    EXPECT_EQ(inits[0].lParam, 7);
    EXPECT_EQ(inits[0].wParam, 0u); // no tab stop in the main window
    EXPECT_EQ(inits[1].hwnd, panel_);
    EXPECT_EQ(reinterpret_cast<HWND>(inits[1].wParam), GetDlgItem(panel_, 1002));
    // WM_SIZE came before WM_INITDIALOG, as the platform sends it.
    size_t first_size = 0, first_init = 0;
    for (size_t i = 0; i < seen().size(); ++i) {
        if (seen()[i].hwnd != main_)
            continue;
        if (seen()[i].msg == WM_SIZE && !first_size)
            first_size = i + 1;
        if (seen()[i].msg == WM_INITDIALOG && !first_init)
            first_init = i + 1;
    }
    EXPECT_LT(first_size, first_init);
}

TEST_F(DialogTest, TabOrderIsTemplateOrder)
{
    build();
    const int order[] = {1002, 1003, 1007, 1008, 1004, 1011, 1019, 1026, 1028, 1030, 1031, 1012, 1014, 1016};
    HWND c = nullptr;
    for (int id : order) {
        c = GetNextDlgTabItem(panel_, c, FALSE);
        EXPECT_EQ(GetDlgCtrlID(c), id);
    }
    EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(panel_, c, FALSE)), 1002); // wraps
    EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(panel_, GetDlgItem(panel_, 1002), TRUE)), 1016);

    // The Tab key through the dialog manager moves the focus the same way.
    ShowWindow(main_, SW_SHOWNORMAL);
    SetWindowPos(panel_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    SetFocus(GetDlgItem(panel_, 1008));
    QTest::keyClick(win32_widget_of(GetDlgItem(panel_, 1008)), Qt::Key_Tab);
    pump(main_, panel_);
    EXPECT_EQ(GetFocus(), GetDlgItem(panel_, 1004));
    QTest::keyClick(win32_widget_of(GetDlgItem(panel_, 1004)), Qt::Key_Backtab, Qt::ShiftModifier);
    pump(main_, panel_);
    EXPECT_EQ(GetFocus(), GetDlgItem(panel_, 1008));
    // Tabbing into a field selects its text, as the dialog manager does.
    EXPECT_TRUE(qobject_cast<QLineEdit*>(win32_widget_of(GetDlgItem(panel_, 1008)))->hasSelectedText());
}

TEST_F(DialogTest, NoControlHasTheFocusAtStartAndATabbedButtonShowsIt)
{
    // WM_INITDIALOG said FALSE: typed digits must not land in a field.
    build();
    ShowWindow(main_, SW_SHOWNORMAL);
    SetWindowPos(panel_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    pump(main_, panel_);
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == nullptr || focus == main_) << GetDlgCtrlID(focus);

    // The last field, then Tab onto the button after it: its picture changes.
    HWND field = GetDlgItem(panel_, 1004), button = GetDlgItem(panel_, 1011);
    QWidget* button_widget = win32_widget_of(button);
    const QImage before = button_widget->grab().toImage();
    SetFocus(field);
    QTest::keyClick(win32_widget_of(field), Qt::Key_Tab);
    pump(main_, panel_);
    ASSERT_EQ(GetFocus(), button);
    EXPECT_NE(button_widget->grab().toImage(), before);
    // SetFocus answers the window that had it; what is no window moves nothing.
    EXPECT_EQ(SetFocus(field), button);
    EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(&focus)), field);
    EXPECT_EQ(GetFocus(), field);
}

// A field's selection as the edit messages set and read it, the digits
// only that a number field takes, and its length limit.
TEST_F(DialogTest, EditMessagesSelectTypeAndLimit)
{
    build();
    HWND field = GetDlgItem(panel_, 1002);
    ASSERT_TRUE(SetWindowTextA(field, "12345"));
    const struct {
        int start, end;           // sent
        DWORD got_start, got_end; // read back
    } selections[] = {
        {1, 3, 1, 3}, {3, 1, 1, 3}, {2, 99, 2, 5}, {2, -1, 2, 5}, {0, 5, 0, 5}, {9, 9, 5, 5}, {4, 4, 4, 4},
    };
    for (const auto& c : selections) {
        SendMessageA(field, EM_SETSEL, WPARAM(c.start), LPARAM(c.end));
        DWORD start = 77, end = 77;
        const LRESULT both = SendMessageA(field, EM_GETSEL, WPARAM(&start), LPARAM(&end));
        EXPECT_EQ(start, c.got_start) << c.start << " " << c.end;
        EXPECT_EQ(end, c.got_end) << c.start << " " << c.end;
        EXPECT_EQ(both, LRESULT(MAKELRESULT(c.got_start, c.got_end)));
    }

    // Typed at the end: the digits stay, the rest is refused.
    SendMessageA(field, EM_SETSEL, 5, 5);
    for (char ch : std::string("0/9:a 8"))
        SendMessageA(field, WM_CHAR, WPARAM(ch), 0);
    EXPECT_EQ(text_of(field), "12345098");
    SendMessageA(field, EM_LIMITTEXT, 9, 0);
    for (char ch : std::string("123"))
        SendMessageA(field, WM_CHAR, WPARAM(ch), 0);
    EXPECT_EQ(text_of(field), "123450981");
    SendMessageA(field, EM_LIMITTEXT, 0, 0); // no limit
    for (char ch : std::string("23"))
        SendMessageA(field, WM_CHAR, WPARAM(ch), 0);
    EXPECT_EQ(text_of(field), "12345098123");
}

// What each control tells the dialog it takes, where the mouse goes, and
// which clicks and characters reach it.
TEST_F(DialogTest, ControlsAnswerForWhatTheyTake)
{
    build();
    const struct {
        const char* class_name;
        DWORD style;
        UINT message;
        LRESULT expected;
    } cases[] = {
        {"Static", SS_LEFT, WM_GETDLGCODE, DLGC_STATIC},
        {"Static", SS_LEFT, WM_NCHITTEST, HTTRANSPARENT},
        {"Static", SS_LEFT | SS_NOTIFY, WM_NCHITTEST, HTCLIENT},
        {"Button", BS_GROUPBOX, WM_GETDLGCODE, DLGC_STATIC},
        {"Button", BS_PUSHBUTTON, WM_GETDLGCODE, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
        {"Button", BS_DEFPUSHBUTTON, WM_GETDLGCODE, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
        {"Edit", ES_LEFT, WM_GETDLGCODE, DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS},
    };
    std::vector<HWND> made;
    for (const auto& c : cases) {
        HWND w = CreateWindowExA(0, c.class_name, "", WS_CHILD | WS_VISIBLE | c.style, 0, 0, 40, 12, panel_,
                                 reinterpret_cast<HMENU>(intptr_t(2000 + made.size())), nullptr, nullptr);
        ASSERT_NE(w, nullptr) << c.class_name;
        made.push_back(w);
        EXPECT_EQ(SendMessageA(w, c.message, 0, 0), c.expected) << c.class_name << " " << c.style << " " << c.message;
    }

    // A click reaches the dialog from an enabled push button only.
    seen().clear();
    SendMessageA(made[3], BM_CLICK, 0, 0); // the group box
    EnableWindow(made[4], FALSE);
    SendMessageA(made[4], BM_CLICK, 0, 0);
    EnableWindow(made[4], TRUE);
    SendMessageA(made[4], BM_CLICK, 0, 0);
    const std::vector<Seen> commands = seen_of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].hwnd, panel_);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(2004, BN_CLICKED));
    EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(made[4]));

    // A read-only field and control characters take no typing.
    HWND field = made[6];
    for (WPARAM ch : {WPARAM('a'), WPARAM(0x1F), WPARAM(0x7F), WPARAM(' ')})
        SendMessageA(field, WM_CHAR, ch, 0);
    EXPECT_EQ(text_of(field), "a ");
    EXPECT_TRUE(SendMessageA(field, EM_SETREADONLY, TRUE, 0));
    SendMessageA(field, WM_CHAR, 'b', 0);
    EXPECT_EQ(text_of(field), "a ");
    EXPECT_NE(GetWindowLongA(field, GWL_STYLE) & ES_READONLY, 0);
    SendMessageA(field, EM_SETREADONLY, FALSE, 0);
    SendMessageA(field, WM_CHAR, 'c', 0);
    EXPECT_EQ(text_of(field), "a c");
    EXPECT_EQ(GetWindowLongA(field, GWL_STYLE) & ES_READONLY, 0);
    for (HWND w : made)
        DestroyWindow(w);
}

// A control's place: moved in its parent's client coordinates, read back
// through the screen both ways; hidden, shown and disabled in turn.
TEST_F(DialogTest, ControlsMoveShowAndEnable)
{
    build();
    ShowWindow(main_, SW_SHOWNORMAL);
    SetWindowPos(panel_, nullptr, 7, 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    HWND button = GetDlgItem(panel_, 1004);
    ASSERT_TRUE(MoveWindow(button, 10, 20, 30, 40, TRUE));
    RECT client, frame;
    ASSERT_TRUE(GetClientRect(button, &client));
    EXPECT_EQ(client.right * 1000 + client.bottom, 30040);
    ASSERT_TRUE(GetWindowRect(button, &frame));
    EXPECT_EQ(frame.right - frame.left, 30);
    EXPECT_EQ(frame.bottom - frame.top, 40);
    POINT corner = {frame.left, frame.top};
    ASSERT_TRUE(ScreenToClient(panel_, &corner));
    EXPECT_EQ(corner.x * 1000 + corner.y, 10020);
    POINT p = {3, 4};
    ASSERT_TRUE(ClientToScreen(button, &p));
    EXPECT_EQ(p.x * 1000 + p.y, (frame.left + 3) * 1000 + frame.top + 4);
    ASSERT_TRUE(ScreenToClient(panel_, &p));
    EXPECT_EQ(p.x * 1000 + p.y, 13024);
    ASSERT_TRUE(ClientToScreen(panel_, &p));
    ASSERT_TRUE(ScreenToClient(main_, &p));
    EXPECT_EQ(p.x * 1000 + p.y, 20033) << "the panel sits at 7, 9 in the main window";

    EXPECT_TRUE(IsWindowVisible(button));
    SetWindowPos(button, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_HIDEWINDOW);
    EXPECT_FALSE(IsWindowVisible(button));
    SetWindowPos(button, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    EXPECT_TRUE(IsWindowVisible(button));
    GetWindowRect(button, &frame);
    ScreenToClient(panel_, reinterpret_cast<POINT*>(&frame));
    EXPECT_EQ(frame.left * 1000 + frame.top, 10020) << "neither moved nor sized";

    EXPECT_TRUE(IsWindowEnabled(button));
    EXPECT_FALSE(EnableWindow(button, FALSE)) << "it was enabled";
    EXPECT_FALSE(IsWindowEnabled(button));
    EXPECT_TRUE(GetWindowLongA(button, GWL_STYLE) & WS_DISABLED);
    EXPECT_TRUE(EnableWindow(button, TRUE)) << "it was disabled";
    EXPECT_TRUE(IsWindowEnabled(button));
    EXPECT_FALSE(GetWindowLongA(button, GWL_STYLE) & WS_DISABLED);
}

TEST_F(DialogTest, AnUnknownClassFailsTheWholeDialog)
{
    const DialogItemTemplate items[] = {
        {WS_CHILD | WS_VISIBLE, 0, 0, 0, 10, 10, 1, "Static", 0, "a"},
        {WS_CHILD | WS_VISIBLE, 0, 0, 0, 10, 10, 2, "NoSuchClass", 0, "b"},
    };
    const DialogTemplate tpl = {WS_POPUP, 0, 0, 0, 50, 50, nullptr, 0, nullptr, items, 2};
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, &tpl, nullptr, recording_proc, 0), nullptr);
    EXPECT_TRUE(seen_of(WM_INITDIALOG).empty());
    EXPECT_EQ(seen_of(WM_DESTROY).size(), 1u); // the half-built dialog went away
    const DialogTemplate child = {WS_CHILD, 0, 0, 0, 50, 50, nullptr, 0, nullptr, items, 1};
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, &child, nullptr, recording_proc, 0), nullptr); // no parent
}

// The long load's dialog: its bar, at the platform's default range, and a
// Cancel button that sends IDCANCEL.
TEST_F(DialogTest, ProgressTemplateHoldsTheBarAndCancel)
{
    HWND dialog =
        keep(CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kProgressTemplate, nullptr, recording_proc, 0));
    ASSERT_NE(dialog, nullptr);
    HWND bar = GetDlgItem(dialog, IDC_LOAD_PROGRESS);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    char caption[64] = "";
    GetWindowTextA(cancel, caption, sizeof caption);
    EXPECT_STREQ(caption, text(TextId::cancel_button));
}

TEST_F(DialogTest, DestroyingTheMainWindowTakesItsChildrenAlong)
{
    build();
    HWND render = GetDlgItem(main_, 1018);
    HWND edit = GetDlgItem(panel_, 1002);
    seen().clear();
    ASSERT_TRUE(DestroyWindow(main_));
    // WM_DESTROY reaches the main window before the panel.
    auto destroys = seen_of(WM_DESTROY);
    ASSERT_EQ(destroys.size(), 2u);
    EXPECT_EQ(destroys[0].hwnd, main_);
    EXPECT_EQ(destroys[1].hwnd, panel_);
    for (HWND w : {main_, panel_, render, edit}) {
        EXPECT_FALSE(IsWindow(w));
        UINT width = 1, height = 1;
        EXPECT_FALSE(w->target_client_size(&width, &height));
        unsigned char pixel[4] = {};
        w->target_present(pixel, 1, 1, 4); // ignored, no crash
    }
    EXPECT_EQ(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_FALSE(DestroyWindow(main_));
    EXPECT_EQ(GetDlgItem(panel_, 1002), nullptr);
}

// A dialog whose OK destroys it and then runs a loop of its own (a message
// box, a progress dialog) before its procedure returns: the loop frees the
// dialog's widget, and the layer still reads the dialog afterwards. Under
// the address sanitizer a freed dialog object shows as a use after free.
INT_PTR CALLBACK destroyed_in_nested_loop_proc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg != WM_COMMAND || LOWORD(wParam) != IDOK)
        return FALSE;
    seen().push_back({dialog, msg, wParam, 0});
    DestroyWindow(dialog);
    MSG message;
    for (int i = 0; i < 100 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i)
        DispatchMessageA(&message);
    return TRUE;
}

TEST_F(DialogTest, DialogDestroyedInANestedLoopOutlivesItsProcedure)
{
    enum class Way { Send, Click, Return };
    for (Way way : {Way::Send, Way::Click, Way::Return}) {
        SCOPED_TRACE(static_cast<int>(way));
        seen().clear();
        const size_t before = win32_window_count();
        HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kDatabaseTemplate, nullptr,
                                                 destroyed_in_nested_loop_proc, 0);
        ASSERT_NE(dialog, nullptr);
        pump(dialog);
        switch (way) {
        case Way::Send:
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            break;
        case Way::Click:
            QTest::mouseClick(static_cast<QAbstractButton*>(win32_widget_of(GetDlgItem(dialog, IDOK))), Qt::LeftButton);
            break;
        case Way::Return:
            SetFocus(GetDlgItem(dialog, IDC_DATABASE_ADDRESS));
            QTest::keyClick(win32_widget_of(GetDlgItem(dialog, IDC_DATABASE_ADDRESS)), Qt::Key_Return);
            break;
        }
        pump(IsWindow(dialog) ? dialog : nullptr);
        EXPECT_EQ(seen_of(WM_COMMAND).size(), 1u);
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(win32_window_count(), before);
        drain();
    }
}

// The column dialog's lists, filled with a header's names as the viewer
// fills them.
INT_PTR CALLBACK column_lists_proc(HWND dialog, UINT msg, WPARAM, LPARAM)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    for (int list : {IDC_X_COLUMN, IDC_Y_COLUMN, IDC_HEIGHT_MEASURE})
        for (const char* name : {"1  idx", "2  alpha", "3  beta"})
            SendDlgItemMessageA(dialog, list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessageA(dialog, IDC_X_COLUMN, CB_SETCURSEL, 1, 0);
    SendDlgItemMessageA(dialog, IDC_Y_COLUMN, CB_SETCURSEL, 2, 0);
    SendDlgItemMessageA(dialog, IDC_HEIGHT_MEASURE, CB_SETCURSEL, 0, 0);
    return TRUE;
}

QRect child_rect(HWND child)
{
    QWidget* widget = win32_widget_of(child);
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

// A drop-down list is one line of a field's height whatever height its
// template asks (that height is its opened list's): it shows its choice,
// covers none of its neighbours and opens its list below itself.
TEST_F(DialogTest, DropDownListShowsItsChoiceInOneLine)
{
    HWND dialog =
        keep(CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kColumnsTemplate, nullptr, column_lists_proc, 0));
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOWNORMAL);
    pump();
    const HWND lists[] = {GetDlgItem(dialog, IDC_X_COLUMN), GetDlgItem(dialog, IDC_Y_COLUMN),
                          GetDlgItem(dialog, IDC_HEIGHT_MEASURE)};
    const QFontMetrics metrics(win32_widget_of(dialog)->font());
    RECT field = {0, 0, 1, 14}; // an edit field's height in dialog units
    ASSERT_TRUE(MapDialogRect(dialog, &field));
    for (HWND list : lists) {
        const int height = child_rect(list).height();
        EXPECT_GE(height, metrics.height());
        EXPECT_LE(height, field.bottom);
    }

    // No control covers another, OK and Cancel included.
    const QList<QWidget*> children = win32_widget_of(dialog)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(children.size(), 9);
    for (qsizetype i = 0; i < children.size(); ++i)
        for (qsizetype j = i + 1; j < children.size(); ++j)
            EXPECT_FALSE(children[i]->geometry().intersects(children[j]->geometry()))
                << i << " covers " << j << " of the template's items";

    // The chosen names are drawn inside the lists, and nothing else changes
    // when the choice goes.
    const QImage chosen = win32_widget_of(dialog)->grab().toImage();
    for (HWND list : lists)
        SendMessageA(list, CB_SETCURSEL, WPARAM(-1), 0);
    const QImage none = win32_widget_of(dialog)->grab().toImage();
    ASSERT_EQ(chosen.size(), none.size());
    int inside[3] = {0, 0, 0}, outside = 0;
    for (int y = 0; y < chosen.height(); ++y)
        for (int x = 0; x < chosen.width(); ++x) {
            if (chosen.pixel(x, y) == none.pixel(x, y))
                continue;
            int in = -1;
            for (int k = 0; k < 3; ++k)
                if (child_rect(lists[k]).contains(x, y))
                    in = k;
            ++(in < 0 ? outside : inside[in]);
        }
    EXPECT_GT(inside[0], 0);
    EXPECT_GT(inside[1], 0);
    EXPECT_GT(inside[2], 0);
    EXPECT_EQ(outside, 0);

    // The list opens below the field.
    auto* box = static_cast<QComboBox*>(win32_widget_of(lists[0]));
    box->showPopup();
    QWidget* popup = box->view()->window();
    ASSERT_TRUE(popup->isVisible());
    EXPECT_GE(popup->geometry().top(), box->mapToGlobal(QPoint(0, box->height())).y() - 1);
    box->hidePopup();
}

// Made or moved with any height, a drop-down list keeps one line; a list
// that always shows (CBS_SIMPLE) takes the height it is given.
TEST_F(DialogTest, OnlyDropDownListsKeepOneLine)
{
    HWND dialog =
        keep(CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kColumnsTemplate, nullptr, recording_proc, 0));
    ASSERT_NE(dialog, nullptr);
    const int line = win32_widget_of(GetDlgItem(dialog, IDC_X_COLUMN))->height();
    struct Case {
        DWORD kind;
        int asked;
        int expected; // 0: one line
    };
    const Case cases[] = {
        {CBS_DROPDOWNLIST, 200, 0}, {CBS_DROPDOWN, 150, 0}, {CBS_DROPDOWNLIST, 8, 0}, {1 /* CBS_SIMPLE */, 150, 150}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        HWND list = CreateWindowExA(0, "ComboBox", "", WS_CHILD | WS_VISIBLE | c.kind, 5, 5, 100, c.asked, dialog,
                                    nullptr, nullptr, nullptr);
        ASSERT_NE(list, nullptr);
        const int expected = c.expected ? c.expected : line;
        EXPECT_EQ(win32_widget_of(list)->height(), expected);
        MoveWindow(list, 5, 5, 120, c.asked + 40, FALSE);
        EXPECT_EQ(win32_widget_of(list)->height(), c.expected ? c.asked + 40 : line);
        EXPECT_EQ(win32_widget_of(list)->width(), 120);
        DestroyWindow(list);
    }
}

// A modal dialog whose procedure says TRUE to WM_INITDIALOG starts in its
// first field with the field's text selected, keeps its owner disabled
// until it ends, and answers what EndDialog was given.
TEST_F(DialogTest, AModalDialogStartsInItsFirstFieldAndHoldsItsOwner)
{
    build();
    struct Seen {
        HWND owner = nullptr;
        bool owner_enabled = true, field_has_focus = false;
        QString selected = {};
    } seen;
    seen.owner = main_;
    const DLGPROC proc = [](HWND dialog, UINT msg, WPARAM, LPARAM l) -> INT_PTR {
        static Seen* at = nullptr;
        if (msg == WM_INITDIALOG) {
            at = reinterpret_cast<Seen*>(l);
            SetDlgItemTextA(dialog, IDC_DATABASE_ADDRESS, "clickhouse://host/db.t");
            PostMessageA(dialog, WM_APP, 0, 0);
            return TRUE;
        }
        if (msg != WM_APP)
            return FALSE;
        at->owner_enabled = IsWindowEnabled(at->owner);
        // The window's focus, whether or not the offscreen platform has
        // activated the window yet.
        auto* field = qobject_cast<QLineEdit*>(win32_widget_of(GetDlgItem(dialog, IDC_DATABASE_ADDRESS)));
        at->field_has_focus = field && field->window()->focusWidget() == field;
        at->selected = field ? field->selectedText() : QString();
        EndDialog(dialog, 42);
        return TRUE;
    };
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kDatabaseTemplate, main_, proc, reinterpret_cast<LPARAM>(&seen)), 42);
    EXPECT_FALSE(seen.owner_enabled);
    EXPECT_TRUE(seen.field_has_focus);
    EXPECT_EQ(seen.selected, "clickhouse://host/db.t");
    EXPECT_TRUE(IsWindowEnabled(main_));
}

TEST_F(DialogTest, DefaultProcedureTurnsCloseIntoCancel)
{
    build();
    seen().clear();
    SendMessageA(main_, WM_CLOSE, 0, 0); // the recording procedure leaves it
    pump();
    auto commands = seen_of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(LOWORD(commands[0].wParam), IDCANCEL);
    EXPECT_TRUE(IsWindow(main_));
}

} // namespace
