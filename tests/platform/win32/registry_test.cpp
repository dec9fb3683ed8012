#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/reg_file_format.h"
#include "platform/win32/registry_test_hooks.h"
#include "platform/win32/winreg.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

namespace {

const char kKey[] = "Software\\kestrow\\varnel.exe";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(root_ / "user");
        fs::create_directories(root_ / "machine1");
        fs::create_directories(root_ / "machine2");
        setenv("XDG_CONFIG_HOME", (root_ / "user").c_str(), 1);
        std::string dirs = (root_ / "machine1").string() + ":" + (root_ / "machine2").string();
        setenv("XDG_CONFIG_DIRS", dirs.c_str(), 1);
        registry_test_reset();
    }
    void TearDown() override
    {
        registry_test_reset();
        // A case may have taken the user folder's permissions away.
        fs::permissions(root_ / "user", fs::perms::owner_all, fs::perm_options::add);
    }

    fs::path user_file() const { return root_ / "user" / "kestrow" / "varnel.exe.reg"; }

    static std::string read_file(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void write_file(const fs::path& p, const std::string& text)
    {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }

    HKEY create_key()
    {
        HKEY key = nullptr;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, const_cast<LPSTR>(""), 0, KEY_ALL_ACCESS, nullptr, &key,
                                  &disposition),
                  ERROR_SUCCESS);
        return key;
    }

    TempFolder folder_{"reg"};
    const fs::path root_ = folder_.path();
};

TEST_F(RegistryTest, EveryTypeRoundTripsWithAllItsBytes)
{
    std::vector<BYTE> path(1024, 0);
    std::memcpy(path.data(), "C:\\data\\", 8);
    std::memcpy(path.data() + 9, "run1.txt", 8); // survives behind the terminator
    const std::vector<BYTE> dword = {0x30, 0xf8, 0xff, 0xff};
    const std::vector<BYTE> binary = {0x00, 0x01, 0xfe, 0xff, 0x5c, 0x22};
    const std::vector<BYTE> unterminated = {'a', 'b', 'c'};
    const std::vector<BYTE> multi = {'a', 0, 'b', 0, 0};
    const std::vector<BYTE> short_dword = {1, 2};
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {"data_path", REG_SZ, path},   {"x_min", REG_DWORD, dword},
        {"blob", REG_BINARY, binary},  {"raw", REG_SZ, unterminated},
        {"list", REG_MULTI_SZ, multi}, {"two", REG_DWORD, short_dword},
        {"empty", REG_BINARY, {}},     {"big \"q\\", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"", REG_EXPAND_SZ, {'%', 0}},
    };

    HKEY key = create_key();
    for (const Case& c : cases)
        ASSERT_EQ(RegSetValueExA(key, c.name, 0, c.type, c.data.data(), static_cast<DWORD>(c.data.size())),
                  ERROR_SUCCESS)
            << c.name;
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const Case& c : cases) {
        std::vector<BYTE> buf(2048, 0xcc);
        DWORD type = 0, size = static_cast<DWORD>(buf.size());
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, buf.data(), &size), ERROR_SUCCESS) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        ASSERT_EQ(size, c.data.size()) << c.name;
        EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), buf.begin())) << c.name;
    }
    RegCloseKey(key);

    std::string text = read_file(user_file());
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n", 0), 0u) << text;
    EXPECT_NE(text.find("\"x_min\"=dword:fffff830\n"), std::string::npos);
    EXPECT_NE(text.find("\"blob\"=hex:00,01,fe,ff,5c,22\n"), std::string::npos);
    EXPECT_NE(text.find("\"data_path\"=hex(1):43,3a,5c,64"), std::string::npos);
    EXPECT_NE(text.find("\"two\"=hex(4):01,02\n"), std::string::npos);
    EXPECT_NE(text.find("\"big \\\"q\\\\\"=hex(b):01"), std::string::npos);
    EXPECT_NE(text.find("@=hex(2):25,00\n"), std::string::npos);
}

TEST_F(RegistryTest, QueryFollowsThePlatformsSizeRules)
{
    HKEY key = create_key();
    const BYTE data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, data, 8), ERROR_SUCCESS);

    BYTE buf[8] = {};
    DWORD type = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, &type, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, DWORD(REG_BINARY));

    size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS); // names ignore case
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
    size = 8;
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, &type, buf, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, 8u);

    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, OpenAndCreateReportWhetherTheKeyExists)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    EXPECT_TRUE(fs::exists(user_file()));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    // The parent exists through its folder; a subkey opens relative to it.
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\kestrow", 0, KEY_READ, &parent), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(parent, "varnel.exe", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(parent);

    // A read-only handle cannot write.
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD v = 1;
    EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(RegistryTest, KeyNamesCannotLeaveTheirFolder)
{
    const char* bad[] = {"Software\\..\\x", "Software\\a/b", "Software\\\\x",
                         "Software\\.",     "System\\x",     "\\Software\\x"};
    for (const char* name : bad) {
        HKEY key = nullptr;
        EXPECT_NE(RegCreateKeyExA(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << name;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, name, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND) << name;
    }
    EXPECT_EQ(fs::directory_iterator(root_ / "user"), fs::directory_iterator());
}

TEST_F(RegistryTest, DamagedFilesReadAsAMissingKey)
{
    const std::string good_head = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n";
    auto with = [&](std::string_view tail) { return good_head + std::string(tail); };
    const std::string damaged[] = {
        "",
        "REGEDIT5\n\n[HKEY_CURRENT_USER\\Software\\kestrow\\varnel.exe]\n",
        with("\"x\"=dword:123456789\n"),
        with("\"x\"=hex:1,,2\n"),
        with("\"x\"=hex:123\n"),
        with("\"x\"=hex(zz):00\n"),
        with("\"x=dword:1\n"),
        with("\"x\"=wat\n"),
        with("\"x\"=-\n"),
        with("[HKEY_CURRENT_USER\\Software\\other]\n"),
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\other]\n",
        "REGEDIT4\n\"x\"=dword:1\n",
        with(std::string_view("\"x\"=dword:1\0\n", 14)),
        with("\"x\"=hex:00,\\\n"),
    };
    for (const std::string& text : damaged) {
        write_file(user_file(), text);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND) << text;
    }

    // Unreadable is damaged too.
    write_file(user_file(), with("\"x\"=dword:00000001\n"));
    fs::permissions(user_file(), fs::perms::none);
    if (access(user_file().c_str(), R_OK) != 0) { // root reads anything
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    }
    fs::permissions(user_file(), fs::perms::owner_read | fs::perms::owner_write);

    // Creating over a damaged file starts afresh, none of its values taken
    // in even where they read well (another key's), and keeps the old bytes
    // aside.
    const std::string garbage = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\other]\n\"old\"=dword:00000005\n";
    write_file(user_file(), garbage);
    HKEY key = create_key();
    DWORD v = 7;
    ASSERT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(read_file(user_file().string() + ".bad"), garbage);
    EXPECT_EQ(read_file(user_file()).find("old"), std::string::npos);
}

TEST_F(RegistryTest, HandWrittenFilesAreRead)
{
    write_file(user_file(),
               "\xEF\xBB\xBFREGEDIT4\r\n\r\n; comment\r\n"
               "[hkey_current_user\\software\\kestrow\\varnel.exe]\r\n"
               "\"radius\"=dword:28\r\n"
               "\"data_path\"=\"C:\\\\data\\\\\"\r\n"
               "\"long\"=hex:01,02,\\\r\n   03\r\n"
               "\"radius\"=dword:00000029\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD radius = 0, size = 4, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "radius", nullptr, &type, reinterpret_cast<BYTE*>(&radius), &size), ERROR_SUCCESS);
    EXPECT_EQ(radius, 0x29u);
    char path[32] = {};
    size = sizeof path;
    EXPECT_EQ(RegQueryValueExA(key, "data_path", nullptr, &type, reinterpret_cast<BYTE*>(path), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 9u);
    EXPECT_STREQ(path, "C:\\data\\");
    BYTE bytes[3] = {};
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "long", nullptr, &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(bytes[2], 3);
    RegCloseKey(key);
}

// A wrapped line ends in a backslash within 79 columns and holds every byte
// that fits there: one more "ab," would pass them. Names of three lengths
// start the first line at each place of a byte's three columns.
TEST_F(RegistryTest, LongValuesWrapAndParseBack)
{
    for (const char* name : {"p", "pq", "pqr"}) {
        RegFileKey key{"HKEY_CURRENT_USER\\Software\\k", {{name, REG_SZ, std::vector<BYTE>(1024, 0xab)}}};
        std::string text = format_reg_file(key);
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line.back() == '\\')
                EXPECT_TRUE(line.size() >= 77 && line.size() <= 79) << name << ": " << line;
            else
                EXPECT_LE(line.size(), 79u) << name << ": " << line;
        RegFileKey back;
        ASSERT_TRUE(parse_reg_file(text, &back));
        ASSERT_EQ(back.values.size(), 1u);
        EXPECT_EQ(back.values[0].data, key.values[0].data);
    }
}

TEST_F(RegistryTest, SavingReplacesTheFileAtomically)
{
    HKEY key = create_key();
    DWORD v = 1;
    ASSERT_EQ(RegSetValueExA(key, "a", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    std::string before = read_file(user_file());
    struct stat st;
    ASSERT_EQ(stat(user_file().c_str(), &st), 0);
    const ino_t inode_before = st.st_ino;

    // Writes wait in the key until it is flushed; its own queries see them.
    v = 2;
    ASSERT_EQ(RegSetValueExA(key, "a", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "b", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
    EXPECT_EQ(read_file(user_file()), before);
    DWORD back = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "b", nullptr, nullptr, reinterpret_cast<BYTE*>(&back), &size), ERROR_SUCCESS);
    EXPECT_EQ(back, 2u);

    // A folder that cannot be written to keeps the old file, with no stray
    // temporary beside it.
    fs::permissions(user_file().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (access(user_file().parent_path().c_str(), W_OK) != 0) {
        EXPECT_EQ(RegFlushKey(key), ERROR_ACCESS_DENIED);
        EXPECT_EQ(read_file(user_file()), before);
    }
    fs::permissions(user_file().parent_path(), fs::perms::owner_all);

    // A flush puts a new file in place (a new inode: renamed, not rewritten)
    // holding both writes, and clears away a killed writer's temporary file,
    // but not a file of the user's named like one.
    const fs::path folder = user_file().parent_path();
    const std::string dotted = "." + user_file().filename().string() + ".";
    write_file(folder / (dotted + "Ab3xYz"), "left by a killed writer");
    write_file(folder / (dotted + "backup.1"), "the user's");
    ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(folder / (dotted + "Ab3xYz")));
    EXPECT_EQ(read_file(folder / (dotted + "backup.1")), "the user's");
    fs::remove(folder / (dotted + "backup.1"));
    ASSERT_EQ(stat(user_file().c_str(), &st), 0);
    EXPECT_NE(st.st_ino, inode_before);
    EXPECT_NE(read_file(user_file()).find("\"b\"=dword:00000002"), std::string::npos);
    int entries = 0;
    for (auto& e : fs::directory_iterator(user_file().parent_path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// A file the reader would refuse as too large (16 MiB) is never written,
// also where another writer's values, flushed in between, take it past:
// the flush says so and the file keeps what it held.
TEST_F(RegistryTest, AFileTheReaderWouldRefuseIsNotWritten)
{
    const std::vector<BYTE> big(3u << 20, 0xab); // three characters a byte: 9 MiB
    HKEY key = create_key(), other = create_key();
    ASSERT_EQ(RegSetValueExA(key, "mine", 0, REG_BINARY, big.data(), DWORD(big.size())), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(other, "theirs", 0, REG_BINARY, big.data(), DWORD(big.size())), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(other), ERROR_SUCCESS);
    const std::string before = read_file(user_file());
    EXPECT_EQ(RegFlushKey(key), ERROR_NOT_ENOUGH_QUOTA);
    EXPECT_EQ(read_file(user_file()), before);
    ASSERT_EQ(RegDeleteValueA(key, "mine"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// An armed failure hits the calls it names, counted from the arming; the
// calls before and after it go ahead.
TEST_F(RegistryTest, ArmedFailuresHitTheChosenCallsOnly)
{
    const LSTATUS ok = ERROR_SUCCESS, full = ERROR_DISK_FULL;
    const struct {
        unsigned skip, times;
        std::vector<LSTATUS> results;
    } cases[] = {
        {0, 1, {full, ok, ok, ok, ok}},
        {2, 1, {ok, ok, full, ok, ok}},
        {1, 2, {ok, full, full, ok, ok}},
        {3, 0, {ok, ok, ok, full, full}}, // for ever
    };
    HKEY key = create_key();
    for (const auto& c : cases) {
        registry_test_reset();
        registry_test_fail(RegistryCall::SetValue, c.skip, c.times);
        DWORD v = 5;
        std::vector<LSTATUS> results;
        for (int i = 0; i < 5; ++i)
            results.push_back(RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
        EXPECT_EQ(results, c.results) << c.skip << " " << c.times;
        EXPECT_EQ(registry_test_call_count(RegistryCall::SetValue), 5u);
    }
    registry_test_reset();
    RegCloseKey(key);
}

TEST_F(RegistryTest, AFailedCallChangesNothing)
{
    HKEY key = create_key();
    DWORD seven = 7, eight = 8, value = 0, size = 4;
    ASSERT_EQ(RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&seven), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    const std::string before = read_file(user_file());

    const LSTATUS denied = ERROR_ACCESS_DENIED;
    for (RegistryCall call : {RegistryCall::OpenKey, RegistryCall::CreateKey}) {
        registry_test_fail(call, 0, 1, denied);
        key = reinterpret_cast<HKEY>(&seven);
        EXPECT_EQ(call == RegistryCall::OpenKey
                      ? RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key)
                      : RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  denied);
        EXPECT_EQ(key, nullptr);
    }
    key = create_key();
    registry_test_fail(RegistryCall::SetValue, 0, 1, denied);
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&eight), 4), denied);
    registry_test_fail(RegistryCall::QueryValue, 0, 1, denied);
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), denied);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    // A write that went ahead stays out of the file when the flush fails.
    EXPECT_EQ(RegSetValueExA(key, "w", 0, REG_DWORD, reinterpret_cast<BYTE*>(&eight), 4), ERROR_SUCCESS);
    registry_test_fail(RegistryCall::FlushKey, 0, 1, denied);
    EXPECT_EQ(RegCloseKey(key), denied);
    EXPECT_EQ(read_file(user_file()), before);
}

TEST_F(RegistryTest, DeletingAValueRemovesItFromTheFileAndOnlyIfItIsThere)
{
    HKEY key = create_key();
    DWORD one = 1, two = 2, value = 0, size = 4;
    ASSERT_EQ(RegSetValueExA(key, "first", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "second", 0, REG_DWORD, reinterpret_cast<BYTE*>(&two), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    const std::string before = read_file(user_file());

    key = create_key();
    EXPECT_EQ(RegDeleteValueA(key, "third"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key, "SECOND"), ERROR_SUCCESS); // names match without regard to case
    EXPECT_EQ(RegDeleteValueA(key, "second"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    const std::string after = read_file(user_file());
    EXPECT_NE(before.find("\"second\""), std::string::npos);
    EXPECT_EQ(after.find("\"second\""), std::string::npos);
    EXPECT_NE(after.find("\"first\""), std::string::npos);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "second", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "first", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, MachineKeysAreReadFromTheConfigFoldersAndNeverWritten)
{
    const char* d3d = "Software\\Direct3D";
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, d3d, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

    // The second folder holds it; a damaged copy in the first is passed over.
    write_file(root_ / "machine1" / "Direct3D.reg", "REGEDIT4\n[broken\n");
    write_file(root_ / "machine2" / "Direct3D.reg",
               "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Direct3D]\n\"DisableMMX\"=dword:00000001\n");
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, d3d, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 0, size = 4, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "DisableMMX", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(RegQueryValueExA(key, "DoNotMute", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExA(key, "DoNotMute", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, d3d, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);

    char path[512];
    ASSERT_EQ(RegGetKeyFileNameA(HKEY_LOCAL_MACHINE, d3d, path, sizeof path), ERROR_SUCCESS);
    EXPECT_EQ(std::string(path), (root_ / "machine2" / "Direct3D.reg").string());
    ASSERT_EQ(RegGetKeyFileNameA(HKEY_CURRENT_USER, kKey, path, sizeof path), ERROR_SUCCESS);
    EXPECT_EQ(std::string(path), user_file().string());
    EXPECT_EQ(RegGetKeyFileNameA(HKEY_CURRENT_USER, kKey, path, 4), ERROR_MORE_DATA);
}

TEST_F(RegistryTest, DefaultFoldersFollowTheEnvironment)
{
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CONFIG_DIRS");
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", root_.c_str(), 1);
    char path[512];
    ASSERT_EQ(RegGetKeyFileNameA(HKEY_CURRENT_USER, kKey, path, sizeof path), ERROR_SUCCESS);
    EXPECT_EQ(std::string(path), (root_ / ".config" / "kestrow" / "varnel.exe.reg").string());
    ASSERT_EQ(RegGetKeyFileNameA(HKEY_LOCAL_MACHINE, "Software\\Direct3D", path, sizeof path), ERROR_SUCCESS);
    EXPECT_STREQ(path, "/etc/xdg/Direct3D.reg");
    // A home that is no absolute path is passed over for the account's own.
    setenv("HOME", "relative/home", 1);
    ASSERT_EQ(RegGetKeyFileNameA(HKEY_CURRENT_USER, kKey, path, sizeof path), ERROR_SUCCESS);
    EXPECT_EQ(path[0], '/') << path;
    EXPECT_EQ(std::string(path).find("relative/home"), std::string::npos) << path;
    setenv("HOME", home.c_str(), 1);
}

} // namespace
