// Device-independent bitmaps: the information header, colour table and pixel
// rows of a BMP file, also accepted on their own without the file header.
// Uncompressed, run-length (RLE8, RLE4) and bit-field bitmaps.
#include <cstdint>
#include <cstring>

#include "texture/decoders/byte_reader.h"
#include "texture/decoders/checked_size.h"
#include "texture/decoders/image_decoders.h"

namespace {

enum Compression : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

struct DibHeader {
    uint32_t header_size = 0;
    int32_t width = 0;
    int32_t height = 0; // negative: top row first
    uint16_t planes = 0;
    uint16_t bit_count = 0;
    uint32_t compression = BI_RGB;
    uint32_t colours_used = 0;
    uint32_t entry_size = 0; // bytes per colour-table entry
    uint32_t masks[4] = {};  // red, green, blue, alpha (bit fields only)
};

bool read_header(const ByteReader& in, DibHeader* h)
{
    if (!in.u32le(0, &h->header_size) || !in.has(0, h->header_size))
        return false;
    if (h->header_size == 12) {
        int32_t width, height;
        if (!in.s16le(4, &width) || !in.s16le(6, &height) || !in.u16le(8, &h->planes) || !in.u16le(10, &h->bit_count))
            return false;
        h->width = width;
        h->height = height;
        h->entry_size = 3;
        return true;
    }
    if (h->header_size < 40)
        return false;
    if (!in.s32le(4, &h->width) || !in.s32le(8, &h->height) || !in.u16le(12, &h->planes) ||
        !in.u16le(14, &h->bit_count) || !in.u32le(16, &h->compression) || !in.u32le(32, &h->colours_used))
        return false;
    h->entry_size = 4;
    if (h->compression == BI_BITFIELDS && h->header_size >= 52) {
        for (int i = 0; i < 3; ++i)
            if (!in.u32le(40 + 4 * i, &h->masks[i]))
                return false;
        if (h->header_size >= 56 && !in.u32le(52, &h->masks[3]))
            return false;
    }
    return true;
}

struct MaskFormat {
    uint16_t bits;
    uint32_t red, green, blue, alpha;
    D3DFORMAT format;
    uint32_t data_shift; // bytes the pixel data are taken to begin later
};

const MaskFormat kMaskFormats[] = {
    {16, 0xE0, 0x1C, 0x03, 0xFF00, D3DFMT_A8R3G3B2, 0},
    {16, 0xF00, 0xF0, 0x0F, 0xF000, D3DFMT_A4R4G4B4, 0},
    {16, 0xF00, 0xF0, 0x0F, 0, D3DFMT_X4R4G4B4, 0},
    {16, 0xF800, 0x7E0, 0x1F, 0, D3DFMT_R5G6B5, 0},
    {16, 0x7C00, 0x3E0, 0x1F, 0, D3DFMT_X1R5G5B5, 0},
    {16, 0x7C00, 0x3E0, 0x1F, 0x8000, D3DFMT_A1R5G5B5, 0},
    {16, 0xFF, 0xFF, 0xFF, 0xFF00, D3DFMT_A8L8, 0},
    {16, 0xFFFF, 0xFFFF, 0xFFFF, 0, D3DFMT_L16, 0},
    {24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8, 0},
    {32, 0xFFFF, 0xFFFF0000, 0, 0, D3DFMT_G16R16, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8R8G8B8, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8R8G8B8, 0},
    {32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, D3DFMT_A2R10G10B10, 0},
    // Blue, green, red in the top three bytes: one byte later they are X8R8G8B8.
    {32, 0xFF000000, 0xFF0000, 0xFF00, 0, D3DFMT_X8R8G8B8, 1},
    {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, D3DFMT_A8B8G8R8, 0},
    {32, 0xFF, 0xFF00, 0xFF0000, 0, D3DFMT_X8B8G8R8, 0},
    {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, D3DFMT_A2B10G10R10, 0},
};

// What the pixel rows turn into.
struct PixelLayout {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    bool generic = false; // any other mask set: four floats per pixel
    uint32_t data_shift = 0;
};

bool choose_format(const DibHeader& h, PixelLayout* layout)
{
    if (h.compression <= BI_RLE4) {
        switch (h.bit_count) {
        case 1:
        case 4:
        case 8:
            layout->format = D3DFMT_P8;
            return true;
        case 16:
            layout->format = D3DFMT_X1R5G5B5;
            return true;
        case 24:
            layout->format = D3DFMT_R8G8B8;
            return true;
        case 32:
            layout->format = D3DFMT_X8R8G8B8;
            return true;
        default:
            return false;
        }
    }
    if (h.compression != BI_BITFIELDS || h.header_size < 52)
        return false;
    if (h.bit_count != 16 && h.bit_count != 24 && h.bit_count != 32)
        return false;
    for (const MaskFormat& m : kMaskFormats) {
        if (m.bits == h.bit_count && m.red == h.masks[0] && m.green == h.masks[1] && m.blue == h.masks[2] &&
            m.alpha == h.masks[3]) {
            layout->format = m.format;
            layout->data_shift = m.data_shift;
            return true;
        }
    }
    layout->format = D3DFMT_A32B32G32R32F;
    layout->generic = true;
    return true;
}

// Where the rows are and how big they are, in the file and decoded.
struct RowGeometry {
    uint64_t width = 0;
    uint64_t height = 0;
    bool top_down = false;
    uint64_t data_offset = 0; // first pixel byte, counted from the header start
    uint64_t file_row_bytes = 0;
    uint64_t file_stride = 0;
    uint64_t row_pitch = 0;   // decoded
    uint64_t image_bytes = 0; // decoded: height x row_pitch
};

HRESULT measure_rows(const DibHeader& h, const PixelLayout& layout, uint64_t data_offset, RowGeometry* g)
{
    if (h.width <= 0 || h.height == 0)
        return E_FAIL;
    g->width = uint64_t(h.width);
    g->top_down = h.height < 0;
    g->height = g->top_down ? uint64_t(-int64_t(h.height)) : uint64_t(h.height);
    g->data_offset = data_offset;
    switch (h.bit_count) {
    case 1:
        g->file_row_bytes = (g->width + 7) / 8;
        break;
    case 4:
        g->file_row_bytes = (g->width + 1) / 2;
        break;
    default:
        g->file_row_bytes = h.bit_count / 8 * g->width;
        break;
    }
    round_up4(g->file_row_bytes, &g->file_stride);
    uint64_t decoded_row = g->file_row_bytes;
    if (layout.format == D3DFMT_P8)
        decoded_row = g->width;
    else if (layout.generic)
        decoded_row = 16 * g->width;
    round_up4(decoded_row, &g->row_pitch);
    // Widths are below 2^31, so none of the row sizes above can overflow.
    return decoded_size(g->height, g->row_pitch, &g->image_bytes);
}

// Uncompressed rows must all be present; the last needs no padding.
bool rows_present(const ByteReader& in, const RowGeometry& g)
{
    uint64_t last_row, end;
    return checked_mul(g.height - 1, g.file_stride, &last_row) && checked_add(g.data_offset, last_row, &end) &&
        in.has(end, g.file_row_bytes);
}

const BYTE* file_row(const ByteReader& in, const RowGeometry& g, uint64_t r)
{
    return in.data() + g.data_offset + r * g.file_stride;
}

// Image row (0 = top) that the file's r-th stored row becomes.
uint64_t image_row(const RowGeometry& g, uint64_t r) { return g.top_down ? r : g.height - 1 - r; }

bool any_fourth_byte_set(const ByteReader& in, const RowGeometry& g)
{
    for (uint64_t r = 0; r < g.height; ++r) {
        const BYTE* row = file_row(in, g, r);
        for (uint64_t x = 0; x < g.width; ++x)
            if (row[4 * x + 3])
                return true;
    }
    return false;
}

void fill_palette(BYTE* palette, const ByteReader& in, const DibHeader& h, uint64_t colour_count)
{
    // Entries past 256 have no place in the palette; they are ignored.
    const uint64_t used = colour_count < 256 ? colour_count : 256;
    const BYTE* table = in.data() + h.header_size;
    for (uint64_t i = 0; i < used; ++i) {
        const BYTE* entry = table + i * h.entry_size;
        palette[4 * i + 0] = entry[2];
        palette[4 * i + 1] = entry[1];
        palette[4 * i + 2] = entry[0];
        palette[4 * i + 3] = 255;
    }
}

void unpack_indexes(const BYTE* src, BYTE* dst, uint64_t width, unsigned bit_count)
{
    if (bit_count == 1) {
        for (uint64_t x = 0; x < width; ++x)
            dst[x] = (src[x / 8] >> (7 - x % 8)) & 1;
    } else if (bit_count == 4) {
        for (uint64_t x = 0; x < width; ++x)
            dst[x] = (x % 2 == 0) ? src[x / 2] >> 4 : src[x / 2] & 0x0F;
    } else {
        std::memcpy(dst, src, width);
    }
}

// Per channel of a generic mask: the shift to its lowest bit and the mask
// moved down there.
struct Channel {
    unsigned shift = 0;
    uint32_t max = 0;
};

Channel channel_of(uint32_t mask)
{
    Channel c;
    if (mask) {
        c.shift = static_cast<unsigned>(__builtin_ctz(mask));
        c.max = mask >> c.shift;
    }
    return c;
}

float channel_value(uint32_t pixel, const Channel& c)
{
    if (c.max == 0)
        return 1.0f;
    return static_cast<float>((pixel >> c.shift) & c.max) / static_cast<float>(c.max);
}

void convert_generic_row(const BYTE* src, float* dst, uint64_t width, unsigned bit_count, const Channel (&channels)[4],
                         bool no_colour)
{
    const unsigned step = bit_count / 8;
    for (uint64_t x = 0; x < width; ++x, src += step, dst += 4) {
        uint32_t p = src[0] | uint32_t(src[1]) << 8;
        if (step >= 3)
            p |= uint32_t(src[2]) << 16;
        if (step == 4)
            p |= uint32_t(src[3]) << 24;
        for (int k = 0; k < 3; ++k)
            dst[k] = no_colour ? 0.0f : channel_value(p, channels[k]);
        dst[3] = channel_value(p, channels[3]);
    }
}

// Run-length stream into zero-filled rows (never-written pixels keep index 0).
// The write position is linear in the image's memory, so a run may go on into
// the next row in memory, but never outside the image.
class RleWriter {
public:
    RleWriter(BYTE* out, const RowGeometry& g) : out_(out), g_(g) {}

    // Pointer to `count` pixels at the write position, advanced past them;
    // null when they would leave the image.
    BYTE* take(uint64_t count)
    {
        const int64_t row = g_.top_down ? file_row_ : int64_t(g_.height) - 1 - file_row_;
        if (row < 0 || uint64_t(row) >= g_.height)
            return nullptr;
        const uint64_t at = uint64_t(row) * g_.row_pitch + x_;
        if (at > g_.image_bytes || count > g_.image_bytes - at)
            return nullptr;
        x_ += count;
        return out_ + at;
    }

    // True while the current row still lies inside the image.
    bool end_of_line()
    {
        ++file_row_;
        x_ = 0;
        return uint64_t(file_row_) < g_.height;
    }

    void delta(unsigned dx, unsigned dy)
    {
        x_ += dx;
        file_row_ += dy;
    }

private:
    BYTE* out_;
    const RowGeometry& g_;
    int64_t file_row_ = 0; // rows in file order; bounded by the stream length
    uint64_t x_ = 0;
};

HRESULT decode_rle(ByteReader in, BYTE* out, const RowGeometry& g, bool rle4)
{
    if (!in.seek(g.data_offset))
        return E_FAIL;
    RleWriter writer(out, g);
    for (;;) {
        uint8_t count, value;
        if (!in.read_u8(&count) || !in.read_u8(&value))
            return E_FAIL;
        if (count > 0) {
            BYTE* run = writer.take(count);
            if (!run)
                return E_FAIL;
            for (unsigned i = 0; i < count; ++i)
                run[i] = rle4 ? ((i % 2 == 0) ? value >> 4 : value & 0x0F) : value;
            continue;
        }
        switch (value) {
        case 0:
            if (!writer.end_of_line())
                return S_OK;
            break;
        case 1:
            return S_OK;
        case 2: {
            uint8_t dx, dy;
            if (!in.read_u8(&dx) || !in.read_u8(&dy))
                return E_FAIL;
            writer.delta(dx, dy);
            break;
        }
        default: {
            const unsigned n = value;
            uint64_t data_bytes = rle4 ? (n + 1) / 2 : n;
            const BYTE* data;
            if (!in.read(data_bytes, &data))
                return E_FAIL;
            BYTE* block = writer.take(n);
            if (!block)
                return E_FAIL;
            for (unsigned i = 0; i < n; ++i)
                block[i] = rle4 ? ((i % 2 == 0) ? data[i / 2] >> 4 : data[i / 2] & 0x0F) : data[i];
            // Blocks are padded to an even byte count; a missing pad byte
            // leaves no room for the next command anyway.
            if (data_bytes % 2)
                in.skip(1);
            break;
        }
        }
    }
}

HRESULT decode_rows(const ByteReader& in, const DibHeader& h, const PixelLayout& layout, const RowGeometry& g,
                    BYTE* out)
{
    if (h.compression == BI_RLE8 || h.compression == BI_RLE4)
        return decode_rle(in, out, g, h.compression == BI_RLE4);

    Channel channels[4];
    for (int k = 0; k < 4; ++k)
        channels[k] = channel_of(h.masks[k]);
    const bool no_colour = !h.masks[0] && !h.masks[1] && !h.masks[2];
    for (uint64_t r = 0; r < g.height; ++r) {
        const BYTE* src = file_row(in, g, r);
        BYTE* dst = out + image_row(g, r) * g.row_pitch;
        if (layout.generic)
            convert_generic_row(src, reinterpret_cast<float*>(dst), g.width, h.bit_count, channels, no_colour);
        else if (layout.format == D3DFMT_P8)
            unpack_indexes(src, dst, g.width, h.bit_count);
        else
            std::memcpy(dst, src, g.file_row_bytes);
    }
    return S_OK;
}

} // namespace

HRESULT decode_dib(DecodedImage* image, const BYTE* bytes, size_t size)
{
    const ByteReader in(bytes, size);
    DibHeader h;
    PixelLayout layout;
    if (!read_header(in, &h) || !choose_format(h, &layout))
        return E_FAIL;

    uint64_t colour_count = h.colours_used;
    if (h.bit_count <= 8 && colour_count == 0)
        colour_count = uint64_t(1) << h.bit_count;
    // The pixels follow the colour table directly, whatever the bit count.
    const uint64_t data_offset = h.header_size + colour_count * h.entry_size + layout.data_shift;
    if (!in.has(0, data_offset) || h.planes != 1)
        return E_FAIL;

    RowGeometry g;
    HRESULT hr = measure_rows(h, layout, data_offset, &g);
    if (FAILED(hr))
        return hr;
    const bool compressed = h.compression == BI_RLE8 || h.compression == BI_RLE4;
    if (!compressed && !rows_present(in, g))
        return E_FAIL;
    if (h.compression == BI_RGB && h.bit_count == 32 && any_fourth_byte_set(in, g))
        layout.format = D3DFMT_A8R8G8B8;

    image->format = layout.format;
    image->width = static_cast<UINT>(g.width);
    image->height = static_cast<UINT>(g.height);
    image->depth = 1;
    image->row_pitch = static_cast<UINT>(g.row_pitch);
    image->slice_pitch = 0;
    image->resource_type = D3DRTYPE_TEXTURE;
    image->file_format = IMAGE_FILE_DIB;
    if (!image->want_pixels)
        return S_OK;

    if (layout.format == D3DFMT_P8) {
        BYTE* palette = allocate_image_palette(image);
        if (!palette)
            return E_OUTOFMEMORY;
        fill_palette(palette, in, h, colour_count);
    }

    if (!compressed && g.top_down && h.bit_count >= 8 && !layout.generic) {
        image->pixels = bytes + g.data_offset;
        return S_OK;
    }
    BYTE* out = allocate_image_pixels(image, static_cast<size_t>(g.image_bytes));
    if (!out)
        return E_OUTOFMEMORY;
    return decode_rows(in, h, layout, g, out);
}
