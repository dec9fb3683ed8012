#include "field/sources/sums_query.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "field/grid_size.h"
#include "field/sources/cell_sums_file.h"

namespace {

constexpr std::size_t kLongestName = 255;

std::vector<std::string> parts_of(const std::string& dotted)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t k = 0; k <= dotted.size(); ++k)
        if (k == dotted.size() || dotted[k] == '.') {
            parts.push_back(dotted.substr(start, k - start));
            start = k + 1;
        }
    return parts;
}

// The one quoting of an identifier. Standard SQL doubles its double
// quote; ClickHouse reads escapes with a backslash inside backquotes, so
// both its backquote and its backslash are escaped.
std::string quoted(SqlDialect dialect, const std::string& name)
{
    const bool clickhouse = dialect == SqlDialect::clickhouse;
    const char quote = clickhouse ? '`' : '"';
    std::string text(1, quote);
    for (char c : name) {
        if (clickhouse && (c == quote || c == '\\'))
            text += '\\';
        else if (c == quote)
            text += quote;
        text += c;
    }
    return text + quote;
}

// An exact double in the dialect: the decimal text that reads back as the
// very same double, cast, so that no engine takes it as a NUMERIC or a
// decimal of its own.
std::string number(SqlDialect dialect, double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return std::string("CAST('") + text +
        (dialect == SqlDialect::clickhouse ? "' AS Float64)" : "' AS DOUBLE PRECISION)");
}

bool finite_rectangle(const Range& r)
{
    return std::isfinite(r.x_min) && std::isfinite(r.x_max) && std::isfinite(r.y_min) && std::isfinite(r.y_max) &&
        r.x_min < r.x_max && r.y_min < r.y_max;
}

bool names_allowed(const SumsQuery& q)
{
    for (const std::string& part : parts_of(q.table))
        if (!sql_name_allowed(q.dialect, part))
            return false;
    // A weight or a value is asked by naming its column.
    for (const std::string* name : {&q.weight, &q.value})
        if (!name->empty() && !sql_name_allowed(q.dialect, *name))
            return false;
    return sql_name_allowed(q.dialect, q.x) && sql_name_allowed(q.dialect, q.y);
}

std::string table_name(const SumsQuery& q)
{
    std::string text;
    for (const std::string& part : parts_of(q.table))
        text += (text.empty() ? "" : ".") + quoted(q.dialect, part);
    return text;
}

// The query's own names all begin with a prefix that begins neither user
// column's name, so that no alias can stand for a column or a column for
// an alias, whatever the columns are called: ClickHouse lets an alias
// anywhere in the query shadow a column of the same name.
std::string alias_prefix(const SumsQuery& q)
{
    const auto begins = [](const std::string& name, const std::string& prefix) {
        if (name.size() < prefix.size())
            return false;
        for (std::size_t k = 0; k < prefix.size(); ++k)
            if (std::tolower(static_cast<unsigned char>(name[k])) != prefix[k])
                return false;
        return true;
    };
    for (int k = 0;; ++k) {
        const std::string prefix = "varnel" + (k ? std::to_string(k) : std::string()) + "_";
        if (!begins(q.x, prefix) && !begins(q.y, prefix) && !begins(q.weight, prefix) && !begins(q.value, prefix))
            return prefix;
    }
}

// The steps of a point's binning, each an alias of the query: the placed
// coordinates, their quotients, and the columns as read (x and y where
// their logarithms are binned, the weight and the value where asked).
enum Step { kPx, kPy, kQx, kQy, kX, kY, kW, kZ, kSteps };

// Writes a step's name where the query uses it. ClickHouse's query is one
// level, so each step is defined where it is first written, in the order
// the query is built; the standard query's steps are its subqueries'
// columns, written by name alone.
class StepNames {
public:
    StepNames(const std::string& prefix, bool define_at_first_use) : define_(define_at_first_use)
    {
        const char* names[kSteps] = {"px", "py", "qx", "qy", "x", "y", "w", "z"};
        for (int k = 0; k < kSteps; ++k)
            alias_[k] = prefix + names[k];
    }
    void define(Step step, std::string definition) { definition_[step] = std::move(definition); }
    const std::string& alias(Step step) const { return alias_[step]; }
    std::string use(Step step)
    {
        if (!define_ || written_[step])
            return alias_[step];
        written_[step] = true;
        return "(" + definition_[step] + " AS " + alias_[step] + ")";
    }

private:
    bool define_;
    std::string alias_[kSteps], definition_[kSteps];
    bool written_[kSteps] = {};
};

// The placed x of a point under the rule, from the column's value.
std::string placed_x(const SumsQuery& q, const std::string& x)
{
    if (placed_x(q.binning, 39.0) == 39.0)
        return x;
    // The classic rule moves an x below 40 down by one.
    const std::string forty = number(q.dialect, 40.0), one = number(q.dialect, 1.0);
    return "CASE WHEN " + x + " < " + forty + " THEN " + x + " - " + one + " ELSE " + x + " END";
}

// True for NaN in every engine: one that orders NaN above every number
// (PostgreSQL, DuckDB, Spark) finds both v and -v greater than 0; one that
// follows IEEE finds v neither greater than 0 nor at most 0; SQLite keeps
// NaN as NULL.
std::string is_nan(StepNames& names, Step v)
{
    std::string text = "((";
    text += names.use(v);
    text += " > 0 AND -" + names.use(v);
    text += " > 0) OR NOT (" + names.use(v);
    text += " > 0 OR " + names.use(v);
    text += " <= 0) OR " + names.use(v);
    return text + " IS NULL)";
}

struct Terms {
    std::string x_min, x_max, y_min, y_max, dx, dy, last_cell, cells, zero;
    std::string floor, log10; // the functions' names, as the dialect spells them
    std::string ends;         // the range's columns, in the data's units
};

Terms terms_of(const SumsQuery& q)
{
    // Binned as the field bins: between the ends' logarithms on a
    // logarithmic axis, the cell sizes as the field computes them, sent as
    // the doubles they are.
    const Range& r = q.range;
    const Range b{q.log_x ? std::log10(r.x_min) : r.x_min, q.log_x ? std::log10(r.x_max) : r.x_max,
                  q.log_y ? std::log10(r.y_min) : r.y_min, q.log_y ? std::log10(r.y_max) : r.y_max};
    const bool clickhouse = q.dialect == SqlDialect::clickhouse;
    return Terms{number(q.dialect, b.x_min),
                 number(q.dialect, b.x_max),
                 number(q.dialect, b.y_min),
                 number(q.dialect, b.y_max),
                 number(q.dialect, (b.x_max - b.x_min) / kGridCells),
                 number(q.dialect, (b.y_max - b.y_min) / kGridCells),
                 number(q.dialect, double(kGridCells - 1)),
                 number(q.dialect, double(kGridCells)),
                 number(q.dialect, 0.0),
                 clickhouse ? "floor" : "FLOOR",
                 clickhouse ? "log10" : "LOG10",
                 number(q.dialect, r.x_min) + " AS x_min, " + number(q.dialect, r.x_max) + " AS x_max, " +
                     number(q.dialect, r.y_min) + " AS y_min, " + number(q.dialect, r.y_max) + " AS y_max"};
}

// A coordinate as it is binned: its logarithm on a logarithmic axis, where
// a value at or below zero (counted apart by the cell's expression) is left
// as it is, since some engines refuse its logarithm.
std::string logged(const Terms& t, const std::string& v, bool log)
{
    return log ? "CASE WHEN " + v + " > " + t.zero + " THEN " + t.log10 + "(" + v + ") ELSE " + v + " END" : v;
}

// -2 for a point with a NaN coordinate, -1 for one outside the range or in
// no cell, else the cell along quotient q: the quotient's floor, the last
// cell taking the quotients that round up to 200. Built piece by piece, in
// the order the text is read, so that each step is defined where it is
// first written.
std::string cell_of(const SumsQuery& sq, const Terms& t, StepNames& names, Step q)
{
    std::string text = "CASE WHEN " + is_nan(names, kPx);
    text += " OR " + is_nan(names, kPy);
    text += " THEN -2 WHEN ";
    // As the field takes them: a point with no logarithm is counted apart
    // before its weight and value are looked at.
    std::string no_logarithm, no_value;
    if (sq.log_x)
        no_logarithm = "NOT (" + names.use(kX) + " > " + t.zero + ")";
    if (sq.log_y)
        no_logarithm += (no_logarithm.empty() ? "NOT (" : " OR NOT (") + names.use(kY) + " > " + t.zero + ")";
    if (!sq.weight.empty())
        no_value = is_nan(names, kW);
    if (!sq.value.empty())
        no_value += (no_value.empty() ? "" : " OR ") + is_nan(names, kZ);
    if (!no_logarithm.empty())
        text += no_logarithm + " THEN -3 WHEN ";
    if (!no_value.empty())
        text += no_value + " THEN -2 WHEN ";
    text += names.use(kPx);
    text += " >= " + t.x_min + " AND " + names.use(kPx);
    text += " < " + t.x_max + " AND " + names.use(kPy);
    text += " >= " + t.y_min + " AND " + names.use(kPy);
    text += " < " + t.y_max + " AND " + names.use(kQx);
    text += " >= " + t.zero + " AND " + names.use(kQx);
    text += " <= " + t.cells + " AND " + names.use(kQy);
    text += " >= " + t.zero + " AND " + names.use(kQy);
    text += " <= " + t.cells + " THEN CASE WHEN " + names.use(q);
    text += " >= " + t.last_cell + " THEN " + t.last_cell + " ELSE " + t.floor + "(" + names.use(q);
    return text + ") END ELSE -1 END";
}

// The outer query's columns: the result's names given to the inner
// query's prefixed columns (the sums of weights and of values where
// asked), then the range as constants.
std::string result_columns(const SumsQuery& q, const Terms& t, const std::string& prefix)
{
    std::vector<const char*> names = {"gx", "gy", "n", "sfx", "sfy", "sfxfy"};
    if (!q.weight.empty())
        names.insert(names.end(), std::begin(kWeightSumColumns), std::end(kWeightSumColumns));
    if (!q.value.empty())
        names.insert(names.end(), std::begin(kValueSumColumns), std::end(kValueSumColumns));
    std::string text;
    for (const char* name : names)
        text += prefix + name + " AS " + name + ", ";
    return text + t.ends;
}

// The four sums of a quantity each point in a cell brings, alone and times
// its fractions, named as the result's `columns` under the prefix: `first`
// is its first writing (where the ClickHouse query defines it), `q` its
// name after.
std::string scaled_sums(const char* sum, const std::string& first, const std::string& q, const std::string& p,
                        const char* const columns[4])
{
    return ", " + std::string(sum) + "(" + first + ") AS " + p + columns[0] + ", " + sum + "(" + q + " * " + p +
        "fx) AS " + p + columns[1] + ", " + sum + "(" + q + " * " + p + "fy) AS " + p + columns[2] + ", " + sum + "(" +
        q + " * " + p + "fx * " + p + "fy) AS " + p + columns[3];
}

// The quantities summed besides the counts, each naught for a point
// counted apart, whose weight or value may be NaN.
struct Quantities {
    std::string weight, weighted_value; // empty where not asked
};

Quantities quantities_of(const SumsQuery& q, const Terms& t, const std::string& p, StepNames& names)
{
    const auto in_cell = [&](const std::string& v) {
        return "CASE WHEN " + p + "gx >= 0 THEN " + v + " ELSE " + t.zero + " END";
    };
    Quantities out;
    if (!q.weight.empty())
        out.weight = in_cell(names.use(kW));
    if (!q.value.empty())
        out.weighted_value = in_cell(q.weight.empty() ? names.use(kZ) : names.use(kW) + " * " + names.use(kZ));
    return out;
}

// The columns a level of the standard query hands up besides its own:
// what later levels still read, as `, NAME` each (or `, COLUMN AS NAME`
// where the table's columns are first read).
std::string handed_up(const SumsQuery& q, const StepNames& names, std::initializer_list<Step> steps, bool read)
{
    std::string text;
    for (const Step step : steps) {
        const std::string* column = step == kX ? (q.log_x ? &q.x : nullptr)
            : step == kY                       ? (q.log_y ? &q.y : nullptr)
            : step == kW                       ? (q.weight.empty() ? nullptr : &q.weight)
                                               : (q.value.empty() ? nullptr : &q.value);
        if (column)
            text += ", " + (read ? quoted(q.dialect, *column) + " AS " : std::string()) + names.alias(step);
    }
    return text;
}

std::string standard_query(const SumsQuery& q)
{
    const Terms t = terms_of(q);
    const std::string p = alias_prefix(q);
    StepNames names(p, false);
    const std::string x = quoted(q.dialect, q.x), y = quoted(q.dialect, q.y);
    const std::string gx = cell_of(q, t, names, kQx), gy = cell_of(q, t, names, kQy);
    const Quantities summed = quantities_of(q, t, p, names);
    std::string fractions, sums;
    if (!summed.weight.empty()) {
        fractions += ", " + summed.weight + " AS " + p + "bw";
        sums += scaled_sums("SUM", p + "bw", p + "bw", p, kWeightSumColumns);
    }
    if (!summed.weighted_value.empty()) {
        fractions += ", " + summed.weighted_value + " AS " + p + "bwz";
        sums += scaled_sums("SUM", p + "bwz", p + "bwz", p, kValueSumColumns);
    }
    return "SELECT " + result_columns(q, t, p) + "\nFROM (SELECT " + p + "gx, " + p + "gy, COUNT(*) AS " + p +
        "n, SUM(" + p + "fx) AS " + p + "sfx, SUM(" + p + "fy) AS " + p + "sfy, SUM(" + p + "fx * " + p + "fy) AS " +
        p + "sfxfy" + sums + "\n FROM (SELECT " + p + "gx, " + p + "gy, CASE WHEN " + p + "gx >= 0 THEN " + p +
        "qx - " + p + "gx ELSE " + t.zero + " END AS " + p + "fx, CASE WHEN " + p + "gy >= 0 THEN " + p + "qy - " + p +
        "gy ELSE " + t.zero + " END AS " + p + "fy" + fractions + "\n  FROM (SELECT " + p + "qx, " + p + "qy, " + gx +
        " AS " + p + "gx, " + gy + " AS " + p + "gy" + handed_up(q, names, {kW, kZ}, false) + "\n   FROM (SELECT " + p +
        "px, " + p + "py, (" + p + "px - " + t.x_min + ") / " + t.dx + " AS " + p + "qx, (" + p + "py - " + t.y_min +
        ") / " + t.dy + " AS " + p + "qy" + handed_up(q, names, {kX, kY, kW, kZ}, false) + "\n    FROM (SELECT " +
        placed_x(q, logged(t, x, q.log_x)) + " AS " + p + "px, " + logged(t, y, q.log_y) + " AS " + p + "py" +
        handed_up(q, names, {kX, kY, kW, kZ}, true) + " FROM " + table_name(q) +
        ") AS placed) AS quotients) AS cells) AS fractions\n GROUP BY " + p + "gx, " + p +
        "gy) AS sums\nORDER BY gy, gx";
}

// The sums are one level over the table, so that a Distributed table sums
// them on its shards; the outer level only names the columns. Steps are
// defined where first used, inside the cell's expression: a server of 2018
// loses names given in WITH when a table has shards both on it and on others.
std::string clickhouse_query(const SumsQuery& q)
{
    const Terms t = terms_of(q);
    const std::string p = alias_prefix(q);
    StepNames names(p, true);
    const auto column = [&q](const std::string& name) { return "toFloat64(" + quoted(q.dialect, name) + ")"; };
    names.define(kPx, placed_x(q, logged(t, column(q.x), q.log_x)));
    names.define(kPy, logged(t, column(q.y), q.log_y));
    names.define(kQx, "(" + names.alias(kPx) + " - " + t.x_min + ") / " + t.dx);
    names.define(kQy, "(" + names.alias(kPy) + " - " + t.y_min + ") / " + t.dy);
    names.define(kX, column(q.x));
    names.define(kY, column(q.y));
    names.define(kW, column(q.weight));
    names.define(kZ, column(q.value));
    const std::string gx = cell_of(q, t, names, kQx);
    const std::string gy = cell_of(q, t, names, kQy);
    const Quantities summed = quantities_of(q, t, p, names);
    std::string sums;
    if (!summed.weight.empty())
        sums += scaled_sums("sum", summed.weight + " AS " + p + "bw", p + "bw", p, kWeightSumColumns);
    if (!summed.weighted_value.empty())
        sums += scaled_sums("sum", summed.weighted_value + " AS " + p + "bwz", p + "bwz", p, kValueSumColumns);
    return "SELECT " + result_columns(q, t, p) + "\nFROM (SELECT " + gx + " AS " + p + "gx,\n " + gy + " AS " + p +
        "gy,\n count() AS " + p + "n, sum(CASE WHEN " + p + "gx >= 0 THEN " + names.alias(kQx) + " - " + p +
        "gx ELSE " + t.zero + " END AS " + p + "fx) AS " + p + "sfx, sum(CASE WHEN " + p + "gy >= 0 THEN " +
        names.alias(kQy) + " - " + p + "gy ELSE " + t.zero + " END AS " + p + "fy) AS " + p + "sfy, sum(" + p +
        "fx * " + p + "fy) AS " + p + "sfxfy" + sums + "\n FROM " + table_name(q) + "\n GROUP BY " + p + "gx, " + p +
        "gy)\nORDER BY gy, gx";
}

} // namespace

bool sql_name_allowed(SqlDialect, const std::string& name)
{
    if (name.empty() || name.size() > kLongestName)
        return false;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return false;
    }
    return true;
}

std::string cell_sums_query(const SumsQuery& query)
{
    if (!names_allowed(query) || !finite_rectangle(query.range) ||
        !logarithms_defined(query.range, query.log_x, query.log_y))
        return {};
    return query.dialect == SqlDialect::clickhouse ? clickhouse_query(query) : standard_query(query);
}

std::string bounds_query(const SumsQuery& query)
{
    if (!names_allowed(query))
        return {};
    const SqlDialect d = query.dialect;
    const std::string p = alias_prefix(query);
    // Finite: v - v is 0 for a number, NaN (or NULL) for an infinity or a
    // NaN; above zero too on a logarithmic axis, as the file's fit takes it.
    const auto finite = [&query](const std::string& x, const std::string& y) {
        return "(" + x + ") - (" + x + ") = 0 AND " + y + " - " + y + " = 0" +
            (query.log_x ? " AND (" + x + ") > 0" : "") + (query.log_y ? " AND " + y + " > 0" : "");
    };
    if (d == SqlDialect::clickhouse) {
        // One level, so that a Distributed table finds its bounds on the
        // shards; its answer is read by position, so its names are the
        // prefixed ones.
        const std::string x = placed_x(query, "toFloat64(" + quoted(d, query.x) + ")");
        const std::string y = "toFloat64(" + quoted(d, query.y) + ")";
        return "SELECT min(" + x + ") AS " + p + "x_lo, max(" + x + ") AS " + p + "x_hi, min(" + y + ") AS " + p +
            "y_lo, max(" + y + ") AS " + p + "y_hi, count() AS " + p + "n FROM " + table_name(query) + " WHERE " +
            finite(x, y);
    }
    const std::string px = p + "px", py = p + "py";
    return "SELECT MIN(" + px + ") AS x_lo, MAX(" + px + ") AS x_hi, MIN(" + py + ") AS y_lo, MAX(" + py +
        ") AS y_hi, COUNT(*) AS n FROM (SELECT " + placed_x(query, quoted(d, query.x)) + " AS " + px + ", " +
        quoted(d, query.y) + " AS " + py + " FROM " + table_name(query) + ") AS placed WHERE " + finite(px, py);
}
