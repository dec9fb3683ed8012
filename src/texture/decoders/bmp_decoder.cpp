// BMP files: a 14-byte file header in front of a device-independent bitmap.
#include "texture/decoders/byte_reader.h"
#include "texture/decoders/image_decoders.h"

HRESULT decode_bmp(DecodedImage* image, const BYTE* bytes, size_t size)
{
    const ByteReader in(bytes, size);
    uint32_t file_size;
    if (!in.matches(0, "BM", 2) || !in.u32le(2, &file_size) || !in.has(0, 14) || file_size > size)
        return E_FAIL;
    // The pixel-data offset at 10 is not trusted: the rows are found after
    // the colour table, which is where writers put them.
    HRESULT hr = decode_dib(image, bytes + 14, size - 14);
    if (SUCCEEDED(hr))
        image->file_format = IMAGE_FILE_BMP;
    return hr;
}
