// The two binning rules against references of their own: single points on
// the edges of the rules, worked by hand, and bilinear spreading on random
// points against a tent-function sum over every node.
#include "field/binning_rules.h"
#include "field/density_field.h"
#include "field/grid_size.h"
#include "field/point.h"

#include <gtest/gtest.h>

#include "temp_stream.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct NodeWeight {
    int i, j;
    double weight; // before normalisation
};

// The nodes a file puts weight on, before normalisation, under a rule over
// 0..4000 (cells of 20).
std::vector<NodeWeight> weights_of(const std::string& text, BinningRule rule, long long* rejected = nullptr)
{
    DensityField* field = create_density_field(Range{0, 4000, 0, 4000});
    density_field_set_binning(field, rule);
    TempStream in(text);
    field->ops.load(field, in.file, 0);
    const double max = density_field_max(field);
    std::vector<NodeWeight> weights;
    for (int j = 0; j < 201; ++j)
        for (int i = 0; i < 201; ++i)
            if (const double w = field->ops.data(field)[j * 201 + i]; w != 0)
                weights.push_back({i, j, w * max});
    if (rejected)
        *rejected = density_field_counts(field).rejected;
    field->ops.destroy(field);
    return weights;
}

TEST(BinningRules, EachRuleSpreadsEdgePointsAsWorkedByHand)
{
    const double below_edge = std::nextafter(4000.0, 0.0); // quotient 199.99999999999997: held in cell 199
    const double f = below_edge / 20 - 199;
    char clamp_line[64];
    std::snprintf(clamp_line, sizeof clamp_line, "%.17g 10\n", below_edge);
    const struct {
        const char* name;
        std::string text;
        BinningRule rule;
        std::vector<NodeWeight> weights;
    } cases[] = {
        // On a node: all of it there under bilinear, on the opposite corner under classic.
        {"on a node", "100 200\n", BinningRule::bilinear, {{5, 10, 1.0}}},
        {"on a node", "100 200\n", BinningRule::classic, {{6, 11, 1.0}}},
        // A quarter across, half up: the nearer column gets three quarters.
        {"quarter", "105 10\n", BinningRule::bilinear, {{5, 0, 0.375}, {6, 0, 0.125}, {5, 1, 0.375}, {6, 1, 0.125}}},
        {"quarter", "105 10\n", BinningRule::classic, {{5, 0, 0.125}, {6, 0, 0.375}, {5, 1, 0.125}, {6, 1, 0.375}}},
        // x = x_min: bilinear keeps it on the first column; classic moves it below the range.
        {"x_min", "0 10\n", BinningRule::bilinear, {{0, 0, 0.5}, {0, 1, 0.5}}},
        {"x_min", "0 10\n", BinningRule::classic, {}},
        // 40 itself is never moved; 39.5 is under classic alone.
        {"forty", "40 10\n", BinningRule::bilinear, {{2, 0, 0.5}, {2, 1, 0.5}}},
        {"forty", "40 10\n", BinningRule::classic, {{3, 0, 0.5}, {3, 1, 0.5}}},
        {"39.5", "39.5 0\n", BinningRule::bilinear, {{1, 0, 0.025000000000000022}, {2, 0, 0.97499999999999998}}},
        // Classic also mirrors y: a point on the row's line weighs on the row above.
        {"39.5", "39.5 0\n", BinningRule::classic, {{1, 1, 0.92500000000000004}, {2, 1, 0.074999999999999956}}},
        // Just below x_max: the last cell, nearly all on the last column.
        {"clamp",
         clamp_line,
         BinningRule::bilinear,
         {{199, 0, (1 - f) * 0.5}, {200, 0, f * 0.5}, {199, 1, (1 - f) * 0.5}, {200, 1, f * 0.5}}},
        {"clamp",
         clamp_line,
         BinningRule::classic,
         {{199, 0, f * 0.5}, {200, 0, (1 - f) * 0.5}, {199, 1, f * 0.5}, {200, 1, (1 - f) * 0.5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", " + binning_rule_name(c.rule));
        const std::vector<NodeWeight> got = weights_of(c.text, c.rule);
        ASSERT_EQ(got.size(), c.weights.size());
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].i, c.weights[k].i);
            EXPECT_EQ(got[k].j, c.weights[k].j);
            EXPECT_NEAR(got[k].weight, c.weights[k].weight, 1e-15);
        }
    }
    long long rejected = 0;
    weights_of("4000 10\n10 4000\n-0.5 10\n", BinningRule::bilinear, &rejected);
    EXPECT_EQ(rejected, 3); // the upper edges are open, the lower closed
}

// Every node takes the tent function of its distance from the point, in
// cells, in each direction: a sum over all nodes that shares nothing with
// the field's cell arithmetic.
TEST(BinningRules, BilinearEqualsATentSumOverEveryNode)
{
    const double x_min = -250, x_max = 1750, y_min = 10, y_max = 410; // cells of 10 by 2
    std::mt19937_64 random(20261209);
    std::normal_distribution<double> x_of(700, 400), y_of(200, 90);
    std::string text;
    std::vector<std::pair<double, double>> points;
    for (int k = 0; k < 20000; ++k) {
        double x = x_of(random), y = y_of(random);
        if (k % 50 == 0) { // some on nodes, some on the edges
            x = x_min + 10 * double(k % 201);
            y = k % 100 == 0 ? y_min : y_min + 2 * double(k % 77);
        }
        char line[80];
        std::snprintf(line, sizeof line, "%.17g %.17g\n", x, y);
        text += line;
        std::sscanf(line, "%lf %lf", &x, &y);
        points.push_back({x, y});
    }
    std::vector<double> want(201 * 201, 0.0);
    for (const auto& [x, y] : points) {
        if (!(x >= x_min && x < x_max && y >= y_min && y < y_max))
            continue;
        const double cx = (x - x_min) / 10, cy = (y - y_min) / 2;
        for (int j = std::max(0, int(cy) - 1); j <= std::min(200, int(cy) + 2); ++j)
            for (int i = std::max(0, int(cx) - 1); i <= std::min(200, int(cx) + 2); ++i)
                want[j * 201 + i] += std::max(0.0, 1 - std::fabs(cx - i)) * std::max(0.0, 1 - std::fabs(cy - j));
    }
    const double top = *std::max_element(want.begin(), want.end());

    DensityField* field = create_density_field(Range{x_min, x_max, y_min, y_max});
    density_field_set_binning(field, BinningRule::bilinear);
    TempStream in(text);
    ASSERT_EQ(field->ops.load(field, in.file, 0), 1);
    EXPECT_NEAR(density_field_max(field), top, 1e-9);
    const double* nodes = field->ops.data(field);
    for (int k = 0; k < 201 * 201; ++k)
        ASSERT_NEAR(nodes[k], want[k] / top, 1e-12) << "node " << k % 201 << ", " << k / 201;
    field->ops.destroy(field);
}

// Sums made here, point by point with the plain arithmetic of a cell
// (a query's), spread by each rule and compared with the rule's own binning
// of the same points: the same counts, the same nodes within rounding, and
// the very bits where each cell holds one point; as counts, as weights and
// as weighted means.
TEST(BinningRules, CellSumsSpreadAsTheirPoints)
{
    const double x_min = -250, x_max = 1750, y_min = 10, y_max = 410;
    const double inf = HUGE_VAL, nan = std::nan("");
    std::mt19937_64 random(7);
    std::normal_distribution<double> x_of(700, 500), y_of(200, 120);
    std::vector<std::pair<double, double>> crowd, lonely = {{x_min, y_min}, {std::nextafter(x_max, 0.0), 11},
                                                            {40, 20},       {39.5, 30.25},
                                                            {nan, 3},       {5, nan},
                                                            {inf, 50},      {-inf, 60},
                                                            {70, inf},      {x_max, 70},
                                                            {-300, 80},     {1000.125, std::nextafter(y_max, 0.0)}};
    for (int k = 0; k < 30000; ++k)
        crowd.push_back({x_of(random), y_of(random)});
    const struct {
        const char* name;
        const std::vector<std::pair<double, double>>& points;
        double tolerance, mean_tolerance;
    } sets[] = {{"one point a cell", lonely, 0.0, 0.0}, {"crowded cells", crowd, 1e-12, 1e-9}};
    // Each point's weight (of either sign) and value, from its place in the file.
    const auto weight_of = [](int k) { return 0.75 * (k % 5) - 1.25; };
    const auto value_of = [](int k) { return 0.37 * k - 3; };
    for (const auto& set : sets)
        for (BinningRule rule : {BinningRule::bilinear, BinningRule::classic}) {
            SCOPED_TRACE(std::string(set.name) + ", " + binning_rule_name(rule));
            std::string text;
            std::vector<CellSums> cells(200 * 200);
            std::vector<CellValueSums> values(200 * 200);
            long long rejected = 0, nans = 0;
            const double dx = (x_max - x_min) / 200, dy = (y_max - y_min) / 200;
            for (int k = 0; k < int(set.points.size()); ++k) {
                auto [x, y] = set.points[k];
                const double w = weight_of(k), z = value_of(k);
                char line[120];
                std::snprintf(line, sizeof line, "%.17g %.17g %.17g %.17g\n", x, y, w, z);
                text += line;
                std::sscanf(line, "%lf %lf", &x, &y);
                if (std::isnan(x) || std::isnan(y)) {
                    ++nans;
                    continue;
                }
                x = rule == BinningRule::classic && x < 40 ? x - 1 : x;
                if (!(x >= x_min && x < x_max && y >= y_min && y < y_max)) {
                    ++rejected;
                    continue;
                }
                const double qx = (x - x_min) / dx, qy = (y - y_min) / dy;
                const double gx = std::min(std::floor(qx), 199.0), gy = std::min(std::floor(qy), 199.0);
                const double fx = qx - gx, fy = qy - gy;
                CellSums& cell = cells[int(gy) * 200 + int(gx)];
                ++cell.n;
                cell.sfx += fx;
                cell.sfy += fy;
                cell.sfxfy += fx * fy;
                CellValueSums& cell_values = values[int(gy) * 200 + int(gx)];
                for (auto [sums, q] : {std::pair{&cell_values.w, w}, std::pair{&cell_values.wz, w * z}}) {
                    sums->s += q;
                    sums->sfx += q * fx;
                    sums->sfy += q * fy;
                    sums->sfxfy += q * fx * fy;
                }
            }
            for (const auto& [weight_column, value_column] : {std::pair{0, 0}, {3, 0}, {3, 4}}) {
                SCOPED_TRACE(testing::Message() << "weight " << weight_column << ", value " << value_column);
                DensityField* from_points = create_density_field(Range{x_min, x_max, y_min, y_max});
                DensityField* from_sums = create_density_field(Range{x_min, x_max, y_min, y_max});
                for (DensityField* field : {from_points, from_sums}) {
                    density_field_set_binning(field, rule);
                    density_field_set_values(field, weight_column, value_column);
                }
                // Values asked for and not given load nothing.
                EXPECT_EQ(density_field_load_sums(from_sums, cells.data(), rejected, nans) == 0, weight_column > 0);
                TempStream in(text);
                EXPECT_EQ(density_field_load_sums(from_sums, cells.data(), rejected, nans, 0, values.data()),
                          from_points->ops.load(from_points, in.file, 0));
                const FieldCounts want = density_field_counts(from_points), got = density_field_counts(from_sums);
                EXPECT_EQ(got.points, want.points);
                EXPECT_EQ(got.in_range, want.in_range);
                EXPECT_EQ(got.rejected, want.rejected);
                EXPECT_EQ(got.not_a_number, want.not_a_number);
                EXPECT_NEAR(got.weight, want.weight, 1e-12 * set.points.size());
                const double tolerance = value_column ? set.mean_tolerance : set.tolerance;
                EXPECT_NEAR(density_field_max(from_sums), density_field_max(from_points),
                            tolerance * std::fabs(density_field_max(from_points)));
                const double *a = from_sums->ops.data(from_sums), *b = from_points->ops.data(from_points);
                for (int k = 0; k < 201 * 201; ++k)
                    ASSERT_TRUE(std::isnan(b[k]) ? std::isnan(a[k])
                                                 : std::fabs(a[k] - b[k]) <= tolerance * std::max(1.0, std::fabs(b[k])))
                        << "node " << k % 201 << ", " << k / 201 << ": " << a[k] << ", not " << b[k];
                from_points->ops.destroy(from_points);
                from_sums->ops.destroy(from_sums);
            }
        }
}

// The bounds of points as the rule places them, against a plain pass in
// their order: the same points counted and the same bits at each end (the
// first of tied zeros kept), for every count around the steps a wide loop
// takes, with NaN, infinities and signed zeros mixed in; one, two and four
// points a step alike, and float32 pairs as the points they widen to.
TEST(BinningRules, BoundsAreThoseOfAPassInOrder)
{
    const double inf = HUGE_VAL, nan = std::nan("");
    const double odd[] = {0.0, -0.0, nan, inf, -inf, 39.5, 40, -1e-300, 5e-324};
    std::mt19937_64 random(11);
    const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    const auto expect_bounds = [&](const PlacedBounds& b, const std::vector<Point>& points, BinningRule rule,
                                   bool log_x, bool log_y) {
        long long n = 0;
        double x_min = inf, x_max = -inf, y_min = inf, y_max = -inf;
        for (const Point& p : points) {
            const double x = rule == BinningRule::classic && p.x < 40 ? p.x - 1 : p.x, y = p.y;
            if (!std::isfinite(x) || !std::isfinite(y) || (log_x && x <= 0) || (log_y && y <= 0))
                continue;
            ++n;
            if (x < x_min)
                x_min = x;
            if (x > x_max)
                x_max = x;
            if (y < y_min)
                y_min = y;
            if (y > y_max)
                y_max = y;
        }
        EXPECT_EQ(b.points, n);
        EXPECT_TRUE(same(b.x_min, x_min) && same(b.x_max, x_max)) << b.x_min << " " << b.x_max;
        EXPECT_TRUE(same(b.y_min, y_min) && same(b.y_max, y_max)) << b.y_min << " " << b.y_max;
    };
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<Point> points(trial % 37);
        for (Point& p : points) {
            const auto pick = [&] {
                return random() % 3 == 0 ? odd[random() % std::size(odd)] : double(int(random() % 9) - 4) * 10;
            };
            p = Point{pick(), pick()};
        }
        std::vector<float> pairs;
        std::vector<Point> widened;
        for (const Point& p : points) {
            pairs.insert(pairs.end(), {float(p.x), float(p.y)});
            widened.push_back(Point{pairs[pairs.size() - 2], pairs.back()});
        }
        for (BinningRule rule : {BinningRule::bilinear, BinningRule::classic})
            for (int logs = 0; logs < 4; ++logs) {
                const bool log_x = logs & 1, log_y = logs & 2;
                SCOPED_TRACE(testing::Message()
                             << "trial " << trial << ", " << binning_rule_name(rule) << ", logs " << logs);
                for (const unsigned step : {1u, 2u, 4u}) {
                    SCOPED_TRACE(testing::Message() << "step " << step);
                    expect_bounds(bound_points(rule, log_x, log_y, points.data(), points.size(), step), points, rule,
                                  log_x, log_y);
                }
                SCOPED_TRACE("float32 pairs");
                expect_bounds(bound_float_pairs(rule, log_x, log_y, pairs.data(), widened.size()), widened, rule, log_x,
                              log_y);
            }
    }
}

// A grid and its counts, as one binning of some points left them.
struct Binned {
    std::vector<double> nodes = std::vector<double>(kGridNodes * kGridNodes);
    BinCounts counts;
};

// The same bits in every node, and the same counts.
void expect_same_binning(const Binned& got, const Binned& want)
{
    EXPECT_EQ(std::memcmp(got.nodes.data(), want.nodes.data(), got.nodes.size() * sizeof(double)), 0);
    EXPECT_EQ(got.counts.binned, want.counts.binned);
    EXPECT_EQ(got.counts.rejected, want.counts.rejected);
    EXPECT_EQ(got.counts.not_a_number, want.counts.not_a_number);
}

// Many at a time, the points still reach each node in their order: long
// runs of points all placed, broken now and then by one with no place, on
// a few cells, where any other order of adding gives other bits.
TEST(BinningRules, ManyAtATimeAddInThePointsOrder)
{
    std::mt19937_64 random(29);
    std::uniform_real_distribution<double> near(0.0, 60.0);
    const CellGeometry cells{Range{0, 4000, 0, 4000}, 20, 20};
    for (int trial = 0; trial < 48; ++trial) {
        constexpr int kGaps[] = {0, 3, 20, 70, 200, 1000}; // one point in so many has no place
        const int gap_every = kGaps[trial % 6];
        std::vector<Point> points(std::size_t(trial * 37 % 900 + 1));
        for (std::size_t k = 0; k < points.size(); ++k) {
            points[k] = Point{1000 + near(random), 1000 + near(random)};
            if (gap_every && random() % gap_every == 0)
                points[k] = k % 2 ? Point{NAN, 1} : Point{-5, 1000};
        }
        for (BinningRule rule : {BinningRule::bilinear, BinningRule::classic}) {
            Binned one;
            bin_points(rule, 1, cells, points.data(), points.size(), one.nodes.data(), one.counts);
            for (unsigned lanes : {4u, 8u}) {
                SCOPED_TRACE(testing::Message()
                             << "trial " << trial << ", " << binning_rule_name(rule) << ", " << lanes << " at a time");
                Binned many;
                bin_points(rule, lanes, cells, points.data(), points.size(), many.nodes.data(), many.counts);
                expect_same_binning(many, one);
            }
        }
    }
}

// Float32 pairs, as a two-column float32 array holds them, give the bits
// and counts their values give as points, on the edges of a float too.
TEST(BinningRules, FloatPairsBinAsTheirPoints)
{
    const float inf = HUGE_VALF, nan = std::nanf("");
    const float odd[] = {nan, -nan, inf, -inf, 0.0f, -0.0f, 1e-45f, 3.4e38f, 40.0f, 39.5f, 4000.0f, 3999.9998f};
    // The last two: cells a little narrower than the range's 200th in one
    // direction, where a point near its top lies past the last cell.
    const CellGeometry cells[] = {{Range{0, 4000, 0, 4000}, 20, 20},
                                  {Range{39, 41, 39, 41}, 0.01, 0.01},
                                  {Range{0, 4000, 0, 4000}, 19.99, 20},
                                  {Range{0, 4000, 0, 4000}, 20, 19.99}};
    std::mt19937_64 random(31);
    std::uniform_real_distribution<float> anywhere(-100.0f, 4100.0f);
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<float> pairs(std::size_t(trial * 13 % 300) * 2);
        for (float& v : pairs)
            v = random() % 4 == 0 ? odd[random() % std::size(odd)] : anywhere(random);
        std::vector<Point> points(pairs.size() / 2);
        for (std::size_t k = 0; k < points.size(); ++k)
            points[k] = Point{pairs[2 * k], pairs[2 * k + 1]};
        for (const CellGeometry& geometry : cells)
            for (BinningRule rule : {BinningRule::bilinear, BinningRule::classic}) {
                Binned want;
                bin_points(rule, 1, geometry, points.data(), points.size(), want.nodes.data(), want.counts);
                for (unsigned lanes : {1u, 4u, 8u}) {
                    SCOPED_TRACE(testing::Message() << "trial " << trial << ", " << binning_rule_name(rule) << ", "
                                                    << lanes << " at a time, x from " << geometry.x_min);
                    Binned got;
                    bin_float_pairs(rule, lanes, geometry, pairs.data(), points.size(), got.nodes.data(), got.counts);
                    expect_same_binning(got, want);
                }
            }
    }
}

} // namespace
