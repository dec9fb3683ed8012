// A command's options, declared: each command lists its options once, in
// one table (name, words it takes, help, default, limits), and the parse,
// the usage errors and --help are made from that table.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/command_basics.h"

// A command line refused, in the words the usage error prints after
// "varnel-cli: ".
class UsageProblem : public CLI::ParseError {
public:
    explicit UsageProblem(const std::string& what) : CLI::ParseError("UsageProblem", what, 2) {}
};

// An option's words as the line gave them, whatever they look like: fewer
// than it takes only where the line ended.
using Words = std::vector<std::string>;

// The k-th word, or the usage error "OPTION needs NEEDS" when the line
// ended before it.
const std::string& word_at(const Words& words, size_t k, const std::string& option, const std::string& needs);
// The same for the first n words at once.
void need_words(const Words& words, size_t n, const std::string& option, const std::string& needs);

// The whole word as a number in [low, high]: digits with an optional sign,
// leading blanks allowed, as strtol reads them.
bool whole_number(const std::string& text, long low, long high, long* value);
// The whole word as a double.
bool real_number(const std::string& text, double* value);

// One command's options. Every option takes a fixed number of the words
// after it, whatever they look like (a negative number, a name beginning
// with a dash); only the range takes one word or four.
class OptionTable {
public:
    OptionTable(const char* command, const char* usage);

    // An option of `count` words, named in help by `value_names`, handed to
    // `take` as soon as they are read, so that the first mistake on the line
    // is the one reported.
    CLI::Option* words(const std::string& name, const std::string& value_names, int count, const std::string& help,
                       std::function<void(const Words&)> take);
    CLI::Option* flag(const std::string& name, bool* set, const std::string& help);
    CLI::Option* flag(const std::string& name, const std::string& help, std::function<void()> act);
    // What no option takes: the data file or image, named in help by `name`;
    // `take` refuses what the command does not want. Without a call, any
    // such word is an unknown option.
    void others(const std::string& name, const std::string& help, std::function<void(const std::string&)> take);

    // Parses the words after the command's name. Empty when they were
    // good, else what was wrong.
    std::string parse(int argc, char** argv);
    // The usage, then each option with its words, help and default.
    std::string help();

    // A word no option took, in the line's order: an unknown option, or
    // what others() takes.
    void take_other(const std::string& word);

private:
    CLI::App app_;
    std::shared_ptr<CLI::Formatter> formatter_ = std::make_shared<CLI::Formatter>();
    const char* usage_;
    std::function<void(const std::string&)> take_other_;
    CLI::Option* other_words_ = nullptr;
    bool line_ended_ = false;
    int most_words_ = 1;
};

// An option naming a file: "-o OUT", "--pixels OUT"; without it, "NAME
// needs NEEDS".
void add_file_option(OptionTable& table, const std::string& name, const std::string& value_name,
                     const std::string& help, std::optional<std::string>* path,
                     const std::string& needs = "a file name");
