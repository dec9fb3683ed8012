// The pixel loop of one triangle four pixels at a time, one in each SSE2
// lane, or eight in AVX2 lanes where the processor has them, for the
// common stage settings (no texture, or a wrapped power-of-two level read
// bilinearly or by point, modulated with the diffuse colour). Included by
// the rasterizer only.
//
// The surface's triangles are mostly a pixel or two wide, so the covered
// pixels are queued whatever row they lie in and shaded in fours or
// eights. Each lane does the arithmetic of Shader::pixel in the same order,
// so the results are the same bits; the pixels of one triangle are all
// different, so the order they are shaded in changes nothing. The eight
// lanes are two sets of four side by side (AVX2 packs and unpacks work
// within each half), so the four-lane steps carry over unchanged.
//
// One file for one class template: its queueing, four-lane and eight-lane
// steps share the triangle's planes and queue as members, and are compiled
// together into the rasterizer's loops.
#pragma once

#if defined(__SSE2__)
#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "platform/d3d9/pixel_shader.h"
#include "platform/d3d9/pixel_shading.h"
#include "platform/d3d9/raster_target.h"

namespace pixel_loops {

// Stage settings the lanes take; Generic fetches and General blends go one
// pixel at a time.
template <Fetch F, Blend B>
constexpr bool kInLanes = F != Fetch::Generic&& B != Blend::General;

// The eight-lane steps, compiled for AVX2 alone and run only where the
// processor has it (see avx2_available); AVX2 brings no fused multiply-add,
// so every product is rounded as in the other loops.
#define LANES_AVX2 __attribute__((target("avx2")))

// Whether this processor runs AVX2 code.
bool avx2_available();

template <Fetch F, Blend B, int kLanes>
class LaneShader {
public:
    LaneShader(const RasterTarget& target, const PixelShading& shading, const TriangleSetup& triangle)
        : triangle_(triangle), lanes_(*triangle.lanes)
    {
        color_ = target.color + triangle.min_y * target.color_stride + triangle.min_x;
        depth_ = target.depth ? target.depth + triangle.min_y * target.depth_stride + triangle.min_x : nullptr;
        depth_test_ = shading.depth_test;
        depth_write_ = shading.depth_write;
        color_write_ = shading.color_write;
        flat_ = shading.flat;
        alpha_test_ = shading.output.alpha_test;
        blend_ = shading.output.blend;
        // An X8R8G8B8 target sets the alpha bits whatever the stage says,
        // unless the alpha test or the blend reads them first.
        keep_alpha_ = (target.color_set_bits >> 24) != 0xFF || alpha_test_ || blend_;
        gather_depths_ = depth_ && triangle.max_x + 1 < target.depth_stride;
    }

    // A small triangle (TriangleSetup::small), whole: its rows walked with
    // the edges four pixels to a lane group, then its pixels shaded.
    void draw_small()
    {
        __m128i value[3], row_step[3], group_step[3];
        small_edges(value, row_step, group_step);
        walk_narrow(value, row_step, group_step);
    }

    // A narrow triangle (TriangleSetup::narrow) as draw_small draws it,
    // from its edges at the first pixel of its first row (`row`) and their
    // steps along and down, each of which fits 32 bits there.
    void draw_narrow(const int32_t row[3], const int32_t step_x[3], const int32_t step_y[3])
    {
        __m128i value[3], row_step[3], group_step[3];
        for (int k = 0; k < 3; ++k) {
            const int32_t s = step_x[k];
            value[k] = _mm_add_epi32(_mm_set1_epi32(row[k]), _mm_set_epi32(3 * s, 2 * s, s, 0));
            row_step[k] = _mm_set1_epi32(step_y[k]);
            group_step[k] = _mm_set1_epi32(4 * s);
        }
        walk_narrow(value, row_step, group_step);
    }

    // The rows of a triangle at most kSmallSpan pixels wide, from the edge
    // values of its first row: lane j of value[k] holds edge k at pixel j.
    // Each row's covered run is queued without a branch on what it covers,
    // the rows in pieces the queue holds; a tall triangle's pieces are
    // shaded as they fill.
    void walk_narrow(const __m128i value[3], const __m128i row_step[3], const __m128i group_step[3])
    {
        const TriangleSetup& t = triangle_;
        const int span = t.max_x - t.min_x;
        const uint32_t inside = (2u << span) - 1; // pixels 0 .. span
        __m128i a = value[0], b = value[1], c = value[2];
        __m128i place = _mm_set1_epi32((t.first_row - t.min_y) << 16);
        const __m128i place_step = _mm_set1_epi32(1 << 16);
        auto next_row = [&] {
            a = _mm_add_epi32(a, row_step[0]);
            b = _mm_add_epi32(b, row_step[1]);
            c = _mm_add_epi32(c, row_step[2]);
            place = _mm_add_epi32(place, place_step);
        };
        auto outside = [](__m128i x, __m128i y, __m128i z) {
            return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_or_si128(_mm_or_si128(x, y), z))));
        };
        // Rows per piece: the queue holds kQueue places, and a row queues
        // four places (eight or sixteen when wider) after the fewer than
        // kLanes left.
        const int piece_rows = span < 4 ? kQueue / 4 : (kLanes == 8 && span < 8 ? kQueue / 8 : kQueue / 16);
        for (int y = t.first_row; y <= t.last_row;) {
            const int piece_end = std::min(t.last_row, y + piece_rows - 1);
            int32_t* queue = place_ + queued_;
            if (span < 4) {
                if constexpr (kLanes == 8) {
                    const int pair_rows = (piece_end - y + 1) & ~1;
                    queue = queue_row_pairs(queue, pair_rows, inside, a, b, c, place, row_step);
                    y += pair_rows;
                }
                for (; y <= piece_end; ++y) {
                    const uint32_t run = ~outside(a, b, c) & inside;
                    const __m128i lanes = _mm_load_si128(reinterpret_cast<const __m128i*>(kRunLanes[run]));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(queue), _mm_or_si128(place, lanes));
                    queue += kRunLength[run];
                    next_row();
                }
            } else if constexpr (kLanes == 8) {
                queue = queue_rows_wide(queue, piece_end - y + 1, span, a, b, c, place, row_step, group_step);
                y = piece_end + 1;
            } else {
                for (; y <= piece_end; ++y) {
                    __m128i ga = a, gb = b, gc = c;
                    uint32_t out = outside(ga, gb, gc);
                    for (int g = 1; g <= span / 4; ++g) {
                        ga = _mm_add_epi32(ga, group_step[0]);
                        gb = _mm_add_epi32(gb, group_step[1]);
                        gc = _mm_add_epi32(gc, group_step[2]);
                        out |= outside(ga, gb, gc) << (4 * g);
                    }
                    // A triangle's pixels in a row are contiguous: the run
                    // from its first pixel, the last repeated to fill four.
                    const uint32_t covered = ~out & inside;
                    const int start = __builtin_ctz(covered | 0x10000u), end = 32 - __builtin_clz(covered | 1u);
                    const int length = std::max(0, end - start);
                    const __m128i first = _mm_or_si128(place, _mm_set1_epi32(start));
                    const __m128i most = _mm_set1_epi32(length - 1);
                    for (int k = 0; k < 16; k += 4) {
                        const __m128i column = _mm_min_epi16(_mm_set_epi32(k + 3, k + 2, k + 1, k), most);
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(queue + k), _mm_add_epi32(first, column));
                    }
                    queue += length;
                    next_row();
                }
            }
            queued_ = static_cast<int>(queue - place_);
            if (y <= t.last_row) {
                shade_queue(queued_ & ~(kLanes - 1));
            }
        }
        finish();
    }

    // The rows of walk_narrow narrower than four pixels, two at a time in
    // eight lanes: the first row in the low half, the next in the high
    // half. `rows` is even. Moves the edges and the place on by `rows` and
    // returns the queue's end.
    LANES_AVX2 int32_t* queue_row_pairs(int32_t* queue, int rows, uint32_t inside, __m128i& a, __m128i& b, __m128i& c,
                                        __m128i& place, const __m128i row_step[3])
    {
        auto pair = [&](__m128i four, int k)
                        LANES_AVX2 { return _mm256_set_m128i(_mm_add_epi32(four, row_step[k]), four); };
        auto twice_step = [&](int k) LANES_AVX2 {
            return _mm256_broadcastsi128_si256(_mm_add_epi32(row_step[k], row_step[k]));
        };
        __m256i ea = pair(a, 0), eb = pair(b, 1), ec = pair(c, 2);
        const __m256i step_a = twice_step(0), step_b = twice_step(1), step_c = twice_step(2);
        __m256i rows_place = _mm256_broadcastsi128_si256(place);
        const __m256i place_step = _mm256_set1_epi32(2 << 16);
        const uint32_t both_inside = inside | inside << 4;
        for (int r = 0; r < rows; r += 2) {
            const uint32_t out = static_cast<uint32_t>(
                _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(_mm256_or_si256(ea, eb), ec))));
            const uint32_t runs = ~out & both_inside;
            const __m256i lanes = _mm256_add_epi32(
                rows_place, _mm256_load_si256(reinterpret_cast<const __m256i*>(kPairRuns.lanes[runs])));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(queue), _mm256_castsi256_si128(lanes));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(queue + kPairRuns.first_length[runs]),
                             _mm256_extracti128_si256(lanes, 1));
            queue += kPairRuns.length[runs];
            ea = _mm256_add_epi32(ea, step_a);
            eb = _mm256_add_epi32(eb, step_b);
            ec = _mm256_add_epi32(ec, step_c);
            rows_place = _mm256_add_epi32(rows_place, place_step);
        }
        a = _mm256_castsi256_si128(ea);
        b = _mm256_castsi256_si128(eb);
        c = _mm256_castsi256_si128(ec);
        place = _mm256_castsi256_si128(rows_place);
        return queue;
    }

    // The rows of walk_narrow four or more pixels wide in eight lanes: each
    // row's edges over eight pixels at once, sixteen in two steps. Moves
    // the edges and the place on by `rows` and returns the queue's end.
    LANES_AVX2 int32_t* queue_rows_wide(int32_t* queue, int rows, int span, __m128i& a, __m128i& b, __m128i& c,
                                        __m128i& place, const __m128i row_step[3], const __m128i group_step[3])
    {
        const uint32_t inside = (2u << span) - 1;
        auto eight = [&](__m128i four, int k)
                         LANES_AVX2 { return _mm256_set_m128i(_mm_add_epi32(four, group_step[k]), four); };
        __m256i ea = eight(a, 0), eb = eight(b, 1), ec = eight(c, 2);
        __m256i row_place = _mm256_broadcastsi128_si256(place);
        const __m256i step_a = _mm256_broadcastsi128_si256(row_step[0]);
        const __m256i step_b = _mm256_broadcastsi128_si256(row_step[1]);
        const __m256i step_c = _mm256_broadcastsi128_si256(row_step[2]);
        const __m256i place_step = _mm256_set1_epi32(1 << 16);
        auto next_row = [&]() LANES_AVX2 {
            ea = _mm256_add_epi32(ea, step_a);
            eb = _mm256_add_epi32(eb, step_b);
            ec = _mm256_add_epi32(ec, step_c);
            row_place = _mm256_add_epi32(row_place, place_step);
        };
        auto outside = [](__m256i x, __m256i y, __m256i z) LANES_AVX2 {
            return static_cast<uint32_t>(
                _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(_mm256_or_si256(x, y), z))));
        };
        if (span < 8) {
            for (int r = 0; r < rows; ++r) {
                const uint32_t run = ~outside(ea, eb, ec) & inside;
                const __m256i lanes = _mm256_load_si256(reinterpret_cast<const __m256i*>(kEightRuns.lanes[run]));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(queue), _mm256_or_si256(row_place, lanes));
                queue += kEightRuns.length[run];
                next_row();
            }
        } else {
            const __m256i along_a = _mm256_broadcastsi128_si256(_mm_slli_epi32(group_step[0], 1));
            const __m256i along_b = _mm256_broadcastsi128_si256(_mm_slli_epi32(group_step[1], 1));
            const __m256i along_c = _mm256_broadcastsi128_si256(_mm_slli_epi32(group_step[2], 1));
            const __m256i columns = _mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0);
            const __m256i more_columns = _mm256_set_epi32(15, 14, 13, 12, 11, 10, 9, 8);
            for (int r = 0; r < rows; ++r) {
                const uint32_t out = outside(ea, eb, ec) |
                    outside(_mm256_add_epi32(ea, along_a), _mm256_add_epi32(eb, along_b), _mm256_add_epi32(ec, along_c))
                        << 8;
                // A triangle's pixels in a row are contiguous: the run from
                // its first pixel, the last repeated to fill sixteen.
                const uint32_t covered = ~out & inside;
                const int start = __builtin_ctz(covered | 0x10000u), end = 32 - __builtin_clz(covered | 1u);
                const int length = std::max(0, end - start);
                const __m256i first = _mm256_add_epi32(row_place, _mm256_set1_epi32(start));
                const __m256i most = _mm256_set1_epi32(length - 1);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(queue),
                                    _mm256_add_epi32(first, _mm256_min_epi32(columns, most)));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(queue + 8),
                                    _mm256_add_epi32(first, _mm256_min_epi32(more_columns, most)));
                queue += length;
                next_row();
            }
        }
        a = _mm256_castsi256_si128(ea);
        b = _mm256_castsi256_si128(eb);
        c = _mm256_castsi256_si128(ec);
        place = _mm256_castsi256_si128(row_place);
        return queue;
    }

    // The three edges of a small triangle, edge k from vertex k + 1 to
    // vertex k + 2, in lane k: the value at pixel j of the first row in lane
    // j of value[k], its change per row and per four pixels. Sides and
    // offsets below kSmallExtent pixels in 1/256 pixel fit 16 bits, so one
    // multiply-add of 16-bit pairs gives each edge's value.
    void small_edges(__m128i value[3], __m128i row_step[3], __m128i group_step[3]) const
    {
        const TriangleSetup& t = triangle_;
        auto position = [](const RasterVertex* v) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&v->fx)); };
        const __m128i p2 = position(t.v2);
        const __m128i xy01 = _mm_unpacklo_epi32(position(t.v0), position(t.v1)); // x0 x1 y0 y1
        const __m128i x = _mm_unpacklo_epi64(xy01, p2);                          // x0 x1 x2 -
        const __m128i y = _mm_unpackhi_epi64(xy01, _mm_shuffle_epi32(p2, _MM_SHUFFLE(1, 1, 1, 1)));
        const __m128i ax = _mm_shuffle_epi32(x, _MM_SHUFFLE(3, 0, 2, 1)),
                      ay = _mm_shuffle_epi32(y, _MM_SHUFFLE(3, 0, 2, 1));
        const __m128i dx = _mm_sub_epi32(_mm_shuffle_epi32(x, _MM_SHUFFLE(3, 1, 0, 2)), ax);
        const __m128i dy = _mm_sub_epi32(_mm_shuffle_epi32(y, _MM_SHUFFLE(3, 1, 0, 2)), ay);
        const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi32(0xFFFF);
        // Top edge: horizontal, walked left to right in this (clockwise)
        // order; left edge: walked upwards. Only these keep centres lying on
        // them; the others are biased by one.
        const __m128i top_left = _mm_or_si128(_mm_cmplt_epi32(dy, zero),
                                              _mm_and_si128(_mm_cmpeq_epi32(dy, zero), _mm_cmpgt_epi32(dx, zero)));
        const __m128i minus_dy = _mm_sub_epi32(zero, dy);
        const __m128i factors = _mm_or_si128(_mm_and_si128(dx, low), _mm_slli_epi32(minus_dy, 16));
        const __m128i px = _mm_set1_epi32(t.min_x * kSubpixel), py = _mm_set1_epi32(t.first_row * kSubpixel);
        const __m128i offsets =
            _mm_or_si128(_mm_and_si128(_mm_sub_epi32(py, ay), low), _mm_slli_epi32(_mm_sub_epi32(px, ax), 16));
        // dx (py - ay) - dy (px - ax), less one off the top and left edges.
        const __m128i row =
            _mm_add_epi32(_mm_madd_epi16(factors, offsets), _mm_andnot_si128(top_left, _mm_set1_epi32(-1)));
        const __m128i step_x = _mm_slli_epi32(minus_dy, kSubpixelBits);
        const __m128i step_y = _mm_slli_epi32(dx, kSubpixelBits);
        const __m128i odd = _mm_set_epi32(-1, 0, -1, 0);
        auto lanes_of = [&]<int k>() {
            const __m128i step = _mm_shuffle_epi32(step_x, _MM_SHUFFLE(k, k, k, k));
            // 0, step, 2 step, 3 step
            const __m128i along =
                _mm_add_epi32(_mm_and_si128(step, odd), _mm_unpacklo_epi64(zero, _mm_add_epi32(step, step)));
            value[k] = _mm_add_epi32(_mm_shuffle_epi32(row, _MM_SHUFFLE(k, k, k, k)), along);
            row_step[k] = _mm_shuffle_epi32(step_y, _MM_SHUFFLE(k, k, k, k));
            group_step[k] = _mm_slli_epi32(step, 2);
        };
        lanes_of.template operator()<0>();
        lanes_of.template operator()<1>();
        lanes_of.template operator()<2>();
    }

    // Pixels min_x + first ... min_x + last of row y, all covered.
    void run(int y, int first, int last)
    {
        for (; last - first >= kPiece; first += kPiece) {
            queue(y, first, first + kPiece - 1);
        }
        queue(y, first, last);
    }

    // Shades the pixels still queued.
    void finish()
    {
        if (queued_ > 0) {
            shade_queue(queued_);
        }
    }

private:
    enum Attribute { kZ, kInvW, kUW, kVW, kRed, kGreen, kBlue, kAlpha };
    static constexpr bool kNeedsTexture = F != Fetch::White && B != Blend::Diffuse;
    // Queued pixels at most, and the longest piece of a row queued at once.
    static constexpr int kQueue = kSmallExtent * 4, kPiece = 16;

    // For each run of covered pixels in four: its places, the last
    // repeated, and its length.
    alignas(16) static constexpr int32_t kRunLanes[16][4] = {
        {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, {0, 1, 1, 1}, {2, 2, 2, 2}, {0, 2, 2, 2}, {1, 2, 2, 2}, {0, 1, 2, 2},
        {3, 3, 3, 3}, {0, 3, 3, 3}, {1, 3, 3, 3}, {0, 1, 3, 3}, {2, 3, 3, 3}, {0, 2, 3, 3}, {1, 2, 3, 3}, {0, 1, 2, 3}};
    static constexpr int kRunLength[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    // The same for runs in eight: the places of the covered pixels of each
    // mask from its first on, the last repeated, and how many there are.
    // Only contiguous runs occur.
    struct EightRuns {
        alignas(32) int32_t lanes[256][8];
        int32_t length[256];
    };
    static constexpr EightRuns eight_runs()
    {
        EightRuns runs{};
        for (int mask = 0; mask < 256; ++mask) {
            int count = 0, first = 0;
            for (int bit = 7; bit >= 0; --bit) {
                if (mask & (1 << bit)) {
                    first = bit;
                    ++count;
                }
            }
            for (int k = 0; k < 8; ++k) {
                runs.lanes[mask][k] = first + std::min(k, std::max(count - 1, 0));
            }
            runs.length[mask] = count;
        }
        return runs;
    }
    static constexpr EightRuns kEightRuns = eight_runs();
    // Runs of two rows of four, the first row in the low four bits of the
    // mask: the places of each row's covered pixels as kRunLanes gives
    // them, the second row's one row further down; the first row's length
    // and both rows' together.
    struct PairRuns {
        alignas(32) int32_t lanes[256][8];
        int32_t first_length[256];
        int32_t length[256];
    };
    static constexpr PairRuns pair_runs()
    {
        PairRuns runs{};
        for (int mask = 0; mask < 256; ++mask) {
            const int low = mask & 15, high = mask >> 4;
            for (int k = 0; k < 4; ++k) {
                runs.lanes[mask][k] = kRunLanes[low][k];
                runs.lanes[mask][4 + k] = kRunLanes[high][k] + (1 << 16);
            }
            runs.first_length[mask] = kRunLength[low];
            runs.length[mask] = kRunLength[low] + kRunLength[high];
        }
        return runs;
    }
    static constexpr PairRuns kPairRuns = pair_runs();

    // At most kPiece pixels of a row, queued four places at a time; places
    // past the end of the row repeat its last pixel.
    void queue(int y, int first, int last)
    {
        const int length = last - first + 1;
        if (queued_ + length > kQueue) {
            shade_queue(queued_ & ~(kLanes - 1));
        }
        const __m128i place = _mm_set1_epi32((y - triangle_.min_y) << 16);
        for (int done = 0; done < length; done += 4) {
            const __m128i column =
                _mm_add_epi32(_mm_set1_epi32(first + done),
                              _mm_min_epi16(_mm_set_epi32(3, 2, 1, 0), _mm_set1_epi32(length - 1 - done)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(place_ + queued_ + done), _mm_or_si128(place, column));
        }
        queued_ += length;
    }

    // Shades the first `count` queued pixels, kLanes at a time, and keeps
    // the rest; `count` is all of them or a multiple of kLanes. The places
    // past the last pixel repeat it: those lanes compute what its own lane
    // does and store the same values.
    void shade_queue(int count)
    {
        if (count == queued_) {
            const __m128i last = _mm_set1_epi32(place_[count - 1]);
            for (int k = 0; k < kLanes; k += 4) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(place_ + count + k), last);
            }
        }
        if constexpr (kLanes == 8) {
            shade_wide_queue(count);
        } else {
            set_depth_plane();
            for (int at = 0; at < count; at += 4) {
                shade(at);
            }
        }
        const int left = queued_ - count;
        for (int k = 0; k < left; ++k) {
            place_[k] = place_[count + k];
        }
        queued_ = left;
    }

    // The attribute planes, once a pixel is covered: most of the
    // surface's triangles cover none. Depth first: many of the pixels of a
    // surface seen from the side lie behind what is already drawn, and need
    // no other plane.
    void set_depth_plane()
    {
        if (planes_set_ != kNoPlanes) {
            return;
        }
        const TriangleSetup& t = triangle_;
        planes_.set_positions(*t.v0, *t.v1, *t.v2, t.area, t.min_x, t.min_y);
        planes_set_ = kDepthPlane;
        if (!depth_test_) {
            set_other_planes();
        }
    }

    __attribute__((noinline)) void set_other_planes()
    {
        const TriangleSetup& t = triangle_;
        planes_.set_colors(flat_, *t.v0, *t.v1, *t.v2, t.area, t.min_x, t.min_y);
        planes_set_ = kAllPlanes;
        t.may_draw = true;
    }

    // Attribute a's plane: its value at the corner and its steps.
    const float* origin(int a) const
    {
        return a < kRed ? element(planes_.p_origin, a) : element(planes_.c_origin, a - kRed);
    }
    const float* dx(int a) const { return a < kRed ? element(planes_.p_dx, a) : element(planes_.c_dx, a - kRed); }
    const float* dy(int a) const { return a < kRed ? element(planes_.p_dy, a) : element(planes_.c_dy, a - kRed); }
    // A vector's element by address: clang gives no address of v[k].
    static const float* element(const Vec4& v, int k) { return reinterpret_cast<const float*>(&v) + k; }

    // As TriangleShader: the row's value first, then the step along it.
    __m128 plane(int a, __m128 fi, __m128 fy) const
    {
        return _mm_add_ps(_mm_add_ps(_mm_load1_ps(origin(a)), _mm_mul_ps(_mm_load1_ps(dy(a)), fy)),
                          _mm_mul_ps(_mm_load1_ps(dx(a)), fi));
    }

    // floor, as Shader::texel_lanes takes it.
    static __m128i floor_lanes(__m128 v)
    {
        const __m128i t = _mm_cvttps_epi32(v);
        return _mm_add_epi32(t, _mm_castps_si128(_mm_cmplt_ps(v, _mm_cvtepi32_ps(t))));
    }

    // Four texels, one per lane, from their indices.
    __m128i gather(__m128i at) const
    {
        alignas(16) uint32_t index[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(index), at);
        const __m128i t01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(lanes_.texels[index[0]])),
                                               _mm_cvtsi32_si128(static_cast<int>(lanes_.texels[index[1]])));
        const __m128i t23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(lanes_.texels[index[2]])),
                                               _mm_cvtsi32_si128(static_cast<int>(lanes_.texels[index[3]])));
        return _mm_unpacklo_epi64(t01, t23);
    }

    // The texels at `at` and one further, for four lanes: the left ones in
    // `left`, the right ones in `right`, each pair one 64-bit load.
    static void texel_pairs(const uint32_t* texels, const uint32_t at[4], __m128i* left, __m128i* right)
    {
        auto pair = [texels](uint32_t k) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texels + k)); };
        const __m128i p01 = _mm_unpacklo_epi32(pair(at[0]), pair(at[1])); // l0 l1 r0 r1
        const __m128i p23 = _mm_unpacklo_epi32(pair(at[2]), pair(at[3]));
        *left = _mm_unpacklo_epi64(p01, p23);
        *right = _mm_unpackhi_epi64(p01, p23);
    }

    // The four texels around each lane's position: left and right in each
    // row. Where no lane's right column wraps to the first, each pair is
    // one load.
    void bilinear_corners(__m128i x0, __m128i row0, __m128i row1, __m128i width_mask, __m128i corners[4]) const
    {
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(x0, width_mask)) == 0) {
            alignas(16) uint32_t top[4], bottom[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(top), _mm_add_epi32(row0, x0));
            _mm_store_si128(reinterpret_cast<__m128i*>(bottom), _mm_add_epi32(row1, x0));
            texel_pairs(lanes_.texels, top, &corners[0], &corners[1]);
            texel_pairs(lanes_.texels, bottom, &corners[2], &corners[3]);
            return;
        }
        const __m128i x1 = _mm_and_si128(_mm_add_epi32(x0, _mm_set1_epi32(1)), width_mask);
        corners[0] = gather(_mm_add_epi32(row0, x0));
        corners[1] = gather(_mm_add_epi32(row0, x1));
        corners[2] = gather(_mm_add_epi32(row1, x0));
        corners[3] = gather(_mm_add_epi32(row1, x1));
    }

    // The texture colour of each lane, as 16-bit channels: pixels 0 and 1
    // in `low`, 2 and 3 in `high`. The arithmetic of lanes::bilinear_at.
    void texture_lanes(__m128 fi, __m128 fy, __m128i* low, __m128i* high) const
    {
        const __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), plane(kInvW, fi, fy));
        const __m128 half = _mm_set1_ps(F == Fetch::FastBilinear ? 128.0f : 0.0f);
        const __m128i tx =
            floor_lanes(_mm_sub_ps(_mm_mul_ps(_mm_mul_ps(plane(kUW, fi, fy), w), load(lanes_.scale_u)), half));
        const __m128i ty =
            floor_lanes(_mm_sub_ps(_mm_mul_ps(_mm_mul_ps(plane(kVW, fi, fy), w), load(lanes_.scale_v)), half));
        const __m128i width_mask = load(lanes_.width_mask), height_mask = load(lanes_.height_mask);
        const __m128i width_shift = _mm_cvtsi32_si128(lanes_.width_shift);
        const __m128i zero = _mm_setzero_si128();
        if constexpr (F == Fetch::FastPoint) {
            const __m128i row = _mm_sll_epi32(_mm_and_si128(ty, height_mask), width_shift);
            const __m128i texel = gather(_mm_add_epi32(row, _mm_and_si128(tx, width_mask)));
            *low = _mm_unpacklo_epi8(texel, zero);
            *high = _mm_unpackhi_epi8(texel, zero);
        } else {
            const __m128i whole_x = _mm_srai_epi32(tx, 8), whole_y = _mm_srai_epi32(ty, 8);
            const __m128i row0 = _mm_sll_epi32(_mm_and_si128(whole_y, height_mask), width_shift);
            const __m128i row1 =
                _mm_sll_epi32(_mm_and_si128(_mm_add_epi32(whole_y, _mm_set1_epi32(1)), height_mask), width_shift);
            __m128i corners[4]; // top left, top right, bottom left, bottom right
            bilinear_corners(_mm_and_si128(whole_x, width_mask), row0, row1, width_mask, corners);
            // Each lane's fractions across its four channels.
            const __m128i fractions =
                _mm_packs_epi32(_mm_and_si128(tx, _mm_set1_epi32(255)), _mm_and_si128(ty, _mm_set1_epi32(255)));
            const __m128i across = _mm_unpacklo_epi16(fractions, fractions); // fx0 fx0 fx1 fx1 ...
            const __m128i down = _mm_unpackhi_epi16(fractions, fractions);
            auto blend = [&]<bool kHigh>(__m128i fx, __m128i fy) {
                auto half_of = [&](__m128i texel) {
                    return kHigh ? _mm_unpackhi_epi8(texel, zero) : _mm_unpacklo_epi8(texel, zero);
                };
                const __m128i full = _mm_set1_epi16(256);
                const __m128i rest_y = _mm_sub_epi16(full, fy);
                auto column = [&](__m128i top, __m128i bottom) {
                    return _mm_srli_epi16(
                        _mm_add_epi16(_mm_mullo_epi16(half_of(top), rest_y), _mm_mullo_epi16(half_of(bottom), fy)), 8);
                };
                const __m128i left = column(corners[0], corners[2]);
                const __m128i right = column(corners[1], corners[3]);
                return _mm_srli_epi16(
                    _mm_add_epi16(_mm_mullo_epi16(left, _mm_sub_epi16(full, fx)), _mm_mullo_epi16(right, fx)), 8);
            };
            *low = blend.template operator()<false>(_mm_unpacklo_epi32(across, across), _mm_unpacklo_epi32(down, down));
            *high = blend.template operator()<true>(_mm_unpackhi_epi32(across, across), _mm_unpackhi_epi32(down, down));
        }
    }

    // The colours of the four lanes, packed as pixels.
    __m128i colors(__m128 fi, __m128 fy) const
    {
        // The diffuse colour as lanes::from_color makes it, pixels 0 and 1
        // in `low`, 2 and 3 in `high`.
        const __m128 alpha = keep_alpha_ ? plane(kAlpha, fi, fy) : _mm_setzero_ps();
        const __m128i bg =
            _mm_packs_epi32(_mm_cvtps_epi32(plane(kBlue, fi, fy)), _mm_cvtps_epi32(plane(kGreen, fi, fy)));
        const __m128i ra = _mm_packs_epi32(_mm_cvtps_epi32(plane(kRed, fi, fy)), _mm_cvtps_epi32(alpha));
        const __m128i br = _mm_unpacklo_epi16(bg, ra); // b0 r0 b1 r1 ...
        const __m128i ga = _mm_unpackhi_epi16(bg, ra); // g0 a0 g1 a1 ...
        auto clamp = [](__m128i v) {
            return _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), _mm_set1_epi16(255));
        };
        __m128i low = clamp(_mm_unpacklo_epi16(br, ga));
        __m128i high = clamp(_mm_unpackhi_epi16(br, ga));
        if constexpr (!kNeedsTexture) {
            const __m128i packed = _mm_packus_epi16(low, high);
            return B == Blend::ModulateTextureAlpha ? _mm_or_si128(packed, _mm_set1_epi32(int(0xFF000000u))) : packed;
        } else {
            __m128i texture_low, texture_high;
            texture_lanes(fi, fy, &texture_low, &texture_high);
            const __m128i alpha_lanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
            if constexpr (B == Blend::DiffuseModulateAlpha) {
                low = select(alpha_lanes, lanes::multiply(texture_low, low), low);
                high = select(alpha_lanes, lanes::multiply(texture_high, high), high);
                return _mm_packus_epi16(low, high);
            }
            low = lanes::multiply(texture_low, low);
            high = lanes::multiply(texture_high, high);
            if constexpr (B == Blend::ModulateTextureAlpha) {
                low = select(alpha_lanes, texture_low, low);
                high = select(alpha_lanes, texture_high, high);
            }
            return _mm_packus_epi16(low, high);
        }
    }

    static __m128i load(const int32_t* lanes) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes)); }
    static __m128i load(const int16_t* lanes) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes)); }
    static __m128i load(const uint32_t* lanes) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes)); }
    static __m128 load(const float* lanes) { return _mm_load_ps(lanes); }

    // The stored depths and colours of four lanes, and their writing back.
    static __m128i load_depths(const uint16_t* depth, const int32_t* at)
    {
        __m128i stored = _mm_setzero_si128();
        stored = _mm_insert_epi16(stored, depth[at[0]], 0);
        stored = _mm_insert_epi16(stored, depth[at[1]], 2);
        stored = _mm_insert_epi16(stored, depth[at[2]], 4);
        return _mm_insert_epi16(stored, depth[at[3]], 6);
    }

    static void store_depths(uint16_t* depth, const int32_t* at, __m128i values)
    {
        depth[at[0]] = static_cast<uint16_t>(_mm_extract_epi16(values, 0));
        depth[at[1]] = static_cast<uint16_t>(_mm_extract_epi16(values, 2));
        depth[at[2]] = static_cast<uint16_t>(_mm_extract_epi16(values, 4));
        depth[at[3]] = static_cast<uint16_t>(_mm_extract_epi16(values, 6));
    }

    static __m128i load_colors(const uint32_t* color, const int32_t* at)
    {
        const __m128i c01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(color[at[0]])),
                                               _mm_cvtsi32_si128(static_cast<int>(color[at[1]])));
        const __m128i c23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(color[at[2]])),
                                               _mm_cvtsi32_si128(static_cast<int>(color[at[3]])));
        return _mm_unpacklo_epi64(c01, c23);
    }

    static void store_colors(uint32_t* color, const int32_t* at, __m128i values)
    {
        color[at[0]] = static_cast<uint32_t>(_mm_cvtsi128_si32(values));
        color[at[1]] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(values, _MM_SHUFFLE(1, 1, 1, 1))));
        color[at[2]] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(values, _MM_SHUFFLE(2, 2, 2, 2))));
        color[at[3]] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(values, _MM_SHUFFLE(3, 3, 3, 3))));
    }

    static __m128i select(__m128i mask, __m128i a, __m128i b)
    {
        return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
    }

    // Four queued pixels from `at` on. The stores are not masked by
    // branches: a lane that fails the depth test writes back what it read.
    void shade(int at)
    {
        const __m128i place = _mm_loadu_si128(reinterpret_cast<const __m128i*>(place_ + at));
        const __m128 fi = _mm_cvtepi32_ps(_mm_and_si128(place, _mm_set1_epi32(0xFFFF)));
        const __m128 fy = _mm_cvtepi32_ps(_mm_srli_epi32(place, 16));
        // Where each lane lies in the buffers, from the triangle's corner:
        // column x 1 + row x stride, in one multiply-add of 16-bit pairs.
        alignas(16) int32_t depth_at[4], color_at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(depth_at), _mm_madd_epi16(place, load(lanes_.depth_stride)));
        _mm_store_si128(reinterpret_cast<__m128i*>(color_at), _mm_madd_epi16(place, load(lanes_.color_stride)));
        __m128i pass = _mm_set1_epi32(-1), z = _mm_setzero_si128(), stored = _mm_setzero_si128();
        if (depth_test_) {
            // to_d16 in lanes: maxps and minps take their second operand for NaN too.
            __m128 scaled = _mm_add_ps(_mm_mul_ps(plane(kZ, fi, fy), _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f));
            scaled = _mm_min_ps(_mm_max_ps(scaled, _mm_setzero_ps()), _mm_set1_ps(65535.0f));
            z = _mm_cvttps_epi32(scaled);
            stored = load_depths(depth_, depth_at);
            pass = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_cmplt_epi32(z, stored), load(lanes_.accept[0])),
                                             _mm_and_si128(_mm_cmpeq_epi32(z, stored), load(lanes_.accept[1]))),
                                _mm_and_si128(_mm_cmpgt_epi32(z, stored), load(lanes_.accept[2])));
            if (_mm_movemask_epi8(pass) == 0) {
                return;
            }
            if (planes_set_ != kAllPlanes) {
                set_other_planes();
            }
            if (depth_write_ && !alpha_test_) {
                store_depths(depth_, depth_at, select(pass, z, stored));
            }
        }
        if (alpha_test_ || blend_) {
            shade_output(fi, fy, depth_at, color_at, pass, z, stored);
            return;
        }
        if (!color_write_) {
            return;
        }
        const __m128i fresh = _mm_or_si128(colors(fi, fy), load(lanes_.color_set_bits));
        // Mostly every lane passes, and nothing need be read back.
        store_colors(color_, color_at,
                     _mm_movemask_epi8(pass) == 0xFFFF ? fresh : select(pass, fresh, load_colors(color_, color_at)));
    }

    // The lanes whose alpha passes the alpha test.
    __m128i alpha_pass(__m128i colors) const
    {
        const __m128i alpha = _mm_srli_epi32(colors, 24), ref = load(lanes_.alpha_ref);
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_cmplt_epi32(alpha, ref), load(lanes_.alpha_accept[0])),
                                         _mm_and_si128(_mm_cmpeq_epi32(alpha, ref), load(lanes_.alpha_accept[1]))),
                            _mm_and_si128(_mm_cmpgt_epi32(alpha, ref), load(lanes_.alpha_accept[2])));
    }

    // blend_output in lanes, for the factors of blend_factor_in_lanes:
    // each factor is the source alpha masked and flipped, channels as
    // 16-bit lanes, the sum held to 255 by the final pack.
    __m128i blend_colors(__m128i source, __m128i dest) const
    {
        const __m128i zero = _mm_setzero_si128();
        auto half = [&](__m128i s, __m128i d) {
            const __m128i alpha =
                _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
            const __m128i sf = _mm_xor_si128(_mm_and_si128(alpha, load(lanes_.source_alpha)), load(lanes_.source_flip));
            const __m128i df = _mm_xor_si128(_mm_and_si128(alpha, load(lanes_.dest_alpha)), load(lanes_.dest_flip));
            return _mm_adds_epu16(lanes::multiply(s, sf), lanes::multiply(d, df));
        };
        return _mm_packus_epi16(half(_mm_unpacklo_epi8(source, zero), _mm_unpacklo_epi8(dest, zero)),
                                half(_mm_unpackhi_epi8(source, zero), _mm_unpackhi_epi8(dest, zero)));
    }

    // The rest of shade with the alpha test or the blend on: a lane the
    // alpha test drops keeps its depth and colour.
    __attribute__((noinline)) void shade_output(__m128 fi, __m128 fy, const int32_t* depth_at, const int32_t* color_at,
                                                __m128i pass, __m128i z, __m128i stored)
    {
        __m128i fresh = colors(fi, fy);
        if (alpha_test_) {
            pass = _mm_and_si128(pass, alpha_pass(fresh));
            if (_mm_movemask_epi8(pass) == 0) {
                return;
            }
            if (depth_test_ && depth_write_) {
                store_depths(depth_, depth_at, select(pass, z, stored));
            }
        }
        if (!color_write_) {
            return;
        }
        const __m128i dest = load_colors(color_, color_at);
        if (blend_) {
            fresh = blend_colors(fresh, dest);
        }
        store_colors(color_, color_at, select(pass, _mm_or_si128(fresh, load(lanes_.color_set_bits)), dest));
    }

    // ---- Eight lanes: pixels 0 to 3 of a group in the low half of every
    // register, 4 to 7 in the high half.

    LANES_AVX2 void shade_wide_queue(int count)
    {
        set_depth_plane();
        for (int at = 0; at < count; at += 8) {
            shade_wide(at);
        }
    }

    LANES_AVX2 static __m256i twice(const void* lanes)
    {
        return _mm256_broadcastsi128_si256(_mm_load_si128(static_cast<const __m128i*>(lanes)));
    }

    LANES_AVX2 static __m256i halves(__m128i low, __m128i high) { return _mm256_set_m128i(high, low); }

    LANES_AVX2 static __m256i wide_select(__m256i mask, __m256i a, __m256i b)
    {
        return _mm256_or_si256(_mm256_and_si256(mask, a), _mm256_andnot_si256(mask, b));
    }

    LANES_AVX2 __m256 wide_plane(int a, __m256 fi, __m256 fy) const
    {
        return _mm256_add_ps(
            _mm256_add_ps(_mm256_broadcast_ss(origin(a)), _mm256_mul_ps(_mm256_broadcast_ss(dy(a)), fy)),
            _mm256_mul_ps(_mm256_broadcast_ss(dx(a)), fi));
    }

    LANES_AVX2 static __m256i wide_floor(__m256 v)
    {
        const __m256i t = _mm256_cvttps_epi32(v);
        return _mm256_add_epi32(t, _mm256_castps_si256(_mm256_cmp_ps(v, _mm256_cvtepi32_ps(t), _CMP_LT_OS)));
    }

    LANES_AVX2 static __m256i wide_clamp(__m256i v)
    {
        return _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), _mm256_set1_epi16(255));
    }

    // lanes::multiply in eight lanes.
    LANES_AVX2 static __m256i wide_multiply(__m256i a, __m256i b)
    {
        const __m256i p = _mm256_add_epi16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(128));
        return _mm256_srli_epi16(_mm256_add_epi16(p, _mm256_srli_epi16(p, 8)), 8);
    }

    // The bilinear blend of texture_lanes on 16-bit channels: the two
    // columns down first, then across.
    LANES_AVX2 static __m256i wide_bilinear(__m256i top_left, __m256i top_right, __m256i bottom_left,
                                            __m256i bottom_right, __m256i fx, __m256i fy)
    {
        const __m256i full = _mm256_set1_epi16(256);
        const __m256i rest_y = _mm256_sub_epi16(full, fy);
        const __m256i left = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(top_left, rest_y), _mm256_mullo_epi16(bottom_left, fy)), 8);
        const __m256i right = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(top_right, rest_y), _mm256_mullo_epi16(bottom_right, fy)), 8);
        return _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(left, _mm256_sub_epi16(full, fx)), _mm256_mullo_epi16(right, fx)), 8);
    }

    // bilinear_corners in eight lanes. Where no lane's right column wraps
    // to the first, each lane's left and right texel are one 64-bit load,
    // as in four lanes: sixteen loads take less time than four gathers of
    // four pairs (about 2% of the hill's frame).
    LANES_AVX2 static void wide_corners(const int* texels, __m256i x0, __m256i row0, __m256i row1, __m256i width_mask,
                                        __m256i corners[4])
    {
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(x0, width_mask)) == 0) {
            alignas(32) uint32_t at[2][8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(at[0]), _mm256_add_epi32(row0, x0));
            _mm256_store_si256(reinterpret_cast<__m256i*>(at[1]), _mm256_add_epi32(row1, x0));
            const auto* from = reinterpret_cast<const uint32_t*>(texels);
            for (int row = 0; row < 2; ++row) {
                __m128i left[2], right[2];
                texel_pairs(from, at[row], &left[0], &right[0]);
                texel_pairs(from, at[row] + 4, &left[1], &right[1]);
                corners[2 * row] = halves(left[0], left[1]);
                corners[2 * row + 1] = halves(right[0], right[1]);
            }
            return;
        }
        const __m256i x1 = _mm256_and_si256(_mm256_add_epi32(x0, _mm256_set1_epi32(1)), width_mask);
        corners[0] = _mm256_i32gather_epi32(texels, _mm256_add_epi32(row0, x0), 4);
        corners[1] = _mm256_i32gather_epi32(texels, _mm256_add_epi32(row0, x1), 4);
        corners[2] = _mm256_i32gather_epi32(texels, _mm256_add_epi32(row1, x0), 4);
        corners[3] = _mm256_i32gather_epi32(texels, _mm256_add_epi32(row1, x1), 4);
    }

    // texture_lanes in eight lanes, each texel one lane of a gather.
    LANES_AVX2 void wide_texture(__m256 fi, __m256 fy, __m256i* low, __m256i* high) const
    {
        const __m256 w = _mm256_div_ps(_mm256_set1_ps(1.0f), wide_plane(kInvW, fi, fy));
        const __m256 half = _mm256_set1_ps(F == Fetch::FastBilinear ? 128.0f : 0.0f);
        const __m256i tx = wide_floor(_mm256_sub_ps(
            _mm256_mul_ps(_mm256_mul_ps(wide_plane(kUW, fi, fy), w), _mm256_set1_ps(lanes_.scale_u[0])), half));
        const __m256i ty = wide_floor(_mm256_sub_ps(
            _mm256_mul_ps(_mm256_mul_ps(wide_plane(kVW, fi, fy), w), _mm256_set1_ps(lanes_.scale_v[0])), half));
        const __m256i width_mask = _mm256_set1_epi32(lanes_.width_mask[0]);
        const __m256i height_mask = _mm256_set1_epi32(lanes_.height_mask[0]);
        const __m128i width_shift = _mm_cvtsi32_si128(lanes_.width_shift);
        const int* texels = reinterpret_cast<const int*>(lanes_.texels);
        const __m256i zero = _mm256_setzero_si256();
        if constexpr (F == Fetch::FastPoint) {
            const __m256i row = _mm256_sll_epi32(_mm256_and_si256(ty, height_mask), width_shift);
            const __m256i texel =
                _mm256_i32gather_epi32(texels, _mm256_add_epi32(row, _mm256_and_si256(tx, width_mask)), 4);
            *low = _mm256_unpacklo_epi8(texel, zero);
            *high = _mm256_unpackhi_epi8(texel, zero);
        } else {
            const __m256i whole_x = _mm256_srai_epi32(tx, 8), whole_y = _mm256_srai_epi32(ty, 8);
            const __m256i one = _mm256_set1_epi32(1);
            const __m256i x0 = _mm256_and_si256(whole_x, width_mask);
            const __m256i row0 = _mm256_sll_epi32(_mm256_and_si256(whole_y, height_mask), width_shift);
            const __m256i row1 =
                _mm256_sll_epi32(_mm256_and_si256(_mm256_add_epi32(whole_y, one), height_mask), width_shift);
            __m256i corners[4];
            wide_corners(texels, x0, row0, row1, width_mask, corners);
            const __m256i byte = _mm256_set1_epi32(255);
            const __m256i fractions = _mm256_packs_epi32(_mm256_and_si256(tx, byte), _mm256_and_si256(ty, byte));
            const __m256i across = _mm256_unpacklo_epi16(fractions, fractions);
            const __m256i down = _mm256_unpackhi_epi16(fractions, fractions);
            *low = wide_bilinear(_mm256_unpacklo_epi8(corners[0], zero), _mm256_unpacklo_epi8(corners[1], zero),
                                 _mm256_unpacklo_epi8(corners[2], zero), _mm256_unpacklo_epi8(corners[3], zero),
                                 _mm256_unpacklo_epi32(across, across), _mm256_unpacklo_epi32(down, down));
            *high = wide_bilinear(_mm256_unpackhi_epi8(corners[0], zero), _mm256_unpackhi_epi8(corners[1], zero),
                                  _mm256_unpackhi_epi8(corners[2], zero), _mm256_unpackhi_epi8(corners[3], zero),
                                  _mm256_unpackhi_epi32(across, across), _mm256_unpackhi_epi32(down, down));
        }
    }

    // colors in eight lanes.
    LANES_AVX2 __m256i wide_colors(__m256 fi, __m256 fy) const
    {
        const __m256 alpha = keep_alpha_ ? wide_plane(kAlpha, fi, fy) : _mm256_setzero_ps();
        const __m256i bg = _mm256_packs_epi32(_mm256_cvtps_epi32(wide_plane(kBlue, fi, fy)),
                                              _mm256_cvtps_epi32(wide_plane(kGreen, fi, fy)));
        const __m256i ra = _mm256_packs_epi32(_mm256_cvtps_epi32(wide_plane(kRed, fi, fy)), _mm256_cvtps_epi32(alpha));
        const __m256i br = _mm256_unpacklo_epi16(bg, ra);
        const __m256i ga = _mm256_unpackhi_epi16(bg, ra);
        __m256i low = wide_clamp(_mm256_unpacklo_epi16(br, ga));
        __m256i high = wide_clamp(_mm256_unpackhi_epi16(br, ga));
        if constexpr (!kNeedsTexture) {
            const __m256i packed = _mm256_packus_epi16(low, high);
            return B == Blend::ModulateTextureAlpha ? _mm256_or_si256(packed, _mm256_set1_epi32(int(0xFF000000u)))
                                                    : packed;
        } else {
            __m256i texture_low, texture_high;
            wide_texture(fi, fy, &texture_low, &texture_high);
            const __m256i alpha_lanes = _mm256_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0);
            if constexpr (B == Blend::DiffuseModulateAlpha) {
                low = wide_select(alpha_lanes, wide_multiply(texture_low, low), low);
                high = wide_select(alpha_lanes, wide_multiply(texture_high, high), high);
                return _mm256_packus_epi16(low, high);
            }
            low = wide_multiply(texture_low, low);
            high = wide_multiply(texture_high, high);
            if constexpr (B == Blend::ModulateTextureAlpha) {
                low = wide_select(alpha_lanes, texture_low, low);
                high = wide_select(alpha_lanes, texture_high, high);
            }
            return _mm256_packus_epi16(low, high);
        }
    }

    // shade in eight lanes.
    LANES_AVX2 void shade_wide(int at)
    {
        const __m256i place = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(place_ + at));
        const __m256 fi = _mm256_cvtepi32_ps(_mm256_and_si256(place, _mm256_set1_epi32(0xFFFF)));
        const __m256 fy = _mm256_cvtepi32_ps(_mm256_srli_epi32(place, 16));
        alignas(32) int32_t depth_at[8], color_at[8];
        const __m256i depth_offsets = _mm256_madd_epi16(place, twice(lanes_.depth_stride));
        _mm256_store_si256(reinterpret_cast<__m256i*>(depth_at), depth_offsets);
        _mm256_store_si256(reinterpret_cast<__m256i*>(color_at), _mm256_madd_epi16(place, twice(lanes_.color_stride)));
        __m256i pass = _mm256_set1_epi32(-1), z = _mm256_setzero_si256(), stored = _mm256_setzero_si256();
        if (depth_test_) {
            __m256 scaled =
                _mm256_add_ps(_mm256_mul_ps(wide_plane(kZ, fi, fy), _mm256_set1_ps(65535.0f)), _mm256_set1_ps(0.5f));
            scaled = _mm256_min_ps(_mm256_max_ps(scaled, _mm256_setzero_ps()), _mm256_set1_ps(65535.0f));
            z = _mm256_cvttps_epi32(scaled);
            // Each depth with the one after it, in one gather, where no
            // lane is the last of a row.
            stored = gather_depths_
                ? _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(depth_), depth_offsets, 2),
                                   _mm256_set1_epi32(0xFFFF))
                : halves(load_depths(depth_, depth_at), load_depths(depth_, depth_at + 4));
            pass = lanes_.less_equal
                ? _mm256_xor_si256(_mm256_cmpgt_epi32(z, stored), _mm256_set1_epi32(-1))
                : _mm256_or_si256(
                      _mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi32(stored, z), twice(lanes_.accept[0])),
                                      _mm256_and_si256(_mm256_cmpeq_epi32(z, stored), twice(lanes_.accept[1]))),
                      _mm256_and_si256(_mm256_cmpgt_epi32(z, stored), twice(lanes_.accept[2])));
            if (_mm256_movemask_epi8(pass) == 0) {
                return;
            }
            if (planes_set_ != kAllPlanes) {
                set_other_planes();
            }
            if (depth_write_ && !alpha_test_) {
                wide_store_depths(depth_at, wide_select(pass, z, stored));
            }
        }
        if (alpha_test_ || blend_) {
            wide_shade_output(fi, fy, depth_at, color_at, pass, z, stored);
            return;
        }
        if (!color_write_) {
            return;
        }
        const __m256i fresh = _mm256_or_si256(wide_colors(fi, fy), twice(lanes_.color_set_bits));
        // Mostly every lane passes, and nothing need be read back.
        const __m256i kept = _mm256_movemask_epi8(pass) == -1
            ? fresh
            : wide_select(pass, fresh, halves(load_colors(color_, color_at), load_colors(color_, color_at + 4)));
        store_colors(color_, color_at, _mm256_castsi256_si128(kept));
        store_colors(color_, color_at + 4, _mm256_extracti128_si256(kept, 1));
    }

    LANES_AVX2 void wide_store_depths(const int32_t* depth_at, __m256i values) const
    {
        store_depths(depth_, depth_at, _mm256_castsi256_si128(values));
        store_depths(depth_, depth_at + 4, _mm256_extracti128_si256(values, 1));
    }

    // alpha_pass in eight lanes.
    LANES_AVX2 __m256i wide_alpha_pass(__m256i colors) const
    {
        const __m256i alpha = _mm256_srli_epi32(colors, 24), ref = twice(lanes_.alpha_ref);
        return _mm256_or_si256(
            _mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi32(ref, alpha), twice(lanes_.alpha_accept[0])),
                            _mm256_and_si256(_mm256_cmpeq_epi32(alpha, ref), twice(lanes_.alpha_accept[1]))),
            _mm256_and_si256(_mm256_cmpgt_epi32(alpha, ref), twice(lanes_.alpha_accept[2])));
    }

    // blend_colors in eight lanes.
    LANES_AVX2 __m256i wide_blend_colors(__m256i source, __m256i dest) const
    {
        const __m256i zero = _mm256_setzero_si256();
        auto half = [&](__m256i s, __m256i d) LANES_AVX2 {
            const __m256i alpha =
                _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
            const __m256i sf =
                _mm256_xor_si256(_mm256_and_si256(alpha, twice(lanes_.source_alpha)), twice(lanes_.source_flip));
            const __m256i df =
                _mm256_xor_si256(_mm256_and_si256(alpha, twice(lanes_.dest_alpha)), twice(lanes_.dest_flip));
            return _mm256_adds_epu16(wide_multiply(s, sf), wide_multiply(d, df));
        };
        return _mm256_packus_epi16(half(_mm256_unpacklo_epi8(source, zero), _mm256_unpacklo_epi8(dest, zero)),
                                   half(_mm256_unpackhi_epi8(source, zero), _mm256_unpackhi_epi8(dest, zero)));
    }

    // shade_output in eight lanes.
    LANES_AVX2 __attribute__((noinline)) void wide_shade_output(__m256 fi, __m256 fy, const int32_t* depth_at,
                                                                const int32_t* color_at, __m256i pass, __m256i z,
                                                                __m256i stored)
    {
        __m256i fresh = wide_colors(fi, fy);
        if (alpha_test_) {
            pass = _mm256_and_si256(pass, wide_alpha_pass(fresh));
            if (_mm256_movemask_epi8(pass) == 0) {
                return;
            }
            if (depth_test_ && depth_write_) {
                wide_store_depths(depth_at, wide_select(pass, z, stored));
            }
        }
        if (!color_write_) {
            return;
        }
        const __m256i dest = halves(load_colors(color_, color_at), load_colors(color_, color_at + 4));
        if (blend_) {
            fresh = wide_blend_colors(fresh, dest);
        }
        const __m256i kept = wide_select(pass, _mm256_or_si256(fresh, twice(lanes_.color_set_bits)), dest);
        store_colors(color_, color_at, _mm256_castsi256_si128(kept));
        store_colors(color_, color_at + 4, _mm256_extracti128_si256(kept, 1));
    }

    const TriangleSetup& triangle_;
    const LaneConstants& lanes_;
    uint32_t* color_; // at the triangle's corner
    uint16_t* depth_;
    bool depth_test_, depth_write_, color_write_, flat_, keep_alpha_, alpha_test_, blend_;
    bool gather_depths_;
    enum PlanesSet { kNoPlanes, kDepthPlane, kAllPlanes } planes_set_ = kNoPlanes;
    Planes planes_;
    // Queued pixels, as row and column from the triangle's corner (16 bits
    // each); room for the four places a row writes past its end, and
    // repeats of the last pixel to fill the last group.
    int queued_ = 0;
    int32_t place_[kQueue + kPiece + 8];
};

} // namespace pixel_loops

#endif
