#include "tools/shared_options.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

std::string number_text(double value)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// A column as a word names it: digits (a sign allowed) are its number,
// which must be one from 1 to kMaxColumn; anything else is a header's name.
void read_column_word(const std::string& text, const std::string& option, const std::string& rule, int* number,
                      std::string* name)
{
    const size_t sign = text[0] == '-' || text[0] == '+' ? 1 : 0;
    const bool whole = text.size() > sign && text.find_first_not_of("0123456789", sign) == std::string::npos;
    long value = 0;
    if (!whole)
        *name = text;
    else if (whole_number(text, 1, kMaxColumn, &value))
        *number = int(value);
    else
        throw UsageProblem(bad_value(option.c_str(), text.c_str(), rule));
}

} // namespace

std::string range_problem(const Range& r)
{
    const auto in_order = [](double low, double high) {
        return std::isfinite(low) && std::isfinite(high) && low < high && std::isfinite(high - low);
    };
    if (in_order(r.x_min, r.x_max) && in_order(r.y_min, r.y_max))
        return {};
    std::string given;
    for (const double value : {r.x_min, r.x_max, r.y_min, r.y_max})
        given += ' ' + number_text(value);
    return "--range" + given +
        ": a range's ends are finite and in order, XMIN < XMAX and YMIN < YMAX, each span a finite double";
}

void add_range_option(OptionTable& table, Range* range, bool* fit)
{
    const std::string option = "--range";
    const std::string needs = std::string("four numbers, XMIN XMAX YMIN YMAX") + (fit ? ", or auto" : "");
    const std::string help = fit ? "the range binned, or auto: fitted to the points (a text file's points are held in "
                                   "memory, 8 bytes each where its numbers have at most 9 digits, else 16, up to a "
                                   "quarter of it, so that it is read once)"
                                 : "the range binned";
    CLI::Option* declared = table.words(
        option, fit ? "XMIN XMAX YMIN YMAX|auto" : "XMIN XMAX YMIN YMAX", 4, help, [=, &table](const Words& words) {
            if (fit && !words.empty() && words[0] == "auto") {
                *fit = true;
                // Only "auto" is the range's; the words after it are the line's.
                for (size_t k = 1; k < words.size(); ++k)
                    table.take_other(words[k]);
                return;
            }
            need_words(words, 4, option, needs);
            Range asked;
            double* ends[] = {&asked.x_min, &asked.x_max, &asked.y_min, &asked.y_max};
            for (size_t k = 0; k < 4; ++k)
                if (!real_number(words[k], ends[k]))
                    throw UsageProblem(bad_value(option.c_str(), words[k].c_str(), "not a number"));
            if (const std::string problem = range_problem(asked); !problem.empty())
                throw UsageProblem(problem);
            *range = asked;
            if (fit)
                *fit = false;
        });
    declared->default_str(number_text(range->x_min) + " " + number_text(range->x_max) + " " +
                          number_text(range->y_min) + " " + number_text(range->y_max));
    // "auto" alone, or four numbers.
    if (fit)
        declared->type_size(1, 4);
}

void add_columns_option(OptionTable& table, ColumnRequest* columns)
{
    const std::string option = "--columns";
    const std::string needs = "two columns: X Y, by number or by the header's names";
    const std::string rule = "columns are two different whole numbers from 1 to " + std::to_string(kMaxColumn) +
        ", or two names from the file's header";
    const std::string help =
        "the columns of x and y, each by number (1 to " + std::to_string(kMaxColumn) + ") or by the header's name";
    table
        .words(option, "X Y", 2, help,
               [=](const Words& words) {
                   ColumnRequest request;
                   request.chosen = true;
                   const std::pair<int*, std::string*> sides[] = {{&request.numbers.x, &request.x_name},
                                                                  {&request.numbers.y, &request.y_name}};
                   for (size_t k = 0; k < 2; ++k)
                       read_column_word(word_at(words, k, option, needs), option, rule, sides[k].first,
                                        sides[k].second);
                   const bool same = request.x_name.empty() && request.y_name.empty()
                       ? request.numbers.x == request.numbers.y
                       : request.x_name == request.y_name;
                   if (same)
                       throw UsageProblem(bad_value(option.c_str(), words[1].c_str(), rule));
                   *columns = request;
               })
        ->default_str(std::to_string(columns->numbers.x) + " " + std::to_string(columns->numbers.y));
}

void add_value_options(OptionTable& table, LoadRequest* request)
{
    const auto column_option = [&table](const std::string& option, const std::string& help, int* number,
                                        std::string* name) {
        const std::string rule =
            "a column is a whole number from 1 to " + std::to_string(kMaxColumn) + ", or a name from the file's header";
        table.words(option, "COL", 1, help, [=](const Words& words) {
            read_column_word(word_at(words, 0, option, "a column, by number or by the header's name"), option, rule,
                             number, name);
        });
    };
    ColumnRequest& columns = request->columns;
    column_option("--weight", "each point adds its weight from this column instead of 1", &columns.numbers.weight,
                  &columns.weight_name);
    column_option("--mean", "each node holds the mean of this column, not normalised", &columns.numbers.value,
                  &columns.value_name);
    add_log_options(table, &request->log_x, &request->log_y);
}

void add_log_options(OptionTable& table, bool* log_x, bool* log_y)
{
    table.flag("--log-x", log_x, "bin the base-10 logarithm of x; the range stays in data units");
    table.flag("--log-y", log_y, "bin the base-10 logarithm of y; the range stays in data units");
}

void add_binning_option(OptionTable& table, BinningRule* rule, bool* chosen)
{
    const std::string option = "--binning";
    table
        .words(option, "bilinear|classic", 1, "how a point is shared among its cell's nodes",
               [=](const Words& words) {
                   const std::string& name = word_at(words, 0, option, "a binning rule: bilinear or classic");
                   if (!binning_rule_named(name, rule))
                       throw UsageProblem(
                           bad_value(option.c_str(), name.c_str(), "the binning rule is bilinear or classic"));
                   if (chosen)
                       *chosen = true;
               })
        ->default_str(binning_rule_name(*rule));
}

void add_threads_option(OptionTable& table, unsigned* threads, const std::string& help)
{
    const std::string option = "--threads";
    const std::string rule = "not a whole number from 0 (one per core) to " + std::to_string(kMostThreads);
    table
        .words(option, "N", 1, help + ", 0 (one per core) to " + std::to_string(kMostThreads),
               [=](const Words& words) {
                   const std::string& text = word_at(words, 0, option, "a number of threads");
                   long number = 0;
                   if (!whole_number(text, 0, kMostThreads, &number))
                       throw UsageProblem(bad_value(option.c_str(), text.c_str(), rule));
                   *threads = unsigned(number);
               })
        ->default_str(std::to_string(*threads));
}

namespace {

// The camera's three numbers and their limits, as --help gives them: from
// the nearest distance step to the farthest, any azimuth, and from the
// floor's level to straight down.
struct CameraPart {
    const char* name;
    int32_t CameraSetting::*member;
    long long lowest, highest;
};
constexpr CameraPart kCameraParts[] = {
    {"RADIUS", &CameraSetting::radius, 0, kFarthestRadius},
    {"AZIMUTH", &CameraSetting::azimuth, INT32_MIN, INT32_MAX},
    {"ELEVATION", &CameraSetting::elevation, 0, 90},
};

} // namespace

void add_camera_option(OptionTable& table, CameraSetting* camera)
{
    const std::string option = "--camera";
    std::string shown;
    for (const CameraPart& part : kCameraParts)
        shown += (shown.empty() ? "" : " ") + std::to_string(camera->*part.member);
    table
        .words(option, "RADIUS AZIMUTH ELEVATION", 3,
               "distance step 0 to " + std::to_string(kFarthestRadius) +
                   ", azimuth and elevation in degrees (elevation 0 to 90)",
               [=](const Words& words) {
                   need_words(words, 3, option, "three whole numbers: RADIUS AZIMUTH ELEVATION");
                   CameraSetting asked = *camera;
                   for (size_t k = 0; k < 3; ++k) {
                       const CameraPart& part = kCameraParts[k];
                       const char* text = words[k].c_str();
                       char* end = nullptr;
                       errno = 0;
                       const long long value = std::strtoll(text, &end, 10);
                       if (end == text || *end != '\0')
                           throw UsageProblem(bad_value(option.c_str(), text, "not a whole number"));
                       if (errno == ERANGE || value < part.lowest || value > part.highest)
                           throw UsageProblem(bad_value(option.c_str(), text,
                                                        std::string(part.name) + " is out of range, " +
                                                            std::to_string(part.lowest) + " to " +
                                                            std::to_string(part.highest)));
                       asked.*part.member = static_cast<int32_t>(value);
                   }
                   *camera = asked;
               })
        ->default_str(shown);
}
