// The stored settings without any window: what loading makes of what the
// registry holds, and what saving leaves in the file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/win32/reg_file_format.h"
#include "platform/win32/registry_test_hooks.h"
#include "settings/settings.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        registry_test_reset();
    }
    void TearDown() override { registry_test_reset(); }
    fs::path file() const { return root_ / "kestrow" / "varnel.exe.reg"; }
    std::string read_file() const
    {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> folder_entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(file().parent_path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void set(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
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
    // In memory where there is such a folder: the saves sync their files,
    // which on a busy disk takes far longer than the save itself.
    TempFolder folder_{"save", fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp"};
    const fs::path root_ = folder_.path();
};

// The first run's record, written out member by member.
Settings defaults()
{
    Settings s;
    std::memset(&s, 0, sizeof s);
    s.x_max = 4000, s.y_max = 4000, s.radius = 100, s.elevation = 90, s.show_axes = 1;
    s.x_max_exact = 4000, s.y_max_exact = 4000;
    return s;
}

// Every member away from its default.
Settings every_value_changed()
{
    Settings s;
    std::memset(&s, 0, sizeof s);
    std::strcpy(s.data_path, "/data/old/");
    std::strcpy(s.texture_path, "/pictures/old/");
    s.x_min = -100, s.x_max = 300, s.y_min = -200, s.y_max = 600;
    s.x_marker = 7, s.y_marker = 8, s.radius = 40, s.azimuth = 270, s.elevation = 12;
    s.colour_map = 3, s.smoothing = 2, s.log_scale = 1, s.texture_only = 1, s.show_axes = 0;
    // Each rounds to the integer above: the range outward, the marker to the nearest.
    s.x_min_exact = -99.5, s.x_max_exact = 299.25, s.y_min_exact = -200, s.y_max_exact = 599.001;
    s.x_marker_exact = 7.25, s.y_marker_exact = 7.5;
    return s;
}

// Each exact value, its integer and how the one is rounded to the other:
// the range outward, the marker to the nearest, halves away from zero.
const struct {
    const char* name;
    double Settings::*exact;
    int32_t Settings::*integer;
    double (*round)(double);
} kExactPairs[] = {
    {"x_min_exact", &Settings::x_min_exact, &Settings::x_min, std::floor},
    {"x_max_exact", &Settings::x_max_exact, &Settings::x_max, std::ceil},
    {"y_min_exact", &Settings::y_min_exact, &Settings::y_min, std::floor},
    {"y_max_exact", &Settings::y_max_exact, &Settings::y_max, std::ceil},
    {"x_marker_exact", &Settings::x_marker_exact, &Settings::x_marker, std::round},
    {"y_marker_exact", &Settings::y_marker_exact, &Settings::y_marker, std::round},
};

// What loading makes of a record: an exact value that does not round to
// the integer beside it is stale, and the integer stands instead.
Settings settled(Settings s)
{
    for (const auto& p : kExactPairs)
        if (p.round(s.*p.exact) != s.*p.integer)
            s.*p.exact = s.*p.integer;
    return s;
}

bool same(const Settings& a, const Settings& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// `s` with the member of row `index` taken from `from`.
Settings with_member_of(Settings s, const Settings& from, size_t index)
{
    const SettingRow& row = setting_rows()[index];
    std::memcpy(setting_bytes(&s, row), setting_bytes(&from, row), row.size);
    return s;
}

TEST_F(SettingsTest, FirstRunGivesTheDefaultsAndWritesNothing)
{
    Settings s;
    std::memset(&s, 0x5a, sizeof s);
    load_settings(&s);
    EXPECT_TRUE(same(s, defaults()));
    EXPECT_TRUE(same(default_settings(), defaults()));
    EXPECT_FALSE(fs::exists(file()));
}

// Whatever the stored values, each one that cannot be read gives its own
// default and leaves the others as stored; a key that cannot be opened
// gives all defaults.
TEST_F(SettingsTest, EachValueFallsBackToItsOwnDefault)
{
    Settings stored = every_value_changed();
    save_settings(&stored);
    for (size_t i = 0; i < setting_rows().size(); ++i) {
        registry_test_fail(RegistryCall::QueryValue, static_cast<unsigned>(i));
        Settings s;
        load_settings(&s);
        EXPECT_TRUE(same(s, settled(with_member_of(stored, defaults(), i)))) << setting_rows()[i].name;
    }
    registry_test_fail(RegistryCall::OpenKey);
    Settings s;
    load_settings(&s);
    EXPECT_TRUE(same(s, defaults()));

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

// An older program's file has only the integers; an older program that ran
// after a newer one changed the integer and left the exact value stale.
TEST_F(SettingsTest, TheExactRangeIsTakenOnlyWhereItRoundsToTheStoredInteger)
{
    const double nan = std::nan("");
    const double far_down = -999999999.5;           // the last that rounds to the lowest integer allowed
    const double seconds = 1.7e9, people = -1.4e12; // past a billion: the integer holds there
    const struct {
        int32_t x_min;
        const void* exact; // bytes of x_min_exact, or none stored
        DWORD size;
        double expected;
        DWORD type = REG_BINARY;
    } cases[] = {
        {-2000, nullptr, 0, -2000},
        {-13, "\0\0\0\0\0\0\x29\xc0", 8, -12.5}, // -12.5 rounds down to -13
        {100, "\0\0\0\0\0\0\x29\xc0", 8, 100},   // stale
        {-13, "\0\0\x29\xc0", 4, -13},           // not a double
        {0, &nan, 8, 0},
        {-1000000000, &far_down, 8, far_down},
        {1000000000, &seconds, 8, seconds},
        {-1000000000, &people, 8, people},
        {999999999, &seconds, 8, 999999999},              // stale: the integer was changed below the billion
        {-13, "\0\0\0\0\0\0\x29\xc0", 8, -13, REG_QWORD}, // the right bytes under another type
    };
    for (const auto& c : cases) {
        fs::remove_all(root_ / "kestrow");
        set("x_min", REG_DWORD, &c.x_min, 4);
        if (c.exact)
            set("x_min_exact", c.type, c.exact, c.size);
        Settings s;
        load_settings(&s);
        EXPECT_EQ(s.x_min, c.x_min);
        EXPECT_EQ(s.x_min_exact, c.expected) << c.x_min << " " << c.size;
    }
    // Saving writes each integer from its exact value, which stays as it is.
    for (double exact : {-2.5, -0.25, 0.75, 12.5}) {
        Settings s = default_settings();
        for (const auto& p : kExactPairs)
            s.*p.exact = exact;
        save_settings(&s);
        Settings back;
        load_settings(&back);
        for (const auto& p : kExactPairs) {
            EXPECT_EQ(back.*p.integer, p.round(exact)) << p.name << " " << exact;
            EXPECT_EQ(back.*p.exact, exact) << p.name;
        }
    }
}

// The shortest text that reads back the same, in plain digits down to a
// ten-thousandth and with an exponent below that.
TEST(ExactTextTest, PlainDigitsDownToATenThousandth)
{
    const std::pair<double, const char*> cases[] = {
        {0, "0"},         {-2000.5, "-2000.5"}, {1e9, "1000000000"}, {0.1 + 0.2, "0.30000000000000004"},
        {1e-4, "0.0001"}, {-1e-4, "-0.0001"},   {9.5e-5, "9.5e-05"}, {-1e-300, "-1e-300"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(exact_text(value), text);
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

// A shorter integer, or a menu choice the menu does not offer, reads as
// the default; a spin control's value is read as stored (the panel holds
// it to its range).
TEST_F(SettingsTest, AnIntegerShorterThanFourBytesOrNoChoiceGivesTheDefault)
{
    struct Case {
        const char* name;
        int32_t stored;
        DWORD size;
        int32_t read;
    };
    const Case cases[] = {
        {"x_max", 1, 2, 4000},   {"radius", 1, 0, 100},    {"radius", 500, 4, 500},    {"elevation", -7, 4, -7},
        {"colour_map", 4, 4, 4}, {"colour_map", 5, 4, 0},  {"colour_map", -1, 4, 0},   {"smoothing", 4, 4, 4},
        {"smoothing", 2, 4, 2},  {"smoothing", 1, 4, 1},   {"smoothing", 3, 4, 0},     {"smoothing", 8, 4, 8},
        {"smoothing", -2, 4, 0}, {"smoothing", 16, 4, 16}, {"smoothing", -1, 4, -1},   {"smoothing", 32, 4, 0},
        {"log_scale", 1, 4, 1},  {"log_scale", 2, 4, 0},   {"texture_only", -1, 4, 0}, {"show_axes", 0, 4, 0},
        {"show_axes", 7, 4, 1},  {"show_axes", 0, 2, 1},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    // The range's and the marker's integers: a billion either way, no further.
    for (const char* name : {"x_min", "x_max", "y_min", "y_max", "x_marker", "y_marker"}) {
        const int32_t initial = std::strcmp(name, "x_max") == 0 || std::strcmp(name, "y_max") == 0 ? 4000 : 0;
        for (int32_t end : {-1000000000, 1000000000}) {
            all.push_back({name, end, 4, end});
            all.push_back({name, end + (end < 0 ? -1 : 1), 4, initial});
        }
    }
    for (const Case& c : all) {
        SCOPED_TRACE(std::string(c.name) + " = " + std::to_string(c.stored) + " in " + std::to_string(c.size));
        set(c.name, REG_DWORD, &c.stored, c.size);
        Settings s;
        load_settings(&s);
        const auto row = std::find_if(setting_rows().begin(), setting_rows().end(),
                                      [&](const SettingRow& r) { return std::strcmp(r.name, c.name) == 0; });
        ASSERT_NE(row, setting_rows().end());
        EXPECT_EQ(*setting_int(&s, *row), c.read);
    }
}

// Every member away from its default is stored under its own name, with
// its full size, in the order of the record, and read back as it was.
TEST_F(SettingsTest, EveryValueIsStoredUnderItsNameAndReadBack)
{
    Settings saved = every_value_changed();
    save_settings(&saved);
    std::vector<BYTE> path(1024, 0);
    std::memcpy(path.data(), "/data/old/", 10);
    DWORD type = 0;
    EXPECT_EQ(get("data_path", &type), path);
    EXPECT_EQ(type, DWORD(REG_SZ));
    const char* lines[] = {
        "\"texture_path\"=",
        "\"x_min\"=dword:ffffff9c\n",
        "\"x_max\"=dword:0000012c\n",
        "\"y_min\"=dword:ffffff38\n",
        "\"y_max\"=dword:00000258\n",
        "\"x_marker\"=dword:00000007\n",
        "\"y_marker\"=dword:00000008\n",
        "\"radius\"=dword:00000028\n",
        "\"azimuth\"=dword:0000010e\n",
        "\"elevation\"=dword:0000000c\n",
    };
    const std::string text = read_file();
    size_t last = text.find("\"data_path\"=");
    for (const char* line : lines) {
        const size_t at = text.find(line);
        EXPECT_TRUE(at != std::string::npos && at > last) << line;
        last = at;
    }
    Settings back;
    load_settings(&back);
    EXPECT_TRUE(same(back, saved));

    // An empty path is 1024 zero bytes.
    Settings first = defaults();
    save_settings(&first);
    EXPECT_EQ(get("texture_path"), std::vector<BYTE>(1024, 0));
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

// A failed write ends the saving there: the values before it are new, the
// one that failed and those after it keep what was stored.
TEST_F(SettingsTest, AFailedWriteEndsTheSavingThere)
{
    const Settings old_values = every_value_changed();
    const Settings new_values = defaults();
    const size_t count = setting_rows().size();
    for (size_t failing = 0; failing < count; ++failing) {
        Settings s = old_values;
        save_settings(&s);
        registry_test_fail(RegistryCall::SetValue, static_cast<unsigned>(failing));
        s = new_values;
        save_settings(&s);
        EXPECT_EQ(registry_test_call_count(RegistryCall::SetValue), count + failing + 1);
        registry_test_reset();

        Settings expected = old_values;
        for (size_t i = 0; i < failing; ++i)
            expected = with_member_of(expected, new_values, i);
        Settings back;
        load_settings(&back);
        EXPECT_TRUE(same(back, settled(expected))) << setting_rows()[failing].name;
    }
}

TEST_F(SettingsTest, AKeyThatCannotBeCreatedLeavesEverythingAlone)
{
    std::ofstream(root_ / "kestrow") << "a file where the folder should be";
    Settings s = every_value_changed();
    save_settings(&s);
    EXPECT_TRUE(fs::is_regular_file(root_ / "kestrow"));
    load_settings(&s);
    EXPECT_TRUE(same(s, defaults()));
}

// A save killed at any moment leaves the old values or the new ones, never a
// mix and never no file; the next save clears what the killed one left.
TEST_F(SettingsTest, AKilledSaveLeavesTheOldFileOrTheNew)
{
    const Settings old_values = every_value_changed();
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
        // Some kills at once and some long after the save, so that both
        // outcomes happen however busy the machine is; the rest spread over it.
        const long wait = round % 8 == 0 ? 0 : round % 8 == 4 ? 4 * whole_save + 20000 : delay(random);
        ASSERT_GE(save_in_child(wait).count(), 0) << "round " << round;

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
TEST_F(SettingsTest, AWriteThatWouldPassTheReadLimitFailsAndKeepsTheFile)
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

    Settings s = every_value_changed();
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
TEST_F(SettingsTest, OnlyTheWriteThatDoesNotFitFails)
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
    EXPECT_EQ(RegSetValueExA(hkey, "radius", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&radius), 4), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(hkey), ERROR_SUCCESS);
    EXPECT_LE(fs::file_size(file()), kMaxRegFileBytes);
    Settings back;
    load_settings(&back);
    EXPECT_EQ(back.data_path[0], '\0');
    EXPECT_EQ(back.radius, 40);
}

} // namespace
