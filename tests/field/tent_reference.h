// Weights, means and logarithmic axes worked out from the tents around the
// nodes, apart from the field's code, for the sources that hand the field
// the sums of its cells: a point q cells along an axis gives node i the
// share max(0, 1 - |q - i|) of its weight, and a node's mean is
// Σ share·w·z / Σ share·w.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "field/field_loader.h"
#include "field/range.h"

namespace tent {

constexpr int kNodes = 201;

struct Point {
    double x, y, w, z;
};

struct Ask {
    Range range;
    bool weight = false, mean = false, log_x = false, log_y = false;
};

struct Field {
    std::vector<double> nodes;  // weights over the greatest magnitude, or means (NaN where no share came)
    std::vector<double> shares; // Σ share·w at each node
    std::vector<double> reach;  // Σ |w| of the points whose cell holds the node: rounding grows with it
    double weight = 0;          // of the points binned
    long long binned = 0, rejected = 0, not_a_number = 0, nonpositive = 0;
};

// The points counted and shared as the field takes them: a NaN coordinate
// first, then no logarithm on a logarithmic axis, then a NaN weight or
// value, then outside the range.
inline Field field_of(const std::vector<Point>& points, const Ask& a)
{
    Field f;
    f.shares.assign(kNodes * kNodes, 0.0);
    f.reach.assign(kNodes * kNodes, 0.0);
    std::vector<double> value_sums(kNodes * kNodes, 0.0);
    // Cells of a whole size put a point's q where it is written.
    const auto along = [](double v, double low, double high, bool log) {
        return log ? (std::log10(v) - std::log10(low)) / ((std::log10(high) - std::log10(low)) / 200)
                   : (v - low) / ((high - low) / 200);
    };
    const Range& r = a.range;
    for (const Point& p : points) {
        const double w = a.weight ? p.w : 1.0;
        if (std::isnan(p.x) || std::isnan(p.y)) {
            ++f.not_a_number;
        } else if ((a.log_x && !(p.x > 0)) || (a.log_y && !(p.y > 0))) {
            ++f.nonpositive;
        } else if (std::isnan(w) || (a.mean && std::isnan(p.z))) {
            ++f.not_a_number;
        } else if (const double qx = along(p.x, r.x_min, r.x_max, a.log_x), qy = along(p.y, r.y_min, r.y_max, a.log_y);
                   !(qx >= 0 && qx < 200 && qy >= 0 && qy < 200)) {
            ++f.rejected;
        } else {
            ++f.binned;
            f.weight += w;
            const int i0 = int(qx), j0 = int(qy);
            for (int j = j0; j <= j0 + 1; ++j)
                for (int i = i0; i <= i0 + 1; ++i) {
                    const double share = std::max(0.0, 1 - std::fabs(qx - i)) * std::max(0.0, 1 - std::fabs(qy - j));
                    f.shares[j * kNodes + i] += share * w;
                    f.reach[j * kNodes + i] += std::fabs(w);
                    value_sums[j * kNodes + i] += share * w * (a.mean ? p.z : 0);
                }
        }
    }
    double greatest = 0;
    for (double s : f.shares)
        greatest = std::max(greatest, std::fabs(s));
    for (int k = 0; k < kNodes * kNodes; ++k)
        f.nodes.push_back(a.mean ? (f.shares[k] != 0 ? value_sums[k] / f.shares[k] : NAN) : f.shares[k] / greatest);
    return f;
}

// Points on cells of 1 by 1 (the range 0..200), where a node's share is
// plain to see, and on a logarithmic axis from 1, with what each shows.
inline std::vector<Point> hand_worked()
{
    const double nan = NAN;
    return {
        {10.25, 20.5, 2, 4},  {10.75, 20.5, 2, 8},   // node (10, 20): 0.375 of 4 and 0.125 of 8, a mean of 5
        {50.25, 50.25, 1, 3}, {50.75, 50.75, -1, 5}, // one cell, weights that cancel: (51, 50) none, (50, 50) 2.75
        {5, 5, 0, 1},                                // a weight of zero: no share, so no mean either
        {7.5, 7.5, -3, 2},                           // a negative weight over four nodes
        {9, 9, nan, 1},       {12, 9, nan, 1},       // a NaN (or NULL) weight: a NaN point
        {100, 150, 1, nan},                          // a NaN value: a NaN point for a mean
        {-2, 5, nan, 1},                             // no logarithm counts before the weight
        {nan, 5, 1, 1},       {300, 3, 7, 1},        // no place; outside
        {1, 1, 1, -6},        {0.5, 3, 1, 1},        // on a logarithmic range's first node, and below it
    };
}

// Points spread past a range of 0..200 both ways, weights of either sign,
// one in a hundred with a NaN weight or value.
inline std::vector<Point> random_points(unsigned seed, std::size_t count)
{
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> place(-20, 220), weight(-0.5, 4), chance(0, 1);
    std::normal_distribution<double> value(3, 10);
    std::vector<Point> points(count);
    for (Point& p : points) {
        p = {place(random), place(random), weight(random), value(random)};
        if (chance(random) < 0.01)
            (chance(random) < 0.5 ? p.w : p.z) = NAN;
    }
    return points;
}

// The points as a text file with a header naming the weight's and the
// value's columns.
inline std::string text_of(const std::vector<Point>& points, const std::string& weight, const std::string& value)
{
    std::string text = "x y " + weight + " " + value + "\n";
    for (const Point& p : points) {
        char line[160];
        std::snprintf(line, sizeof line, "%.17g %.17g %.17g %.17g\n", p.x, p.y, p.w, p.z);
        text += line;
    }
    return text;
}

// The nodes against the reference: NaN where it has NaN, else within 1e-12
// of `scale` (the size of the values averaged, 1 for weights). Sums added
// in another order than the points' differ by a rounding of the sums a
// node is made of, so a mean whose shares nearly cancel, or come small
// from points across its cells, is held to that much more.
inline void expect_nodes(const double* got, const Field& want, bool mean, double scale, const std::string& label)
{
    int wrong = 0;
    for (int k = 0; k < kNodes * kNodes && wrong < 5; ++k) {
        const double w = want.nodes[k];
        const double spread = mean ? std::max(1.0, want.reach[k] / std::fabs(want.shares[k])) : 1.0;
        const bool same = std::isnan(w) ? std::isnan(got[k])
                                        : std::fabs(got[k] - w) <= 1e-12 * std::max(scale, std::fabs(w)) * spread;
        if (!same) {
            ++wrong;
            ADD_FAILURE() << label << ": node (" << k % kNodes << ", " << k / kNodes << ") is " << got[k] << ", not "
                          << w;
        }
    }
}

// A field loaded from the sums of a source (`got`) against the same points
// loaded from a file (`want`): the same range and counts, the weight within
// its rounding; nodes as the tents give them over that range (the rule
// bilinear), or as the file's within 1e-9 (classic, which the tents do
// not follow).
inline void expect_loaded_like(const LoadedField& got, const LoadedField& want, const std::vector<Point>& points,
                               Ask ask, BinningRule rule, const std::string& label)
{
    ASSERT_TRUE(got.ok()) << got.problem;
    ASSERT_TRUE(want.ok()) << want.problem;
    EXPECT_TRUE(got.from_sums);
    EXPECT_EQ(got.range, want.range);
    EXPECT_EQ(got.loaded, want.loaded);
    EXPECT_EQ(got.measure, want.measure);
    const FieldCounts &a = got.counts, &b = want.counts;
    EXPECT_TRUE(a.points == b.points && a.in_range == b.in_range && a.rejected == b.rejected &&
                a.not_a_number == b.not_a_number && a.nonpositive == b.nonpositive)
        << a.points << " " << a.in_range << " " << a.rejected << " " << a.not_a_number << " " << a.nonpositive;
    EXPECT_NEAR(a.weight, b.weight, 1e-12 * points.size());
    const double* nodes = got.field->ops.data(got.field.get());
    if (rule == BinningRule::classic) {
        const double* theirs = want.field->ops.data(want.field.get());
        for (int k = 0; k < kNodes * kNodes; ++k)
            ASSERT_TRUE(std::isnan(theirs[k]) ? std::isnan(nodes[k]) : std::fabs(nodes[k] - theirs[k]) < 1e-9) << k;
        return;
    }
    ask.range = got.range;
    const Field tents = field_of(points, ask);
    EXPECT_TRUE(a.in_range == tents.binned && a.rejected == tents.rejected && a.not_a_number == tents.not_a_number &&
                a.nonpositive == tents.nonpositive);
    expect_nodes(nodes, tents, ask.mean, 10, label);
}

} // namespace tent
