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

namespace {

// Where `column` stands among the wanted ones: the first place, or -1.
int wanted_place(const int* wanted, int count, int column)
{
    for (int k = 0; k < count; ++k)
        if (wanted[k] == column)
            return k;
    return -1;
}

// Every place that wants `column` gets its value.
void hand_out(const int* wanted, int count, int column, double value, double* values)
{
    for (int k = 0; k < count; ++k)
        if (wanted[k] == column)
            values[k] = value;
}

int last_wanted(const int* wanted, int count)
{
    int last = 0;
    for (int k = 0; k < count; ++k)
        last = std::max(last, wanted[k]);
    return last;
}

} // namespace

bool parse_column_values(const char* p, const char* end, const int* wanted, int count, double* values,
                         const char*& stop)
{
    const int last = last_wanted(wanted, count);
    skip_spaces(p, end);
    for (int column = 1; column <= last; ++column) {
        if (column > 1)
            skip_column_gap(p, end);
        if (p == end || *p == '\n')
            return false;
        if (wanted_place(wanted, count, column) >= 0) {
            double value;
            if (!scan_double(p, end, value))
                return false;
            // A number must end its column, but for the last one read, which
            // may trail text as sscanf's second number may.
            if (column < last && p != end && !is_blank(*p) && !is_separator(*p) && *p != '\n')
                return false;
            hand_out(wanted, count, column, value, values);
        } else {
            skip_field(p, end);
        }
    }
    stop = p;
    return true;
}

bool parse_columns(const char* p, const char* end, Columns columns, double& x, double& y, const char*& stop)
{
    const int wanted[2] = {columns.x, columns.y};
    double values[2];
    if (!parse_column_values(p, end, wanted, 2, values, stop))
        return false;
    x = values[0];
    y = values[1];
    return true;
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
    // A decimal comma read as the point it stands for: in a copy on the
    // stack, or for a field as long as few numbers are, on the heap.
    char short_copy[64];
    std::string long_copy;
    if (decimal_comma && std::memchr(begin, ',', std::size_t(end - begin))) {
        const std::size_t size = std::size_t(end - begin);
        char* copy = short_copy;
        if (size > sizeof short_copy) {
            long_copy.resize(size);
            copy = long_copy.data();
        }
        for (std::size_t k = 0; k < size; ++k)
            copy[k] = begin[k] == ',' ? '.' : begin[k];
        begin = copy;
        end = copy + size;
    }
    const char* p = begin;
    return scan_double(p, end, value) && p == end;
}

bool parse_field_values(const char* p, const char* end, Columns columns, const int* wanted, int count, double* values,
                        const char*& stop)
{
    const int last = last_wanted(wanted, count);
    const char separator = columns.separator;
    for (int column = 1; column <= last; ++column) {
        // The field's end: the separator or the line's, outside quotes.
        const char* start = p;
        bool quoted = false;
        for (; p != end && *p != '\n' && (quoted || *p != separator); ++p)
            if (*p == '"')
                quoted = !quoted;
        if (wanted_place(wanted, count, column) >= 0) {
            double value;
            if (!field_number(start, p, columns.decimal_comma, value))
                return false;
            hand_out(wanted, count, column, value, values);
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

bool parse_fields(const char* p, const char* end, Columns columns, double& x, double& y, const char*& stop)
{
    const int wanted[2] = {columns.x, columns.y};
    double values[2];
    if (!parse_field_values(p, end, columns, wanted, 2, values, stop))
        return false;
    x = values[0];
    y = values[1];
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
