// varnel-cli grid: bins a data file into the density field and prints the
// normalised grid, or with --sums the sums of its cells.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/commands.h"
#include "tools/data_commands.h"

namespace {

bool parse_count(const char* text, int* value)
{
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || n < 0 || n > 0x7fffffff)
        return false;
    *value = static_cast<int>(n);
    return true;
}

} // namespace

int grid_command(int argc, char** argv)
{
    const char* data_path = nullptr;
    const char* out_path = nullptr;
    LoadRequest request;
    request.range = default_range();

    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--range") == 0) {
            std::string problem;
            if (!parse_range_option(argc, argv, i, &request.range, &request.fit_range, &problem))
                return usage_error(kGridUsage, problem);
        } else if (std::strcmp(arg, "--columns") == 0) {
            std::string problem;
            if (!parse_columns_option(argc, argv, i, &request.columns, &problem))
                return usage_error(kGridUsage, problem);
        } else if (std::strcmp(arg, "--binning") == 0) {
            std::string problem;
            if (!parse_binning_option(argc, argv, i, &request.binning, &problem))
                return usage_error(kGridUsage, problem);
            request.binning_chosen = true;
        } else if (std::strcmp(arg, "--skip") == 0) {
            if (i + 1 >= argc)
                return usage_error(kGridUsage, missing_value(arg, "a number of lines"));
            if (!parse_count(argv[++i], &request.skip_lines))
                return usage_error(kGridUsage, bad_value(arg, argv[i], "not a whole number from 0 to 2147483647"));
        } else if (std::strcmp(arg, "--threads") == 0) {
            if (i + 1 >= argc)
                return usage_error(kGridUsage, missing_value(arg, "a number of threads"));
            if (!parse_threads(argv[++i], &request.threads))
                return usage_error(kGridUsage, bad_value(arg, argv[i], kThreadsRule));
        } else if (std::strcmp(arg, "--sums") == 0) {
            request.keep_sums = true;
        } else if (std::strcmp(arg, "-o") == 0) {
            if (i + 1 >= argc)
                return usage_error(kGridUsage, missing_value(arg, "a file name"));
            out_path = argv[++i];
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return usage_error(kGridUsage, unknown_option(arg));
        } else if (!data_path) {
            data_path = arg;
        } else {
            return usage_error(kGridUsage, std::string("one data file only, not also ") + arg);
        }
    }
    if (!data_path)
        return usage_error(kGridUsage, "no data file given");

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
                 "load=%d rejected=%lld max=%.17g points=%lld in_range=%lld rejected_lines=%lld header=%d nan=%lld\n",
                 loaded.loaded, counts.rejected, loaded.max, counts.points, counts.in_range, counts.rejected_lines,
                 counts.header ? 1 : 0, counts.not_a_number);
    if (write_failed && out_path)
        return cannot_write(out_path, write_error ? std::strerror(write_error) : out_file.reason());
    if (write_failed) {
        std::fprintf(stderr, "varnel-cli: writing the grid failed: %s\n", std::strerror(write_error));
        return 1;
    }
    return 0;
}
