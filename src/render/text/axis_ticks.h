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

// Ticks of a logarithmic axis over [low, high], in the data's units (both
// ends above zero): the powers of ten inside, with 2 and 5 times each
// between where at most `most` ticks come of it; where the powers alone are
// too many, every second, fifth, tenth ... of them. A span inside one
// decade, holding fewer than two powers, gets 1, 2 and 5 times its powers,
// or the round ticks of its linear span. Each label is the tick's value as
// written in data units: plain decimals from 10^-4 to 10^5, "2e8" and
// "1e−7" past them.
struct LogTicks {
    std::vector<double> values;
    std::vector<std::string> labels;
};
LogTicks log_ticks(double low, double high, int most);
