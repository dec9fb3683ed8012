// Triangle resampling: separable, through the weight lists of the two axes.
//
// The source is read in row order, segment by segment of the row list. For
// each segment the decoded rows are summed (a run shares one weight), the
// sum is resampled across into a target-wide row, and that row is added,
// times each row tap's weight, into the target rows it reaches. A target
// row is encoded as soon as no later segment reaches it, and its memory
// goes back to a free list, so only the rows in reach are held. Wrapped
// contributions are the exception to the order: the last source row's share
// of the top target rows is added first and the first row's share of the
// bottom rows last, so rows are still finished from the top down.
#include "texture/triangle_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#include "texture/float4.h"
#include "texture/level_fill.h"
#include "texture/texture_fill.h"

namespace {

// The pieces of one source pixel's tent, merged by unwrapped target index
// (pieces arrive in increasing order, so equal indexes are neighbours).
class TentPieces {
public:
    TentPieces(UINT source_size, UINT target_size, bool clamp)
        : source_size_(source_size), target_size_(target_size), clamp_(clamp), scale_(double(target_size) / source_size)
    {
    }

    double scale() const { return scale_; }

    template <class Emit>
    void pieces(UINT i, Emit&& emit) const
    {
        const double start = (i - 0.5) * scale_, middle = (i + 0.5) * scale_, end = (i + 1.5) * scale_;
        int64_t held = INT64_MIN;
        double weight = 0.0;
        const auto add = [&](int64_t j, double w) {
            if (j != held && held != INT64_MIN) {
                emit(held, weight);
                weight = 0.0;
            }
            held = j;
            weight += w;
        };
        // Rising half, then falling half.
        half(start, middle, start, middle, true, clamp_ && i == 0, add);
        half(middle, end, middle, end, false, clamp_ && i + 1 == source_size_, add);
        if (held != INT64_MIN) {
            emit(held, weight);
        }
    }

private:
    template <class Add>
    void half(double lo, double hi, double from, double to, bool rising, bool flat, Add& add) const
    {
        if (clamp_) {
            lo = std::max(lo, 0.0);
            hi = std::min(hi, double(target_size_));
        }
        const double length = to - from;
        for (double t = lo; t < hi;) {
            const double j = std::floor(t);
            const double stop = std::min(hi, j + 1.0);
            const double at = 0.5 * (t + stop);
            const double height = flat ? 1.0 : rising ? (at - from) / length : (to - at) / length;
            add(static_cast<int64_t>(j), height * (stop - t));
            t = stop;
        }
    }

    UINT source_size_, target_size_;
    bool clamp_;
    double scale_;
};

} // namespace

bool build_axis_weights(UINT source_size, UINT target_size, bool clamp, AxisWeights* out)
{
    out->segments.clear();
    out->taps.clear();
    const TentPieces tent(source_size, target_size, clamp);
    const double b = tent.scale();
    const double cut = std::min(0.00001, b * 0.01);
    const int64_t size = target_size;
    try {
        for (UINT i = 0; i < source_size;) {
            const double start = (i - 0.5) * b, end = (i + 1.5) * b;
            const double j = std::floor(start);
            const UINT tap_begin = static_cast<UINT>(out->taps.size());
            if (i > 0 && i + 1 < source_size && end <= j + 1.0) {
                // Inside one target pixel: find where the run of such pixels ends.
                int64_t last = static_cast<int64_t>(std::floor((j + 1.0) / b - 1.5));
                last = std::clamp<int64_t>(last, i, int64_t(source_size) - 2);
                while (last > i && (last + 1.5) * b > j + 1.0) {
                    --last;
                }
                while (last + 1 <= int64_t(source_size) - 2 && (last + 2.5) * b <= j + 1.0) {
                    ++last;
                }
                out->taps.push_back(AxisTap{static_cast<UINT>(j), static_cast<float>(b), 0});
                const UINT count = static_cast<UINT>(last - i + 1);
                out->segments.push_back(AxisSegment{i, count, tap_begin, tap_begin + 1});
                i += count;
                continue;
            }
            tent.pieces(i, [&](int64_t index, double weight) {
                if (weight <= cut) {
                    return;
                }
                int8_t wrap = 0;
                while (index < 0) {
                    index += size;
                    wrap = -1;
                }
                while (index >= size) {
                    index -= size;
                    wrap = 1;
                }
                out->taps.push_back(AxisTap{static_cast<UINT>(index), static_cast<float>(weight), wrap});
            });
            out->segments.push_back(AxisSegment{i, 1, tap_begin, static_cast<UINT>(out->taps.size())});
            ++i;
        }
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

namespace {

// Decoded pixels handled at once: small enough to stay in the first-level cache.
constexpr UINT kChunkPixels = 2048;

// Rows at least this many source pixels wide (rows of a run counted
// together) are resampled across in two halves on two threads. Each half
// always starts at the same column and the halves are added in a fixed
// order, so the result does not depend on the threads' timing.
constexpr uint64_t kSplitPixels = uint64_t(1) << 20;

// One half's scratch: decoded pixels, their sums over a run of rows, and
// its share of the row resampled across.
struct Lane {
    std::vector<float> decoded, sums, across;
};

class TriangleResampler {
public:
    TriangleResampler(const LevelSource& source, const LevelTarget& target) : source_(source), target_(target) {}

    HRESULT run(DWORD filter);

private:
    HRESULT prepare(DWORD filter);
    bool prepare_lane(Lane& lane);
    const float* column_sums(Lane& lane, UINT x0, UINT width, UINT first_row, UINT rows);
    void resample_across(Lane& lane, const float* sums, UINT x0, UINT width, size_t* segment);
    void resample_span(Lane& lane, UINT x0, UINT x1, UINT first_row, UINT rows);
    const float* resample_rows(UINT first_row, UINT rows);
    HRESULT add_segment(const AxisSegment& segment, int wrap);
    float* live_row(UINT index);
    void finish_rows(UINT limit);

    const LevelSource& source_;
    const LevelTarget& target_;
    AxisWeights columns_, rows_;
    std::vector<UINT> reach_; // lowest target row the segments from s on reach without wrapping
    UINT bottom_reach_ = 0;   // lowest target row reached by wrapping from below 0
    Lane lanes_[2];
    UINT split_ = 0;           // first column of the second lane, 0: one lane
    size_t split_segment_ = 0; // the column segment holding that column
    std::vector<float> blank_;
    std::vector<float*> live_;
    std::vector<std::vector<float>> pool_;
    std::vector<float*> free_;
    LevelWriter writer_;
    UINT next_finish_ = 0;
    bool out_of_memory_ = false;
};

HRESULT TriangleResampler::prepare(DWORD filter)
{
    if (!build_axis_weights(source_.width, target_.width, filter & TEXTURE_FILTER_CLAMP_U, &columns_) ||
        !build_axis_weights(source_.height, target_.height, filter & TEXTURE_FILTER_CLAMP_V, &rows_) ||
        !try_resize(reach_, rows_.segments.size() + 1)) {
        return E_FAIL;
    }
    const UINT none = target_.height;
    reach_.back() = none;
    bottom_reach_ = none;
    for (size_t s = rows_.segments.size(); s-- > 0;) {
        UINT lowest = reach_[s + 1];
        const AxisSegment& segment = rows_.segments[s];
        for (UINT t = segment.tap_begin; t < segment.tap_end; ++t) {
            const AxisTap& tap = rows_.taps[t];
            if (tap.wrap == 0) {
                lowest = std::min(lowest, tap.target);
            } else if (tap.wrap < 0) {
                bottom_reach_ = std::min(bottom_reach_, tap.target);
            }
        }
        reach_[s] = lowest;
    }
    if (source_.width >= 2 * kChunkPixels) {
        split_ = (source_.width / 2) / kChunkPixels * kChunkPixels;
        const auto& segments = columns_.segments;
        split_segment_ = std::upper_bound(segments.begin(), segments.end(), split_,
                                          [](UINT x, const AxisSegment& s) { return x < s.first; }) -
            segments.begin() - 1;
    }
    if (!prepare_lane(lanes_[0]) || (split_ && !prepare_lane(lanes_[1])) ||
        !try_resize(blank_, size_t(target_.width) * 4) || !try_resize(live_, target_.height)) {
        return E_OUTOFMEMORY;
    }
    return writer_.start(target_, filter, true);
}

bool TriangleResampler::prepare_lane(Lane& lane)
{
    const UINT chunk = std::min(kChunkPixels, source_.width);
    return try_resize(lane.across, size_t(target_.width) * 4) && try_resize(lane.decoded, size_t(kChunkPixels) * 4) &&
        try_resize(lane.sums, size_t(chunk) * 4);
}

// The decoded pixels x0 .. x0 + width - 1 summed over `rows` rows.
const float* TriangleResampler::column_sums(Lane& lane, UINT x0, UINT width, UINT first_row, UINT rows)
{
    if (rows == 1) {
        decode_source(source_, x0, first_row, width, 1, lane.decoded.data());
        return lane.decoded.data();
    }
    const UINT batch = std::max(1u, kChunkPixels / width);
    float* sums = lane.sums.data();
    std::fill(sums, sums + size_t(width) * 4, 0.0f);
    for (UINT y = first_row; y < first_row + rows;) {
        const UINT count = std::min(batch, first_row + rows - y);
        decode_source(source_, x0, y, width, count, lane.decoded.data());
        const float* row = lane.decoded.data();
        if (width == 1) {
            float4 total = load4(sums), other = {0, 0, 0, 0};
            UINT r = 0;
            for (; r + 1 < count; r += 2) {
                total += load4(row + size_t(r) * 4);
                other += load4(row + size_t(r) * 4 + 4);
            }
            if (r < count) {
                total += load4(row + size_t(r) * 4);
            }
            store4(sums, total + other);
        } else {
            for (UINT r = 0; r < count; ++r, row += size_t(width) * 4) {
                for (size_t k = 0; k < size_t(width) * 4; ++k) {
                    sums[k] += row[k];
                }
            }
        }
        y += count;
    }
    return sums;
}

// Adds the chunk's pixels into the lane's row through the column segments,
// starting at segment *segment (which may have begun in an earlier chunk).
void TriangleResampler::resample_across(Lane& lane, const float* sums, UINT x0, UINT width, size_t* segment)
{
    float* across = lane.across.data();
    const AxisSegment* segments = columns_.segments.data();
    const AxisTap* taps = columns_.taps.data();
    for (UINT x = x0; x < x0 + width;) {
        const AxisSegment& s = segments[*segment];
        const UINT stop = std::min(s.first + s.count, x0 + width);
        const float* p = sums + size_t(x - x0) * 4;
        float4 total = load4(p);
        if (stop - x > 1) {
            float4 other = {0, 0, 0, 0};
            UINT k = 1;
            for (; k + 1 < stop - x; k += 2) {
                other += load4(p + size_t(k) * 4);
                total += load4(p + size_t(k) * 4 + 4);
            }
            if (k < stop - x) {
                other += load4(p + size_t(k) * 4);
            }
            total += other;
        }
        for (UINT t = s.tap_begin; t < s.tap_end; ++t) {
            float* out = across + size_t(taps[t].target) * 4;
            store4(out, load4(out) + total * taps[t].weight);
        }
        x = stop;
        if (stop == s.first + s.count) {
            ++*segment;
        }
    }
}

// Columns x0 .. x1 - 1 of the sum of rows first_row .. first_row + rows - 1,
// resampled across into the lane's row.
void TriangleResampler::resample_span(Lane& lane, UINT x0, UINT x1, UINT first_row, UINT rows)
{
    std::fill(lane.across.begin(), lane.across.end(), 0.0f);
    size_t segment = x0 == 0 ? 0 : split_segment_;
    for (UINT x = x0; x < x1; x += kChunkPixels) {
        const UINT width = std::min(kChunkPixels, x1 - x);
        resample_across(lane, column_sums(lane, x, width, first_row, rows), x, width, &segment);
    }
}

// The sum of source rows first_row .. first_row + rows - 1, resampled across.
const float* TriangleResampler::resample_rows(UINT first_row, UINT rows)
{
    const UINT width = source_.width;
    if (split_ && uint64_t(width) * rows >= kSplitPixels) {
        try {
            std::thread second([&] { resample_span(lanes_[1], split_, width, first_row, rows); });
            resample_span(lanes_[0], 0, split_, first_row, rows);
            second.join();
            float* across = lanes_[0].across.data();
            const float* other = lanes_[1].across.data();
            for (size_t k = 0; k < lanes_[0].across.size(); ++k) {
                across[k] += other[k];
            }
            return across;
        } catch (const std::system_error&) {
            // No second thread to be had: one lane does it all.
        }
    }
    resample_span(lanes_[0], 0, width, first_row, rows);
    return lanes_[0].across.data();
}

float* TriangleResampler::live_row(UINT index)
{
    if (live_[index]) {
        return live_[index];
    }
    float* row;
    if (!free_.empty()) {
        row = free_.back();
        free_.pop_back();
    } else {
        try {
            pool_.emplace_back(size_t(target_.width) * 4);
        } catch (const std::bad_alloc&) {
            out_of_memory_ = true;
            return nullptr;
        }
        row = pool_.back().data();
    }
    std::fill(row, row + size_t(target_.width) * 4, 0.0f);
    live_[index] = row;
    return row;
}

// Adds the segment's rows into the target rows its taps of one wrap kind reach.
HRESULT TriangleResampler::add_segment(const AxisSegment& segment, int wrap)
{
    bool any = false;
    for (UINT t = segment.tap_begin; t < segment.tap_end && !any; ++t) {
        any = rows_.taps[t].wrap == wrap;
    }
    if (!any) {
        return S_OK;
    }
    const float* across = resample_rows(segment.first, segment.count);
    const size_t floats = size_t(target_.width) * 4;
    for (UINT t = segment.tap_begin; t < segment.tap_end; ++t) {
        const AxisTap& tap = rows_.taps[t];
        if (tap.wrap != wrap || tap.target < next_finish_) {
            continue;
        }
        float* row = live_row(tap.target);
        if (!row) {
            return E_OUTOFMEMORY;
        }
        const float weight = tap.weight;
        for (size_t k = 0; k < floats; ++k) {
            row[k] += across[k] * weight;
        }
    }
    return S_OK;
}

// Encodes the target rows above `limit` not yet encoded, in order.
void TriangleResampler::finish_rows(UINT limit)
{
    for (; next_finish_ < limit; ++next_finish_) {
        float* row = live_[next_finish_];
        if (row) {
            writer_.put(row);
            free_.push_back(row);
            live_[next_finish_] = nullptr;
        } else {
            std::fill(blank_.begin(), blank_.end(), 0.0f);
            writer_.put(blank_.data());
        }
    }
}

HRESULT TriangleResampler::run(DWORD filter)
{
    HRESULT hr = prepare(filter);
    if (FAILED(hr)) {
        return hr;
    }
    const std::vector<AxisSegment>& segments = rows_.segments;
    for (const AxisSegment& segment : segments) {
        if (FAILED(hr = add_segment(segment, 1))) {
            return hr;
        }
    }
    for (size_t s = 0; s < segments.size(); ++s) {
        if (FAILED(hr = add_segment(segments[s], 0))) {
            return hr;
        }
        finish_rows(std::min(reach_[s + 1], bottom_reach_));
    }
    for (const AxisSegment& segment : segments) {
        if (FAILED(hr = add_segment(segment, -1))) {
            return hr;
        }
    }
    finish_rows(target_.height);
    writer_.finish();
    return S_OK;
}

} // namespace

HRESULT resample_triangle(const LevelSource& source, const LevelTarget& target, DWORD filter)
{
    TriangleResampler resampler(source, target);
    return resampler.run(filter);
}
