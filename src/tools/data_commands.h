// What the data subcommands (grid, render) share: numbers from their
// arguments and the density field loaded from the data file.
#pragma once

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "field/density_field.h"
#include "settings/settings.h"
#include "tools/command_basics.h"

// The whole argument as a number.
inline bool parse_double(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

// XMIN XMAX YMIN YMAX as the viewer has them on its first run.
inline std::array<double, 4> default_range()
{
    const Settings defaults = default_settings();
    return {double(defaults.x_min), double(defaults.x_max), double(defaults.y_min), double(defaults.y_max)};
}

struct FieldDestroyer {
    void operator()(DensityField* field) const { field->ops.destroy(field); }
};
using FieldPtr = std::unique_ptr<DensityField, FieldDestroyer>;

// The field over the range (XMIN XMAX YMIN YMAX) loaded from the file at
// `path` after `skip` lines, with the load's result in *loaded. Null after
// one line on standard error when the file cannot be opened or read, or
// the field cannot be made.
inline FieldPtr load_data_field(const char* path, const double range[4], int skip, int* loaded)
{
    File data(std::fopen(path, "r"));
    if (!data) {
        std::fprintf(stderr, "varnel-cli: cannot open %s: %s\n", path, std::strerror(errno));
        return nullptr;
    }
    FieldPtr field(create_density_field(range[0], range[2], range[1], range[3]));
    if (!field) {
        std::fprintf(stderr, "varnel-cli: out of memory\n");
        return nullptr;
    }
    errno = 0;
    *loaded = field->ops.load(field.get(), data.get(), skip);
    // A read error is no end of file: the field would show a part of the
    // data (or none, for a folder, which fopen opens) as if it were all.
    if (std::ferror(data.get())) {
        const int error = errno;
        std::fprintf(stderr, "varnel-cli: cannot read %s: %s\n", path, std::strerror(error ? error : EIO));
        return nullptr;
    }
    return field;
}
