#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "platform/win32/reg_file_format.h"
#include "platform/win32/registry_test_hooks.h"
#include "platform/win32/win32_test_support.h"
#include "shell/settings.h"

namespace {

namespace fs = std::filesystem;
using namespace win32_test;

class SettingsTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        char tmpl[] = "/tmp/varnel-settings-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        registry_test_reset();
    }
    void TearDown() override
    {
        registry_test_reset();
        fs::remove_all(root_);
        WindowTest::TearDown();
    }
    fs::path file() const { return root_ / "kestrow" / "varnel.exe.reg"; }
    std::string read_file() const
    {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void set(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void set_int(const char* name, int32_t v) { set(name, REG_DWORD, &v, 4); }
    std::vector<BYTE> get(const char* name, DWORD* type = nullptr)
    {
        HKEY key;
        std::vector<BYTE> data(4096);
        DWORD size = static_cast<DWORD>(data.size()), t = 0;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return {};
        LSTATUS s = RegQueryValueExA(key, name, nullptr, &t, data.data(), &size);
        RegCloseKey(key);
        if (s != ERROR_SUCCESS)
            return {};
        if (type)
            *type = t;
        data.resize(size);
        return data;
    }
    int32_t get_int(const char* name)
    {
        std::vector<BYTE> d = get(name);
        int32_t v = 0;
        if (d.size() == 4)
            std::memcpy(&v, d.data(), 4);
        return v;
    }
    HWND make_panel()
    {
        HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, recording_proc, 0));
        HWND panel = CreateDialogIndirectParamA(nullptr, &kPanelTemplate, main, recording_proc, 0);
        SendDlgItemMessageA(panel, 1013, UDM_SETRANGE32, 0, 100);
        SendDlgItemMessageA(panel, 1015, UDM_SETRANGE32, 0, 360);
        SendDlgItemMessageA(panel, 1017, UDM_SETRANGE32, 0, 90);
        for (int id : {1005, 1006, 1009, 1010, 1027, 1029})
            SendDlgItemMessageA(panel, id, UDM_SETRANGE32, static_cast<WPARAM>(-8000), 8000);
        return panel;
    }
    fs::path root_;
};

void expect_defaults(const Settings& s)
{
    EXPECT_EQ(s.data_path[0], '\0');
    EXPECT_EQ(s.texture_path[0], '\0');
    EXPECT_EQ(s.x_min, 0);
    EXPECT_EQ(s.x_max, 4000);
    EXPECT_EQ(s.y_min, 0);
    EXPECT_EQ(s.y_max, 4000);
    EXPECT_EQ(s.x_marker, 0);
    EXPECT_EQ(s.y_marker, 0);
    EXPECT_EQ(s.radius, 100);
    EXPECT_EQ(s.azimuth, 0);
    EXPECT_EQ(s.elevation, 90);
}

TEST_F(SettingsTest, FirstRunGivesTheDefaultsInThePanel)
{
    Settings s;
    std::memset(&s, 0x5a, sizeof s);
    load_settings(&s);
    expect_defaults(s);
    HWND panel = make_panel();
    settings_to_panel(panel, &s);
    EXPECT_EQ(text_of(GetDlgItem(panel, 1003)), "4,000");
    EXPECT_EQ(text_of(GetDlgItem(panel, 1012)), "100");
    EXPECT_EQ(text_of(GetDlgItem(panel, 1016)), "90");
    EXPECT_FALSE(fs::exists(file())); // reading writes nothing
}

TEST_F(SettingsTest, EachValueFallsBackToItsOwnDefault)
{
    set_int("radius", 40);
    Settings s;
    load_settings(&s);
    EXPECT_EQ(s.radius, 40);
    s.radius = 100;
    expect_defaults(s);

    // Too long for the member: the empty string. Another type of the right
    // size: taken as its bytes stand.
    std::vector<char> long_path(1500, 'a');
    set("data_path", REG_SZ, long_path.data(), 1500);
    const BYTE binary[4] = {0x30, 0xf8, 0xff, 0xff};
    set("x_min", REG_BINARY, binary, 4);
    set("texture_path", REG_DWORD, "C:\\", 4);
    load_settings(&s);
    EXPECT_STREQ(s.data_path, "");
    EXPECT_EQ(s.x_min, -2000);
    EXPECT_STREQ(s.texture_path, "C:\\");
}

TEST_F(SettingsTest, APathWithoutTerminatorIsCutAtTheMembersEnd)
{
    std::vector<char> full(1024, 'b');
    set("data_path", REG_SZ, full.data(), 1024);
    Settings s;
    load_settings(&s);
    EXPECT_EQ(std::strlen(s.data_path), 1023u);
    EXPECT_EQ(s.data_path[1022], 'b');
    EXPECT_EQ(s.data_path[1023], '\0');
}

TEST_F(SettingsTest, AnIntegerShorterThanFourBytesGivesTheDefault)
{
    const BYTE two[2] = {1, 0};
    set("x_max", REG_DWORD, two, 2);
    set("radius", REG_DWORD, two, 0);
    Settings s;
    load_settings(&s);
    EXPECT_EQ(s.x_max, 4000);
    EXPECT_EQ(s.radius, 100);
}

TEST_F(SettingsTest, SavingWritesAllElevenValuesWithTheirFullSize)
{
    Settings s;
    load_settings(&s);
    save_settings(&s);
    const char* ints[] = {"x_min", "x_max", "y_min", "y_max", "x_marker", "y_marker", "radius", "azimuth", "elevation"};
    for (const char* name : {"data_path", "texture_path"}) {
        DWORD type = 0;
        std::vector<BYTE> d = get(name, &type);
        EXPECT_EQ(type, DWORD(REG_SZ)) << name;
        EXPECT_EQ(d, std::vector<BYTE>(1024, 0)) << name;
    }
    for (const char* name : ints) {
        DWORD type = 0;
        EXPECT_EQ(get(name, &type).size(), 4u) << name;
        EXPECT_EQ(type, DWORD(REG_DWORD)) << name;
    }
    // In the order of the record.
    std::string text = read_file();
    size_t last = 0;
    for (const char* name : {"data_path", "texture_path", "x_min", "x_max", "y_min", "y_max", "x_marker", "y_marker",
                             "radius", "azimuth", "elevation"}) {
        size_t at = text.find(std::string("\"") + name + "\"=");
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
    EXPECT_NE(text.find("\"x_max\"=dword:00000fa0\n"), std::string::npos);
}

TEST_F(SettingsTest, BytesBehindThePathsTerminatorSurviveAReadAndTheNextWrite)
{
    std::vector<char> path(1024, 0);
    std::memcpy(path.data(), "C:\\data\\\0run1.txt", 17);
    set("data_path", REG_SZ, path.data(), 1024);
    Settings s;
    load_settings(&s);
    EXPECT_STREQ(s.data_path, "C:\\data\\");
    save_settings(&s);
    std::vector<BYTE> stored = get("data_path");
    ASSERT_EQ(stored.size(), 1024u);
    EXPECT_EQ(std::memcmp(stored.data(), path.data(), 1024), 0);
}

TEST_F(SettingsTest, ANegativeSettingGoesThroughThePanelAndTheRegistry)
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

TEST_F(SettingsTest, SettingsOutsideTheRangesAreClampedByThePanel)
{
    set_int("radius", 500);
    set_int("elevation", -3);
    set_int("x_min", 70000);
    Settings s;
    load_settings(&s);
    HWND panel = make_panel();
    settings_to_panel(panel, &s);
    panel_to_settings(&s, panel);
    EXPECT_EQ(s.radius, 100);
    EXPECT_EQ(s.elevation, 0);
    EXPECT_EQ(s.x_min, 4464); // the low 16 bits
}

TEST_F(SettingsTest, AFailedWriteEndsTheSavingThere)
{
    Settings old;
    load_settings(&old);
    old.x_max = 1111;
    old.elevation = 33;
    save_settings(&old);

    Settings s = old;
    std::strcpy(s.data_path, "D:\\new\\");
    std::strcpy(s.texture_path, "E:\\tex\\");
    s.x_min = -5;
    s.x_max = 2222;
    s.elevation = 44;
    registry_test_fail(RegistryCall::SetValue, 2); // the third write: x_min
    save_settings(&s);
    Settings back;
    load_settings(&back);
    EXPECT_STREQ(back.data_path, "D:\\new\\");
    EXPECT_STREQ(back.texture_path, "E:\\tex\\");
    EXPECT_EQ(back.x_min, 0);
    EXPECT_EQ(back.x_max, 1111);
    EXPECT_EQ(back.elevation, 33);
}

TEST_F(SettingsTest, AKeyThatCannotBeCreatedLeavesEverythingAlone)
{
    std::ofstream(root_ / "kestrow") << "a file where the folder should be";
    Settings s;
    load_settings(&s);
    save_settings(&s);
    EXPECT_TRUE(fs::is_regular_file(root_ / "kestrow"));
    load_settings(&s);
    expect_defaults(s);
}

// Saving without windows: what a save leaves in the file, whatever happens
// to the process on the way.
class SettingsSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // In memory where there is such a folder: the saves sync their files,
        // which on a busy disk takes far longer than the save itself.
        std::string tmpl = fs::is_directory("/dev/shm") ? "/dev/shm/varnel-save-XXXXXX" : "/tmp/varnel-save-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        registry_test_reset();
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path file() const { return root_ / "kestrow" / "varnel.exe.reg"; }
    std::vector<std::string> folder_entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(file().parent_path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path root_;
};

Settings eleven_changed_values()
{
    Settings s;
    std::memset(&s, 0, sizeof s);
    std::strcpy(s.data_path, "/data/old/");
    std::strcpy(s.texture_path, "/pictures/old/");
    s.x_min = -100, s.x_max = 300, s.y_min = -200, s.y_max = 600;
    s.x_marker = 7, s.y_marker = 8, s.radius = 40, s.azimuth = 270, s.elevation = 12;
    return s;
}

Settings defaults()
{
    Settings s;
    std::memset(&s, 0, sizeof s);
    s.x_max = 4000, s.y_max = 4000, s.radius = 100, s.elevation = 90;
    return s;
}

bool same(const Settings& a, const Settings& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A save killed at any moment leaves the old values or the new ones, never a
// mix and never no file; the next save clears what the killed one left.
TEST_F(SettingsSaveTest, AKilledSaveLeavesTheOldFileOrTheNew)
{
    const Settings old_values = eleven_changed_values();
    const Settings new_values = defaults();
    const std::string damaged = "REGEDIT4\n[broken\n";

    // A child that saves the new values; killed after `delay` microseconds
    // unless that is negative. Returns the time from its start to its end.
    auto save_in_child = [&](long delay) {
        int ready[2];
        if (pipe(ready) != 0)
            return std::chrono::microseconds(-1);
        pid_t child = fork();
        if (child == 0) {
            close(ready[0]);
            char go = 1;
            if (write(ready[1], &go, 1) != 1)
                _exit(2);
            Settings s = new_values;
            save_settings(&s);
            _exit(0);
        }
        close(ready[1]);
        char go = 0;
        const bool started = child > 0 && read(ready[0], &go, 1) == 1;
        close(ready[0]);
        const auto begin = std::chrono::steady_clock::now();
        if (started && delay >= 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(delay));
            kill(child, SIGKILL);
        }
        int status = 0;
        if (child <= 0 || waitpid(child, &status, 0) != child || !started)
            return std::chrono::microseconds(-1);
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
    };

    // How long a child's whole save takes here (a forked child pays for
    // its first writes to memory, under a sanitizer a lot), so that the
    // kills spread over all of it.
    long whole_save = 0;
    for (int i = 0; i < 3; ++i) {
        Settings s = old_values;
        save_settings(&s);
        const auto took = save_in_child(-1);
        ASSERT_GE(took.count(), 0);
        whole_save = std::max<long>(whole_save, took.count());
    }
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> delay(0, whole_save);

    int killed_old = 0, killed_new = 0;
    for (int round = 0; round < 300; ++round) {
        // Every fourth round starts from a damaged file instead.
        const bool from_damaged = round % 4 == 3;
        if (from_damaged) {
            std::ofstream(file(), std::ios::binary | std::ios::trunc) << damaged;
        } else {
            Settings s = old_values;
            save_settings(&s);
        }
        ASSERT_GE(save_in_child(delay(random)).count(), 0) << "round " << round;

        ASSERT_TRUE(fs::exists(file())) << "round " << round;
        Settings back;
        load_settings(&back);
        const bool is_old = same(back, from_damaged ? new_values : old_values);
        const bool is_new = same(back, new_values);
        ASSERT_TRUE(is_old || is_new) << "round " << round;
        if (from_damaged) {
            // Replaced only with its copy kept beside it.
            std::ifstream in(file(), std::ios::binary);
            std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (now != damaged) {
                std::ifstream kept(file().string() + ".bad", std::ios::binary);
                std::string bad((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
                ASSERT_EQ(bad, damaged) << "round " << round;
            }
        } else {
            (is_new ? killed_new : killed_old)++;
        }

        // The next save leaves no temporary file of the killed one.
        Settings s = old_values;
        save_settings(&s);
        for (const std::string& name : folder_entries())
            ASSERT_TRUE(name == "varnel.exe.reg" || name == "varnel.exe.reg.bad") << name;
    }
    // The kills fell both before and after the file was replaced.
    EXPECT_GT(killed_old, 0);
    EXPECT_GT(killed_new, 0);
}

// A file just under the reader's limit, written by hand on one line, grows
// past the limit when it is formatted again. The write that would do it is
// refused, the save stops there, and the old file stays readable with all
// its values.
TEST_F(SettingsSaveTest, AWriteThatWouldPassTheReadLimitFailsAndKeepsTheFile)
{
    std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n"
                       "\"data_path\"=\"/data/old/\"\n"
                       "\"big\"=hex:";
    const size_t big_bytes = (kMaxRegFileBytes - text.size() - 64) / 3;
    text.reserve(kMaxRegFileBytes);
    for (size_t i = 0; i < big_bytes; ++i)
        text += i + 1 < big_bytes ? "5a," : "5a\n";
    ASSERT_LT(text.size(), kMaxRegFileBytes);
    fs::create_directories(file().parent_path());
    std::ofstream(file(), std::ios::binary) << text;

    Settings s = eleven_changed_values();
    std::strcpy(s.data_path, "/data/new/");
    save_settings(&s);
    std::ifstream in(file(), std::ios::binary);
    std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after, text);
    Settings back;
    load_settings(&back);
    EXPECT_STREQ(back.data_path, "/data/old/");
    EXPECT_FALSE(fs::exists(file().string() + ".bad"));
}

// With room for a small value but not for a path, the path's write fails
// with the quota error and the smaller writes of the same key still land.
TEST_F(SettingsSaveTest, OnlyTheWriteThatDoesNotFitFails)
{
    RegFileKey key{"HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe", {{"big", REG_BINARY, {}}}};
    auto big_to = [&](size_t bytes) {
        key.values[0].data.assign(bytes, 0x5a);
        return format_reg_file(key).size();
    };
    // Grow the value until the file lies within 200 bytes of the limit.
    size_t bytes = kMaxRegFileBytes / 4;
    for (size_t size = big_to(bytes); size + 200 < kMaxRegFileBytes || size > kMaxRegFileBytes - 100;
         size = big_to(bytes))
        bytes = bytes * (kMaxRegFileBytes - 150) / size;
    fs::create_directories(file().parent_path());
    std::ofstream(file(), std::ios::binary) << format_reg_file(key);

    HKEY hkey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hkey, nullptr),
              ERROR_SUCCESS);
    const std::vector<BYTE> path(1024, 0);
    EXPECT_EQ(RegSetValueExA(hkey, "data_path", 0, REG_SZ, path.data(), 1024), ERROR_NOT_ENOUGH_QUOTA);
    const int32_t radius = 40;
    EXPECT_EQ(RegSetValueExA(hkey, "radius", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&radius), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(hkey), ERROR_SUCCESS);
    EXPECT_LE(fs::file_size(file()), kMaxRegFileBytes);
    Settings back;
    load_settings(&back);
    EXPECT_EQ(back.data_path[0], '\0');
    EXPECT_EQ(back.radius, 40);
}

} // namespace
