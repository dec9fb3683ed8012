// What the data subcommands (grid, render) share: the viewer's first range
// and the density field loaded from the data file.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "field/sources/clickhouse_source.h"
#include "field/field_loader.h"
#include "field/printable_text.h"
#include "settings/settings.h"
#include "tools/command_basics.h"
#include "tools/interruption.h"

// The range as the viewer has it on its first run.
inline Range default_range()
{
    const Settings defaults = default_settings();
    return Range{double(defaults.x_min), double(defaults.x_max), double(defaults.y_min), double(defaults.y_max)};
}

// The percentage of the file read so far, on a terminal only, on one line
// that each report overwrites; cleared when the read is over.
class ProgressLine {
public:
    explicit ProgressLine(const char* path) : path_(path), shown_(isatty(2) == 1) {}
    ~ProgressLine()
    {
        if (shown_ && last_ >= 0)
            std::fprintf(stderr, "\r\033[K");
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    DataFileMeter* meter() { return &meter_; }
    static bool report(void* context)
    {
        auto* line = static_cast<ProgressLine*>(context);
        const DataFileMeter& m = line->meter_;
        const int percent = m.size > 0 ? static_cast<int>(std::min<long long>(100, m.done * 100 / m.size)) : 0;
        if (line->shown_ && percent != line->last_)
            std::fprintf(stderr, "\rvarnel-cli: reading %s: %d%%", line->path_, percent);
        line->last_ = percent;
        return !InterruptionWatch::interrupted();
    }
    ReadWatch watch() { return ReadWatch{report, this}; }

private:
    const char* path_;
    bool shown_;
    int last_ = -1;
    DataFileMeter meter_;
};

// "a, b, c": a header's names, for a message; a file's text never reaches
// the terminal as it is.
inline std::string name_list(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + ('"' + printable_text(name) + '"');
    return list;
}

// A column by its number and its header's name, for a message.
inline std::string column_words(int number, const std::string& name)
{
    return name.empty() ? std::to_string(number) : std::to_string(number) + " (\"" + printable_text(name) + "\")";
}

// A load that leaves an empty plot says why on standard error: a file with
// no readable point in the columns read, or points that all lie outside
// the range.
inline void warn_if_empty(const char* path, const LoadedField& loaded, bool fit_asked)
{
    const FieldCounts& counts = loaded.counts;
    const Range& range = loaded.range;
    const ColumnsRead& c = loaded.columns;
    if (counts.points == 0 && counts.first_rejected_line > 0)
        std::fprintf(stderr,
                     "varnel-cli: warning: %s holds no readable point (line %lld is the first without one)"
                     " in columns %s and %s; --columns X Y takes others\n",
                     path, counts.first_rejected_line, column_words(c.columns.x, c.x_name).c_str(),
                     column_words(c.columns.y, c.y_name).c_str());
    else if (counts.points == 0)
        std::fprintf(stderr, "varnel-cli: warning: %s holds no point\n", path);
    else if (counts.in_range == 0)
        std::fprintf(stderr,
                     "varnel-cli: warning: %lld points were read, but none lies in the range %g..%g, %g..%g%s\n",
                     counts.points, range.x_min, range.x_max, range.y_min, range.y_max,
                     fit_asked ? " (none of them has finite coordinates)" : " (--range auto fits it to the data)");
}

// The default range, left as it is, that holds under half the points or
// whose axes the points fill under a quarter: a warning with where the
// data lie, read from the file again only then.
inline void warn_if_poorly_placed(const char* path, const LoadRequest& request, const LoadedField& loaded)
{
    const FieldCounts& counts = loaded.counts;
    if (request.fit_range || !(request.range == default_range()) || !loaded.field || counts.in_range == 0)
        return;
    DataBounds bounds;
    if (!points_poorly_placed(loaded) || !read_loaded_bounds(request, loaded, &bounds))
        return;
    const auto [fill_x, fill_y] = filled_parts(loaded.field.get());
    const Range& r = request.range;
    const Range& b = bounds.range;
    std::fprintf(stderr,
                 "varnel-cli: warning: %s: %lld of %lld points lie in the default range %g..%g, %g..%g, filling"
                 " %.0f%% and %.0f%% of its axes; the data run %g..%g, %g..%g (--range auto fits it to them)\n",
                 path, counts.in_range, counts.points, r.x_min, r.x_max, r.y_min, r.y_max, fill_x * 100, fill_y * 100,
                 b.x_min, b.x_max, b.y_min, b.y_max);
}

// What a load that asked for a column by a name the header lacks says, as
// a usage error naming the option that asked for it.
inline std::string no_column_problem(const LoadedField& loaded, const char* path)
{
    const ColumnsRead& c = loaded.columns;
    const std::string option = c.missing_role == ColumnRole::weight ? "--weight "
        : c.missing_role == ColumnRole::value                       ? "--mean "
                                                                    : "--columns ";
    return option + printable_text(c.missing) + ": " +
        (c.header.empty() ? std::string(path) + " has no header line to find the name in"
                          : "no such column in " + std::string(path) + "'s header: " + name_list(c.header));
}

// A password typed on the terminal, not shown as it is typed; false
// without a terminal. At most 1023 characters are kept.
inline bool read_password_from_terminal(const std::string& prompt, std::string* password)
{
    const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return false;
    termios was{};
    const bool quiet = tcgetattr(tty, &was) == 0;
    if (quiet) {
        termios silent = was;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(tty, TCSAFLUSH, &silent);
    }
    if (write(tty, prompt.data(), prompt.size()) < 0) {
        // Nothing to do: the prompt is a courtesy, the answer is what counts.
    }
    password->clear();
    char c;
    while (!InterruptionWatch::interrupted() && read(tty, &c, 1) == 1 && c != '\n' && c != '\r')
        if (password->size() < 1023)
            *password += c;
    if (quiet)
        tcsetattr(tty, TCSAFLUSH, &was);
    if (write(tty, "\n", 1) < 0) {}
    close(tty);
    return true;
}

// A database's password: CLICKHOUSE_PASSWORD, or, for an address that
// names its user, what is typed on the terminal when there is one. Never
// an argument, which others could read in the list of processes.
inline std::string database_password(const std::string& path)
{
    if (const char* password = std::getenv("CLICKHOUSE_PASSWORD"))
        return password;
    DatabaseAddress address;
    std::string problem, password;
    if (parse_database_address(path, &address, &problem) && !address.user.empty() && isatty(0) == 1 &&
        read_password_from_terminal("Password for " + address.user + " at " + server_name(address) + ": ", &password))
        return password;
    return {};
}

// The field the request asks for, with the percentage read on a terminal,
// a fitted range, columns picked from a header and an empty plot said on
// standard error. Null field after one line there when the file cannot be
// opened or read, or the field cannot be made; a column name not in the
// header is left to the caller's usage error (no_column_problem).
inline LoadedField load_for_command(const LoadRequest& request)
{
    // Made first, so that it ends last, after the progress line is cleared.
    InterruptionWatch interruption;
    const std::string shown = address_for_message(request.path);
    const char* path = shown.c_str();
    ProgressLine progress(path);
    LoadRequest asked = request;
    if (is_database_address(request.path))
        asked.password = database_password(request.path);
    if (InterruptionWatch::interrupted()) {
        LoadedField stopped;
        stopped.counts.stopped = true;
        return stopped;
    }
    LoadedField loaded = load_field(asked, LoadWatch{progress.meter(), progress.watch()});
    const ColumnsRead& c = loaded.columns;
    if (c.picked)
        std::fprintf(stderr, "varnel-cli: columns from the header: x = %s, y = %s\n",
                     column_words(c.columns.x, c.x_name).c_str(), column_words(c.columns.y, c.y_name).c_str());
    if (loaded.fitted) {
        const Range& r = loaded.range;
        std::fprintf(stderr, "varnel-cli: range fitted to the data: %s %s %s %s\n", exact_text(r.x_min).c_str(),
                     exact_text(r.x_max).c_str(), exact_text(r.y_min).c_str(), exact_text(r.y_max).c_str());
    }
    if (progress.meter()->trailing_garbage)
        std::fprintf(stderr, "varnel-cli: warning: %s: trailing garbage ignored\n", path);
    switch (loaded.failure) {
    case LoadFailure::none:
        warn_if_empty(path, loaded, request.fit_range);
        warn_if_poorly_placed(path, request, loaded);
        break;
    case LoadFailure::cannot_open:
        std::fprintf(stderr, "varnel-cli: cannot open %s: %s\n", path, std::strerror(loaded.error));
        break;
    case LoadFailure::cannot_read:
        std::fprintf(stderr, "varnel-cli: cannot read %s: %s\n", path,
                     loaded.problem.empty() ? std::strerror(loaded.error) : loaded.problem.c_str());
        break;
    case LoadFailure::no_memory:
        std::fprintf(stderr, "varnel-cli: out of memory\n");
        break;
    case LoadFailure::no_column:
        break;
    case LoadFailure::changed:
        std::fprintf(stderr, "varnel-cli: cannot read %s: it changed while it was read\n", path);
        break;
    case LoadFailure::read_once:
        std::fprintf(stderr,
                     "varnel-cli: --range auto reads %s twice, but it can be read only once (a pipe or a device);"
                     " give the range as XMIN XMAX YMIN YMAX\n",
                     path);
        break;
    case LoadFailure::database:
        std::fprintf(stderr, "varnel-cli: cannot load %s: %s\n", path, printable_text(loaded.problem).c_str());
        break;
    case LoadFailure::bad_array:
        std::fprintf(stderr, "varnel-cli: cannot read %s as an array: %s\n", path,
                     printable_text(loaded.problem).c_str());
        break;
    case LoadFailure::bad_sums:
        // A table read whole that holds other sums than asked is a table still.
        std::fprintf(stderr,
                     loaded.from_sums ? "varnel-cli: cannot load %s: %s\n"
                                      : "varnel-cli: %s is no table of cell sums: %s\n",
                     path, printable_text(loaded.problem).c_str());
        break;
    case LoadFailure::other_rule:
        std::fprintf(stderr, "varnel-cli: cannot load %s: %s (without --binning the file's rule is followed)\n", path,
                     loaded.problem.c_str());
        break;
    case LoadFailure::log_range:
        std::fprintf(stderr, "varnel-cli: cannot load %s: a logarithmic axis's range must lie above zero\n", path);
        break;
    }
    return loaded;
}
