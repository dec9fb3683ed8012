#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/win32/winbase.h"

namespace {

namespace fs = std::filesystem;

TEST(FilePathsTest, AttributesTellFoldersFilesAndTheRestApart)
{
    fs::path folder = fs::temp_directory_path() / ("varnel-paths-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "run1.txt") << "1 2\n";
    struct Case {
        std::string path;
        DWORD attributes;
    };
    for (const Case& c : {Case{folder.string(), FILE_ATTRIBUTE_DIRECTORY},
                          Case{(folder / "run1.txt").string(), FILE_ATTRIBUTE_NORMAL},
                          Case{"/dev/null", FILE_ATTRIBUTE_DEVICE},
                          Case{(folder / "missing.txt").string(), INVALID_FILE_ATTRIBUTES},
                          Case{"", INVALID_FILE_ATTRIBUTES}}) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(GetFileAttributesA(c.path.c_str()), c.attributes);
    }
    EXPECT_EQ(GetFileAttributesA(nullptr), INVALID_FILE_ATTRIBUTES);
    fs::remove_all(folder);
}

TEST(FilePathsTest, FullPathResolvesRelativeNamesAsText)
{
    std::string cwd = fs::current_path().string();
    struct Case {
        const char* name;
        std::string full;
    };
    for (const Case& c : {Case{"data/../runs/./run1.txt", cwd + "/runs/run1.txt"}, Case{"run1.txt", cwd + "/run1.txt"},
                          Case{"/data//x/../run1.txt", "/data/run1.txt"}}) {
        SCOPED_TRACE(c.name);
        char buffer[1024];
        char* name = nullptr;
        DWORD length = GetFullPathNameA(c.name, sizeof buffer, buffer, &name);
        EXPECT_EQ(std::string(buffer), c.full);
        EXPECT_EQ(length, c.full.size());
        EXPECT_STREQ(name, "run1.txt");
    }

    // Too small: the size needed with the terminator, the buffer untouched.
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetFullPathNameA("/data/run1.txt", sizeof small, small, nullptr), 15u);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetFullPathNameA("", sizeof small, small, nullptr), 0u);
}

} // namespace
