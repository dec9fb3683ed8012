// The arguments of the image subcommands: one IMAGE and options that each
// take one value ("--pixels OUT"), in any order.
#pragma once

#include <cstring>
#include <initializer_list>

struct ValueOption {
    const char* name;   // "--pixels"
    const char** value; // receives the argument after it; the last one given wins
};

// True when the arguments are one image path and known options with their
// values; the image path goes to *image.
inline bool parse_image_arguments(int argc, char** argv, std::initializer_list<ValueOption> options,
                                  const char** image)
{
    *image = nullptr;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        const ValueOption* option = nullptr;
        for (const ValueOption& o : options)
            if (std::strcmp(arg, o.name) == 0)
                option = &o;
        if (option) {
            if (i + 1 >= argc)
                return false;
            *option->value = argv[++i];
        } else if ((arg[0] == '-' && arg[1] != '\0') || *image) {
            return false;
        } else {
            *image = arg;
        }
    }
    return *image != nullptr;
}
