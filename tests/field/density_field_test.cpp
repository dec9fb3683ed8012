#include "field/binning_rules.h"
#include "field/density_field.h"
#include "field/density_field_test_hook.h"
#include "field/sources/point_reader.h"

#include <gtest/gtest.h>

#include "temp_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Field {
    DensityField* f;
    explicit Field(const Range& range) : f(create_density_field(range)) {}
    ~Field() { f->ops.destroy(f); }
    int load(const std::string& text, int skip = 0)
    {
        TempStream in(text);
        return f->ops.load(f, in.file, skip);
    }
    double node(int i, int j) { return f->ops.data(f)[j * 201 + i]; }
    double sum()
    {
        double s = 0;
        for (int k = 0; k < 201 * 201; ++k)
            s += f->ops.data(f)[k];
        return s;
    }
    int nonzero()
    {
        int n = 0;
        for (int k = 0; k < 201 * 201; ++k)
            n += f->ops.data(f)[k] != 0.0;
        return n;
    }
};

TEST(DensityField, ShapeOfTheGrid)
{
    Field field(Range{0, 4000, 0, 4000});
    EXPECT_EQ(field.f->ops.width(field.f), 201);
    EXPECT_EQ(field.f->ops.height(field.f), 201);
    EXPECT_NE(field.f->ops.data(field.f), nullptr);
}

TEST(DensityField, SpreadsAPointOverItsCellInverted)
{
    // Default range: cells of 20. The point lies a quarter across and half
    // up cell (0, 0) once the 40 rule has moved x down by 1.
    Field field(Range{0, 4000, 0, 4000});
    ASSERT_EQ(field.load("6 10\n"), 1);
    EXPECT_DOUBLE_EQ(density_field_max(field.f), 0.375);
    // Before normalisation: 0.125, 0.375, 0.125, 0.375; after, divided by 0.375.
    EXPECT_DOUBLE_EQ(field.node(0, 0), 0.125 / 0.375);
    EXPECT_DOUBLE_EQ(field.node(1, 0), 1.0);
    EXPECT_DOUBLE_EQ(field.node(0, 1), 0.125 / 0.375);
    EXPECT_DOUBLE_EQ(field.node(1, 1), 1.0);
    EXPECT_EQ(field.nonzero(), 4);
}

TEST(DensityField, MiddleOfACellGivesFourEqualNodes)
{
    Field field(Range{0, 4000, 0, 4000});
    ASSERT_EQ(field.load("110 110\n"), 1);
    EXPECT_EQ(density_field_max(field.f), 0.25);
    for (int i = 5; i <= 6; ++i)
        for (int j = 5; j <= 6; ++j)
            EXPECT_EQ(field.node(i, j), 1.0);
    EXPECT_EQ(field.nonzero(), 4);
}

// Values before normalisation (node times max) of the four nodes of row 0
// and row 1 around a point at y = 10, half way up cell row 0.
TEST(DensityField, FortyRuleMovesSmallXDownByOne)
{
    struct Case {
        const char* line;
        int gx;    // cell column
        double fx; // fraction across the cell
    } cases[] = {
        {"39.5 10", 1, 0.925}, // binned at x = 38.5
        {"40 10", 2, 0.0},     // exactly 40 stays
        {"41 10", 2, 0.05},
        {"-5 10", -1, 0.0}, // -6 is outside the range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Field field(Range{0, 4000, 0, 4000});
        int loaded = field.load(std::string(c.line) + "\n");
        if (c.gx < 0) {
            EXPECT_EQ(loaded, 0);
            EXPECT_EQ(field.f->ops.rejected(field.f), 1);
            continue;
        }
        ASSERT_EQ(loaded, 1);
        double max = density_field_max(field.f);
        for (int j = 0; j <= 1; ++j) {
            EXPECT_NEAR(field.node(c.gx, j) * max, c.fx * 0.5, 1e-12);
            EXPECT_NEAR(field.node(c.gx + 1, j) * max, (1 - c.fx) * 0.5, 1e-12);
        }
    }
}

TEST(DensityField, RangeEdges)
{
    Field field(Range{100, 500, 200, 600}); // dx = 2, dy = 2
    ASSERT_EQ(field.load("500 300\n"        // x == x_max: rejected
                         "300 600\n"        // y == y_max: rejected
                         "99.999 300\n"     // below x_min
                         "300 199\n"
                         "inf 300\n"
                         "300 -inf\n"
                         "100 200\n"), // x == x_min, y == y_min: accepted, fx = fy = 0
              1);
    EXPECT_EQ(field.f->ops.rejected(field.f), 6);
    EXPECT_EQ(field.node(0, 0), 0.0);
    EXPECT_EQ(field.node(0, 1), 0.0);
    EXPECT_EQ(field.node(1, 0), 0.0);
    EXPECT_EQ(field.node(1, 1), 1.0);
}

TEST(DensityField, QuotientRoundingUpToTheEdgeStaysInTheGrid)
{
    // With this range the largest x below x_max gives a quotient that rounds
    // to exactly 200, one cell beyond the last.
    const double x_min = 100, x_max = 4001.11;
    const double x = std::nextafter(x_max, 0.0);
    ASSERT_EQ((x - x_min) / ((x_max - x_min) / 200), 200.0);
    Field field(Range{x_min, x_max, x_min, x_max});
    char line[128];
    std::snprintf(line, sizeof line, "%.17g %.17g\n", x, x);
    ASSERT_EQ(field.load(line), 1);
    EXPECT_EQ(field.f->ops.rejected(field.f), 0);
    // Held in the last cell: its upper corner node takes the whole weight.
    EXPECT_EQ(field.node(199, 199), 1.0);
    EXPECT_EQ(field.nonzero(), 1);
}

TEST(DensityField, NanCoordinatesNeverReachTheGrid)
{
    Field field(Range{0, 4000, 0, 4000});
    EXPECT_EQ(field.load("nan 100\n100 nan\n-nan -nan\n"), 0);
    EXPECT_EQ(field.f->ops.rejected(field.f), 0);
    EXPECT_EQ(field.nonzero(), 0);
    // A range that is not a number puts nothing into the grid either.
    Field nan_range(Range{NAN, 4000, 0, 4000});
    EXPECT_EQ(nan_range.load("100 100\n"), 0);
    EXPECT_EQ(nan_range.nonzero(), 0);
}

// Ranges whose cells have no usable size: a point inside such a range has
// no cell and is counted as rejected; nothing outside the grid is touched
// (ASan and UBSan watch the conversions and the stores).
TEST(DensityField, RangesWithoutUsableCellsRejectTheirPoints)
{
    const double inf = INFINITY;
    struct Case {
        double x_min, x_max, y_min, y_max;
        const char* lines;
        int load, rejected;
    } cases[] = {
        // Zero width: no point passes x < x_max.
        {100, 100, 0, 4000, "100 10\n99 10\n", 0, 2},
        // Cells that round to zero size, with the point inside and outside.
        {0, 4000, 0, 1e-322, "100 5e-324\n100 0\n100 1e-300\n", 0, 3},
        // Cells of the smallest denormal: the quotient can pass 200.
        {0, 4000, 0, 1e-321, "100 9.93e-322\n100 0\n", 1, 1},
        // Infinite cell sizes: a difference that overflows gives inf / inf
        // and is rejected; a finite one lands in cell 0.
        {-1e308, 1e308, -1e308, 1e308, "1e308 0\n0 0\n-1e308 -1e308\n", 1, 1},
        {-1e308, 1e308, 0, 4000, "0 100\n1.7e308 100\n", 1, 1},
        // Infinite ranges: every quotient is inf / inf or 0 / inf.
        {-inf, inf, -inf, inf, "0 0\n1e300 -1e300\ninf 0\n", 0, 3},
        {0, inf, 0, 4000, "100 100\n1e308 100\n", 1, 0},
        {-inf, 0, 0, 4000, "-100 100\n", 0, 1},
    };
    for (const Case& c : cases) {
        Field field(Range{c.x_min, c.x_max, c.y_min, c.y_max});
        EXPECT_EQ(field.load(c.lines), c.load) << c.lines;
        EXPECT_EQ(field.f->ops.rejected(field.f), c.rejected) << c.lines;
        for (int k = 0; k < 201 * 201; ++k)
            ASSERT_TRUE(field.f->ops.data(field.f)[k] >= 0.0 && field.f->ops.data(field.f)[k] <= 1.0) << c.lines;
    }
}

// Points are binned eight or four at a time where the processor allows:
// the same bits and counts as one at a time, for points at the edges of the
// arithmetic in each of the lanes, over ranges that make them edges, under
// every binning rule.
TEST(DensityField, EightOrFourAtATimeBinAsOneAtATime)
{
    const double inf = INFINITY;
    const Range ranges[] = {{0, 4000, 0, 4000},
                            {100, 4001.11, 100, 4001.11},
                            {0, 4000, 0, 1e-321},
                            {39, 41, 39, 41},
                            {-1e308, 1e308, -1e308, 1e308},
                            {-inf, inf, -inf, inf},
                            {0, inf, 0, 4000},
                            {-inf, 0, 0, 4000}};
    const char* points[] = {"nan 100",
                            "100 nan",
                            "-nan -nan",
                            "inf 0",
                            "-inf 5",
                            "0 0",
                            "4000 4000",
                            "3999.9999999999995 1",
                            "4001.1099999999997 4001.1099999999997",
                            "39.5 40",
                            "40 40",
                            "40.5 39.5",
                            "1e308 0",
                            "-1e308 -1e308",
                            "1.7e308 100",
                            "100 9.93e-322",
                            "100 5e-324",
                            "-0 0",
                            "1e-300 1e-300",
                            "2000 2000",
                            "123.456 3210.5",
                            "41 40.99999999999999"};
    for (int lane = 0; lane < 16; ++lane) {
        const BinningRule rule = lane < 8 ? BinningRule::classic : BinningRule::bilinear;
        std::string data;
        for (int k = 0; k < lane % 8; ++k)
            data += "2000 2000\n";
        for (const char* point : points)
            data += std::string(point) + "\n";
        for (const auto& r : ranges) {
            SCOPED_TRACE(testing::Message() << binning_rule_name(rule) << ", lane " << lane % 8 << ", range " << r.x_min
                                            << " " << r.x_max << " " << r.y_min << " " << r.y_max);
            Field plain(r);
            density_field_set_binning(plain.f, rule);
            density_field_test_binning_lanes(1);
            const int plain_result = plain.load(data);
            for (const unsigned lanes : {8u, 4u}) {
                SCOPED_TRACE(testing::Message() << lanes << " at a time");
                Field wide(r);
                density_field_set_binning(wide.f, rule);
                density_field_test_binning_lanes(lanes);
                EXPECT_EQ(wide.load(data), plain_result);
                EXPECT_EQ(std::memcmp(wide.f->ops.data(wide.f), plain.f->ops.data(plain.f), 201 * 201 * sizeof(double)),
                          0);
                EXPECT_EQ(density_field_max(wide.f), density_field_max(plain.f));
                EXPECT_EQ(wide.f->ops.rejected(wide.f), plain.f->ops.rejected(plain.f));
                EXPECT_EQ(density_field_counts(wide.f).in_range, density_field_counts(plain.f).in_range);
                EXPECT_EQ(density_field_counts(wide.f).not_a_number, density_field_counts(plain.f).not_a_number);
            }
            density_field_test_reset();
        }
    }
}

// Billions of points outside the range are counted whole: the counts the
// field keeps are 64-bit, and the int its table hands out stops at the top.
TEST(DensityField, CountsPastThirtyTwoBits)
{
    density_field_test_rejected_before_load(2400000000LL);
    Field field(Range{0, 4000, 0, 4000});
    field.load("5000 5000\n100 100\n");
    density_field_test_reset();
    EXPECT_EQ(density_field_counts(field.f).rejected, 2400000001LL);
    EXPECT_EQ(field.f->ops.rejected(field.f), 2147483647);
    EXPECT_EQ(density_field_counts(field.f).in_range, 1);
}

TEST(DensityField, FilesWithoutAcceptedPoints)
{
    Field text(Range{0, 4000, 0, 4000});
    EXPECT_EQ(text.load("x y\nheader only\n"), 0);
    EXPECT_EQ(text.f->ops.rejected(text.f), 0);
    EXPECT_EQ(text.nonzero(), 0);

    Field empty(Range{0, 4000, 0, 4000});
    EXPECT_EQ(empty.load(""), 0);

    Field inverted(Range{4000, 0, 0, 4000});
    EXPECT_EQ(inverted.load("100 100\n200 200\n"), 0);
    EXPECT_EQ(inverted.f->ops.rejected(inverted.f), 2);

    Field flat(Range{0, 0, 0, 4000}); // empty range: no division by the zero cell size
    EXPECT_EQ(flat.load("0 100\n"), 0);
    EXPECT_EQ(flat.f->ops.rejected(flat.f), 1);
    EXPECT_EQ(flat.nonzero(), 0);
}

TEST(DensityField, ReloadClearsThePreviousLoad)
{
    Field field(Range{0, 4000, 0, 4000});
    PlacedBounds gathered;
    ASSERT_TRUE(density_field_gather_bounds(field.f, &gathered));
    ASSERT_EQ(field.load("110 110\n5000 5000\n"), 1);
    EXPECT_EQ(gathered.points, 2); // the point outside the range too
    EXPECT_EQ(field.f->ops.rejected(field.f), 1);
    EXPECT_EQ(density_field_counts(field.f).points, 2);
    EXPECT_EQ(density_field_counts(field.f).in_range, 1);
    ASSERT_EQ(field.load("1010 1010\n"), 1);
    EXPECT_EQ(field.f->ops.rejected(field.f), 0);
    EXPECT_EQ(density_field_counts(field.f).points, 1);
    EXPECT_EQ(density_field_counts(field.f).in_range, 1);
    EXPECT_EQ(field.node(5, 5), 0.0);
    EXPECT_EQ(field.node(50, 50), 1.0);
    // The bounds gathered are the last load's alone.
    EXPECT_EQ(gathered.points, 1);
    EXPECT_EQ(gathered.x_max, 1010);

    // Nor does a load of weighted means on a log axis leave its counts,
    // weight or least mean to a plain load after it.
    Field logged(Range{1, 1000, 1, 1000});
    const struct {
        int weight, value;
        bool log_x;
        const char* text;
        long long nonpositive;
        double weight_binned, least;
    } loads[] = {
        {3, 4, true, "-5 10 2 7\n10 10 2 7\n100 100 3 9\n", 1, 5, 7},
        {0, 0, false, "10 10\n", 0, 0, 0},
    };
    for (const auto& l : loads) {
        ASSERT_TRUE(density_field_set_values(logged.f, l.weight, l.value));
        ASSERT_TRUE(density_field_set_log_axes(logged.f, l.log_x, false));
        ASSERT_EQ(logged.load(l.text), 1);
        EXPECT_EQ(density_field_counts(logged.f).nonpositive, l.nonpositive);
        EXPECT_EQ(density_field_counts(logged.f).weight, l.weight_binned);
        EXPECT_EQ(density_field_least(logged.f), l.least);
    }
}

// Columns from 1 to 1000, two different ones; a refused pair leaves the
// last good one. Column k of the line holds the digit k % 10, so a field
// read through columns must equal that of the plain pair of their digits;
// the line has no column 1000, so no point comes through it.
TEST(DensityField, ColumnsPickXAndYFromTheLine)
{
    std::string line;
    for (int k = 1; k <= 400; ++k)
        line += std::to_string(k % 10) + (k < 400 ? " " : "\n");
    const struct {
        int x, y;
        bool taken;
        const char* plain; // the same point with x and y in columns 1 and 2; empty for none
    } cases[] = {
        {1000, 1, true, ""},       {1, 1000, true, ""},    {3, 397, true, "3 7\n"}, {1001, 1, false, "3 7\n"},
        {1, 1001, false, "3 7\n"}, {0, 2, false, "3 7\n"}, {7, 7, false, "3 7\n"},  {12, 395, true, "2 5\n"},
    };
    Field field(Range{-10, 10, -10, 10});
    for (const auto& c : cases) {
        EXPECT_EQ(density_field_set_columns(field.f, c.x, c.y), c.taken) << c.x << " " << c.y;
        Field plain(Range{-10, 10, -10, 10});
        EXPECT_EQ(field.load(line), plain.load(c.plain)) << c.x << " " << c.y;
        EXPECT_EQ(density_field_counts(field.f).points, *c.plain ? 1 : 0) << c.x << " " << c.y;
        EXPECT_EQ(std::memcmp(field.f->ops.data(field.f), plain.f->ops.data(plain.f), 201 * 201 * sizeof(double)), 0)
            << c.x << " " << c.y;
    }
    EXPECT_FALSE(density_field_set_columns(nullptr, 1, 2));
    // A weight's and a value's columns have the same bounds, 0 for none.
    for (const auto& [weight, value, taken] :
         {std::tuple{1000, 1000, true}, {1001, 0, false}, {0, 1001, false}, {-1, 0, false}, {0, -1, false}})
        EXPECT_EQ(density_field_set_values(field.f, weight, value), taken) << weight << " " << value;
}

TEST(DensityField, HeaderLinesAreSkippedOnlyWhenAsked)
{
    Field taken(Range{0, 4000, 0, 4000});
    taken.load("110 110 header that starts with numbers\n1010 1010\n");
    EXPECT_EQ(taken.nonzero(), 8);
    Field skipped(Range{0, 4000, 0, 4000});
    skipped.load("110 110 header that starts with numbers\n1010 1010\n", 1);
    EXPECT_EQ(skipped.nonzero(), 4);
}

TEST(DensityField, NormalisedGridHoldsItsMaximumOnce)
{
    Field field(Range{0, 4000, 0, 4000});
    std::string data;
    for (int k = 0; k < 1000; ++k)
        data += std::to_string(40 + (k * 37) % 3900) + " " + std::to_string((k * 91) % 3999) + "\n";
    ASSERT_EQ(field.load(data), 1);
    double top = 0;
    for (int k = 0; k < 201 * 201; ++k) {
        double v = field.f->ops.data(field.f)[k];
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
        top = std::max(top, v);
    }
    EXPECT_EQ(top, 1.0);
    EXPECT_NEAR(field.sum() * density_field_max(field.f), 1000.0, 1e-9);
}

// The field's load, word for word as the algorithm reads: fgets, sscanf,
// the scalar arithmetic and the four additions in file order, one pass.
struct ReferenceGrid {
    std::vector<double> nodes = std::vector<double>(201 * 201, 0.0);
    double max = 0;
    int rejected = 0;
    long long points = 0;
    long long binned = 0;
    int result = 0;
};

ReferenceGrid reference_load(const std::string& text, double x_min, double y_min, double x_max, double y_max)
{
    ReferenceGrid g;
    TempStream in(text);
    const double dx = (x_max - x_min) / 200, dy = (y_max - y_min) / 200;
    char line[1024];
    while (std::fgets(line, sizeof line, in.file)) {
        double x, y;
        if (std::sscanf(line, "%lf %lf", &x, &y) != 2)
            continue;
        ++g.points;
        if (std::isnan(x) || std::isnan(y))
            continue;
        if (x < 40.0)
            x -= 1.0;
        if (x < x_min || x >= x_max || y < y_min || y >= y_max) {
            ++g.rejected;
            continue;
        }
        ++g.binned;
        int gx = std::min(199, static_cast<int>(std::floor((x - x_min) / dx)));
        int gy = std::min(199, static_cast<int>(std::floor((y - y_min) / dy)));
        double fx = (x - x_min) / dx - gx;
        double fy = (y - y_min) / dy - gy;
        auto add = [&](int i, int j, double w) {
            double& node = g.nodes[j * 201 + i];
            node += w;
            if (node > g.max)
                g.max = node;
        };
        add(gx, gy, fx * fy);
        add(gx + 1, gy, (1 - fx) * fy);
        add(gx, gy + 1, fx * (1 - fy));
        add(gx + 1, gy + 1, (1 - fx) * (1 - fy));
    }
    if (g.max >= 0.01) {
        for (double& v : g.nodes)
            v /= g.max;
        g.result = 1;
    }
    return g;
}

// The bytes as a stream that cannot be mapped, so that they are read.
struct ReadOnlyStream {
    std::string bytes;
    std::FILE* file;
    explicit ReadOnlyStream(std::string text) : bytes(std::move(text)), file(fmemopen(bytes.data(), bytes.size(), "r"))
    {
    }
    ~ReadOnlyStream() { std::fclose(file); }
};

// Chunks are added in file order, one partial each, so the field may differ
// from the one-pass sum in the last bits, but never with the threads, nor
// between a mapped file and a read stream.
TEST(DensityField, LargeFileMatchesTheReferenceTheSameAtEveryThreadCount)
{
    // Several megabytes, so that the file is read in many chunks on several
    // threads; points pile up so that the order of additions matters.
    std::mt19937_64 rng(31);
    std::normal_distribution<double> spread(1500.0, 500.0);
    std::string data;
    while (data.size() < (5u << 20)) {
        char line[80];
        int digits = static_cast<int>(rng() % 12);
        std::snprintf(line, sizeof line, "%.*f %.*g\n", digits, spread(rng), 3 + digits, spread(rng));
        data += line;
        if (rng() % 5000 == 0)
            data += "# comment 1 2\n" + std::string(rng() % 2500, '7') + "\n";
    }
    const Range ranges[] = {{0, 4000, 0, 4000}, {-100, 2100, 900, 2000}, {1234.5, 1300.125, 0.25, 3999.75}};
    // Bytes each thread parses at a time (0: the default, about 4 MiB).
    const std::size_t chunk_sizes[] = {0, 256 << 10, 64 << 10};
    // Threads that read the text (0: one per core), and whether the file is
    // mapped: the same field and counts, bit for bit.
    const struct {
        unsigned threads;
        bool mapped;
    } readers[] = {{1, true}, {2, true}, {7, true}, {0, true}, {1, false}, {7, false}};
    for (const Range& r : ranges) {
        const ReferenceGrid want = reference_load(data, r.x_min, r.y_min, r.x_max, r.y_max);
        for (std::size_t chunk_bytes : chunk_sizes) {
            std::vector<double> first;
            double first_max = 0;
            for (const auto& reader : readers) {
                SCOPED_TRACE(testing::Message() << "range " << r.x_min << ", chunks of " << chunk_bytes << ", threads "
                                                << reader.threads << (reader.mapped ? ", mapped" : ", read"));
                set_point_reader_chunk_bytes(chunk_bytes);
                Field field(r);
                ASSERT_TRUE(density_field_set_threads(field.f, reader.threads));
                int result;
                if (reader.mapped) {
                    result = field.load(data);
                } else {
                    ReadOnlyStream in(data);
                    result = field.f->ops.load(field.f, in.file, 0);
                }
                set_point_reader_chunk_bytes(0);
                ASSERT_EQ(result, want.result);
                const double* nodes = field.f->ops.data(field.f);
                if (&reader == readers) {
                    first.assign(nodes, nodes + 201 * 201);
                    first_max = density_field_max(field.f);
                    double worst = 0;
                    for (int k = 0; k < 201 * 201; ++k)
                        worst = std::max(worst, std::fabs(nodes[k] - want.nodes[k]));
                    EXPECT_LT(worst, 1e-12);
                    EXPECT_NEAR(first_max, want.max, want.max * 1e-12);
                }
                EXPECT_EQ(std::memcmp(nodes, first.data(), first.size() * sizeof(double)), 0);
                EXPECT_EQ(density_field_max(field.f), first_max);
                const FieldCounts counts = density_field_counts(field.f);
                EXPECT_EQ(field.f->ops.rejected(field.f), want.rejected);
                EXPECT_EQ(counts.points, want.points);
                EXPECT_EQ(counts.in_range, want.binned);
                EXPECT_GT(counts.rejected_lines, 0) << "the long lines of sevens";
            }
        }
    }
}

TEST(DensityField, ForeignOrNullHandlesDoNothing)
{
    EXPECT_EQ(density_field_max(nullptr), 0.0);
    Field field(Range{0, 4000, 0, 4000});
    DensityField forged = *field.f;
    char bogus[128] = "not_mesh";
    forged.state = reinterpret_cast<FieldState*>(bogus);
    EXPECT_EQ(forged.ops.width(&forged), 0);
    EXPECT_EQ(forged.ops.height(&forged), 0);
    EXPECT_EQ(forged.ops.rejected(&forged), 0);
    EXPECT_EQ(forged.ops.data(&forged), nullptr);
    TempStream in("1 2\n");
    EXPECT_EQ(forged.ops.load(&forged, in.file, 0), 0);
    forged.ops.destroy(&forged); // must not free anything
    EXPECT_EQ(std::memcmp(bogus, "not_mesh", 8), 0);
    EXPECT_EQ(field.f->ops.width(nullptr), 0);
    field.f->ops.destroy(nullptr);
}

// Sums from elsewhere whose counts go below zero or past a long long
// load nothing, where adding them up would overflow.
TEST(DensityField, SumsWhoseCountsOverflowLoadNothing)
{
    constexpr long long kMost = 0x7fffffffffffffff;
    const struct {
        long long first_n, second_n, rejected, not_a_number, nonpositive;
        int loaded;
    } cases[] = {
        {1, 1, 0, 0, 0, 1},          {kMost - 10, 10, 0, 0, 0, 1}, {kMost - 10, 11, 0, 0, 0, 0},
        {kMost - 10, 1, 9, 0, 0, 1}, {kMost - 10, 1, 10, 0, 0, 0}, {kMost - 10, 1, 0, 10, 0, 0},
        {-1, 3, 0, 0, 0, 0},         {1, 1, -1, 0, 0, 0},          {1, 1, 0, -1, 0, 0},
        {kMost - 10, 1, 0, 0, 9, 1}, {kMost - 10, 1, 0, 0, 10, 0}, {1, 1, 0, 0, -1, 0},
    };
    for (const auto& c : cases) {
        std::vector<CellSums> cells(200 * 200);
        cells[0] = CellSums{c.first_n, 0, 0, 0};
        cells[201] = CellSums{c.second_n, 0, 0, 0};
        Field field(Range{0, 1, 0, 1});
        EXPECT_EQ(density_field_load_sums(field.f, cells.data(), c.rejected, c.not_a_number, c.nonpositive), c.loaded)
            << c.first_n << " " << c.second_n << " " << c.rejected << " " << c.not_a_number << " " << c.nonpositive;
        if (c.loaded) {
            EXPECT_EQ(density_field_counts(field.f).points,
                      c.first_n + c.second_n + c.rejected + c.not_a_number + c.nonpositive);
            EXPECT_EQ(density_field_counts(field.f).nonpositive, c.nonpositive);
        }
    }
}

} // namespace
