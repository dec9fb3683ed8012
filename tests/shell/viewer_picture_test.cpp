// What the user sees: the frames the real renderer draws into the render
// area after each command.
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

class PictureTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        start();
    }
    void load_cloud()
    {
        choose(write_cloud("data/run1.txt", 2000, 2000));
        click(IDC_LOAD_DATA);
    }
    void place_marker(int x, int y)
    {
        set_spin(IDC_X_MARKER_SPIN, x);
        set_spin(IDC_Y_MARKER_SPIN, y);
        click(IDC_SET_MARKER);
    }
};

TEST_F(PictureTest, TheSurfaceAppearsWithTheDataAndTurnsWithTheKeys)
{
    EXPECT_EQ(surface_pixels(picture()), 0); // nothing loaded: only the clear colour
    load_cloud();
    QImage loaded = picture();
    EXPECT_GT(surface_pixels(loaded), 2000);
    EXPECT_EQ(count(loaded, is_yellow), 0);

    // Turned and lowered, the same surface is seen from elsewhere.
    QTest::keyClick(win32_widget_of(main_), Qt::Key_H);
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(win32_widget_of(main_), Qt::Key_J);
    run();
    QImage turned = picture();
    EXPECT_NE(turned, loaded);
    EXPECT_GT(surface_pixels(turned), 2000);
}

TEST_F(PictureTest, TheMarkerCrossStandsOnTheSurfaceUntilCleared)
{
    place_marker(2000, 2000); // before any load: only recorded
    EXPECT_EQ(count(picture(), is_yellow), 0);
    load_cloud();
    EXPECT_GT(count(picture(), is_yellow), 50);
    click(IDC_CLEAR_MARKER);
    EXPECT_EQ(count(picture(), is_yellow), 0);
    // A cleared marker stays off when the next file is loaded.
    load_cloud();
    EXPECT_EQ(count(picture(), is_yellow), 0);
}

// The cross stands at the marker's share of the range in the fields: the
// same shares in a range moved and narrowed draw the same cross.
TEST_F(PictureTest, TheMarkerCrossStandsAtItsShareOfTheRange)
{
    load_cloud();
    auto cross = [this] {
        QImage image = picture();
        std::vector<QPoint> yellow;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (is_yellow(image.pixel(x, y)))
                    yellow.emplace_back(x, y);
        return yellow;
    };
    place_marker(1000, 3000);
    const std::vector<QPoint> quarter_across = cross();
    EXPECT_GT(quarter_across.size(), 50u);
    place_marker(3000, 1000);
    EXPECT_NE(cross(), quarter_across);

    set_spin(IDC_X_MIN_SPIN, -1000);
    set_spin(IDC_X_MAX_SPIN, 3000);
    set_spin(IDC_Y_MIN_SPIN, 250);
    set_spin(IDC_Y_MAX_SPIN, 1250);
    place_marker(0, 1000);
    EXPECT_EQ(cross(), quarter_across);
}

TEST_F(PictureTest, TheTextureIsDrapedOverTheSurfaceAndTakenOffAgain)
{
    load_cloud();
    EXPECT_EQ(count(picture(), is_coloured), 0);
    choose(fs::path(VARNEL_SOURCE_DIR) / "examples" / "texture.bmp");
    click(IDC_LOAD_TEXTURE);
    EXPECT_GT(count(picture(), is_coloured), 200);
    click(IDC_CLEAR_TEXTURE);
    EXPECT_EQ(count(picture(), is_coloured), 0);
}

TEST_F(PictureTest, AFieldThatCannotBeMadeLeavesOnlyTheClearColour)
{
    load_cloud();
    place_marker(2000, 2000);
    density_field_test_fail_create();
    choose(write_cloud("data/run2.txt", 1000, 1000));
    click(IDC_LOAD_DATA);
    EXPECT_EQ(surface_pixels(picture()), 0);
    place_marker(1000, 1000); // the renderer has no field to build it on
    EXPECT_EQ(surface_pixels(picture()), 0);
}

} // namespace
