// varnel-cli's own words: help, version and unknown commands.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

struct CliRun {
    int status;
    std::string out;
};

// What the command writes where `streams` sends it to the pipe read here.
CliRun run(const std::string& args, const char* streams = " 2>/dev/null")
{
    CliRun r{-1, {}};
    std::FILE* p = popen((std::string(VARNEL_CLI) + " " + args + streams).c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(VarnelCli, HelpAndVersionGoToStandardOutput)
{
    struct Case {
        const char* args;
        int status;
        const char* printed; // a part of standard output; "" for none
    };
    for (const Case& c :
         {Case{"--help", 0, "  render    draw the viewer's picture"}, Case{"-h", 0, "varnel-cli grid DATA"},
          Case{"help", 0, "varnel-cli settings [--reset]"}, Case{"--version", 0, "varnel-cli " VARNEL_VERSION "\n"},
          Case{"decode --help", 0, "usage: varnel-cli decode IMAGE"},
          Case{"render -h", 0, "usage: varnel-cli render DATA -o OUT.png"}, Case{"", 2, ""}, Case{"--helpme", 2, ""},
          Case{"grid", 2, ""}, Case{"render --help", 0, "default 100 0 90"},
          Case{"render --help", 0, "--size defaults to 640x480"}, Case{"grid --help", 0, "--range defaults to 0 4000"},
          Case{"--help", 0, "[--sums]\n--range defaults"},
          // Help only as a command's one word: else a word of its line.
          Case{"render --help x", 2, ""}, Case{"grid help", 1, ""}}) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        if (*c.printed)
            EXPECT_NE(r.out.find(c.printed), std::string::npos) << c.args << "\n" << r.out;
        else
            EXPECT_EQ(r.out, "") << c.args;
    }
    // A word that is no command is named before the usage.
    const CliRun unknown = run("bogus", " 2>&1 >/dev/null");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out.substr(0, unknown.out.find('\n')), "varnel-cli: unknown command 'bogus'");
}

// A command's --help lists the options its table declares; its usage line,
// written by hand for the scripts that read it, names the same ones.
TEST(VarnelCli, HelpListsTheOptionsTheUsageNames)
{
    const auto names_in = [](const std::string& text, const std::regex& pattern) {
        std::set<std::string> names;
        for (std::sregex_iterator m(text.begin(), text.end(), pattern), end; m != end; ++m)
            names.insert((*m)[1]);
        return names;
    };
    const std::regex in_usage(R"((?:^|[\[ |])(--?[a-z][a-z-]*))");
    const std::regex in_list(R"(\n  (--?[a-z][a-z-]*))");
    int defaults_said = 0;
    for (const char* command : {"grid", "decode", "texture", "settings", "render", "sql"}) {
        const std::string help = run(std::string(command) + " --help").out;
        const size_t list = help.find("\nOptions:\n");
        ASSERT_NE(list, std::string::npos) << command << "\n" << help;
        // The usage's synopsis: its first line and the lines that go on with it.
        std::string synopsis;
        for (size_t at = 0; at < list;) {
            const size_t end = help.find('\n', at);
            const std::string line = help.substr(at, end - at);
            if (at == 0 || line.rfind("    ", 0) == 0)
                synopsis += line + "\n";
            at = end + 1;
        }
        const std::set<std::string> usage_names = names_in(synopsis, in_usage);
        EXPECT_FALSE(usage_names.empty()) << command;
        EXPECT_EQ(names_in(help.substr(list), in_list), usage_names) << command << "\n" << help;
        // Every default the usage's words give is the one the table holds
        // ("--skip to 0 lines" for a held 0).
        const std::string usage = help.substr(0, list), options = help.substr(list);
        std::map<std::string, std::string> held;
        const std::regex held_pattern(R"(\n  (--[a-z-]+)[^=\n]*=((?:[^ \n]| (?! ))+))");
        for (std::sregex_iterator m(options.begin(), options.end(), held_pattern), end; m != end; ++m)
            held[(*m)[1]] = (*m)[2];
        const std::regex said_pattern(R"((--[a-z-]+)(?:: [\s\S]*?default| (?:defaults )?to) ([^,;(]+?)(?=[,;.]| \())");
        for (std::sregex_iterator m(usage.begin(), usage.end(), said_pattern), end; m != end; ++m) {
            ++defaults_said;
            const std::string name = (*m)[1], said = (*m)[2];
            ASSERT_TRUE(held.count(name)) << command << " " << name;
            EXPECT_EQ(said.substr(0, held[name].size()), held[name]) << command << " " << name;
        }
    }
    // grid's five, render's five, sql's three.
    EXPECT_EQ(defaults_said, 13);
}

// The first line a command writes on standard error, and its exit status.
CliRun first_error_line(const std::string& args)
{
    CliRun r = run(args, " 2>&1 >/dev/null");
    r.out = r.out.substr(0, r.out.find('\n'));
    return r;
}

// grid, render and sql hold a range to one rule and say so in one way:
// each axis's ends finite and in order, their span a finite double.
TEST(VarnelCli, EveryCommandRefusesTheSameRangesInTheSameWords)
{
    const std::string rule =
        ": a range's ends are finite and in order, XMIN < XMAX and YMIN < YMAX, each span a finite double";
    const char* commands[] = {"grid /dev/null", "render /dev/null -o /dev/null.png", "sql --table t --x a --y b"};
    const struct {
        const char* range;
        const char* shown;
    } bad[] = {
        {"1 1 0 1", "1 1 0 1"},
        {"10 0 0 1", "10 0 0 1"},
        {"0 0 0 0", "0 0 0 0"},
        {"0 1 5 -5", "0 1 5 -5"},
        {"nan 1 0 1", "nan 1 0 1"},
        {"0 1 -inf 1", "0 1 -inf 1"},
        {"-1.7976931348623157e308 1.7976931348623157e308 0 4000",
         "-1.7976931348623157e+308 1.7976931348623157e+308 0 4000"},
    };
    for (const char* command : commands)
        for (const auto& c : bad) {
            const CliRun r = first_error_line(std::string(command) + " --range " + c.range);
            EXPECT_EQ(r.status, 2) << command << " " << c.range;
            EXPECT_EQ(r.out, std::string("varnel-cli: --range ") + c.shown + rule) << command;
        }
    // The smallest span there is keeps the rule.
    EXPECT_EQ(run("sql --table t --x a --y b --range 0 5e-324 0 1").status, 0);
    // A logarithmic axis's range lies above zero.
    const CliRun log_y = first_error_line("sql --table t --x a --y b --log-y --range 1 2 0 1");
    EXPECT_EQ(log_y.status, 2);
    EXPECT_EQ(log_y.out, "varnel-cli: --log-x and --log-y need the range of their axis above zero");
    EXPECT_EQ(run("sql --table t --x a --y b --log-x --log-y --range 1e-300 2 5e-324 1").status, 0);
}

// sql's options each reach the query it prints, or are refused in words
// that name them.
TEST(VarnelCli, SqlTakesEachOptionIntoItsQuery)
{
    const char* table = "sql --table s.t --x a --y b";
    const struct {
        std::string more;
        int status;
        const char* present; // on standard output, or the first line of standard error
        const char* absent;  // "" for nothing
    } cases[] = {
        {"--dialect standard", 0, "CAST('0' AS DOUBLE PRECISION)", "Float64"},
        {"--dialect clickhouse", 0, "CAST('0' AS Float64)", "DOUBLE PRECISION"},
        {"--binning classic", 0, "CAST('40' AS DOUBLE PRECISION)", ""},
        {"", 0, "CAST('4000' AS", "CAST('40' AS"}, // bilinear, counts, no logarithm
        {"--weight w", 0, "\"w\"", "\"v\""},
        {"--mean v", 0, "\"v\"", "\"w\""},
        {"--log-x --range 1 10 0 1", 0, "LOG10", ""},
        {"--log-y --range 0 1 1 10 --dialect clickhouse", 0, "log10", "LOG10"},
        {"--dialect mysql", 2, "varnel-cli: --dialect mysql: the dialect is standard or clickhouse", ""},
        {"--binning nearest", 2, "varnel-cli: --binning nearest: the binning rule is bilinear or classic", ""},
        {"--x \"$(printf 'a\\tb')\"", 2,
         "varnel-cli: a name is empty, longer than 255 bytes, or holds a control character", ""},
    };
    for (const auto& c : cases) {
        const std::string args = std::string(table) + " " + c.more;
        const CliRun r = c.status == 0 ? run(args) : first_error_line(args);
        EXPECT_EQ(r.status, c.status) << args;
        EXPECT_NE(r.out.find(c.present), std::string::npos) << args << "\n" << r.out.substr(0, 400);
        if (*c.absent) {
            EXPECT_EQ(r.out.find(c.absent), std::string::npos) << args;
        }
    }
    const CliRun missing = first_error_line("sql --table t --x a");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "varnel-cli: --table, --x and --y are all needed");
}

// Ctrl-C at the database password's prompt, on a terminal of the test's
// own: the program ends by the signal, and the terminal echoes again. A
// program started with Ctrl-C ignored (a job in the background) keeps
// ignoring it, and still ends by the signal that stops it.
TEST(VarnelCli, InterruptedPasswordPromptGivesTheEchoBack)
{
    for (const bool started_ignoring : {false, true}) {
        SCOPED_TRACE(started_ignoring ? "Ctrl-C ignored from the start" : "Ctrl-C");
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        const std::string terminal = ptsname(master);
        const pid_t pid = fork();
        if (pid == 0) {
            setsid(); // the terminal opened next becomes the controlling one
            const int tty = open(terminal.c_str(), O_RDWR);
            dup2(tty, 0);
            dup2(tty, 1);
            dup2(tty, 2);
            unsetenv("CLICKHOUSE_PASSWORD");
            if (started_ignoring)
                signal(SIGINT, SIG_IGN);
            execl(VARNEL_CLI, VARNEL_CLI, "grid", "clickhouse://ana@127.0.0.1:1/d.t?x=a&y=b",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string seen;
        pollfd waiting{master, POLLIN, 0};
        while (seen.find("Password for ana") == std::string::npos && poll(&waiting, 1, 10000) == 1) {
            char bytes[256];
            const ssize_t n = read(master, bytes, sizeof bytes);
            if (n <= 0)
                break;
            seen.append(bytes, std::size_t(n));
        }
        EXPECT_NE(seen.find("Password for ana at 127.0.0.1:1: "), std::string::npos) << seen;
        const int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
        termios modes{};
        tcgetattr(slave, &modes);
        EXPECT_FALSE(modes.c_lflag & ECHO) << "the password would be shown";
        kill(pid, SIGINT);
        int status = 0;
        if (started_ignoring) {
            usleep(300000);
            EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "an ignored Ctrl-C ended the prompt";
            kill(pid, SIGTERM);
        }
        waitpid(pid, &status, 0);
        const int stopped_by = started_ignoring ? SIGTERM : SIGINT;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == stopped_by) << status;
        tcgetattr(slave, &modes);
        EXPECT_TRUE(modes.c_lflag & ECHO) << "the terminal was left without echo";
        close(slave);
        close(master);
    }
}

} // namespace
