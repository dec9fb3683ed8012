// varnel-cli grid: bins a data file into the density field and prints the
// normalised grid.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "field/density_field.h"
#include "tools/commands.h"

namespace {

const char kUsage[] = "usage: varnel-cli grid DATA [--range XMIN XMAX YMIN YMAX] [--skip N] [-o OUT]\n";

int usage_error()
{
    std::fputs(kUsage, stderr);
    return 2;
}

bool parse_double(const char* text, double* value)
{
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

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

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

int grid_command(int argc, char** argv)
{
    const char* data_path = nullptr;
    const char* out_path = nullptr;
    double range[4] = {0, 4000, 0, 4000}; // XMIN XMAX YMIN YMAX
    int skip = 0;

    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--range") == 0) {
            if (i + 4 >= argc)
                return usage_error();
            for (int k = 0; k < 4; ++k)
                if (!parse_double(argv[++i], &range[k]))
                    return usage_error();
        } else if (std::strcmp(arg, "--skip") == 0) {
            if (i + 1 >= argc || !parse_count(argv[++i], &skip))
                return usage_error();
        } else if (std::strcmp(arg, "-o") == 0) {
            if (i + 1 >= argc)
                return usage_error();
            out_path = argv[++i];
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return usage_error();
        } else if (!data_path) {
            data_path = arg;
        } else {
            return usage_error();
        }
    }
    if (!data_path)
        return usage_error();

    std::unique_ptr<std::FILE, FileCloser> data(std::fopen(data_path, "r"));
    if (!data) {
        std::fprintf(stderr, "varnel-cli: cannot open %s: %s\n", data_path, std::strerror(errno));
        return 1;
    }

    DensityField* field = create_density_field(range[0], range[2], range[1], range[3]);
    if (!field) {
        std::fprintf(stderr, "varnel-cli: out of memory\n");
        return 1;
    }
    errno = 0;
    int loaded = field->ops.load(field, data.get(), skip);
    // A read error is no end of file: the grid would show a part of the data
    // (or none, for a folder, which fopen opens) as if it were all.
    if (std::ferror(data.get())) {
        const int error = errno;
        std::fprintf(stderr, "varnel-cli: cannot read %s: %s\n", data_path,
                     std::strerror(error ? error : EIO));
        field->ops.destroy(field);
        return 1;
    }
    data.reset();

    std::unique_ptr<std::FILE, FileCloser> out_file;
    std::FILE* out = stdout;
    if (out_path) {
        out_file.reset(std::fopen(out_path, "w"));
        if (!out_file) {
            std::fprintf(stderr, "varnel-cli: cannot write %s: %s\n", out_path, std::strerror(errno));
            field->ops.destroy(field);
            return 1;
        }
        out = out_file.get();
    }

    const int nx = field->ops.width(field);
    const int ny = field->ops.height(field);
    const double* nodes = field->ops.data(field);
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i)
            std::fprintf(out, i ? " %.17g" : "%.17g", nodes[j * nx + i]);
        std::fputc('\n', out);
    }
    bool write_failed = std::fflush(out) != 0 || std::ferror(out);

    std::fprintf(stderr, "load=%d rejected=%d max=%.17g\n", loaded, field->ops.rejected(field),
                 density_field_max(field));
    field->ops.destroy(field);
    if (write_failed) {
        std::fprintf(stderr, "varnel-cli: writing the grid failed\n");
        return 1;
    }
    return 0;
}
