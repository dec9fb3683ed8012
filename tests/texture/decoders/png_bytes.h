// Test helpers: PNG files written chunk by chunk, with zlib's checksums.
#pragma once

#include <zlib.h>

#include "image_bytes.h"

// A chunk: length, type, data and the CRC over type and data.
inline Bytes chunk(const char* type, const Bytes& data)
{
    Bytes body;
    body.text(type).append(data);
    Bytes b;
    b.be32(uint32_t(data.size())).append(body);
    return b.be32(uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// The scan lines as a zlib stream of one stored (uncompressed) block.
inline Bytes stored_zlib(const Bytes& raw)
{
    Bytes b;
    b.u8({0x78, 0x01, 0x01}).le16(uint32_t(raw.size())).le16(uint32_t(~raw.size() & 0xFFFF)).append(raw);
    return b.be32(uint32_t(adler32(1, raw.data(), uInt(raw.size()))));
}

inline Bytes ihdr(uint32_t width, uint32_t height, int depth, int colour_type, int interlace = 0)
{
    Bytes b;
    b.be32(width).be32(height).u8({depth, colour_type, 0, 0, interlace});
    return chunk("IHDR", b);
}

// Signature, header, the extra chunks, the image data and the end chunk.
inline Bytes png_file(const Bytes& header, const Bytes& extra, const Bytes& scan_lines)
{
    Bytes b;
    b.u8({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}).append(header).append(extra);
    return b.append(chunk("IDAT", stored_zlib(scan_lines))).append(chunk("IEND", Bytes()));
}
