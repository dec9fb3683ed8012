#include "field/load_steps.h"

#include <cerrno>
#include <string>
#include <vector>

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

void name_damage(const LoadWatch& watch, LoadedField& result)
{
    if (watch.meter)
        result.problem = watch.meter->damage;
}

bool read_failed(std::FILE* file, const LoadWatch& watch, LoadedField& result)
{
    if (!std::ferror(file))
        return false;
    result.failure = LoadFailure::cannot_read;
    result.error = errno ? errno : EIO;
    name_damage(watch, result);
    return true;
}

FieldPtr new_field(LoadedField& result)
{
    const Range& r = result.range;
    FieldPtr field(create_density_field(r));
    if (!field) {
        result.failure = LoadFailure::no_memory;
        return nullptr;
    }
    density_field_set_binning(field.get(), result.binning);
    return field;
}

namespace {

// The table a load of points fills as it bins them, saying how they were
// binned: its rule, range, columns summed and axes.
std::unique_ptr<CellSumsTable> sums_to_keep(const LoadRequest& request, const LoadedField& result)
{
    auto table = std::make_unique<CellSumsTable>();
    const ColumnsRead& read = result.columns;
    // A column without a header's name is named by its number.
    const auto name_of = [](int column, const std::string& name) {
        return name.empty() ? "column " + std::to_string(column) : name;
    };
    table->range = result.range;
    table->has_range = true;
    table->has_binning = true;
    table->binning = request.binning;
    table->weighted = read.columns.weight > 0;
    table->means = read.columns.value > 0;
    table->weight_name = name_of(read.columns.weight, read.weight_name);
    table->value_name = name_of(read.columns.value, read.value_name);
    table->log_x = request.log_x;
    table->log_y = request.log_y;
    if (table->weighted || table->means)
        table->values.resize(table->cells.size());
    return table;
}

} // namespace

void bin_into_field(const LoadRequest& request, const LoadWatch& watch, ReadWatch read_watch, std::FILE* file,
                    KeptPoints* keep, bool from_kept, KeptPoints* load_keeps, PlacedBounds* gathered,
                    LoadedField& result, const KeptPoints* beginning)
{
    FieldPtr field = new_field(result);
    if (!field)
        return;
    const Columns& columns = result.columns.columns;
    density_field_set_columns(field.get(), columns.x, columns.y);
    if (!density_field_set_log_axes(field.get(), request.log_x, request.log_y)) {
        result.failure = LoadFailure::log_range;
        return;
    }
    if (!density_field_set_values(field.get(), columns.weight, columns.value)) {
        result.failure = LoadFailure::no_memory;
        return;
    }
    density_field_set_dialect(field.get(), TextDialect{columns.separator, columns.decimal_comma},
                              columns.byte_order_mark);
    density_field_set_threads(field.get(), request.threads);
    if (read_watch.go_on)
        density_field_set_watch(field.get(), read_watch.go_on, read_watch.context);
    density_field_gather_bounds(field.get(), gathered);
    if (request.keep_sums) {
        result.sums = sums_to_keep(request, result);
        std::vector<CellValueSums>& values = result.sums->values;
        density_field_set_cell_sums(field.get(), result.sums->cells.data(), values.empty() ? nullptr : values.data());
    }
    errno = 0;
    if (from_kept) {
        result.loaded = density_field_load_kept(field.get(), *keep);
    } else {
        density_field_keep_points(field.get(), load_keeps);
        result.loaded = beginning ? density_field_load_after(field.get(), *beginning, file, request.skip_lines)
                                  : field->ops.load(field.get(), file, request.skip_lines);
        density_field_keep_points(field.get(), nullptr);
        if (read_failed(file, watch, result)) {
            if (load_keeps)
                load_keeps->clear();
            return;
        }
    }
    result.max = density_field_max(field.get());
    result.least = density_field_least(field.get());
    result.measure = density_field_measure(field.get());
    result.weighted = columns.weight > 0;
    result.counts = density_field_counts(field.get());
    if (result.counts.changed) {
        result.failure = LoadFailure::changed;
        return;
    }
    if (result.sums) {
        result.sums->rejected = result.counts.rejected;
        result.sums->not_a_number = result.counts.not_a_number;
        result.sums->nonpositive = result.counts.nonpositive;
    }
    result.field = std::move(field);
}
