// The heights the picture's options make of a field's nodes: smoothing
// against a plain two-dimensional convolution, and the log scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "render/scene/node_heights.h"

namespace {

// Every output node is the mean of the nodes around it within three
// sigma, weighed by exp(-d^2 / 2 sigma^2) and taking only nodes inside the
// grid.
std::vector<double> convolved(const std::vector<double>& values, int nx, int ny, int sigma)
{
    std::vector<double> out(values.size());
    const int reach = 3 * sigma;
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            double sum = 0, weight = 0;
            for (int v = j - reach; v <= j + reach; ++v) {
                for (int u = i - reach; u <= i + reach; ++u) {
                    if (u < 0 || v < 0 || u >= nx || v >= ny)
                        continue;
                    const double w = std::exp(-((u - i) * (u - i) + (v - j) * (v - j)) / (2.0 * sigma * sigma));
                    sum += w * values[size_t(v * nx + u)];
                    weight += w;
                }
            }
            out[size_t(j * nx + i)] = sum / weight;
        }
    }
    return out;
}

double highest(const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); }

// Random nodes with one at exactly 1, as the field normalises them.
std::vector<double> random_nodes(int nx, int ny, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> spread(0.0, 1.0);
    std::vector<double> nodes(size_t(nx) * size_t(ny));
    for (double& node : nodes)
        node = spread(random) < 0.7 ? 0.0 : spread(random);
    nodes[nodes.size() / 2] = 1.0;
    return nodes;
}

// Grids narrower than the kernel too, so both edges cut it at once.
TEST(NodeHeights, SmoothingIsAGaussianConvolutionRenormalisedAtTheEdges)
{
    const int cases[][3] = {{1, 13, 9}, {2, 13, 9}, {4, 13, 9}, {2, 40, 3}, {4, 31, 27}, {1, 1, 1}};
    for (const auto& [sigma, nx, ny] : cases) {
        const std::vector<double> nodes = random_nodes(nx, ny, unsigned(sigma * 100 + nx));
        PictureOptions options;
        options.smoothing_cells = sigma;
        std::vector<double> heights(nodes.size());
        double top_weight = 0;
        ASSERT_TRUE(write_heights(heights, NodeGrid{nx, ny, nodes.data()}, 50.0, options, &top_weight));
        const std::vector<double> want = convolved(nodes, nx, ny, sigma);
        // The height scale ends at the smoothed peak, in points per cell.
        EXPECT_NEAR(top_weight, 50.0 * highest(want), 1e-9);
        for (size_t k = 0; k < heights.size(); ++k)
            ASSERT_NEAR(heights[k], want[k] / highest(want), 1e-12)
                << "sigma " << sigma << ", " << nx << " x " << ny << ", node " << k;
    }
}

// A heavy tail: 1000, 10 and 1 points on three nodes. On the log scale the
// heights go as log(1 + weight), the highest still 1; smoothing comes
// first, on the weights.
TEST(NodeHeights, LogScaleTakesLogOfOnePlusTheWeight)
{
    std::vector<double> nodes(25, 0.0);
    nodes[6] = 1.0, nodes[12] = 0.01, nodes[18] = 0.001;
    const NodeGrid grid{5, 5, nodes.data()};
    PictureOptions log;
    log.log_scale = true;
    std::vector<double> heights(25);
    ASSERT_TRUE(write_heights(heights, grid, 1000.0, log));
    EXPECT_DOUBLE_EQ(heights[6], 1.0);
    EXPECT_NEAR(heights[12] / heights[6], std::log(11.0) / std::log(1001.0), 1e-12);
    EXPECT_NEAR(heights[18] / heights[12], std::log(2.0) / std::log(11.0), 1e-12);
    EXPECT_EQ(heights[0], 0.0);

    // Without a weight to take the log of, the nodes are only normalised.
    ASSERT_TRUE(write_heights(heights, grid, 0.0, log));
    EXPECT_TRUE(heights[6] == 1.0 && heights[12] == 0.01 && heights[18] == 0.001);

    log.smoothing_cells = 1;
    ASSERT_TRUE(write_heights(heights, grid, 1000.0, log));
    const std::vector<double> smoothed = convolved(nodes, 5, 5, 1);
    for (size_t k = 0; k < 25; ++k)
        ASSERT_NEAR(heights[k], std::log1p(smoothed[k] * 1000.0) / std::log1p(highest(smoothed) * 1000.0), 1e-12) << k;

    // A field without a point stays flat at 0, its scale ending at 0.
    const std::vector<double> none(25, 0.0);
    double top = -1;
    ASSERT_TRUE(write_heights(heights, NodeGrid{5, 5, none.data()}, 0.0, log, &top));
    EXPECT_TRUE(top == 0 && std::all_of(heights.begin(), heights.end(), [](double h) { return h == 0; }));
}

// Any smoothing, or the log scale, changes the nodes; only neither leaves
// them as they are.
TEST(NodeHeights, WhichOptionsChangeTheNodes)
{
    for (const auto& [cells, log, differ] :
         {std::tuple{0, false, false}, {1, false, true}, {4, false, true}, {0, true, true}, {2, true, true}}) {
        PictureOptions options;
        options.smoothing_cells = cells;
        options.log_scale = log;
        options.colour_map = ColourMap::turbo; // colours and the rest leave the heights alone
        options.texture_only = true;
        EXPECT_EQ(heights_differ(options), differ) << cells << (log ? " log" : "");
    }
}

} // namespace

namespace {

// Scott's rule against the points themselves: clouds of known spread
// binned to their nearest nodes, the width the sample's standard
// deviations give times n^(-1/6); nothing for a single point.
TEST(NodeHeightsTest, AutomaticWidthFollowsScottsRule)
{
    const struct {
        int points;
        double sigma_x, sigma_y;
        double centre_x = 100; // near 0, many points stand in the first column
    } cases[] = {{1000, 10, 10}, {100000, 5, 30}, {50, 20, 8}, {20000, 12, 3}, {20000, 30, 10, 10}};
    std::mt19937 random(7);
    for (const auto& c : cases) {
        const int n = 201;
        std::vector<double> nodes(size_t(n * n), 0.0);
        std::normal_distribution<double> x(c.centre_x, c.sigma_x), y(100, c.sigma_y);
        double sx = 0, sy = 0, sxx = 0, syy = 0;
        for (int k = 0; k < c.points; ++k) {
            const double px = std::clamp(x(random), 0.0, 200.0), py = std::clamp(y(random), 0.0, 200.0);
            nodes[size_t(std::lround(py)) * n + size_t(std::lround(px))] += 1;
            sx += px, sy += py, sxx += px * px, syy += py * py;
        }
        const double highest = *std::max_element(nodes.begin(), nodes.end());
        for (double& v : nodes)
            v /= highest;
        const double m = c.points;
        const double spread_x = std::sqrt(sxx / m - (sx / m) * (sx / m)),
                     spread_y = std::sqrt(syy / m - (sy / m) * (sy / m));
        const double expected = std::sqrt(spread_x * spread_y) * std::pow(m, -1.0 / 6.0);
        EXPECT_NEAR(scott_smoothing_cells(NodeGrid{n, n, nodes.data()}, highest), expected, 0.02 * expected)
            << c.points << " points";
    }
    // One point's shares over four nodes: a point is no spread.
    std::vector<double> one(size_t(201 * 201), 0.0);
    for (const size_t k : {100 * 201 + 50, 100 * 201 + 51, 101 * 201 + 50, 101 * 201 + 51})
        one[k] = 1;
    EXPECT_EQ(scott_smoothing_cells(NodeGrid{201, 201, one.data()}, 0.25), 0.0);
}

} // namespace

namespace {

// A mean's levels, worked by hand: (mean - least) / (greatest - least),
// NaN kept where a node has no mean, all 0 when every mean is the same.
TEST(NodeHeights, MeansRunFromTheirLeastToTheirGreatest)
{
    const double none = std::nan("");
    const struct {
        std::vector<double> means;
        double least, greatest;
        std::vector<double> levels;
    } cases[] = {
        {{-10, 0, 30, none}, -10, 30, {0, 0.25, 1, none}},
        {{5, none, 5, 5}, 5, 5, {0, none, 0, 0}},
        {{1e6, 1e6 + 2, 1e6 + 1, 1e6}, 1e6, 1e6 + 2, {0, 1, 0.5, 0}},
    };
    for (const auto& c : cases) {
        std::vector<double> heights(4, 7.0);
        ASSERT_TRUE(write_mean_levels(heights, NodeGrid{2, 2, c.means.data()}, c.least, c.greatest));
        for (size_t k = 0; k < 4; ++k) {
            if (std::isnan(c.levels[k]))
                EXPECT_TRUE(std::isnan(heights[k])) << k;
            else
                EXPECT_DOUBLE_EQ(heights[k], c.levels[k]) << k;
        }
    }
    std::vector<double> wrong(3);
    EXPECT_FALSE(write_mean_levels(wrong, NodeGrid{2, 2, cases[0].means.data()}, 0, 1));
}

} // namespace
