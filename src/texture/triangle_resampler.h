// Weight lists of the triangle filter, one per axis.
//
// Source pixel i spreads over a tent from i - 0.5 to i + 1.5 (source units),
// rising from 0 to 1 at i + 0.5 and falling back to 0. With b = D / S
// (target pixels per source pixel) the tent covers (i - 0.5) b .. (i + 1.5) b
// in target units, and the weight of i for target pixel j is the tent's
// integral over j .. j + 1: for each piece of a half of the tent inside one
// target pixel, the tent's height at the middle of the piece times the
// piece's length; pieces on the same target pixel are added. Edges: target
// indices below 0 wrap to index + D and those from D on to index - D, unless
// the axis is clamped; then the tent is cut at 0 and D and the outer halves
// of the first and the last source pixel are flat at height 1. A weight of
// 0.00001 or less is dropped; when b is so small that whole source pixels
// would weigh that little (b below 0.001), the cut shrinks with b to b / 100,
// so that a very long image does not lose every pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9types.h"

struct AxisTap {
    UINT target;
    float weight;
    int8_t wrap; // -1: came from below 0, +1: came from D or above, 0: neither
};

// Consecutive source pixels that share their taps: one pixel, or a run of
// pixels whose tents lie wholly inside one target pixel, each with weight b.
struct AxisSegment {
    UINT first;
    UINT count;
    UINT tap_begin, tap_end;
};

struct AxisWeights {
    std::vector<AxisSegment> segments; // covering 0 .. S - 1 in order
    std::vector<AxisTap> taps;
};

// Builds the list for S source and D target pixels; false when memory
// cannot be had. The list's size follows the number of target pixels and
// of source pixels at their borders, not S: long runs take one segment.
bool build_axis_weights(UINT source_size, UINT target_size, bool clamp, AxisWeights* out);
