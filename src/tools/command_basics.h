// What every subcommand may use: the usage exit, a closing file handle and
// output files that appear only when complete.
#pragma once

#include <cstdio>
#include <memory>

#include "platform/win32/replacing_file.h"

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

// Prints "varnel-cli: cannot write PATH: REASON" and gives the exit status 1.
inline int cannot_write(const char* path, const char* reason)
{
    std::fprintf(stderr, "varnel-cli: cannot write %s: %s\n", path, reason);
    return 1;
}

// Opens an output file of a command; a device or pipe named on the command
// line (/dev/stdout) is written into as it is.
inline bool open_output(ReplacingFile* out, const char* path)
{
    return out->open(path, ReplacingFile::OtherTargets::write_into);
}
