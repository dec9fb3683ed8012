#include "texture/direct3d_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A machine configuration folder of the test's own, holding the Direct3D
// key's file with the given lines.
class Direct3DSettings : public ::testing::Test {
protected:
    std::filesystem::path root;

    void SetUp() override
    {
        root = std::filesystem::temp_directory_path() / ("varnel-d3d-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root);
        setenv("XDG_CONFIG_DIRS", root.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("XDG_CONFIG_DIRS");
        std::filesystem::remove_all(root);
    }
    void write_key(const std::string& values)
    {
        std::ofstream(root / "Direct3D.reg") << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Direct3D]\n" << values;
    }
};

TEST_F(Direct3DSettings, ReadsDwordValuesOfTheMachineKey)
{
    write_key("\"DisableMMX\"=dword:00000001\n\"DoNotMute\"=dword:00000000\n");
    DWORD value = 77;
    EXPECT_EQ(read_direct3d_dword("DisableMMX", &value), 1);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(read_direct3d_dword("DoNotMute", &value), 1);
    EXPECT_EQ(value, 0u);
}

TEST_F(Direct3DSettings, AbsentOrForeignValuesLeaveTheDefault)
{
    DWORD value = 77;
    EXPECT_EQ(read_direct3d_dword("DisableMMX", &value), 0) << "no key file at all";
    write_key("\"DisableMMX\"=hex:01,00\n\"Other\"=dword:00000001\n");
    EXPECT_EQ(read_direct3d_dword("DisableMMX", &value), 0) << "not a 4-byte REG_DWORD";
    EXPECT_EQ(read_direct3d_dword("DoNotMute", &value), 0);
    EXPECT_EQ(value, 77u);
}

} // namespace
