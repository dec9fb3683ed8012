// What every subcommand may use: the usage exit, a closing file handle and
// output files that appear only when complete.
#pragma once

#include <cerrno>
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

// A command's output with every write checked, keeping the errno of the
// first that failed: stdio drops the bytes it could not write, and a later
// flush then succeeds and says nothing, so that errno is the only reason
// there will be. Nothing more is written after a failure.
class CheckedOutput {
public:
    explicit CheckedOutput(std::FILE* stream) : stream_(stream) {}

    void write(const char* bytes, std::size_t size)
    {
        if (error_ != 0)
            return;
        errno = 0;
        if (std::fwrite(bytes, 1, size, stream_) != size)
            error_ = errno ? errno : EIO;
    }
    void print(const std::string& text) { write(text.data(), text.size()); }
    // The result of a writer of our own that stops at its first failure,
    // errno still its failure's.
    void took(bool written)
    {
        if (error_ == 0 && !written)
            error_ = errno ? errno : EIO;
    }
    // Flushes the stream: 0 when every byte reached its file, else the
    // errno of the first write or flush that failed. The stream's error is
    // cleared, so that the check of standard output on the way out does not
    // report the failure a second time, and without its reason.
    int finish()
    {
        errno = 0;
        if (error_ == 0 && std::fflush(stream_) != 0)
            error_ = errno ? errno : EIO;
        if (error_ == 0 && std::ferror(stream_))
            error_ = EIO;
        std::clearerr(stream_);
        return error_;
    }

private:
    std::FILE* stream_;
    int error_ = 0;
};

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
