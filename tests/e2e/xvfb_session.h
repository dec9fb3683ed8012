// Running programs on a private Xvfb server and reading its screen: what
// the end-to-end test and the start-up benchmark share.
#pragma once

#include <QImage>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace xvfb {

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
        for (;;) {
            int status = 0;
            if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (pid_ <= 0 || Clock::now() >= until)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

private:
    pid_t pid_ = -1;
};

inline bool wait_until(double seconds, const std::function<bool()>& done)
{
    auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

inline uint32_t be32(const std::string& bytes, size_t at)
{
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

// The screen as Xvfb keeps it in its frame-buffer file (XWD format, 32-bit
// pixels in the server's byte order).
inline QImage screen_of(const fs::path& fbdir)
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
        std::memcpy(image.scanLine(static_cast<int>(y)), bytes.data() + offset + static_cast<size_t>(y) * pitch,
                    width * 4);
    return image;
}

// Pixels of the render area's part of the screen that show more than the
// grey it is cleared to (the window sits at the top left corner: there is
// no window manager to place it).
inline int drawn_pixels(const QImage& screen)
{
    int count = 0;
    for (int y = 20; y < 480 && y < screen.height(); ++y)
        for (int x = 20; x < 380 && x < screen.width(); ++x)
            if ((screen.pixel(x, y) & 0xffffff) != 0x808080 && (screen.pixel(x, y) & 0xffffff) != 0)
                ++count;
    return count;
}

// The part of the screen the window covers: the root window around it is black.
inline QRect window_box(const QImage& screen)
{
    int width = 0, height = 0;
    while (width < screen.width() && (screen.pixel(width, 10) & 0xffffff) != 0)
        ++width;
    while (height < screen.height() && (screen.pixel(10, height) & 0xffffff) != 0)
        ++height;
    return QRect(0, 0, width, height);
}

inline bool run(const std::vector<std::string>& argv, const std::string& display)
{
    Child c(argv, {"DISPLAY=" + display});
    return c.started() && c.wait_exit(10) == 0;
}

inline std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts Xvfb on a free display with its frame buffer in `fbdir`; the
// display name (":N"), or empty when the server did not start.
inline std::string start_server(Child& server, const fs::path& fbdir)
{
    fs::create_directories(fbdir);
    // Xvfb picks a free display and writes its number into the pipe.
    // -noreset: by default the server resets when its last client leaves,
    // and a client connecting in that moment is refused (the viewer gave up
    // with "could not connect to display" right after xdotool's probe).
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    server = Child({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-noreset",
                    "-nolisten", "tcp", "-fbdir", fbdir.string()},
                   {});
    close(fds[1]);
    std::string number;
    char c;
    while (server.started() && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    return number.empty() ? std::string() : ":" + number;
}

} // namespace xvfb
