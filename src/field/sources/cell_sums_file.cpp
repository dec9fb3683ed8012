#include "field/sources/cell_sums_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "field/printable_text.h"

namespace {

// A line longer than this is no row of a sums table.
constexpr std::size_t kLongestLine = 4096;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The comment lines that say how the sums were made, each at most once.
enum Note { kBinningNote, kWeightNote, kMeanNote, kLogNote, kNotes };
constexpr std::string_view kNoteNames[kNotes] = {"binning", "weight", "mean", "log"};
// Where the weights' and the values' four columns stand among every column.
constexpr int kWeightSums = 10, kValueSums = 14, kAllColumns = 18;
// Sums of fractions are rounded as they are added, in whatever order an
// engine adds them: each bound is kept within this share of n.
constexpr double kSumTolerance = 1e-9;

std::string lowered(std::string_view text)
{
    std::string low(text);
    for (char& c : low)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return low;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '"'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '"'))
        text.remove_suffix(1);
    return text;
}

std::string_view without_spaces(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t k = 0; k <= line.size(); ++k)
        if (k == line.size() || line[k] == ',' || line[k] == '\t' || line[k] == ';') {
            fields.push_back(trimmed(line.substr(start, k - start)));
            start = k + 1;
        }
    return fields;
}

// The whole field as a double, exactly as written.
bool number_of(std::string_view text, double* value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

const char* column_name(int k)
{
    return k < kWeightSums ? kSumColumns[k]
        : k < kValueSums   ? kWeightSumColumns[k - kWeightSums]
                           : kValueSumColumns[k - kValueSums];
}

int column_index(std::string_view name)
{
    const std::string low = lowered(name);
    for (int k = 0; k < kAllColumns; ++k)
        if (low == column_name(k))
            return k;
    return -1;
}

// Which columns a header names: false for a name no table has, one named
// twice, one of the ten missing, or a group of four that is not whole.
bool columns_named(const std::vector<std::string_view>& names, bool seen[kAllColumns])
{
    std::fill(seen, seen + kAllColumns, false);
    for (const std::string_view name : names) {
        const int k = column_index(trimmed(name));
        if (k < 0 || seen[k])
            return false;
        seen[k] = true;
    }
    const auto group = [seen](int first, int count) {
        return int(std::count(seen + first, seen + first + count, true));
    };
    const int weights = group(kWeightSums, 4), values = group(kValueSums, 4);
    return group(0, kWeightSums) == kWeightSums && (weights == 0 || weights == 4) && (values == 0 || values == 4);
}

std::string four_names(const char* const names[4], const std::string& between = ", ")
{
    return names[0] + between + names[1] + between + names[2] + between + names[3];
}

} // namespace

bool is_cell_sums_header(const std::vector<std::string>& names)
{
    bool seen[kAllColumns];
    return columns_named(std::vector<std::string_view>(names.begin(), names.end()), seen);
}

bool CellSumsParser::fail(std::string reason)
{
    if (problem_.empty())
        problem_ = "line " + std::to_string(line_number_) + ": " + reason;
    return false;
}

bool CellSumsParser::feed(std::string_view bytes)
{
    if (!problem_.empty())
        return false;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (pending_.size() + piece.size() > kLongestLine) {
            ++line_number_;
            return fail("longer than " + std::to_string(kLongestLine) + " bytes");
        }
        pending_.append(piece);
        if (end == std::string_view::npos)
            return true;
        bytes.remove_prefix(end + 1);
        std::string text;
        text.swap(pending_);
        if (!line(text))
            return false;
    }
    return true;
}

bool CellSumsParser::finish()
{
    if (!problem_.empty())
        return false;
    if (!pending_.empty()) {
        std::string text;
        text.swap(pending_);
        if (!line(text))
            return false;
    }
    if (!header_) {
        ++line_number_;
        return fail("no header naming the columns gx, gy, n, sfx, sfy, sfxfy, x_min, x_max, y_min, y_max");
    }
    return true;
}

bool CellSumsParser::line(std::string_view text)
{
    ++line_number_;
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    if (line_number_ == 1 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    if (text.empty())
        return true;
    if (!header_ && text.front() == '#')
        return comment(text.substr(1));
    const std::vector<std::string_view> fields = split(text);
    return header_ ? row(fields) : header(fields);
}

bool CellSumsParser::header(const std::vector<std::string_view>& fields)
{
    bool seen[kAllColumns];
    if (!columns_named(fields, seen))
        return fail("the header does not name the columns gx, gy, n, sfx, sfy, sfxfy, x_min, x_max, y_min, y_max");
    std::fill(std::begin(column_of_), std::end(column_of_), -1);
    for (std::size_t k = 0; k < fields.size(); ++k)
        column_of_[column_index(fields[k])] = static_cast<int>(k);
    table_.weighted = seen[kWeightSums];
    table_.means = seen[kValueSums];
    if (table_.weighted || table_.means)
        table_.values.resize(table_.cells.size());
    // A line naming a column summed where the table holds no such sums
    // says the table was cut or mixed up.
    if (noted_[kWeightNote] && !table_.weighted)
        return fail("the weight line names \"" + table_.weight_name + "\", but the header has no " +
                    four_names(kWeightSumColumns));
    if (noted_[kMeanNote] && !table_.means)
        return fail("the mean line names \"" + table_.value_name + "\", but the header has no " +
                    four_names(kValueSumColumns));
    columns_ = fields.size();
    header_ = true;
    return true;
}

bool CellSumsParser::comment(std::string_view text)
{
    text = without_spaces(text);
    for (int kind = 0; kind < kNotes; ++kind) {
        const std::string_view name = kNoteNames[kind];
        if (text.size() <= name.size() || lowered(text.substr(0, name.size())) != name || text[name.size()] != ':')
            continue;
        if (noted_[kind])
            return fail("a second " + std::string(name) + " line");
        noted_[kind] = true;
        return note(kind, without_spaces(text.substr(name.size() + 1)));
    }
    return true;
}

bool CellSumsParser::note(int kind, std::string_view value)
{
    if (kind == kBinningNote) {
        if (!binning_rule_named(value, &table_.binning))
            return fail("binning \"" + std::string(value) + "\" is no rule (bilinear or classic)");
        table_.has_binning = true;
    } else if (kind == kWeightNote) {
        table_.weight_name = value;
    } else if (kind == kMeanNote) {
        table_.value_name = value;
    } else {
        // "x", "y" or both, apart.
        for (std::size_t start = 0; start < value.size();) {
            const std::size_t end = std::min(value.find_first_of(" \t", start), value.size());
            const std::string_view axis = value.substr(start, end - start);
            if (axis != "x" && axis != "y")
                return fail("log \"" + std::string(value) + "\" names no axis but x and y");
            (axis == "x" ? table_.log_x : table_.log_y) = true;
            start = value.find_first_not_of(" \t", end);
        }
        if (!table_.log_x && !table_.log_y)
            return fail("log \"\" names no axis but x and y");
    }
    return true;
}

bool CellSumsParser::row(const std::vector<std::string_view>& fields)
{
    if (fields.size() != columns_)
        return fail(std::to_string(fields.size()) + " fields, not " + std::to_string(columns_));
    double value[kAllColumns] = {}; // a column the table lacks sums nothing
    const auto text = [&](int k) { return std::string(fields[column_of_[k]]); };
    for (int k = 0; k < kAllColumns; ++k)
        if (column_of_[k] >= 0 && !number_of(fields[column_of_[k]], &value[k]))
            return fail(std::string(column_name(k)) + " \"" + text(k) + "\" is no number");
    const double gx = value[0], gy = value[1], n = value[2];
    const bool counts_row = (gx == -1 || gx == -2 || gx == -3) && gy == gx;
    const bool cell_row =
        gx >= 0 && gx < kSumCells && gy >= 0 && gy < kSumCells && gx == std::floor(gx) && gy == std::floor(gy);
    if (!counts_row && !cell_row)
        return fail("no cell at gx " + text(0) + ", gy " + text(1));
    if (!(n >= (cell_row ? 1 : 0) && n <= double(kMostSumPoints) && n == std::floor(n)))
        return fail("n " + text(2) + " is no count of points");
    if (points_ + static_cast<long long>(n) > kMostSumPoints)
        return fail("the counts add up to more than " + std::to_string(kMostSumPoints) + " points");
    // Fractions lie in 0..1, so n of them sum to 0..n, and each product
    // fx fy lies between fx + fy - 1 and the smaller of fx and fy: the
    // sums that no n points give would weigh a node below zero.
    const double sfx = value[3], sfy = value[4], sfxfy = value[5];
    const double slack = cell_row ? kSumTolerance * n : 0;
    for (int k = 3; k < 6; ++k)
        if (!(value[k] >= 0 && value[k] <= (cell_row ? n : 0)))
            return fail(std::string(kSumColumns[k]) + " " + text(k) + " is no sum of the fractions of " + text(2) +
                        " points");
    if (!(sfxfy <= std::min(sfx, sfy) + slack && sfxfy >= sfx + sfy - n - slack))
        return fail("sfxfy " + text(5) + " is no sum of products of fractions whose sums are " + text(3) + " and " +
                    text(4) + " over " + text(2) + " points");
    // Weights of either sign may sum to anything; a sum that is no number
    // would spoil every node it reached.
    for (int k = kWeightSums; k < kAllColumns; ++k) {
        if (!std::isfinite(value[k]))
            return fail(std::string(column_name(k)) + " " + text(k) + " is no finite sum");
        if (!cell_row && value[k] != 0)
            return fail(std::string(column_name(k)) + " " + text(k) + " is no sum of points counted apart");
    }
    const Range range{value[6], value[7], value[8], value[9]};
    if (!std::isfinite(range.x_min) || !std::isfinite(range.x_max) || !std::isfinite(range.y_min) ||
        !std::isfinite(range.y_max) || !(range.x_min < range.x_max) || !(range.y_min < range.y_max))
        return fail("the range is no finite rectangle");
    if (table_.has_range && !(range == table_.range))
        return fail("the range differs from the rows before");
    table_.range = range;
    table_.has_range = true;
    const long long count = static_cast<long long>(n);
    points_ += count;
    if (gx == -1) {
        table_.rejected += count;
    } else if (gx == -2) {
        table_.not_a_number += count;
    } else if (gx == -3) {
        table_.nonpositive += count;
    } else {
        // Rows for one cell from several parts of a table add up.
        CellSums& cell = table_.cells[static_cast<int>(gy) * kSumCells + static_cast<int>(gx)];
        cell.n += count;
        cell.sfx += value[3];
        cell.sfy += value[4];
        cell.sfxfy += value[5];
        if (table_.values.empty())
            return true;
        CellValueSums& values = table_.values[static_cast<int>(gy) * kSumCells + static_cast<int>(gx)];
        for (auto [sums, first] : {std::pair{&values.w, kWeightSums}, std::pair{&values.wz, kValueSums}}) {
            sums->s += value[first];
            sums->sfx += value[first + 1];
            sums->sfy += value[first + 2];
            sums->sfxfy += value[first + 3];
        }
    }
    return true;
}

bool read_cell_sums(std::FILE* stream, CellSumsTable* table, std::string* problem)
{
    CellSumsParser parser;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        if (!parser.feed(std::string_view(buffer, got))) {
            *problem = parser.problem();
            return false;
        }
    if (std::ferror(stream)) {
        problem->clear();
        return false;
    }
    if (!parser.finish()) {
        *problem = parser.problem();
        return false;
    }
    *table = std::move(parser.table());
    return true;
}

bool write_cell_sums(std::FILE* stream, const CellSumsTable& table)
{
    const Range& r = table.range;
    const bool log = table.log_x || table.log_y;
    bool ok = !table.has_binning || std::fprintf(stream, "# binning: %s\n", binning_rule_name(table.binning)) > 0;
    // A name comes from a file's header: nothing in it may end the line.
    ok = ok &&
        (!table.weighted || std::fprintf(stream, "# weight: %s\n", printable_text(table.weight_name).c_str()) > 0);
    ok = ok && (!table.means || std::fprintf(stream, "# mean: %s\n", printable_text(table.value_name).c_str()) > 0);
    ok = ok && (!log || std::fprintf(stream, "# log:%s%s\n", table.log_x ? " x" : "", table.log_y ? " y" : "") > 0);
    std::string names = "gx,gy,n,sfx,sfy,sfxfy,";
    if (table.weighted)
        names.append(four_names(kWeightSumColumns, ",")).append(",");
    if (table.means)
        names.append(four_names(kValueSumColumns, ",")).append(",");
    ok = ok && std::fprintf(stream, "%sx_min,x_max,y_min,y_max\n", names.c_str()) > 0;
    const auto write_scaled = [&](bool present, const ScaledSums& sums) {
        ok = ok &&
            (!present || std::fprintf(stream, ",%.17g,%.17g,%.17g,%.17g", sums.s, sums.sfx, sums.sfy, sums.sfxfy) > 0);
    };
    const auto write_row = [&](int gx, int gy, long long n, const CellSums& sums, const CellValueSums& values) {
        ok = ok && std::fprintf(stream, "%d,%d,%lld,%.17g,%.17g,%.17g", gx, gy, n, sums.sfx, sums.sfy, sums.sfxfy) > 0;
        write_scaled(table.weighted, values.w);
        write_scaled(table.means, values.wz);
        ok = ok && std::fprintf(stream, ",%.17g,%.17g,%.17g,%.17g\n", r.x_min, r.x_max, r.y_min, r.y_max) > 0;
    };
    // A table that lacks the values it says it has writes naughts.
    const CellValueSums* values = table.values.size() == table.cells.size() ? table.values.data() : nullptr;
    for (int k = 0; k < kSumCells * kSumCells; ++k)
        if (const CellSums& cell = table.cells[k]; cell.n > 0)
            write_row(k % kSumCells, k / kSumCells, cell.n, cell, values ? values[k] : CellValueSums{});
    write_row(-1, -1, table.rejected, CellSums{}, CellValueSums{});
    write_row(-2, -2, table.not_a_number, CellSums{}, CellValueSums{});
    if (log)
        write_row(-3, -3, table.nonpositive, CellSums{}, CellValueSums{});
    return ok;
}
