#include "field/sums_query.h"

#include <cmath>
#include <cstdio>
#include <vector>

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

std::string quoted(SqlDialect dialect, const std::string& name)
{
    const char quote = dialect == SqlDialect::clickhouse ? '`' : '"';
    std::string text(1, quote);
    for (char c : name) {
        if (c == quote)
            text += quote; // standard SQL doubles the quote; ClickHouse names never hold one
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
std::string is_nan(const std::string& v)
{
    return "((" + v + " > 0 AND -" + v + " > 0) OR NOT (" + v + " > 0 OR " + v + " <= 0) OR " + v + " IS NULL)";
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
                 number(q.dialect, (r.x_max - r.x_min) / 200),
                 number(q.dialect, (r.y_max - r.y_min) / 200),
                 number(q.dialect, 199.0),
                 number(q.dialect, 200.0),
                 number(q.dialect, 0.0),
                 q.dialect == SqlDialect::clickhouse ? "floor" : "FLOOR"};
}

// -2 for a point with a NaN coordinate, -1 for one outside the range or in
// no cell, else the cell: the quotient's floor, the last cell taking the
// quotients that round up to 200.
std::string cell_of(const Terms& t, const std::string& q, const std::string& px, const std::string& py,
                    const std::string& qx, const std::string& qy)
{
    return "CASE WHEN " + is_nan(px) + " OR " + is_nan(py) + " THEN -2 WHEN " + px + " >= " + t.x_min + " AND " + px +
        " < " + t.x_max + " AND " + py + " >= " + t.y_min + " AND " + py + " < " + t.y_max + " AND " + qx +
        " >= " + t.zero + " AND " + qx + " <= " + t.cells + " AND " + qy + " >= " + t.zero + " AND " + qy +
        " <= " + t.cells + " THEN CASE WHEN " + q + " >= " + t.last_cell + " THEN " + t.last_cell + " ELSE " + t.floor +
        "(" + q + ") END ELSE -1 END";
}

std::string range_columns(const Terms& t)
{
    return t.x_min + " AS x_min, " + t.x_max + " AS x_max, " + t.y_min + " AS y_min, " + t.y_max + " AS y_max";
}

std::string standard_query(const SumsQuery& q)
{
    const Terms t = terms_of(q);
    const std::string x = quoted(q.dialect, q.x), y = quoted(q.dialect, q.y);
    return "SELECT gx, gy, COUNT(*) AS n, SUM(fx) AS sfx, SUM(fy) AS sfy, SUM(fx * fy) AS sfxfy, " + range_columns(t) +
        "\nFROM (SELECT gx, gy, CASE WHEN gx >= 0 THEN qx - gx ELSE " + t.zero +
        " END AS fx, CASE WHEN gy >= 0 THEN qy - gy ELSE " + t.zero + " END AS fy\n FROM (SELECT qx, qy, " +
        cell_of(t, "qx", "px", "py", "qx", "qy") + " AS gx, " + cell_of(t, "qy", "px", "py", "qx", "qy") +
        " AS gy\n  FROM (SELECT px, py, (px - " + t.x_min + ") / " + t.dx + " AS qx, (py - " + t.y_min + ") / " + t.dy +
        " AS qy\n   FROM (SELECT " + placed_x(q, x) + " AS px, " + y + " AS py FROM " + table_name(q) +
        ") AS placed) AS quotients) AS cells) AS fractions\nGROUP BY gx, gy\nORDER BY gy, gx";
}

// The first use of an alias in the text made its definition.
void define_at_first_use(std::string& text, const std::string& alias, const std::string& definition)
{
    const std::size_t at = text.find(alias);
    if (at != std::string::npos)
        text.replace(at, alias.size(), "(" + definition + " AS " + alias + ")");
}

// One level only: a query of subqueries over a Distributed table would
// bring every point to the server asked; this one is summed on the shards.
// Its steps are named where they are first used, inside the cell's
// expression: a server of 2018 loses names given in WITH when a table
// has shards both on it and on others.
std::string clickhouse_query(const SumsQuery& q)
{
    const Terms t = terms_of(q);
    const std::string x = "toFloat64(" + quoted(q.dialect, q.x) + ")", y = "toFloat64(" + quoted(q.dialect, q.y) + ")";
    const std::string px = "varnel_px", py = "varnel_py", qx = "varnel_qx", qy = "varnel_qy";
    std::string gx = cell_of(t, qx, px, py, qx, qy);
    define_at_first_use(gx, px, placed_x(q, x));
    define_at_first_use(gx, py, y);
    define_at_first_use(gx, qx, "(" + px + " - " + t.x_min + ") / " + t.dx);
    define_at_first_use(gx, qy, "(" + py + " - " + t.y_min + ") / " + t.dy);
    const std::string gy = cell_of(t, qy, px, py, qx, qy);
    return "SELECT " + gx + " AS gx,\n " + gy + " AS gy,\n count() AS n, sum(CASE WHEN gx >= 0 THEN " + qx +
        " - gx ELSE " + t.zero + " END AS varnel_fx) AS sfx, sum(CASE WHEN gy >= 0 THEN " + qy + " - gy ELSE " +
        t.zero + " END AS varnel_fy) AS sfy, sum(varnel_fx * varnel_fy) AS sfxfy,\n " + range_columns(t) + "\nFROM " +
        table_name(q) + "\nGROUP BY gx, gy\nORDER BY gy, gx";
}

} // namespace

bool sql_name_allowed(SqlDialect dialect, const std::string& name)
{
    if (name.empty() || name.size() > kLongestName)
        return false;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return false;
        if (dialect == SqlDialect::clickhouse && (c == '`' || c == '\\'))
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
    const std::string px =
        placed_x(query, d == SqlDialect::clickhouse ? "toFloat64(" + quoted(d, query.x) + ")" : quoted(d, query.x));
    const std::string py = d == SqlDialect::clickhouse ? "toFloat64(" + quoted(d, query.y) + ")" : quoted(d, query.y);
    // Finite: v - v is 0 for a number, NaN (or NULL) for an infinity or a NaN.
    const std::string finite = "(" + px + ") - (" + px + ") = 0 AND " + py + " - " + py + " = 0";
    return "SELECT MIN(" + px + ") AS x_lo, MAX(" + px + ") AS x_hi, MIN(" + py + ") AS y_lo, MAX(" + py +
        ") AS y_hi, COUNT(*) AS n FROM " + table_name(query) + " WHERE " + finite;
}
