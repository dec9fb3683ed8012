// What a load reads and how (a LoadRequest), and what came of it (a
// LoadedField): the words the loader and its steps share.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "field/binning_rules.h"
#include "field/sources/cell_sums_file.h"
#include "field/sources/data_file.h"
#include "field/sources/file_header.h"
#include "field/density_field.h"
#include "field/kept_points.h"
#include "field/plot_range.h"
#include "field/sources/point_reader.h"
#include "field/range.h"

struct FieldDestroyer {
    void operator()(DensityField* field) const { field->ops.destroy(field); }
};
using FieldPtr = std::unique_ptr<DensityField, FieldDestroyer>;

// Which columns hold x and y: by number, by the header's names, or, when
// neither was asked for, the first two numeric columns of a header that
// are no index column (and 1 and 2 without a header).
struct ColumnRequest {
    Columns numbers;    // used where no name is given
    std::string x_name; // the header's name of x's column; empty: by number
    std::string y_name;
    bool chosen = false; // numbers or names were given, not left to the header
    // The columns of each point's weight and of the value averaged at the
    // nodes, by the header's names; empty: by number (numbers.weight and
    // numbers.value, 0 for none).
    std::string weight_name, value_name;
};

struct LoadRequest {
    std::string path;      // a data file: plain, .gz or .zst; points, or the sums of a field's cells
    ColumnRequest columns; // where x and y stand in a line
    int skip_lines = 0;
    Range range;
    bool fit_range = false; // first fit the range to the points (a file without any keeps `range`)
    BinningRule binning = BinningRule::bilinear;
    // The rule was asked for, not left to its default: a table of cell sums
    // made by the other rule is then refused; otherwise the table's rule is
    // followed, since its sums spread by another rule give another field.
    bool binning_chosen = false;
    unsigned threads = 0;   // that read the text; 0: one per core
    bool keep_sums = false; // also hand back the sums of the cells (LoadedField::sums)
    std::string password;   // for a database's address; held in memory only, never shown
    bool log_x = false;     // bin the logarithm of x: the range stays in data units
    bool log_y = false;
    // Where a file's points are kept between loads (the viewer's, for its
    // zooms): a load of the same file, unchanged on disk and read the same
    // way, bins them instead of reading it again; other loads keep theirs
    // there, within kept_points_budget(). Null: nothing is kept.
    KeptPoints* kept = nullptr;
    // Asked, after the one look at a text file, when its header has more
    // than two columns and none were asked for: the columns to read, given
    // the reader's own pick in *columns to start from. False stops the load
    // (counts.stopped), as a stopped read does. Empty: the pick is taken.
    std::function<bool(const FileHeader& header, Columns* columns)> choose_columns;
};

// How a load shows its progress: the meter the data file keeps up to date
// (from 0 again for each pass over the file), and the watch the reader asks
// between megabytes, which may stop the load.
struct LoadWatch {
    DataFileMeter* meter = nullptr;
    ReadWatch watch;
};

enum class LoadFailure {
    none,
    cannot_open, // the file could not be opened
    cannot_read, // a read failed part way: a field of part of the data would mislead
    no_memory,   // the field could not be made
    no_column,   // a column asked for by name is not in the header
    changed,     // the file shrank while it was read (a log rotated, a download restarted)
    read_once,   // the range was to be fitted, but the file can be read only once (a pipe)
    bad_sums,    // a table of cell sums holds what no query gives, or not the measure or axes asked (problem says what)
    bad_array,   // a .npy file's header is refused, or names no such column (problem says why)
    database,    // a database's address is wrong, or its server failed (problem names it and why)
    other_rule,  // a table of cell sums was made by another binning rule than the one asked for
    log_range,   // a logarithmic axis's range reaches zero or below
};

// What a column asked for is read as.
enum class ColumnRole { x, y, weight, value };

// The columns a load read, and the header's names for them.
struct ColumnsRead {
    Columns columns;
    std::string x_name, y_name; // empty where the file has no header
    std::string weight_name;    // the header's names of the weight's and the value's columns
    std::string value_name;
    bool picked = false;                     // picked among more than two, none having been asked for
    std::vector<std::string> header;         // every name of the header; empty without one
    std::string missing;                     // with no_column: the name not found
    ColumnRole missing_role = ColumnRole::x; // and what it was asked for as
};

struct LoadedField {
    LoadFailure failure = LoadFailure::none;
    int error = 0;       // errno of an open or read that failed
    Range range;         // the range loaded: the fitted one after a fit
    bool fitted = false; // the range was fitted to the points
    FieldPtr field;      // null on failure, and when a fit was stopped
    int loaded = 0;      // 1 when the field holds a normalised grid
    double max = 0;      // the largest node before normalisation (largest magnitude, greatest mean)
    double least = 0;    // the least mean, for means
    NodeMeasure measure = NodeMeasure::count;
    bool weighted = false; // the nodes hold weights, or means weighted by them
    FieldCounts counts;    // what the load (or a stopped fit) read
    ColumnsRead columns;
    bool from_sums = false;                      // the data were the sums of the cells, not points
    BinningRule binning = BinningRule::bilinear; // the rule the field was made by
    std::unique_ptr<CellSumsTable> sums;         // with keep_sums: the sums of the cells loaded
    std::string problem; // with bad_sums, bad_array and database, and a damaged compressed file: what went wrong

    bool ok() const { return failure == LoadFailure::none; }
};
