// Edge-function scan conversion with per-pixel depth, colour and texture.
// The common cases (no texture, or a wrapped power-of-two texture read
// bilinearly or by point, modulated with the diffuse colour) are shaded
// four or eight pixels at a time; every other stage setting goes one pixel
// at a time through blend_stage.
#include "platform/d3d9/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/d3d9/depth_tiles.h"
#include "platform/d3d9/lane_shader.h"
#include "platform/d3d9/pixel_shader.h"

namespace {

using namespace pixel_loops;

struct Edge {
    int64_t row;    // value at the first pixel of the current row, biased
    int64_t step_x; // change per pixel to the right
    int64_t step_y; // change per row down

    int64_t at(int i) const { return row + step_x * i; }
};

__attribute__((always_inline)) inline Edge make_edge(const RasterVertex& a, const RasterVertex& b, int64_t px,
                                                     int64_t py)
{
    const int64_t dx = int64_t(b.fx) - a.fx, dy = int64_t(b.fy) - a.fy;
    // Top edge: horizontal, walked left to right in this (clockwise) order;
    // left edge: walked upwards. Only these keep centres lying on them.
    const bool top_left = (dy == 0 && dx > 0) || dy < 0;
    Edge e;
    e.row = dx * (py - a.fy) - dy * (px - a.fx) - (top_left ? 0 : 1);
    e.step_x = -dy * kSubpixel;
    e.step_y = dx * kSubpixel;
    return e;
}

// Where an edge bounds the covered run of each row, stepped down the rows
// without a multiply or a division. For an edge that is not horizontal,
// its value at pixel i of a row is row - |step_x| i on a right bound and
// row + |step_x| i on a left one, so the last pixel it keeps is
// floor(row / |step_x|) and the first is minus that. `whole` and `part`
// hold the quotient and remainder (0 <= part < divisor) and move by those
// of step_y each row, exactly.
struct EdgeBound {
    int64_t whole, part, divisor;
    int64_t whole_step, part_step;
    int64_t row, step_y; // the edge value itself, for a horizontal edge
    int side;            // 1 a left bound, -1 a right bound, 0 horizontal

    void start(const Edge& e)
    {
        row = e.row;
        step_y = e.step_y;
        side = e.step_x > 0 ? 1 : (e.step_x < 0 ? -1 : 0);
        if (side == 0) {
            whole = part = whole_step = part_step = 0;
            divisor = 1;
            return;
        }
        divisor = e.step_x > 0 ? e.step_x : -e.step_x;
        whole = floor_divide(e.row, divisor);
        part = e.row - whole * divisor;
        whole_step = floor_divide(e.step_y, divisor);
        part_step = e.step_y - whole_step * divisor;
    }

    static int64_t floor_divide(int64_t a, int64_t b) // b > 0
    {
        const int64_t q = a / b;
        return q - (a % b < 0);
    }

    // Narrows [first, last] to where the edge is not negative on this row.
    __attribute__((always_inline)) void narrow(int64_t& first, int64_t& last) const
    {
        if (side > 0) {
            first = std::max(first, -whole);
        } else if (side < 0) {
            last = std::min(last, whole);
        } else if (row < 0) {
            last = first - 1;
        }
    }

    __attribute__((always_inline)) void next_row()
    {
        row += step_y;
        whole += whole_step;
        part += part_step;
        if (part >= divisor) {
            part -= divisor;
            ++whole;
        }
    }
};

// The texel density of a triangle, for the choice of filter and level.
float triangle_lod(const TextureSampler& sampler, const RasterVertex& v0, const RasterVertex& v1,
                   const RasterVertex& v2, double screen_area)
{
    const float u0 = v0.uw / v0.invw, t0 = v0.vw / v0.invw;
    const float u1 = v1.uw / v1.invw, t1 = v1.vw / v1.invw;
    const float u2 = v2.uw / v2.invw, t2 = v2.vw / v2.invw;
    const double texel_area = std::fabs(double(u1 - u0) * (t2 - t0) - double(u2 - u0) * (t1 - t0)) *
        sampler.levels[0].width * sampler.levels[0].height;
    if (!(screen_area > 0.0) || !(texel_area > 0.0)) {
        return 0.0f;
    }
    return static_cast<float>(0.5 * std::log2(texel_area / screen_area));
}

// The pixel loop of one triangle one pixel at a time, fed row by row with
// the covered run.
template <Fetch F, Blend B>
class TriangleShader {
public:
    TriangleShader(const TriangleRaster& raster, const TriangleSetup& triangle)
        : shader_(raster.target(), raster.shading(), triangle.choice), flat_(raster.shading().flat), triangle_(triangle)
    {
    }

    // Pixels min_x + first ... min_x + last of row y, all covered; none
    // when last < first.
    void run(int y, int first, int last)
    {
        if (first > last) {
            return;
        }
        const TriangleSetup& t = triangle_;
        // Most small triangles cover no pixel centre at all; their planes
        // are never set up.
        if (!planes_ready_) {
            planes_.set(flat_, *t.v0, *t.v1, *t.v2, t.area, t.min_x, t.min_y);
            planes_ready_ = true;
            t.may_draw = true;
        }
        const float fy = static_cast<float>(y - t.min_y);
        const Vec4 p_row = planes_.p_origin + planes_.p_dy * fy;
        const Vec4 c_row = planes_.c_origin + planes_.c_dy * fy;
        uint32_t* color_row = shader_.color_row(y);
        uint16_t* depth_row = shader_.depth_row(y);
        for (int i = first; i <= last; ++i) {
            const float fi = static_cast<float>(i);
            shader_.pixel(t.min_x + i, color_row, depth_row, p_row + planes_.p_dx * fi, c_row + planes_.c_dx * fi);
        }
    }

    void finish() {}

private:
    const Shader<F, B> shader_;
    bool flat_;
    const TriangleSetup& triangle_;
    bool planes_ready_ = false;
    Planes planes_{};
};

#if defined(__SSE2__)
// The rows of a small triangle, four pixels tested at once in 32 bits; an
// empty row is passed on as first 31, last 0.
template <class Run>
void walk_small_rows(const TriangleSetup& t, Run&& run)
{
    const int64_t px = int64_t(t.min_x) * kSubpixel, py = int64_t(t.first_row) * kSubpixel;
    const Edge edges[3] = {make_edge(*t.v1, *t.v2, px, py), make_edge(*t.v2, *t.v0, px, py),
                           make_edge(*t.v0, *t.v1, px, py)};
    // Lane k of group g holds the edge at pixel 4 g + k of the row.
    __m128i value[3], row_step[3], group_step[3];
    for (int k = 0; k < 3; ++k) {
        const int32_t s = static_cast<int32_t>(edges[k].step_x);
        value[k] = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(edges[k].row)), _mm_set_epi32(3 * s, 2 * s, s, 0));
        row_step[k] = _mm_set1_epi32(static_cast<int32_t>(edges[k].step_y));
        group_step[k] = _mm_set1_epi32(4 * s);
    }
    const int span = t.max_x - t.min_x;
    const uint32_t inside = (2u << span) - 1; // pixels 0 .. span
    for (int y = t.first_row; y <= t.last_row; ++y) {
        __m128i a = value[0], b = value[1], c = value[2];
        uint32_t outside =
            static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_or_si128(_mm_or_si128(a, b), c))));
        for (int g = 1; g <= span / 4; ++g) {
            a = _mm_add_epi32(a, group_step[0]);
            b = _mm_add_epi32(b, group_step[1]);
            c = _mm_add_epi32(c, group_step[2]);
            outside |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_or_si128(_mm_or_si128(a, b), c))))
                << (4 * g);
        }
        // A triangle's pixels in a row are contiguous.
        const uint32_t covered = ~outside & inside;
        run(y, __builtin_ctz(covered | 0x80000000u), 31 - __builtin_clz(covered | 1u));
        for (int k = 0; k < 3; ++k) {
            value[k] = _mm_add_epi32(value[k], row_step[k]);
        }
    }
}
#endif

// The rows of any triangle, each narrowed to its covered run. The edges are
// laid from the corner of the whole (viewport-clipped) box, so that a band
// boundary changes no value.
template <class Pixels>
void walk_rows(const TriangleSetup& t, Pixels& shader)
{
    const int64_t px = int64_t(t.min_x) * kSubpixel, py = int64_t(t.first_row) * kSubpixel;
    Edge e0 = make_edge(*t.v1, *t.v2, px, py);
    Edge e1 = make_edge(*t.v2, *t.v0, px, py);
    Edge e2 = make_edge(*t.v0, *t.v1, px, py);
    EdgeBound bounds[3];
    bounds[0].start(e0);
    bounds[1].start(e1);
    bounds[2].start(e2);
    const int span = t.max_x - t.min_x;
    for (int y = t.first_row; y <= t.last_row; ++y) {
        int64_t first = 0, last = span;
        for (EdgeBound& bound : bounds) {
            bound.narrow(first, last);
            bound.next_row();
        }
        if (first <= last) {
            shader.run(y, static_cast<int>(first), static_cast<int>(last));
        }
    }
    shader.finish();
}

#if defined(__SSE2__)
template <class Shader>
void draw_narrow(const TriangleSetup& t, Shader& shader)
{
    const int64_t px = int64_t(t.min_x) * kSubpixel, py = int64_t(t.first_row) * kSubpixel;
    const Edge edges[3] = {make_edge(*t.v1, *t.v2, px, py), make_edge(*t.v2, *t.v0, px, py),
                           make_edge(*t.v0, *t.v1, px, py)};
    int32_t row[3], step_x[3], step_y[3];
    for (int k = 0; k < 3; ++k) {
        row[k] = static_cast<int32_t>(edges[k].row);
        step_x[k] = static_cast<int32_t>(edges[k].step_x);
        step_y[k] = static_cast<int32_t>(edges[k].step_y);
    }
    shader.draw_narrow(row, step_x, step_y);
}
#endif

template <Fetch F, Blend B>
void fill_one_at_a_time(const TriangleRaster& raster, const TriangleSetup& t)
{
    TriangleShader<F, B> shader(raster, t);
#if defined(__SSE2__)
    if (t.small) {
        walk_small_rows(t, [&](int y, int first, int last) { shader.run(y, first, last); });
        return;
    }
#endif
    walk_rows(t, shader);
}

template <Fetch F, Blend B, int kLanes>
void fill_triangle(const TriangleRaster& raster, const TriangleSetup& t)
{
#if defined(__SSE2__)
    if constexpr (kInLanes<F, B>) {
        if (t.lanes->width == 0) {
            fill_one_at_a_time<F, B>(raster, t);
            return;
        }
        LaneShader<F, B, kLanes> shader(raster.target(), raster.shading(), t);
        if (t.small) {
            shader.draw_small();
        } else if (t.narrow) {
            draw_narrow(t, shader);
        } else {
            walk_rows(t, shader);
        }
        return;
    }
#endif
    fill_one_at_a_time<F, B>(raster, t);
}

// Calls `body` with the fetch and blend kinds as template arguments.
template <class Body>
void with_kinds(Fetch fetch, Blend blend, Body&& body)
{
    auto with_blend = [&]<Fetch F>() {
        switch (blend) {
        case Blend::Diffuse:
            body.template operator()<F, Blend::Diffuse>();
            break;
        case Blend::Modulate:
            body.template operator()<F, Blend::Modulate>();
            break;
        case Blend::ModulateTextureAlpha:
            body.template operator()<F, Blend::ModulateTextureAlpha>();
            break;
        case Blend::DiffuseModulateAlpha:
            body.template operator()<F, Blend::DiffuseModulateAlpha>();
            break;
        case Blend::General:
            body.template operator()<F, Blend::General>();
            break;
        }
    };
    switch (fetch) {
    case Fetch::White:
        with_blend.template operator()<Fetch::White>();
        break;
    case Fetch::FastBilinear:
        with_blend.template operator()<Fetch::FastBilinear>();
        break;
    case Fetch::FastPoint:
        with_blend.template operator()<Fetch::FastPoint>();
        break;
    case Fetch::Generic:
        with_blend.template operator()<Fetch::Generic>();
        break;
    }
}

Fetch fetch_kind(const PixelShading& shading, const TextureSampler::Choice& choice)
{
    if (!shading.sampler) {
        return Fetch::White;
    }
    if (!choice.fast_wrap) {
        return Fetch::Generic;
    }
    return choice.linear ? Fetch::FastBilinear : Fetch::FastPoint;
}

TextureSampler::Choice choose_for(const PixelShading& shading, float lod)
{
    return shading.choice_per_primitive ? shading.sampler->choose(lod) : shading.choice;
}

using Fill = void (*)(const TriangleRaster&, const TriangleSetup&);

Fill fill_for(const PixelShading& shading, const TextureSampler::Choice& choice, int lanes)
{
    Fill fill = nullptr;
    with_kinds(fetch_kind(shading, choice), shading.blend,
               [&]<Fetch F, Blend B>() { fill = lanes == 8 ? &fill_triangle<F, B, 8> : &fill_triangle<F, B, 4>; });
    return fill;
}

} // namespace

bool pixel_loops::avx2_available()
{
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}

TriangleRaster::TriangleRaster(const RasterTarget& target, const PixelShading& shading, RowRange rows, int cull)
    : target_(target), shading_(shading), rows_(rows), cull_(cull)
{
    const uint32_t accept = depth_mask(shading.depth_func);
    lanes_.less_equal = accept == 3;
    const PixelOutput& output = shading.output;
    const uint32_t alpha_accept = depth_mask(output.alpha_func);
    for (int lane = 0; lane < 4; ++lane) {
        for (int outcome = 0; outcome < 3; ++outcome) {
            lanes_.accept[outcome][lane] = (accept >> outcome) & 1 ? -1 : 0;
            lanes_.alpha_accept[outcome][lane] = (alpha_accept >> outcome) & 1 ? -1 : 0;
        }
        lanes_.color_set_bits[lane] = target.color_set_bits;
        lanes_.alpha_ref[lane] = static_cast<int32_t>(output.alpha_ref);
    }
    // A factor in lanes is the source alpha or none of it, flipped or not.
    auto uses_alpha = [](DWORD f) -> int16_t { return f == D3DBLEND_SRCALPHA || f == D3DBLEND_INVSRCALPHA ? -1 : 0; };
    auto flips = [](DWORD f) -> int16_t { return f == D3DBLEND_ONE || f == D3DBLEND_INVSRCALPHA ? 255 : 0; };
    for (int k = 0; k < 8; ++k) {
        lanes_.source_alpha[k] = uses_alpha(output.src_blend);
        lanes_.source_flip[k] = flips(output.src_blend);
        lanes_.dest_alpha[k] = uses_alpha(output.dest_blend);
        lanes_.dest_flip[k] = flips(output.dest_blend);
    }
    const bool output_in_lanes =
        !output.blend || (blend_factor_in_lanes(output.src_blend) && blend_factor_in_lanes(output.dest_blend));
    // Offsets in the buffers come from 16-bit multiplies.
    if (shading.lanes > 1 && target.color_stride < 32768 && target.depth_stride < 32768 && output_in_lanes) {
        lanes_.width = shading.lanes >= 8 && avx2_available() ? 8 : 4;
    }
    for (int pair = 0; pair < 4; ++pair) {
        lanes_.color_stride[2 * pair] = lanes_.depth_stride[2 * pair] = 1;
        lanes_.color_stride[2 * pair + 1] = static_cast<int16_t>(target.color_stride);
        lanes_.depth_stride[2 * pair + 1] = static_cast<int16_t>(target.depth_stride);
    }
    lanes_.set_texture(shading.choice);
    if (!shading.choice_per_primitive) {
        fill_ = fill_for(shading, shading.choice, lanes_.width);
    }
}

namespace {

// The triangle's depth plane, as the pixel loops have it; false where its
// values could overflow (or are not numbers) on the way to a pixel.
bool depth_plane(const TriangleSetup& t, DepthPlane* plane)
{
    Planes::z_plane(*t.v0, *t.v1, *t.v2, t.area, t.min_x, t.min_y, &plane->origin, &plane->dx, &plane->dy);
    plane->min_x = t.min_x;
    plane->min_y = t.min_y;
    return std::fabs(plane->origin) < 1e30f && std::fabs(plane->dx) * static_cast<float>(t.max_x - t.min_x) < 1e30f &&
        std::fabs(plane->dy) * static_cast<float>(t.max_y - t.min_y) < 1e30f;
}

} // namespace

void TriangleRaster::draw(const RasterVertex& v0, const RasterVertex& v1_in, const RasterVertex& v2_in) const
{
    TriangleBox b;
    if (!box(v0, v1_in, v2_in, &b) || b.max_y < rows_.first || b.min_y > rows_.last) {
        return;
    }
    TriangleSetup t;
    t.v0 = &v0;
    t.v1 = b.flipped ? &v2_in : &v1_in;
    t.v2 = b.flipped ? &v1_in : &v2_in;
    t.area = b.area;
    t.min_x = b.min_x;
    t.min_y = b.min_y;
    t.max_x = b.max_x;
    t.max_y = b.max_y;
    t.first_row = std::max(b.min_y, rows_.first);
    t.last_row = std::min(b.max_y, rows_.last);
    t.small = b.max_x - b.min_x < kSmallSpan && b.hi_x - b.lo_x < kSmallExtent * kSubpixel &&
        b.hi_y - b.lo_y < kSmallExtent * kSubpixel;
    t.narrow = !t.small && b.hi_x - b.lo_x < kSmallSpan * kSubpixel && b.hi_y - b.lo_y < kNarrowExtent * kSubpixel;
    // A small triangle costs less to draw than to test against the tiles
    // first where it is most likely in front: right after one that drew,
    // or while the tests drop none (one in eight is tested still, to see
    // when they would again).
    const bool untested = t.small && (last_drew_ || (tests_in_vain_ >= 8 && (++untested_ & 7) != 0));
    DepthPlane plane;
    if (tiles_ && !untested && depth_plane(t, &plane)) {
        if (!tiles_->visible_rows(plane, t.min_x, t.max_x, &t.first_row, &t.last_row)) {
            tests_in_vain_ = 0;
            return;
        }
        ++tests_in_vain_;
    }
    if (fill_) {
        t.choice = shading_.choice;
        t.lanes = &lanes_;
        fill_(*this, t);
    } else {
        const float lod =
            triangle_lod(*shading_.sampler, v0, *t.v1, *t.v2, double(b.area) / (2.0 * kSubpixel * kSubpixel));
        t.choice = shading_.sampler->choose(lod);
        LaneConstants lanes = lanes_;
        lanes.set_texture(t.choice);
        t.lanes = &lanes;
        fill_for(shading_, t.choice, lanes_.width)(*this, t);
    }
    last_drew_ = t.may_draw;
    // A triangle that wrote nothing leaves its tiles' bounds as close as
    // they were.
    if (tiles_ && t.may_draw) {
        tiles_->touch(t.min_x, t.max_x, t.first_row, t.last_row);
    }
}

namespace {

template <Fetch F, Blend B>
void walk_line(const RasterTarget& target, const PixelShading& shading, const TextureSampler::Choice& choice,
               RowRange rows, bool last_pixel, const RasterVertex& v0, const RasterVertex& v1)
{
    Shader<F, B> shader(target, shading, choice);
    constexpr float kToPixels = 1.0f / kSubpixel;
    const float x0 = v0.fx * kToPixels, y0 = v0.fy * kToPixels;
    const float x1 = v1.fx * kToPixels, y1 = v1.fy * kToPixels;
    const bool x_major = std::fabs(x1 - x0) >= std::fabs(y1 - y0);
    // Along the major axis: from the start pixel up to (without) the end
    // pixel, pixel centres rounding half towards the line's start.
    const float start = x_major ? x0 : y0, end = x_major ? x1 : y1;
    const float minor_start = x_major ? y0 : x0, minor_end = x_major ? y1 : x1;
    const bool forward = end >= start;
    const int first = forward ? static_cast<int>(std::floor(start + 0.5f)) : static_cast<int>(std::ceil(start - 0.5f));
    const int stop = forward ? static_cast<int>(std::floor(end + 0.5f)) : static_cast<int>(std::ceil(end - 0.5f));
    const int step = forward ? 1 : -1;
    const int count = (stop - first) * step + (last_pixel ? 1 : 0);
    const float length = end - start;

    const Vec4 p0 = {v0.z, v0.invw, v0.uw, v0.vw};
    const Vec4 dp = Vec4{v1.z, v1.invw, v1.uw, v1.vw} - p0;
    const Vec4 c0 = {v0.r, v0.g, v0.b, v0.a};
    const Vec4 dc = shading.flat ? Vec4{0, 0, 0, 0} : Vec4{v1.r, v1.g, v1.b, v1.a} - c0;
    auto t_at = [&](int k) {
        const int major = first + k * step;
        const float t = length != 0.0f ? (static_cast<float>(major) - start) / length : 0.0f;
        return std::clamp(t, 0.0f, 1.0f);
    };
    auto minor_at = [&](float t) {
        return static_cast<int>(std::floor(minor_start + (minor_end - minor_start) * t + 0.5f));
    };
    auto row_at = [&](int k) { return x_major ? minor_at(t_at(k)) : first + k * step; };
    // Each step moves the row the same way (t never falls as k grows, and
    // every rounding on the way keeps order), so the pixels in the rows
    // this call draws are one run of steps, found by halving: a line
    // crossing many bands is not walked whole in each.
    const int low_row = std::max(rows.first, target.y0), high_row = std::min(rows.last, target.y1 - 1);
    const bool rows_fall = count > 0 && row_at(count - 1) < row_at(0);
    auto first_step = [&](auto&& past) {
        int lo = 0, hi = count;
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (past(row_at(mid))) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        return lo;
    };
    const int first_in =
        rows_fall ? first_step([&](int y) { return y <= high_row; }) : first_step([&](int y) { return y >= low_row; });
    const int last_out =
        rows_fall ? first_step([&](int y) { return y < low_row; }) : first_step([&](int y) { return y > high_row; });
    for (int k = first_in; k < last_out; ++k) {
        const float t = t_at(k);
        const int minor = minor_at(t);
        const int major = first + k * step;
        const int x = x_major ? major : minor, y = x_major ? minor : major;
        if (x < target.x0 || x >= target.x1 || y < target.y0 || y >= target.y1 || !rows.holds(y)) {
            continue;
        }
        shader.pixel(x, shader.color_row(y), shader.depth_row(y), p0 + dp * t, c0 + dc * t);
    }
}

} // namespace

void raster_line(const RasterTarget& target, const PixelShading& shading, RowRange rows, bool last_pixel,
                 const RasterVertex& v0, const RasterVertex& v1, DepthTiles* tiles)
{
    // The pixels lie within a pixel of the line's ends, and the depth, as
    // walk_line steps it from v0, between theirs: each rounding on the way
    // keeps order. Rows of tiles behind that are skipped.
    int min_x = 0, max_x = 0;
    const float far_end = v0.z + (v1.z - v0.z);
    if (tiles && std::fabs(v0.z) < 1e30f && std::fabs(far_end) < 1e30f) {
        constexpr float kToPixels = 1.0f / kSubpixel;
        min_x = std::max(target.x0, static_cast<int>(std::floor(std::min(v0.fx, v1.fx) * kToPixels)) - 1);
        max_x = std::min(target.x1 - 1, static_cast<int>(std::ceil(std::max(v0.fx, v1.fx) * kToPixels)) + 1);
        rows.first =
            std::max({rows.first, target.y0, static_cast<int>(std::floor(std::min(v0.fy, v1.fy) * kToPixels)) - 1});
        rows.last =
            std::min({rows.last, target.y1 - 1, static_cast<int>(std::ceil(std::max(v0.fy, v1.fy) * kToPixels)) + 1});
        const DepthPlane plane{std::min(v0.z, far_end), 0.0f, 0.0f, min_x, rows.first};
        if (min_x > max_x || rows.first > rows.last ||
            !tiles->visible_rows(plane, min_x, max_x, &rows.first, &rows.last)) {
            return;
        }
    } else {
        tiles = nullptr;
    }
    // A line has no area to measure texel density on; it samples level 0
    // as magnified.
    const TextureSampler::Choice choice = choose_for(shading, 0.0f);
    with_kinds(fetch_kind(shading, choice), shading.blend,
               [&]<Fetch F, Blend B>() { walk_line<F, B>(target, shading, choice, rows, last_pixel, v0, v1); });
    if (tiles) {
        tiles->touch(min_x, max_x, rows.first, rows.last);
    }
}

void raster_point(const RasterTarget& target, const PixelShading& shading, RowRange rows, const RasterVertex& v)
{
    const int x = static_cast<int>(std::floor(v.fx * (1.0f / kSubpixel) + 0.5f));
    const int y = static_cast<int>(std::floor(v.fy * (1.0f / kSubpixel) + 0.5f));
    if (x < target.x0 || x >= target.x1 || y < target.y0 || y >= target.y1 || !rows.holds(y)) {
        return;
    }
    const TextureSampler::Choice choice = choose_for(shading, 0.0f);
    with_kinds(fetch_kind(shading, choice), shading.blend, [&]<Fetch F, Blend B>() {
        Shader<F, B> shader(target, shading, choice);
        shader.pixel(x, shader.color_row(y), shader.depth_row(y), Vec4{v.z, v.invw, v.uw, v.vw},
                     Vec4{v.r, v.g, v.b, v.a});
    });
}
