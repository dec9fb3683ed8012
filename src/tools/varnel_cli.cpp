// varnel-cli: the program's pieces on the command line, one subcommand each.
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
    {"grid", grid_command, "grid DATA [--range XMIN XMAX YMIN YMAX] [--skip N] [-o OUT]"},
    {"decode", decode_command, "decode IMAGE [--pixels OUT] [--palette OUT]"},
    {"texture", texture_command, "texture IMAGE [--dump DIR]"},
    {"settings", settings_command, "settings [--reset]"},
    {"render", render_command,
     "render DATA -o OUT.png [--range XMIN XMAX YMIN YMAX] [--camera RADIUS AZIMUTH ELEVATION]\n"
     "                       [--size WIDTHxHEIGHT] [--texture IMAGE] [--marker X Y] [--frames N] [--time]"},
};

int usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const Command& c : commands)
        std::fprintf(stderr, "  varnel-cli %s\n", c.usage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    for (const Command& c : commands)
        if (std::strcmp(argv[1], c.name) == 0)
            return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "varnel-cli: unknown command '%s'\n", argv[1]);
    return usage();
}
