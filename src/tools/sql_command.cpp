// varnel-cli sql: prints the query that bins the points of a table where
// they are stored, for any database to run; its result, saved as CSV,
// opens as a data file.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "field/sources/sums_query.h"
#include "tools/commands.h"
#include "tools/data_commands.h"
#include "tools/shared_options.h"

namespace {

// sql's options, one row each.
void declare_options(OptionTable& table, SumsQuery* query)
{
    query->range = default_range();
    const std::pair<const char*, std::string*> names[] = {{"--table", &query->table},
                                                          {"--x", &query->x},
                                                          {"--y", &query->y},
                                                          {"--weight", &query->weight},
                                                          {"--mean", &query->value}};
    const char* helps[] = {"the table holding the points", "the column of x", "the column of y",
                           "the column of each point's weight, summed instead of 1 (a NULL weight: a NaN point)",
                           "the column whose mean each node holds, weighted by --weight (a NULL value: a NaN point)"};
    for (size_t k = 0; k < std::size(names); ++k) {
        // Plain names, not a structured binding: clang before 16 captures none.
        const char* option = names[k].first;
        std::string* name = names[k].second;
        table.words(option, "NAME", 1, helps[k],
                    [option, name](const Words& words) { *name = word_at(words, 0, option, "a name"); });
    }
    add_range_option(table, &query->range, nullptr);
    table
        .words("--dialect", "standard|clickhouse", 1, "the database's dialect of SQL",
               [query](const Words& words) {
                   const std::string& dialect = word_at(words, 0, "--dialect", "standard or clickhouse");
                   if (dialect != "standard" && dialect != "clickhouse")
                       throw UsageProblem(
                           bad_value("--dialect", dialect.c_str(), "the dialect is standard or clickhouse"));
                   query->dialect = dialect == "clickhouse" ? SqlDialect::clickhouse : SqlDialect::standard;
               })
        ->default_str("standard");
    add_binning_option(table, &query->binning, nullptr);
    add_log_options(table, &query->log_x, &query->log_y);
}

} // namespace

std::string sql_help()
{
    OptionTable table("sql", kSqlUsage);
    SumsQuery query;
    declare_options(table, &query);
    return table.help();
}

int sql_command(int argc, char** argv)
{
    OptionTable table("sql", kSqlUsage);
    SumsQuery query;
    declare_options(table, &query);
    if (const std::string problem = table.parse(argc, argv); !problem.empty())
        return usage_error(kSqlUsage, problem);
    if (query.table.empty() || query.x.empty() || query.y.empty())
        return usage_error(kSqlUsage, "--table, --x and --y are all needed");
    if (!logarithms_defined(query.range, query.log_x, query.log_y))
        return usage_error(kSqlUsage, "--log-x and --log-y need the range of their axis above zero");
    const std::string text = cell_sums_query(query);
    if (text.empty())
        return usage_error(kSqlUsage, "a name is empty, longer than 255 bytes, or holds a control character");
    CheckedOutput output(stdout);
    output.print(text + ";\n");
    if (const int error = output.finish()) {
        std::fprintf(stderr, "varnel-cli: writing the query failed: %s\n", std::strerror(error));
        return 1;
    }
    return 0;
}
