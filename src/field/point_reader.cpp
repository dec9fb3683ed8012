#include "field/point_reader.h"

#include "field/data_file.h"
#include "field/usual_lines.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <bit>
#include <atomic>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <utility>
#include <vector>

namespace {

// fgets with a 1024-byte buffer hands out at most this many bytes per read.
constexpr std::size_t kPieceBytes = 1023;

// Text a thread parses at a time: enough that handing a chunk over costs
// next to nothing beside parsing it.
constexpr std::size_t kChunkBytes = std::size_t(4) << 20;
// How often a read asks its watch whether to go on.
constexpr std::size_t kWatchBytes = std::size_t(1) << 20;
std::atomic<std::size_t> g_chunk_bytes{kChunkBytes};

// scanf's white space in the "C" locale but for the line feed, which always
// ends a piece.
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

using usual_lines::is_separator;

inline bool is_hex_digit(char c) { return is_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c; }

locale_t c_locale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

bool has_exponent(const char* begin, const char* end)
{
    for (; begin != end; ++begin)
        if (lower(*begin) == 'e')
            return true;
    return false;
}

// Matches the letters of `word` case-insensitively at p.
bool match_word(const char*& p, const char* end, const char* word)
{
    for (; *word; ++word, ++p)
        if (p == end || lower(*p) != *word)
            return false;
    return true;
}

// The hexadecimal form, which fast_float does not read: collect the
// characters scanf would take, then let strtod (in the "C" locale) convert
// them. p points at the "0x" after any sign.
[[gnu::noinline]] bool scan_hex(const char*& p, const char* end, const char* number_start, double& value)
{
    const char* q = p + 2;
    bool got_digit = false, got_dot = false, got_exp = false;
    while (q != end) {
        char c = *q;
        if (!got_exp && is_hex_digit(c)) {
            got_digit = true;
        } else if (got_exp && is_digit(c)) {
        } else if (got_exp && (c == '+' || c == '-') && lower(q[-1]) == 'p') {
        } else if (got_digit && !got_exp && lower(c) == 'p') {
            got_exp = got_dot = true;
        } else if (!got_dot && c == '.') {
            got_dot = true;
        } else {
            break;
        }
        ++q;
    }
    // Nothing after the prefix: scanf refuses "0x" alone.
    if (q == p + 2)
        return false;
    char text[kPieceBytes + 1];
    std::size_t length = static_cast<std::size_t>(q - number_start);
    std::memcpy(text, number_start, length);
    text[length] = '\0';
    char* parsed_end = nullptr;
    value = strtod_l(text, &parsed_end, c_locale());
    if (parsed_end == text)
        return false;
    p = q;
    return true;
}

// One conversion of scanf's %lf at p (white space already skipped). On
// success p moves past every character scanf consumes, which can be more
// than the number itself: "1e+" is consumed whole and read as 1.
// `quick_tried` says the quick scans have already failed on this line, so
// that neither is tried again: the general parser then takes the number.
[[gnu::always_inline]] inline bool scan_double(const char*& p, const char* end, double& value, bool quick_tried = false)
{
    // The usual number, well before the piece's end, first.
    if (!quick_tried && end - p >= usual_lines::kReadableBytes) {
        using usual_lines::PlainScan;
        const bool negative = *p == '-';
        int i = negative || *p == '+';
        double magnitude;
        if (usual_lines::scan_decimal<PlainScan, true>(p, PlainScan::classify(p), i, magnitude)) {
            value = negative ? -magnitude : magnitude;
            p += i;
            return true;
        }
    }
    const char* q = p;
    bool negative = false;
    if (q != end && (*q == '+' || *q == '-')) {
        negative = *q == '-';
        ++q;
    }
    if (q == end)
        return false;
    char c = lower(*q);
    if (c == 'n') {
        ++q;
        if (!match_word(q, end, "an"))
            return false;
        value = negative ? -NAN : NAN;
        p = q;
        return true;
    }
    if (c == 'i') {
        ++q;
        if (!match_word(q, end, "nf"))
            return false;
        // "inf" may go on to "infinity", but once it does it must get there.
        if (q != end && lower(*q) == 'i') {
            ++q;
            if (!match_word(q, end, "nity"))
                return false;
        }
        value = negative ? -HUGE_VAL : HUGE_VAL;
        p = q;
        return true;
    }
    if (c == '0' && q + 1 != end && lower(q[1]) == 'x')
        return scan_hex(q, end, p, value) ? (p = q, true) : false;
    if (!is_digit(c) && c != '.')
        return false;

    double magnitude;
    auto result = fast_float::from_chars(q, end, magnitude);
    if (result.ec != std::errc())
        return false;
    // scanf also swallows a dangling exponent mark and its sign, unless the
    // number already has an exponent.
    const char* number_end = result.ptr;
    if (number_end != end && lower(*number_end) == 'e' && !has_exponent(q, number_end)) {
        q = number_end + 1;
        if (q != end && (*q == '+' || *q == '-'))
            ++q;
    } else {
        q = number_end;
    }
    value = negative ? -magnitude : magnitude;
    p = q;
    return true;
}

// The white space after a column, and one comma or semicolon in it.
inline void skip_separation(const char*& p, const char* end)
{
    while (p != end && is_blank(*p))
        ++p;
    if (p != end && is_separator(*p)) {
        ++p;
        while (p != end && is_blank(*p))
            ++p;
    }
}

// Two numbers from one piece, as sscanf "%lf %lf", but that one comma or
// semicolon may stand between them. Parsing stops at the first line feed,
// which is where the piece ends anyway.
// On success `stop` is where the second number ended.
[[gnu::always_inline]] inline bool parse_pair(const char* p, const char* end, double& x, double& y, const char*& stop,
                                              bool quick_tried = false)
{
    while (p != end && is_blank(*p))
        ++p;
    if (!scan_double(p, end, x, quick_tried))
        return false;
    skip_separation(p, end);
    if (!scan_double(p, end, y, quick_tried))
        return false;
    stop = p;
    return true;
}

// x and y from the chosen columns of one piece; a column that is not
// wanted is any text up to the next separation.
bool parse_columns(const char* p, const char* end, Columns columns, double& x, double& y, const char*& stop)
{
    const int last = std::max(columns.x, columns.y);
    bool got_x = false, got_y = false;
    while (p != end && is_blank(*p))
        ++p;
    for (int column = 1; column <= last; ++column) {
        if (column > 1)
            skip_separation(p, end);
        if (p == end || *p == '\n')
            return false;
        if (column == columns.x || column == columns.y) {
            double value;
            if (!scan_double(p, end, value))
                return false;
            // A number must end its column.
            if (p != end && !is_blank(*p) && !is_separator(*p) && *p != '\n')
                return false;
            if (column == columns.x) {
                x = value;
                got_x = true;
            }
            if (column == columns.y) {
                y = value;
                got_y = true;
            }
        } else {
            while (p != end && !is_blank(*p) && !is_separator(*p) && *p != '\n')
                ++p;
        }
    }
    stop = p;
    return got_x && got_y;
}

// Text that is no point but no mistake either: nothing, or a comment.
bool is_blank_or_comment(const char* p, const char* end)
{
    while (p != end && is_blank(*p))
        ++p;
    return p == end || *p == '\n' || *p == '#';
}

// What one chunk's pieces held besides their points.
struct PieceCounts {
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
};

// End of the piece that starts at `start`: just past its line feed, or
// kPieceBytes on, or the end of the data, whichever comes first.
const char* piece_end(const char* start, const char* end)
{
    std::size_t room = std::min<std::size_t>(kPieceBytes, static_cast<std::size_t>(end - start));
    const void* newline = std::memchr(start, '\n', room);
    return newline ? static_cast<const char*>(newline) + 1 : start + room;
}

// Points go to the sink this many at a time, while they are still in the
// cache.
constexpr std::size_t kBatchPoints = 4096;

// Every piece of [begin, end), which starts at a piece start and ends at a
// piece end or at the end of the data; the points into `partial`, through
// the `points` scratch.
template <class Scan>
PieceCounts parse_pieces(const char* begin, const char* end, Columns columns, const ChunkSink& sink, void* partial,
                         std::vector<Point>& points)
{
    const bool first_two = columns.x == 1 && columns.y == 2;
    usual_lines::LayoutMemo layouts;
    PieceCounts counts;
    // The points are held here until a batch is full.
    points.resize(kBatchPoints);
    std::size_t held = 0;
    const auto hold = [&] {
        if (++held == kBatchPoints) {
            sink.take(sink.context, partial, points.data(), held);
            held = 0;
        }
    };
    for (const char* p = begin; p != end;) {
        if (first_two) {
            // Lines laid out as lines already met, one after another: each
            // is a piece and a point, read straight into the batch.
            long long laid_out = 0;
            while (end - p >= usual_lines::kLayoutReadable) {
                if (!layouts.read<Scan>(p, points[held].x, points[held].y, p))
                    break;
                ++laid_out;
                hold();
            }
            counts.pieces += laid_out;
            counts.points += laid_out;
            if (p == end)
                break;
        }
        const char* limit = p + std::min<std::size_t>(kPieceBytes, static_cast<std::size_t>(end - p));
        ++counts.pieces;
        double x, y;
        const char* stop = p;
        const char* next = nullptr; // the next piece's start, when already known
        bool got;
        if (first_two && limit - p >= usual_lines::kReadableBytes) {
            // Where this line ends comes from the same compares as its
            // numbers, so the next line need not wait on parsing this one.
            const usual_lines::ByteClasses classes = Scan::classify(p);
            if (classes.line_feeds)
                next = p + std::countr_zero(classes.line_feeds) + 1;
            usual_lines::LineLayout layout;
            const bool usual = usual_lines::scan_pair<Scan>(p, classes, x, y, stop, &layout);
            got = usual || usual_lines::scan_pair<Scan, true>(p, classes, x, y, stop) ||
                parse_pair(p, limit, x, y, stop, true);
            // Lines to come may be laid out alike.
            if (got && end - p >= usual_lines::kLayoutReadable)
                layouts.learn<Scan>(p, classes, usual ? &layout : nullptr);
        } else {
            got = first_two ? parse_pair(p, limit, x, y, stop) : parse_columns(p, limit, columns, x, y, stop);
        }
        if (got) {
            points[held] = Point{x, y};
            ++counts.points;
            hold();
        } else if (!is_blank_or_comment(p, limit)) {
            counts.reject(counts.pieces, counts.points > 0);
        }
        if (!next) {
            // Parsing never passes a line feed, so the piece's line feed,
            // if it has one, lies at or after where the parse stopped:
            // usually right there.
            const char* from = got ? stop : p;
            const void* newline = std::memchr(from, '\n', static_cast<std::size_t>(limit - from));
            next = newline ? static_cast<const char*>(newline) + 1 : limit;
        }
        p = next;
    }
    if (held > 0)
        sink.take(sink.context, partial, points.data(), held);
    return counts;
}

#if defined(__x86_64__)
// Compiled for AVX2 as a whole, so that the wide scan's vector code can
// stand in the loop itself.
[[gnu::target("avx2"), gnu::flatten]] PieceCounts parse_pieces_wide(const char* begin, const char* end, Columns columns,
                                                                    const ChunkSink& sink, void* partial,
                                                                    std::vector<Point>& points)
{
    return parse_pieces<usual_lines::WideScan>(begin, end, columns, sink, partial, points);
}
#endif

std::atomic<bool> g_wide_scan_allowed{true};

// Every piece of a chunk, the usual lines taken the widest way the
// processor allows.
PieceCounts parse_chunk(const char* begin, const char* end, Columns columns, const ChunkSink& sink, void* partial,
                        std::vector<Point>& points)
{
#if defined(__x86_64__)
    static const bool has_avx2 = __builtin_cpu_supports("avx2");
    if (has_avx2 && g_wide_scan_allowed.load(std::memory_order_relaxed))
        return parse_pieces_wide(begin, end, columns, sink, partial, points);
#endif
    return parse_pieces<usual_lines::PlainScan>(begin, end, columns, sink, partial, points);
}

// A growable byte buffer whose new bytes are left as they are: read
// buffers are filled by fread, and zeroing a megabyte before every read
// costs more than it looks.
class Bytes {
public:
    char* data() { return bytes_.get(); }
    const char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }
    void swap(Bytes& other) noexcept
    {
        bytes_.swap(other.bytes_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

    void resize(std::size_t size)
    {
        if (size > capacity_) {
            std::size_t capacity = std::max(size, 2 * capacity_);
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

// Bytes at the front of `text` that make whole pieces, when more text may
// follow: up to the last line feed, or without one, pieces of kPieceBytes.
std::size_t whole_pieces(const char* text, std::size_t size)
{
    const void* last = memrchr(text, '\n', size);
    return last ? static_cast<std::size_t>(static_cast<const char*>(last) - text) + 1
                : size / kPieceBytes * kPieceBytes;
}

// The stream cut into chunks that each hold whole pieces. Text is taken a
// block at a time; a chunk is what was left over from the last one and one
// block more, cut after its last whole piece (everything at the end of the
// stream). A plain file is mapped, and its blocks are taken from the mapping
// just as they would be read, so a file is cut the same way however it
// comes.
class ChunkSource {
public:
    ChunkSource(std::FILE* stream, ReadWatch watch, std::size_t block)
        : stream_(stream), watch_(watch), block_(block), mapped_(stream)
    {
        take_block(&carry_);
    }

    bool at_end() const { return at_end_; }
    bool done() const { return at_end_ && pending_size() == 0; }
    bool stopped() const { return stopped_; }
    bool mapped() const { return mapped_.mapped(); }

    // Discards up to n pieces from the start of the stream.
    void skip_pieces(long long n)
    {
        std::size_t start = 0;
        while (n > 0) {
            if (pending_size() - start < kPieceBytes && !at_end_) {
                drop_pending(start);
                start = 0;
                take_block(&carry_);
            }
            if (pending_size() == start)
                break;
            const char* p = pending() + start;
            start = static_cast<std::size_t>(piece_end(p, pending() + pending_size()) - pending());
            --n;
        }
        drop_pending(start);
    }

    // The next chunk's text: in `storage` for a stream that is read, in the
    // mapping for a mapped file.
    std::pair<const char*, const char*> next_chunk(Bytes& storage)
    {
        if (mapped()) {
            if (!at_end_)
                take_block(nullptr);
            const std::size_t whole = at_end_ ? pending_size() : whole_pieces(pending(), pending_size());
            const char* begin = pending();
            next_ += whole;
            return {begin, begin + whole};
        }
        storage.swap(carry_);
        carry_.clear();
        if (!at_end_)
            take_block(&storage);
        const std::size_t whole = at_end_ ? storage.size() : whole_pieces(storage.data(), storage.size());
        carry_.assign(storage.data() + whole, storage.data() + storage.size());
        storage.resize(whole);
        return {storage.data(), storage.data() + whole};
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
    void take_block(Bytes* text)
    {
        if (stopped_)
            return;
        const std::size_t old = mapped() ? 0 : text->size();
        if (!mapped())
            text->resize(old + block_);
        // The watch is asked once a megabyte, whatever the chunk size.
        std::size_t got = 0;
        while (got < block_) {
            const std::size_t want = std::min(kWatchBytes, block_ - got);
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
    MappedDataFile mapped_;
    Bytes carry_;           // a read stream's pending text
    std::size_t next_ = 0;  // a mapped file's pending text starts here
    std::size_t taken_ = 0; // and ends here
    bool at_end_ = false;
    bool stopped_ = false;
};

// Chunks are parsed, each into its own partial, on worker threads while the
// caller's thread cuts the text ahead and adds the partials into the total
// strictly in file order. A few chunks per thread are in flight at once, so
// memory stays bounded whatever the file's length.
class ParallelReader {
public:
    // Room for every thread to parse one chunk while the caller cuts the
    // next and adds the oldest.
    ParallelReader(Columns columns, unsigned threads, ChunkSink sink)
        : ring_(threads + 2), columns_(columns), sink_(sink)
    {
    }

    ~ParallelReader()
    {
        stop();
        for (Chunk& chunk : ring_)
            if (chunk.partial)
                sink_.destroy(sink_.context, chunk.partial);
    }

    bool start(unsigned workers)
    {
        try {
            for (unsigned i = 0; i < workers; ++i)
                threads_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            stop();
            return false;
        }
        return true;
    }

    ReadCounts run(ChunkSource& source)
    {
        long long filled = 0;
        while (!source.done()) {
            if (filled >= ring_size())
                deliver(filled - ring_size());
            Chunk& chunk = ring_[static_cast<std::size_t>(filled % ring_size())];
            // Partials are made as slots are first used: a small file needs one.
            if (!chunk.partial)
                chunk.partial = sink_.make(sink_.context);
            std::tie(chunk.begin, chunk.end) = source.next_chunk(chunk.storage);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                chunk.state = Chunk::Filled;
                last_filled_ = filled;
            }
            work_ready_.notify_one();
            ++filled;
        }
        for (long long k = std::max(0LL, filled - ring_size()); k < filled; ++k)
            deliver(k);
        counts_.stopped = source.stopped();
        return counts_;
    }

private:
    long long ring_size() const { return static_cast<long long>(ring_.size()); }

    struct Chunk {
        enum State { Free, Filled, Parsing, Parsed };
        State state = Free;
        Bytes storage; // the text, when the stream is read rather than mapped
        const char* begin = nullptr;
        const char* end = nullptr;
        void* partial = nullptr;
        std::vector<Point> points; // scratch
        PieceCounts counts;
    };

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        work_ready_.notify_all();
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
    }

    void deliver(long long sequence)
    {
        Chunk& chunk = ring_[static_cast<std::size_t>(sequence % ring_size())];
        {
            // Rather than wait, this thread parses the next chunk nobody
            // has taken yet; with no workers it parses them all.
            std::unique_lock<std::mutex> lock(mutex_);
            while (chunk.state != Chunk::Parsed) {
                if (next_to_parse_ <= last_filled_) {
                    Chunk& other = claim_next();
                    lock.unlock();
                    parse(other);
                    lock.lock();
                    other.state = Chunk::Parsed;
                    parsed_.notify_all();
                } else {
                    parsed_.wait(lock);
                }
            }
        }
        if (chunk.counts.points > 0)
            sink_.add(sink_.context, chunk.partial);
        add_counts(chunk.counts);
        std::lock_guard<std::mutex> lock(mutex_);
        chunk.state = Chunk::Free;
    }

    // In file order. Text without a point before any point or other such
    // text (comments and blank lines aside) is a header, not a rejected line.
    void add_counts(const PieceCounts& c)
    {
        long long rejected = c.rejected;
        int first = 0;
        if (c.rejected > 0 && !c.point_before_rejected && counts_.points == 0 && counts_.rejected_lines == 0 &&
            !counts_.header) {
            counts_.header = true;
            --rejected;
            first = 1;
        }
        if (rejected > 0 && counts_.first_rejected_line == 0)
            counts_.first_rejected_line = pieces_before_ + c.first_rejected[first];
        counts_.rejected_lines += rejected;
        counts_.points += c.points;
        pieces_before_ += c.pieces;
    }

    // Takes the oldest filled chunk for parsing; the lock is held.
    Chunk& claim_next()
    {
        Chunk& chunk = ring_[static_cast<std::size_t>(next_to_parse_++ % ring_size())];
        chunk.state = Chunk::Parsing;
        return chunk;
    }

    void parse(Chunk& chunk)
    {
        chunk.counts = parse_chunk(chunk.begin, chunk.end, columns_, sink_, chunk.partial, chunk.points);
    }

    void work()
    {
        for (;;) {
            Chunk* chunk;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_ready_.wait(lock, [&] { return closing_ || next_to_parse_ <= last_filled_; });
                if (next_to_parse_ > last_filled_)
                    return;
                chunk = &claim_next();
            }
            parse(*chunk);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                chunk->state = Chunk::Parsed;
            }
            parsed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable parsed_;
    std::vector<Chunk> ring_;
    long long last_filled_ = -1;
    long long next_to_parse_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
    const Columns columns_;
    const ChunkSink sink_;
    ReadCounts counts_;
    long long pieces_before_ = 0; // delivered so far
};

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
        kept->clear();
    }
    static void destroy(void*, void* partial) { delete static_cast<std::vector<Point>*>(partial); }
};

} // namespace

bool parse_point(const char* begin, const char* end, Point* point)
{
    const char* stop;
    return parse_pair(begin, end, point->x, point->y, stop);
}

void set_point_reader_chunk_bytes(std::size_t bytes) { g_chunk_bytes.store(bytes ? bytes : kChunkBytes); }

void set_point_reader_wide_scan(bool allowed) { g_wide_scan_allowed.store(allowed); }

ReadCounts read_chunks(std::FILE* stream, int skip_lines, ChunkSink sink, Columns columns, ReadWatch watch,
                       unsigned threads)
{
    ChunkSource source(stream, watch, g_chunk_bytes.load());
    source.skip_pieces(skip_lines);

    // This thread cuts, parses and adds; from the second chunk on, the
    // other threads parse ahead. Without threads to be had it all happens
    // here.
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    const unsigned workers = source.at_end() ? 0 : threads - 1;
    ParallelReader reader(columns, workers + 1, sink);
    if (!reader.start(workers))
        reader.start(0);
    return reader.run(source);
}

ReadCounts read_points(std::FILE* stream, int skip_lines, PointSink sink, Columns columns, ReadWatch watch,
                       unsigned threads)
{
    return read_chunks(
        stream, skip_lines,
        ChunkSink{OrderedPoints::make, OrderedPoints::take, OrderedPoints::add, OrderedPoints::destroy, &sink}, columns,
        watch, threads);
}
