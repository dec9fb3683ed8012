// The real viewer on a real X server: build/bin/varnel under Xvfb, driven
// with real key events through xdotool, seen through the server's frame
// buffer. Set VARNEL_SCREENSHOT=FILE.png to keep the picture it checks, and
// VARNEL_SCREENSHOT_SETTINGS=FILE.reg to start from those settings
// (scripts/make-docs-pictures does both).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "e2e/xvfb_session.h"
#include "temp_folder.h"

namespace {

using namespace xvfb;

class ViewerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        display_ = start_server(xvfb_, root_ / "fb");
        ASSERT_FALSE(display_.empty()) << "Xvfb did not start; scripts/install-deps installs it";
        // The viewer gives up at once on a display that does not answer
        // yet (seen once under load: "could not connect to display").
        ASSERT_TRUE(wait_until(10,
                               [&] {
                                   return run({"xdotool", "getdisplaygeometry"}, display_);
                               }))
            << "Xvfb does not answer on " << display_;
    }
    void TearDown() override
    {
        xvfb_ = Child(); // the server goes before its frame-buffer file
    }
    // The viewer on the server, given these files, once its window is up.
    Child start_viewer(const std::vector<std::string>& files)
    {
        std::vector<std::string> argv = {VARNEL_VIEWER};
        argv.insert(argv.end(), files.begin(), files.end());
        Child viewer(argv,
                     {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + (root_ / "config").string(),
                      "XDG_RUNTIME_DIR=" + root_.string()});
        EXPECT_TRUE(viewer.started());
        int exit_status = -1;
        EXPECT_TRUE(wait_until(30, [&] {
            exit_status = viewer.wait_exit(0);
            return exit_status >= 0 || run({"xdotool", "search", "--name", "^Varnel : points.txt$"}, display_);
        })) << "no window";
        EXPECT_EQ(exit_status, -1) << "the viewer ended before its window showed";
        return viewer;
    }

    TempFolder folder_{"e2e"};
    const fs::path root_ = folder_.path();
    Child xvfb_;
    std::string display_;
};

// The program's own words come before any window: help and the version
// on standard output, a wrong word named on standard error with the usage.
TEST(ViewerCommandLine, HelpVersionAndWrongWords)
{
    const struct {
        const char* args;
        int status;
        const char* printed; // the start of what it prints
    } cases[] = {
        {"--help", 0, "usage: varnel [DATA [TEXTURE]]\nShows the density surface"},
        {"-h", 0, "usage: varnel [DATA [TEXTURE]]\nShows"},
        {"points.txt --help", 0, "usage: varnel [DATA [TEXTURE]]\nShows"},
        {"--version", 0, "varnel "},
        {"--bogus", 2, "varnel: unknown option --bogus\nusage: varnel [DATA [TEXTURE]]\n"},
        {"a.txt b.png -x", 2, "varnel: unknown option -x\n"},
        {"a.txt b.png c.png", 2, "varnel: one data file and one texture only, not also c.png\nusage:"},
    };
    for (const auto& c : cases) {
        std::FILE* p = popen((std::string(VARNEL_VIEWER) + " " + c.args + " 2>&1 </dev/null").c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
            out.append(buffer, n);
        const int status = pclose(p);
        EXPECT_TRUE(WIFEXITED(status)) << c.args;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
        EXPECT_EQ(out.rfind(c.printed, 0), 0u) << c.args << "\n" << out;
    }
}

TEST_F(ViewerEndToEnd, DrawsTheSurfaceTurnsWithTheKeysAndSavesOnClose)
{
    fs::path examples = fs::path(VARNEL_SOURCE_DIR) / "examples";
    if (const char* settings = std::getenv("VARNEL_SCREENSHOT_SETTINGS")) {
        fs::create_directories(root_ / "config" / "kestrow");
        fs::copy_file(settings, root_ / "config" / "kestrow" / "varnel.exe.reg");
    }
    // The window appears with the file's name, and the surface is drawn.
    Child viewer = start_viewer({(examples / "points.txt").string(), (examples / "texture.bmp").string()});
    ASSERT_TRUE(viewer.started());
    // Settled (two looks alike), so that a turn is told from the paint.
    QImage first, before;
    ASSERT_TRUE(wait_until(20,
                           [&] {
                               before = std::exchange(first, screen_of(root_ / "fb"));
                               return drawn_pixels(first) > 20000 && first == before;
                           }))
        << "no surface; drawn pixels: " << drawn_pixels(first);
    if (const char* keep = std::getenv("VARNEL_SCREENSHOT"))
        first.copy(window_box(first)).save(keep);

    // H turns the camera 5 degrees, K is at its top already.
    ASSERT_TRUE(run({"xdotool", "key", "h", "k"}, display_));
    QImage turned;
    EXPECT_TRUE(wait_until(20, [&] {
        turned = screen_of(root_ / "fb");
        return !turned.isNull() && turned.copy(0, 0, 400, 500) != first.copy(0, 0, 400, 500);
    })) << "the picture did not turn";

    // Alt+F4 closes the window; the settings are written on the way out.
    ASSERT_TRUE(run({"xdotool", "key", "alt+F4"}, display_));
    EXPECT_EQ(viewer.wait_exit(20), 0);
    std::string settings = read_file(root_ / "config" / "kestrow" / "varnel.exe.reg");
    EXPECT_NE(settings.find("\"azimuth\"=dword:00000163"), std::string::npos) << settings.substr(0, 200); // 355
    EXPECT_NE(settings.find("\"elevation\"=dword:0000005a"), std::string::npos);                          // 90
    // The first start framed the whole surface for the area it had then.
    const size_t radius = settings.find("\"radius\"=dword:");
    ASSERT_NE(radius, std::string::npos);
    EXPECT_LE(std::stoul(settings.substr(radius + 15, 8), nullptr, 16), 300u);
}

// Over the map, a rectangle dragged with the real mouse bins its part of
// the data again, and Alt+Left brings back the picture and range before.
TEST_F(ViewerEndToEnd, ADragOverTheMapZoomsAndAltLeftComesBack)
{
    const fs::path examples = fs::path(VARNEL_SOURCE_DIR) / "examples";
    fs::create_directories(root_ / "config" / "kestrow");
    std::ofstream(root_ / "config" / "kestrow" / "varnel.exe.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n\"map_view\"=dword:00000001\n";
    Child viewer = start_viewer({(examples / "points.txt").string()});
    ASSERT_TRUE(viewer.started());
    // The server draws the pointer into its frame buffer: it waits off the window.
    ASSERT_TRUE(run({"xdotool", "mousemove", "1000", "760"}, display_));
    // The whole window drawn and settled (two looks alike): under load the
    // panel beside the map came later, and a window measured before it gave
    // the plot no width and the mouse places left of the screen.
    QImage first, before;
    ASSERT_TRUE(wait_until(20,
                           [&] {
                               before = std::exchange(first, screen_of(root_ / "fb"));
                               const QRect box = window_box(first);
                               return drawn_pixels(first) > 20000 && box.width() > 400 && box.height() > 300 &&
                                   first == before;
                           }))
        << "no map; the window measured " << window_box(first).width() << "x" << window_box(first).height();
    // The plot above the status line, which the pointer's readout changes.
    const QRect box = window_box(first);
    const QRect plot(0, 0, box.width() - 160, box.height() * 3 / 4);
    const auto at = [&](double u, double v) {
        return std::to_string(int(plot.width() * u)) + " " + std::to_string(int(plot.height() * v));
    };
    const auto mouse = [&](const std::string& words) {
        std::vector<std::string> argv = {"xdotool"};
        for (std::size_t start = 0, end; start < words.size(); start = end + 1) {
            end = words.find(' ', start);
            if (end == std::string::npos)
                end = words.size();
            argv.push_back(words.substr(start, end - start));
        }
        return run(argv, display_);
    };
    ASSERT_TRUE(mouse("mousemove " + at(0.35, 0.35) + " mousedown 1 mousemove " + at(0.45, 0.45) + " mousemove " +
                      at(0.55, 0.55) + " mouseup 1"));
    QImage zoomed;
    EXPECT_TRUE(wait_until(20, [&] {
        zoomed = screen_of(root_ / "fb");
        return !zoomed.isNull() && zoomed.copy(plot) != first.copy(plot);
    })) << "the drag did not zoom";
    ASSERT_TRUE(run({"xdotool", "mousemove", "1000", "760"}, display_));
    ASSERT_TRUE(run({"xdotool", "key", "alt+Left"}, display_));
    QImage back;
    EXPECT_TRUE(wait_until(20, [&] {
        back = screen_of(root_ / "fb");
        return !back.isNull() && back.copy(plot) == first.copy(plot);
    })) << "Alt+Left did not bring the first picture back";
    if (const char* keep = std::getenv("VARNEL_E2E_PICTURES")) {
        first.copy(plot).save(QString::fromStdString(std::string(keep) + "-first.png"));
        zoomed.copy(plot).save(QString::fromStdString(std::string(keep) + "-zoomed.png"));
        back.copy(plot).save(QString::fromStdString(std::string(keep) + "-back.png"));
    }
    ASSERT_TRUE(run({"xdotool", "key", "alt+F4"}, display_));
    EXPECT_EQ(viewer.wait_exit(20), 0);
    const std::string settings = read_file(root_ / "config" / "kestrow" / "varnel.exe.reg");
    EXPECT_NE(settings.find("\"x_max\"=dword:00000fa0"), std::string::npos) << settings.substr(0, 300); // 4000
}

} // namespace
