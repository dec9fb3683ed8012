// varnel-cli grid: bins a data file into the density field and prints the
// normalised grid, or with --sums the sums of its cells.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/commands.h"
#include "tools/data_commands.h"
#include "tools/shared_options.h"

namespace {

// What grid's command line asks for.
struct GridLine {
    std::optional<std::string> data_path;
    std::optional<std::string> out_path;
    LoadRequest request;
};

// grid's options, one row each.
void declare_options(OptionTable& table, GridLine* line)
{
    line->request.range = default_range();
    LoadRequest& request = line->request;
    add_range_option(table, &request.range, &request.fit_range);
    table
        .words("--skip", "N", 1, "lines passed over before the data, 0 to 2147483647",
               [&request](const Words& words) {
                   const std::string& text = word_at(words, 0, "--skip", "a number of lines");
                   long lines = 0;
                   if (!whole_number(text, 0, 0x7fffffff, &lines))
                       throw UsageProblem(bad_value("--skip", text.c_str(), "not a whole number from 0 to 2147483647"));
                   request.skip_lines = int(lines);
               })
        ->default_str("0");
    add_columns_option(table, &request.columns);
    add_file_option(table, "-o", "OUT", "the file the grid goes to, in place of standard output", &line->out_path);
    add_threads_option(table, &request.threads, "threads that read the data (at most 4 per core are used)");
    add_binning_option(table, &request.binning, &request.binning_chosen);
    add_value_options(table, &request);
    table.flag("--sums", &request.keep_sums,
               "the sums of the grid's cells (with those of weights and values, and log axes, as asked), as a table "
               "to load again, for the grid");
    table.others("DATA", "a data file, or a database's address", [line](const std::string& word) {
        if (line->data_path)
            throw UsageProblem("one data file only, not also " + word);
        line->data_path = word;
    });
}

} // namespace

std::string grid_help()
{
    OptionTable table("grid", kGridUsage);
    GridLine line;
    declare_options(table, &line);
    return table.help();
}

int grid_command(int argc, char** argv)
{
    OptionTable table("grid", kGridUsage);
    GridLine line;
    declare_options(table, &line);
    if (const std::string problem = table.parse(argc, argv); !problem.empty())
        return usage_error(kGridUsage, problem);
    if (!line.data_path)
        return usage_error(kGridUsage, "no data file given");
    const char* data_path = line.data_path->c_str();
    const char* out_path = line.out_path ? line.out_path->c_str() : nullptr;
    LoadRequest& request = line.request;

    request.path = data_path;
    const LoadedField loaded = load_for_command(request);
    if (loaded.failure == LoadFailure::no_column)
        return usage_error(kGridUsage, no_column_problem(loaded, data_path));
    if (!loaded.field)
        return 1;
    DensityField* field = loaded.field.get();

    ReplacingFile out_file;
    std::FILE* out = stdout;
    if (out_path) {
        if (!open_output(&out_file, out_path))
            return cannot_write(out_path, out_file.reason());
        out = out_file.stream();
    }

    CheckedOutput output(out);
    if (loaded.sums) {
        output.took(write_cell_sums(out, *loaded.sums));
    } else {
        const int nx = field->ops.width(field);
        const int ny = field->ops.height(field);
        const double* nodes = field->ops.data(field);
        // Each node as "%.17g" writes it, a row at a time: printf costs
        // more than reading a small file.
        std::vector<char> row(std::size_t(nx) * 32 + 1);
        for (int j = 0; j < ny; ++j) {
            char* at = row.data();
            for (int i = 0; i < nx; ++i) {
                if (i)
                    *at++ = ' ';
                at = std::to_chars(at, row.data() + row.size(), nodes[j * nx + i], std::chars_format::general, 17).ptr;
            }
            *at++ = '\n';
            output.write(row.data(), std::size_t(at - row.data()));
        }
    }
    // A failed write is reported with its own reason; only a whole grid
    // replaces the file.
    const int write_error = output.finish();
    const bool write_failed = write_error != 0 || (out_path && !out_file.commit());

    // The counts beyond the first three came later; they go at the end.
    const FieldCounts& counts = loaded.counts;
    std::fprintf(stderr,
                 "load=%d rejected=%lld max=%.17g points=%lld in_range=%lld rejected_lines=%lld header=%d nan=%lld",
                 loaded.loaded, counts.rejected, loaded.max, counts.points, counts.in_range, counts.rejected_lines,
                 counts.header ? 1 : 0, counts.not_a_number);
    // Where the field has them (asked for, or a table of sums holds them),
    // the weights and the points with no logarithm end the line.
    bool log_x = false, log_y = false;
    density_field_log_axes(field, &log_x, &log_y);
    if (loaded.weighted)
        std::fprintf(stderr, " weight=%.17g", counts.weight);
    if (log_x || log_y)
        std::fprintf(stderr, " nonpositive=%lld", counts.nonpositive);
    std::fputc('\n', stderr);
    if (write_failed && out_path)
        return cannot_write(out_path, write_error ? std::strerror(write_error) : out_file.reason());
    if (write_failed) {
        std::fprintf(stderr, "varnel-cli: writing the grid failed: %s\n", std::strerror(write_error));
        return 1;
    }
    return 0;
}
