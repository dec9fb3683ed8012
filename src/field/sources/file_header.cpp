#include "field/sources/file_header.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "field/sources/data_file.h"
#include "field/sources/number_parsing.h"
#include "field/sources/point_reader.h"

namespace {

// Rows looked at below the header: enough to see through a few NA rows.
constexpr int kRowsLooked = 20;
// A header line longer than this is no header a person wrote.
constexpr std::size_t kLongestLine = std::size_t(1) << 20;

// One line without its line feed; false at the end of the file, or past
// the longest line (the rest of it is left unread).
bool read_line(std::FILE* file, std::string* line)
{
    line->clear();
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c == '\n')
            return true;
        if (line->size() >= kLongestLine)
            return false;
        line->push_back(static_cast<char>(c));
    }
    return !line->empty();
}

std::string unquoted(std::string field)
{
    if (field.size() >= 2 && (field.front() == '"' || field.front() == '\'') && field.back() == field.front())
        return field.substr(1, field.size() - 2);
    return field;
}

bool is_comment_or_blank(const std::string& line)
{
    return text_numbers::is_blank_or_comment(line.data(), line.data() + line.size());
}

// The whole field is one number as the reader takes it under the dialect.
bool is_number(const std::string& field, const TextDialect& dialect)
{
    const char* p = field.data();
    const char* end = p + field.size();
    double value;
    if (dialect.separator != 0)
        return text_numbers::field_number(p, end, dialect.decimal_comma, value);
    return p != end && text_numbers::scan_double(p, end, value) && p == end;
}

// A column of row numbers: pandas' index (no name, or "Unnamed: 0" where
// it was read and written again) and R's row names.
bool names_an_index(const std::string& name) { return name.empty() || name.rfind("Unnamed: ", 0) == 0; }

// What stands for a missing value in the files people export.
bool is_missing(const std::string& field)
{
    return field.empty() || field == "NA" || field == "\"NA\"" || field == "N/A" || field == "null";
}

bool counts_rows(const std::vector<std::vector<std::string>>& rows, std::size_t column)
{
    long first = -1;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (column >= rows[k].size())
            return false;
        const std::string value = unquoted(rows[k][column]);
        char* end = nullptr;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0')
            return false;
        if (k == 0)
            first = n;
        if ((first != 0 && first != 1) || n != first + long(k))
            return false;
    }
    return !rows.empty();
}

// The header and first rows from a stream at the file's start.
bool header_from(std::FILE* file, int skip_lines, FileHeader* header)
{
    std::string line;
    for (int k = 0; k < skip_lines; ++k)
        if (!read_line(file, &line))
            return !std::ferror(file);
    // Blank lines and comments before the header are no header, as for the
    // reader; nor is the byte-order mark some programs write first.
    bool first = skip_lines == 0;
    do {
        if (!read_line(file, &line))
            return !std::ferror(file);
        if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            line.erase(0, 3);
            header->byte_order_mark = true;
        }
        first = false;
    } while (is_comment_or_blank(line));
    std::vector<std::string> row_lines;
    for (std::string row; int(row_lines.size()) < kRowsLooked && read_line(file, &row);)
        if (!is_comment_or_blank(row))
            row_lines.push_back(row);
    if (std::ferror(file))
        return false;
    const TextDialect& dialect = header->dialect = find_text_dialect(line, row_lines);
    const std::vector<std::string> names = split_fields(line, dialect);
    for (const std::string& name : names)
        header->present = header->present || !is_number(name, dialect);
    if (!header->present)
        return true;
    std::vector<std::vector<std::string>> rows;
    for (const std::string& row : row_lines)
        rows.push_back(split_fields(row, dialect));
    for (std::size_t c = 0; c < names.size(); ++c) {
        HeaderColumn column;
        column.name = unquoted(names[c]);
        bool numbers = false, text = false;
        for (const auto& row : rows) {
            if (c >= row.size() || is_missing(row[c]))
                continue;
            (is_number(row[c], dialect) ? numbers : text) = true;
        }
        column.numeric = numbers && !text;
        column.row_index = names_an_index(column.name) && counts_rows(rows, c);
        header->columns.push_back(column);
    }
    return true;
}

} // namespace

Columns columns_to_plot(const FileHeader& header)
{
    int found[2] = {0, 0}, count = 0;
    for (std::size_t k = 0; k < header.columns.size() && count < 2; ++k)
        if (header.columns[k].numeric && !header.columns[k].row_index)
            found[count++] = int(k) + 1;
    return count == 2 ? Columns{found[0], found[1]} : Columns{};
}

bool header_of_text(std::string head, bool whole, int skip_lines, FileHeader* header)
{
    *header = FileHeader{};
    // A line cut at the end of what was read is no line of the file.
    if (!whole)
        head.resize(head.rfind('\n') == std::string::npos ? 0 : head.rfind('\n') + 1);
    File file(head.empty() ? nullptr : fmemopen(head.data(), head.size(), "r"));
    return head.empty() || (file && header_from(file.get(), skip_lines, header));
}
