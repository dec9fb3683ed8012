// The picture's choices in the render area's context menu: each one kept in
// the settings and drawn at once, marked in the menu, and there again after
// a restart.
#include "render/renderer_state.h"
#include "resources/texts.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

class PictureMenuTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        start();
        load_cloud();
    }
    void load_cloud()
    {
        choose(write_cloud("runs/run1.txt", 2000, 2000));
        click(IDC_LOAD_DATA);
        win32_clear_dialog_calls();
    }
    // Picks the item from the menu; what the menu showed while it was open.
    std::string pick(UINT command)
    {
        win32_clear_dialog_calls();
        win32_script_popup_menu(command);
        right_click({50, 60});
        return win32_popup_menu_calls().empty() ? "" : win32_popup_menu_calls().back().outline;
    }
};

// Each choice sets its setting and the picture follows; a second pick of an
// on/off item turns it back; back at the defaults the picture is the first
// one again, pixel for pixel.
TEST_F(PictureMenuTest, AChoiceIsKeptMarkedAndDrawnAtOnce)
{
    const QImage first = picture();
    ASSERT_GT(surface_pixels(first), 2000);
    ASSERT_EQ(count(first, is_coloured), 0);
    enum Picture { same, changed, either };
    struct Case {
        UINT command;
        int32_t Settings::*member;
        int32_t value;
        const char* marked; // the item's line in the menu afterwards
        Picture picture;
    };
    const Case cases[] = {
        {IDM_COLOUR_MAP_FIRST + 1, &Settings::colour_map, 1, "  (o) viridis #1041", changed},
        {IDM_SMOOTHING_FIRST + 2, &Settings::smoothing, 2, "  (o) 2 #1052", changed},
        {IDM_LOG_SCALE, &Settings::log_scale, 1, "[x] 対数スケール #1060", changed},
        {IDM_LOG_SCALE, &Settings::log_scale, 0, "対数スケール #1060", changed},
        {IDM_TEXTURE_ONLY, &Settings::texture_only, 1, "[x] テクスチャのみ #1061", same}, // no texture
        {IDM_SHOW_AXES, &Settings::show_axes, 0, "軸と目盛りを表示 #1062", either},
        {IDM_MAP_VIEW, &Settings::map_view, 1, "[x] マップ表示 (真上から平面で) #1064", changed},
        {IDM_MAP_VIEW, &Settings::map_view, 0, "マップ表示 (真上から平面で) #1064", changed},
        {IDM_SMOOTHING_FIRST, &Settings::smoothing, 0, "  (o) なし #1050", changed},
        {IDM_COLOUR_MAP_FIRST + 4, &Settings::colour_map, 4, "  (o) turbo #1044", changed},
    };
    QImage before = first;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.marked);
        pick(c.command);
        EXPECT_EQ(state_->settings.*c.member, c.value);
        const QImage now = picture();
        if (c.picture != either) {
            EXPECT_EQ(now != before, c.picture == changed);
        }
        const std::string outline = pick(0);
        EXPECT_NE(outline.find(std::string(c.marked) + "\n"), std::string::npos) << outline;
        before = now;
    }
    EXPECT_GT(count(before, is_coloured), 2000) << "turbo";
    EXPECT_EQ(pick(0).find("(o) viridis"), std::string::npos) << "one map marked at a time";

    pick(IDM_COLOUR_MAP_FIRST);
    pick(IDM_TEXTURE_ONLY);
    pick(IDM_SHOW_AXES);
    const Settings defaults = default_settings();
    for (auto member : {&Settings::colour_map, &Settings::smoothing, &Settings::log_scale, &Settings::texture_only,
                        &Settings::show_axes})
        EXPECT_EQ(state_->settings.*member, defaults.*member);
    EXPECT_EQ(picture(), first);
}

// Closing the window stores the choices; the next start draws with them
// and marks them.
TEST_F(PictureMenuTest, ChoicesAreThereAfterARestart)
{
    pick(IDM_COLOUR_MAP_FIRST + 2);
    pick(IDM_SMOOTHING_FIRST + 3);
    const QImage chosen = picture();
    close();
    start();
    EXPECT_EQ(state_->settings.colour_map, 2);
    EXPECT_EQ(state_->settings.smoothing, 4);
    const std::string outline = pick(0);
    EXPECT_NE(outline.find("  (o) magma #1042\n"), std::string::npos) << outline;
    EXPECT_NE(outline.find("  (o) 4 #1053\n"), std::string::npos) << outline;
    load_cloud();
    EXPECT_EQ(picture(), chosen);
}

// The log axes bin the loaded field anew (a range from zero fitted to the
// points above it), equal aspect reaches the picture's options; each is
// marked in the menu and stored for the next start.
TEST_F(PictureMenuTest, LogAxesAndEqualAspectReachTheFieldAndThePicture)
{
    const struct {
        UINT command;
        bool log_x, log_y, equal_aspect;
        const char* marked; // the item's line in the menu afterwards
    } cases[] = {
        {IDM_LOG_X, true, false, false, "[x] x を対数軸に #1065"},
        {IDM_LOG_Y, true, true, false, "[x] y を対数軸に #1066"},
        {IDM_LOG_X, false, true, false, "x を対数軸に #1065"},
        {IDM_EQUAL_ASPECT, false, true, true, "[x] 縦横の単位をそろえる (マップ表示) #1067"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.marked);
        pick(c.command);
        EXPECT_EQ(state_->settings.log_x, c.log_x ? 1 : 0);
        EXPECT_EQ(state_->settings.log_y, c.log_y ? 1 : 0);
        EXPECT_EQ(state_->settings.equal_aspect, c.equal_aspect ? 1 : 0);
        ASSERT_NE(state_->field, nullptr);
        bool log_x = false, log_y = false;
        density_field_log_axes(state_->field, &log_x, &log_y);
        EXPECT_EQ(log_x, c.log_x);
        EXPECT_EQ(log_y, c.log_y);
        const Range range = density_field_range(state_->field);
        if (c.log_y) {
            EXPECT_GT(range.y_min, 0) << "fitted, where 0 has no logarithm";
        }
        EXPECT_EQ(renderer_state(state_->renderer)->picture.equal_aspect, c.equal_aspect);
        EXPECT_GT(density_field_view(state_->field).counts.in_range, 1000) << "the cloud binned again";
        const std::string outline = pick(0);
        EXPECT_NE(outline.find(std::string(c.marked) + "\n"), std::string::npos) << outline;
    }
    close();
    start();
    EXPECT_EQ(state_->settings.log_x, 0);
    EXPECT_EQ(state_->settings.log_y, 1);
    EXPECT_EQ(state_->settings.equal_aspect, 1);
    EXPECT_TRUE(renderer_state(state_->renderer)->picture.equal_aspect);
    load_cloud();
    bool log_x = true, log_y = false;
    density_field_log_axes(state_->field, &log_x, &log_y);
    EXPECT_FALSE(log_x);
    EXPECT_TRUE(log_y);
}

} // namespace
