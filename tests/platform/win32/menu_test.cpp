// Popup menus: check marks by id and by place, radio groups, and the picks
// a menu hands back, read from the menu as it would be shown.
#include "win32_test_support.h"

namespace {

using namespace win32_test;

class MenuTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        owner_ =
            keep(CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kMainTemplate, nullptr, recording_proc, 0));
        ASSERT_NE(owner_, nullptr);
        HMENU view = CreatePopupMenu(), off = CreatePopupMenu();
        for (UINT id : {21, 22, 23, 24})
            AppendMenuA(view, MF_STRING, id, std::string(1, char('A' + id - 21)).c_str());
        AppendMenuA(off, MF_STRING, 41, "Hidden");
        menu_ = CreatePopupMenu();
        AppendMenuA(menu_, MF_STRING, 10, "Open");
        AppendMenuA(menu_, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu_, MF_POPUP, UINT_PTR(view), "View");
        AppendMenuA(menu_, MF_STRING | MF_GRAYED, 30, "Gray");
        AppendMenuA(menu_, MF_POPUP | MF_GRAYED, UINT_PTR(off), "Off");
        drain();
        seen().clear();
    }
    void TearDown() override
    {
        DestroyMenu(menu_);
        WindowTest::TearDown();
    }
    // The menu as the next TrackPopupMenu shows it, and what it returns for `pick`.
    std::pair<std::string, BOOL> track(UINT pick, UINT flags = TPM_RETURNCMD)
    {
        win32_clear_dialog_calls();
        win32_script_popup_menu(pick);
        const BOOL result = TrackPopupMenu(menu_, flags, 5, 6, 0, owner_, nullptr);
        EXPECT_EQ(win32_popup_menu_calls().size(), 1u);
        return {win32_popup_menu_calls().empty() ? "" : win32_popup_menu_calls().back().outline, result};
    }
    HWND owner_ = nullptr;
    HMENU menu_ = nullptr;
};

TEST_F(MenuTest, ChecksAndRadioGroupsShowInTheMenu)
{
    // The last of the group first, then the first: the last loses its mark.
    EXPECT_TRUE(CheckMenuRadioItem(menu_, 21, 23, 23, MF_BYCOMMAND));
    EXPECT_TRUE(CheckMenuRadioItem(menu_, 21, 23, 21, MF_BYCOMMAND));
    EXPECT_FALSE(CheckMenuRadioItem(menu_, 21, 23, 29, MF_BYCOMMAND));
    EXPECT_EQ(CheckMenuItem(menu_, 24, MF_CHECKED), DWORD(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(menu_, 24, MF_CHECKED), DWORD(MF_CHECKED));
    EXPECT_EQ(CheckMenuItem(menu_, 0, MF_BYPOSITION | MF_CHECKED), DWORD(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(menu_, 5, MF_BYPOSITION | MF_CHECKED), DWORD(-1));
    EXPECT_EQ(CheckMenuItem(menu_, 41, MF_CHECKED), DWORD(-1)) << "under a grayed item";
    EXPECT_EQ(track(0).first,
              "[x] Open #10\n"
              "-\n"
              "View >\n"
              "  (o) A #21\n"
              "  B #22\n"
              "  C #23\n"
              "  [x] D #24\n"
              "Gray #30\n"
              "Off >\n"
              "  Hidden #41\n");
    EXPECT_EQ(CheckMenuItem(menu_, 0, MF_BYPOSITION | MF_UNCHECKED), DWORD(MF_CHECKED));
    EXPECT_EQ(track(0).first.substr(0, 8), "Open #10");
}

// Only an enabled item can be picked; without TPM_RETURNCMD the pick comes
// to the owner as WM_COMMAND.
TEST_F(MenuTest, PicksComeBackOrAsCommands)
{
    const struct {
        UINT pick;
        BOOL returned;
    } cases[] = {{22, 22}, {10, 10}, {30, 0}, {41, 0}, {99, 0}, {0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(track(c.pick).second, c.returned) << c.pick;
    EXPECT_EQ(track(24, 0).second, TRUE);
    EXPECT_EQ(track(30, 0).second, FALSE);
    EXPECT_EQ(track(23, TPM_NONOTIFY).second, TRUE);
    pump();
    const auto commands = seen_of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].hwnd, owner_);
    EXPECT_EQ(commands[0].wParam, WPARAM(24));
    // An open menu takes the mouse from a window that held it (a drag).
    SetCapture(owner_);
    track(22);
    EXPECT_EQ(GetCapture(), nullptr);
}

} // namespace
