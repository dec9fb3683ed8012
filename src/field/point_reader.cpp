#include "field/point_reader.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <vector>

namespace {

// fgets with a 1024-byte buffer hands out at most this many bytes per read.
constexpr std::size_t kPieceBytes = 1023;

// scanf's white space in the "C" locale but for the line feed, which always
// ends a piece.
inline bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

inline bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

inline bool is_hex_digit(char c)
{
    return is_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

inline char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c;
}

locale_t c_locale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

bool has_exponent(const char* begin, const char* end)
{
    for (; begin != end; ++begin)
        if (lower(*begin) == 'e')
            return true;
    return false;
}

// Matches the letters of `word` case-insensitively at p.
bool match_word(const char*& p, const char* end, const char* word)
{
    for (; *word; ++word, ++p)
        if (p == end || lower(*p) != *word)
            return false;
    return true;
}

// The hexadecimal form, which fast_float does not read: collect the
// characters scanf would take, then let strtod (in the "C" locale) convert
// them. p points at the "0x" after any sign.
bool scan_hex(const char*& p, const char* end, const char* number_start, double& value)
{
    const char* q = p + 2;
    bool got_digit = false, got_dot = false, got_exp = false;
    while (q != end) {
        char c = *q;
        if (!got_exp && is_hex_digit(c)) {
            got_digit = true;
        } else if (got_exp && is_digit(c)) {
        } else if (got_exp && (c == '+' || c == '-') && lower(q[-1]) == 'p') {
        } else if (got_digit && !got_exp && lower(c) == 'p') {
            got_exp = got_dot = true;
        } else if (!got_dot && c == '.') {
            got_dot = true;
        } else {
            break;
        }
        ++q;
    }
    // Nothing after the prefix: scanf refuses "0x" alone.
    if (q == p + 2)
        return false;
    char text[kPieceBytes + 1];
    std::size_t length = static_cast<std::size_t>(q - number_start);
    std::memcpy(text, number_start, length);
    text[length] = '\0';
    char* parsed_end = nullptr;
    value = strtod_l(text, &parsed_end, c_locale());
    if (parsed_end == text)
        return false;
    p = q;
    return true;
}

// One conversion of scanf's %lf at p (white space already skipped). On
// success p moves past every character scanf consumes, which can be more
// than the number itself: "1e+" is consumed whole and read as 1.
bool scan_double(const char*& p, const char* end, double& value)
{
    const char* q = p;
    bool negative = false;
    if (q != end && (*q == '+' || *q == '-')) {
        negative = *q == '-';
        ++q;
    }
    if (q == end)
        return false;
    char c = lower(*q);
    if (c == 'n') {
        ++q;
        if (!match_word(q, end, "an"))
            return false;
        value = negative ? -NAN : NAN;
        p = q;
        return true;
    }
    if (c == 'i') {
        ++q;
        if (!match_word(q, end, "nf"))
            return false;
        // "inf" may go on to "infinity", but once it does it must get there.
        if (q != end && lower(*q) == 'i') {
            ++q;
            if (!match_word(q, end, "nity"))
                return false;
        }
        value = negative ? -HUGE_VAL : HUGE_VAL;
        p = q;
        return true;
    }
    if (c == '0' && q + 1 != end && lower(q[1]) == 'x')
        return scan_hex(q, end, p, value) ? (p = q, true) : false;
    if (!is_digit(c) && c != '.')
        return false;

    double magnitude;
    auto result = fast_float::from_chars(q, end, magnitude);
    if (result.ec != std::errc())
        return false;
    // scanf also swallows a dangling exponent mark and its sign, unless the
    // number already has an exponent.
    const char* number_end = result.ptr;
    if (number_end != end && lower(*number_end) == 'e' && !has_exponent(q, number_end)) {
        q = number_end + 1;
        if (q != end && (*q == '+' || *q == '-'))
            ++q;
    } else {
        q = number_end;
    }
    value = negative ? -magnitude : magnitude;
    p = q;
    return true;
}

// Two numbers from one piece, as sscanf "%lf %lf". Parsing stops at the
// first line feed, which is where the piece ends anyway.
bool parse_pair(const char* p, const char* end, Point& point)
{
    while (p != end && is_blank(*p))
        ++p;
    if (!scan_double(p, end, point.x))
        return false;
    while (p != end && is_blank(*p))
        ++p;
    return scan_double(p, end, point.y);
}

// End of the piece that starts at `start`: just past its line feed, or
// kPieceBytes on, or the end of the data, whichever comes first.
const char* piece_end(const char* start, const char* end)
{
    std::size_t room = std::min<std::size_t>(kPieceBytes, static_cast<std::size_t>(end - start));
    const void* newline = std::memchr(start, '\n', room);
    return newline ? static_cast<const char*>(newline) + 1 : start + room;
}

} // namespace

bool parse_point(const char* begin, const char* end, Point* point)
{
    return parse_pair(begin, end, *point);
}

void read_points(std::FILE* stream, int skip_lines, PointSink sink)
{
    constexpr std::size_t kBufferBytes = 1 << 20;
    constexpr std::size_t kBatch = 8192;
    std::vector<char> buffer(kBufferBytes);
    std::vector<Point> batch;
    batch.reserve(kBatch);

    std::size_t held = 0; // bytes of the buffer not yet taken apart
    bool at_end = false;
    long long to_skip = skip_lines;
    while (!at_end) {
        held += std::fread(buffer.data() + held, 1, buffer.size() - held, stream);
        at_end = held < buffer.size();

        const char* p = buffer.data();
        const char* end = p + held;
        // A piece is taken once its end is certain: a full piece's worth of
        // bytes is at hand, or the stream has ended.
        while (p != end && (at_end || static_cast<std::size_t>(end - p) >= kPieceBytes)) {
            const char* next = piece_end(p, end);
            Point point;
            if (to_skip > 0)
                --to_skip;
            else if (parse_pair(p, next, point)) {
                batch.push_back(point);
                if (batch.size() == kBatch) {
                    sink.take(sink.context, batch.data(), batch.size());
                    batch.clear();
                }
            }
            p = next;
        }
        held = static_cast<std::size_t>(end - p);
        std::memmove(buffer.data(), p, held);
    }
    if (!batch.empty())
        sink.take(sink.context, batch.data(), batch.size());
}
