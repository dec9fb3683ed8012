// The cell-sums query run by an engine in this process (SQLite), its rows
// saved as a CSV file would hold them, read back and spread: the field must
// be the one the reader makes of the same points, with the same counts.
#include "field/sources/sums_query.h"
#include "field/sources/cell_sums_file.h"
#include "field/density_field.h"
#include "field/field_loader.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "temp_folder.h"
#include "temp_stream.h"
#include "tent_reference.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

using Points = std::vector<std::pair<double, double>>;

// The points as a table of the given name in a fresh in-memory database.
std::unique_ptr<sqlite3, DatabaseCloser> database_of(const Points& points, const std::string& quoted_table,
                                                     const std::string& columns = "\"pos x\" REAL, y REAL")
{
    sqlite3* raw = nullptr;
    sqlite3_open(":memory:", &raw);
    std::unique_ptr<sqlite3, DatabaseCloser> db(raw);
    const std::string create = "CREATE TABLE " + quoted_table + " (" + columns + ")";
    EXPECT_EQ(sqlite3_exec(raw, create.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    const std::string text = "INSERT INTO " + quoted_table + " VALUES (?, ?)";
    sqlite3_prepare_v2(raw, text.c_str(), -1, &insert, nullptr);
    for (const auto& [x, y] : points) {
        sqlite3_bind_double(insert, 1, x); // NaN is kept as NULL
        sqlite3_bind_double(insert, 2, y);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    return db;
}

// The query's rows as CSV with a header, every value exact, as an engine's
// export writes them.
std::string run_as_csv(sqlite3* db, const std::string& query)
{
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    std::string csv;
    const int columns = sqlite3_column_count(statement);
    for (int k = 0; k < columns; ++k)
        csv.append(k ? "," : "").append(sqlite3_column_name(statement, k));
    csv += "\n";
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int k = 0; k < columns; ++k) {
            char value[40];
            std::snprintf(value, sizeof value, "%.17g", sqlite3_column_double(statement, k));
            csv.append(k ? "," : "").append(value);
        }
        csv += "\n";
    }
    sqlite3_finalize(statement);
    return csv;
}

struct Field {
    std::vector<double> nodes;
    FieldCounts counts;
    int loaded = 0;
};

Field field_of_points(const Points& points, const Range& r, BinningRule rule)
{
    std::string text;
    for (const auto& [x, y] : points) {
        char line[80];
        std::snprintf(line, sizeof line, "%.17g %.17g\n", x, y);
        text += line;
    }
    DensityField* field = create_density_field(r);
    density_field_set_binning(field, rule);
    TempStream in(text);
    Field result;
    result.loaded = field->ops.load(field, in.file, 0);
    result.nodes.assign(field->ops.data(field), field->ops.data(field) + 201 * 201);
    result.counts = density_field_counts(field);
    field->ops.destroy(field);
    return result;
}

Field field_of_csv(const std::string& csv, BinningRule rule, Range* range)
{
    TempStream in(csv);
    CellSumsTable table;
    std::string problem;
    EXPECT_TRUE(read_cell_sums(in.file, &table, &problem)) << problem;
    *range = table.range;
    DensityField* field = create_density_field(*range);
    density_field_set_binning(field, rule);
    Field result;
    result.loaded = density_field_load_sums(field, table.cells.data(), table.rejected, table.not_a_number);
    result.nodes.assign(field->ops.data(field), field->ops.data(field) + 201 * 201);
    result.counts = density_field_counts(field);
    field->ops.destroy(field);
    return result;
}

TEST(SumsQuery, SqliteGivesTheReadersFieldAndCounts)
{
    const double inf = HUGE_VAL, nan = std::nan("");
    const Range range{0, 4000, -100, 300};
    const Points edges = {{0, -100},                             // on the lower corner
                          {std::nextafter(4000.0, 0.0), 0.5},    // held in cell 199
                          {3999.9999999999, 299.99999999999994}, // the last cell both ways
                          {40, 10},                              // never moved by the classic rule
                          {39.999999999999993, 20},              // moved by it
                          {40.5, std::nextafter(-100.0, 0.0)},   // just below y's range
                          {nan, 5},
                          {5, nan},
                          {nan, nan}, // no place: counted apart
                          {inf, 5},
                          {-inf, 5},
                          {5, inf},
                          {5, -inf}, // outside the range
                          {4000, 5},
                          {-0.0, 6.25},
                          {1234.5, 17.75}};
    std::mt19937_64 random(99);
    std::normal_distribution<double> x_of(2000, 900), y_of(100, 80);
    Points crowd;
    for (int k = 0; k < 40000; ++k)
        crowd.push_back({x_of(random), y_of(random)});
    const struct {
        const char* name;
        const Points& points;
        double tolerance;
    } sets[] = {{"edges", edges, 0.0}, {"random", crowd, 1e-12}};
    for (const auto& set : sets)
        for (BinningRule rule : {BinningRule::bilinear, BinningRule::classic}) {
            SCOPED_TRACE(std::string(set.name) + ", " + binning_rule_name(rule));
            // A table name that holds the quote itself: it must be quoted, never pasted.
            const auto db = database_of(set.points, "\"my \"\"points\"\"\"");
            SumsQuery query;
            query.table = "my \"points\"";
            query.x = "pos x";
            query.y = "y";
            query.range = range;
            query.binning = rule;
            Range read_range;
            const Field got = field_of_csv(run_as_csv(db.get(), cell_sums_query(query)), rule, &read_range);
            const Field want = field_of_points(set.points, range, rule);
            EXPECT_EQ(read_range, range);
            EXPECT_EQ(got.loaded, want.loaded);
            EXPECT_EQ(got.counts.points, want.counts.points);
            EXPECT_EQ(got.counts.in_range, want.counts.in_range);
            EXPECT_EQ(got.counts.rejected, want.counts.rejected);
            EXPECT_EQ(got.counts.not_a_number, want.counts.not_a_number);
            for (int k = 0; k < 201 * 201; ++k)
                ASSERT_NEAR(got.nodes[k], want.nodes[k], set.tolerance) << "node " << k % 201 << ", " << k / 201;
        }
}

// Names that would break a query pasted together as text, or that equal
// the query's own names: each must read the very columns it names, over a
// range whose ends reach the engine bit for bit.
TEST(SumsQuery, HostileColumnNamesReadTheirOwnColumns)
{
    const std::pair<const char*, const char*> pairs[] = {
        {"varnel_py", "EVIL) , (SELECT 1"},
        {"y_min", "x_max"},
        {"gx", "gy"},
        {"n", "sfx"},
        {"varnel_fx", "VARNEL_QX"},
        {"VARNEL_QX", "Varnel_PY"}, // the prefix in capitals alone
        {"px", "py"},
        {"a\"b", "c`d"},
        {"/*", "--"},
        {";", "e\\f"},
        {"it's", "x_lo"},
    };
    std::mt19937_64 random(7);
    std::normal_distribution<double> x_of(2000, 900), y_of(100, 80);
    Points points;
    for (int k = 0; k < 5000; ++k)
        points.push_back({x_of(random), y_of(random)});
    // Ends that need all seventeen digits: they come back in the answer as sent.
    const Range range{0.1, 4000.7, -1.0 / 3, 300};
    const Field want = field_of_points(points, range, BinningRule::bilinear);
    const auto sqlite_quoted = [](const std::string& name) {
        std::string text = "\"";
        for (char c : name)
            text += c == '"' ? std::string("\"\"") : std::string(1, c);
        return text + "\"";
    };
    for (const auto& [x, y] : pairs) {
        SCOPED_TRACE(std::string(x) + " / " + y);
        const auto db = database_of(points, "t", sqlite_quoted(x) + " REAL, " + sqlite_quoted(y) + " REAL");
        SumsQuery query;
        query.table = "t";
        query.x = x;
        query.y = y;
        query.range = range;
        Range read_range;
        const Field got =
            field_of_csv(run_as_csv(db.get(), cell_sums_query(query)), BinningRule::bilinear, &read_range);
        EXPECT_EQ(read_range, range);
        EXPECT_EQ(got.counts.in_range, want.counts.in_range);
        for (int k = 0; k < 201 * 201; ++k)
            ASSERT_NEAR(got.nodes[k], want.nodes[k], 1e-12) << "node " << k % 201 << ", " << k / 201;
        const std::string bounds = run_as_csv(db.get(), bounds_query(query));
        EXPECT_EQ(bounds.substr(0, bounds.find('\n')), "x_lo,x_hi,y_lo,y_hi,n");
        EXPECT_NE(bounds.find(",5000\n"), std::string::npos) << bounds;
    }
}

// The points with their weights and values as a table of the given
// columns' names (a NaN goes in as NULL, as SQLite keeps it).
std::unique_ptr<sqlite3, DatabaseCloser> database_of_values(const std::vector<tent::Point>& points,
                                                            const std::string (&names)[4])
{
    std::string columns;
    for (const std::string& name : names)
        columns += (columns.empty() ? "\"" : ", \"") + name + "\" REAL";
    auto db = database_of({}, "t", columns);
    sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db.get(), "INSERT INTO t VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
    for (const tent::Point& p : points) {
        const double values[4] = {p.x, p.y, p.w, p.z};
        for (int k = 0; k < 4; ++k)
            sqlite3_bind_double(insert, k + 1, values[k]);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
    // SQLite's own LOG10 divides natural logarithms, an ulp from C's at the
    // powers of ten where ranges end; the engines the query is for take
    // C's, and so does the test's.
    sqlite3_create_function(
        db.get(), "LOG10", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
        [](sqlite3_context* context, int, sqlite3_value** v) {
            if (sqlite3_value_type(v[0]) == SQLITE_NULL)
                sqlite3_result_null(context);
            else
                sqlite3_result_double(context, std::log10(sqlite3_value_double(v[0])));
        },
        nullptr, nullptr);
    return db;
}

// Weights of either sign, zero and NaN (NULL), means and logarithmic axes,
// through the query in SQLite, its answer saved and loaded as a file: the
// field is the one the tents give, with the counts of the points.
// Hand-worked points on cells of 1 by 1, where a node's share is plain to
// see, and many random ones.
TEST(SumsQuery, WeightsMeansAndLogAxesMatchTheTents)
{
    const std::vector<tent::Point> hand = tent::hand_worked(), crowd = tent::random_points(31, 20000);
    const Range linear{0, 200, 0, 200}, logarithmic{1, 1000, 1, 1000};
    const struct {
        const char* name;
        tent::Ask ask;
        BinningRule rule = BinningRule::bilinear;
    } cases[] = {
        {"weights", {linear, true}},
        {"means", {linear, false, true}},
        {"weighted means", {linear, true, true}},
        {"counts on log x", {Range{1, 1000, 0, 200}, false, false, true}},
        {"means on log y", {Range{0, 200, 1, 1000}, false, true, false, true}},
        {"weighted means on log x and y", {logarithmic, true, true, true, true}},
        {"weighted means on log x, classic", {Range{1, 1000, 0, 200}, true, true, true}, BinningRule::classic},
    };
    // Names the query's own could be mistaken for: its prefix (in either
    // case, on the weight or on the value alone), and a column of its answer.
    const std::string names[4] = {"pos x", "y", "varnel_bw", "sw"}, others[4] = {"x", "Y", "sw", "VARNEL_Z"};
    const TempFolder dir("sums-query");
    const struct {
        const std::vector<tent::Point>* set;
        const std::string (&names)[4];
    } runs[] = {{&hand, names}, {&crowd, names}, {&hand, others}};
    for (const auto& [set, names] : runs) {
        const auto db = database_of_values(*set, names);
        const std::string points = dir.write("points.txt", tent::text_of(*set, names[2], names[3]));
        for (const auto& c : cases) {
            const std::string label =
                std::string(set == &hand ? "hand-worked, " : "random, ") + c.name + ", value " + names[3];
            SCOPED_TRACE(label);
            SumsQuery query;
            query.table = "t";
            query.x = names[0];
            query.y = names[1];
            query.weight = c.ask.weight ? names[2] : "";
            query.value = c.ask.mean ? names[3] : "";
            query.log_x = c.ask.log_x;
            query.log_y = c.ask.log_y;
            query.range = c.ask.range;
            query.binning = c.rule;
            LoadRequest request;
            request.path = dir.write("sums.csv", run_as_csv(db.get(), cell_sums_query(query)));
            request.range = Range{0, 4000, 0, 4000}; // the table's own is taken
            request.binning = c.rule;
            request.columns.weight_name = query.weight;
            request.columns.value_name = query.value;
            request.log_x = c.ask.log_x;
            request.log_y = c.ask.log_y;
            const LoadedField got = load_field(request);
            request.path = points;
            request.range = c.ask.range;
            tent::expect_loaded_like(got, load_field(request), *set, c.ask, c.rule, label);
        }
    }
}

// On a logarithmic axis only the points above zero there are bounded, as
// the reader's fit takes them.
TEST(SumsQuery, BoundsQueryTakesFinitePlacedPoints)
{
    const double inf = HUGE_VAL, nan = std::nan("");
    const auto db = database_of({{39.5, 7}, {inf, 1}, {nan, 2}, {100, -inf}, {250, -3}, {60, 1e300}, {-5, 8}}, "t");
    SumsQuery query;
    query.table = "t";
    query.x = "pos x";
    query.y = "y";
    const struct {
        BinningRule rule;
        bool log_x, log_y;
        const char* bounds;
    } cases[] = {
        {BinningRule::bilinear, false, false, "-5,250,-3,1.0000000000000001e+300,4"},
        {BinningRule::classic, false, false, "-6,250,-3,1.0000000000000001e+300,4"},
        {BinningRule::bilinear, true, false, "39.5,250,-3,1.0000000000000001e+300,3"},
        {BinningRule::classic, true, false, "38.5,250,-3,1.0000000000000001e+300,3"},
        {BinningRule::bilinear, false, true, "-5,60,7,1.0000000000000001e+300,3"},
        {BinningRule::bilinear, true, true, "39.5,60,7,1.0000000000000001e+300,2"},
    };
    for (const auto& c : cases) {
        query.binning = c.rule;
        query.log_x = c.log_x;
        query.log_y = c.log_y;
        EXPECT_EQ(run_as_csv(db.get(), bounds_query(query)), std::string("x_lo,x_hi,y_lo,y_hi,n\n") + c.bounds + "\n")
            << binning_rule_name(c.rule) << c.log_x << c.log_y;
    }
}

// ClickHouse's query, one level, defines each step once where it is first
// used and names it after that: all eight steps with weights, means and
// logs.
TEST(SumsQuery, ClickHouseDefinesEachStepOnce)
{
    SumsQuery query;
    query.dialect = SqlDialect::clickhouse;
    query.table = "t";
    query.x = "x";
    query.y = "y";
    query.weight = "w";
    query.value = "z";
    query.log_x = query.log_y = true;
    query.range = {1, 10, 1, 10};
    const std::string text = cell_sums_query(query);
    for (const char* step : {"px", "py", "qx", "qy", "x", "y", "w", "z"}) {
        const std::string definition = std::string(" AS varnel_") + step + ")";
        const size_t first = text.find(definition);
        EXPECT_NE(first, std::string::npos) << step << "\n" << text;
        EXPECT_EQ(text.find(definition, first + 1), std::string::npos) << step << "\n" << text;
    }
}

TEST(SumsQuery, RefusesNamesThatCannotBeQuotedAndOpenRanges)
{
    SumsQuery query;
    query.table = "points";
    query.x = "x";
    query.y = "y";
    query.range = Range{0, 1, 0, 1};
    EXPECT_FALSE(cell_sums_query(query).empty());
    const struct {
        SqlDialect dialect;
        std::string table, x;
        Range range;
        std::string weight = {}, value = {};
        bool log_x = false, log_y = false;
    } refused[] = {
        {SqlDialect::standard, "", "x", {0, 1, 0, 1}},
        {SqlDialect::standard, "db..t", "x", {0, 1, 0, 1}},
        {SqlDialect::standard, "t", "x\n", {0, 1, 0, 1}},
        {SqlDialect::clickhouse, "t", "x\n FROM secrets --", {0, 1, 0, 1}},
        {SqlDialect::clickhouse, "d.\x7f", "x", {0, 1, 0, 1}},
        {SqlDialect::standard, "t", std::string(256, 'x'), {0, 1, 0, 1}},
        {SqlDialect::standard, "t", "x", {0, HUGE_VAL, 0, 1}},
        {SqlDialect::standard, "t", "x", {1, 1, 0, 1}},
        {SqlDialect::standard, "t", "x", {0, 1, 0, 1}, "w\n"},
        {SqlDialect::clickhouse, "t", "x", {0, 1, 0, 1}, "w", std::string(256, 'z')},
        // A logarithmic axis whose range reaches zero.
        {SqlDialect::standard, "t", "x", {0, 1, 1, 2}, "", "", true},
        {SqlDialect::clickhouse, "t", "x", {1, 2, -1, 2}, "", "", false, true},
    };
    for (const auto& r : refused) {
        query.dialect = r.dialect;
        query.table = r.table;
        query.x = r.x;
        query.range = r.range;
        query.weight = r.weight;
        query.value = r.value;
        query.log_x = r.log_x;
        query.log_y = r.log_y;
        EXPECT_EQ(cell_sums_query(query), "") << r.table << " " << r.x;
    }
}

} // namespace
