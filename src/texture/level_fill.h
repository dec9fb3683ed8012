// The pieces behind load_surface_from_image and generate_mip_levels: a
// level to read (a decoded image's region or a locked texture level), a
// locked level to write, and the ways of filling one from the other.
#pragma once

#include <cstddef>
#include <new>
#include <stdexcept>
#include <vector>

#include "texture/pixel_codecs.h"

// Pixels to read: the part of an image or level that fills the target.
struct LevelSource {
    const PixelCodec* codec;
    PixelSource pixels;  // the image's top-left pixel; palette as floats where needed
    const BYTE* palette; // the palette's bytes, or null
    UINT left, top;      // the region's top-left pixel
    UINT width, height;  // the region's size
    D3DCOLOR color_key;  // 0: none
};

// A locked level to write, whole.
struct LevelTarget {
    const PixelCodec* codec;
    BYTE* bits;
    size_t pitch;
    UINT width, height;
};

// Grows `v` to `count` elements; false when the memory cannot be had.
template <class T>
bool try_resize(std::vector<T>& v, size_t count)
{
    try {
        v.resize(count);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Decodes rows of the source's region into floats, the colour key applied.
void decode_source(const LevelSource& source, UINT x0, UINT y0, UINT width, UINT rows, float* out);

// Encodes the rows of a target one after another, top row first: limits the
// channels first when asked (0..1, signed formats -1..1), then quantises
// with the filter word's dither (ordered or error diffusion) or plain
// rounding, gathering four rows for compressed formats.
class LevelWriter {
public:
    // `rounding` replaces the plain rounding offsets when no dither is asked.
    HRESULT start(const LevelTarget& target, DWORD filter, bool limit_channels, const float* rounding = kPlainRounding);
    // The next row: target.width pixels of 4 floats. The row may be changed.
    void put(float* row);
    // Encodes a partly gathered block row.
    void finish();

private:
    void diffuse(float* row);
    void encode(const float* rows, UINT count);

    LevelTarget target_{};
    const float* dither_ = kPlainRounding;
    bool limit_ = false;
    bool diffusion_ = false;
    float lower_ = 0.0f;
    UINT next_row_ = 0;
    UINT gathered_ = 0;
    std::vector<float> block_rows_;
    std::vector<float> error_this_, error_next_; // diffusion: one pixel of margin each side
    float step_scale_[4] = {};
    float step_lower_[4] = {};
};

// Writes the whole target top row first: make_row(y, row) fills each row
// (target.width pixels of 4 floats) before it is encoded.
template <class MakeRow>
HRESULT write_rows(const LevelTarget& target, DWORD filter, MakeRow&& make_row, const float* rounding = kPlainRounding)
{
    LevelWriter writer;
    std::vector<float> row;
    const HRESULT hr = writer.start(target, filter, false, rounding);
    if (FAILED(hr)) {
        return hr;
    }
    if (!try_resize(row, size_t(target.width) * 4)) {
        return E_OUTOFMEMORY;
    }
    for (UINT y = 0; y < target.height; ++y) {
        make_row(y, row.data());
        writer.put(row.data());
    }
    writer.finish();
    return S_OK;
}

// Triangle resampling of the whole source into the whole target.
HRESULT resample_triangle(const LevelSource& source, const LevelTarget& target, DWORD filter);

// The 2 x 2 box filter into a target half the source's size (a dimension
// of 1 stays 1). Uses the integer path where it applies and
// `allow_integer` is set; otherwise decodes, averages and encodes.
HRESULT box_filter_half(const LevelSource& source, const LevelTarget& target, DWORD filter, bool allow_integer);

// True when the target is the box filter's half of the source.
bool is_half_size(UINT source_width, UINT source_height, UINT target_width, UINT target_height);

// Fills the target from the source the first way that applies: byte copy,
// same-size conversion, a simple filter, triangle resampling.
HRESULT fill_level(const LevelSource& source, const LevelTarget& target, DWORD filter);

// True for a filter word load_surface_from_image and generate_mip_levels accept.
bool valid_filter(DWORD filter);
