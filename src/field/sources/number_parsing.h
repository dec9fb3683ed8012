// Numbers and columns of one piece of a data file (a line, or a part of a
// longer one) as sscanf "%lf %lf" in the "C" numeric locale takes them,
// whatever the process locale is; besides, a comma or semicolon may
// separate the numbers. Inline where the line loop needs them to be.
#pragma once

#include <cmath>
#include <cstddef>

#include <fast_float/fast_float.h>

#include "field/sources/point_reading.h"
#include "field/sources/usual_lines.h"

namespace text_numbers {

// scanf's white space in the "C" locale but for the line feed, which always
// ends a piece.
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

using usual_lines::is_separator;

inline bool is_hex_digit(char c) { return is_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c; }

// The hexadecimal form, which fast_float does not read: collect the
// characters scanf would take, then let strtod (in the "C" locale) convert
// them. p points at the "0x" after any sign.
bool scan_hex(const char*& p, const char* end, const char* number_start, double& value);

inline bool has_exponent(const char* begin, const char* end)
{
    for (; begin != end; ++begin)
        if (lower(*begin) == 'e')
            return true;
    return false;
}

// Matches the letters of `word` case-insensitively at p.
inline bool match_word(const char*& p, const char* end, const char* word)
{
    for (; *word; ++word, ++p)
        if (p == end || lower(*p) != *word)
            return false;
    return true;
}

// One conversion of scanf's %lf at p (white space already skipped). On
// success p moves past every character scanf consumes, which can be more
// than the number itself: "1e+" is consumed whole and read as 1.
// `quick_tried` says the quick scans have already failed on this line, so
// that neither is tried again: the general parser then takes the number.
[[gnu::always_inline]] inline bool scan_double(const char*& p, const char* end, double& value, bool quick_tried = false)
{
    // The usual number, well before the piece's end, first.
    if (!quick_tried && end - p >= usual_lines::kReadableBytes) {
        using usual_lines::PlainScan;
        const bool negative = *p == '-';
        int i = negative || *p == '+';
        double magnitude;
        if (usual_lines::scan_decimal<PlainScan, true>(p, PlainScan::classify(p), i, magnitude)) {
            value = negative ? -magnitude : magnitude;
            p += i;
            return true;
        }
    }
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

// The white space after a column, and one comma or semicolon in it.
inline void skip_separation(const char*& p, const char* end)
{
    while (p != end && is_blank(*p))
        ++p;
    if (p != end && is_separator(*p)) {
        ++p;
        while (p != end && is_blank(*p))
            ++p;
    }
}

// Spaces, but not a tab: in a tab-separated file a tab ends a column.
inline void skip_spaces(const char*& p, const char* end)
{
    while (p != end && is_blank(*p) && *p != '\t')
        ++p;
}

// The gap between two chosen columns: spaces around at most one comma,
// semicolon or tab, so that two tabs in a row hold an empty column, as
// spreadsheets and pandas write them.
inline void skip_column_gap(const char*& p, const char* end)
{
    skip_spaces(p, end);
    if (p != end && (is_separator(*p) || *p == '\t')) {
        ++p;
        skip_spaces(p, end);
    }
}

// A column that is not wanted: any text up to the next separation. A field
// in double quotes is one column whatever it holds (a place named
// "Washington, D.C." or "Abasan al-Jadidah"), "" standing for a quote in
// it, as spreadsheets, R and pandas write them; an unclosed quote ends
// with the line.
inline void skip_field(const char*& p, const char* end)
{
    if (p != end && *p == '"') {
        for (++p; p != end && *p != '\n'; ++p) {
            if (*p != '"')
                continue;
            if (p + 1 == end || p[1] != '"') {
                ++p;
                break;
            }
            ++p; // a doubled quote stands for one
        }
    }
    while (p != end && !is_blank(*p) && !is_separator(*p) && *p != '\n')
        ++p;
}

// Two numbers from one piece, as sscanf "%lf %lf", but that one comma or
// semicolon may stand between them. Parsing stops at the first line feed,
// which is where the piece ends anyway.
// On success `stop` is where the second number ended.
[[gnu::always_inline]] inline bool parse_pair(const char* p, const char* end, double& x, double& y, const char*& stop,
                                              bool quick_tried = false)
{
    while (p != end && is_blank(*p))
        ++p;
    if (!scan_double(p, end, x, quick_tried))
        return false;
    skip_separation(p, end);
    if (!scan_double(p, end, y, quick_tried))
        return false;
    stop = p;
    return true;
}

// x and y from the chosen columns of one piece; a column that is not
// wanted is any text up to the next separation.
bool parse_columns(const char* p, const char* end, Columns columns, double& x, double& y, const char*& stop);

// x and y from the chosen fields of one piece, split at columns.separator
// alone: a field is trimmed of spaces and may be quoted, and must hold one
// number and nothing else, its comma the decimal mark with decimal_comma.
bool parse_fields(const char* p, const char* end, Columns columns, double& x, double& y, const char*& stop);

// The numbers of the `count` columns `wanted` (from 1; one may be asked
// twice) into `values`, in that order, by the rules of parse_columns or,
// with a separator, of parse_fields.
bool parse_column_values(const char* p, const char* end, const int* wanted, int count, double* values,
                         const char*& stop);
bool parse_field_values(const char* p, const char* end, Columns columns, const int* wanted, int count, double* values,
                        const char*& stop);

// One field's text as a number under the separator's rules: trimmed,
// unquoted, its comma a decimal mark with decimal_comma; false unless the
// whole field is one number.
bool field_number(const char* begin, const char* end, bool decimal_comma, double& value);

// Text that is no point but no mistake either: nothing, or a comment.
bool is_blank_or_comment(const char* p, const char* end);

} // namespace text_numbers
