// Where the reader's chunks come from. A source cuts its input into chunks
// on the caller's thread and parses any chunk on any thread; the ring of
// threads in chunk_ring.h runs it, so that each kind of input is one
// source and the field never learns where its points came from.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <cstring>
#include <algorithm>
#include <vector>

#include "field/sources/point_reading.h"

// What one chunk held besides its points: its pieces (lines, or records of
// a binary source), those without a point, and where the first two of those lie.
struct ChunkCounts {
    long long pieces = 0;
    long long points = 0;
    long long rejected = 0;
    long long first_rejected[2] = {0, 0}; // the first two, counted from 1 within the chunk
    bool point_before_rejected = false;   // a point came before the first of them
    void reject(long long piece, bool after_point)
    {
        if (rejected == 0)
            point_before_rejected = after_point;
        if (rejected < 2)
            first_rejected[rejected] = piece;
        ++rejected;
    }
    // The counts of the next part of the same chunk added, as one chunk's.
    void add(const ChunkCounts& next)
    {
        for (long long k = 0; k < next.rejected && rejected + k < 2; ++k)
            first_rejected[rejected + k] = pieces + next.first_rejected[k];
        if (rejected == 0 && next.rejected > 0)
            point_before_rejected = points > 0 || next.point_before_rejected;
        pieces += next.pieces;
        points += next.points;
        rejected += next.rejected;
    }
};

// A growable byte buffer whose new bytes are left as they are: read
// buffers are filled by fread, and zeroing a megabyte before every read
// costs more than it looks.
class ChunkBytes {
public:
    char* data() { return bytes_.get(); }
    const char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }
    void swap(ChunkBytes& other) noexcept
    {
        bytes_.swap(other.bytes_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

    void resize(std::size_t size)
    {
        if (size > capacity_) {
            // A slot's chunks are all about one size: a little room over
            // the size asked, not twice it, keeps a ring's memory bounded.
            std::size_t capacity = std::max(size + size / 8, capacity_ + capacity_ / 8);
            std::unique_ptr<char[]> grown(new char[capacity]);
            if (size_)
                std::memcpy(grown.get(), bytes_.get(), size_);
            bytes_ = std::move(grown);
            capacity_ = capacity;
        }
        size_ = size;
    }

    void assign(const char* begin, const char* end)
    {
        std::size_t n = static_cast<std::size_t>(end - begin);
        size_ = 0;
        resize(n);
        if (n)
            std::memmove(bytes_.get(), begin, n);
    }

    // Drops the first n bytes.
    void drop_front(std::size_t n)
    {
        std::memmove(bytes_.get(), bytes_.get() + n, size_ - n);
        size_ -= n;
    }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// One chunk's bytes: in a slot's ChunkBytes, or in memory the source keeps
// (a mapped file) until it is destroyed.
struct ChunkText {
    const char* begin = nullptr;
    const char* end = nullptr;
};

class PointSource {
public:
    virtual ~PointSource() = default;

    // Every byte of the input has been taken: a source that is all in its
    // first chunk needs no other thread.
    virtual bool all_taken() const = 0;
    // Every chunk has been handed out.
    virtual bool done() const = 0;
    // The watch ended the read before the end of the input.
    virtual bool stopped() const = 0;
    // The input changed under the read, so that what was read is not it;
    // asked once every chunk has been parsed.
    virtual bool changed() const { return false; }
    // The next chunk, on the caller's thread; `storage` is the slot's.
    virtual ChunkText next_chunk(ChunkBytes& storage) = 0;
    // The chunk's bytes are no longer wanted (its partial has been added):
    // a mapped file's pages can go back, so that reading a large file does
    // not hold it all in the process's memory.
    virtual void done_with(ChunkText) {}
    // A chunk's points into `partial` through the sink, `points` as
    // scratch; on several threads at once, each with chunks of its own.
    virtual ChunkCounts parse(ChunkText chunk, const ChunkSink& sink, void* partial,
                              std::vector<Point>& points) const = 0;
};
