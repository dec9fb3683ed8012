// Truevision TGA files: colour-mapped, true-colour and grey images, plain or
// run-length encoded, stored in any of the four row and column orders.
#include <cstring>

#include "texture/decoders/byte_reader.h"
#include "texture/decoders/checked_size.h"
#include "texture/decoders/image_decoders.h"

namespace {

struct TgaHeader {
    uint8_t id_length, map_type, image_type;
    uint16_t map_first, map_length;
    uint8_t map_entry_bits;
    uint16_t width, height;
    uint8_t pixel_bits, descriptor;
};

bool read_header(const ByteReader& in, TgaHeader* h)
{
    if (!in.has(0, 18))
        return false;
    in.u8(0, &h->id_length);
    in.u8(1, &h->map_type);
    in.u8(2, &h->image_type);
    in.u16le(3, &h->map_first);
    in.u16le(5, &h->map_length);
    in.u8(7, &h->map_entry_bits);
    in.u16le(12, &h->width);
    in.u16le(14, &h->height);
    in.u8(16, &h->pixel_bits);
    in.u8(17, &h->descriptor);
    return h->map_type <= 1 && (h->image_type & 0xF4) == 0 && h->width != 0 && h->height != 0;
}

bool choose_format(const TgaHeader& h, D3DFORMAT* format)
{
    if (h.map_type == 1 && h.map_entry_bits != 15 && h.map_entry_bits != 16 && h.map_entry_bits != 24 &&
        h.map_entry_bits != 32)
        return false;
    switch (h.image_type & 3) {
    case 1:
        *format = D3DFMT_P8;
        return h.map_type == 1 && h.pixel_bits == 8;
    case 2:
        switch (h.pixel_bits) {
        case 15:
            *format = D3DFMT_X1R5G5B5;
            return true;
        case 16:
            *format = D3DFMT_A1R5G5B5;
            return true;
        case 24:
            *format = D3DFMT_R8G8B8;
            return true;
        case 32:
            *format = D3DFMT_A8R8G8B8;
            return true;
        default:
            return false;
        }
    case 3:
        *format = D3DFMT_L8;
        return h.pixel_bits == 8;
    default:
        return false;
    }
}

BYTE widen5(unsigned v) { return static_cast<BYTE>(v << 3 | v >> 2); }

bool fill_palette(BYTE* palette, const TgaHeader& h, const uint8_t* map)
{
    if (unsigned(h.map_first) + h.map_length > 256)
        return false;
    const unsigned entry_bytes = (h.map_entry_bits + 7u) / 8;
    bool all_transparent = true;
    for (unsigned i = 0; i < h.map_length; ++i) {
        const uint8_t* e = map + i * entry_bytes;
        BYTE* p = palette + 4 * (h.map_first + i);
        if (entry_bytes >= 3) {
            p[0] = e[2];
            p[1] = e[1];
            p[2] = e[0];
            p[3] = entry_bytes == 4 ? e[3] : 255;
        } else {
            const unsigned v = e[0] | e[1] << 8;
            p[0] = widen5(v >> 10 & 31);
            p[1] = widen5(v >> 5 & 31);
            p[2] = widen5(v & 31);
            p[3] = h.map_entry_bits == 15 ? 255 : (v >> 15) * 255;
        }
        all_transparent = all_transparent && p[3] == 0;
    }
    // A map whose alpha is all zero was written without alpha in mind.
    if (all_transparent)
        for (unsigned i = 0; i < h.map_length; ++i)
            palette[4 * (h.map_first + i) + 3] = 255;
    return true;
}

// Puts pixels given in file order into top-to-bottom, left-to-right rows.
class PixelPlacer {
public:
    PixelPlacer(BYTE* out, const TgaHeader& h, unsigned pixel_bytes)
        : out_(out),
          width_(h.width),
          height_(h.height),
          pixel_bytes_(pixel_bytes),
          top_first_(h.descriptor & 0x20),
          right_to_left_(h.descriptor & 0x10)
    {
    }

    uint64_t total() const { return uint64_t(width_) * height_; }

    void put(uint64_t index, const uint8_t* pixel)
    {
        const uint64_t r = index / width_, x = index % width_;
        const uint64_t row = top_first_ ? r : height_ - 1 - r;
        const uint64_t col = right_to_left_ ? width_ - 1 - x : x;
        std::memcpy(out_ + (row * width_ + col) * pixel_bytes_, pixel, pixel_bytes_);
    }

private:
    BYTE* out_;
    uint64_t width_, height_;
    unsigned pixel_bytes_;
    bool top_first_, right_to_left_;
};

// Packets are meant to stay inside one row; one that runs on simply continues
// in the next row, and pixels past the last row are dropped.
bool decode_rle(ByteReader& in, PixelPlacer& placer, unsigned pixel_bytes)
{
    const uint64_t total = placer.total();
    uint64_t index = 0;
    while (index < total) {
        uint8_t packet;
        if (!in.read_u8(&packet))
            return false;
        const unsigned count = (packet & 0x7F) + 1u;
        const uint8_t* data;
        if (packet & 0x80) {
            if (!in.read(pixel_bytes, &data))
                return false;
            for (unsigned i = 0; i < count && index < total; ++i)
                placer.put(index++, data);
        } else {
            if (!in.read(uint64_t(count) * pixel_bytes, &data))
                return false;
            for (unsigned i = 0; i < count && index < total; ++i)
                placer.put(index++, data + i * pixel_bytes);
        }
    }
    return true;
}

// A8R8G8B8 with alpha all 0 and A1R5G5B5 with the alpha bit all 0 were
// written without alpha in mind.
D3DFORMAT format_after_alpha_check(D3DFORMAT format, const BYTE* pixels, uint64_t pixel_count)
{
    if (format == D3DFMT_A8R8G8B8) {
        for (uint64_t i = 0; i < pixel_count; ++i)
            if (pixels[4 * i + 3])
                return format;
        return D3DFMT_X8R8G8B8;
    }
    if (format == D3DFMT_A1R5G5B5) {
        for (uint64_t i = 0; i < pixel_count; ++i)
            if (pixels[2 * i + 1] & 0x80)
                return format;
        return D3DFMT_X1R5G5B5;
    }
    return format;
}

} // namespace

HRESULT decode_tga(DecodedImage* image, const BYTE* bytes, size_t size)
{
    ByteReader in(bytes, size);
    TgaHeader h{};
    D3DFORMAT format;
    if (!read_header(in, &h) || !choose_format(h, &format))
        return E_FAIL;

    const uint64_t map_offset = 18 + uint64_t(h.id_length);
    const uint64_t map_bytes = h.map_type ? (h.map_entry_bits + 7u) / 8 * uint64_t(h.map_length) : 0;
    const uint8_t* map = in.at(map_offset, map_bytes);
    if (!map)
        return E_FAIL;
    const uint64_t pixel_offset = map_offset + map_bytes;

    const unsigned pixel_bytes = (h.pixel_bits + 7u) / 8;
    const uint64_t row_pitch = uint64_t(pixel_bytes) * h.width;
    uint64_t image_bytes;
    HRESULT hr = decoded_size(h.height, row_pitch, &image_bytes);
    if (FAILED(hr))
        return hr;
    const bool rle = (h.image_type & 0x08) != 0;
    const bool in_place = !rle && (h.descriptor & 0x20) && !(h.descriptor & 0x10);
    const uint8_t* raw = nullptr;
    if (!rle && !(raw = in.at(pixel_offset, image_bytes)))
        return E_FAIL;

    image->format = format;
    image->width = h.width;
    image->height = h.height;
    image->depth = 1;
    image->row_pitch = static_cast<UINT>(row_pitch);
    image->resource_type = D3DRTYPE_TEXTURE;
    image->file_format = IMAGE_FILE_TGA;
    if (!image->want_pixels)
        return S_OK;

    if (format == D3DFMT_P8) {
        BYTE* palette = allocate_image_palette(image);
        if (!palette)
            return E_OUTOFMEMORY;
        if (!fill_palette(palette, h, map))
            return E_FAIL;
    }

    const uint64_t pixel_count = uint64_t(h.width) * h.height;
    if (in_place) {
        image->pixels = raw;
    } else {
        BYTE* out = allocate_image_pixels(image, static_cast<size_t>(image_bytes));
        if (!out)
            return E_OUTOFMEMORY;
        PixelPlacer placer(out, h, pixel_bytes);
        if (rle) {
            in.seek(pixel_offset);
            if (!decode_rle(in, placer, pixel_bytes))
                return E_FAIL;
        } else {
            for (uint64_t i = 0; i < pixel_count; ++i)
                placer.put(i, raw + i * pixel_bytes);
        }
    }
    image->format = format_after_alpha_check(format, image->pixels, pixel_count);
    return S_OK;
}
