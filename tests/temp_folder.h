// A folder of a test's own, made empty when the test starts and removed with
// everything in it when the test ends, so that no test sees another's files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

class TempFolder {
public:
    // /tmp/varnel-NAME-XXXXXX, or the same under `parent`.
    explicit TempFolder(std::string_view name, const std::filesystem::path& parent = "/tmp")
    {
        std::string pattern = (parent / ("varnel-" + std::string(name) + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
        else
            ADD_FAILURE() << "cannot make a folder from " << pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of the file `name` in the folder.
    std::string file(std::string_view name) const { return (path_ / name).string(); }
    // Writes `bytes` to the file `name` in the folder; its path.
    std::string write(std::string_view name, std::string_view bytes) const
    {
        std::ofstream(path_ / name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return file(name);
    }

private:
    std::filesystem::path path_;
};
