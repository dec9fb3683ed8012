// A data file's header line and what its first rows hold under each name,
// so that columns can be chosen by name, and an index column (row names as
// R writes them, a pandas index) told from data.
#pragma once

#include <string>
#include <vector>

#include "field/sources/text_dialect.h"

struct HeaderColumn {
    std::string name;       // quotes removed
    bool numeric = false;   // the first rows hold numbers here (NA and empty fields aside)
    bool row_index = false; // no name, and the first rows count 0, 1, 2 … or 1, 2, 3 …
};

struct FileHeader {
    // The first line (after the skipped ones) holds text that is no number.
    bool present = false;
    std::vector<HeaderColumn> columns;
    TextDialect dialect;          // how its lines split, found from the first ones
    bool byte_order_mark = false; // the file begins with UTF-8's
};

// The header of a data file after `skip_lines` lines, and its first rows,
// from the file's first bytes, already read (decompressed): `whole` when
// they are all the file holds, else a line they end inside is not looked
// at. Columns are split as the reader splits them. False only when no
// stream can be made over them.
bool header_of_text(std::string head, bool whole, int skip_lines, FileHeader* header);

// The first two numeric columns that are no index column, from 1; 1 and 2
// when there are not two.
struct Columns;
Columns columns_to_plot(const FileHeader& header);
