// How a data file's lines split into columns, decided once from its first
// lines the way a person reading them would: the separator the header (or
// the first line) and the rows below agree on, whether a comma in a number
// is its decimal mark, and the byte-order mark some programs write first.
// Everything after reads the decision, never the file's first bytes again.
#pragma once

#include <string>
#include <vector>

struct TextDialect {
    char separator = 0; // 0: white space, as the reader has always split; else ',', ';' or '\t'
    bool decimal_comma = false;
};

// The dialect of a file whose first line (header or data, its byte-order
// mark removed) and next rows are given.
TextDialect find_text_dialect(const std::string& first_line, const std::vector<std::string>& rows);

// A line's fields under the dialect, as the reader splits them; quotes are
// kept, so that a quoted name can be told from a number.
std::vector<std::string> split_fields(const std::string& line, const TextDialect& dialect);
