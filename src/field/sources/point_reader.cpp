#include "field/sources/point_reader.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "field/sources/chunk_ring.h"
#include "field/sources/data_file.h"
#include "field/sources/npy_point_source.h"
#include "field/sources/text_point_source.h"

namespace {

// Text a thread parses at a time: enough that handing a chunk over costs
// next to nothing beside parsing it.
constexpr std::size_t kChunkBytes = std::size_t(4) << 20;
std::atomic<std::size_t> g_chunk_bytes{kChunkBytes};

// Ordered delivery as chunks: a chunk's partial is its points, handed to
// the point sink when the partial is added.
struct OrderedPoints {
    static void* make(void*) { return new std::vector<Point>; }
    static void take(void*, void* partial, const Point* points, std::size_t count)
    {
        auto* kept = static_cast<std::vector<Point>*>(partial);
        kept->insert(kept->end(), points, points + count);
    }
    static void add(void* context, void* partial)
    {
        auto* kept = static_cast<std::vector<Point>*>(partial);
        const PointSink& sink = *static_cast<const PointSink*>(context);
        sink.take(sink.context, kept->data(), kept->size());
    }
    static void clear(void*, void* partial) { static_cast<std::vector<Point>*>(partial)->clear(); }
    static void destroy(void*, void* partial) { delete static_cast<std::vector<Point>*>(partial); }
};

} // namespace

void set_point_reader_chunk_bytes(std::size_t bytes) { g_chunk_bytes.store(bytes ? bytes : kChunkBytes); }

std::size_t point_reader_chunk_bytes() { return g_chunk_bytes.load(); }

ReadCounts read_chunks(std::FILE* stream, int skip_lines, ChunkSink sink, Columns columns, ReadWatch watch,
                       unsigned threads, std::size_t piece_bytes, const ReadCounts* before)
{
    // An array is known by its first bytes; anything else is text, which
    // gets again what was read off a stream to see so.
    std::string head;
    std::unique_ptr<PointSource> source =
        open_npy_source(stream, watch, g_chunk_bytes.load(), columns, skip_lines, &head);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> replay(nullptr, std::fclose);
    ReadCounts failed;
    failed.changed = true;
    // Gone on with, an array (whose reads never are) would count twice.
    if (source && before)
        return failed;
    if (!source && !head.empty()) {
        replay.reset(replay_data_stream(stream, std::move(head), false));
        if (!replay)
            return failed;
    }
    if (!source)
        source = open_text_source(replay ? replay.get() : stream, watch, g_chunk_bytes.load(), columns, skip_lines,
                                  piece_bytes, before ? before->chunks : 0);
    return read_source(*source, sink, threads, before);
}

ReadCounts read_points(std::FILE* stream, int skip_lines, PointSink sink, Columns columns, ReadWatch watch,
                       unsigned threads, std::size_t piece_bytes)
{
    return read_chunks(stream, skip_lines,
                       ChunkSink{OrderedPoints::make, OrderedPoints::take, OrderedPoints::add, OrderedPoints::clear,
                                 OrderedPoints::destroy, &sink},
                       columns, watch, threads, piece_bytes);
}
