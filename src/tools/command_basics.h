// What every subcommand may use: the usage exit and a closing file handle.
#pragma once

#include <cstdio>
#include <memory>

// Prints the usage line to standard error and gives the exit status 2.
inline int usage_error(const char* usage)
{
    std::fputs(usage, stderr);
    return 2;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
