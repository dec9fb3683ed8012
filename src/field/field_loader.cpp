#include "field/field_loader.h"

#include <cerrno>
#include <cstdio>

#include "field/plot_range.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_source(const LoadRequest& request, const LoadWatch& watch, LoadedField& result)
{
    errno = 0;
    File file(open_data_file(request.path.c_str(), watch.meter));
    if (!file) {
        result.failure = LoadFailure::cannot_open;
        result.error = errno ? errno : ENOENT;
    }
    return file;
}

// A read error is no end of file: what was read would show part of the data
// (or none, for a folder, which fopen opens) as if it were all.
bool read_failed(std::FILE* file, LoadedField& result)
{
    if (!std::ferror(file))
        return false;
    result.failure = LoadFailure::cannot_read;
    result.error = errno ? errno : EIO;
    return true;
}

// The fitting pass: the range of the points, when the file has any.
bool fit_range(const LoadRequest& request, const LoadWatch& watch, LoadedField& result)
{
    const File file = open_source(request, watch, result);
    if (!file)
        return false;
    errno = 0;
    const DataBounds bounds = read_data_bounds(file.get(), request.skip_lines, request.columns, watch.watch,
                                               request.binning, request.threads);
    if (read_failed(file.get(), result))
        return false;
    if (bounds.read.stopped) {
        result.counts.stopped = true;
        return false;
    }
    result.fitted = fitted_range(bounds, &result.range);
    return true;
}

} // namespace

LoadedField load_field(const LoadRequest& request, LoadWatch watch)
{
    LoadedField result;
    result.range = request.range;
    if (request.fit_range && !fit_range(request, watch, result))
        return result;

    const File file = open_source(request, watch, result);
    if (!file)
        return result;
    const Range& r = result.range;
    FieldPtr field(create_density_field(r.x_min, r.y_min, r.x_max, r.y_max));
    if (!field) {
        result.failure = LoadFailure::no_memory;
        return result;
    }
    density_field_set_columns(field.get(), request.columns.x, request.columns.y);
    density_field_set_threads(field.get(), request.threads);
    density_field_set_binning(field.get(), request.binning);
    if (watch.watch.go_on)
        density_field_set_watch(field.get(), watch.watch.go_on, watch.watch.context);
    errno = 0;
    result.loaded = field->ops.load(field.get(), file.get(), request.skip_lines);
    if (read_failed(file.get(), result))
        return result;
    result.max = density_field_max(field.get());
    result.counts = density_field_counts(field.get());
    result.field = std::move(field);
    return result;
}
