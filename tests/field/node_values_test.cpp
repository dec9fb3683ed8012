// Weights, means and logarithmic axes of the density field, against a
// reference written here from the tent functions: a node's share of a point
// is max(0, 1 - |q - i|) in each direction, q the point's place in cells.
#include "field/binning_rules.h"
#include "field/density_field.h"
#include "field/grid_size.h"
#include "field/field_loader.h"
#include "field/sources/point_reader.h"

#include <gtest/gtest.h>

#include "npy_bytes.h"

#include "temp_stream.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kNodes = 201;

struct Sample {
    double x, y, w, z;
};

void expect_samples(const std::vector<Sample>& got, const std::vector<Sample>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k].x, want[k].x);
        EXPECT_EQ(got[k].y, want[k].y);
        EXPECT_EQ(got[k].w, want[k].w);
        EXPECT_EQ(got[k].z, want[k].z);
    }
}

// The nodes as numpy would compute them: weights normalised to the largest
// magnitude, or means, NaN where the shares sum to zero.
struct Reference {
    std::vector<double> nodes;
    double weight = 0, weighted_values = 0; // of the points binned: w, and w·z
    long long binned = 0, not_a_number = 0, rejected = 0, nonpositive = 0;
};

double tent(double q, int i) { return std::max(0.0, 1.0 - std::fabs(q - i)); }

Reference reference(const std::vector<Sample>& samples, Range r, bool mean, bool log_x)
{
    std::vector<double> shares(kNodes * kNodes, 0.0), sums(kNodes * kNodes, 0.0);
    Reference ref;
    const double x0 = log_x ? std::log10(r.x_min) : r.x_min, x1 = log_x ? std::log10(r.x_max) : r.x_max;
    for (const Sample& s : samples) {
        if (std::isnan(s.x) || std::isnan(s.y) || std::isnan(s.w) || (mean && std::isnan(s.z))) {
            ++ref.not_a_number;
            continue;
        }
        if (log_x && s.x <= 0) {
            ++ref.nonpositive;
            continue;
        }
        const double x = log_x ? std::log10(s.x) : s.x;
        if (x < x0 || x >= x1 || s.y < r.y_min || s.y >= r.y_max) {
            ++ref.rejected;
            continue;
        }
        ++ref.binned;
        ref.weight += s.w;
        ref.weighted_values += s.w * s.z;
        const double qx = (x - x0) / ((x1 - x0) / 200), qy = (s.y - r.y_min) / ((r.y_max - r.y_min) / 200);
        for (int j = static_cast<int>(qy); j <= static_cast<int>(qy) + 1 && j < kNodes; ++j)
            for (int i = static_cast<int>(qx); i <= static_cast<int>(qx) + 1 && i < kNodes; ++i) {
                const double share = tent(qx, i) * tent(qy, j);
                shares[j * kNodes + i] += share * s.w;
                sums[j * kNodes + i] += share * s.w * s.z;
            }
    }
    ref.nodes.resize(kNodes * kNodes);
    double largest = 0;
    for (double v : shares)
        largest = std::max(largest, std::fabs(v));
    for (int k = 0; k < kNodes * kNodes; ++k)
        ref.nodes[k] = mean ? (shares[k] != 0 ? sums[k] / shares[k] : NAN) : shares[k] / largest;
    return ref;
}

std::string text_of(const std::vector<Sample>& samples)
{
    std::string text = "# x y weight value\n";
    char line[160];
    for (const Sample& s : samples) {
        std::snprintf(line, sizeof line, "%.17g %.17g %.17g %.17g\n", s.x, s.y, s.w, s.z);
        text += line;
    }
    return text;
}

struct Loaded {
    int result = 0;
    std::vector<double> nodes;
    FieldCounts counts;
    double max = 0, least = 0;
    NodeMeasure measure = NodeMeasure::count;
    // With Ask::sums, the cells' sums added up: the points placed, and
    // their shares of weight and of weight times value.
    long long summed_n = 0;
    double summed_w = 0, summed_wz = 0;
};

struct Ask {
    int weight = 0, value = 0;
    bool log_x = false;
    unsigned threads = 1;
    bool sums = false;
};

Loaded load(const std::string& bytes, Range r, Ask ask, Columns columns = {})
{
    DensityField* field = create_density_field(r);
    Loaded out;
    EXPECT_TRUE(density_field_set_binning(field, BinningRule::bilinear));
    EXPECT_TRUE(density_field_set_columns(field, columns.x, columns.y));
    EXPECT_TRUE(density_field_set_dialect(field, TextDialect{columns.separator, columns.decimal_comma}, false));
    EXPECT_TRUE(density_field_set_values(field, ask.weight, ask.value));
    EXPECT_TRUE(density_field_set_log_axes(field, ask.log_x, false));
    EXPECT_TRUE(density_field_set_threads(field, ask.threads));
    std::vector<CellSums> cells(ask.sums ? kGridCells * kGridCells : 0);
    std::vector<CellValueSums> values(cells.size());
    if (ask.sums) {
        EXPECT_TRUE(density_field_set_cell_sums(field, cells.data(), values.data()));
    }
    TempStream in(bytes);
    out.result = field->ops.load(field, in.file, 0);
    for (std::size_t k = 0; k < cells.size(); ++k) {
        out.summed_n += cells[k].n;
        out.summed_w += values[k].w.s;
        out.summed_wz += values[k].wz.s;
    }
    out.nodes.assign(field->ops.data(field), field->ops.data(field) + kNodes * kNodes);
    out.counts = density_field_counts(field);
    out.max = density_field_max(field);
    out.least = density_field_least(field);
    out.measure = density_field_measure(field);
    field->ops.destroy(field);
    return out;
}

// Nodes within 1e-12 of the reference, relative to the larger of 1 and the
// value; NaN exactly where the reference has NaN.
void expect_nodes(const std::vector<double>& got, const std::vector<double>& want)
{
    int wrong = 0;
    for (int k = 0; k < kNodes * kNodes && wrong < 5; ++k) {
        const bool same = std::isnan(want[k])
            ? std::isnan(got[k])
            : std::fabs(got[k] - want[k]) <= 1e-12 * std::max(1.0, std::fabs(want[k]));
        if (!same) {
            ++wrong;
            ADD_FAILURE() << "node (" << k % kNodes << ", " << k / kNodes << "): " << got[k] << ", want " << want[k];
        }
    }
}

std::vector<Sample> random_samples(unsigned seed, std::size_t count)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> place(100.0, 45.0), value(3.0, 10.0);
    std::uniform_real_distribution<double> weight(-0.5, 4.0);
    std::vector<Sample> samples(count);
    for (Sample& s : samples)
        s = Sample{place(rng), place(rng), weight(rng), value(rng)};
    return samples;
}

TEST(NodeValues, RandomPointsMatchTheTentReference)
{
    // Many small chunks on several threads: the nodes still match, and are
    // the same bits whatever the threads.
    const std::vector<Sample> samples = random_samples(48, 60000);
    const std::string text = text_of(samples);
    const Range r{0, 200, 10, 190};
    const struct {
        Ask ask;
        bool mean;
    } cases[] = {
        {{3, 0}, false}, // weights
        {{0, 4}, true},  // the plain mean of the fourth column
        {{3, 4}, true},  // the weighted mean
    };
    set_point_reader_chunk_bytes(64 << 10);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "weight " << c.ask.weight << " value " << c.ask.value);
        std::vector<Sample> weighted = samples;
        if (c.ask.weight == 0)
            for (Sample& s : weighted)
                s.w = 1;
        const Reference want = reference(weighted, r, c.mean, false);
        Ask one = c.ask, several = c.ask;
        several.threads = 3;
        several.sums = true;
        const Loaded a = load(text, r, one), b = load(text, r, several);
        ASSERT_EQ(a.result, 1);
        EXPECT_EQ(a.measure, c.mean ? NodeMeasure::mean : NodeMeasure::weight);
        expect_nodes(a.nodes, want.nodes);
        EXPECT_EQ(std::memcmp(a.nodes.data(), b.nodes.data(), a.nodes.size() * sizeof(double)), 0);
        EXPECT_EQ(a.counts.in_range, want.binned);
        EXPECT_EQ(a.counts.rejected, want.rejected);
        EXPECT_EQ(a.counts.weight, b.counts.weight);
        EXPECT_NEAR(a.counts.weight, want.weight, 1e-12 * std::fabs(want.weight));
        // Every chunk's cell sums added once.
        EXPECT_EQ(b.summed_n, want.binned);
        EXPECT_NEAR(b.summed_w, want.weight, 1e-9 * std::fabs(want.weight));
        if (c.mean) {
            EXPECT_NEAR(b.summed_wz, want.weighted_values, 1e-9 * std::fabs(want.weighted_values));
        }
    }
    set_point_reader_chunk_bytes(0);
}

TEST(NodeValues, HandWorkedCases)
{
    // Cells of 1 from 0 to 200: a point's shares are plain to see.
    const Range r{0, 200, 0, 200};
    const double nan = NAN;
    const struct {
        const char* name;
        const char* text;
        Ask ask;
        int i, j;    // a node
        double want; // what it holds
        long long binned, not_a_number;
        double weight; // the weights binned
    } cases[] = {
        {"a node no point reaches", "0.25 0 1 10\n0.75 0 1 20\n", {0, 4}, 0, 1, nan, 2, 0, 2},
        {"two shares averaged", "0.25 0 1 10\n0.75 0 1 20\n", {0, 4}, 0, 0, 12.5, 2, 0, 2},
        {"the other node", "0.25 0 1 10\n0.75 0 1 20\n", {0, 4}, 1, 0, 17.5, 2, 0, 2},
        {"weighted mean", "5 5 3 1\n5 5 1 5\n", {3, 4}, 5, 5, 2, 2, 0, 4},
        {"zero weight adds nothing", "5 5 0 100\n5 5 2 7\n", {3, 4}, 5, 5, 7, 2, 0, 2},
        {"only zero weights: no mean", "5 5 0 100\n", {3, 4}, 5, 5, nan, 1, 0, 0},
        {"zero weights beside others", "0.5 0.5 0 1\n0.5 0.5 2 1\n", {3, 0}, 1, 1, 1, 2, 0, 2},
        {"negative weight is the largest magnitude", "10 10 -3 0\n20 20 1 0\n", {3, 0}, 10, 10, -1, 2, 0, -2},
        {"beside it, a third", "10 10 -3 0\n20 20 1 0\n", {3, 0}, 20, 20, 1.0 / 3, 2, 0, -2},
        {"a NaN weight is a NaN point", "10 10 nan 0\n20 20 2 0\n", {3, 0}, 10, 10, 0, 1, 1, 2},
        {"a NaN value is a NaN point", "10 10 1 nan\n20 20 1 4\n", {0, 4}, 10, 10, nan, 1, 1, 1},
        {"a NaN value unasked is no matter", "10 10 1 nan\n", {3, 0}, 10, 10, 1, 1, 0, 1},
        {"the point on a node alone", "10 10 1 4\n", {0, 4}, 11, 10, nan, 1, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded got = load(c.text, r, c.ask);
        const double node = got.nodes[c.j * kNodes + c.i];
        if (std::isnan(c.want))
            EXPECT_TRUE(std::isnan(node)) << node;
        else
            EXPECT_NEAR(node, c.want, 1e-12);
        EXPECT_EQ(got.counts.in_range, c.binned);
        EXPECT_EQ(got.counts.not_a_number, c.not_a_number);
        EXPECT_EQ(got.counts.weight, c.weight);
    }
}

TEST(NodeValues, MeansKeepTheirUnitsAndRange)
{
    const Loaded got = load("1 1 1 -40\n100 100 1 250\n", Range{0, 200, 0, 200}, Ask{0, 4});
    EXPECT_EQ(got.result, 1);
    EXPECT_EQ(got.max, 250);
    EXPECT_EQ(got.least, -40);
    EXPECT_EQ(got.nodes[1 * kNodes + 1], -40);
    // Means all below zero: the greatest is the least negative.
    const Loaded below = load("1 1 1 -40\n100 100 1 -5\n", Range{0, 200, 0, 200}, Ask{0, 4});
    EXPECT_EQ(below.max, -5);
    EXPECT_EQ(below.least, -40);
    // No node with a mean: nothing to show.
    EXPECT_EQ(load("500 500 1 1\n", Range{0, 200, 0, 200}, Ask{0, 4}).result, 0);
    // Weights that cancel everywhere have nothing to normalise to.
    EXPECT_EQ(load("5 5 1 0\n5 5 -1 0\n", Range{0, 200, 0, 200}, Ask{3, 0}).result, 0);
    // Nor do weights whose sum is past the largest double.
    EXPECT_EQ(load("5 5 1e308 0\n5 5 1e308 0\n", Range{0, 200, 0, 200}, Ask{3, 0}).result, 0);
}

TEST(NodeValues, LogarithmicXMatchesTheReferenceOnLogData)
{
    std::mt19937_64 rng(10);
    std::lognormal_distribution<double> income(10.0, 1.2);
    std::normal_distribution<double> age(45, 15);
    std::vector<Sample> samples(20000);
    for (Sample& s : samples)
        s = Sample{income(rng), age(rng), 1, 0};
    samples[7].x = 0;
    samples[19990].x = -12; // in the last of many chunks
    samples[9].x = -0.0;
    const Range r{100, 1e7, 0, 100};
    const Reference want = reference(samples, r, false, true);
    set_point_reader_chunk_bytes(64 << 10);
    // Counts, and weights of 1, through either way of binning.
    for (const Ask& ask : {Ask{0, 0, true}, Ask{3, 0, true}}) {
        SCOPED_TRACE(ask.weight ? "weights" : "counts");
        const Loaded got = load(text_of(samples), r, ask);
        ASSERT_EQ(got.result, 1);
        expect_nodes(got.nodes, want.nodes);
        EXPECT_EQ(got.counts.nonpositive, 3);
        EXPECT_EQ(got.counts.in_range, want.binned);
        EXPECT_EQ(got.counts.rejected, want.rejected);
        EXPECT_EQ(got.counts.points, 20000);
    }
    set_point_reader_chunk_bytes(0);
}

TEST(NodeValues, LogarithmicAxesRefuseRangesThatReachZero)
{
    DensityField* field = create_density_field(Range{0, 100, 1, 10});
    EXPECT_FALSE(density_field_set_log_axes(field, true, false));
    EXPECT_TRUE(density_field_set_log_axes(field, false, true));
    field->ops.destroy(field);
    field = create_density_field(Range{1, 1e300 * 1e300, 0, 10});
    EXPECT_FALSE(density_field_set_log_axes(field, true, false));
    field->ops.destroy(field);
}

// A sink that keeps what the reader hands over, with the values.
struct Kept {
    std::vector<Point> points;
    std::vector<PointValues> values;
};

std::vector<Sample> read_samples(const std::string& bytes, Columns columns)
{
    Kept kept;
    ChunkSink sink{[](void* c) -> void* { return c; },
                   [](void*, void*, const Point*, std::size_t) { ADD_FAILURE() << "points without values"; },
                   [](void*, void*) {},
                   [](void*, void*) {},
                   [](void*, void*) {},
                   &kept,
                   [](void* c, void*, const Point* p, const PointValues* v, std::size_t n) {
                       auto& k = *static_cast<Kept*>(c);
                       k.points.insert(k.points.end(), p, p + n);
                       k.values.insert(k.values.end(), v, v + n);
                   }};
    TempStream in(bytes);
    read_chunks(in.file, 0, sink, columns, {}, 1);
    std::vector<Sample> out;
    for (std::size_t k = 0; k < kept.points.size(); ++k)
        out.push_back(Sample{kept.points[k].x, kept.points[k].y, kept.values[k].weight, kept.values[k].value});
    return out;
}

TEST(NodeValues, ReadersCarryTheChosenColumns)
{
    const struct {
        const char* name;
        std::string text;
        Columns columns;
        std::vector<Sample> want;
    } cases[] = {
        {"spaces, weight and value", "1 2 3 4\n", {1, 2, 0, false, false, 3, 4}, {{1, 2, 3, 4}}},
        {"spaces, columns out of order", "7 1 2 9\n", {2, 3, 0, false, false, 4, 1}, {{1, 2, 9, 7}}},
        {"a weight without a value", "1 2 5\n", {1, 2, 0, false, false, 3, 0}, {{1, 2, 5, 0}}},
        {"a value without a weight", "1 2 5\n", {1, 2, 0, false, false, 0, 3}, {{1, 2, 1, 5}}},
        {"one column twice", "1 2 5\n", {1, 2, 0, false, false, 3, 3}, {{1, 2, 5, 5}}},
        {"a line short of the value", "1 2\n3 4 5\n", {1, 2, 0, false, false, 0, 3}, {{3, 4, 1, 5}}},
        {"quoted names between",
         "\"Paris, FR\";2,5;48,9;2148000\n",
         {2, 3, ';', true, false, 4, 0},
         {{2.5, 48.9, 2148000, 0}}},
        {"comma separated, a text column", "a,1,2,x,3\n", {2, 3, ',', false, false, 0, 5}, {{1, 2, 1, 3}}},
        {"tab separated, an empty weight", "1\t2\t\t4\n", {1, 2, '\t', false, false, 3, 4}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Sample> got = read_samples(c.text, c.columns);
        const std::vector<Sample>& want = c.want;
        expect_samples(got, want);
    }
}

// An array file of `width` columns, each record's values as given.
std::string npy_of(const std::vector<std::vector<double>>& records, bool fortran)
{
    const std::size_t width = records.front().size();
    std::string records_bytes;
    const auto put = [&records_bytes](double v) { records_bytes.append(reinterpret_cast<const char*>(&v), sizeof v); };
    if (fortran) {
        for (std::size_t c = 0; c < width; ++c)
            for (const auto& record : records)
                put(record[c]);
    } else {
        for (const auto& record : records)
            for (double v : record)
                put(v);
    }
    return npy_file(1,
                    "{'descr': '<f8', 'fortran_order': " + std::string(fortran ? "True" : "False") + ", 'shape': (" +
                        std::to_string(records.size()) + ", " + std::to_string(width) + "), }",
                    records_bytes);
}

TEST(NodeValues, ArraysCarryTheChosenColumnsInEitherOrder)
{
    const std::vector<std::vector<double>> records = {{10, 1, 2, 3, 4}, {20, 5, 6, 7, 8}, {30, 9, 10, 11, 12}};
    const std::vector<Sample> want = {{2, 1, 4, 10}, {6, 5, 8, 20}, {10, 9, 12, 30}};
    for (bool fortran : {false, true}) {
        SCOPED_TRACE(fortran ? "by columns" : "by records");
        const std::vector<Sample> got = read_samples(npy_of(records, fortran), Columns{3, 2, 0, false, false, 5, 1});
        expect_samples(got, want);
    }
    // A column the array lacks is refused.
    EXPECT_TRUE(read_samples(npy_of(records, false), Columns{1, 2, 0, false, false, 6, 0}).empty());
}

TEST(NodeValues, ArraysAndTextGiveTheSameMeans)
{
    const std::vector<Sample> samples = random_samples(7, 3000);
    std::vector<std::vector<double>> records;
    for (const Sample& s : samples)
        records.push_back({s.x, s.y, s.w, s.z});
    const Range r{0, 200, 0, 200};
    const Loaded from_text = load(text_of(samples), r, Ask{3, 4});
    const Loaded from_array = load(npy_of(records, true), r, Ask{3, 4});
    ASSERT_EQ(from_text.result, 1);
    EXPECT_EQ(std::memcmp(from_text.nodes.data(), from_array.nodes.data(), from_text.nodes.size() * sizeof(double)), 0);
    expect_nodes(from_array.nodes, reference(samples, r, true, false).nodes);
}

// A file of the given text in a folder of the test's own.
std::string written_file(const std::string& name, const std::string& text)
{
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// On a logarithmic axis a NaN is a NaN point, never one at or below zero
// there; a number at or below zero is counted apart, on either axis.
TEST(NodeValues, OnALogAxisNaNIsNoPointBelowZero)
{
    const std::string path = written_file("log-nan.txt", "5 nan\nnan 5\n-1 5\n5 0\n10 10\n");
    const struct {
        bool log_x, log_y;
        long long not_a_number, nonpositive;
    } cases[] = {{false, true, 2, 1}, {true, false, 2, 1}, {true, true, 2, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "log x " << c.log_x << ", log y " << c.log_y);
        LoadRequest request;
        request.path = path;
        request.range = Range{c.log_x ? 1.0 : -10.0, 100, c.log_y ? 1.0 : -10.0, 100};
        request.log_x = c.log_x;
        request.log_y = c.log_y;
        const LoadedField loaded = load_field(request);
        ASSERT_TRUE(loaded.ok()) << loaded.problem;
        EXPECT_EQ(loaded.counts.not_a_number, c.not_a_number);
        EXPECT_EQ(loaded.counts.nonpositive, c.nonpositive);
    }
}

TEST(NodeValues, LoadsFindValueColumnsByNameInTheFilesDialect)
{
    const std::string path = written_file("flights.csv",
                                          "hour;distance;\"carrier, inc\";dep_delay;seats\n"
                                          "5,5;100;\"A, B\";10;2\n"
                                          "5,5;100;\"C\";40;1\n");
    LoadRequest request;
    request.path = path;
    request.range = Range{0, 20, 0, 200};
    request.columns.x_name = "hour";
    request.columns.y_name = "distance";
    request.columns.chosen = true;
    request.columns.weight_name = "seats";
    request.columns.value_name = "dep_delay";
    LoadedField loaded = load_field(request);
    ASSERT_TRUE(loaded.ok()) << loaded.problem;
    EXPECT_EQ(loaded.measure, NodeMeasure::mean);
    EXPECT_EQ(loaded.columns.weight_name, "seats");
    EXPECT_EQ(loaded.columns.value_name, "dep_delay");
    // Cells of 0.1 by 1: the two points sit on node (55, 100); (2·10 + 40) / 3.
    EXPECT_NEAR(loaded.field->ops.data(loaded.field.get())[100 * kNodes + 55], 20, 1e-12);
    EXPECT_EQ(loaded.counts.weight, 3);
    EXPECT_EQ(loaded.least, loaded.max);

    request.columns.value_name = "arr_delay";
    loaded = load_field(request);
    EXPECT_EQ(loaded.failure, LoadFailure::no_column);
    EXPECT_EQ(loaded.columns.missing, "arr_delay");
}

TEST(NodeValues, LogarithmicFitsEndOnPowersOfTen)
{
    const std::string path = written_file("incomes.txt", "3500 20\n-5 30\n0 40\n870000 61\n");
    LoadRequest request;
    request.path = path;
    request.fit_range = true;
    request.log_x = true;
    LoadedField loaded = load_field(request);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.range.x_min, 1000);
    EXPECT_EQ(loaded.range.x_max, 1e6);
    EXPECT_EQ(loaded.counts.nonpositive, 2);
    EXPECT_EQ(loaded.counts.in_range, 2);
    // Given by hand, a range reaching zero has no logarithm.
    request.fit_range = false;
    request.range = Range{0, 1e6, 0, 100};
    EXPECT_EQ(load_field(request).failure, LoadFailure::log_range);
}

} // namespace
