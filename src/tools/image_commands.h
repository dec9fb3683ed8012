// What the image subcommands (decode, texture) share: their image argument,
// the line that reports a failure and the printed names of formats.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "texture/decoders/decode_reason.h"
#include "texture/format_names.h"
#include "tools/command_basics.h"
#include "tools/option_table.h"

// The image a command reads: one only.
inline void add_image_argument(OptionTable& table, std::optional<std::string>* image)
{
    table.others("IMAGE", "the image file", [image](const std::string& word) {
        if (*image)
            throw UsageProblem("one image only, not also " + word);
        *image = word;
    });
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
