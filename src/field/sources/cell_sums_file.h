// A field binned once, kept as the sums of its cells: a table of text with
// a header line naming its columns (gx, gy, n, sfx, sfy, sfxfy and the
// range, x_min, x_max, y_min, y_max, on every row, so the table says its own
// range), as a query over the points writes it in any database and as
// `grid --sums` writes it. A row with gx = gy = -1 holds in n the points
// outside the range, one with -2 those with a NaN coordinate (or weight, or
// value), one with -3 those with no logarithm on a logarithmic axis. A
// table of weights has four more columns, sw, swfx, swfy and swfxfy, the
// sums of each point's weight alone and times its fractions; a table of
// means four more, swz, swzfx, swzfy and swzfxfy, the same of the weight
// times the value averaged (the weight 1 where there is none). Lines that
// start with '#' may come before the header: "# binning: RULE" says by
// which rule the sums were made, since the two rules give different sums
// for the same points; "# weight: NAME" and "# mean: NAME" name the
// columns summed; "# log: x", "# log: y" or "# log: x y" the axes whose
// logarithms were binned (a table that says its rule says its axes).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "field/binning_rules.h"
#include "field/grid_size.h"
#include "field/range.h"

inline constexpr int kSumCells = kGridCells; // cells a side
// Past this a count of points no longer holds whole in a double sum, and a
// table's counts added up could pass what a long long holds.
inline constexpr long long kMostSumPoints = 9007199254740992; // 2^53

struct CellSumsTable {
    Range range;                 // as the rows give it; the caller's where there is no row
    bool has_range = false;      // some row gave it
    std::vector<CellSums> cells; // kSumCells x kSumCells, row-major by gy, then gx
    long long rejected = 0;
    long long not_a_number = 0;
    bool has_binning = false; // the table says by which rule it was made
    BinningRule binning = BinningRule::bilinear;
    bool weighted = false;               // the cells hold their sums of weights (CellValueSums::w)
    bool means = false;                  // ... or of weights times values (CellValueSums::wz)
    std::vector<CellValueSums> values;   // with either, as many as cells; else empty
    std::string weight_name, value_name; // the columns summed, as the table names them
    bool log_x = false, log_y = false;   // the logarithms of x, of y were binned
    long long nonpositive = 0;           // points with no logarithm on such an axis

    CellSumsTable() : cells(kSumCells * kSumCells) {}
};

// The names of the columns, in the order `grid --sums` writes them: a
// table's ten, the range's four last, and between them, in a table of
// weights or of means, the four of each.
inline constexpr const char* kSumColumns[] = {"gx",    "gy",    "n",     "sfx",   "sfy",
                                              "sfxfy", "x_min", "x_max", "y_min", "y_max"};
inline constexpr const char* kWeightSumColumns[] = {"sw", "swfx", "swfy", "swfxfy"};
inline constexpr const char* kValueSumColumns[] = {"swz", "swzfx", "swzfy", "swzfxfy"};

// Whether a header's names (quotes removed) are those of a sums table, in
// any order and letter case: the ten, and the weights' four or the means'
// four, each all or none.
bool is_cell_sums_header(const std::vector<std::string>& names);

// Reads a sums table from text fed in pieces of any size: lines end in
// "\n" (a "\r" before it is dropped), fields are split by a comma, a tab or
// a semicolon, the first line after a byte-order mark and '#' comments is
// the header. Every value is checked: cells inside the grid, counts whole
// (at least 1 in a cell) and adding up to no more than kMostSumPoints, sums
// within what n points can give, the same finite range on every row; the
// sums of weights and values finite (weights may be of either sign) and
// none in the rows of counts. A weight or mean line names columns the
// header has.
class CellSumsParser {
public:
    // False with the reason in problem() once the text is refused.
    bool feed(std::string_view bytes);
    // The end of the text: false when it ends inside a line that is bad,
    // or holds no header.
    bool finish();
    const std::string& problem() const { return problem_; }
    CellSumsTable& table() { return table_; }

private:
    bool line(std::string_view text);
    bool comment(std::string_view text);
    bool note(int kind, std::string_view value);
    bool header(const std::vector<std::string_view>& fields);
    bool row(const std::vector<std::string_view>& fields);
    bool fail(std::string reason);

    static constexpr int kColumns = 18; // kSumColumns, then kWeightSumColumns and kValueSumColumns
    CellSumsTable table_;
    std::string pending_; // the start of a line not yet ended
    long long line_number_ = 0;
    int column_of_[kColumns] = {}; // where each column stands in a row; -1 where it is not
    std::size_t columns_ = 0;
    bool header_ = false;
    bool noted_[4] = {};   // the binning, weight, mean and log lines seen
    long long points_ = 0; // every row's n so far
    std::string problem_;
};

// Reads a whole stream; false with the reason in *problem, or with errno
// set and an empty *problem when reading failed.
bool read_cell_sums(std::FILE* stream, CellSumsTable* table, std::string* problem);

// Writes the table with its header (after the binning line where the table
// knows its rule, and the weight, mean and log lines where it has them),
// the cells that hold points in order, then the counts' rows, every number
// exact (%.17g). A table of counts alone on linear axes is written as such
// tables always were. False when a write failed.
bool write_cell_sums(std::FILE* stream, const CellSumsTable& table);
