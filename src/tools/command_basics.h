// What every subcommand may use: the usage exit, a closing file handle and
// output files that appear only when complete.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/replacing_file.h"

// Prints what was wrong ("varnel-cli: --skip x: not a whole number from 0 to
// 2147483647"), then the usage to standard error, and gives the exit status 2.
inline int usage_error(const char* usage, const std::string& what)
{
    std::fprintf(stderr, "varnel-cli: %s\n", what.c_str());
    std::fputs(usage, stderr);
    return 2;
}

// The usual problems of a command line, in words.
inline std::string unknown_option(const char* arg) { return std::string("unknown option ") + arg; }
inline std::string missing_value(const char* option, const char* what)
{
    return std::string(option) + " needs " + what;
}
inline std::string bad_value(const char* option, const char* value, const std::string& rule)
{
    return std::string(option) + " " + value + ": " + rule;
}

// The choices of an option in words: "a, b or c".
inline std::string or_list(const std::vector<std::string>& choices)
{
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i)
        list += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    return list;
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
// line (/dev/stdout) is written into as it is. A command killed while it
// works (Ctrl-C, kill) leaves no temporary file behind.
inline bool open_output(ReplacingFile* out, const char* path)
{
    out->remove_if_killed();
    return out->open(path, ReplacingFile::OtherTargets::write_into);
}
