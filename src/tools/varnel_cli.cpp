// varnel-cli: the program's pieces on the command line, one subcommand each.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

const Command commands[] = {
    {"grid", grid_command, "grid DATA [--range XMIN XMAX YMIN YMAX] [--skip N] [--columns X Y] [-o OUT]"},
    {"decode", decode_command, "decode IMAGE [--pixels OUT] [--palette OUT]"},
    {"texture", texture_command, "texture IMAGE [--dump DIR]"},
    {"settings", settings_command, "settings [--reset]"},
    {"render", render_command,
     "render DATA -o OUT.png [--range XMIN XMAX YMIN YMAX] [--camera RADIUS AZIMUTH ELEVATION]\n"
     "                       [--size WIDTHxHEIGHT] [--texture IMAGE] [--marker X Y] [--frames N] [--time]\n"
     "                       [--columns X Y]"},
};

int usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const Command& c : commands)
        std::fprintf(stderr, "  varnel-cli %s\n", c.usage);
    return 2;
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

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    for (const Command& c : commands)
        if (std::strcmp(argv[1], c.name) == 0)
            return finished(c.run(argc - 2, argv + 2));
    std::fprintf(stderr, "varnel-cli: unknown command '%s'\n", argv[1]);
    return usage();
}
