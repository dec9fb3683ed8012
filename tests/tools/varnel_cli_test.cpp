// varnel-cli's own words: help, version and unknown commands.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct CliRun {
    int status;
    std::string out;
};

CliRun run(const std::string& args)
{
    CliRun r{-1, {}};
    std::FILE* p = popen((std::string(VARNEL_CLI) + " " + args + " 2>/dev/null").c_str(), "r");
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
          Case{"--help", 0, "[--sums]\n--range defaults"}}) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        if (*c.printed)
            EXPECT_NE(r.out.find(c.printed), std::string::npos) << c.args << "\n" << r.out;
        else
            EXPECT_EQ(r.out, "") << c.args;
    }
}

} // namespace
