// Test helpers: image files written byte by byte, and the decoded rows read
// back without row padding.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "texture/decoders/decoded_image.h"

// An image file under construction; every call appends.
class Bytes {
public:
    Bytes& u8(std::initializer_list<int> values)
    {
        const size_t at = bytes_.size();
        bytes_.resize(at + values.size());
        size_t i = at;
        for (int v : values)
            bytes_[i++] = static_cast<uint8_t>(v);
        return *this;
    }
    Bytes& le16(uint32_t v) { return u8({int(v & 0xFF), int(v >> 8 & 0xFF)}); }
    Bytes& le32(uint32_t v) { return le16(v & 0xFFFF).le16(v >> 16); }
    Bytes& be16(uint32_t v) { return u8({int(v >> 8 & 0xFF), int(v & 0xFF)}); }
    Bytes& be32(uint32_t v) { return be16(v >> 16).be16(v & 0xFFFF); }
    Bytes& text(const std::string& s)
    {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& append(const Bytes& other)
    {
        bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
        return *this;
    }
    Bytes& repeat(int value, size_t count)
    {
        bytes_.insert(bytes_.end(), count, static_cast<uint8_t>(value));
        return *this;
    }
    Bytes& f32le(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return le32(v);
    }
    Bytes& f32be(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return be32(v);
    }
    // Overwrites a little-endian 32-bit value already written.
    Bytes& patch_le32(size_t offset, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
        return *this;
    }
    Bytes& truncate(size_t size)
    {
        bytes_.resize(size);
        return *this;
    }

    const uint8_t* data() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& vector() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// The image's rows (of the first slice), top row first, each without padding.
inline std::vector<uint8_t> rows_of(const DecodedImage& image)
{
    std::vector<uint8_t> out;
    const size_t row_bytes = decoded_row_bytes(&image);
    for (UINT r = 0; r < decoded_row_count(&image); ++r) {
        const uint8_t* row = image.pixels + size_t(r) * image.row_pitch;
        out.insert(out.end(), row, row + row_bytes);
    }
    return out;
}

// The image's pixels read as floats (A32B32G32R32F images).
inline std::vector<float> floats_of(const DecodedImage& image)
{
    const std::vector<uint8_t> bytes = rows_of(image);
    std::vector<float> out(bytes.size() / 4);
    std::memcpy(out.data(), bytes.data(), out.size() * 4);
    return out;
}

inline std::vector<uint8_t> palette_of(const DecodedImage& image)
{
    return std::vector<uint8_t>(image.palette, image.palette + 1024);
}

// The owning image with the tests' two shorthands: decode a file built in
// the test, or run one decoder on its own.
class ScopedImage : public OwnedImage {
public:
    HRESULT decode(const Bytes& file, bool want_pixels = true, DecodeReason* reason = nullptr)
    {
        return OwnedImage::decode(file.data(), file.size(), want_pixels, reason);
    }

    // Prepares the image the way decode_image does for each decoder.
    template <typename Decoder>
    HRESULT run(Decoder decoder, const Bytes& file, bool want_pixels = true)
    {
        reset();
        get()->want_pixels = want_pixels;
        DecodeReason reason{};
        return decoder(get(), file.data(), file.size(), &reason);
    }
};

inline std::vector<uint8_t> u8s(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}
