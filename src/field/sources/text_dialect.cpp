#include "field/sources/text_dialect.h"

#include <algorithm>

#include "field/sources/number_parsing.h"

namespace {

// The separators a file may use, in the order a tie is settled: a tab is
// never part of a field's text; a semicolon is a separator where the comma
// is a decimal mark.
constexpr char kSeparators[] = {'\t', ';', ','};

// How many of c stand outside double quotes in the line.
int count_outside_quotes(const std::string& line, char c)
{
    int count = 0;
    bool quoted = false;
    for (char d : line) {
        if (d == '"')
            quoted = !quoted;
        else if (d == c && !quoted)
            ++count;
    }
    return count;
}

// "1,5" or "-12,25e3": a number with a comma for its point, and no other.
bool has_decimal_comma(const std::string& field)
{
    const std::size_t comma = field.find(',');
    if (comma == std::string::npos || field.find(',', comma + 1) != std::string::npos ||
        field.find('.') != std::string::npos)
        return false;
    double value;
    return text_numbers::field_number(field.data(), field.data() + field.size(), true, value);
}

} // namespace

std::vector<std::string> split_fields(const std::string& line, const TextDialect& dialect)
{
    std::vector<std::string> fields;
    if (dialect.separator == 0) {
        // The white-space reader's columns.
        using namespace text_numbers;
        const char* p = line.data();
        const char* end = p + line.size();
        skip_spaces(p, end);
        while (p != end) {
            const char* start = p;
            skip_field(p, end);
            fields.emplace_back(start, p);
            if (p == end)
                break;
            skip_column_gap(p, end);
            if (p == end && (is_separator(end[-1]) || end[-1] == '\t'))
                fields.emplace_back(); // a trailing separator ends an empty field
        }
        return fields;
    }
    std::string field;
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        if (c == dialect.separator && !quoted) {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    for (std::string& f : fields) {
        const std::size_t first = f.find_first_not_of(" \t\r");
        f = first == std::string::npos ? std::string() : f.substr(first, f.find_last_not_of(" \t\r") - first + 1);
    }
    return fields;
}

TextDialect find_text_dialect(const std::string& first_line, const std::vector<std::string>& rows)
{
    TextDialect dialect;
    // The separator the first line holds that splits the most rows into
    // as many fields as it does; a tie goes to the first in kSeparators.
    int best_agreeing = -1;
    for (char separator : kSeparators) {
        const int count = count_outside_quotes(first_line, separator);
        if (count == 0)
            continue;
        int agreeing = 0;
        for (const std::string& row : rows)
            agreeing += count_outside_quotes(row, separator) == count;
        if (agreeing > best_agreeing) {
            best_agreeing = agreeing;
            dialect.separator = separator;
        }
    }
    // A comma is the decimal mark where the fields are split by something
    // else and a number in them is written with one.
    if (dialect.separator == ';' || dialect.separator == '\t')
        for (const std::string& row : rows)
            for (std::string field : split_fields(row, dialect)) {
                if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
                    field = field.substr(1, field.size() - 2);
                dialect.decimal_comma = dialect.decimal_comma || has_decimal_comma(field);
            }
    return dialect;
}
