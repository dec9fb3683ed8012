// The query that bins points where they are stored: per cell of the grid,
// the count of its points and the sums of their fractions fx, fy and fx·fy,
// which the field then spreads over the nodes as the points themselves
// would be (see CellSums); with a weight or a value, the same sums scaled
// by each point's weight and by its weight times its value. Its result is
// a table of cell sums (cell_sums_file.h), with rows gx = gy = -1 for the
// points outside the range, -2 for those with a NaN coordinate (or weight,
// or value; a NULL is taken as NaN) and -3 for those at or below zero on
// a logarithmic axis.
#pragma once

#include <string>

#include "field/binning_rules.h"
#include "field/range.h"

enum class SqlDialect {
    standard,   // PostgreSQL, DuckDB, SQLite, Spark SQL
    clickhouse, // one level, so that a Distributed table sums on its shards
};

struct SumsQuery {
    SqlDialect dialect = SqlDialect::standard;
    std::string table; // a name, or names joined by dots (schema.table, database.table)
    std::string x, y;  // the columns of x and y
    Range range;
    BinningRule binning = BinningRule::bilinear;
    // The columns of each point's weight and of the value whose mean the
    // nodes hold; empty for none.
    std::string weight, value;
    bool log_x = false, log_y = false; // bin LOG10 of x, of y; the range stays in the data's units
};

// Whether a name may be quoted as an identifier in the dialect: not empty,
// at most 255 bytes, no control character. Any other byte is quoted.
bool sql_name_allowed(SqlDialect dialect, const std::string& name);

// The query; empty when a name is not allowed or the range is no finite
// rectangle, or reaches zero on a logarithmic axis. Every name is quoted;
// every number is a cast of its exact decimal text (%.17g), which no
// engine reads as anything but that double.
std::string cell_sums_query(const SumsQuery& query);

// The query for the bounds of the points (the placed x under the rule),
// as columns x_lo, x_hi, y_lo, y_hi, taking finite values only, and above
// zero on a logarithmic axis, and the count of such points n.
std::string bounds_query(const SumsQuery& query);
