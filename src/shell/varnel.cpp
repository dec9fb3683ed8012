// The viewer program: varnel [DATA [TEXTURE]].
#include <cstdio>
#include <cstring>

#include "platform/win32/windows.h"
#include "resources/program_resources.h"
#include "shell/main.h"

int main(int argc, char** argv)
{
    int files = 0;
    const char* named[2] = {nullptr, nullptr};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: varnel [DATA [TEXTURE]]\n"
                        "Shows the density surface of the point file DATA, with the image TEXTURE draped over it.\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("varnel %s\n", VARNEL_VERSION);
            return 0;
        }
        if (files == 2 || (argv[i][0] == '-' && argv[i][1] != '\0')) {
            std::fprintf(stderr, "usage: varnel [DATA [TEXTURE]]\n");
            return 2;
        }
        named[files++] = argv[i];
    }
    InitWindowSystem(argc, argv);
    SetModuleResources(kProgramResources, sizeof kProgramResources / sizeof kProgramResources[0]);
    return varnel_main(GetModuleHandleA(nullptr), named[0], named[1]);
}
