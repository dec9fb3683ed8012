#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/win32/winbase.h"
#include "temp_folder.h"

namespace {

class FileMapping : public ::testing::Test {
protected:
    std::string write(const char* name, const std::string& bytes) const { return folder_.write(name, bytes); }

    static HANDLE open_read(const std::string& path, DWORD access = GENERIC_READ, DWORD disposition = OPEN_EXISTING)
    {
        return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_FLAG_RANDOM_ACCESS,
                           nullptr);
    }

    TempFolder folder_{"files"};
    const std::string dir_ = folder_.path().string();
};

TEST_F(FileMapping, ViewsHoldTheFileAndOutliveTheirHandles)
{
    std::string content(70000, 'x');
    content[65536] = 'M';
    HANDLE file = open_read(write("a.bin", content));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 123;
    EXPECT_EQ(GetFileSize(file, &high), 70000u);
    EXPECT_EQ(high, 0u);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_TRUE(CloseHandle(file)); // the mapping keeps the file, the views the mapping
    const auto* whole = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    const auto* tail = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 100));
    EXPECT_TRUE(CloseHandle(mapping));
    ASSERT_TRUE(whole && tail);
    EXPECT_EQ(std::string(whole, 70000), content);
    EXPECT_EQ(std::string(tail, 100), content.substr(65536, 100));
    EXPECT_TRUE(UnmapViewOfFile(whole));
    EXPECT_TRUE(UnmapViewOfFile(tail));
    EXPECT_FALSE(UnmapViewOfFile(whole));
}

// A file cut while a view of it is read: the lost pages read as zeros and
// the view says so, where a read past the new end would end the process.
// Another view guarded since (a texture beside the data) keeps its own.
TEST_F(FileMapping, AFileCutUnderAViewReadsAsZerosAndSaysSo)
{
    const std::string path = write("cut.bin", std::string(3 * 65536, 'x'));
    HANDLE file = open_read(path);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const auto* view = static_cast<const volatile char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    HANDLE other_file = open_read(write("kept.bin", std::string(65536, 'y')));
    HANDLE other_mapping = CreateFileMappingA(other_file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const char* other = static_cast<const char*>(MapViewOfFile(other_mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(MappedViewChanged(const_cast<const char*>(view)));
    ASSERT_EQ(truncate(path.c_str(), 100), 0);
    EXPECT_EQ(view[50], 'x');
    EXPECT_EQ(view[2 * 65536 + 7], 0);
    EXPECT_TRUE(MappedViewChanged(const_cast<const char*>(view)));
    EXPECT_EQ(other[65535], 'y');
    EXPECT_FALSE(MappedViewChanged(other));
    for (const void* v : {const_cast<const char*>(view), other})
        EXPECT_TRUE(UnmapViewOfFile(v));
    for (HANDLE h : {mapping, file, other_mapping, other_file})
        CloseHandle(h);
}

// A mapping's size comes from its 64-bit argument or else the file; a view
// may end exactly at the mapping's end and not one byte past it.
TEST_F(FileMapping, MappingsAndViewsEndAtTheirSize)
{
    // Sparse: 4 GiB of nothing, then "tail" at 0x100010000.
    const std::string big = dir_ + "/big";
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(0x100010000LL);
        out << "tail";
    }
    HANDLE file = open_read(big);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(file, &high), 0x10004u);
    EXPECT_EQ(high, 1u);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE) << "the size does not fit";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 1, 0x10005, nullptr), nullptr) << "cannot grow";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));

    const struct {
        DWORD size_high, size_low;     // of the mapping; 0, 0: the file's
        DWORD offset_high, offset_low; // of the view
        SIZE_T bytes;                  // of the view; 0: to the mapping's end
        const char* seen;              // the view's bytes; null: no view
    } cases[] = {
        {0, 0, 1, 0x10000, 0, "tail"},     {0, 0, 1, 0x10000, 4, "tail"},        {0, 0, 1, 0x10000, 5, nullptr},
        {1, 0x10002, 1, 0x10000, 0, "ta"}, {1, 0x10002, 1, 0x10000, 3, nullptr}, {0, 0x10002, 1, 0x10000, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mapping " << c.size_high << ":" << c.size_low << ", view " << c.bytes);
        HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, c.size_high, c.size_low, nullptr);
        ASSERT_NE(mapping, nullptr);
        const auto* view =
            static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, c.offset_high, c.offset_low, c.bytes));
        ASSERT_EQ(view != nullptr, c.seen != nullptr);
        if (view) {
            EXPECT_EQ(std::string(view, std::strlen(c.seen)), c.seen);
            EXPECT_TRUE(UnmapViewOfFile(view));
        } else {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
        }
        EXPECT_TRUE(CloseHandle(mapping));
    }
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileMapping, FailuresSetTheLastError)
{
    write("plain", "abc");
    struct Open {
        std::string path;
        DWORD access, disposition, error;
    } opens[] = {
        {dir_ + "/missing", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {dir_ + "/plain/below", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir_, GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED}, // a folder
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {dir_ + "/plain", GENERIC_WRITE, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
        {dir_ + "/plain", GENERIC_READ, CREATE_ALWAYS, ERROR_INVALID_PARAMETER},
    };
    for (const Open& o : opens) {
        EXPECT_EQ(open_read(o.path, o.access, o.disposition), INVALID_HANDLE_VALUE) << o.path;
        EXPECT_EQ(GetLastError(), o.error) << o.path;
    }

    // An empty file cannot be mapped; a named pipe opens without waiting
    // for a writer and counts as empty.
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    HANDLE empty = open_read(write("empty", ""));
    HANDLE pipe = open_read(fifo);
    HANDLE file = open_read(write("four", "abcd"));
    ASSERT_TRUE(empty != INVALID_HANDLE_VALUE && pipe != INVALID_HANDLE_VALUE && file != INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(pipe, nullptr), 0u);
    EXPECT_EQ(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_INVALID));
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 5, nullptr), nullptr); // cannot grow
    EXPECT_EQ(CreateFileMappingA(file, nullptr, 0x04 /* PAGE_READWRITE */, 0, 0, nullptr), nullptr);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, "named"), nullptr);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 1, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MAPPED_ALIGNMENT));
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 5), nullptr);
    // Handles of the wrong kind, closed or made up are refused.
    EXPECT_EQ(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileSize(mapping, nullptr), INVALID_FILE_SIZE);
    for (HANDLE h : {empty, pipe, file, mapping})
        EXPECT_TRUE(CloseHandle(h));
    for (HANDLE h : {empty, INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
}

} // namespace
