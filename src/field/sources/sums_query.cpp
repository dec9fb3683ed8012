#include "field/sources/sums_query.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "field/grid_size.h"

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
        if (!begins(q.x, prefix) && !begins(q.y, prefix))
            return prefix;
    }
}

// The steps of a point's binning, each an alias of the query.
enum Step { kPx, kPy, kQx, kQy, kSteps };

// Writes a step's name where the query uses it. ClickHouse's query is one
// level, so each step is defined where it is first written, in the order
// the query is built; the standard query's steps are its subqueries'
// columns, written by name alone.
class StepNames {
public:
    StepNames(const std::string& prefix, bool define_at_first_use) : define_(define_at_first_use)
    {
        const char* names[kSteps] = {"px", "py", "qx", "qy"};
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
    std::string floor; // the function's name, as the dialect spells it
};

Terms terms_of(const SumsQuery& q)
{
    const Range& r = q.range;
    // The cell sizes as the field computes them, sent as the doubles they are.
    return Terms{number(q.dialect, r.x_min),
                 number(q.dialect, r.x_max),
                 number(q.dialect, r.y_min),
                 number(q.dialect, r.y_max),
                 number(q.dialect, (r.x_max - r.x_min) / kGridCells),
                 number(q.dialect, (r.y_max - r.y_min) / kGridCells),
                 number(q.dialect, double(kGridCells - 1)),
                 number(q.dialect, double(kGridCells)),
                 number(q.dialect, 0.0),
                 q.dialect == SqlDialect::clickhouse ? "floor" : "FLOOR"};
}

// -2 for a point with a NaN coordinate, -1 for one outside the range or in
// no cell, else the cell along quotient q: the quotient's floor, the last
// cell taking the quotients that round up to 200. Built piece by piece, in
// the order the text is read, so that each step is defined where it is
// first written.
std::string cell_of(const Terms& t, StepNames& names, Step q)
{
    std::string text = "CASE WHEN " + is_nan(names, kPx);
    text += " OR " + is_nan(names, kPy);
    text += " THEN -2 WHEN " + names.use(kPx);
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
// query's prefixed columns, then the range as constants.
std::string result_columns(const Terms& t, const std::string& prefix)
{
    std::string text;
    for (const char* name : {"gx", "gy", "n", "sfx", "sfy", "sfxfy"})
        text += prefix + name + " AS " + name + ", ";
    return text + t.x_min + " AS x_min, " + t.x_max + " AS x_max, " + t.y_min + " AS y_min, " + t.y_max + " AS y_max";
}

std::string standard_query(const SumsQuery& q)
{
    const Terms t = terms_of(q);
    const std::string p = alias_prefix(q);
    StepNames names(p, false);
    const std::string x = quoted(q.dialect, q.x), y = quoted(q.dialect, q.y);
    const std::string gx = cell_of(t, names, kQx), gy = cell_of(t, names, kQy);
    return "SELECT " + result_columns(t, p) + "\nFROM (SELECT " + p + "gx, " + p + "gy, COUNT(*) AS " + p + "n, SUM(" +
        p + "fx) AS " + p + "sfx, SUM(" + p + "fy) AS " + p + "sfy, SUM(" + p + "fx * " + p + "fy) AS " + p +
        "sfxfy\n FROM (SELECT " + p + "gx, " + p + "gy, CASE WHEN " + p + "gx >= 0 THEN " + p + "qx - " + p +
        "gx ELSE " + t.zero + " END AS " + p + "fx, CASE WHEN " + p + "gy >= 0 THEN " + p + "qy - " + p + "gy ELSE " +
        t.zero + " END AS " + p + "fy\n  FROM (SELECT " + p + "qx, " + p + "qy, " + gx + " AS " + p + "gx, " + gy +
        " AS " + p + "gy\n   FROM (SELECT " + p + "px, " + p + "py, (" + p + "px - " + t.x_min + ") / " + t.dx +
        " AS " + p + "qx, (" + p + "py - " + t.y_min + ") / " + t.dy + " AS " + p + "qy\n    FROM (SELECT " +
        placed_x(q, x) + " AS " + p + "px, " + y + " AS " + p + "py FROM " + table_name(q) +
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
    names.define(kPx, placed_x(q, "toFloat64(" + quoted(q.dialect, q.x) + ")"));
    names.define(kPy, "toFloat64(" + quoted(q.dialect, q.y) + ")");
    names.define(kQx, "(" + names.alias(kPx) + " - " + t.x_min + ") / " + t.dx);
    names.define(kQy, "(" + names.alias(kPy) + " - " + t.y_min + ") / " + t.dy);
    const std::string gx = cell_of(t, names, kQx);
    const std::string gy = cell_of(t, names, kQy);
    return "SELECT " + result_columns(t, p) + "\nFROM (SELECT " + gx + " AS " + p + "gx,\n " + gy + " AS " + p +
        "gy,\n count() AS " + p + "n, sum(CASE WHEN " + p + "gx >= 0 THEN " + names.alias(kQx) + " - " + p +
        "gx ELSE " + t.zero + " END AS " + p + "fx) AS " + p + "sfx, sum(CASE WHEN " + p + "gy >= 0 THEN " +
        names.alias(kQy) + " - " + p + "gy ELSE " + t.zero + " END AS " + p + "fy) AS " + p + "sfy, sum(" + p +
        "fx * " + p + "fy) AS " + p + "sfxfy\n FROM " + table_name(q) + "\n GROUP BY " + p + "gx, " + p +
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
    if (!names_allowed(query) || !finite_rectangle(query.range))
        return {};
    return query.dialect == SqlDialect::clickhouse ? clickhouse_query(query) : standard_query(query);
}

std::string bounds_query(const SumsQuery& query)
{
    if (!names_allowed(query))
        return {};
    const SqlDialect d = query.dialect;
    const std::string p = alias_prefix(query);
    // Finite: v - v is 0 for a number, NaN (or NULL) for an infinity or a NaN.
    const auto finite = [](const std::string& x, const std::string& y) {
        return "(" + x + ") - (" + x + ") = 0 AND " + y + " - " + y + " = 0";
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
