// The stored settings in the panel's spin controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/win32/win32_test_support.h"
#include "render/scene/camera.h"
#include "shell/decimal_fields.h"
#include "shell/settings.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace win32_test;

class SettingsPanelTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    }
    HWND make_panel()
    {
        HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
        HWND panel = CreateDialogIndirectParamA(nullptr, &kPanelTemplate, main, recording_proc, 0);
        make_fields_decimal(panel);
        set_panel_ranges(panel);
        return panel;
    }
    TempFolder folder_{"settings"};
    const fs::path root_ = folder_.path();
};

TEST_F(SettingsPanelTest, TheRangeAndMarkerGoThroughThePanelAsTyped)
{
    HWND panel = make_panel();
    Settings s;
    load_settings(&s);
    settings_to_panel(panel, &s);
    SetDlgItemTextA(panel, 1002, "-2000.5");
    SetDlgItemTextA(panel, 1003, "4,000"); // no number: the setting stays
    SetDlgItemTextA(panel, 1028, " 1e3 ");
    SendDlgItemMessageA(panel, 1015, UDM_SETPOS, 0, 275);
    panel_to_settings(&s, panel);
    EXPECT_EQ(s.x_min_exact, -2000.5);
    EXPECT_EQ(s.x_max_exact, 4000);
    EXPECT_EQ(s.y_marker_exact, 1000);
    EXPECT_EQ(s.azimuth, 275);
    save_settings(&s);

    Settings again;
    load_settings(&again);
    EXPECT_EQ(again.x_min, -2001); // rounded outward for older readers
    HWND panel2 = make_panel();
    settings_to_panel(panel2, &again);
    EXPECT_EQ(text_of(GetDlgItem(panel2, 1002)), "-2000.5");
    EXPECT_EQ(text_of(GetDlgItem(panel2, 1028)), "1000");
    EXPECT_EQ(static_cast<SHORT>(LOWORD(SendDlgItemMessageA(panel2, 1015, UDM_GETPOS, 0, 0))), 275);
}

// Each stored camera integer goes to its own control, which keeps it
// within that control's range and sees only its low 16 bits.
TEST_F(SettingsPanelTest, SettingsOutsideTheRangesAreClampedByThePanel)
{
    const struct {
        int32_t Settings::*member;
        int lower, upper;
    } controls[] = {
        {&Settings::radius, 0, kFarthestRadius},
        {&Settings::azimuth, 0, 360},
        {&Settings::elevation, 0, 90},
    };
    // What is stored, and what the control sees of it: the low 16 bits.
    const std::pair<int32_t, int32_t> stored_and_seen[] = {{30000, 30000}, {-30000, -30000}, {70000, 4464}};
    HWND panel = make_panel();
    for (const auto& [stored, seen] : stored_and_seen) {
        Settings s = default_settings();
        for (const auto& c : controls)
            s.*c.member = stored;
        settings_to_panel(panel, &s);
        panel_to_settings(&s, panel);
        for (const auto& c : controls)
            EXPECT_EQ(s.*c.member, std::clamp(seen, c.lower, c.upper)) << stored;
    }
}

} // namespace
