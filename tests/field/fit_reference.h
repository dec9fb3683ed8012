// What a fitted load of a file should give, found the plain way: every
// point's bounds by a pass of their own, then a load in the range they fit;
// and a fitted load that counts how often it asked its watch, about once a
// megabyte read.
#pragma once

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "field/field_loader.h"
#include "field/plot_range.h"

// The counts of two loads that should have read the same points.
inline void expect_same_counts(const FieldCounts& a, const FieldCounts& b)
{
    EXPECT_EQ(a.points, b.points);
    EXPECT_EQ(a.in_range, b.in_range);
    EXPECT_EQ(a.rejected_lines, b.rejected_lines);
    EXPECT_EQ(a.first_rejected_line, b.first_rejected_line);
    EXPECT_EQ(a.header, b.header);
    EXPECT_EQ(a.rejected, b.rejected);
    EXPECT_EQ(a.not_a_number, b.not_a_number);
    EXPECT_EQ(a.nonpositive, b.nonpositive);
    EXPECT_EQ(std::memcmp(&a.weight, &b.weight, sizeof a.weight), 0);
}

// A watch that counts how often it is asked, and never stops a read.
struct AskCount {
    int count = 0;
    static bool go_on(void* context) { return ++static_cast<AskCount*>(context)->count > 0; }
    LoadWatch watch() { return LoadWatch{nullptr, ReadWatch{go_on, this}}; }
};

// The range a fit of the request's file should find, and the field a load
// of it in that range gives (the asks of that load, one whole read, where
// `asked` is given); false where the file cannot be opened or holds no
// point.
inline bool fit_by_bounds_pass(LoadRequest request, Range* fitted, LoadedField* field, int* asked = nullptr)
{
    std::FILE* file = std::fopen(request.path.c_str(), "rb");
    if (!file)
        return false;
    const DataBounds bounds =
        read_data_bounds(file, request.skip_lines, Columns{}, ReadWatch{}, request.binning, request.threads);
    std::fclose(file);
    if (!fitted_range(bounds, fitted))
        return false;
    request.range = *fitted;
    AskCount asks;
    *field = load_field(request, asks.watch());
    if (asked)
        *asked = asks.count;
    return true;
}

// The request's file loaded with a fitted range, its watch's asks counted.
inline LoadedField fit_counting_asks(LoadRequest request, int* asked)
{
    AskCount asks;
    request.range = Range{0, 1, 0, 1};
    request.fit_range = true;
    LoadedField loaded = load_field(request, asks.watch());
    *asked = asks.count;
    return loaded;
}
