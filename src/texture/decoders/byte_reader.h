// Bounds-checked reads from untrusted file bytes, shared by every decoder.
// Each read states how many bytes it needs and fails cleanly, reading
// nothing, when they are not all there. The reader has a cursor for
// sequential formats and offset-based reads for fixed headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    size_t size() const { return size_; }
    const uint8_t* data() const { return data_; }

    // True when `count` bytes starting at `offset` lie inside the block.
    bool has(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }

    // The `count` bytes at `offset`, or null when they are not all present.
    const uint8_t* at(uint64_t offset, uint64_t count) const { return has(offset, count) ? data_ + offset : nullptr; }

    bool u8(uint64_t offset, uint8_t* value) const
    {
        if (!has(offset, 1))
            return false;
        *value = data_[offset];
        return true;
    }

    bool u16le(uint64_t offset, uint16_t* value) const
    {
        if (!has(offset, 2))
            return false;
        const uint8_t* p = data_ + offset;
        *value = static_cast<uint16_t>(p[0] | p[1] << 8);
        return true;
    }

    bool u32le(uint64_t offset, uint32_t* value) const
    {
        if (!has(offset, 4))
            return false;
        const uint8_t* p = data_ + offset;
        *value = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        return true;
    }

    bool s16le(uint64_t offset, int32_t* value) const
    {
        uint16_t v;
        if (!u16le(offset, &v))
            return false;
        *value = static_cast<int16_t>(v);
        return true;
    }

    bool s32le(uint64_t offset, int32_t* value) const
    {
        uint32_t v;
        if (!u32le(offset, &v))
            return false;
        *value = static_cast<int32_t>(v);
        return true;
    }

    // True when the bytes at `offset` equal the `count` bytes of `text`.
    bool matches(uint64_t offset, const char* text, size_t count) const
    {
        return has(offset, count) && std::memcmp(data_ + offset, text, count) == 0;
    }

    // Cursor reads: each advances past what it read, and only when it succeeds.
    size_t position() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool at_end() const { return pos_ == size_; }

    bool seek(uint64_t offset)
    {
        if (offset > size_)
            return false;
        pos_ = static_cast<size_t>(offset);
        return true;
    }

    bool skip(uint64_t count)
    {
        if (count > remaining())
            return false;
        pos_ += static_cast<size_t>(count);
        return true;
    }

    bool read_u8(uint8_t* value)
    {
        if (!u8(pos_, value))
            return false;
        ++pos_;
        return true;
    }

    // Points `bytes` at the next `count` bytes and moves past them.
    bool read(uint64_t count, const uint8_t** bytes)
    {
        const uint8_t* p = at(pos_, count);
        if (!p)
            return false;
        *bytes = p;
        pos_ += static_cast<size_t>(count);
        return true;
    }

    // The next byte without moving, or -1 at the end.
    int peek() const { return pos_ < size_ ? data_[pos_] : -1; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
