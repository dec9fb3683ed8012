// Files the program writes as a whole (pictures, grids, dumps): written under
// a temporary name in the target's folder and renamed over the target only
// once complete and synced, so a full disk, a size limit or a kill leaves the
// old file or the new one, never a part and never nothing.
#pragma once

#include <cstdio>
#include <string>

class ReplacingFile {
public:
    // What to do with a target that exists and is not a regular file (a
    // device, a pipe): refuse it, or write straight into it, as a command
    // line tool asked for /dev/stdout must. A folder is always refused.
    enum class OtherTargets { refuse, write_into };

    ReplacingFile() = default;
    ~ReplacingFile(); // an uncommitted temporary file is removed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Makes the temporary file for `path` (a symbolic link is written
    // through, to the file it names). False, with reason(), when it cannot.
    bool open(const char* path, OtherTargets others);

    // Called before open: from then until commit or destruction, SIGTERM,
    // SIGINT, SIGHUP and SIGBUS remove the temporary file before they end
    // the process as they would have. For a command line tool: a program
    // with handlers of its own for these signals keeps them by not calling
    // this. One file at a time.
    void remove_if_killed();

    // Where the bytes go; null unless open succeeded.
    std::FILE* stream() const { return stream_; }

    // Flushes and syncs the bytes and puts the file in the target's place.
    // False, with reason(), on any failure; the target is then untouched and
    // the temporary file gone.
    bool commit();

    // Why the last open or commit failed, as the system words it.
    const char* reason() const;

private:
    void discard();

    std::FILE* stream_ = nullptr;
    std::string target_;    // the file that is replaced
    std::string temporary_; // empty when writing straight into the target
    int error_ = 0;         // an errno value, or kNotRegular
    bool remove_if_killed_ = false;
};
