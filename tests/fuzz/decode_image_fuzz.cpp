// Fuzz target: decode_image on arbitrary bytes, header only and with pixels.
// The rows of every level and face, and the palette, are read back, so a
// pitch or size that claims more than the decoder delivered shows up as an
// out-of-bounds read. A few dozen bytes can describe a gigabyte of pixels;
// reading all of it would turn every such input into a timeout, so large
// levels are sampled: the first and last rows whole (up to 4 KiB at each end
// of a row) and about a thousand rows spread between them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "texture/decoders/decoded_image.h"

namespace {

volatile uint8_t g_sink;

constexpr size_t kWholeLevelBytes = size_t(1) << 20;
constexpr size_t kRowEndBytes = 4096;
constexpr size_t kSampledRows = 1024;

uint8_t sum_row(const uint8_t* row, size_t row_bytes, bool whole)
{
    uint8_t sum = 0;
    if (whole || row_bytes <= 2 * kRowEndBytes) {
        for (size_t i = 0; i < row_bytes; ++i)
            sum = uint8_t(sum + row[i]);
        return sum;
    }
    for (size_t i = 0; i < kRowEndBytes; ++i)
        sum = uint8_t(sum + row[i] + row[row_bytes - 1 - i]);
    return sum;
}

void touch_level(const DecodedImage& level)
{
    const size_t row_bytes = decoded_row_bytes(&level);
    if (row_bytes > level.row_pitch || level.width == 0 || level.height == 0 || level.depth == 0)
        __builtin_trap();
    uint8_t sum = 0;
    if (level.pixels) {
        const size_t rows = decoded_row_count(&level);
        const bool whole = rows * row_bytes * level.depth <= kWholeLevelBytes;
        const size_t step = whole ? 1 : std::max<size_t>(1, rows / kSampledRows);
        for (UINT z = 0; z < level.depth; ++z) {
            const uint8_t* slice = level.pixels + size_t(z) * level.slice_pitch;
            for (size_t r = 0; r < rows; r += step)
                sum = uint8_t(sum + sum_row(slice + r * level.row_pitch, row_bytes, whole));
            sum = uint8_t(sum + sum_row(slice + (rows - 1) * level.row_pitch, row_bytes, whole));
        }
    }
    if (level.palette)
        for (int i = 0; i < 1024; ++i)
            sum = uint8_t(sum + level.palette[i]);
    g_sink = sum;
}

void touch(const DecodedImage& image)
{
    for (const DecodedImage* face = &image; face; face = face->next_face)
        for (const DecodedImage* level = face; level; level = level->next_level)
            touch_level(*level);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (BOOL want_pixels : {FALSE, TRUE}) {
        OwnedImage image;
        if (image.decode(data, size, want_pixels) == S_OK)
            touch(*image);
    }
    return 0;
}
