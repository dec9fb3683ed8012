#include "field/printable_text.h"

#include <cstdint>

namespace {

// The length of the well-formed UTF-8 sequence at the start of `rest`, or
// 0: overlong forms, surrogates and code points past U+10FFFF are not one.
std::size_t sequence_length(std::string_view rest)
{
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(rest[k]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || rest.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF)
            return 0;
    // U+0080 to U+009F: a terminal may take them as ESC's 8-bit forms.
    if (lead == 0xC2 && byte(1) <= 0x9F)
        return 0;
    return length;
}

} // namespace

std::string printable_text(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string printable;
    printable.reserve(text.size());
    for (std::size_t k = 0; k < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[k]);
        if (c >= 0x20 && c < 0x7F) {
            printable += char(c);
            ++k;
            continue;
        }
        if (const std::size_t length = c >= 0x80 ? sequence_length(text.substr(k)) : 0) {
            printable.append(text.substr(k, length));
            k += length;
            continue;
        }
        printable += "\\x";
        printable += digits[c >> 4];
        printable += digits[c & 0xF];
        ++k;
    }
    return printable;
}
