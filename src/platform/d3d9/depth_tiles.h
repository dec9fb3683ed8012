// The deepest depth stored in each 8x8 tile of the depth buffer, so that a
// triangle lying behind all of it is dropped before it is walked and
// shaded, and a triangle's rows of tiles behind it are skipped. A surface
// seen from the side hides most of its triangles behind those drawn
// before them.
//
// The tiles serve one draw call whose depth test passes only nearer or
// equal depths (LESS, LESSEQUAL, EQUAL, NEVER). Then every depth the call
// writes is at most the one it replaces, so a tile's deepest value, once
// read, stays an upper bound until the call ends, whoever writes the tile.
// A tile a triangle drew into is read again when its bound no longer hides
// a triangle, to keep the bound close. Tiles are counted from the target's
// corner; a band of rows drawn by one thread holds whole tile rows, so no
// tile is shared.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/pixel_shading.h"
#include "platform/d3d9/raster_target.h"

// A triangle's depth as the pixel loops work it out: at column min_x + fi
// and row min_y + fy, (origin + dy fy) + dx fi, each step rounded. Each
// rounding keeps order, so over a rectangle of pixels the least depth lies
// at the corner the steps point away from.
struct DepthPlane {
    float origin, dx, dy;
    int min_x, min_y;
};

class DepthTiles {
public:
    static constexpr int kWidthBits = 3, kHeightBits = 3;
    static constexpr int kTileWidth = 1 << kWidthBits, kTileHeight = 1 << kHeightBits;

    // Starts a draw call: every tile unknown. False (and the tiles are not
    // to be used) when the call's depth test can pass a farther depth, or
    // there is no depth to test.
    bool begin(const RasterTarget& target, const PixelShading& shading);

    // Narrows rows *first..*last of a triangle in columns min_x..max_x to
    // those of the tiles where some pixel could pass the depth test at the
    // depths of `plane`; false when there are none. All inside the target.
    bool visible_rows(const DepthPlane& plane, int min_x, int max_x, int* first, int* last);

    // Marks the tiles of that rectangle drawn into: their deepest value is
    // read again once it no longer hides a triangle.
    void touch(int min_x, int max_x, int first, int last);

private:
    // The deepest depth of a tile, read from the buffer.
    uint32_t read_deepest(int column, int row) const;

    const uint16_t* depth_ = nullptr;
    ptrdiff_t stride_ = 0;
    int x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
    int columns_ = 0;
    bool equal_fails_ = false; // LESS: a depth equal to the stored one fails
    // Per tile: the call it was read in, whether a triangle has drawn into
    // it since, and its deepest depth then; a tile read in an earlier call
    // is unknown.
    static constexpr uint32_t kDeepest = 0xFFFF, kDrawnInto = 1u << 16;
    static constexpr int kCallShift = 17;
    static constexpr uint32_t kLastCall = (1u << (32 - kCallShift)) - 1;
    std::vector<uint32_t> deepest_;
    uint32_t call_ = 0;
};
