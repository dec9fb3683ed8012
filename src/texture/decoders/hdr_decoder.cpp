// Radiance HDR files: a text header, a resolution line and run-length coded
// RGBE (or XYZE) scan lines, decoded to four floats per pixel.
#include <cmath>
#include <cstring>
#include <vector>

#include "texture/decoders/byte_reader.h"
#include "texture/decoders/checked_size.h"
#include "texture/decoders/image_decoders.h"
#include "texture/decoders/text_scan.h"

namespace {

constexpr size_t kLineLimit = 256;

bool starts_with(const uint8_t* line, size_t length, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    return length >= n && std::memcmp(line, prefix, n) == 0;
}

bool is_blank(int c) { return c == ' ' || c == '\t'; }

bool valid_format_name(const uint8_t* value, size_t length)
{
    size_t i = 0;
    while (i < length && is_blank(value[i]))
        ++i;
    const size_t name_length = std::strlen("32-bit_rle_rgbe");
    if (length - i < name_length ||
        (std::memcmp(value + i, "32-bit_rle_rgbe", name_length) != 0 &&
         std::memcmp(value + i, "32-bit_rle_xyze", name_length) != 0))
        return false;
    for (i += name_length; i < length; ++i)
        if (!is_white_space(value[i]))
            return false;
    return true;
}

// Header lines up to the empty one: the FORMAT line must be there and valid;
// EXPOSURE lines multiply the exposure.
bool read_header(ByteReader& in, double* exposure)
{
    bool format_seen = false;
    *exposure = 1.0;
    for (;;) {
        const uint8_t* start = in.at(in.position(), in.remaining());
        const void* feed = start ? std::memchr(start, '\n', in.remaining()) : nullptr;
        if (!feed)
            return false;
        const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(feed) - start);
        in.skip(length + 1);
        if (length == 0)
            return format_seen;
        if (starts_with(start, length, "FORMAT=")) {
            if (!valid_format_name(start + 7, length - 7))
                return false;
            format_seen = true;
        } else if (starts_with(start, length, "EXPOSURE=") && length - 9 <= kLineLimit) {
            char text[kLineLimit + 1];
            std::memcpy(text, start + 9, length - 9);
            text[length - 9] = '\0';
            double value;
            if (parse_real(text, &value))
                *exposure *= value;
        }
    }
}

struct Axis {
    char name = 0; // 'X' or 'Y'
    bool plus = false;
    uint64_t count = 0;
};

bool parse_axis(ByteReader& text, Axis* axis)
{
    while (is_blank(text.peek()))
        text.skip(1);
    uint8_t sign, name;
    if (!text.read_u8(&sign) || !text.read_u8(&name) || (sign != '+' && sign != '-') || (name != 'X' && name != 'Y') ||
        !is_blank(text.peek()))
        return false;
    while (is_blank(text.peek()))
        text.skip(1);
    axis->name = static_cast<char>(name);
    axis->plus = sign == '+';
    return read_digits(text, 0xFFFFFFFFu, &axis->count) && axis->count > 0;
}

// The two axes: the first counts scan lines, the second the pixels in each.
bool read_resolution(ByteReader& in, Axis* major, Axis* minor)
{
    char line[kLineLimit + 1];
    if (!read_line(in, kLineLimit, line))
        return false;
    ByteReader text(reinterpret_cast<const uint8_t*>(line), std::strlen(line));
    if (!parse_axis(text, major) || !parse_axis(text, minor) || major->name == minor->name)
        return false;
    while (is_white_space(text.peek()))
        text.skip(1);
    return text.at_end();
}

// One new-style scan line: four components one after another, each in runs.
bool read_rle_line(ByteReader& in, std::vector<uint8_t>& scan, uint64_t length)
{
    for (int c = 0; c < 4; ++c) {
        uint64_t x = 0;
        while (x < length) {
            uint8_t n;
            if (!in.read_u8(&n))
                return false;
            if (n > 128) {
                uint8_t value;
                const uint64_t count = n - 128u;
                if (!in.read_u8(&value) || count > length - x)
                    return false;
                for (uint64_t i = 0; i < count; ++i)
                    scan[4 * (x + i) + c] = value;
                x += count;
            } else {
                const uint8_t* literal;
                if (n > length - x || !in.read(n, &literal))
                    return false;
                for (unsigned i = 0; i < n; ++i)
                    scan[4 * (x + i) + c] = literal[i];
                x += n;
            }
        }
    }
    return true;
}

// One old-style scan line: 4-byte pixels, where 1, 1, 1, k repeats the
// previous pixel k times, k growing by 8 bits per directly following repeat.
// At the start of a line the previous pixel is the last of the line before,
// which is still in `scan`.
bool read_flat_line(ByteReader& in, std::vector<uint8_t>& scan, uint64_t length, bool first_line)
{
    unsigned shift = 0;
    uint64_t x = 0;
    while (x < length) {
        const uint8_t* p;
        if (!in.read(4, &p))
            return false;
        if (p[0] == 1 && p[1] == 1 && p[2] == 1) {
            if ((x == 0 && first_line) || shift >= 32)
                return false;
            const uint64_t count = uint64_t(p[3]) << shift;
            if (count > length - x)
                return false;
            const uint64_t previous = x ? x - 1 : length - 1;
            for (uint64_t i = 0; i < count; ++i)
                std::memcpy(&scan[4 * (x + i)], &scan[4 * previous], 4);
            x += count;
            shift += 8;
        } else {
            std::memcpy(&scan[4 * x], p, 4);
            ++x;
            shift = 0;
        }
    }
    return true;
}

uint64_t place(const Axis& axis, uint64_t i)
{
    // Radiance's Y grows upwards: -Y runs from the top row down.
    const bool forward = axis.name == 'X' ? axis.plus : !axis.plus;
    return forward ? i : axis.count - 1 - i;
}

} // namespace

HRESULT decode_hdr(DecodedImage* image, const BYTE* bytes, size_t size)
{
    ByteReader in(bytes, size);
    if (size <= 10 || !in.matches(0, "#?RADIANCE", 10))
        return E_FAIL;
    double exposure;
    Axis major, minor;
    if (!read_header(in, &exposure) || !read_resolution(in, &major, &minor))
        return E_FAIL;
    const uint64_t width = major.name == 'X' ? major.count : minor.count;
    const uint64_t height = major.name == 'Y' ? major.count : minor.count;
    uint64_t image_bytes;
    HRESULT hr = decoded_size(height, 16 * width, &image_bytes);
    if (FAILED(hr))
        return hr;

    describe_float_image(image, static_cast<UINT>(width), static_cast<UINT>(height), IMAGE_FILE_HDR);
    if (!image->want_pixels)
        return S_OK;

    BYTE* out = allocate_image_pixels(image, static_cast<size_t>(image_bytes));
    if (!out)
        return E_OUTOFMEMORY;
    double scale[256];
    for (int e = 0; e < 256; ++e)
        scale[e] = std::ldexp(1.0, e - 136) / exposure;

    const uint64_t length = minor.count;
    std::vector<uint8_t> scan(4 * length);
    for (uint64_t s = 0; s < major.count; ++s) {
        const uint8_t* head = in.at(in.position(), 2);
        if (head && head[0] == 2 && head[1] == 2) {
            const uint8_t* prefix;
            if (!in.read(4, &prefix) || (uint64_t(prefix[2]) << 8 | prefix[3]) != length ||
                !read_rle_line(in, scan, length))
                return E_FAIL;
        } else if (!read_flat_line(in, scan, length, s == 0)) {
            return E_FAIL;
        }
        for (uint64_t k = 0; k < length; ++k) {
            const uint64_t row = place(major.name == 'Y' ? major : minor, major.name == 'Y' ? s : k);
            const uint64_t col = place(major.name == 'X' ? major : minor, major.name == 'X' ? s : k);
            float* dst = reinterpret_cast<float*>(out + row * 16 * width + col * 16);
            const uint8_t* rgbe = &scan[4 * k];
            const double f = scale[rgbe[3]];
            dst[0] = static_cast<float>((rgbe[0] + 0.5) * f);
            dst[1] = static_cast<float>((rgbe[1] + 0.5) * f);
            dst[2] = static_cast<float>((rgbe[2] + 0.5) * f);
            dst[3] = 1.0f;
        }
    }
    return S_OK;
}
