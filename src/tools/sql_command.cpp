// varnel-cli sql: prints the query that bins the points of a table where
// they are stored, for any database to run; its result, saved as CSV,
// opens as a data file.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "field/sources/sums_query.h"
#include "tools/commands.h"
#include "tools/data_commands.h"

int sql_command(int argc, char** argv)
{
    SumsQuery query;
    bool have_range = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        std::string* name = std::strcmp(arg, "--table") == 0 ? &query.table
            : std::strcmp(arg, "--x") == 0                   ? &query.x
            : std::strcmp(arg, "--y") == 0                   ? &query.y
                                                             : nullptr;
        if (name) {
            if (i + 1 >= argc)
                return usage_error(kSqlUsage, missing_value(arg, "a name"));
            *name = argv[++i];
        } else if (std::strcmp(arg, "--range") == 0) {
            if (i + 4 >= argc)
                return usage_error(kSqlUsage, missing_value(arg, "four numbers, XMIN XMAX YMIN YMAX"));
            Range& r = query.range;
            for (double* value : {&r.x_min, &r.x_max, &r.y_min, &r.y_max})
                if (!parse_double(argv[++i], value))
                    return usage_error(kSqlUsage, bad_value(arg, argv[i], "not a number"));
            have_range = true;
        } else if (std::strcmp(arg, "--dialect") == 0) {
            if (i + 1 >= argc)
                return usage_error(kSqlUsage, missing_value(arg, "standard or clickhouse"));
            const std::string dialect = argv[++i];
            if (dialect != "standard" && dialect != "clickhouse")
                return usage_error(kSqlUsage, bad_value(arg, argv[i], "the dialect is standard or clickhouse"));
            query.dialect = dialect == "clickhouse" ? SqlDialect::clickhouse : SqlDialect::standard;
        } else if (std::strcmp(arg, "--binning") == 0) {
            std::string problem;
            if (!parse_binning_option(argc, argv, i, &query.binning, &problem))
                return usage_error(kSqlUsage, problem);
        } else {
            return usage_error(kSqlUsage, unknown_option(arg));
        }
    }
    if (!have_range)
        query.range = default_range();
    if (query.table.empty() || query.x.empty() || query.y.empty())
        return usage_error(kSqlUsage, "--table, --x and --y are all needed");
    if (const std::string problem = range_problem(query.range); !problem.empty())
        return usage_error(kSqlUsage, problem);
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
