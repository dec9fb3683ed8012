#include "field/sources/npy_point_source.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "field/sources/data_file.h"
#include "texture/decoders/byte_reader.h"

namespace {

constexpr char kMagic[] = "\x93NUMPY";
constexpr std::size_t kMagicBytes = 6;
// A header is a short dictionary; more than this is no array we would read.
constexpr std::uint32_t kMostHeaderBytes = 1u << 20;
constexpr std::size_t kWatchBytes = std::size_t(1) << 20;
constexpr std::size_t kBatchRecords = 16384;
// Bytes of records read before their pages are let go.
constexpr std::size_t kLetGoBytes = std::size_t(16) << 20;

// A Python literal as the header writes it: strings, integers, booleans,
// tuples or lists, and one dictionary. A dictionary's values are its items,
// with their keys beside them: a pair of a key and a Literal would need the
// type complete inside itself.
struct Literal {
    enum Type { text, whole, truth, sequence, dictionary } type = text;
    std::string word;
    unsigned long long number = 0;
    std::vector<Literal> items;
    std::vector<std::string> keys;
};

class LiteralParser {
public:
    LiteralParser(const char* begin, const char* end) : p_(begin), end_(end) {}

    bool whole(Literal& value)
    {
        if (!parse(value, 0))
            return false;
        skip_space();
        return p_ == end_;
    }

private:
    void skip_space()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\t' || *p_ == '\r'))
            ++p_;
    }
    bool take(char c)
    {
        skip_space();
        if (p_ < end_ && *p_ == c) {
            ++p_;
            return true;
        }
        return false;
    }
    bool word(const char* w)
    {
        const std::size_t n = std::strlen(w);
        if (std::size_t(end_ - p_) < n || std::memcmp(p_, w, n) != 0)
            return false;
        p_ += n;
        return true;
    }
    bool string(std::string& out)
    {
        const char quote = *p_++;
        while (p_ < end_ && *p_ != quote) {
            if (*p_ == '\\' && ++p_ == end_)
                return false;
            out += *p_++;
        }
        return p_ < end_ && *p_++ == quote;
    }
    bool integer(unsigned long long& out)
    {
        out = 0;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
            const unsigned digit = unsigned(*p_++ - '0');
            if (out > (~0ull - digit) / 10)
                return false;
            out = out * 10 + digit;
        }
        if (p_ < end_ && *p_ == 'L') // as Python 2 wrote long integers
            ++p_;
        return true;
    }
    // Items up to `close`, a trailing comma allowed.
    bool items(Literal& value, char close, int depth)
    {
        if (take(close))
            return true;
        for (;;) {
            Literal item;
            if (value.type == Literal::dictionary) {
                Literal key;
                if (!parse(key, depth + 1) || key.type != Literal::text || !take(':') || !parse(item, depth + 1))
                    return false;
                value.keys.push_back(std::move(key.word));
            } else if (!parse(item, depth + 1)) {
                return false;
            }
            value.items.push_back(std::move(item));
            if (take(close))
                return true;
            if (!take(','))
                return false;
            if (take(close))
                return true;
        }
    }
    bool parse(Literal& value, int depth)
    {
        skip_space();
        if (p_ == end_ || depth > 8)
            return false;
        const char c = *p_;
        if (c == '\'' || c == '"') {
            value.type = Literal::text;
            return string(value.word);
        }
        if (c >= '0' && c <= '9') {
            value.type = Literal::whole;
            return integer(value.number);
        }
        if (word("True") || word("False")) {
            value.type = Literal::truth;
            value.number = p_[-1] == 'e' && p_[-2] == 'u';
            return true;
        }
        ++p_;
        if (c == '{') {
            value.type = Literal::dictionary;
            return items(value, '}', depth);
        }
        if (c == '(' || c == '[') {
            value.type = Literal::sequence;
            return items(value, c == '(' ? ')' : ']', depth);
        }
        return false;
    }

    const char* p_;
    const char* end_;
};

const Literal* entry(const Literal& dict, const char* key)
{
    for (std::size_t k = 0; k < dict.keys.size(); ++k)
        if (dict.keys[k] == key)
            return &dict.items[k];
    return nullptr;
}

// A type string such as "<f8", ">i4" or "|u1"; false for any other.
constexpr bool kBigHost = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

bool parse_type(const std::string& type, NpyColumn* column)
{
    if (type.size() != 3)
        return false;
    const char order = type[0], kind = type[1], size = type[2];
    if (std::strchr("<>|=", order) == nullptr || std::strchr("fiu", kind) == nullptr)
        return false;
    const bool float_size = size == '4' || size == '8';
    const bool integer_size = size == '1' || size == '2' || float_size;
    if (kind == 'f' ? !float_size : !integer_size)
        return false;
    // '|' says the order does not matter, which holds for single bytes only.
    if (order == '|' && size != '1')
        return false;
    column->kind = kind;
    column->size = size - '0';
    column->big_endian = order == '>' || (order == '=' && kBigHost);
    return true;
}

bool refuse(std::string* problem, std::string reason)
{
    *problem = std::move(reason);
    return false;
}

// A structured array's fields: ("name", "type") pairs; unnamed void fields
// are padding.
bool parse_fields(const Literal& descr, NpyLayout* layout, std::string* problem)
{
    std::size_t offset = 0;
    for (const Literal& field : descr.items) {
        if (field.type != Literal::sequence || field.items.size() != 2 || field.items[0].type != Literal::text ||
            field.items[1].type != Literal::text)
            return refuse(problem, "descr: a field is not a pair of a name and a type (subarrays are not read)");
        const std::string& type = field.items[1].word;
        std::size_t size = 0;
        NpyColumn column;
        column.name = field.items[0].word;
        if (column.name.empty() && type.size() > 2 && type[0] == '|' && type[1] == 'V') {
            unsigned long long padding = 0;
            for (std::size_t k = 2; k < type.size(); ++k) {
                if (type[k] < '0' || type[k] > '9' || padding > kMostHeaderBytes)
                    return refuse(problem, "descr: padding '" + type + "' is no size");
                padding = padding * 10 + unsigned(type[k] - '0');
            }
            size = padding;
        } else if (parse_type(type, &column)) {
            column.offset = offset;
            size = std::size_t(column.size);
            layout->columns.push_back(column);
        } else {
            return refuse(problem,
                          "field '" + column.name + "' has type '" + type +
                              "', not a float32/64 or an integer of 1 to 8 bytes");
        }
        offset += size;
    }
    if (layout->columns.empty())
        return refuse(problem, "descr: no numeric field");
    layout->record_size = offset;
    layout->structured = true;
    return true;
}

bool parse_dictionary(const Literal& header, NpyLayout* layout, std::string* problem)
{
    const Literal* descr = entry(header, "descr");
    const Literal* fortran = entry(header, "fortran_order");
    const Literal* shape = entry(header, "shape");
    if (!descr || !fortran || !shape)
        return refuse(problem, "the header lacks descr, fortran_order or shape");
    if (fortran->type != Literal::truth)
        return refuse(problem, "fortran_order is no boolean");
    if (shape->type != Literal::sequence)
        return refuse(problem, "shape is no tuple");
    for (const Literal& side : shape->items)
        if (side.type != Literal::whole)
            return refuse(problem, "shape holds something other than whole numbers");
    if (descr->type == Literal::sequence) {
        if (shape->items.size() != 1)
            return refuse(problem,
                          "a structured array must have one dimension, shape has " +
                              std::to_string(shape->items.size()));
        if (!parse_fields(*descr, layout, problem))
            return false;
    } else if (descr->type == Literal::text) {
        NpyColumn column;
        if (!parse_type(descr->word, &column))
            return refuse(problem, "descr '" + descr->word + "' is not a float32/64 or an integer of 1 to 8 bytes");
        if (shape->items.size() != 2)
            return refuse(problem,
                          "the array must have two dimensions (points by columns), shape has " +
                              std::to_string(shape->items.size()));
        const unsigned long long width = shape->items[1].number, records = shape->items[0].number;
        if (width == 0 || width > kMostHeaderBytes)
            return refuse(problem, "shape's " + std::to_string(width) + " columns");
        layout->fortran_order = fortran->number != 0;
        // Stored by columns, a column's values are its records.
        const unsigned long long column_bytes = records * std::size_t(column.size);
        if (layout->fortran_order && (records > SIZE_MAX / std::size_t(column.size) / width))
            return refuse(problem,
                          "shape's " + std::to_string(records) + " records by " + std::to_string(width) +
                              " columns pass what memory can address");
        for (unsigned long long k = 0; k < width; ++k) {
            column.offset = std::size_t(k) * (layout->fortran_order ? column_bytes : std::size_t(column.size));
            layout->columns.push_back(column);
        }
        layout->record_size = (layout->fortran_order ? 1 : std::size_t(width)) * std::size_t(column.size);
    } else {
        return refuse(problem, "descr is neither a type nor a list of fields");
    }
    layout->records = shape->items[0].number;
    return true;
}

template <typename Raw>
Raw swapped(Raw raw)
{
    if constexpr (sizeof(Raw) == 2)
        return __builtin_bswap16(raw);
    else if constexpr (sizeof(Raw) == 4)
        return __builtin_bswap32(raw);
    else if constexpr (sizeof(Raw) == 8)
        return __builtin_bswap64(raw);
    else
        return raw;
}

template <typename Value, typename Raw, bool Swap>
double value_at(const char* p)
{
    Raw raw;
    std::memcpy(&raw, p, sizeof raw);
    if constexpr (Swap)
        raw = swapped(raw);
    Value value;
    std::memcpy(&value, &raw, sizeof value);
    return static_cast<double>(value);
}

using ValueReader = double (*)(const char*);

// Records into points, the readers known when compiled: the loop a
// file of one type runs.
template <ValueReader Read>
void decode_same(const char* records, std::size_t count, std::size_t stride, std::size_t x_offset, std::size_t y_offset,
                 Point* points)
{
    for (std::size_t i = 0; i < count; ++i, records += stride)
        points[i] = Point{Read(records + x_offset), Read(records + y_offset)};
}

// The same for records of just two values, x then y, as a 2-column array
// holds them: a cache line of values at a time, converted as one flat run
// that the compiler turns into vector conversions.
template <typename Value, typename Raw, bool Swap>
void decode_pairs(const char* records, std::size_t count, std::size_t, std::size_t, std::size_t, Point* points)
{
    static_assert(sizeof(Point) == 2 * sizeof(double));
    constexpr std::size_t kValues = 64 / sizeof(Value), kRecord = 2 * sizeof(Value);
    std::size_t i = 0;
    for (; i + kValues / 2 <= count; i += kValues / 2) {
        const char* line = records + i * kRecord;
        Raw raw[kValues];
        std::memcpy(raw, line, sizeof raw);
        double values[kValues];
        for (std::size_t k = 0; k < kValues; ++k) {
            if constexpr (Swap)
                raw[k] = swapped(raw[k]);
            Value value;
            std::memcpy(&value, &raw[k], sizeof value);
            values[k] = static_cast<double>(value);
        }
        std::memcpy(points + i, values, sizeof values);
    }
    for (; i < count; ++i)
        points[i] = Point{value_at<Value, Raw, Swap>(records + i * kRecord),
                          value_at<Value, Raw, Swap>(records + i * kRecord + sizeof(Value))};
}

using Decoder = void (*)(const char*, std::size_t, std::size_t, std::size_t, std::size_t, Point*);

struct TypeEntry {
    char kind;
    int size;
    bool big_endian;
    ValueReader read;
    Decoder decode;
    Decoder decode_pairs;
};

template <typename Value, typename Raw, bool Swap>
constexpr TypeEntry entry_for(char kind, bool big_endian)
{
    return TypeEntry{kind,
                     int(sizeof(Value)),
                     big_endian,
                     value_at<Value, Raw, Swap>,
                     decode_same<value_at<Value, Raw, Swap>>,
                     decode_pairs<Value, Raw, Swap>};
}

#define VARNEL_NPY_TYPES(Value, Raw, kind)                                                                             \
    entry_for<Value, Raw, kBigHost>(kind, false), entry_for<Value, Raw, !kBigHost>(kind, true)

const TypeEntry kTypes[] = {
    VARNEL_NPY_TYPES(float, std::uint32_t, 'f'),         VARNEL_NPY_TYPES(double, std::uint64_t, 'f'),
    VARNEL_NPY_TYPES(std::int8_t, std::uint8_t, 'i'),    VARNEL_NPY_TYPES(std::int16_t, std::uint16_t, 'i'),
    VARNEL_NPY_TYPES(std::int32_t, std::uint32_t, 'i'),  VARNEL_NPY_TYPES(std::int64_t, std::uint64_t, 'i'),
    VARNEL_NPY_TYPES(std::uint8_t, std::uint8_t, 'u'),   VARNEL_NPY_TYPES(std::uint16_t, std::uint16_t, 'u'),
    VARNEL_NPY_TYPES(std::uint32_t, std::uint32_t, 'u'), VARNEL_NPY_TYPES(std::uint64_t, std::uint64_t, 'u'),
};

#undef VARNEL_NPY_TYPES

const TypeEntry& type_of(const NpyColumn& column)
{
    for (const TypeEntry& type : kTypes)
        if (type.kind == column.kind && type.size == column.size && type.big_endian == column.big_endian)
            return type;
    return kTypes[0]; // parse_type lets no other through
}

class NpyPointSource final : public PointSource {
public:
    // Over a mapped file (mapped, stream null), or read from a stream that
    // stands just after the header (a pipe, a decompressed file, a file
    // that could not be mapped).
    NpyPointSource(std::unique_ptr<MappedDataFile> mapped, std::FILE* stream, const NpyLayout& layout, bool refused,
                   ReadWatch watch, std::size_t block, Columns columns, long long skip_records)
        : mapped_(std::move(mapped)),
          stream_(stream),
          watch_(watch),
          stride_(layout.record_size),
          refused_(refused),
          fortran_(layout.fortran_order)
    {
        // Stored by columns, an array is read in place or not at all: a
        // stream would have to be held whole.
        refused_ = refused_ || (fortran_ && stream_);
        if (refused_)
            return;
        const NpyColumn& x = layout.columns[std::size_t(columns.x - 1)];
        const NpyColumn& y = layout.columns[std::size_t(columns.y - 1)];
        x_offset_ = x.offset;
        y_offset_ = y.offset;
        read_x_ = type_of(x).read;
        read_y_ = type_of(y).read;
        same_ = read_x_ == read_y_ ? type_of(x).decode : nullptr;
        // The values' columns; one not asked for stands for x, and is not read.
        const int chosen[4] = {columns.x, columns.y, columns.weight > 0 ? columns.weight : columns.x,
                               columns.value > 0 ? columns.value : columns.x};
        for (int k = 0; k < 4; ++k) {
            const NpyColumn& column = layout.columns[std::size_t(chosen[k] - 1)];
            offsets_[k] = column.offset;
            readers_[k] = type_of(column).read;
        }
        has_weight_ = columns.weight > 0;
        has_value_ = columns.value > 0;
        if (same_ && x.offset == 0 && y.offset == std::size_t(x.size) && stride_ == 2 * std::size_t(x.size))
            same_ = type_of(x).decode_pairs;
        // Records of two native doubles are points as they lie; of two
        // native floats, pairs a sink may bin as they lie.
        const auto native = [](const NpyColumn& c, int size) {
            return c.kind == 'f' && c.size == size && c.big_endian == kBigHost;
        };
        as_points_ = native(x, 8) && native(y, 8) && x.offset == offsetof(Point, x) && y.offset == offsetof(Point, y) &&
            stride_ == sizeof(Point);
        float_pairs_ = !fortran_ && native(x, 4) && native(y, 4) && x.offset == 0 && y.offset == 4 && stride_ == 8;
        block_ = std::max<std::size_t>(block / stride_, 1) * stride_;
        if (stream_) {
            start_streaming(layout, skip_records);
            return;
        }
        // A file cut below its header's count is read to its last whole
        // record and then counts as changed.
        const std::size_t data_bytes = mapped_->size() - layout.data_offset;
        const std::size_t last_column = fortran_ ? *std::max_element(std::begin(offsets_), std::end(offsets_)) : 0;
        const unsigned long long held = data_bytes >= last_column ? (data_bytes - last_column) / stride_ : 0;
        short_ = held < layout.records;
        const unsigned long long records = std::min(held, layout.records);
        next_ = layout.data_offset +
            std::size_t(std::min<unsigned long long>(records, std::max(skip_records, 0ll))) * stride_;
        end_ = layout.data_offset + std::size_t(records) * stride_;
        mapped_->take(next_);
    }

    // Records are read where they are mapped: on large folios of the page
    // cache that costs less than copying them out with pread (a fitted
    // range's bounds pass took a third of the load as a copy, a tenth
    // read in place). The pages read leave the process's memory (each
    // column's run in an array stored by columns) some chunks at a time:
    // letting pages go stops every thread of the process a moment, and
    // chunk by chunk that cost two threads a tenth of their speed-up.
    void done_with(ChunkText chunk) override
    {
        if (!mapped_ || chunk.begin == chunk.end)
            return;
        if (!read_from_ || chunk.begin != read_to_)
            read_from_ = chunk.begin;
        read_to_ = chunk.end;
        if (std::size_t(read_to_ - read_from_) < kLetGoBytes && read_to_ != mapped_->data() + end_)
            return;
        if (!fortran_)
            mapped_->let_go(read_from_, read_to_);
        else
            for (const std::size_t offset : offsets_)
                mapped_->let_go(read_from_ + offset, read_to_ + offset);
        read_from_ = nullptr;
    }

    bool all_taken() const override { return next_ == end_; }
    bool done() const override { return next_ == end_; }
    bool stopped() const override { return stopped_; }
    bool changed() const override { return refused_ || short_ || (mapped_ && mapped_->changed()); }

    ChunkText next_chunk(ChunkBytes& storage) override
    {
        if (stream_)
            return next_read_chunk(storage);
        const char* begin = mapped_->data() + next_;
        const std::size_t size = std::min(block_, end_ - next_);
        // The watch is asked once a megabyte, whatever the chunk size.
        for (std::size_t got = 0; got < size;) {
            const std::size_t step = std::min(kWatchBytes, size - got);
            mapped_->take(step);
            got += step;
            if (got < size && watch_.go_on && !watch_.go_on(watch_.context)) {
                stopped_ = true;
                next_ = end_;
                return ChunkText{begin, begin};
            }
        }
        next_ += size;
        if (next_ < end_ && watch_.go_on && !watch_.go_on(watch_.context)) {
            stopped_ = true;
            next_ = end_;
            return ChunkText{begin, begin};
        }
        return ChunkText{begin, begin + size};
    }

    ChunkCounts parse(ChunkText chunk, const ChunkSink& sink, void* partial, std::vector<Point>& points) const override
    {
        if ((has_weight_ || has_value_) && sink.take_values)
            return parse_valued(chunk, sink, partial, points);
        ChunkCounts counts;
        const std::size_t records = std::size_t(chunk.end - chunk.begin) / stride_;
        const std::size_t batch = batch_records(records);
        points.resize(batch);
        for (std::size_t first = 0; first < records; first += batch) {
            const std::size_t count = std::min(batch, records - first);
            const char* at = chunk.begin + first * stride_;
            if (as_points_ && reinterpret_cast<std::uintptr_t>(at) % alignof(Point) == 0) {
                sink.take(sink.context, partial, reinterpret_cast<const Point*>(at), count);
                continue;
            }
            if (float_pairs_ && sink.take_float_pairs && reinterpret_cast<std::uintptr_t>(at) % alignof(float) == 0) {
                sink.take_float_pairs(sink.context, partial, reinterpret_cast<const float*>(at), count);
                continue;
            }
            if (same_) {
                same_(at, count, stride_, x_offset_, y_offset_, points.data());
            } else {
                for (std::size_t i = 0; i < count; ++i, at += stride_)
                    points[i] = Point{read_x_(at + x_offset_), read_y_(at + y_offset_)};
            }
            sink.take(sink.context, partial, points.data(), count);
        }
        counts.pieces = counts.points = static_cast<long long>(records);
        return counts;
    }

private:
    // Records a batch takes: no more than the chunk's, so that a small
    // file's scratch is small (each new page of it costs a fault, which on
    // some machines costs more than the records).
    std::size_t batch_records(std::size_t records) const { return std::clamp<std::size_t>(records, 1, kBatchRecords); }

    // Records with their values: each of the four columns read by its
    // own reader, a batch at a time as parse reads the points alone.
    ChunkCounts parse_valued(ChunkText chunk, const ChunkSink& sink, void* partial, std::vector<Point>& points) const
    {
        const std::size_t records = std::size_t(chunk.end - chunk.begin) / stride_;
        const std::size_t batch = batch_records(records);
        points.resize(batch);
        thread_local std::vector<PointValues> values;
        values.resize(batch);
        for (std::size_t first = 0; first < records; first += batch) {
            const std::size_t count = std::min(batch, records - first);
            const char* at = chunk.begin + first * stride_;
            for (std::size_t i = 0; i < count; ++i, at += stride_) {
                points[i] = Point{readers_[0](at + offsets_[0]), readers_[1](at + offsets_[1])};
                values[i] = PointValues{has_weight_ ? readers_[2](at + offsets_[2]) : 1.0,
                                        has_value_ ? readers_[3](at + offsets_[3]) : 0.0};
            }
            sink.take_values(sink.context, partial, points.data(), values.data(), count);
        }
        ChunkCounts counts;
        counts.pieces = counts.points = static_cast<long long>(records);
        return counts;
    }

    // Offsets count the records' bytes from the first, as they come off
    // the stream; a count past what memory can address is read until the
    // stream ends, which is then short of it.
    void start_streaming(const NpyLayout& layout, long long skip_records)
    {
        const std::size_t most = SIZE_MAX / stride_;
        end_ = std::size_t(std::min<unsigned long long>(layout.records, most)) * stride_;
        short_ = layout.records > most;
        const unsigned long long skipped = std::min<unsigned long long>(std::max(skip_records, 0ll), layout.records);
        std::vector<char> passed(std::min<std::size_t>(block_, std::size_t(1) << 20));
        for (unsigned long long left = std::min<unsigned long long>(skipped, most) * stride_; left > 0;) {
            const std::size_t want = std::size_t(std::min<unsigned long long>(left, passed.size()));
            const std::size_t got = std::fread(passed.data(), 1, want, stream_);
            next_ += got;
            left -= got;
            if (got < want) {
                end_short();
                return;
            }
        }
    }

    // The stream ended (or failed) before the header's count of records:
    // what came is read, and the read counts as not the array's.
    void end_short()
    {
        short_ = true;
        next_ = end_ = next_ / stride_ * stride_;
    }

    ChunkText next_read_chunk(ChunkBytes& storage)
    {
        const std::size_t want = std::min(block_, end_ - next_);
        storage.resize(want);
        std::size_t got = 0;
        // The watch is asked once a megabyte, whatever the chunk size.
        while (got < want) {
            const std::size_t step = std::min(kWatchBytes, want - got);
            const std::size_t n = std::fread(storage.data() + got, 1, step, stream_);
            got += n;
            if (n < step)
                break;
            if (got < want && watch_.go_on && !watch_.go_on(watch_.context)) {
                stopped_ = true;
                next_ = end_;
                return ChunkText{storage.data(), storage.data()};
            }
        }
        const std::size_t whole = got / stride_ * stride_;
        next_ += whole;
        if (got < want) {
            end_short();
        } else if (next_ < end_ && watch_.go_on && !watch_.go_on(watch_.context)) {
            stopped_ = true;
            next_ = end_;
            return ChunkText{storage.data(), storage.data()};
        }
        return ChunkText{storage.data(), storage.data() + whole};
    }

    std::unique_ptr<MappedDataFile> mapped_;
    // The records read since pages were last let go.
    const char* read_from_ = nullptr;
    const char* read_to_ = nullptr;
    std::FILE* stream_;
    ReadWatch watch_;
    std::size_t stride_;
    bool refused_;
    bool fortran_;
    bool short_ = false;
    bool stopped_ = false;
    std::size_t next_ = 0, end_ = 0, block_ = 0;
    std::size_t x_offset_ = 0, y_offset_ = 0;
    ValueReader read_x_ = nullptr, read_y_ = nullptr;
    Decoder same_ = nullptr;
    bool as_points_ = false;
    bool float_pairs_ = false;
    // x, y, the weight and the value: where each stands in a record, and its reader.
    std::size_t offsets_[4] = {};
    ValueReader readers_[4] = {};
    bool has_weight_ = false, has_value_ = false;
};

} // namespace

bool is_npy(const void* bytes, std::size_t size)
{
    return size >= kMagicBytes && std::memcmp(bytes, kMagic, kMagicBytes) == 0;
}

bool parse_npy_header(const void* bytes, std::size_t size, NpyLayout* layout, std::string* problem)
{
    *layout = NpyLayout{};
    const ByteReader reader(static_cast<const std::uint8_t*>(bytes), size);
    std::uint8_t major = 0, minor = 0;
    if (!is_npy(bytes, size) || !reader.u8(6, &major) || !reader.u8(7, &minor))
        return refuse(problem, "no .npy magic at the start");
    std::uint32_t header_size = 0;
    std::size_t header_start = 0;
    if (major == 1) {
        std::uint16_t short_size = 0;
        if (!reader.u16le(8, &short_size))
            return refuse(problem, "the file ends inside its preamble");
        header_size = short_size;
        header_start = 10;
    } else if (major == 2 || major == 3) {
        if (!reader.u32le(8, &header_size))
            return refuse(problem, "the file ends inside its preamble");
        header_start = 12;
    } else {
        return refuse(problem,
                      "format version " + std::to_string(major) + "." + std::to_string(minor) +
                          " (1.0 to 3.0 are read)");
    }
    if (header_size > kMostHeaderBytes)
        return refuse(problem, "a header of " + std::to_string(header_size) + " bytes");
    const auto* text = reinterpret_cast<const char*>(reader.at(header_start, header_size));
    if (!text)
        return refuse(problem, "the header says " + std::to_string(header_size) + " bytes, the file ends before");
    Literal header;
    if (!LiteralParser(text, text + header_size).whole(header) || header.type != Literal::dictionary)
        return refuse(problem, "the header is no dictionary of literals");
    if (!parse_dictionary(header, layout, problem))
        return false;
    layout->data_offset = header_start + header_size;
    if (layout->record_size == 0)
        return refuse(problem, "records of no bytes");
    return true;
}

bool npy_layout_fits(const NpyLayout* layout, bool plain, long long file_size, std::string* problem)
{
    if (layout->fortran_order && !plain)
        return refuse(problem, kColumnsStoredApart);
    if (!plain)
        return true;
    if (file_size < 0 || static_cast<unsigned long long>(file_size) < layout->data_offset)
        return refuse(problem, "the file ends inside its header");
    const unsigned long long data_bytes = static_cast<unsigned long long>(file_size) - layout->data_offset;
    const unsigned long long record_bytes = layout->record_size * (layout->fortran_order ? layout->columns.size() : 1);
    if (layout->records > data_bytes / record_bytes)
        return refuse(problem,
                      "shape says " + std::to_string(layout->records) + " records of " + std::to_string(record_bytes) +
                          " bytes, the file holds " + std::to_string(data_bytes / record_bytes));
    return true;
}

namespace {

// The bytes of the preamble and the header its first 12 bytes tell; 0 for
// a header past the limit, which its parser refuses unread.
std::size_t npy_head_bytes(const std::string& head)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
    const bool short_size = bytes[6] == 1;
    const std::uint32_t header_size = short_size
        ? std::uint32_t(bytes[8] | bytes[9] << 8)
        : std::uint32_t(bytes[8] | bytes[9] << 8 | bytes[10] << 16) | std::uint32_t(bytes[11]) << 24;
    return header_size <= kMostHeaderBytes ? (short_size ? 10 : 12) + std::size_t(header_size) : 0;
}

} // namespace

bool holds_npy_header(const std::string& head)
{
    return is_npy(head.data(), head.size()) && head.size() >= 12 && head.size() >= npy_head_bytes(head);
}

bool read_npy_head(std::FILE* stream, std::string* head)
{
    head->clear();
    const auto take = [&](std::size_t size) {
        const std::size_t had = head->size();
        head->resize(size);
        const std::size_t got = size > had ? std::fread(head->data() + had, 1, size - had, stream) : 0;
        head->resize(had + got);
        return head->size() == size;
    };
    if (!take(kMagicBytes) || !is_npy(head->data(), head->size()) || !take(12))
        return !std::ferror(stream);
    if (const std::size_t size = npy_head_bytes(*head))
        take(size);
    return !std::ferror(stream);
}

std::unique_ptr<PointSource> open_npy_source(std::FILE* stream, ReadWatch watch, std::size_t block, Columns columns,
                                             long long skip_records, std::string* head_read)
{
    head_read->clear();
    auto mapped = std::make_unique<MappedDataFile>(stream);
    std::string head;
    // A mapped file's header is parsed where it lies, which reads its own
    // pages alone.
    const char* header = mapped->data();
    std::size_t header_bytes = mapped->size();
    if (mapped->mapped()) {
        if (!is_npy(header, header_bytes))
            return nullptr;
    } else {
        mapped.reset();
        if (!read_npy_head(stream, &head) || !is_npy(head.data(), head.size())) {
            *head_read = std::move(head);
            return nullptr;
        }
        header = head.data();
        header_bytes = head.size();
    }
    NpyLayout layout;
    std::string problem;
    const bool refused = !parse_npy_header(header, header_bytes, &layout, &problem) || columns.x < 1 || columns.y < 1 ||
        std::size_t(columns.x) > layout.columns.size() || std::size_t(columns.y) > layout.columns.size() ||
        columns.weight < 0 || columns.value < 0 || std::size_t(columns.weight) > layout.columns.size() ||
        std::size_t(columns.value) > layout.columns.size() || (mapped && mapped->size() < layout.data_offset);
    // A streamed header was read whole by read_npy_head: the stream stands at the first record.
    std::FILE* streamed = mapped ? nullptr : stream;
    return std::make_unique<NpyPointSource>(std::move(mapped), streamed, layout, refused, watch, block, columns,
                                            skip_records);
}

bool is_npy_name(const char* path)
{
    for (const char* suffix : {".npy", ".npy.gz", ".npy.zst"}) {
        const std::size_t length = std::strlen(path), n = std::strlen(suffix);
        if (length >= n && std::strcmp(path + length - n, suffix) == 0)
            return true;
    }
    return false;
}
