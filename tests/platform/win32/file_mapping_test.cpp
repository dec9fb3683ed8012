#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/win32/winbase.h"

namespace {

class FileMapping : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/varnel-files-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

    std::string write(const char* name, const std::string& bytes) const
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static HANDLE open_read(const std::string& path)
    {
        return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_RANDOM_ACCESS, nullptr);
    }

    std::string dir_;
};

TEST_F(FileMapping, ViewHoldsTheFileAndOutlivesItsHandles)
{
    std::string content(70000, 'x');
    content[0] = 'B';
    content[69999] = 'M';
    const std::string path = write("a.bin", content);
    HANDLE file = open_read(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 123;
    EXPECT_EQ(GetFileSize(file, &high), 70000u);
    EXPECT_EQ(high, 0u);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    // The mapping keeps the file, the view keeps the mapping.
    EXPECT_TRUE(CloseHandle(file));
    const auto* whole = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    const auto* tail = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 100));
    ASSERT_NE(whole, nullptr);
    ASSERT_NE(tail, nullptr);
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_EQ(std::string(whole, 70000), content);
    EXPECT_EQ(std::string(tail, 100), content.substr(65536, 100));
    EXPECT_TRUE(UnmapViewOfFile(whole));
    EXPECT_TRUE(UnmapViewOfFile(tail));
    EXPECT_FALSE(UnmapViewOfFile(whole));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(FileMapping, OpenFailuresSetTheLastError)
{
    write("plain", "abc");
    const std::string locked = write("locked", "abc");
    chmod(locked.c_str(), 0);
    struct Case {
        std::string path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {dir_ + "/missing", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {dir_ + "/plain/below", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir_, GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {dir_ + "/plain", GENERIC_WRITE, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
        {dir_ + "/plain", GENERIC_READ, CREATE_ALWAYS, ERROR_INVALID_PARAMETER},
    };
    // Root reads any file; the unreadable case only counts for other users.
    if (geteuid() != 0) {
        EXPECT_EQ(open_read(locked), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    }
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(CreateFileA(c.path.c_str(), c.access, 0, nullptr, c.disposition, 0, nullptr), INVALID_HANDLE_VALUE)
            << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST_F(FileMapping, EmptyFilesPipesAndBadRequestsCannotBeMapped)
{
    HANDLE empty = open_read(write("empty", ""));
    ASSERT_NE(empty, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(empty, nullptr), 0u);
    EXPECT_EQ(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_INVALID));

    // A named pipe opens without waiting for a writer and has no bytes.
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    HANDLE pipe = open_read(fifo);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(pipe, nullptr), 0u);

    HANDLE file = open_read(write("four", "abcd"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 5, nullptr), nullptr); // cannot grow
    EXPECT_EQ(CreateFileMappingA(file, nullptr, 0x04 /* PAGE_READWRITE */, 0, 0, nullptr), nullptr);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, "name"), nullptr);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 1, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MAPPED_ALIGNMENT));
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 5), nullptr);
    EXPECT_EQ(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr); // a file is no mapping
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileSize(mapping, nullptr), INVALID_FILE_SIZE); // nor a mapping a file
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

    for (HANDLE h : {empty, pipe, file, mapping})
        EXPECT_TRUE(CloseHandle(h));
    for (HANDLE h : {empty, INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
}

} // namespace
