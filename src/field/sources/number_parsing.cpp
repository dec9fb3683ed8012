#include "field/sources/number_parsing.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace text_numbers {

namespace {

locale_t c_locale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

} // namespace

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
    const std::string text(number_start, q);
    char* parsed_end = nullptr;
    value = strtod_l(text.c_str(), &parsed_end, c_locale());
    if (parsed_end == text.c_str())
        return false;
    p = q;
    return true;
}

// x and y from the chosen columns of one piece; a column that is not
// wanted is any text up to the next separation.
bool parse_columns(const char* p, const char* end, Columns columns, double& x, double& y, const char*& stop)
{
    const int last = std::max(columns.x, columns.y);
    bool got_x = false, got_y = false;
    skip_spaces(p, end);
    for (int column = 1; column <= last; ++column) {
        if (column > 1)
            skip_column_gap(p, end);
        if (p == end || *p == '\n')
            return false;
        if (column == columns.x || column == columns.y) {
            double value;
            if (!scan_double(p, end, value))
                return false;
            // A number must end its column, but for the last one read, which
            // may trail text as sscanf's second number may.
            if (column < last && p != end && !is_blank(*p) && !is_separator(*p) && *p != '\n')
                return false;
            if (column == columns.x) {
                x = value;
                got_x = true;
            }
            if (column == columns.y) {
                y = value;
                got_y = true;
            }
        } else {
            skip_field(p, end);
        }
    }
    stop = p;
    return got_x && got_y;
}

bool field_number(const char* begin, const char* end, bool decimal_comma, double& value)
{
    while (begin != end && is_blank(*begin))
        ++begin;
    while (end != begin && is_blank(end[-1]))
        --end;
    if (end - begin >= 2 && *begin == '"' && end[-1] == '"') {
        ++begin;
        --end;
        while (begin != end && *begin == ' ')
            ++begin;
        while (end != begin && end[-1] == ' ')
            --end;
    }
    if (begin == end)
        return false;
    // A decimal comma read as the point it stands for; a number is short.
    char copy[64];
    if (decimal_comma && std::memchr(begin, ',', std::size_t(end - begin))) {
        if (end - begin > std::ptrdiff_t(sizeof copy))
            return false;
        for (std::size_t k = 0; k < std::size_t(end - begin); ++k)
            copy[k] = begin[k] == ',' ? '.' : begin[k];
        end = copy + (end - begin);
        begin = copy;
    }
    const char* p = begin;
    return scan_double(p, end, value) && p == end;
}

bool parse_fields(const char* p, const char* end, Columns columns, double& x, double& y, const char*& stop)
{
    const int last = std::max(columns.x, columns.y);
    const char separator = columns.separator;
    for (int column = 1; column <= last; ++column) {
        // The field's end: the separator or the line's, outside quotes.
        const char* start = p;
        bool quoted = false;
        for (; p != end && *p != '\n' && (quoted || *p != separator); ++p)
            if (*p == '"')
                quoted = !quoted;
        if (column == columns.x || column == columns.y) {
            double value;
            if (!field_number(start, p, columns.decimal_comma, value))
                return false;
            (column == columns.x ? x : y) = value;
            if (column == columns.x && column == columns.y)
                y = value;
        }
        if (column < last) {
            if (p == end || *p != separator)
                return false;
            ++p;
        }
    }
    stop = p;
    return true;
}

// Text that is no point but no mistake either: nothing, or a comment.
bool is_blank_or_comment(const char* p, const char* end)
{
    while (p != end && is_blank(*p))
        ++p;
    return p == end || *p == '\n' || *p == '#';
}

} // namespace text_numbers
