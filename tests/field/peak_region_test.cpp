// The region around the highest peak, checked against the half-height
// circle of a Gaussian drawn on the grid: radius sigma x sqrt(2 ln 2).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "field/peak_region.h"

namespace {

constexpr int kNodes = 201;

struct Bump {
    double x, y, sigma, height;
};

std::vector<double> grid_of(const Range& r, std::initializer_list<Bump> bumps)
{
    std::vector<double> nodes(kNodes * kNodes);
    for (int j = 0; j < kNodes; ++j)
        for (int i = 0; i < kNodes; ++i) {
            const double x = r.x_min + i * (r.x_max - r.x_min) / (kNodes - 1);
            const double y = r.y_min + j * (r.y_max - r.y_min) / (kNodes - 1);
            for (const Bump& b : bumps)
                nodes[j * kNodes + i] +=
                    b.height * std::exp(-((x - b.x) * (x - b.x) + (y - b.y) * (y - b.y)) / (2 * b.sigma * b.sigma));
        }
    return nodes;
}

TEST(PeakRegion, HoldsTheHalfHeightCircleAndNoMore)
{
    const struct {
        Range range;
        Bump peak;
        Bump other; // lower, apart: never part of the region
    } cases[] = {
        {{0, 100, 0, 100}, {30, 60, 5, 1}, {80, 20, 6, 0.8}},
        {{-1, 1, 10, 12}, {0.5, 11.2, 0.05, 3}, {-0.6, 10.5, 0.1, 2.9}},
        {{0, 4000, 0, 4000}, {2000, 2000, 300, 1}, {200, 3800, 50, 0.6}},
        // A peak at a corner: the region stops at the range's edge, which
        // the steps from the other end miss by a unit in the last place.
        {{0.2, 0.9, 0.2, 0.9}, {0.9, 0.9, 0.07, 1}, {0.3, 0.3, 0.03, 0.5}},
        // ... and one whose half height ends a node short of the edge.
        {{0.2, 0.9, 0.2, 0.9}, {0.8571, 0.55, 0.035, 1}, {0.3, 0.3, 0.03, 0.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.peak.x);
        const std::vector<double> nodes = grid_of(c.range, {c.peak, c.other});
        FieldView view;
        view.nx = view.ny = kNodes;
        view.nodes = nodes.data();
        view.range = c.range;
        Range region;
        ASSERT_TRUE(peak_region(view, &region));
        const double radius = c.peak.sigma * std::sqrt(2 * std::log(2.0));
        const double cell = (c.range.x_max - c.range.x_min) / (kNodes - 1);
        const Range circle{std::max(c.range.x_min, c.peak.x - radius), std::min(c.range.x_max, c.peak.x + radius),
                           std::max(c.range.y_min, c.peak.y - radius), std::min(c.range.y_max, c.peak.y + radius)};
        EXPECT_LE(region.x_min, circle.x_min);
        EXPECT_GE(region.x_max, circle.x_max);
        EXPECT_LE(region.y_min, circle.y_min);
        EXPECT_GE(region.y_max, circle.y_max);
        EXPECT_GE(region.x_min, circle.x_min - 2 * cell);
        EXPECT_LE(region.x_max, circle.x_max + 2 * cell);
        EXPECT_GE(region.y_min, circle.y_min - 2 * cell);
        EXPECT_LE(region.y_max, circle.y_max + 2 * cell);
        // A region that takes in the last node ends exactly at the range's end.
        if (region.x_max > c.range.x_max - cell / 2) {
            EXPECT_EQ(region.x_max, c.range.x_max);
        }
        if (region.y_max > c.range.y_max - cell / 2) {
            EXPECT_EQ(region.y_max, c.range.y_max);
        }
    }
}

TEST(PeakRegion, NoneForAnEmptyField)
{
    std::vector<double> zeros(kNodes * kNodes, 0.0);
    FieldView view;
    view.nx = view.ny = kNodes;
    view.range = {0, 1, 0, 1};
    Range region;
    EXPECT_FALSE(peak_region(view, &region)); // no nodes
    view.nodes = zeros.data();
    EXPECT_FALSE(peak_region(view, &region));
}

} // namespace
