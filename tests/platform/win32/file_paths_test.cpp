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
    for (const Case& c :
         {Case{folder.string(), FILE_ATTRIBUTE_DIRECTORY}, Case{(folder / "run1.txt").string(), FILE_ATTRIBUTE_NORMAL},
          Case{"/dev/null", FILE_ATTRIBUTE_DEVICE}, Case{(folder / "missing.txt").string(), INVALID_FILE_ATTRIBUTES},
          Case{"", INVALID_FILE_ATTRIBUTES}}) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(GetFileAttributesA(c.path.c_str()), c.attributes);
    }
    EXPECT_EQ(GetFileAttributesA(nullptr), INVALID_FILE_ATTRIBUTES);
    fs::remove_all(folder);
}

TEST(FilePathsTest, FullPathNamesTheFileTheSystemOpens)
{
    // d/link -> real/sub: "d/link/.." is d/real on the disk, not d.
    const fs::path d = fs::canonical(fs::temp_directory_path()) / ("varnel-full-" + std::to_string(getpid()));
    fs::create_directories(d / "real" / "sub");
    fs::create_directory_symlink(fs::path("real") / "sub", d / "link");
    std::ofstream(d / "data.txt") << "wrong\n";
    std::ofstream(d / "real" / "data.txt") << "right\n";
    const std::string cwd = fs::canonical(fs::current_path()).string();
    struct Case {
        std::string name;
        std::string full;
    };
    for (const Case& c : {
             Case{(d / "link" / ".." / "data.txt").string(), (d / "real" / "data.txt").string()},
             Case{d.string() + "/./real//sub/../data.txt", (d / "real" / "data.txt").string()},
             Case{(d / "link" / "run1.txt").string(), (d / "real" / "sub" / "run1.txt").string()},
             Case{"run1.txt", cwd + "/run1.txt"},
             // Past a folder that does not exist nothing is resolved: it
             // must fail to open just as the name does.
             Case{"/varnel-missing//x/./../run1.txt", "/varnel-missing/x/../run1.txt"},
         }) {
        SCOPED_TRACE(c.name);
        char buffer[1024];
        char* name = nullptr;
        DWORD length = GetFullPathNameA(c.name.c_str(), sizeof buffer, buffer, &name);
        EXPECT_EQ(std::string(buffer), c.full);
        EXPECT_EQ(length, c.full.size());
        EXPECT_STREQ(name, fs::path(c.full).filename().c_str());
    }
    char buffer[1024];
    GetFullPathNameA((d / "link" / ".." / "data.txt").c_str(), sizeof buffer, buffer, nullptr);
    std::string through_path, through_name;
    std::ifstream(buffer) >> through_path;
    std::ifstream(d / "link" / ".." / "data.txt") >> through_name;
    EXPECT_EQ(through_path, through_name);
    fs::remove_all(d);

    // Too small, also by the terminator alone: the size needed with the
    // terminator, the buffer untouched; exactly enough: the length.
    char small[16];
    for (DWORD size : {8u, 14u, 15u}) {
        std::memset(small, 'x', sizeof small);
        EXPECT_EQ(GetFullPathNameA("/data/run1.txt", size, small, nullptr), size < 15 ? 15u : 14u);
        EXPECT_EQ(small[size < 15 ? 0 : 14], size < 15 ? 'x' : '\0');
        EXPECT_EQ(small[size], 'x');
    }
    EXPECT_EQ(GetFullPathNameA("", sizeof small, small, nullptr), 0u);
}

} // namespace
