// The viewer program: varnel [DATA [TEXTURE]].
#include <cstdio>
#include <cstring>

#include "platform/win32/windows.h"
#include "resources/program_resources.h"
#include "shell/main.h"

namespace {

const char kUsage[] = "usage: varnel [DATA [TEXTURE]]\n";
const char kHelp[] = "usage: varnel [DATA [TEXTURE]]\n"
                     "Shows the density surface of the points in DATA, with the image TEXTURE draped over it.\n"
                     "\n"
                     "DATA holds one point a line, x and y separated by spaces, tabs, commas or semicolons;\n"
                     "a header line and lines starting with # are skipped; .gz and .zst files are read as they are.\n"
                     "DATA may also be a NumPy array (.npy, compressed or not), a table of cell sums as\n"
                     "'varnel-cli grid --sums' writes it, or a database table's address,\n"
                     "clickhouse://[USER@]HOST[:PORT]/DATABASE.TABLE?x=COLUMN&y=COLUMN, its password from\n"
                     "CLICKHOUSE_PASSWORD (or asked for when the address names its user).\n"
                     "\n"
                     "Camera keys: H and L turn the azimuth by 5 degrees, K and J the elevation, S and X move\n"
                     "nearer and farther, F fits the whole surface in the picture. Drag with the left button\n"
                     "to turn; the wheel moves nearer or farther.\n"
                     "Right-click the picture for its menu. Settings are kept between runs.\n"
                     "\n"
                     "Options:\n"
                     "  -h, --help     print this help and exit\n"
                     "  --version      print the version and exit\n";

} // namespace

int main(int argc, char** argv)
{
    int files = 0;
    const char* named[2] = {nullptr, nullptr};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("varnel %s\n", VARNEL_VERSION);
            return 0;
        }
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "varnel: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        }
        if (files == 2) {
            std::fprintf(stderr, "varnel: one data file and one texture only, not also %s\n%s", argv[i], kUsage);
            return 2;
        }
        named[files++] = argv[i];
    }
    InitWindowSystem(argc, argv);
    SetModuleResources(kProgramResources, sizeof kProgramResources / sizeof kProgramResources[0]);
    return varnel_main(GetModuleHandleA(nullptr), named[0], named[1]);
}
