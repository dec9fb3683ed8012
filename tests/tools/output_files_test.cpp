// The files varnel-cli writes appear whole or not at all, and every failure
// to write, standard output included, is an exit status of 1.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "../texture/decoders/bitmap_bytes.h"

namespace {

namespace fs = std::filesystem;

class OutputFiles : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() /
        ("varnel-output-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
    std::string read(const std::string& name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The exit status of a shell command run in `dir`, its errors in "err".
    int shell(const std::string& command)
    {
        const int status = std::system(("cd '" + dir.string() + "' && " + command + " 2>err").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The exit status of `commands` run by sh in `dir` with a file system of
    // `size` mounted on its folder "small"; 77 where none can be mounted.
    int on_small_disk(const std::string& size, const std::string& commands)
    {
        fs::create_directories(dir / "small");
        return shell("unshare -rm sh -c 'mount -t tmpfs -o size=" + size + " tmpfs small 2>/dev/null || exit 77; " +
                     commands + "'");
    }
    static bool mounted(int status) { return status != 77 && status != 127 && status != -1; }
    // The exit status of `varnel-cli ARGS` run by sh in `dir`, after `setup`.
    int run(const std::string& setup, const std::string& args)
    {
        const std::string command = "cd '" + dir.string() + "' && " + setup + " " + VARNEL_CLI + " " + args;
        const int status = std::system(("sh -c \"" + command + "\" 2>'" + (dir / "err").string() + "'").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// A 64 x 64 24-bit bitmap: 12 KiB of pixels, well past a one-block size limit.
std::string bitmap()
{
    Bytes dib = info_header(64, 64, 24);
    for (int k = 0; k < 64 * 64; ++k)
        dib.u8({k & 0xFF, (k >> 6) & 0xFF, 0x80});
    const Bytes file = bmp_file(dib);
    return std::string(file.data(), file.data() + file.size());
}

TEST_F(OutputFiles, AWriteCutShortLeavesTheOldFileAndNoOther)
{
    write("data.txt", "2000 2000\n2100 1900\n");
    write("image.bmp", bitmap());
    fs::create_directories(dir / "levels");
    struct Case {
        std::string args;
        std::string target; // holds "old" before, and after
    };
    for (const Case& c : {Case{"render data.txt -o out.png", "out.png"}, Case{"grid data.txt -o grid.txt", "grid.txt"},
                          Case{"decode image.bmp --pixels pixels.raw", "pixels.raw"},
                          Case{"texture image.bmp --dump levels", "levels/level0.raw"}}) {
        SCOPED_TRACE(c.args);
        write(c.target, "old");
        EXPECT_EQ(run("ulimit -f 1 &&", c.args + " >stdout.txt"), 1);
        EXPECT_EQ(read(c.target), "old");
        EXPECT_EQ(read("stdout.txt"), ""); // no line claims a success
        EXPECT_NE(read("err").find("cannot write"), std::string::npos) << read("err");
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
    }
}

TEST_F(OutputFiles, OutputThatCannotBeWrittenFailsTheCommand)
{
    write("data.txt", "2000 2000\n");
    write("image.bmp", bitmap());
    for (const char* args : {"decode image.bmp >/dev/full", "texture image.bmp >/dev/full", "grid data.txt >/dev/full",
                             "settings >/dev/full",
                             // Told at once, not after the frames are drawn.
                             "render data.txt -o missing/x.png --frames 1000000"}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(run("XDG_CONFIG_HOME=config", args), 1) << read("err");
    }
    // Only the grid's last piece fails (80802 bytes of zeros into 157 blocks
    // of 512): it leaves stdio when the command flushes, and the command
    // itself says so, not just the check on the way out.
    write("no_points.txt", "just a header\n");
    EXPECT_EQ(run("trap '' XFSZ; ulimit -f 157;", "grid no_points.txt >grid.txt"), 1);
    EXPECT_NE(read("err").find("writing the grid failed"), std::string::npos) << read("err");
    // A file written over keeps its permission bits, also those the umask
    // would take from a new one.
    write("shared.txt", "old");
    fs::permissions(dir / "shared.txt", fs::perms(0666));
    EXPECT_EQ(run("umask 022 &&", "grid data.txt -o shared.txt"), 0) << read("err");
    EXPECT_EQ(fs::status(dir / "shared.txt").permissions(), fs::perms(0666));
    // A device named as the output is written into, not replaced.
    EXPECT_EQ(run("", "grid data.txt -o /dev/null"), 0);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// A picture or grid named through a symbolic link to a file not made yet
// is written to that file; the link stays a link. Links may chain, and a
// relative link leads from its own folder, not the working one.
TEST_F(OutputFiles, ALinkToAFileNotMadeYetIsWrittenThrough)
{
    write("data.txt", "2000 2000\n2100 1900\n");
    fs::create_directories(dir / "pictures");
    fs::create_symlink("pictures/new.png", dir / "out.png");
    fs::create_symlink(dir / "pictures" / "grid.txt", dir / "far.txt");
    fs::create_symlink("far.txt", dir / "grid.txt");
    fs::create_symlink("near.txt", dir / "pictures" / "link.txt");
    for (const auto& [args, link, file] :
         {std::tuple{"render data.txt --size 32x24 -o out.png", "out.png", "pictures/new.png"},
          std::tuple{"grid data.txt -o grid.txt", "grid.txt", "pictures/grid.txt"},
          std::tuple{"grid data.txt -o pictures/link.txt", "pictures/link.txt", "pictures/near.txt"}}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(run("", args), 0) << read("err");
        EXPECT_TRUE(fs::is_symlink(dir / link));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / file)));
        EXPECT_GT(fs::file_size(dir / file), 8u);
    }
    EXPECT_EQ(read("pictures/new.png").substr(1, 3), "PNG");
}

// A full disk is named as the system names it, for every picture format:
// on /dev/full, which a link with the format's extension names, and on a
// small file system of its own, where the test may mount one.
TEST_F(OutputFiles, AFullDiskIsReportedAsSuch)
{
    write("data.txt", "2000 2000\n2100 1900\n");
    const std::string full = std::strerror(ENOSPC);
    for (const std::string extension : {"png", "jpg", "bmp", "ppm"}) {
        SCOPED_TRACE(extension);
        fs::create_symlink("/dev/full", dir / ("full." + extension));
        EXPECT_EQ(shell(std::string(VARNEL_CLI) + " render data.txt --range 1900 2200 1800 2100 -o full." + extension),
                  1);
        EXPECT_EQ(read("err"), "varnel-cli: cannot write full." + extension + ": " + full + "\n");
    }
    for (const std::string extension : {"png", "jpg", "bmp", "ppm"}) {
        SCOPED_TRACE(extension);
        const int status = on_small_disk(
            "16k", "exec " VARNEL_CLI " render data.txt --range 1900 2200 1800 2100 -o small/out." + extension);
        if (!mounted(status))
            GTEST_SKIP() << "no small file system can be mounted here";
        EXPECT_EQ(status, 1);
        EXPECT_EQ(read("err"), "varnel-cli: cannot write small/out." + extension + ": " + full + "\n");
    }
}

// Standard output or -o on a full device: one line says so, with the
// reason of the write that failed, not of a later flush that had nothing
// left to write.
TEST_F(OutputFiles, AFullOutputSaysTheDiskIsFull)
{
    write("data.txt", "2000 2000\n2100 1900\n");
    const std::string full = std::strerror(ENOSPC);
    const struct {
        const char* args;
        const char* said; // the line, up to the reason
    } cases[] = {
        {"grid data.txt --range 1900 2200 1800 2100 >/dev/full", "writing the grid failed"},
        {"grid data.txt --range 1900 2200 1800 2100 --sums >/dev/full", "writing the grid failed"},
        {"grid data.txt --range 1900 2200 1800 2100 -o /dev/full", "cannot write /dev/full"},
        {"grid data.txt --range 1900 2200 1800 2100 --sums -o /dev/full", "cannot write /dev/full"},
        {"sql --table t --x a --y b >/dev/full", "writing the query failed"},
        {"settings >/dev/full", "writing the settings failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(run("XDG_CONFIG_HOME=config", c.args), 1);
        std::string said = read("err");
        if (said.rfind("load=", 0) == 0) // grid's counts come first
            said.erase(0, said.find('\n') + 1);
        EXPECT_EQ(said, "varnel-cli: " + std::string(c.said) + ": " + full + "\n");
    }
    // Putting the defaults back on a full file system says why it failed.
    const std::string settings_file = (dir / "small/kestrow/varnel.exe.reg").string();
    const int status = on_small_disk("4k",
                                     "head -c 8192 /dev/zero >small/filler 2>/dev/null; "
                                     "XDG_CONFIG_HOME=\"$PWD/small\" exec " VARNEL_CLI " settings --reset");
    if (!mounted(status))
        GTEST_SKIP() << "no small file system can be mounted here";
    EXPECT_EQ(status, 1);
    EXPECT_EQ(read("err"), "varnel-cli: cannot write the settings file " + settings_file + ": " + full + "\n");
    // Staged but never flushed for the full disk, the defaults are not
    // reported written where the file's old x_max, two bytes, begins like
    // 4000, and the reason is the disk's.
    ASSERT_EQ(run("XDG_CONFIG_HOME='" + (dir / "config").string() + "'", "settings --reset >/dev/null"), 0);
    std::string old = read("config/kestrow/varnel.exe.reg");
    const std::string x_max = "\"x_max\"=dword:00000fa0";
    ASSERT_NE(old.find(x_max), std::string::npos);
    write("old.reg", old.replace(old.find(x_max), x_max.size(), "\"x_max\"=hex(4):a0,0f"));
    EXPECT_EQ(on_small_disk("16k",
                            "mkdir small/kestrow && cp old.reg small/kestrow/varnel.exe.reg && "
                            "head -c 65536 /dev/zero >small/filler 2>/dev/null; XDG_CONFIG_HOME=\"$PWD/small\" "
                            "exec " VARNEL_CLI " settings --reset >/dev/null"),
              1);
    EXPECT_EQ(read("err"), "varnel-cli: cannot write the settings file " + settings_file + ": " + full + "\n");
}

// Out of memory (eight reading threads within 100 MB of address space, less
// than they and their buffers take) a command fails as any other failure
// does: a message and the status 1, not an abort. A sanitizer's runtime
// cannot start within such a limit at all, so those builds skip it.
TEST_F(OutputFiles, RunningOutOfMemoryFailsTheCommand)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit gives";
#endif
    for (const char* args : {"grid /dev/stdin --threads 8", "render /dev/stdin -o out.png --threads 8"}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(run("ulimit -v 100000; head -c 300000000 /dev/zero |", args), 1);
        EXPECT_NE(read("err").find("out of memory"), std::string::npos) << read("err");
        EXPECT_FALSE(fs::exists(dir / "out.png"));
    }
}

// varnel-cli started in `dir` with `args`, its errors thrown away, with
// the signals' usual actions whatever this process was started with and
// no core files.
pid_t start_cli(const fs::path& dir, std::vector<const char*> args, int ignored = 0)
{
    args.insert(args.begin(), VARNEL_CLI);
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child != 0)
        return child;
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGBUS})
        std::signal(signal, signal == ignored ? SIG_IGN : SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    const int nowhere = ::open("/dev/null", O_WRONLY);
    if (::chdir(dir.c_str()) != 0 || nowhere < 0 || ::dup2(nowhere, 2) < 0)
        ::_exit(126);
    ::execv(VARNEL_CLI, const_cast<char**>(args.data()));
    ::_exit(127);
}

// Killed while it draws (a logout, Ctrl-C, a bus error from a file cut
// under it), render leaves no temporary file and ends by the signal. One
// started with Ctrl-C ignored (a job in the background) draws on through it.
TEST_F(OutputFiles, AKilledRenderLeavesNoTemporaryFile)
{
    write("data.txt", "2000 2000\n2100 1900\n");
    fs::create_directories(dir / "d");
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGBUS, 0}) {
        SCOPED_TRACE(signal ? strsignal(signal) : "Ctrl-C ignored, then SIGTERM");
        const pid_t child =
            start_cli(dir, {"render", "data.txt", "-o", "d/out.png", "--frames", "1000000"}, signal ? 0 : SIGINT);
        ASSERT_GT(child, 0);
        // Until its temporary file is there (it is made before the drawing).
        int status = 0;
        bool running = true;
        for (int k = 0; k < 100000 && running && fs::is_empty(dir / "d"); ++k) {
            running = ::waitpid(child, &status, WNOHANG) == 0;
            ::usleep(100);
        }
        ASSERT_TRUE(running) << "ended early";
        ASSERT_FALSE(fs::is_empty(dir / "d"));
        if (signal == 0) {
            ::kill(child, SIGINT);
            ::usleep(300000);
            EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << "an ignored Ctrl-C ended the drawing";
            EXPECT_FALSE(fs::is_empty(dir / "d"));
        }
        const int sent = signal ? signal : SIGTERM;
        ::kill(child, sent);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sent) << status;
        EXPECT_TRUE(fs::is_empty(dir / "d"));
    }
}

} // namespace
