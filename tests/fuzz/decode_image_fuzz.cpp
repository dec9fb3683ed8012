// Fuzz target: decode_image on arbitrary bytes, header only and with pixels.
// Every row of every level and face, and the palette, is read back, so a
// pitch or size that claims more than the decoder delivered shows up as an
// out-of-bounds read.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "texture/decoders/decoded_image.h"

namespace {

volatile uint8_t g_sink;

void touch_level(const DecodedImage& level)
{
    const size_t row_bytes = decoded_row_bytes(&level);
    if (row_bytes > level.row_pitch || level.width == 0 || level.height == 0 || level.depth == 0)
        __builtin_trap();
    uint8_t sum = 0;
    if (level.pixels) {
        const UINT rows = decoded_row_count(&level);
        for (UINT z = 0; z < level.depth; ++z)
            for (UINT r = 0; r < rows; ++r) {
                const uint8_t* row = level.pixels + size_t(z) * level.slice_pitch + size_t(r) * level.row_pitch;
                for (size_t i = 0; i < row_bytes; ++i)
                    sum = uint8_t(sum + row[i]);
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
        DecodedImage image;
        if (decode_image(data, size, want_pixels, &image) == S_OK) {
            touch(image);
            release_decoded_image(&image);
        }
    }
    return 0;
}
