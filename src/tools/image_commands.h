// What the image subcommands (decode, texture) share: their arguments, the
// line that reports a failure and the printed names of formats.
#pragma once

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "texture/decoders/decode_reason.h"
#include "texture/format_names.h"
#include "tools/command_basics.h"

struct ValueOption {
    const char* name;   // "--pixels"
    const char** value; // receives the argument after it; the last one given wins
};

// True when the arguments are one image path and known options with their
// values; the image path goes to *image. False with what was wrong in
// *problem.
inline bool parse_image_arguments(int argc, char** argv, std::initializer_list<ValueOption> options, const char** image,
                                  std::string* problem)
{
    *image = nullptr;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        const ValueOption* option = nullptr;
        for (const ValueOption& o : options)
            if (std::strcmp(arg, o.name) == 0)
                option = &o;
        if (option) {
            if (i + 1 >= argc) {
                *problem = missing_value(arg, "a file name");
                return false;
            }
            *option->value = argv[++i];
        } else if (arg[0] == '-' && arg[1] != '\0') {
            *problem = unknown_option(arg);
            return false;
        } else if (*image) {
            *problem = std::string("one image only, not also ") + arg;
            return false;
        } else {
            *image = arg;
        }
    }
    if (!*image)
        *problem = "no image file given";
    return *image != nullptr;
}

// Prints "error 0xXXXXXXXX", then ": " and the reason when there is one,
// and gives the exit status 1. Other tools read the code at the line's start.
inline int report_failure(HRESULT hr, const DecodeReason* reason = nullptr)
{
    if (reason && reason->text[0])
        std::printf("error 0x%08X: %s\n", static_cast<unsigned>(hr), reason->text);
    else
        std::printf("error 0x%08X\n", static_cast<unsigned>(hr));
    return 1;
}

// The format's name, or its code in hexadecimal (written into `unknown`).
inline const char* printed_format_name(D3DFORMAT format, char (&unknown)[16])
{
    const char* name = format_name(format);
    if (name)
        return name;
    std::snprintf(unknown, sizeof unknown, "0x%08X", static_cast<unsigned>(format));
    return unknown;
}
