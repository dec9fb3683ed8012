// What the data subcommands (grid, render) share: numbers from their
// arguments and the density field loaded from the data file.
#pragma once

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
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

// The whole argument as a number.
inline bool parse_double(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

// The range as the viewer has it on its first run.
inline Range default_range()
{
    const Settings defaults = default_settings();
    return Range{double(defaults.x_min), double(defaults.x_max), double(defaults.y_min), double(defaults.y_max)};
}

// "--columns X Y" at argv[i]: each a whole number from 1 to kMaxColumn or
// a name of the header's, the two different. False on a usage error, with
// what was wrong in *problem; i moves past what was taken.
inline bool parse_columns_option(int argc, char** argv, int& i, ColumnRequest* columns, std::string* problem)
{
    const char* option = argv[i];
    const std::string rule = "columns are two different whole numbers from 1 to " + std::to_string(kMaxColumn) +
        ", or two names from the file's header";
    ColumnRequest request;
    request.chosen = true;
    const std::pair<int*, std::string*> sides[] = {{&request.numbers.x, &request.x_name},
                                                   {&request.numbers.y, &request.y_name}};
    for (const auto& [number, name] : sides) {
        if (i + 1 >= argc) {
            *problem = missing_value(option, "two columns: X Y, by number or by the header's names");
            return false;
        }
        const char* text = argv[++i];
        const bool whole = text[text[0] == '-' || text[0] == '+'] != '\0' &&
            std::strspn(text + (text[0] == '-' || text[0] == '+'), "0123456789") ==
                std::strlen(text + (text[0] == '-' || text[0] == '+'));
        if (!whole) {
            *name = text;
            continue;
        }
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(text, &end, 10);
        if (errno != 0 || value < 1 || value > kMaxColumn) {
            *problem = bad_value(option, text, rule.c_str());
            return false;
        }
        *number = int(value);
    }
    const bool same = request.x_name.empty() && request.y_name.empty() ? request.numbers.x == request.numbers.y
                                                                       : request.x_name == request.y_name;
    if (same) {
        *problem = bad_value(option, argv[i], rule.c_str());
        return false;
    }
    *columns = request;
    return true;
}

// "--binning RULE" at argv[i]. False on a usage error, with what was wrong
// in *problem; i moves past what was taken.
inline bool parse_binning_option(int argc, char** argv, int& i, BinningRule* rule, std::string* problem)
{
    const char* option = argv[i];
    if (i + 1 >= argc) {
        *problem = missing_value(option, "a binning rule: bilinear or classic");
        return false;
    }
    if (!binning_rule_named(argv[++i], rule)) {
        *problem = bad_value(option, argv[i], "the binning rule is bilinear or classic");
        return false;
    }
    return true;
}

// The rule every command holds a range to: each axis's ends finite and in
// order (min < max), and their span a finite double, without which every
// point would fall in the first cell. Empty when the range keeps it, else
// the usage error, the same for every command.
inline std::string range_problem(const Range& r)
{
    const auto in_order = [](double low, double high) {
        return std::isfinite(low) && std::isfinite(high) && low < high && std::isfinite(high - low);
    };
    if (in_order(r.x_min, r.x_max) && in_order(r.y_min, r.y_max))
        return {};
    std::string given;
    for (const double value : {r.x_min, r.x_max, r.y_min, r.y_max}) {
        char text[32];
        given += ' ' + std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
    }
    return "--range" + given +
        ": a range's ends are finite and in order, XMIN < XMAX and YMIN < YMAX, each span a finite double";
}

// "--range" at argv[i]: "auto", or XMIN XMAX YMIN YMAX. False on a usage
// error, with what was wrong in *problem; i moves past what was taken.
inline bool parse_range_option(int argc, char** argv, int& i, Range* range, bool* fit, std::string* problem)
{
    const char* option = argv[i];
    if (i + 1 < argc && std::strcmp(argv[i + 1], "auto") == 0) {
        ++i;
        *fit = true;
        return true;
    }
    if (i + 4 >= argc) {
        *problem = missing_value(option, "four numbers, XMIN XMAX YMIN YMAX, or auto");
        return false;
    }
    for (double* value : {&range->x_min, &range->x_max, &range->y_min, &range->y_max})
        if (!parse_double(argv[++i], value)) {
            *problem = bad_value(option, argv[i], "not a number");
            return false;
        }
    *problem = range_problem(*range);
    *fit = false;
    return problem->empty();
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

// "--threads N" takes 0 (one per core, the default) to this many.
inline constexpr long kMostThreads = 1024;
inline constexpr char kThreadsRule[] = "not a whole number from 0 (one per core) to 1024";

// The whole argument as a number of threads. False on a usage error.
inline bool parse_threads(const char* text, unsigned* threads)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < 0 || value > kMostThreads)
        return false;
    *threads = static_cast<unsigned>(value);
    return true;
}

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

// What a load that asked for a column by a name the header lacks says, as
// a usage error.
inline std::string no_column_problem(const LoadedField& loaded, const char* path)
{
    const ColumnsRead& c = loaded.columns;
    if (c.header.empty())
        return "--columns " + printable_text(c.missing) + ": " + path + " has no header line to find the name in";
    return "--columns " + printable_text(c.missing) + ": no such column in " + path +
        "'s header: " + name_list(c.header);
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
        std::fprintf(stderr, "varnel-cli: %s is no table of cell sums: %s\n", path,
                     printable_text(loaded.problem).c_str());
        break;
    case LoadFailure::other_rule:
        std::fprintf(stderr, "varnel-cli: cannot load %s: %s (without --binning the file's rule is followed)\n", path,
                     loaded.problem.c_str());
        break;
    }
    return loaded;
}
