// The 2 x 2 box filter into a level of half the size: target pixel (x, y)
// is the mean of source pixels (2x, 2y), (2x + 1, 2y), (2x, 2y + 1) and
// (2x + 1, 2y + 1), each unsigned channel rounded half up, which in integers
// is (a + b + c + d + 2) >> 2. Where a source dimension is 1 the two pixels
// along the other are averaged; an odd size above 1 leaves its last column
// or row out. The common 8- and 16-bit formats have integer paths; the
// float path (decode, average, encode) gives the same values.
#include <algorithm>
#include <cstring>

#include "texture/level_fill.h"
#include "texture/texture_fill.h"

namespace {

// Means land on exact quarters of a step; the float path's rounding errors
// are far below this nudge, so halves still round up and nothing else moves.
constexpr float kBoxRound = 0.5f + 1.0f / 16.0f;
const float kBoxRounding[16] = {kBoxRound, kBoxRound, kBoxRound, kBoxRound, kBoxRound, kBoxRound, kBoxRound, kBoxRound,
                                kBoxRound, kBoxRound, kBoxRound, kBoxRound, kBoxRound, kBoxRound, kBoxRound, kBoxRound};

HRESULT box_float(const LevelSource& source, const LevelTarget& target, DWORD filter)
{
    std::vector<float> pair;
    const UINT used_width = std::min(source.width, target.width * 2);
    if (!try_resize(pair, size_t(used_width) * 8)) {
        return E_OUTOFMEMORY;
    }
    const float* upper = pair.data();
    const float* lower = pair.data() + size_t(used_width) * 4;
    const auto make_row = [&](UINT y, float* row) {
        if (source.height == 1) {
            decode_source(source, 0, 0, used_width, 1, pair.data());
        } else {
            decode_source(source, 0, 2 * y, used_width, 2, pair.data());
        }
        for (UINT x = 0; x < target.width; ++x) {
            for (size_t c = 0; c < 4; ++c) {
                const size_t left = size_t(x) * 8 + c, right = left + 4;
                float& out = row[size_t(x) * 4 + c];
                if (source.width == 1) {
                    out = (upper[c] + lower[c]) * 0.5f;
                } else if (source.height == 1) {
                    out = (upper[left] + upper[right]) * 0.5f;
                } else {
                    out = (upper[left] + upper[right] + lower[left] + lower[right]) * 0.25f;
                }
            }
        }
    };
    return write_rows(target, filter, make_row, kBoxRounding);
}

// Formats whose every field is a whole byte: each byte averaged on its own,
// bytes no field covers written 0.
template <unsigned Bytes>
void box_bytes(const BYTE* upper, const BYTE* lower, BYTE* out, UINT width, const BYTE* keep)
{
    for (UINT x = 0; x < width; ++x, upper += 2 * Bytes, lower += 2 * Bytes, out += Bytes) {
        for (unsigned k = 0; k < Bytes; ++k) {
            const unsigned sum = upper[k] + upper[Bytes + k] + lower[k] + lower[Bytes + k] + 2;
            out[k] = static_cast<BYTE>((sum >> 2) & keep[k]);
        }
    }
}

template <unsigned Bytes>
uint32_t load_small(const BYTE* p)
{
    uint32_t v = 0;
    std::memcpy(&v, p, Bytes);
    return v;
}

// Formats with fields inside bytes: each field averaged on its own.
template <unsigned Bytes>
void box_fields(const BYTE* upper, const BYTE* lower, BYTE* out, UINT width, const PixelCodec& codec)
{
    uint32_t masks[4];
    for (int c = 0; c < 4; ++c) {
        masks[c] = (1u << codec.fields[c].bits) - 1;
    }
    for (UINT x = 0; x < width; ++x, upper += 2 * Bytes, lower += 2 * Bytes, out += Bytes) {
        const uint32_t p[4] = {load_small<Bytes>(upper), load_small<Bytes>(upper + Bytes), load_small<Bytes>(lower),
                               load_small<Bytes>(lower + Bytes)};
        uint32_t pixel = 0;
        for (int c = 0; c < 4; ++c) {
            const unsigned shift = codec.fields[c].shift;
            const uint32_t sum = ((p[0] >> shift) & masks[c]) + ((p[1] >> shift) & masks[c]) +
                ((p[2] >> shift) & masks[c]) + ((p[3] >> shift) & masks[c]) + 2;
            pixel |= ((sum >> 2) & masks[c]) << shift;
        }
        std::memcpy(out, &pixel, Bytes);
    }
}

constexpr D3DFORMAT kIntegerFormats[] = {
    D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8, D3DFMT_R5G6B5,
    D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_R3G3B2,   D3DFMT_A8,
    D3DFMT_L8,       D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4, D3DFMT_A8L8,     D3DFMT_A4L4,
};

bool has_integer_path(D3DFORMAT format)
{
    return std::find(std::begin(kIntegerFormats), std::end(kIntegerFormats), format) != std::end(kIntegerFormats);
}

// The bytes of a pixel some field covers, as masks; false when a field does
// not fill whole bytes.
bool byte_fields(const PixelCodec& codec, BYTE keep[4])
{
    std::memset(keep, 0, 4);
    for (const PixelField& field : codec.fields) {
        if (field.bits == 0) {
            continue;
        }
        if (field.bits != 8 || field.shift % 8 != 0) {
            return false;
        }
        keep[field.shift / 8] = 0xFF;
    }
    return true;
}

void box_integer(const LevelSource& source, const LevelTarget& target)
{
    const PixelCodec& codec = *source.codec;
    const unsigned bytes = codec.unit_bytes;
    BYTE keep[4];
    const bool whole_bytes = byte_fields(codec, keep);
    for (UINT y = 0; y < target.height; ++y) {
        const BYTE* upper =
            source.pixels.bits + size_t(source.top + 2 * y) * source.pixels.pitch + size_t(source.left) * bytes;
        const BYTE* lower = upper + source.pixels.pitch;
        BYTE* out = target.bits + size_t(y) * target.pitch;
        if (whole_bytes && bytes == 4) {
            box_bytes<4>(upper, lower, out, target.width, keep);
        } else if (whole_bytes && bytes == 2) {
            box_bytes<2>(upper, lower, out, target.width, keep);
        } else if (whole_bytes) {
            box_bytes<1>(upper, lower, out, target.width, keep);
        } else if (bytes == 2) {
            box_fields<2>(upper, lower, out, target.width, codec);
        } else {
            box_fields<1>(upper, lower, out, target.width, codec);
        }
    }
}

} // namespace

HRESULT box_filter_half(const LevelSource& source, const LevelTarget& target, DWORD filter, bool allow_integer)
{
    const bool integer = allow_integer && source.codec == target.codec && has_integer_path(source.codec->format) &&
        source.width >= 2 && source.height >= 2 && source.color_key == 0 &&
        !(filter & (TEXTURE_FILTER_DITHER | TEXTURE_FILTER_DITHER_DIFFUSION));
    if (integer) {
        box_integer(source, target);
        return S_OK;
    }
    return box_float(source, target, filter);
}
