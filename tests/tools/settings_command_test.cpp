// Runs the real varnel-cli against a settings folder made for each case.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status;
    std::string out;
};

class SettingsCommandTest : public ::testing::Test {
protected:
    CliRun run(const std::string& args)
    {
        // A run that hangs fails after a while instead of holding the suite.
        std::string cmd =
            "XDG_CONFIG_HOME='" + root_.string() + "' timeout 60 '" VARNEL_CLI "' settings " + args + " 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        CliRun r{-1, {}};
        if (!p)
            return r;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            r.out.append(buf, n);
        int status = pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
    fs::path file() const { return root_ / "kestrow" / "varnel.exe.reg"; }
    TempFolder folder_{"cli"};
    const fs::path root_ = folder_.path();
};

// The first eleven lines are read by outside tools: new values come after them.
const char kDefaults[] = "data_path=\ntexture_path=\nx_min=0\nx_max=4000\ny_min=0\ny_max=4000\n"
                         "x_marker=0\ny_marker=0\nradius=100\nazimuth=0\nelevation=90\n"
                         "colour_map=0\nsmoothing=0\nlog_scale=0\ntexture_only=0\nshow_axes=1\n"
                         "x_min_exact=0\nx_max_exact=4000\ny_min_exact=0\ny_max_exact=4000\nx_marker_exact=0\n"
                         "y_marker_exact=0\nbinning=0\nmap_view=0\nlog_x=0\nlog_y=0\nequal_aspect=0\n";

TEST_F(SettingsCommandTest, PrintsEveryValueAndTheFile)
{
    CliRun r = run("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(kDefaults) + "file=" + file().string() + "\n");
    EXPECT_FALSE(fs::exists(file()));

    fs::create_directories(file().parent_path());
    std::ofstream(file()) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n"
                             "\"data_path\"=hex(1):43,3a,5c,64,5c,00,78,79\n"
                             "\"x_min\"=dword:fffff830\n\"radius\"=dword:00000028\n";
    r = run("");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("data_path=C:\\d\\\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("x_min=-2000\n"), std::string::npos);
    EXPECT_NE(r.out.find("radius=40\n"), std::string::npos);
}

TEST_F(SettingsCommandTest, ResetWritesTheDefaults)
{
    fs::create_directories(file().parent_path());
    std::ofstream(file())
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n\"radius\"=dword:00000028\n";
    CliRun r = run("--reset");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(kDefaults) + "file=" + file().string() + "\n");
    std::ifstream in(file());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"radius\"=dword:00000064"), std::string::npos);
    EXPECT_NE(text.find("\"elevation\"=dword:0000005a"), std::string::npos);
}

TEST_F(SettingsCommandTest, APipeReadsAsDamagedAndALinkIsWrittenThrough)
{
    fs::create_directories(file().parent_path());
    ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
    const std::string defaults = std::string(kDefaults) + "file=" + file().string() + "\n";
    EXPECT_EQ(run("").out, defaults);
    EXPECT_EQ(run("--reset").out, defaults);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file())));
    EXPECT_TRUE(fs::is_fifo(fs::path(file().string() + ".bad")));

    // Kept as a link by a dotfile manager: the link stays, its file changes.
    fs::remove(file());
    fs::create_directories(root_ / "dotfiles");
    std::ofstream(root_ / "dotfiles" / "varnel.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n\"radius\"=dword:00000028\n";
    fs::create_symlink(root_ / "dotfiles" / "varnel.reg", file());
    EXPECT_EQ(run("--reset").out, defaults);
    EXPECT_TRUE(fs::is_symlink(file()));
    std::ifstream in(root_ / "dotfiles" / "varnel.reg");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"radius\"=dword:00000064"), std::string::npos) << text;
}

TEST_F(SettingsCommandTest, AFileThatCannotBeWrittenFailsInOneLine)
{
    std::ofstream(root_ / "kestrow") << "not a folder";
    CliRun r = run("--reset");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "varnel-cli: cannot write the settings file " + file().string() + ": the write failed\n");
    EXPECT_EQ(run("--bogus").status, 2);

    // A file too big to be written again, holding the defaults but for an
    // x_max of two bytes that begin like 4000: not taken for the default.
    fs::remove(root_ / "kestrow");
    std::string zeros = "hex(1):00";
    for (int i = 1; i < 1024; ++i)
        zeros += ",00";
    std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n\"data_path\"=" + zeros +
        "\n\"texture_path\"=" + zeros +
        "\n\"x_min\"=dword:00000000\n\"x_max\"=hex(4):a0,0f\n"
        "\"y_min\"=dword:00000000\n\"y_max\"=dword:00000fa0\n\"x_marker\"=dword:00000000\n"
        "\"y_marker\"=dword:00000000\n\"radius\"=dword:00000064\n\"azimuth\"=dword:00000000\n"
        "\"elevation\"=dword:0000005a\n\"big\"=hex:5a";
    while (text.size() < (16u << 20) - 64)
        text += ",5a";
    fs::create_directories(file().parent_path());
    std::ofstream(file(), std::ios::binary) << text << "\n";
    r = run("--reset");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "varnel-cli: cannot write the settings file " + file().string() + ": File too large\n");
}

} // namespace
