// Bitmap headers for the tests, field by field.
#pragma once

#include "image_bytes.h"

// BITMAPINFOHEADER (40 bytes, or `header_size` with the extra fields left to
// the caller: the masks of a bit-field bitmap).
inline Bytes info_header(int32_t width, int32_t height, int bits, uint32_t compression = 0, uint32_t colours_used = 0,
                         uint32_t header_size = 40)
{
    Bytes b;
    b.le32(header_size).le32(uint32_t(width)).le32(uint32_t(height)).le16(1).le16(bits);
    b.le32(compression).le32(0).le32(2835).le32(2835).le32(colours_used).le32(0);
    return b;
}

// "BM", the file size, reserved words and the pixel-data offset, then the DIB.
inline Bytes bmp_file(const Bytes& dib, uint32_t pixel_offset = 54)
{
    Bytes b;
    b.text("BM").le32(uint32_t(14 + dib.size())).le32(0).le32(pixel_offset);
    return b.append(dib);
}

// A colour table entry: blue, green, red, reserved.
inline Bytes& quad(Bytes& b, int blue, int green, int red) { return b.u8({blue, green, red, 0}); }
