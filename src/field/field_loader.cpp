#include "field/field_loader.h"

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>

#include "field/file_header.h"
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

// The index of a header's name, counted from 1; 0 for none.
int column_named(const FileHeader& header, const std::string& name)
{
    for (std::size_t k = 0; k < header.columns.size(); ++k)
        if (header.columns[k].name == name)
            return int(k) + 1;
    return 0;
}

// Where x and y stand, from the numbers, the names or the header; false
// with no_column for a name the header lacks. Only a regular file is read
// for its header: a pipe read for it would lose its first lines.
bool resolve_columns(const LoadRequest& request, LoadedField& result)
{
    const ColumnRequest& asked = request.columns;
    ColumnsRead& read = result.columns;
    read.columns = asked.numbers;
    FileHeader header;
    struct stat facts;
    const bool regular = stat(request.path.c_str(), &facts) == 0 && S_ISREG(facts.st_mode);
    if (regular && !read_file_header(request.path.c_str(), request.skip_lines, &header)) {
        result.failure = LoadFailure::cannot_read;
        result.error = errno ? errno : EIO;
        return false;
    }
    for (const HeaderColumn& column : header.columns)
        read.header.push_back(column.name);
    const std::pair<const std::string*, int*> names[] = {{&asked.x_name, &read.columns.x},
                                                         {&asked.y_name, &read.columns.y}};
    for (const auto& [name, number] : names) {
        if (name->empty())
            continue;
        *number = column_named(header, *name);
        if (*number == 0) {
            result.failure = LoadFailure::no_column;
            read.missing = *name;
            return false;
        }
    }
    if (!asked.chosen && header.present) {
        read.columns = columns_to_plot(header);
        read.picked = header.columns.size() > 2;
    }
    const auto name_of = [&](int column) {
        return column >= 1 && column <= int(header.columns.size()) ? header.columns[column - 1].name : std::string();
    };
    if (header.present) {
        read.x_name = name_of(read.columns.x);
        read.y_name = name_of(read.columns.y);
    }
    return true;
}

// The fitting pass: the range of the points, when the file has any.
bool fit_range(const LoadRequest& request, const LoadWatch& watch, LoadedField& result)
{
    const File file = open_source(request, watch, result);
    if (!file)
        return false;
    errno = 0;
    const DataBounds bounds = read_data_bounds(file.get(), request.skip_lines, result.columns.columns, watch.watch,
                                               request.binning, request.threads);
    if (read_failed(file.get(), result))
        return false;
    if (bounds.read.changed) {
        result.failure = LoadFailure::changed;
        return false;
    }
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
    if (!resolve_columns(request, result))
        return result;
    // Fitting reads the file twice: a pipe or a FIFO would give its points to
    // the first pass alone (and a FIFO opened again waits for ever).
    struct stat facts;
    if (request.fit_range && stat(request.path.c_str(), &facts) == 0 &&
        (S_ISFIFO(facts.st_mode) || S_ISCHR(facts.st_mode) || S_ISSOCK(facts.st_mode))) {
        result.failure = LoadFailure::read_once;
        return result;
    }
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
    density_field_set_columns(field.get(), result.columns.columns.x, result.columns.columns.y);
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
    if (result.counts.changed) {
        result.failure = LoadFailure::changed;
        return result;
    }
    result.field = std::move(field);
    return result;
}
