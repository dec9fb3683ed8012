// Small readers for the text headers of PPM, PFM and HDR files, on top of the
// bounds-checked byte reader. None of them reads past the end of the block.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "texture/decoders/byte_reader.h"

inline bool is_white_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Reads decimal digits at the cursor into *value; false when there is no
// digit or the number exceeds `limit`.
inline bool read_digits(ByteReader& in, uint64_t limit, uint64_t* value)
{
    if (!is_digit(in.peek()))
        return false;
    uint64_t v = 0;
    while (is_digit(in.peek())) {
        v = v * 10 + uint64_t(in.peek() - '0');
        if (v > limit)
            return false;
        in.skip(1);
    }
    *value = v;
    return true;
}

// A line of at most `max_bytes` bytes (its line feed included) starting at
// the cursor, copied with a terminating NUL; the cursor moves past the line
// feed. False when no line feed comes within the limit.
template <size_t N>
bool read_line(ByteReader& in, size_t max_bytes, char (&line)[N])
{
    static_assert(N > 1);
    const size_t look = std::min({max_bytes, in.remaining(), N - 1});
    const uint8_t* start = in.at(in.position(), look);
    if (!start)
        return false;
    const void* feed = std::memchr(start, '\n', look);
    if (!feed)
        return false;
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(feed) - start);
    std::memcpy(line, start, length);
    line[length] = '\0';
    in.skip(length + 1);
    return true;
}

// A decimal floating-point number taking up the whole of `text` apart from
// surrounding white space. Uses strtod, so LC_NUMERIC must be "C".
inline bool parse_real(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    if (end == text)
        return false;
    while (is_white_space(static_cast<unsigned char>(*end)))
        ++end;
    return *end == '\0';
}
