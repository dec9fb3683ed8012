#include "platform/d3d9/depth_tiles.h"

#include <algorithm>

#include "platform/d3d9/pixel_shader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

bool DepthTiles::begin(const RasterTarget& target, const PixelShading& shading)
{
    const uint32_t accept = pixel_loops::depth_mask(shading.depth_func);
    if (!shading.depth_test || !target.depth || (accept & 4) != 0 || target.x1 <= target.x0 || target.y1 <= target.y0) {
        return false;
    }
    depth_ = target.depth;
    stride_ = target.depth_stride;
    x0_ = target.x0;
    y0_ = target.y0;
    x1_ = target.x1;
    y1_ = target.y1;
    equal_fails_ = (accept & 2) == 0;
    columns_ = (x1_ - x0_ + kTileWidth - 1) >> kWidthBits;
    const size_t tiles = size_t(columns_) * size_t((y1_ - y0_ + kTileHeight - 1) >> kHeightBits);
    call_ = (call_ + 1) & kLastCall;
    if (deepest_.size() < tiles || call_ == 0) {
        // Call numbers start again: none of the old ones may look current
        // (0 is never current).
        deepest_.assign(std::max(tiles, deepest_.size()), 0);
        call_ = 1;
    }
    return true;
}

__attribute__((noinline, cold)) uint32_t DepthTiles::read_deepest(int column, int row) const
{
    const int left = x0_ + (column << kWidthBits), top = y0_ + (row << kHeightBits);
    const uint16_t* line = depth_ + top * stride_ + left;
#if defined(__SSE2__)
    if (left + kTileWidth <= x1_ && top + kTileHeight <= y1_) {
        static_assert(kTileWidth == 8 && kTileHeight == 8, "a whole tile is eight loads of eight depths");
        // The unsigned maximum of a and b is (a - b, saturated at 0) + b.
        auto deeper = [](__m128i a, __m128i b) { return _mm_add_epi16(_mm_subs_epu16(a, b), b); };
        auto load = [&](int y) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + y * stride_)); };
        __m128i deepest = deeper(deeper(deeper(load(0), load(1)), deeper(load(2), load(3))),
                                 deeper(deeper(load(4), load(5)), deeper(load(6), load(7))));
        deepest = deeper(deepest, _mm_shuffle_epi32(deepest, _MM_SHUFFLE(1, 0, 3, 2)));
        deepest = deeper(deepest, _mm_shuffle_epi32(deepest, _MM_SHUFFLE(2, 3, 0, 1)));
        deepest = deeper(deepest, _mm_shufflelo_epi16(deepest, _MM_SHUFFLE(2, 3, 0, 1)));
        return static_cast<uint32_t>(_mm_cvtsi128_si32(deepest)) & 0xFFFFu;
    }
#endif
    const int right = std::min(left + kTileWidth, x1_), bottom = std::min(top + kTileHeight, y1_);
    uint32_t deepest = 0;
    for (int y = top; y < bottom; ++y, line += stride_) {
        for (int x = 0; x < right - left; ++x) {
            deepest = std::max<uint32_t>(deepest, line[x]);
        }
    }
    return deepest;
}

bool DepthTiles::visible_rows(const DepthPlane& plane, int min_x, int max_x, int* first, int* last)
{
    const int left = (min_x - x0_) >> kWidthBits, right = (max_x - x0_) >> kWidthBits;
    // The columns' nearest corner, then for each tile row the nearest
    // depth in its rows of the triangle.
    const float across = plane.dx * static_cast<float>((plane.dx < 0.0f ? max_x : min_x) - plane.min_x);
    const int low_row = plane.dy < 0.0f ? kTileHeight - 1 : 0;
    const uint32_t equal_hides = equal_fails_ ? 1 : 0;
    const int from = *first, to = *last, y0 = y0_;
    const uint32_t call = call_;
    const ptrdiff_t columns = columns_;
    uint32_t* const tiles = deepest_.data();
    // The least depth that hides the triangle: its nearest at row `low`
    // (or one more, where equal fails).
    auto hiding_at = [&](int low) __attribute__((always_inline))
    {
        const float fy = static_cast<float>(low - plane.min_y);
        return pixel_loops::to_d16((plane.origin + plane.dy * fy) + across) + equal_hides;
    };
    // Whether each tile of the row holds only depths at least `hiding`.
    auto hidden_at = [&](int row, uint32_t hiding) __attribute__((always_inline))
    {
        uint32_t* tile = tiles + row * columns;
        for (int column = left; column <= right; ++column) {
            uint32_t known = tile[column];
            // A bound read before the tile was drawn into still holds; it
            // is read again only when it does not hide the triangle.
            if (__builtin_expect(
                    (known >> kCallShift) != call || ((known & kDeepest) >= hiding && (known & kDrawnInto)), 0)) {
                known = (call << kCallShift) | read_deepest(column, row);
                tile[column] = known;
            }
            if ((known & kDeepest) >= hiding) {
                return false;
            }
        }
        return true;
    };
    // Whether the tiles hide the triangle's rows in that row of tiles.
    auto hidden = [&](int row) __attribute__((always_inline))
    {
        return hidden_at(row, hiding_at(std::clamp(y0 + (row << kHeightBits) + low_row, from, to)));
    };
    int top = (from - y0_) >> kHeightBits, bottom = (to - y0_) >> kHeightBits;
    // Most hidden triangles lie well behind: their nearest depth of all
    // hides them row after row, without the depth worked out per row.
    const uint32_t hiding_everywhere = hiding_at(plane.dy < 0.0f ? to : from);
    while (top <= bottom && hidden_at(top, hiding_everywhere)) {
        ++top;
    }
    while (top <= bottom && hidden(top)) {
        ++top;
    }
    if (top > bottom) {
        return false;
    }
    while (bottom > top && hidden(bottom)) {
        --bottom;
    }
    *first = std::max(from, y0_ + (top << kHeightBits));
    *last = std::min(to, y0_ + (bottom << kHeightBits) + kTileHeight - 1);
    return true;
}

void DepthTiles::touch(int min_x, int max_x, int first, int last)
{
    const int left = (min_x - x0_) >> kWidthBits, right = (max_x - x0_) >> kWidthBits;
    const int top = (first - y0_) >> kHeightBits, bottom = (last - y0_) >> kHeightBits;
    for (int column = left; column <= right; ++column) {
        uint32_t* tile = deepest_.data() + size_t(top) * size_t(columns_) + size_t(column);
        for (int row = top; row <= bottom; ++row, tile += columns_) {
            *tile |= kDrawnInto;
        }
    }
}
