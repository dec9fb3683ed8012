// The option table against the rule the commands have always followed: an
// option takes the words after it whatever they look like, a word no option
// takes is the one data file, and the first mistake on the line is named.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/option_table.h"

namespace {

// What a line asked for, or what was wrong with it.
struct Outcome {
    std::string name;
    std::vector<std::string> pair;
    bool flag = false;
    std::optional<std::string> data;
    std::string problem;

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o)
{
    out << "name=" << o.name << " pair=";
    for (const std::string& w : o.pair)
        out << '[' << w << ']';
    return out << " flag=" << o.flag << " data=" << (o.data ? *o.data : "(none)") << " problem=" << o.problem;
}

Outcome parsed(std::vector<std::string> line)
{
    Outcome o;
    OptionTable table("test", "usage: test\n");
    table.words("--name", "NAME", 1, "a name", [&o](const Words& w) { o.name = word_at(w, 0, "--name", "a name"); });
    table.words("--pair", "A B", 2, "two words", [&o](const Words& w) {
        need_words(w, 2, "--pair", "two words");
        o.pair = w;
    });
    table.flag("--flag", &o.flag, "a flag");
    table.others("DATA", "the data", [&o](const std::string& word) {
        if (o.data)
            throw UsageProblem("one data file only, not also " + word);
        o.data = word;
    });
    std::vector<char*> argv;
    for (std::string& word : line)
        argv.push_back(word.data());
    o.problem = table.parse(int(argv.size()), argv.data());
    if (!o.problem.empty())
        o = Outcome{{}, {}, false, {}, o.problem};
    return o;
}

// The rule written plainly, as the commands' own loops once had it.
Outcome reference(const std::vector<std::string>& line)
{
    Outcome o;
    const auto fail = [](const std::string& problem) { return Outcome{{}, {}, false, {}, problem}; };
    for (size_t i = 0; i < line.size(); ++i) {
        const std::string& word = line[i];
        const size_t left = line.size() - 1 - i;
        if (word == "--name") {
            if (left < 1)
                return fail("--name needs a name");
            o.name = line[++i];
        } else if (word == "--pair") {
            if (left < 2)
                return fail("--pair needs two words");
            o.pair = {line[i + 1], line[i + 2]};
            i += 2;
        } else if (word == "--flag") {
            o.flag = true;
        } else if (word.size() > 1 && word[0] == '-') {
            return fail("unknown option " + word);
        } else if (o.data) {
            return fail("one data file only, not also " + word);
        } else {
            o.data = word;
        }
    }
    return o;
}

TEST(OptionTable, WordsReachTheirOptionWhateverTheyLookLike)
{
    const struct {
        std::vector<std::string> line;
        Outcome want;
    } cases[] = {
        {{"--name", "-log p"}, {"-log p", {}, false, {}, ""}},
        {{"--name", "--pair", "d"}, {"--pair", {}, false, "d", ""}},
        {{"--pair", "-inf", "-.5"}, {"", {"-inf", "-.5"}, false, {}, ""}},
        {{"--pair", "--flag", "--"}, {"", {"--flag", "--"}, false, {}, ""}},
        {{"-", "--flag", "--flag"}, {"", {}, true, "-", ""}},
        {{""}, {"", {}, false, "", ""}},
        {{"--name", "a", "--name", "b"}, {"b", {}, false, {}, ""}},
        {{"--pair", "1"}, {"", {}, false, {}, "--pair needs two words"}},
        {{"--name"}, {"", {}, false, {}, "--name needs a name"}},
        {{"--name=x"}, {"", {}, false, {}, "unknown option --name=x"}},
        {{"--", "d"}, {"", {}, false, {}, "unknown option --"}},
        {{"-nx"}, {"", {}, false, {}, "unknown option -nx"}},
        {{"d", "--bogus", "--name"}, {"", {}, false, {}, "unknown option --bogus"}},
        {{"d", "e", "--bogus"}, {"", {}, false, {}, "one data file only, not also e"}},
        {{"--help"}, {"", {}, false, {}, "unknown option --help"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parsed(c.line), c.want) << ::testing::PrintToString(c.line);
        EXPECT_EQ(reference(c.line), c.want) << "the reference, " << ::testing::PrintToString(c.line);
    }
}

// Lines drawn from a small vocabulary: names, their look-alikes, numbers
// and words, in every order.
TEST(OptionTable, RandomLinesParseAsThePlainRuleDoes)
{
    const std::vector<std::string> vocabulary = {"--name", "--pair", "--flag",   "--bogus", "-x",
                                                 "-5",     "-inf",   "--name=a", "--",      "-",
                                                 "a",      "b",      "",         "auto",    "--Name"};
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> line(random() % 7);
        for (std::string& word : line)
            word = vocabulary[random() % vocabulary.size()];
        ASSERT_EQ(parsed(line), reference(line)) << ::testing::PrintToString(line);
    }
}

} // namespace
