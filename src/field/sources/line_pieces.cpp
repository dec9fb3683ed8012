#include "field/sources/line_pieces.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "field/sources/number_parsing.h"
#include "field/sources/usual_lines.h"

using namespace text_numbers;

namespace {

std::atomic<bool> g_wide_scan_allowed{true};

// The rest of a line too long to read, passed over up to the end of the
// piece at p: where the next piece starts, and whether the line goes on.
[[gnu::always_inline]] inline const char* past_long_line(const char* p, const char* limit, bool& in_long_line)
{
    const void* newline = std::memchr(p, '\n', static_cast<std::size_t>(limit - p));
    in_long_line = !newline;
    return newline ? static_cast<const char*>(newline) + 1 : limit;
}

// A piece that fills its bound without ending its line: past fgets'
// pieces, a line too long to read.
[[gnu::always_inline]] inline bool fills_its_bound(const char* p, const char* next, const char* limit,
                                                   std::size_t piece_bytes)
{
    return next == limit && std::size_t(limit - p) == piece_bytes && limit[-1] != '\n';
}

// Every piece of [begin, end), which starts at a piece start and ends at a
// piece end or at the end of the data; the points into `partial`, through
// the `points` scratch.
template <class Scan>
ChunkCounts parse_pieces(const char* begin, const char* end, Columns columns, std::size_t piece_bytes,
                         const ChunkSink& sink, void* partial, std::vector<Point>& points)
{
    // Past fgets' pieces, a piece that fills its bound without a line feed
    // is a line too long to read: rejected once, its rest passed over.
    const bool whole_lines = piece_bytes > kPieceBytes;
    bool in_long_line = false;
    // A decimal comma would be read as two numbers by the quick scans. With
    // a separator, the first two columns are still read as two plain numbers
    // where they are (the usual line of a CSV file, at full speed), and a
    // line they do not read goes to the fields' parser.
    const bool first_two = columns.x == 1 && columns.y == 2 && !columns.decimal_comma;
    const bool fields = columns.separator != 0;
    usual_lines::LayoutMemo layouts;
    ChunkCounts counts;
    // The points are held here until a batch is full.
    if (points.size() < kBatchPoints)
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
        const char* limit = p + std::min<std::size_t>(piece_bytes, static_cast<std::size_t>(end - p));
        if (in_long_line) {
            p = past_long_line(p, limit, in_long_line);
            continue;
        }
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
                parse_pair(p, limit, x, y, stop, true) || (fields && parse_fields(p, limit, columns, x, y, stop));
            // Lines to come may be laid out alike.
            if (got && end - p >= usual_lines::kLayoutReadable)
                layouts.learn<Scan>(p, classes, usual ? &layout : nullptr);
        } else {
            // As above: two plain numbers first, then the fields.
            got = fields
                ? (first_two && parse_pair(p, limit, x, y, stop)) || parse_fields(p, limit, columns, x, y, stop)
                : first_two ? parse_pair(p, limit, x, y, stop)
                            : parse_columns(p, limit, columns, x, y, stop);
        }
        if (!next) {
            // Parsing never passes a line feed, so the piece's line feed,
            // if it has one, lies at or after where the parse stopped:
            // usually right there.
            const char* from = got ? stop : p;
            const void* newline = std::memchr(from, '\n', static_cast<std::size_t>(limit - from));
            next = newline ? static_cast<const char*>(newline) + 1 : limit;
        }
        const bool too_long = whole_lines && fills_its_bound(p, next, limit, piece_bytes);
        if (too_long) {
            counts.reject(counts.pieces, counts.points > 0);
            in_long_line = true;
        } else if (got) {
            points[held] = Point{x, y};
            ++counts.points;
            hold();
        } else if (!is_blank_or_comment(p, limit)) {
            counts.reject(counts.pieces, counts.points > 0);
        }
        p = next;
    }
    if (held > 0)
        sink.take(sink.context, partial, points.data(), held);
    return counts;
}

// The pieces of a chunk whose points bring values too (a weight, a value
// to average): each piece read by the columns' general parser, the points
// and their values handed over side by side. The usual two-column lines
// never come here.
ChunkCounts parse_valued_pieces(const char* begin, const char* end, Columns columns, std::size_t piece_bytes,
                                const ChunkSink& sink, void* partial, std::vector<Point>& points)
{
    const bool whole_lines = piece_bytes > kPieceBytes;
    bool in_long_line = false;
    int wanted[4] = {columns.x, columns.y, 0, 0};
    int count = 2;
    const int weight_place = columns.weight > 0 ? count++ : -1;
    const int value_place = columns.value > 0 ? count++ : -1;
    if (weight_place >= 0)
        wanted[weight_place] = columns.weight;
    if (value_place >= 0)
        wanted[value_place] = columns.value;
    thread_local std::vector<PointValues> values;
    if (points.size() < kBatchPoints)
        points.resize(kBatchPoints);
    values.resize(kBatchPoints);
    std::size_t held = 0;
    ChunkCounts counts;
    for (const char* p = begin; p != end;) {
        const char* limit = p + std::min<std::size_t>(piece_bytes, static_cast<std::size_t>(end - p));
        if (in_long_line) {
            p = past_long_line(p, limit, in_long_line);
            continue;
        }
        ++counts.pieces;
        double read[4];
        const char* stop = p;
        const bool got = columns.separator != 0 ? parse_field_values(p, limit, columns, wanted, count, read, stop)
                                                : parse_column_values(p, limit, wanted, count, read, stop);
        const char* from = got ? stop : p;
        const void* newline = std::memchr(from, '\n', static_cast<std::size_t>(limit - from));
        const char* next = newline ? static_cast<const char*>(newline) + 1 : limit;
        const bool too_long = whole_lines && fills_its_bound(p, next, limit, piece_bytes);
        if (too_long) {
            counts.reject(counts.pieces, counts.points > 0);
            in_long_line = true;
        } else if (got) {
            points[held] = Point{read[0], read[1]};
            values[held] =
                PointValues{weight_place >= 0 ? read[weight_place] : 1.0, value_place >= 0 ? read[value_place] : 0.0};
            ++counts.points;
            if (++held == kBatchPoints) {
                sink.take_values(sink.context, partial, points.data(), values.data(), held);
                held = 0;
            }
        } else if (!is_blank_or_comment(p, limit)) {
            counts.reject(counts.pieces, counts.points > 0);
        }
        p = next;
    }
    if (held > 0)
        sink.take_values(sink.context, partial, points.data(), values.data(), held);
    return counts;
}

#if defined(__x86_64__)
// Compiled for AVX2 as a whole, so that the wide scan's vector code can
// stand in the loop itself.
[[gnu::target("avx2"), gnu::flatten]] ChunkCounts parse_pieces_wide(const char* begin, const char* end, Columns columns,
                                                                    std::size_t piece_bytes, const ChunkSink& sink,
                                                                    void* partial, std::vector<Point>& points)
{
    return parse_pieces<usual_lines::WideScan>(begin, end, columns, piece_bytes, sink, partial, points);
}
#endif

} // namespace

const char* piece_end(const char* start, const char* end, std::size_t piece_bytes)
{
    std::size_t room = std::min<std::size_t>(piece_bytes, static_cast<std::size_t>(end - start));
    const void* newline = std::memchr(start, '\n', room);
    return newline ? static_cast<const char*>(newline) + 1 : start + room;
}

std::size_t whole_pieces(const char* text, std::size_t size, std::size_t piece_bytes)
{
    const void* last = memrchr(text, '\n', size);
    return last ? static_cast<std::size_t>(static_cast<const char*>(last) - text) + 1
                : size / piece_bytes * piece_bytes;
}

ChunkCounts parse_text_chunk(const char* begin, const char* end, Columns columns, std::size_t piece_bytes,
                             const ChunkSink& sink, void* partial, std::vector<Point>& points)
{
    if (columns.has_values() && sink.take_values)
        return parse_valued_pieces(begin, end, columns, piece_bytes, sink, partial, points);
#if defined(__x86_64__)
    static const bool has_avx2 = __builtin_cpu_supports("avx2");
    if (has_avx2 && g_wide_scan_allowed.load(std::memory_order_relaxed))
        return parse_pieces_wide(begin, end, columns, piece_bytes, sink, partial, points);
#endif
    return parse_pieces<usual_lines::PlainScan>(begin, end, columns, piece_bytes, sink, partial, points);
}

void set_point_reader_wide_scan(bool allowed) { g_wide_scan_allowed.store(allowed); }
