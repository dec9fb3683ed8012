// Portable pixmaps: "P6" (binary samples) and "P3" (decimal samples).
#include "texture/decoders/byte_reader.h"
#include "texture/decoders/checked_size.h"
#include "texture/decoders/image_decoders.h"
#include "texture/decoders/text_scan.h"

namespace {

void skip_space_and_comments(ByteReader& in)
{
    for (;;) {
        const int c = in.peek();
        if (is_white_space(c)) {
            in.skip(1);
        } else if (c == '#') {
            while (in.peek() >= 0 && in.peek() != '\n')
                in.skip(1);
        } else {
            return;
        }
    }
}

// A decimal number after white space and comments; anything but white space
// directly after its digits spoils it.
bool read_number(ByteReader& in, uint64_t* value)
{
    skip_space_and_comments(in);
    if (!read_digits(in, 0xFFFFFFFFu, value))
        return false;
    return in.at_end() || is_white_space(in.peek());
}

BYTE scale_sample(uint64_t sample, uint64_t max_value)
{
    if (sample > max_value) // out-of-range samples are taken as full intensity
        sample = max_value;
    return static_cast<BYTE>(sample * 255 / max_value);
}

void put_pixel(BYTE* dst, BYTE red, BYTE green, BYTE blue)
{
    dst[0] = blue;
    dst[1] = green;
    dst[2] = red;
    dst[3] = 255;
}

} // namespace

HRESULT decode_ppm(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason)
{
    ByteReader in(bytes, size);
    const bool binary = in.matches(0, "P6", 2);
    if (!binary && !in.matches(0, "P3", 2))
        return E_FAIL;
    in.skip(2);
    uint64_t header[3]; // width, height, maximum value
    const char* const kHeaderNames[3] = {"width", "height", "maximum value"};
    for (int i = 0; i < 3; ++i) {
        if (!read_number(in, &header[i]))
            return refuse(reason, E_FAIL, "%s is not a decimal number below 2^32", kHeaderNames[i]);
        if (header[i] == 0)
            return refuse(reason, E_FAIL, "%s is 0", kHeaderNames[i]);
    }
    const uint64_t width = header[0], height = header[1], max_value = header[2];
    if (binary && max_value > 255)
        return refuse(reason, E_FAIL, "maximum value %llu exceeds 255 in a binary file",
                      static_cast<unsigned long long>(max_value));

    uint64_t image_bytes;
    HRESULT hr = decoded_image_size(width, height, 4 * width, &image_bytes, reason);
    if (FAILED(hr))
        return hr;
    const uint64_t pixel_count = width * height; // below 2^28 after the check above
    const uint8_t* raster = nullptr;
    if (binary) {
        uint8_t first;
        if (in.read_u8(&first) && first == '\r')
            in.skip(1);
        if (!in.read(3 * pixel_count, &raster))
            return refuse(reason, E_FAIL, "truncated in the pixel data");
    }

    describe_image(image, D3DFMT_X8R8G8B8, static_cast<UINT>(width), static_cast<UINT>(height),
                   static_cast<UINT>(4 * width));
    if (!image->want_pixels)
        return S_OK;

    BYTE* out = allocate_image_pixels(image, static_cast<size_t>(image_bytes));
    if (!out)
        return E_OUTOFMEMORY;
    for (uint64_t i = 0; i < pixel_count; ++i) {
        BYTE rgb[3];
        for (int k = 0; k < 3; ++k) {
            uint64_t sample;
            if (binary)
                sample = raster[3 * i + k];
            else if (!read_number(in, &sample))
                return refuse(reason, E_FAIL, "sample %llu of %llu is missing or not a decimal number",
                              static_cast<unsigned long long>(3 * i + k + 1),
                              static_cast<unsigned long long>(3 * pixel_count));
            rgb[k] = scale_sample(sample, max_value);
        }
        put_pixel(out + 4 * i, rgb[0], rgb[1], rgb[2]);
    }
    return S_OK;
}
