// varnel-cli: the program's pieces on the command line, one subcommand each.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "tools/commands.h"

namespace {

struct Command {
    std::string_view name;
    int (*run)(int argc, char** argv);
    const char* usage;     // "usage: varnel-cli NAME ...", whole lines
    std::string (*help)(); // the usage, then the options from the command's table
    const char* summary;   // one line for the list of commands
};

const Command commands[] = {
    {"grid", grid_command, kGridUsage, grid_help, "bin a data file into the normalised 201 x 201 grid and print it"},
    {"decode", decode_command, kDecodeUsage, decode_help, "decode an image file as the texture loader does"},
    {"texture", texture_command, kTextureUsage, texture_help, "load an image file into a texture as the viewer does"},
    {"settings", settings_command, kSettingsUsage, settings_help,
     "print the viewer's settings, or put the defaults back"},
    {"render", render_command, kRenderUsage, render_help,
     "draw the viewer's picture of a data file into a PNG, JPEG, BMP or PPM file"},
    {"sql", sql_command, kSqlUsage, sql_help, "print the query that sums a table's points per grid cell in a database"},
};

// The program's own words, where a command's name would be; "--help" and
// "-h" also after a command's name, alone.
enum class OwnWord { none, help, version };
const struct {
    std::string_view word;
    OwnWord meaning;
    bool after_command;
} own_words[] = {
    {"--help", OwnWord::help, true},
    {"-h", OwnWord::help, true},
    {"help", OwnWord::help, false},
    {"--version", OwnWord::version, false},
};

OwnWord own_word(std::string_view word, bool after_command)
{
    for (const auto& w : own_words)
        if (w.word == word && (w.after_command || !after_command))
            return w.meaning;
    return OwnWord::none;
}

void list_commands(std::FILE* out)
{
    // A blank line after each command's usage: help2man makes a paragraph
    // of each, where it ran them all into one.
    std::fprintf(out, "usage:\n");
    for (const Command& c : commands)
        std::fprintf(out, "  %s\n", c.usage + std::strlen("usage: "));
}

int usage()
{
    list_commands(stderr);
    return 2;
}

int help()
{
    std::printf("varnel-cli: the viewer's pieces on the command line.\n\ncommands:\n");
    for (const Command& c : commands)
        std::printf("  %-9.*s %s\n", int(c.name.size()), c.name.data(), c.summary);
    std::printf("\n");
    list_commands(stdout);
    std::printf("\n'varnel-cli COMMAND --help' prints one command's usage.\n");
    return 0;
}

// What a command printed must have reached standard output: a full disk
// or a closed pipe there is a failure, whatever the command itself did.
int finished(int status)
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "varnel-cli: cannot write standard output: %s\n", std::strerror(errno ? errno : EIO));
        return status ? status : 1;
    }
    return status;
}

// A command that runs out of memory, or meets any other failure it did not
// foresee, fails as a command does: a message and the status 1, never an
// abort that looks like a crash to a script.
int run_command(const Command& c, int argc, char** argv)
{
    try {
        return c.run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "varnel-cli: %.*s: out of memory\n", int(c.name.size()), c.name.data());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnel-cli: %.*s: %s\n", int(c.name.size()), c.name.data(), e.what());
    }
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    switch (own_word(argv[1], false)) {
    case OwnWord::help:
        return finished(help());
    case OwnWord::version:
        std::printf("varnel-cli %s\n", VARNEL_VERSION);
        return finished(0);
    case OwnWord::none:
        break;
    }
    for (const Command& c : commands) {
        if (c.name != argv[1])
            continue;
        if (argc == 3 && own_word(argv[2], true) == OwnWord::help) {
            std::fputs(c.help().c_str(), stdout);
            return finished(0);
        }
        return finished(run_command(c, argc - 2, argv + 2));
    }
    std::fprintf(stderr, "varnel-cli: unknown command '%s'\n", argv[1]);
    return usage();
}
