#include "tools/option_table.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace {

// CLI11 reads a word that begins with a dash as an option's name, and ends
// an option's words at it. Every word but the names of the command's own
// options goes to CLI11 behind this mark, so that "-inf", "-.5" or a label
// "-log p" reaches its option as the word it is, and an unknown "--x"
// reaches take_other() in its place on the line.
constexpr char kMark = '\x1f';
// After the line, marks with nothing behind them: an option that the line
// cuts short reads them, so that its own check says what it needs.
const std::string kEnd(2, kMark);

bool is_end(const std::string& word) { return word == kEnd; }

std::string unmarked(const std::string& word) { return word[0] == kMark ? word.substr(1) : word; }

// The words CLI11 handed an option, without the marks and the end. An
// option's name among them came as it is; an empty word without a mark is
// CLI11's own filler for a range of fewer than four.
Words words_given(const std::vector<std::string>& results)
{
    Words words;
    for (const std::string& result : results)
        if (!result.empty() && !is_end(result))
            words.push_back(result[0] == kMark ? result.substr(1) : result);
    return words;
}

} // namespace

const std::string& word_at(const Words& words, size_t k, const std::string& option, const std::string& needs)
{
    if (k >= words.size())
        throw UsageProblem(missing_value(option.c_str(), needs.c_str()));
    return words[k];
}

void need_words(const Words& words, size_t n, const std::string& option, const std::string& needs)
{
    if (n > 0)
        word_at(words, n - 1, option, needs);
}

bool whole_number(const std::string& text, long low, long high, long* value)
{
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno != 0 || n < low || n > high)
        return false;
    *value = n;
    return true;
}

bool real_number(const std::string& text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

OptionTable::OptionTable(const char* command, const char* usage) : app_("", command), usage_(usage)
{
    app_.set_help_flag(); // --help is the program's, before the command's options
    app_.validate_positionals();
    formatter_->column_width(36);
    app_.formatter(formatter_);
    take_other_ = [](const std::string& word) { throw UsageProblem(unknown_option(word.c_str())); };
}

CLI::Option* OptionTable::words(const std::string& name, const std::string& value_names, int count,
                                const std::string& help, std::function<void(const Words&)> take)
{
    most_words_ = std::max(most_words_, count);
    CLI::Option* option = app_.add_option_function<std::vector<std::string>>(
        name, [take](const std::vector<std::string>& results) { take(words_given(results)); }, help);
    // At least `count` words are read whatever they look like; a parse
    // that stops at the first mistake needs the check as soon as they are.
    return option->type_size(count)->expected(1)->allow_extra_args(false)->type_name(value_names)->trigger_on_parse();
}

CLI::Option* OptionTable::flag(const std::string& name, bool* set, const std::string& help)
{
    return flag(name, help, [set] { *set = true; });
}

CLI::Option* OptionTable::flag(const std::string& name, const std::string& help, std::function<void()> act)
{
    return app_.add_flag_callback(name, std::move(act), help)->trigger_on_parse();
}

void OptionTable::others(const std::string& name, const std::string& help, std::function<void(const std::string&)> take)
{
    take_other_ = std::move(take);
    other_words_ = app_.add_option(name, help);
}

void OptionTable::take_other(const std::string& word)
{
    if (word.size() > 1 && word[0] == '-')
        throw UsageProblem(unknown_option(word.c_str()));
    take_other_(word);
}

std::string OptionTable::parse(int argc, char** argv)
{
    if (!other_words_)
        other_words_ = app_.add_option("WORDS")->group("");
    // Checked as each word is read, in the line's order; CLI11 checks them
    // again after the line, when the end mark has told this check it is done.
    other_words_->expected(0, CLI::detail::expected_max_vector_size)
        ->allow_extra_args()
        ->check([this](const std::string& word) {
            if (line_ended_ || is_end(word))
                line_ended_ = true;
            else
                take_other(unmarked(word));
            return std::string();
        });

    // CLI11 reads the words from the back.
    std::vector<std::string> line(size_t(most_words_) + 1, kEnd);
    for (int i = argc - 1; i >= 0; --i) {
        const std::string word = argv[i];
        const bool named = word.size() > 1 && word[0] == '-' && app_.get_option_no_throw(word) != nullptr;
        line.push_back(named ? word : kMark + word);
    }
    try {
        app_.parse(line);
    } catch (const CLI::ParseError& problem) {
        return problem.what();
    }
    return {};
}

std::string OptionTable::help()
{
    return usage_ + formatter_->make_positionals(&app_) + formatter_->make_groups(&app_, CLI::AppFormatMode::Normal);
}

void add_file_option(OptionTable& table, const std::string& name, const std::string& value_name,
                     const std::string& help, std::optional<std::string>* path, const std::string& needs)
{
    table.words(name, value_name, 1, help, [=](const Words& words) { *path = word_at(words, 0, name, needs); });
}
