// Ownership and row geometry of decoded images.
#include "texture/decoders/decoded_image.h"

#include <cstdlib>
#include <cstring>

namespace {

// Frees what one record owns, not its chains.
void free_own_buffers(DecodedImage* image)
{
    if (image->owns_pixels)
        std::free(const_cast<BYTE*>(image->pixels));
    if (image->owns_palette)
        std::free(const_cast<BYTE*>(image->palette));
}

// Frees a chain of heap records linked by next_level, each with its faces.
// Each record is cut from the chain first, so the chain is walked once.
void free_level_chain(DecodedImage* level)
{
    while (level) {
        DecodedImage* next = level->next_level;
        level->next_level = nullptr;
        release_decoded_image(level);
        std::free(level);
        level = next;
    }
}

} // namespace

void release_decoded_image(DecodedImage* image)
{
    if (!image)
        return;
    free_own_buffers(image);
    free_level_chain(image->next_level);
    // Faces are few (six at most) and each carries its own level chain.
    DecodedImage* face = image->next_face;
    while (face) {
        DecodedImage* next = face->next_face;
        face->next_face = nullptr;
        release_decoded_image(face);
        std::free(face);
        face = next;
    }
    std::memset(image, 0, sizeof *image);
}

// Sizes come from the format facts; a format without them has none.
size_t decoded_row_bytes(const DecodedImage* image)
{
    const TexelFormatFacts* facts = texel_format_facts(image->format);
    return facts ? facts->packed_row_bytes(image->width) : 0;
}

UINT decoded_row_count(const DecodedImage* image)
{
    const TexelFormatFacts* facts = texel_format_facts(image->format);
    return facts ? static_cast<UINT>(facts->unit_rows(image->height)) : image->height;
}
