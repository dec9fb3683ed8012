// Portable float maps: "PF" (colour) and "Pf" (grey), 32-bit float samples,
// bottom row first.
#include <cstring>

#include "texture/decoders/byte_reader.h"
#include "texture/decoders/checked_size.h"
#include "texture/decoders/image_decoders.h"
#include "texture/decoders/text_scan.h"

namespace {

constexpr size_t kLineLimit = 256;

// "W H" as two unsigned decimal numbers; white space around them is allowed.
bool parse_size(const char* line, uint64_t* width, uint64_t* height)
{
    ByteReader text(reinterpret_cast<const uint8_t*>(line), std::strlen(line));
    auto skip_blanks = [&] {
        while (is_white_space(text.peek()))
            text.skip(1);
    };
    skip_blanks();
    if (!read_digits(text, 0xFFFFFFFFu, width) || !is_white_space(text.peek()))
        return false;
    skip_blanks();
    if (!read_digits(text, 0xFFFFFFFFu, height))
        return false;
    skip_blanks();
    return text.at_end();
}

float read_sample(const uint8_t* p, bool little_endian)
{
    const uint32_t bits = little_endian
        ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
        : uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

HRESULT decode_pfm(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason)
{
    ByteReader in(bytes, size);
    const bool colour = in.matches(0, "PF\n", 3);
    if (!colour && !in.matches(0, "Pf\n", 3))
        return E_FAIL;
    in.skip(3);
    char line[kLineLimit + 1];
    uint64_t width, height;
    if (!read_line(in, kLineLimit, line) || !parse_size(line, &width, &height))
        return refuse(reason, E_FAIL, "the size line is not two decimal numbers");
    if (width == 0 || height == 0)
        return refuse(reason, E_FAIL, "size %llu x %llu is empty", static_cast<unsigned long long>(width),
                      static_cast<unsigned long long>(height));
    double scale;
    if (!read_line(in, kLineLimit, line) || !parse_real(line, &scale))
        return refuse(reason, E_FAIL, "the scale line is not a decimal number");
    const bool little_endian = scale < 0; // the magnitude is not applied

    uint64_t image_bytes;
    HRESULT hr = decoded_image_size(width, height, 16 * width, &image_bytes, reason);
    if (FAILED(hr))
        return hr;
    const unsigned samples = colour ? 3 : 1;
    const uint64_t pixel_count = width * height; // below 2^26 after the check above
    const uint8_t* data;
    if (!in.read(pixel_count * samples * 4, &data))
        return refuse(reason, E_FAIL, "truncated in the samples");

    describe_image(image, D3DFMT_A32B32G32R32F, static_cast<UINT>(width), static_cast<UINT>(height),
                   static_cast<UINT>(16 * width));
    if (!image->want_pixels)
        return S_OK;

    BYTE* out = allocate_image_pixels(image, static_cast<size_t>(image_bytes));
    if (!out)
        return E_OUTOFMEMORY;
    for (uint64_t r = 0; r < height; ++r) {
        float* dst = reinterpret_cast<float*>(out + (height - 1 - r) * 16 * width);
        const uint8_t* src = data + r * width * samples * 4;
        for (uint64_t x = 0; x < width; ++x, dst += 4, src += samples * 4) {
            dst[0] = read_sample(src, little_endian);
            dst[1] = colour ? read_sample(src + 4, little_endian) : dst[0];
            dst[2] = colour ? read_sample(src + 8, little_endian) : dst[0];
            dst[3] = 1.0f;
        }
    }
    return S_OK;
}
