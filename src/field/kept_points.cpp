#include "field/kept_points.h"

#include <algorithm>

#include "field/decimal_points.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<std::size_t> g_budget{0};

std::size_t physical_quarter()
{
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0)
        return std::size_t(1) << 30;
    return std::size_t(pages) / 4 * std::size_t(page);
}

bool same_columns(const Columns& a, const Columns& b)
{
    return a.x == b.x && a.y == b.y && a.separator == b.separator && a.decimal_comma == b.decimal_comma &&
        a.byte_order_mark == b.byte_order_mark && a.weight == b.weight && a.value == b.value;
}

// Hands out one kept chunk at a time; a chunk's text stands for the chunk
// itself, which the source keeps alive.
class KeptPointSource final : public PointSource {
public:
    explicit KeptPointSource(const KeptPoints& kept) : kept_(kept) {}

    bool all_taken() const override { return kept_.chunks().size() <= 1; }
    bool done() const override { return next_ == kept_.chunks().size(); }
    bool stopped() const override { return false; }

    ChunkText next_chunk(ChunkBytes&) override
    {
        const char* chunk = reinterpret_cast<const char*>(&kept_.chunks()[next_++]);
        return ChunkText{chunk, chunk + 1};
    }

    ChunkCounts parse(ChunkText text, const ChunkSink& sink, void* partial, std::vector<Point>& scratch) const override
    {
        const KeptChunk& chunk = *reinterpret_cast<const KeptChunk*>(text.begin);
        const std::size_t count = chunk.size();
        // The points from `first` on, with their values where the sink takes them.
        const auto hand = [&](const Point* points, std::size_t first, std::size_t n) {
            if (!chunk.values.empty() && sink.take_values)
                sink.take_values(sink.context, partial, points, chunk.values.data() + first, n);
            else if (n > 0)
                sink.take(sink.context, partial, points, n);
        };
        if (!chunk.points.empty()) {
            hand(chunk.points.data(), 0, count);
        } else {
            // Decimals come back a batch at a time, which stays in the cache.
            constexpr std::size_t kBatch = 4096;
            scratch.resize(std::min(count, kBatch));
            for (std::size_t first = 0; first < count; first += kBatch) {
                const std::size_t n = std::min(kBatch, count - first);
                decimals_to_points(chunk.digits.data() + 2 * first, n, chunk.places, scratch.data());
                hand(scratch.data(), first, n);
            }
        }
        ChunkCounts counts;
        counts.pieces = counts.points = static_cast<long long>(count);
        return counts;
    }

private:
    const KeptPoints& kept_;
    std::size_t next_ = 0;
};

} // namespace

bool KeptPointsKey::operator==(const KeptPointsKey& other) const
{
    return path == other.path && device == other.device && inode == other.inode && size == other.size &&
        changed_ns == other.changed_ns && skip_lines == other.skip_lines && same_columns(columns, other.columns) &&
        piece_bytes == other.piece_bytes;
}

bool kept_points_key(const std::string& path, int skip_lines, const Columns& columns, std::size_t piece_bytes,
                     KeptPointsKey* key)
{
    struct stat facts;
    if (path.empty() || stat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode))
        return false;
    *key = KeptPointsKey{path,
                         static_cast<unsigned long long>(facts.st_dev),
                         static_cast<unsigned long long>(facts.st_ino),
                         static_cast<long long>(facts.st_size),
                         static_cast<long long>(facts.st_mtim.tv_sec) * 1000000000LL + facts.st_mtim.tv_nsec,
                         skip_lines,
                         columns,
                         piece_bytes};
    return true;
}

std::size_t kept_points_budget()
{
    const std::size_t set = g_budget.load(std::memory_order_relaxed);
    return set ? set : physical_quarter();
}

void set_kept_points_budget(std::size_t bytes) { g_budget.store(bytes); }

void KeptPoints::start(const KeptPointsKey& key, bool values, bool beginning)
{
    clear();
    key_ = key;
    values_ = values;
    beginning_ = beginning;
    keeping_.store(true);
}

void KeptPoints::add_chunk(KeptChunk chunk)
{
    if (!keeping())
        return;
    const std::size_t bytes = chunk.points.capacity() * sizeof(Point) + chunk.digits.capacity() * sizeof(std::int32_t) +
        chunk.values.capacity() * sizeof(PointValues) + sizeof chunk;
    if (bytes > kept_points_budget() - std::min(bytes_, kept_points_budget())) {
        clear();
        return;
    }
    bytes_ += bytes;
    usual_chunk_.store(chunk.size(), std::memory_order_relaxed);
    chunks_.push_back(std::move(chunk));
}

void KeptPoints::finish(const ReadCounts& read)
{
    if (!keeping() || (read.stopped && !beginning_) || read.changed) {
        clear();
        return;
    }
    keeping_.store(false);
    read_ = read;
    whole_ = !read.stopped;
}

void KeptPoints::clear()
{
    keeping_.store(false);
    whole_ = beginning_ = false;
    std::vector<KeptChunk>().swap(chunks_);
    bytes_ = 0;
    read_ = ReadCounts{};
    key_ = KeptPointsKey{};
}

namespace {

// Whether `value` is a decimal at the places the chunk holds `axis` at,
// or at more, which the chunk's `held` points take then; false where it
// is no decimal, or the points held cannot take its places.
bool take_places_for(KeptChunk& chunk, double value, int axis, std::size_t held)
{
    std::int32_t digits;
    if (as_decimal(value, chunk.places[axis], &digits))
        return true;
    for (int places = chunk.places[axis] + 1; places <= kMostDecimalPlaces; ++places)
        if (as_decimal(value, places, &digits) &&
            add_decimal_places(chunk.digits.data(), held, axis, chunk.places[axis], places)) {
            chunk.places[axis] = places;
            return true;
        }
    return false;
}

// As many of the points as are decimals, after those the chunk holds as
// decimals already; more places are taken on an axis where a point needs
// them. How many were held.
std::size_t hold_as_decimals(KeptChunk& chunk, const Point* points, std::size_t count)
{
    const std::size_t start = chunk.digits.size();
    chunk.digits.resize(start + 2 * count);
    std::int32_t* const digits = chunk.digits.data() + start;
    std::size_t k = 0;
    while ((k += points_to_decimals(points + k, count - k, chunk.places, digits + 2 * k)) < count) {
        // Point k needs more places on an axis, or is no decimal.
        if (!take_places_for(chunk, points[k].x, 0, start / 2 + k) ||
            !take_places_for(chunk, points[k].y, 1, start / 2 + k))
            break;
    }
    chunk.digits.resize(start + 2 * k);
    return k;
}

} // namespace

void keep_points(const KeptPoints& kept, KeptChunk& chunk, const Point* points, const PointValues* values,
                 std::size_t count)
{
    if (!kept.keeping())
        return;
    // Room for a usual chunk at once: growing by doubling would copy it and
    // could hold twice its bytes.
    const std::size_t room = kept.usual_chunk() + kept.usual_chunk() / 16 + 1024;
    const std::size_t before = chunk.size();
    std::size_t held = 0;
    if (chunk.points.empty() && decimals_at_hand()) {
        if (chunk.digits.capacity() == 0)
            chunk.digits.reserve(2 * room);
        held = hold_as_decimals(chunk, points, count);
    }
    if (held < count) {
        if (!chunk.digits.empty()) {
            // From here on doubles: those held as decimals come back first.
            chunk.points.reserve(std::max(room, before + count));
            chunk.points.resize(chunk.digits.size() / 2);
            decimals_to_points(chunk.digits.data(), chunk.points.size(), chunk.places, chunk.points.data());
            decltype(chunk.digits)().swap(chunk.digits);
        } else if (chunk.points.capacity() == 0) {
            chunk.points.reserve(room);
        }
        chunk.points.insert(chunk.points.end(), points + held, points + count);
    }
    if (kept.with_values()) {
        if (chunk.values.capacity() == 0)
            chunk.values.reserve(room);
        if (values)
            chunk.values.insert(chunk.values.end(), values, values + count);
        else
            chunk.values.resize(chunk.values.size() + count, PointValues{1.0, 0.0});
    }
}

std::unique_ptr<PointSource> kept_point_source(const KeptPoints& kept)
{
    return std::make_unique<KeptPointSource>(kept);
}
