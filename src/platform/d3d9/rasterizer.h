// Scan conversion of screen-space triangles, lines and points into the
// back buffer and the D16 depth buffer, with depth test, Gouraud colour,
// perspective-correct texture coordinates and the stage-0 colour blend.
//
// Pixel centres lie on integer screen coordinates, as on the platform. A
// triangle covers the pixels whose centre lies inside it; a centre on an
// edge belongs to the triangle only when that edge is a top edge (exactly
// horizontal, the triangle below it) or a left edge. Vertex positions are
// snapped to 1/256 pixel first, so shared edges are covered exactly once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"
#include "platform/d3d9/texture_sampler.h"

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

// How stage 0 combines texture and diffuse colour.
enum class Blend {
    Diffuse,              // colour op disabled: the diffuse colour
    Modulate,             // colour and alpha: texture x diffuse
    ModulateTextureAlpha, // colour texture x diffuse, alpha from the texture
    DiffuseModulateAlpha, // colour from the diffuse, alpha texture x diffuse (text)
    General,              // any other setting
};

struct StageBlend {
    DWORD color_op, color_arg1, color_arg2, color_arg0;
    DWORD alpha_op, alpha_arg1, alpha_arg2, alpha_arg0;
    uint32_t texture_factor;
    uint32_t constant;
};

// What happens to a shaded pixel before it is stored: the alpha test
// against a reference, and the blend with the pixel already there, each
// channel source x src_blend + destination x dest_blend.
struct PixelOutput {
    bool alpha_test = false;
    DWORD alpha_func = D3DCMP_ALWAYS;
    uint32_t alpha_ref = 0;
    bool blend = false;
    DWORD src_blend = D3DBLEND_ONE;
    DWORD dest_blend = D3DBLEND_ZERO;
};

// The blend factors the device takes; any other counts as the default
// (ONE for the source, ZERO for the destination).
bool blend_factor_known(DWORD factor);
// Of those, the ones the pixel loops in lanes take.
bool blend_factor_in_lanes(DWORD factor);

struct PixelShading {
    bool depth_test = false;
    bool depth_write = false;
    DWORD depth_func = D3DCMP_LESSEQUAL;
    bool flat = false; // flat shading: the colour of the first vertex
    bool color_write = true;
    Blend blend = Blend::Diffuse;
    StageBlend stage{};
    PixelOutput output{};
    const TextureSampler* sampler = nullptr; // null: the texture reads opaque white
    // Pixels of a triangle shaded at once: 8 (where the processor has
    // AVX2, else 4), 4, or 1, the loop the others are tested against.
    int lanes = 8;

    // Filled by finish_shading: whether level and filter are chosen per
    // primitive, and the choice when they are not.
    bool choice_per_primitive = false;
    TextureSampler::Choice choice{};
};

// Completes a shading setting once its sampler is in place.
void finish_shading(PixelShading* shading);

namespace pixel_loops {
struct TriangleSetup;
}
class DepthTiles;

// Draws the triangles of one call into the rows of `rows`. What is the same
// for every triangle of the call is worked out once: the pixel loop for its
// states (unless the texture level is chosen per triangle), and the values
// that loop reads for every pixel. Cull: 0 none, 1 drop clockwise triangles
// (D3DCULL_CW), -1 drop counter-clockwise ones (D3DCULL_CCW); orientation
// as seen on the screen.
class TriangleRaster {
public:
    TriangleRaster(const RasterTarget& target, const PixelShading& shading, RowRange rows, int cull);

    void draw(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2) const;

    // Tiles of the depth buffer's deepest values for this call, kept up to
    // date by the triangles drawn: a triangle's rows of tiles that lie in
    // front of it are skipped, and a triangle behind them all is dropped.
    void set_depth_tiles(DepthTiles* tiles) { tiles_ = tiles; }

    // Where a triangle draws, whatever the rows of this raster: its box
    // of pixels within the target, and twice its area in square subpixels
    // (the corners taken in clockwise order on screen, v1 and v2 swapped
    // when `flipped`). False when it draws nothing: no pixel centre's row
    // or column in the box, no area, or culled.
    struct TriangleBox {
        int min_x, min_y, max_x, max_y;
        int32_t lo_x, hi_x, lo_y, hi_y; // the corners' extent in subpixels
        int64_t area;
        bool flipped;
    };
    bool box(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2, TriangleBox* box) const;

    // The rows of the target holding pixel centres between a triangle's
    // highest and lowest corner, as box has them: every row it may draw in,
    // and no more, where box is true. False when there are none.
    bool rows(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2, int* min_y, int* max_y) const
    {
        const int32_t lo_y = std::min(v0.fy, std::min(v1.fy, v2.fy));
        const int32_t hi_y = std::max(v0.fy, std::max(v1.fy, v2.fy));
        *min_y = std::max((lo_y + kSubpixel - 1) >> kSubpixelBits, target_.y0);
        *max_y = std::min(hi_y >> kSubpixelBits, target_.y1 - 1);
        return *min_y <= *max_y;
    }

    // What the pixel loops in lanes read for every pixel, in the form they
    // read it: lane masks of the depth outcomes the test accepts (less,
    // equal, greater), the bits or-ed into every colour, the texture
    // level's masks and scales, and the row strides of the two buffers,
    // each beside a 1, as 16-bit pairs.
    struct Lanes {
        alignas(16) int32_t accept[3][4];
        alignas(16) uint32_t color_set_bits[4];
        alignas(16) int32_t width_mask[4];
        alignas(16) int32_t height_mask[4];
        alignas(16) float scale_u[4];
        alignas(16) float scale_v[4];
        alignas(16) int16_t color_stride[8];
        alignas(16) int16_t depth_stride[8];
        // The alpha test's accepted outcomes and reference, and for each
        // blend factor the mask of the source alpha it takes and the bits
        // it flips (255 - a), per 16-bit channel.
        alignas(16) int32_t alpha_accept[3][4];
        alignas(16) int32_t alpha_ref[4];
        alignas(16) int16_t source_alpha[8];
        alignas(16) int16_t source_flip[8];
        alignas(16) int16_t dest_alpha[8];
        alignas(16) int16_t dest_flip[8];
        const uint32_t* texels = nullptr;
        int width_shift = 0;
        // The depth test takes less and equal: one comparison.
        bool less_equal = false;
        // 8 or 4 lanes; 0 where the loop goes one pixel at a time, as when
        // rows lie too far apart for 16-bit offsets.
        int width = 0;

        // The texture fields, for a level and filter.
        void set_texture(const TextureSampler::Choice& choice);
    };

    const RasterTarget& target() const { return target_; }
    const PixelShading& shading() const { return shading_; }
    const Lanes& lanes() const { return lanes_; }

private:
    using Fill = void (*)(const TriangleRaster&, const pixel_loops::TriangleSetup&);

    const RasterTarget& target_;
    const PixelShading& shading_;
    RowRange rows_;
    int cull_;
    Fill fill_ = nullptr; // null: chosen for each triangle with its texture level
    DepthTiles* tiles_ = nullptr;
    // Whether the last triangle drew (the next, its neighbour in a mesh,
    // most likely lies in front too), how many tests of the tiles in a row
    // left the triangle to draw, and a count that picks the one small
    // triangle in eight tested still after them.
    mutable bool last_drew_ = false;
    mutable uint32_t tests_in_vain_ = 0, untested_ = 0;
    Lanes lanes_;
};

inline bool TriangleRaster::box(const RasterVertex& v0, const RasterVertex& v1, const RasterVertex& v2,
                                TriangleBox* box) const
{
    // The rows first: many triangles hold no pixel centre.
    const RasterTarget& target = target_;
    box->lo_y = std::min(v0.fy, std::min(v1.fy, v2.fy));
    box->hi_y = std::max(v0.fy, std::max(v1.fy, v2.fy));
    if (!rows(v0, v1, v2, &box->min_y, &box->max_y)) {
        return false;
    }
    box->lo_x = std::min(v0.fx, std::min(v1.fx, v2.fx));
    box->hi_x = std::max(v0.fx, std::max(v1.fx, v2.fx));
    box->min_x = std::max((box->lo_x + kSubpixel - 1) >> kSubpixelBits, target.x0);
    box->max_x = std::min(box->hi_x >> kSubpixelBits, target.x1 - 1);
    if (box->min_x > box->max_x) {
        return false;
    }
    const int64_t area =
        (int64_t(v1.fx) - v0.fx) * (int64_t(v2.fy) - v0.fy) - (int64_t(v2.fx) - v0.fx) * (int64_t(v1.fy) - v0.fy);
    // With y growing downwards a positive area is a clockwise turn on screen.
    if (area == 0 || (cull_ > 0 && area > 0) || (cull_ < 0 && area < 0)) {
        return false;
    }
    box->area = area > 0 ? area : -area;
    box->flipped = area < 0;
    return true;
}

// A line from v0 to v1: one pixel per column (per row when steeper than 45
// degrees), the pixels whose diamond the line leaves; the pixel of the end
// point only when `last_pixel`. Flat shading takes the colour of v0. With
// `tiles` (see TriangleRaster::set_depth_tiles), the rows behind them are
// skipped.
void raster_line(const RasterTarget& target, const PixelShading& shading, RowRange rows, bool last_pixel,
                 const RasterVertex& v0, const RasterVertex& v1, DepthTiles* tiles = nullptr);

// The pixel whose centre is nearest to the vertex.
void raster_point(const RasterTarget& target, const PixelShading& shading, RowRange rows, const RasterVertex& v);

// The stage-0 result for one pixel (exposed for tests of the blend rules).
uint32_t blend_stage(const StageBlend& stage, uint32_t texture, uint32_t diffuse);
// A shaded pixel `source` over the stored `dest` as `output` blends them.
uint32_t blend_output(const PixelOutput& output, uint32_t source, uint32_t dest);
