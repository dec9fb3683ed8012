#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32/winnls.h"
#include "settings/settings.h"

namespace {

struct PathCase {
    const char* path;
    const char* name;   // file_name_of
    const char* folder; // cut_to_folder
};

void expect_cases(const PathCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const PathCase& c = cases[i];
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(file_name_of(c.path), c.name);
        EXPECT_EQ(file_name_of(c.path) - c.path, static_cast<long>(std::strlen(c.path) - std::strlen(c.name)));
        char buffer[64];
        std::memset(buffer, 'z', sizeof buffer);
        std::strcpy(buffer, c.path);
        cut_to_folder(buffer);
        EXPECT_STREQ(buffer, c.folder);
        // Only the terminator is written: the rest of the name stays behind it.
        if (std::strlen(c.folder) < std::strlen(c.path))
            EXPECT_STREQ(buffer + std::strlen(c.folder) + 1, c.path + std::strlen(c.folder) + 1);
    }
}

TEST(FileDialogHelpersTest, NameAndFolderSplitAtTheLastSeparator)
{
    const PathCase cases[] = {
        {"/data/run1.txt", "run1.txt", "/data/"},
        {"/data/runs/", "", "/data/runs/"},
        {"run1.txt", "run1.txt", "run1.txt"},
        {"", "", ""},
        {"/run1.txt", "run1.txt", "/"},
        {"/data/表/データ.txt", "データ.txt", "/data/表/"},
        {"C:\\data\\run1.txt", "C:\\data\\run1.txt", "C:\\data\\run1.txt"}, // a backslash is part of a name here
    };
    expect_cases(cases, sizeof cases / sizeof cases[0]);
}

TEST(FileDialogHelpersTest, DoubleByteCharactersAreWalkedWhole)
{
    ASSERT_TRUE(SetProgramAnsiCodePage(932));
    // 表 is 0x95 0x5C in code page 932: its trail byte is a backslash.
    const PathCase cases[] = {
        {"/data/\x95\x5C/run1.txt", "run1.txt", "/data/\x95\x5C/"},
        {"/\x95\x5C\x95\x5C.txt", "\x95\x5C\x95\x5C.txt", "/"},
    };
    expect_cases(cases, sizeof cases / sizeof cases[0]);
    SetProgramAnsiCodePage(65001);
}

} // namespace
