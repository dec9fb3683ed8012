// The stored settings in the panel's spin controls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32/win32_test_support.h"
#include "shell/settings.h"

namespace {

namespace fs = std::filesystem;
using namespace win32_test;

class SettingsPanelTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        char tmpl[] = "/tmp/varnel-settings-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    }
    void TearDown() override
    {
        fs::remove_all(root_);
        WindowTest::TearDown();
    }
    std::string read_file() const
    {
        std::ifstream in(root_ / "kestrow" / "varnel.exe.reg", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    HWND make_panel()
    {
        HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
        HWND panel = CreateDialogIndirectParamA(nullptr, &kPanelTemplate, main, recording_proc, 0);
        set_panel_ranges(panel);
        return panel;
    }
    fs::path root_;
};

TEST_F(SettingsPanelTest, FirstRunGivesTheDefaultsInThePanel)
{
    Settings s;
    load_settings(&s);
    HWND panel = make_panel();
    settings_to_panel(panel, &s);
    EXPECT_EQ(text_of(GetDlgItem(panel, 1003)), "4,000");
    EXPECT_EQ(text_of(GetDlgItem(panel, 1008)), "4,000");
    EXPECT_EQ(text_of(GetDlgItem(panel, 1012)), "100");
    EXPECT_EQ(text_of(GetDlgItem(panel, 1016)), "90");
}

TEST_F(SettingsPanelTest, ANegativeSettingGoesThroughThePanelAndTheRegistry)
{
    HWND panel = make_panel();
    Settings s;
    load_settings(&s);
    settings_to_panel(panel, &s);
    SendDlgItemMessageA(panel, 1005, UDM_SETPOS, 0, -2000);
    SendDlgItemMessageA(panel, 1015, UDM_SETPOS, 0, 275);
    SetDlgItemTextA(panel, 1028, "1,500"); // typed into the marker field
    panel_to_settings(&s, panel);
    EXPECT_EQ(s.x_min, -2000);
    EXPECT_EQ(s.azimuth, 275);
    EXPECT_EQ(s.y_marker, 1500);
    save_settings(&s);
    EXPECT_NE(read_file().find("\"x_min\"=dword:fffff830\n"), std::string::npos);

    Settings again;
    load_settings(&again);
    EXPECT_EQ(again.x_min, -2000);
    HWND panel2 = make_panel();
    settings_to_panel(panel2, &again);
    EXPECT_EQ(text_of(GetDlgItem(panel2, 1002)), "-2,000");
    EXPECT_EQ(static_cast<SHORT>(LOWORD(SendDlgItemMessageA(panel2, 1005, UDM_GETPOS, 0, 0))), -2000);
}

// Each stored integer goes to its own control, which keeps it within that
// control's range; what comes back is what the control holds.
TEST_F(SettingsPanelTest, SettingsOutsideTheRangesAreClampedByThePanel)
{
    const struct {
        int32_t Settings::*member;
        int control;
        int lower, upper;
    } controls[] = {
        {&Settings::x_min, 1005, -8000, 8000},   {&Settings::x_max, 1006, -8000, 8000},
        {&Settings::y_min, 1009, -8000, 8000},   {&Settings::y_max, 1010, -8000, 8000},
        {&Settings::x_marker, 1027, -8000, 8000}, {&Settings::y_marker, 1029, -8000, 8000},
        {&Settings::radius, 1013, 0, 100},       {&Settings::azimuth, 1015, 0, 360},
        {&Settings::elevation, 1017, 0, 90},
    };
    HWND panel = make_panel();
    for (int32_t stored : {30000, -30000}) {
        Settings s;
        load_settings(&s);
        for (const auto& c : controls)
            s.*c.member = stored + c.control; // a different value in each
        settings_to_panel(panel, &s);
        Settings back;
        std::memset(&back, 0, sizeof back);
        panel_to_settings(&back, panel);
        for (const auto& c : controls) {
            const int expected = stored > 0 ? c.upper : c.lower;
            EXPECT_EQ(back.*c.member, expected) << c.control;
            EXPECT_EQ(static_cast<SHORT>(LOWORD(SendDlgItemMessageA(panel, c.control, UDM_GETPOS, 0, 0))), expected);
        }
    }
    // Past 16 bits, the control sees only the low 16.
    Settings s;
    load_settings(&s);
    s.x_min = 70000;
    settings_to_panel(panel, &s);
    panel_to_settings(&s, panel);
    EXPECT_EQ(s.x_min, 4464);
}

} // namespace
