// Round ticks for an axis and the labels that name them: Heckbert's "nice
// numbers" (Graphics Gems, 1990) with 2.5 among the steps, as in Talbot,
// Lin and Hanrahan's extension of Wilkinson's set (2010).
#pragma once

#include <string>
#include <vector>

// Ticks as whole counts of a unit, so that labels are written from exact
// integers: tick k is (first + k * stride) x 10^power.
struct AxisTicks {
    long long first = 0;
    long long stride = 1; // 1, 2, 5, or 25 for a step of 2.5 (one more decimal); any for the ends alone
    int power = 0;
    int count = 0; // none for a span that is not positive and finite
    double value(int k) const;
};

// The ticks inside [low, high] on multiples of the finest step of 1, 2,
// 2.5 or 5 times a power of ten that gives at most `most` of them, or
// `coarser` steps further up that ladder. Where no round step gives two
// ticks (a span of a few units in the last place far from zero), the ends,
// rounded inward to a power of ten, are the ticks.
AxisTicks round_ticks(double low, double high, int most, int coarser = 0);

// The labels as an axis shows them, without thousands separators, each
// value being label x factor + offset; `factor` says both ("1e6", "+1000",
// "1e−9 +0.5") and is empty when the labels are the values themselves.
struct TickLabels {
    std::vector<std::string> texts;
    std::string factor;
};
TickLabels tick_labels(const AxisTicks& ticks);
