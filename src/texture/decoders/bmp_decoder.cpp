// BMP files: a 14-byte file header in front of a device-independent bitmap.
#include "texture/decoders/byte_reader.h"
#include "texture/decoders/image_decoders.h"

HRESULT decode_bmp(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason)
{
    const ByteReader in(bytes, size);
    if (!in.matches(0, "BM", 2))
        return E_FAIL;
    uint32_t file_size;
    if (!in.u32le(2, &file_size) || !in.has(0, 14))
        return refuse(reason, E_FAIL, "%zu bytes are too few for the 14-byte file header", size);
    if (file_size > size)
        return refuse(reason, E_FAIL, "file size %u exceeds the %zu bytes present", file_size, size);
    // The pixel-data offset at 10 is not trusted: the rows are found after
    // the colour table, which is where writers put them.
    return decode_bitmap(image, bytes + 14, size - 14, reason);
}
