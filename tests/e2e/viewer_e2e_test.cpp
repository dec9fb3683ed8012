// The real viewer on a real X server: build/bin/varnel under Xvfb, driven
// with real key events through xdotool, seen through the server's frame
// buffer. Set VARNEL_SCREENSHOT=FILE.png to keep the picture it checks.
#include <gtest/gtest.h>

#include <QImage>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A child process started with posix_spawnp; killed and reaped if the test
// leaves it running.
class Child {
public:
    Child() = default;
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env)
    {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<std::string> strings = env;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            std::string name = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const std::string& own : env)
                replaced |= own.compare(0, name.size() + 1, name + "=") == 0;
            if (!replaced)
                strings.push_back(entry);
        }
        std::vector<char*> envp;
        for (const std::string& s : strings)
            envp.push_back(const_cast<char*>(s.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int null_fd = open("/dev/null", O_WRONLY);
        posix_spawn_file_actions_adddup2(&actions, null_fd, 1);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(null_fd);
    }
    Child(Child&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
    Child& operator=(Child&& other) noexcept
    {
        std::swap(pid_, other.pid_);
        return *this;
    }
    ~Child()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    // The exit status once the child ended within `seconds`; -1 otherwise.
    int wait_exit(double seconds)
    {
        auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (pid_ > 0 && Clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
};

bool wait_until(double seconds, const std::function<bool()>& done)
{
    auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

uint32_t be32(const std::string& bytes, size_t at)
{
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

// The screen as Xvfb keeps it in its frame-buffer file (XWD format, 32-bit
// pixels in the server's byte order).
QImage screen_of(const fs::path& fbdir)
{
    std::ifstream in(fbdir / "Xvfb_screen0", std::ios::binary);
    std::stringstream data;
    data << in.rdbuf();
    std::string bytes = data.str();
    if (bytes.size() < 100)
        return QImage();
    uint32_t header = be32(bytes, 0), width = be32(bytes, 16), height = be32(bytes, 20);
    uint32_t bits = be32(bytes, 44), pitch = be32(bytes, 48), colours = be32(bytes, 76);
    size_t offset = header + static_cast<size_t>(colours) * 12;
    if (bits != 32 || width > 4096 || height > 4096 || offset + static_cast<size_t>(pitch) * height > bytes.size())
        return QImage();
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(image.scanLine(static_cast<int>(y)), bytes.data() + offset + static_cast<size_t>(y) * pitch, width * 4);
    return image;
}

// Pixels of the render area's part of the screen that show more than the
// grey it is cleared to (the window sits at the top left corner: there is
// no window manager to place it).
int drawn_pixels(const QImage& screen)
{
    int count = 0;
    for (int y = 20; y < 480 && y < screen.height(); ++y)
        for (int x = 20; x < 380 && x < screen.width(); ++x)
            if ((screen.pixel(x, y) & 0xffffff) != 0x808080 && (screen.pixel(x, y) & 0xffffff) != 0)
                ++count;
    return count;
}

// The part of the screen the window covers: the root window around it is black.
QRect window_box(const QImage& screen)
{
    int width = 0, height = 0;
    while (width < screen.width() && (screen.pixel(width, 10) & 0xffffff) != 0)
        ++width;
    while (height < screen.height() && (screen.pixel(10, height) & 0xffffff) != 0)
        ++height;
    return QRect(0, 0, width, height);
}

bool run(const std::vector<std::string>& argv, const std::string& display)
{
    Child c(argv, {"DISPLAY=" + display});
    return c.started() && c.wait_exit(10) == 0;
}

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ViewerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/varnel-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        root_ = folder;
        fs::create_directories(root_ / "fb");
        // Xvfb picks a free display and writes its number into the pipe.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        xvfb_ = Child({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                       "-fbdir", (root_ / "fb").string()},
                      {});
        close(fds[1]);
        ASSERT_TRUE(xvfb_.started()) << "Xvfb is missing: scripts/install-deps installs it";
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display_ = ":" + number;
    }
    void TearDown() override
    {
        xvfb_ = Child(); // the server goes before its frame-buffer file
        fs::remove_all(root_);
    }

    fs::path root_;
    Child xvfb_;
    std::string display_;
};

TEST_F(ViewerEndToEnd, DrawsTheSurfaceTurnsWithTheKeysAndSavesOnClose)
{
    fs::path examples = fs::path(VARNEL_SOURCE_DIR) / "examples";
    Child viewer({VARNEL_VIEWER, (examples / "points.txt").string(), (examples / "texture.bmp").string()},
                 {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + (root_ / "config").string(),
                  "XDG_RUNTIME_DIR=" + root_.string()});
    ASSERT_TRUE(viewer.started());

    // The window appears with the file's name, and the surface is drawn.
    ASSERT_TRUE(wait_until(30, [&] {
        return run({"xdotool", "search", "--name", "^Varnel : points.txt$"}, display_);
    })) << "no window";
    QImage first;
    ASSERT_TRUE(wait_until(20, [&] {
        first = screen_of(root_ / "fb");
        return drawn_pixels(first) > 20000;
    })) << "no surface; drawn pixels: " << drawn_pixels(first);
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
    EXPECT_NE(settings.find("\"elevation\"=dword:0000005a"), std::string::npos);                      // 90
    EXPECT_NE(settings.find("\"radius\"=dword:00000064"), std::string::npos);                         // 100
}

} // namespace
