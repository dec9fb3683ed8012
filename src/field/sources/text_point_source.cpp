#include "field/sources/text_point_source.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "field/sources/data_file.h"
#include "field/sources/line_pieces.h"

namespace {

// How often a read asks its watch whether to go on.
constexpr std::size_t kTextWatchBytes = std::size_t(1) << 20;

class TextPointSource final : public PointSource {
public:
    TextPointSource(std::FILE* stream, ReadWatch watch, std::size_t block, Columns columns, std::size_t piece_bytes)
        : stream_(stream), watch_(watch), block_(block), columns_(columns), piece_bytes_(piece_bytes), mapped_(stream)
    {
        take_block(&carry_);
    }

    bool all_taken() const override { return at_end_; }
    bool done() const override { return at_end_ && pending_size() == 0; }
    bool stopped() const override { return stopped_; }
    bool mapped() const { return mapped_.mapped(); }
    bool changed() const override { return mapped_.changed(); }
    void done_with(ChunkText chunk) override { mapped_.let_go(chunk.begin, chunk.end); }

    // Discards UTF-8's byte-order mark, where the stream begins with it.
    void skip_byte_order_mark()
    {
        if (pending_size() >= 3 && std::memcmp(pending(), "\xEF\xBB\xBF", 3) == 0)
            drop_pending(3);
    }

    // Discards up to n pieces from the start of the stream.
    void skip_pieces(long long n)
    {
        std::size_t start = 0;
        while (n > 0) {
            if (pending_size() - start < piece_bytes_ && !at_end_) {
                drop_pending(start);
                start = 0;
                take_block(&carry_);
            }
            if (pending_size() == start)
                break;
            const char* p = pending() + start;
            start = static_cast<std::size_t>(piece_end(p, pending() + pending_size(), piece_bytes_) - pending());
            --n;
        }
        drop_pending(start);
    }

    // Passes over the next n chunks.
    void skip_chunks(long long n)
    {
        ChunkBytes scratch;
        for (; n > 0 && !done(); --n)
            done_with(next_chunk(scratch));
    }

    // The next chunk's text: in `storage` for a stream that is read, in the
    // mapping for a mapped file.
    ChunkText next_chunk(ChunkBytes& storage) override
    {
        if (mapped()) {
            if (!at_end_)
                take_block(nullptr);
            const std::size_t whole = at_end_ ? pending_size() : whole_pieces(pending(), pending_size(), piece_bytes_);
            const char* begin = pending();
            next_ += whole;
            return ChunkText{begin, begin + whole};
        }
        storage.swap(carry_);
        carry_.clear();
        if (!at_end_)
            take_block(&storage);
        const std::size_t whole = at_end_ ? storage.size() : whole_pieces(storage.data(), storage.size(), piece_bytes_);
        carry_.assign(storage.data() + whole, storage.data() + storage.size());
        storage.resize(whole);
        return ChunkText{storage.data(), storage.data() + whole};
    }

    // A mapped file's chunk is parsed a block of whole lines at a time,
    // each copied out of the file into the scratch after the points'
    // batch; a line longer than a block ends that, and the rest of the
    // chunk is parsed where it is mapped.
    ChunkCounts parse(ChunkText chunk, const ChunkSink& sink, void* partial, std::vector<Point>& points) const override
    {
        if (!mapped() || chunk.begin < mapped_.data() || chunk.end > mapped_.data() + mapped_.size())
            return parse_text_chunk(chunk.begin, chunk.end, columns_, piece_bytes_, sink, partial, points);
        // No more scratch than the chunk needs: each new page costs a fault.
        const std::size_t block = std::min(kCopyBytes, static_cast<std::size_t>(chunk.end - chunk.begin));
        points.resize(kBatchPoints + (block + sizeof(Point) - 1) / sizeof(Point));
        char* const buffer = reinterpret_cast<char*>(points.data() + kBatchPoints);
        ChunkCounts counts;
        for (const char* at = chunk.begin; at != chunk.end;) {
            std::size_t size = std::min(block, static_cast<std::size_t>(chunk.end - at));
            const char* text = mapped_.copy(at, at + size, buffer) ? buffer : at;
            if (at + size != chunk.end) {
                const void* last = memrchr(text, '\n', size);
                if (!last) {
                    counts.add(parse_text_chunk(at, chunk.end, columns_, piece_bytes_, sink, partial, points));
                    break;
                }
                size = static_cast<std::size_t>(static_cast<const char*>(last) - text) + 1;
            }
            counts.add(parse_text_chunk(text, text + size, columns_, piece_bytes_, sink, partial, points));
            at += size;
        }
        return counts;
    }

private:
    // The text taken but not yet handed out.
    const char* pending() const { return mapped() ? mapped_.data() + next_ : carry_.data(); }
    std::size_t pending_size() const { return mapped() ? taken_ - next_ : carry_.size(); }
    void drop_pending(std::size_t n)
    {
        if (mapped())
            next_ += n;
        else
            carry_.drop_front(n);
    }

    // One block more, or what is left of it; read onto the end of `text`
    // unless the file is mapped.
    void take_block(ChunkBytes* text)
    {
        if (stopped_)
            return;
        const std::size_t old = mapped() ? 0 : text->size();
        if (!mapped())
            text->resize(old + block_);
        // The watch is asked once a megabyte, whatever the chunk size.
        std::size_t got = 0;
        while (got < block_) {
            const std::size_t want = std::min(kTextWatchBytes, block_ - got);
            std::size_t n;
            if (mapped()) {
                n = std::min(want, mapped_.size() - taken_);
                taken_ += n;
                mapped_.take(n);
            } else {
                n = std::fread(text->data() + old + got, 1, want, stream_);
            }
            got += n;
            if (n < want)
                break;
            // Stopped, the text not yet handed out is dropped: a cut line
            // would count as a point or a rejected line that is not in the file.
            if (watch_.go_on && !watch_.go_on(watch_.context)) {
                stopped_ = at_end_ = true;
                if (!mapped())
                    text->clear();
                carry_.clear();
                next_ = taken_;
                return;
            }
        }
        if (!mapped())
            text->resize(old + got);
        at_end_ = got < block_;
    }

    std::FILE* stream_;
    ReadWatch watch_;
    std::size_t block_; // bytes taken at a time, about a chunk
    Columns columns_;
    std::size_t piece_bytes_; // kPieceBytes, or kLongestLine
    MappedDataFile mapped_;
    ChunkBytes carry_;      // a read stream's pending text
    std::size_t next_ = 0;  // a mapped file's pending text starts here
    std::size_t taken_ = 0; // and ends here
    bool at_end_ = false;
    bool stopped_ = false;
};

} // namespace

std::unique_ptr<PointSource> open_text_source(std::FILE* stream, ReadWatch watch, std::size_t block, Columns columns,
                                              int skip_lines, std::size_t piece_bytes, long long skip_chunks)
{
    auto source = std::make_unique<TextPointSource>(stream, watch, block, columns, piece_bytes);
    if (columns.byte_order_mark)
        source->skip_byte_order_mark();
    source->skip_pieces(skip_lines);
    source->skip_chunks(skip_chunks);
    return source;
}
