// The points of the last file read, kept in memory within a budget, chunk
// by chunk as the reader cut them: a fitted range bins them after its
// bounds pass, and a zoom bins them again, instead of parsing the file
// once more. Binned chunk by chunk, each into a partial added in order,
// they give the very bits a read of the file gives.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "field/large_pages.h"
#include "field/sources/point_reading.h"
#include "field/sources/point_source.h"

// What the kept points were read from and how: a file changed on disk
// (its size or time of change), or read with other columns or pieces,
// gives other points.
struct KeptPointsKey {
    std::string path;
    unsigned long long device = 0, inode = 0;
    long long size = 0;
    long long changed_ns = 0; // the time of the last change, in nanoseconds
    int skip_lines = 0;
    Columns columns;
    std::size_t piece_bytes = 0;
    bool operator==(const KeptPointsKey& other) const;
};

// The key of a regular file as it is now; false for anything else (a pipe,
// a database's address, a file that cannot be looked at), which is never kept.
bool kept_points_key(const std::string& path, int skip_lines, const Columns& columns, std::size_t piece_bytes,
                     KeptPointsKey* key);

// One chunk's points, and their values where the read had them. Points
// that are short decimals, as most text files write them, are held as
// their digits (decimal_points.h): half the bytes, which on some machines
// cost more to get than parsing them. The chunk holds doubles from the
// first point that is not such a decimal.
struct KeptChunk {
    std::vector<Point, LargePageAllocator<Point>> points;
    std::vector<std::int32_t, LargePageAllocator<std::int32_t>> digits; // x and y in turn, at `places`
    int places[2] = {0, 0};
    std::vector<PointValues, LargePageAllocator<PointValues>> values;

    std::size_t size() const { return points.empty() ? digits.size() / 2 : points.size(); }
};

// Bytes of points a read may keep: a quarter of the physical memory unless
// set (tests set less); 0 sets the default again.
std::size_t kept_points_budget();
void set_kept_points_budget(std::size_t bytes);

class KeptPoints {
public:
    // Drops what was kept and keeps the next read's points for `key`
    // (with their values when `values`). Where `beginning`, a read its
    // watch stops keeps the points of the chunks it cut whole: the file's
    // beginning, which a read going on from there completes.
    void start(const KeptPointsKey& key, bool values, bool beginning = false);
    // Whether the read under way still keeps (it may have passed the
    // budget); asked on the reading threads.
    bool keeping() const { return keeping_.load(std::memory_order_relaxed); }
    bool with_values() const { return values_; }
    // One chunk's points, on the caller's thread in chunk order; past the
    // budget everything kept goes and the read keeps no more.
    void add_chunk(KeptChunk chunk);
    // The read ended with these counts: the points are whole unless it
    // was stopped or the file changed under it.
    void finish(const ReadCounts& read);
    // Drops everything (a read that failed part way).
    void clear();
    // Whether every point of a read with this key is held.
    bool holds(const KeptPointsKey& key) const { return whole_ && key == key_; }
    // Whether the points of a stopped read's beginning are held, read()
    // saying where it stopped.
    bool holds_beginning(const KeptPointsKey& key) const { return beginning_ && read_.stopped && key == key_; }

    const std::vector<KeptChunk>& chunks() const { return chunks_; }
    const ReadCounts& read() const { return read_; }
    std::size_t bytes() const { return bytes_; }
    // About how many points a chunk holds, for a new chunk's room.
    std::size_t usual_chunk() const { return usual_chunk_.load(std::memory_order_relaxed); }

private:
    KeptPointsKey key_;
    std::vector<KeptChunk> chunks_;
    ReadCounts read_;
    std::size_t bytes_ = 0;
    bool values_ = false;
    bool beginning_ = false; // a stopped read keeps what it read
    bool whole_ = false;
    std::atomic<bool> keeping_{false};
    std::atomic<std::size_t> usual_chunk_{0};
};

// A chunk's point (and its values) into the chunk, where the read keeps.
void keep_points(const KeptPoints& kept, KeptChunk& chunk, const Point* points, const PointValues* values,
                 std::size_t count);

// The kept points as a source, chunk for chunk as they were read; the
// points are handed out with their values where they have them.
std::unique_ptr<PointSource> kept_point_source(const KeptPoints& kept);
