// load_surface_from_image and the shared fill machinery: reading the
// source's rows, writing the target's rows, and the ways a level is filled.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "texture/level_fill.h"
#include "texture/texture_fill.h"

namespace {

float limit(float x, float lo, float hi)
{
    x = x > lo ? x : lo; // NaN becomes lo
    return x < hi ? x : hi;
}

// A decoded pixel whose 8-bit rounding equals the key becomes transparent black.
void apply_color_key(float* pixels, size_t count, D3DCOLOR key)
{
    const unsigned want[4] = {(key >> 16) & 0xFF, (key >> 8) & 0xFF, key & 0xFF, key >> 24};
    for (size_t i = 0; i < count; ++i, pixels += 4) {
        bool equal = true;
        for (int c = 0; c < 4 && equal; ++c) {
            equal = static_cast<unsigned>(limit(pixels[c], 0.0f, 1.0f) * 255.0f + 0.5f) == want[c];
        }
        if (equal) {
            std::memset(pixels, 0, 16);
        }
    }
}

// Way 1: the rows (block rows) byte for byte.
void copy_rows(const LevelSource& source, const LevelTarget& target)
{
    const PixelCodec& codec = *source.codec;
    const size_t row_bytes = codec_row_bytes(codec, target.width);
    const BYTE* from = source.pixels.bits + size_t(source.top / codec.unit_height) * source.pixels.pitch +
        size_t(source.left / codec.unit_width) * codec.unit_bytes;
    for (UINT y = 0; y < codec_row_count(codec, target.height); ++y) {
        std::memcpy(target.bits + size_t(y) * target.pitch, from + size_t(y) * source.pixels.pitch, row_bytes);
    }
}

bool can_copy(const LevelSource& source, const LevelTarget& target)
{
    const PixelCodec& codec = *source.codec;
    return source.codec == target.codec && source.width == target.width && source.height == target.height &&
        source.color_key == 0 && source.palette == nullptr && source.left % codec.unit_width == 0 &&
        source.top % codec.unit_height == 0;
}

// Way 2: each row decoded and encoded again.
HRESULT convert_rows(const LevelSource& source, const LevelTarget& target, DWORD filter)
{
    return write_rows(target, filter, [&](UINT y, float* row) { decode_source(source, 0, y, target.width, 1, row); });
}

// Filter 1: the image at the top left of the level, unscaled; what it does
// not cover is transparent black.
HRESULT filter_none(const LevelSource& source, const LevelTarget& target, DWORD filter)
{
    const UINT covered = std::min(source.width, target.width);
    return write_rows(target, filter, [&](UINT y, float* row) {
        std::fill(row, row + size_t(target.width) * 4, 0.0f);
        if (y < source.height) {
            decode_source(source, 0, y, covered, 1, row);
        }
    });
}

// The source pixel nearest to the middle of target pixel `i` of `size`.
UINT nearest(UINT i, UINT size, UINT source_size)
{
    return static_cast<UINT>((2 * uint64_t(i) + 1) * source_size / (2 * uint64_t(size)));
}

// Filter 2: each target pixel takes the source pixel under its middle.
HRESULT filter_point(const LevelSource& source, const LevelTarget& target, DWORD filter)
{
    std::vector<float> line;
    if (!try_resize(line, size_t(source.width) * 4)) {
        return E_OUTOFMEMORY;
    }
    UINT decoded = ~0u;
    return write_rows(target, filter, [&](UINT y, float* row) {
        const UINT sy = nearest(y, target.height, source.height);
        if (sy != decoded) {
            decode_source(source, 0, sy, source.width, 1, line.data());
            decoded = sy;
        }
        for (UINT x = 0; x < target.width; ++x) {
            std::memcpy(row + size_t(x) * 4, &line[size_t(nearest(x, target.width, source.width)) * 4], 16);
        }
    });
}

// Where target pixel i's middle falls between two source pixels: the two
// pixels (wrapped around, or held at the edge when `clamp`) and the weight
// of the second.
struct LinearTap {
    UINT first, second;
    float weight;
};

LinearTap linear_tap(UINT i, UINT size, UINT source_size, bool clamp)
{
    const double u = (i + 0.5) * double(source_size) / size - 0.5;
    const double base = std::floor(u);
    const int64_t n = source_size;
    int64_t a = static_cast<int64_t>(base), b = a + 1;
    if (clamp) {
        a = std::clamp<int64_t>(a, 0, n - 1);
        b = std::clamp<int64_t>(b, 0, n - 1);
    } else {
        a = ((a % n) + n) % n;
        b = ((b % n) + n) % n;
    }
    return LinearTap{static_cast<UINT>(a), static_cast<UINT>(b), static_cast<float>(u - base)};
}

// Filter kind 3: bilinear interpolation between the four nearest pixels.
HRESULT filter_linear(const LevelSource& source, const LevelTarget& target, DWORD filter)
{
    std::vector<float> upper, lower;
    std::vector<LinearTap> columns;
    if (!try_resize(upper, size_t(source.width) * 4) || !try_resize(lower, size_t(source.width) * 4) ||
        !try_resize(columns, target.width)) {
        return E_OUTOFMEMORY;
    }
    for (UINT x = 0; x < target.width; ++x) {
        columns[x] = linear_tap(x, target.width, source.width, filter & TEXTURE_FILTER_CLAMP_U);
    }
    UINT have_upper = ~0u, have_lower = ~0u;
    return write_rows(target, filter, [&](UINT y, float* row) {
        const LinearTap t = linear_tap(y, target.height, source.height, filter & TEXTURE_FILTER_CLAMP_V);
        if (t.first != have_upper) {
            decode_source(source, 0, t.first, source.width, 1, upper.data());
            have_upper = t.first;
        }
        if (t.second != have_lower) {
            decode_source(source, 0, t.second, source.width, 1, lower.data());
            have_lower = t.second;
        }
        const float* u = upper.data();
        const float* l = lower.data();
        for (UINT x = 0; x < target.width; ++x) {
            const LinearTap& c = columns[x];
            for (size_t ch = 0; ch < 4; ++ch) {
                const size_t a = size_t(c.first) * 4 + ch, b = size_t(c.second) * 4 + ch;
                const float top = u[a] + c.weight * (u[b] - u[a]);
                const float bottom = l[a] + c.weight * (l[b] - l[a]);
                row[size_t(x) * 4 + ch] = top + t.weight * (bottom - top);
            }
        }
    });
}

bool is_palette(D3DFORMAT format) { return format == D3DFMT_P8 || format == D3DFMT_A8P8; }

// The region of the image's first slice, checked against the image.
bool image_region(const DecodedImage& image, const PixelCodec& codec, LevelSource* out)
{
    const ImageRegion& r = image.region;
    if (!image.pixels || r.left >= r.right || r.top >= r.bottom || r.right > image.width || r.bottom > image.height ||
        r.front >= std::max(r.back, 1u) || image.row_pitch < codec_row_bytes(codec, image.width) ||
        (is_palette(image.format) && !image.palette)) {
        return false;
    }
    out->codec = &codec;
    out->pixels.bits = image.pixels + size_t(r.front) * image.slice_pitch;
    out->pixels.pitch = image.row_pitch;
    out->palette = is_palette(image.format) ? image.palette : nullptr;
    out->left = r.left;
    out->top = r.top;
    out->width = r.right - r.left;
    out->height = r.bottom - r.top;
    return true;
}

// Unlocks the surface when the fill ends, however it ends.
struct SurfaceLock {
    IDirect3DSurface9* surface = nullptr;
    ~SurfaceLock()
    {
        if (surface) {
            surface->UnlockRect();
        }
    }
};

} // namespace

void decode_source(const LevelSource& source, UINT x0, UINT y0, UINT width, UINT rows, float* out)
{
    source.codec->decode(*source.codec, source.pixels, source.left + x0, source.top + y0, width, rows, out);
    if (source.color_key != 0) {
        apply_color_key(out, size_t(width) * rows, source.color_key);
    }
}

HRESULT LevelWriter::start(const LevelTarget& target, DWORD filter, bool limit_channels, const float* rounding)
{
    target_ = target;
    limit_ = limit_channels;
    lower_ = target.codec->signed_range ? -1.0f : 0.0f;
    diffusion_ = (filter & TEXTURE_FILTER_DITHER_DIFFUSION) != 0;
    dither_ = diffusion_ ? kPlainRounding : (filter & TEXTURE_FILTER_DITHER) ? kOrderedDither : rounding;
    next_row_ = 0;
    gathered_ = 0;
    const size_t row_floats = size_t(target.width) * 4;
    if (target.codec->unit_height > 1 && !try_resize(block_rows_, row_floats * target.codec->unit_height)) {
        return E_OUTOFMEMORY;
    }
    if (diffusion_) {
        if (!try_resize(error_this_, row_floats + 8) || !try_resize(error_next_, row_floats + 8)) {
            return E_OUTOFMEMORY;
        }
        for (int c = 0; c < 4; ++c) {
            const int bits = codec_channel_bits(*target.codec, c);
            const int magnitude = bits < 0 ? -bits - 1 : bits;
            step_scale_[c] = bits == 0 ? 0.0f : static_cast<float>((1u << magnitude) - 1);
            step_lower_[c] = bits < 0 ? -step_scale_[c] : 0.0f;
        }
    }
    return S_OK;
}

// Floyd-Steinberg: each channel's quantisation error, in units of its full
// range, goes 7/16 to the next pixel of the row and 3/16, 5/16, 1/16 to the
// three neighbours below; odd rows run right to left. The row is left
// holding the quantised values, which the encoder then reproduces.
void LevelWriter::diffuse(float* row)
{
    const UINT width = target_.width;
    const UINT y = next_row_ + gathered_;
    const bool backwards = y & 1;
    const int step = backwards ? -1 : 1;
    std::fill(error_next_.begin(), error_next_.end(), 0.0f);
    for (UINT i = 0; i < width; ++i) {
        const UINT x = backwards ? width - 1 - i : i;
        const size_t at = size_t(x + 1) * 4; // error rows have a pixel of margin each side
        for (int c = 0; c < 4; ++c) {
            const float scale = step_scale_[c];
            if (scale == 0.0f) {
                continue;
            }
            const float value = row[size_t(x) * 4 + c] + error_this_[at + c];
            const float level = std::floor(limit(value * scale + 0.5f, step_lower_[c], scale));
            const float quantised = level / scale;
            const float error = value - quantised;
            row[size_t(x) * 4 + c] = quantised;
            error_this_[at + step * 4 + c] += error * (7.0f / 16.0f);
            error_next_[at - step * 4 + c] += error * (3.0f / 16.0f);
            error_next_[at + c] += error * (5.0f / 16.0f);
            error_next_[at + step * 4 + c] += error * (1.0f / 16.0f);
        }
    }
    error_this_.swap(error_next_);
}

void LevelWriter::put(float* row)
{
    const size_t floats = size_t(target_.width) * 4;
    if (limit_) {
        for (size_t i = 0; i < floats; ++i) {
            row[i] = limit(row[i], lower_, 1.0f);
        }
    }
    if (diffusion_) {
        diffuse(row);
    }
    if (target_.codec->unit_height == 1) {
        encode(row, 1);
        return;
    }
    std::memcpy(&block_rows_[gathered_ * floats], row, floats * sizeof(float));
    if (++gathered_ == target_.codec->unit_height) {
        encode(block_rows_.data(), gathered_);
        gathered_ = 0;
    }
}

void LevelWriter::finish()
{
    if (gathered_ > 0) {
        encode(block_rows_.data(), gathered_);
        gathered_ = 0;
    }
}

void LevelWriter::encode(const float* rows, UINT count)
{
    const PixelCodec& codec = *target_.codec;
    BYTE* dest = target_.bits + size_t(next_row_ / codec.unit_height) * target_.pitch;
    codec.encode(codec, rows, target_.width, count, dest, target_.pitch, next_row_, dither_);
    next_row_ += count;
}

bool valid_filter(DWORD filter)
{
    const DWORD kind = filter & 0xFFFF;
    return kind >= TEXTURE_FILTER_NONE && kind <= TEXTURE_FILTER_BOX && filter < 0x800000;
}

bool is_half_size(UINT source_width, UINT source_height, UINT target_width, UINT target_height)
{
    return target_width == std::max(1u, source_width / 2) && target_height == std::max(1u, source_height / 2) &&
        (source_width > 1 || source_height > 1);
}

HRESULT fill_level(const LevelSource& source, const LevelTarget& target, DWORD filter)
{
    if (can_copy(source, target)) {
        copy_rows(source, target);
        return S_OK;
    }
    if (source.width == target.width && source.height == target.height) {
        return convert_rows(source, target, filter);
    }
    const DWORD kind = filter & 0xFFFF;
    if (filter == TEXTURE_FILTER_NONE) {
        return filter_none(source, target, filter);
    }
    if (filter == TEXTURE_FILTER_POINT) {
        return filter_point(source, target, filter);
    }
    if (kind == TEXTURE_FILTER_BOX && is_half_size(source.width, source.height, target.width, target.height)) {
        return box_filter_half(source, target, filter, true);
    }
    if (kind == TEXTURE_FILTER_LINEAR) {
        return filter_linear(source, target, filter);
    }
    return resample_triangle(source, target, filter);
}

HRESULT load_surface_from_image(IDirect3DSurface9* surface, const DecodedImage* image, DWORD filter, D3DCOLOR color_key)
{
    if (!surface || !image || !valid_filter(filter)) {
        return D3DERR_INVALIDCALL;
    }
    D3DSURFACE_DESC desc;
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) {
        return hr;
    }
    const PixelCodec* from = find_pixel_codec(image->format);
    const PixelCodec* to = find_pixel_codec(desc.Format);
    if (!from || !to || !to->encode) {
        return E_FAIL;
    }
    LevelSource source{};
    if (!image_region(*image, *from, &source) || desc.Width == 0 || desc.Height == 0) {
        return D3DERR_INVALIDCALL;
    }
    source.color_key = color_key;
    float palette[1024];
    if (source.palette) {
        decode_palette(source.palette, palette);
        source.pixels.palette = palette;
    }
    D3DLOCKED_RECT locked;
    hr = surface->LockRect(&locked, nullptr, 0);
    if (FAILED(hr)) {
        return hr;
    }
    SurfaceLock lock{surface};
    const LevelTarget target{to, static_cast<BYTE*>(locked.pBits), static_cast<size_t>(locked.Pitch), desc.Width,
                             desc.Height};
    return fill_level(source, target, filter);
}
