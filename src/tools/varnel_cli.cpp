// varnel-cli: the program's pieces on the command line, one subcommand each.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "tools/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;   // "usage: varnel-cli NAME ...", whole lines
    const char* summary; // one line for the list of commands
};

const Command commands[] = {
    {"grid", grid_command, kGridUsage, "bin a data file into the normalised 201 x 201 grid and print it"},
    {"decode", decode_command, kDecodeUsage, "decode an image file as the texture loader does"},
    {"texture", texture_command, kTextureUsage, "load an image file into a texture as the viewer does"},
    {"settings", settings_command, kSettingsUsage, "print the viewer's settings, or put the defaults back"},
    {"render", render_command, kRenderUsage,
     "draw the viewer's picture of a data file into a PNG, JPEG, BMP or PPM file"},
    {"sql", sql_command, kSqlUsage, "print the query that sums a table's points per grid cell in a database"},
};

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

bool asks_for_help(const char* arg)
{
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "help") == 0;
}

int help()
{
    std::printf("varnel-cli: the viewer's pieces on the command line.\n\ncommands:\n");
    for (const Command& c : commands)
        std::printf("  %-9s %s\n", c.name, c.summary);
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
        std::fprintf(stderr, "varnel-cli: %s: out of memory\n", c.name);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnel-cli: %s: %s\n", c.name, e.what());
    }
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    if (asks_for_help(argv[1]))
        return finished(help());
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("varnel-cli %s\n", VARNEL_VERSION);
        return finished(0);
    }
    for (const Command& c : commands) {
        if (std::strcmp(argv[1], c.name) != 0)
            continue;
        if (argc == 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
            std::fputs(c.usage, stdout);
            return finished(0);
        }
        return finished(run_command(c, argc - 2, argv + 2));
    }
    std::fprintf(stderr, "varnel-cli: unknown command '%s'\n", argv[1]);
    return usage();
}
