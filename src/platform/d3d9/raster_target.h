// Where the rasterizer's pixels go and what from: vertices on the screen
// at 1/256 pixel, the colour and depth buffers within the viewport, and the
// band of rows one call draws. Every pixel loop and the depth tiles read
// these, below the rasterizer that drives them.
#pragma once

#include <cstddef>
#include <cstdint>

// Subpixel precision of vertex positions.
constexpr int kSubpixelBits = 8;
constexpr int kSubpixel = 1 << kSubpixelBits;

// A vertex after viewport mapping.
struct RasterVertex {
    int32_t fx, fy;   // position in 1/256 pixel
    float z;          // depth, 0 near .. 1 far
    float invw;       // 1 / clip w
    float uw, vw;     // texture coordinates times invw
    float r, g, b, a; // diffuse colour, 0..255
};

struct RasterTarget {
    uint32_t* color;         // X8R8G8B8 or A8R8G8B8 pixels
    ptrdiff_t color_stride;  // in pixels
    uint32_t color_set_bits; // or-ed into every written pixel (0xFF000000 for X8R8G8B8)
    uint16_t* depth;         // null without a depth buffer
    ptrdiff_t depth_stride;  // in elements
    int x0, y0, x1, y1;      // drawable rectangle (the viewport), x1 and y1 exclusive
};

// The rows one call draws, first to last: a band of the frame when threads
// share the drawing, every row otherwise. Where a primitive is cut by the
// band does not change any pixel it draws.
struct RowRange {
    int first = 0;
    int last = INT32_MAX;
    bool holds(int y) const { return y >= first && y <= last; }
};
