#include "field/field_loader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

#include "field/sources/clickhouse_source.h"
#include "field/sources/data_description.h"
#include "field/sources/file_header.h"
#include "field/sources/npy_point_source.h"
#include "field/guessed_range.h"
#include "field/load_steps.h"
#include "field/grid_size.h"
#include "field/plot_range.h"

namespace {

// The numbers of the columns asked for by name, found among the header's
// names (already in result.columns.header); false with no_column for a
// name that is not there.
bool columns_named(const ColumnRequest& asked, LoadedField& result)
{
    ColumnsRead& read = result.columns;
    const struct {
        const std::string* name;
        int* number;
        ColumnRole role;
    } names[] = {{&asked.x_name, &read.columns.x, ColumnRole::x},
                 {&asked.y_name, &read.columns.y, ColumnRole::y},
                 {&asked.weight_name, &read.columns.weight, ColumnRole::weight},
                 {&asked.value_name, &read.columns.value, ColumnRole::value}};
    for (const auto& [name, number, role] : names) {
        if (name->empty())
            continue;
        const auto found = std::find(read.header.begin(), read.header.end(), *name);
        if (found == read.header.end()) {
            result.failure = LoadFailure::no_column;
            read.missing = *name;
            read.missing_role = role;
            return false;
        }
        *number = int(found - read.header.begin()) + 1;
    }
    return true;
}

// The names of the weight's and the value's columns, where the header has them.
void name_values(ColumnsRead& read, const std::vector<std::string>& names)
{
    const auto name_of = [&](int column) {
        return column >= 1 && column <= int(names.size()) ? names[std::size_t(column - 1)] : std::string();
    };
    read.weight_name = name_of(read.columns.weight);
    read.value_name = name_of(read.columns.value);
}

// An array's columns from its layout, as resolve_columns finds a text
// file's: the fields of a structured array stand for a header's names.
bool resolve_array_columns(const NpyLayout& layout, const LoadRequest& request, LoadedField& result)
{
    ColumnsRead& read = result.columns;
    const ColumnRequest& asked = request.columns;
    read.columns = asked.numbers;
    if (layout.structured)
        for (const NpyColumn& column : layout.columns)
            read.header.push_back(column.name);
    if (!columns_named(asked, result))
        return false;
    const int count = int(layout.columns.size());
    const Columns& chosen = read.columns;
    // A weight or a value not asked for stands for x here.
    for (const int column :
         {chosen.x, chosen.y, chosen.weight ? chosen.weight : chosen.x, chosen.value ? chosen.value : chosen.x}) {
        if (column < 1 || column > count) {
            result.failure = LoadFailure::bad_array;
            result.problem = "column " + std::to_string(column) + " asked for, the array has " + std::to_string(count);
            return false;
        }
    }
    if (layout.structured) {
        read.x_name = read.header[std::size_t(read.columns.x - 1)];
        read.y_name = read.header[std::size_t(read.columns.y - 1)];
    }
    name_values(read, read.header);
    return true;
}

// The file opened and described for its first pass; null with the failure
// when it cannot be opened or read, or is an array whose header is refused.
File open_first_pass(const LoadRequest& request, const LoadWatch& watch, DataDescription* description,
                     LoadedField& result)
{
    errno = 0;
    File file(open_described(request.path.c_str(), request.skip_lines, watch.meter, description, &result.problem));
    if (file)
        return file;
    if (!result.problem.empty()) {
        result.failure = LoadFailure::bad_array;
        return nullptr;
    }
    result.error = errno ? errno : ENOENT;
    // A file that exists but gave no bytes to look at could not be read.
    struct stat facts;
    result.failure = stat(request.path.c_str(), &facts) == 0 && access(request.path.c_str(), R_OK) == 0
        ? LoadFailure::cannot_read
        : LoadFailure::cannot_open;
    if (result.failure == LoadFailure::cannot_read) // damaged within that first look
        name_damage(watch, result);
    return nullptr;
}

// Where x and y stand, from the numbers, the names, the file's header or
// the caller's choice among its columns; false with no_column for a name
// the header lacks, or stopped when the caller chose nothing.
bool resolve_columns(const LoadRequest& request, const FileHeader& header, LoadedField& result)
{
    const ColumnRequest& asked = request.columns;
    ColumnsRead& read = result.columns;
    read.columns = asked.numbers;
    for (const HeaderColumn& column : header.columns)
        read.header.push_back(column.name);
    if (!columns_named(asked, result))
        return false;
    if (!asked.chosen && header.present) {
        const Columns values = read.columns;
        read.columns = columns_to_plot(header);
        read.columns.weight = values.weight;
        read.columns.value = values.value;
        read.picked = header.columns.size() > 2;
        if (read.picked && request.choose_columns) {
            if (!request.choose_columns(header, &read.columns)) {
                result.counts.stopped = true;
                return false;
            }
            read.picked = false;
        }
    }
    const auto name_of = [&](int column) {
        return column >= 1 && column <= int(header.columns.size()) ? header.columns[column - 1].name : std::string();
    };
    if (header.present) {
        read.x_name = name_of(read.columns.x);
        read.y_name = name_of(read.columns.y);
        name_values(read, read.header);
    }
    // The classic rule reads every file as it always has.
    if (request.binning != BinningRule::classic) {
        read.columns.separator = header.dialect.separator;
        read.columns.decimal_comma = header.dialect.decimal_comma;
        read.columns.byte_order_mark = header.byte_order_mark;
    }
    return true;
}

// The fitting pass: the range of the points, when the file has any; from
// the kept points where they are the file's, else keeping them where `keep`
// is started.
bool fit_range(const LoadRequest& request, const File& file, const LoadWatch& watch, KeptPoints* keep, bool from_kept,
               LoadedField& result)
{
    errno = 0;
    const DataBounds bounds = from_kept
        ? kept_data_bounds(*keep, request.binning, request.threads, request.log_x, request.log_y)
        : read_data_bounds(file.get(), request.skip_lines, result.columns.columns, watch.watch, request.binning,
                           request.threads, request.log_x, request.log_y, keep);
    if (read_failed(file.get(), watch, result)) {
        if (keep)
            keep->clear();
        return false;
    }
    if (bounds.read.changed) {
        result.failure = LoadFailure::changed;
        return false;
    }
    if (bounds.read.stopped) {
        result.counts.stopped = true;
        return false;
    }
    result.fitted = fitted_range(bounds, &result.range, request.log_x, request.log_y);
    return true;
}

} // namespace

std::pair<double, double> filled_parts(const DensityField* field)
{
    const double* nodes = field->ops.data(const_cast<DensityField*>(field));
    int low[2] = {kGridNodes, kGridNodes}, high[2] = {-1, -1};
    for (int j = 0; j < kGridNodes; ++j)
        for (int i = 0; i < kGridNodes; ++i)
            if (const double v = nodes[j * kGridNodes + i]; v != 0 && !std::isnan(v)) {
                low[0] = std::min(low[0], i), high[0] = std::max(high[0], i);
                low[1] = std::min(low[1], j), high[1] = std::max(high[1], j);
            }
    return {std::max(0, high[0] - low[0]) / double(kGridCells), std::max(0, high[1] - low[1]) / double(kGridCells)};
}

bool points_mostly_outside(const LoadedField& loaded)
{
    return loaded.counts.points > 0 && loaded.counts.in_range * 2 < loaded.counts.points;
}

bool points_poorly_placed(const LoadedField& loaded)
{
    if (!loaded.field || loaded.counts.points == 0)
        return false;
    const auto [fill_x, fill_y] = filled_parts(loaded.field.get());
    return points_mostly_outside(loaded) || fill_x < 0.25 || fill_y < 0.25;
}

bool read_loaded_bounds(const LoadRequest& request, const LoadedField& loaded, DataBounds* bounds)
{
    struct stat facts;
    if (is_database_address(request.path) || loaded.from_sums || stat(request.path.c_str(), &facts) != 0 ||
        !S_ISREG(facts.st_mode))
        return false;
    LoadedField scratch;
    const File file = open_source(request, LoadWatch{}, scratch);
    if (!file)
        return false;
    *bounds = read_data_bounds(file.get(), request.skip_lines, loaded.columns.columns, ReadWatch{}, request.binning,
                               request.threads, request.log_x, request.log_y);
    return !std::ferror(file.get()) && !bounds->read.changed && bounds->points > 0;
}

namespace {

// What a field's nodes hold, and on which axes, for a message.
std::string measure_words(bool weighted, bool means)
{
    return means ? (weighted ? "weighted means" : "means") : weighted ? "weights" : "counts";
}

std::string axes_words(bool log_x, bool log_y)
{
    return log_x && log_y ? "logarithmic x and y" : log_x ? "logarithmic x" : log_y ? "logarithmic y" : "linear axes";
}

bool refuse_sums(LoadedField& result, std::string problem)
{
    result.failure = LoadFailure::bad_sums;
    result.problem = std::move(problem);
    return false;
}

// Whether a table holds the measure and axes the request asks for; the
// table's own where it asks for none. A table that says its rule says its
// axes; one that says neither (a database's answer, saved) is taken on the
// axes asked, as it is taken as made by the rule asked.
bool sums_as_asked(const LoadRequest& request, CellSumsTable& table, LoadedField& result)
{
    const ColumnRequest& asked = request.columns;
    const bool weight = asked.numbers.weight > 0 || !asked.weight_name.empty();
    const bool mean = asked.numbers.value > 0 || !asked.value_name.empty();
    if ((weight || mean) && (weight != table.weighted || mean != table.means))
        return refuse_sums(result,
                           "its sums hold " + measure_words(table.weighted, table.means) + ", not " +
                               measure_words(weight, mean) + " as asked");
    const bool says_axes = table.has_binning || table.log_x || table.log_y;
    if (says_axes && (request.log_x || request.log_y) && (request.log_x != table.log_x || request.log_y != table.log_y))
        return refuse_sums(result,
                           "its sums were binned on " + axes_words(table.log_x, table.log_y) + ", not on " +
                               axes_words(request.log_x, request.log_y) + " as asked");
    if (!says_axes) {
        table.log_x = request.log_x;
        table.log_y = request.log_y;
    }
    if (!table.log_x && !table.log_y && table.nonpositive > 0)
        return refuse_sums(result, "it counts points with no logarithm, but its axes are linear");
    return true;
}

// A field made from a table of cell sums, over the table's own range (the
// request's when the table has no row).
void load_from_sums(const LoadRequest& request, CellSumsTable& table, LoadedField& result)
{
    result.from_sums = true;
    if (!sums_as_asked(request, table, result))
        return;
    if (table.has_binning && table.binning != request.binning) {
        if (request.binning_chosen) {
            result.failure = LoadFailure::other_rule;
            result.problem = std::string("its sums were made by the ") + binning_rule_name(table.binning) +
                " binning rule, not by " + binning_rule_name(request.binning) + " as asked";
            return;
        }
        result.binning = table.binning;
    }
    if (table.has_range)
        result.range = table.range;
    FieldPtr field = new_field(result);
    if (!field)
        return;
    if (!density_field_set_log_axes(field.get(), table.log_x, table.log_y)) {
        result.failure = LoadFailure::log_range;
        return;
    }
    // A table's sums are found by their names, not in columns: any column
    // marks the measure.
    if (!density_field_set_values(field.get(), table.weighted ? 1 : 0, table.means ? 1 : 0)) {
        result.failure = LoadFailure::no_memory;
        return;
    }
    result.loaded = density_field_load_sums(field.get(), table.cells.data(), table.rejected, table.not_a_number,
                                            table.nonpositive, table.values.empty() ? nullptr : table.values.data());
    result.max = density_field_max(field.get());
    result.least = density_field_least(field.get());
    result.measure = density_field_measure(field.get());
    result.weighted = table.weighted;
    result.counts = density_field_counts(field.get());
    result.field = std::move(field);
    if (request.keep_sums) {
        table.has_binning = true;
        table.binning = result.binning;
        result.sums = std::make_unique<CellSumsTable>(std::move(table));
    }
}

void load_sums_file(const LoadRequest& request, const File& file, LoadedField& result)
{
    for (int k = 0; k < request.skip_lines; ++k) {
        int c;
        while ((c = std::fgetc(file.get())) != EOF && c != '\n') {}
    }
    CellSumsTable table;
    errno = 0;
    if (!read_cell_sums(file.get(), &table, &result.problem)) {
        if (result.problem.empty()) {
            result.failure = LoadFailure::cannot_read;
            result.error = errno ? errno : EIO;
        } else {
            result.failure = LoadFailure::bad_sums;
        }
        return;
    }
    load_from_sums(request, table, result);
}

// A field binned by the database that holds the points; a stopped request
// leaves no field.
void load_from_database(const LoadRequest& request, const LoadWatch& watch, LoadedField& result)
{
    DatabaseAddress address;
    if (!parse_database_address(request.path, &address, &result.problem)) {
        result.failure = LoadFailure::database;
        return;
    }
    // A table's columns have names alone.
    const ColumnRequest& asked = request.columns;
    if (asked.numbers.weight > 0 || asked.numbers.value > 0) {
        result.failure = LoadFailure::database;
        result.problem = "a table's columns are asked for by name: a weight's and a value's too";
        return;
    }
    SumsQuery query = database_query(address);
    query.binning = request.binning;
    query.weight = asked.weight_name;
    query.value = asked.value_name;
    query.log_x = request.log_x;
    query.log_y = request.log_y;
    DataFileMeter unused;
    DataFileMeter& meter = watch.meter ? *watch.meter : unused;
    const DatabaseWatch progress{watch.watch.go_on, watch.watch.context, &meter.done, &meter.size};
    const auto failed = [&](DatabaseOutcome outcome) {
        if (outcome == DatabaseOutcome::stopped)
            result.counts.stopped = true;
        else if (outcome == DatabaseOutcome::failed)
            result.failure = LoadFailure::database;
        return outcome != DatabaseOutcome::done;
    };
    if (request.fit_range) {
        DataBounds bounds;
        if (failed(clickhouse_bounds(address, request.password, query, progress, &bounds, &result.problem)))
            return;
        result.fitted = fitted_range(bounds, &result.range, request.log_x, request.log_y);
        meter = DataFileMeter{};
    }
    if (!logarithms_defined(result.range, request.log_x, request.log_y)) {
        result.failure = LoadFailure::log_range;
        return;
    }
    query.range = result.range;
    CellSumsTable table;
    if (failed(clickhouse_cell_sums(address, request.password, query, progress, &table, &result.problem)))
        return;
    table.has_binning = true;
    table.binning = request.binning;
    load_from_sums(request, table, result);
}

} // namespace

LoadedField load_field(const LoadRequest& request, LoadWatch watch)
{
    LoadedField result;
    result.range = request.range;
    result.binning = request.binning;
    if (is_database_address(request.path)) {
        load_from_database(request, watch, result);
        return result;
    }
    // Fitting reads the file twice: a pipe or a FIFO would give its points to
    // the first pass alone (and a FIFO opened again waits for ever).
    struct stat facts;
    const bool read_once = stat(request.path.c_str(), &facts) == 0 &&
        (S_ISFIFO(facts.st_mode) || S_ISCHR(facts.st_mode) || S_ISSOCK(facts.st_mode));
    if (read_once && request.fit_range) {
        result.failure = LoadFailure::read_once;
        return result;
    }
    // What the file holds is decided once, from its first bytes, on the
    // stream its first pass then reads.
    DataDescription description;
    File file = open_first_pass(request, watch, &description, result);
    if (!file)
        return result;
    if (description.kind == DataKind::cell_sums) {
        load_sums_file(request, file, result);
        return result;
    }
    if (!(description.kind == DataKind::array ? resolve_array_columns(description.layout, request, result)
                                              : resolve_columns(request, description.header, result)))
        return result;
    // Points kept, where the file is a regular one and the request asks:
    // a fit bins them after its bounds pass.
    const Columns& read_columns = result.columns.columns;
    // An array's points are not kept: its next pass reads mapped numbers
    // about as fast as kept ones are binned, and keeping them made a first
    // load many times slower (bench_rebin's FirstLoadNpy and RebinNpy cases).
    KeptPoints* keep = description.kind == DataKind::array ? nullptr : request.kept;
    // A fit of text with no store of the caller's keeps the points of its
    // pass in one of its own, within the budget, and bins them: the text is
    // parsed once. With a weight or a value the fit reads x and y alone,
    // and the load must read the file again anyway.
    KeptPoints fit_store;
    const bool own_store = !keep && request.fit_range && description.kind == DataKind::text &&
        !read_columns.has_values() && !description.read_once;
    if (own_store)
        keep = &fit_store;
    KeptPointsKey key;
    if (keep &&
        !kept_points_key(request.path, request.skip_lines, read_columns, line_piece_bytes(request.binning), &key))
        keep = nullptr;
    if (request.fit_range &&
        load_in_guessed_range(request, watch, description, guessed_bytes(request, description, read_columns),
                              own_store && keep ? keep : nullptr, &key, result))
        return result;
    bool from_kept = keep && keep->holds(key);
    if (request.fit_range) {
        // A fit reads x and y alone, where a line short of a weight or a
        // value still counts: its points are kept only without them.
        const bool fit_keeps = keep && !read_columns.has_values();
        if (fit_keeps && !from_kept)
            keep->start(key, false);
        if (!fit_range(request, file, watch, fit_keeps ? keep : nullptr, fit_keeps && from_kept, result))
            return result;
        from_kept = keep && keep->holds(key);
        if (!from_kept) {
            file = open_source(request, watch, result);
            if (!file)
                return result;
        }
    }
    // What the fit's own store could not hold is not kept by the load.
    KeptPoints* const load_keeps = from_kept || own_store ? nullptr : keep;
    if (load_keeps)
        load_keeps->start(key, read_columns.has_values());
    bin_into_field(request, watch, watch.watch, file.get(), keep, from_kept, load_keeps, nullptr, result);
    return result;
}
