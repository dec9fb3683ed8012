#include "field/guessed_range.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <sys/stat.h>

#include "field/binning_rules.h"
#include "field/field_loader_test_hook.h"
#include "field/load_steps.h"
#include "field/plot_range.h"
#include "field/sources/npy_point_source.h"
#include "field/sources/point_reader.h"

namespace {

// Files smaller than this are fitted with a bounds pass: it is short.
constexpr unsigned long long kLeastGuessedBytes = 64ull << 20;
// The part: a 32nd of the file, 16 MiB at least. Its reads stop at a
// whole chunk (4 MiB), the last one cut dropped.
constexpr unsigned long long kGuessShare = 32;
constexpr long long kLeastGuessMegabytes = 16;
std::atomic<unsigned long long> g_least_guessed_bytes{kLeastGuessedBytes};
std::atomic<long long> g_least_guess_megabytes{kLeastGuessMegabytes};

// Stops a read after some megabytes, asking the caller's watch between them.
struct PartWatch {
    ReadWatch caller;
    long long megabytes;
    bool caller_stopped = false;
    static bool go_on(void* context)
    {
        PartWatch& w = *static_cast<PartWatch*>(context);
        if (w.caller.go_on && !w.caller.go_on(w.caller.context)) {
            w.caller_stopped = true;
            return false;
        }
        return --w.megabytes > 0;
    }
};

// Gives a load in a guessed range up once the bounds gathered so far reach
// outside it, where no range fitted to them can be the guess.
struct GuessWatch {
    ReadWatch caller;
    const PlacedBounds* gathered;
    Range guess;
    bool strayed = false;
    static bool go_on(void* context)
    {
        GuessWatch& w = *static_cast<GuessWatch*>(context);
        const PlacedBounds& b = *w.gathered;
        const Range& g = w.guess;
        if (b.points > 0 && !(b.x_min >= g.x_min && b.x_max < g.x_max && b.y_min >= g.y_min && b.y_max < g.y_max)) {
            w.strayed = true;
            return false;
        }
        return !w.caller.go_on || w.caller.go_on(w.caller.context);
    }
};

// The same range to the bit: -0 is not 0 in a range written out.
bool same_bits(const Range& a, const Range& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The bounds of `megabytes` of the file from record (or line) `skip` on,
// and their chunks' bounds, where `chunks` is given, their points in
// `kept` where it is started; false where the read failed or the caller
// stopped it, which the result says.
bool part_bounds(const LoadRequest& request, const LoadWatch& watch, long long skip, long long megabytes,
                 LoadedField& result, DataBounds* part, std::vector<PlacedBounds>* chunks, KeptPoints* kept = nullptr)
{
    const File file = open_source(request, watch, result);
    if (!file)
        return false;
    PartWatch stop{watch.watch, megabytes};
    *part = read_data_bounds(file.get(), int(skip), result.columns.columns, ReadWatch{PartWatch::go_on, &stop},
                             request.binning, request.threads, request.log_x, request.log_y, kept, chunks);
    if (read_failed(file.get(), watch, result))
        return false;
    if (part->read.changed) {
        result.failure = LoadFailure::changed;
        return false;
    }
    result.counts.stopped = stop.caller_stopped;
    return !stop.caller_stopped;
}

// The bounds of the file's first megabytes, and of their first half
// (the first half of their chunks); their points in `kept` where it is
// started.
bool first_part_bounds(const LoadRequest& request, const LoadWatch& watch, long long megabytes, LoadedField& result,
                       DataBounds* part, PlacedBounds* half, KeptPoints* kept)
{
    std::vector<PlacedBounds> chunks;
    if (!part_bounds(request, watch, request.skip_lines, megabytes, result, part, &chunks, kept))
        return false;
    *half = PlacedBounds{};
    for (std::size_t k = 0; k < chunks.size() / 2; ++k)
        widen_bounds(*half, chunks[k]);
    return true;
}

// Bounds as a load gathers them, from bounds read.
PlacedBounds placed_of(const DataBounds& b)
{
    return PlacedBounds{b.points, b.range.x_min, b.range.x_max, b.range.y_min, b.range.y_max};
}

// A second part of an array: pieces of a chunk each, evenly apart from its
// first records to its last, so that extremes that move through the array
// (x sorted, a drift) are in it as much as any that stay. Their half:
// every other piece, the first and the last among them. Both without a
// point where the array is too short or too long for pieces; false where a
// read failed or was stopped, which the result says.
bool spread_part_bounds(const LoadRequest& request, const LoadWatch& watch, const NpyLayout& layout,
                        long long megabytes, LoadedField& result, DataBounds* part, PlacedBounds* half)
{
    *part = DataBounds{};
    *half = PlacedBounds{};
    // A chunk's megabytes, and one ask more, which stops the read after it.
    const long long piece_megabytes = std::max<long long>(1, (long long)(point_reader_chunk_bytes() >> 20)) + 1;
    long long pieces = megabytes / piece_megabytes;
    pieces = std::max<long long>(3, pieces % 2 ? pieces : pieces - 1);
    const long long first = std::max(request.skip_lines, 0);
    const unsigned long long piece_records = ((unsigned long long)(piece_megabytes - 1) << 20) / layout.record_size;
    if (layout.records > (unsigned long long)std::numeric_limits<int>::max() ||
        layout.records < (unsigned long long)first + piece_records * (unsigned long long)pieces)
        return true;
    const unsigned long long apart = (layout.records - (unsigned long long)first - piece_records) / (pieces - 1);
    PlacedBounds all;
    for (long long k = 0; k < pieces; ++k) {
        DataBounds piece;
        if (!part_bounds(request, watch, first + (long long)(apart * k), piece_megabytes, result, &piece, nullptr))
            return false;
        widen_bounds(all, placed_of(piece));
        if (k % 2 == 0)
            widen_bounds(*half, placed_of(piece));
    }
    *part = data_bounds(all, ReadCounts{});
    return true;
}

// Whether the range fitted to the part has settled: bounds widened on
// each side by `rounds` times as far as the part's half moved its
// extremes are fitted the same. Extremes that stopped (a box the points
// fill, blocks repeated) pass; those of tails or of a drift, which move
// on, do not.
bool settled(const PlacedBounds& half, const DataBounds& part, double rounds, const Range& fitted,
             const LoadRequest& request)
{
    if (half.points == 0 || half.points >= part.points)
        return false;
    const Range& b = part.range;
    const double gx = std::max(half.x_min - b.x_min, b.x_max - half.x_max) * rounds;
    const double gy = std::max(half.y_min - b.y_min, b.y_max - half.y_max) * rounds;
    DataBounds widened = part;
    widened.range = Range{b.x_min - gx, b.x_max + gx, b.y_min - gy, b.y_max + gy};
    Range again;
    return fitted_range(widened, &again, request.log_x, request.log_y) && same_bits(again, fitted);
}

// The result as it stood before any load: its columns and rule alone.
void forget_load(const LoadRequest& request, LoadedField& result)
{
    LoadedField fresh;
    fresh.range = request.range;
    fresh.binning = result.binning;
    fresh.columns = std::move(result.columns);
    result = std::move(fresh);
}

} // namespace

unsigned long long guessed_bytes(const LoadRequest& request, const DataDescription& description, const Columns& columns)
{
    unsigned long long bytes = 0;
    if (description.kind == DataKind::array) {
        const NpyLayout& layout = description.layout;
        if (__builtin_mul_overflow(layout.records, layout.record_size, &bytes))
            return 0;
        return bytes;
    }
    struct stat facts;
    if (description.kind != DataKind::text || description.read_once || request.kept || columns.has_values() ||
        is_compressed_path(request.path.c_str()) || stat(request.path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode))
        return 0;
    return static_cast<unsigned long long>(facts.st_size);
}

bool load_in_guessed_range(const LoadRequest& request, const LoadWatch& watch, const DataDescription& description,
                           unsigned long long bytes, KeptPoints* store, const KeptPointsKey* key, LoadedField& result)
{
    if (bytes < g_least_guessed_bytes.load())
        return false;
    const long long megabytes = std::max<long long>(g_least_guess_megabytes.load(), (bytes / kGuessShare) >> 20);
    // Text's first part is kept, and the load goes on from its end rather
    // than parsing it again: an array's part is read again at the speed of
    // memory.
    const std::size_t piece_bytes = line_piece_bytes(request.binning);
    KeptPointsKey part_key;
    KeptPoints beginning;
    if (description.kind == DataKind::text &&
        kept_points_key(request.path, request.skip_lines, result.columns.columns, piece_bytes, &part_key))
        beginning.start(part_key, false, true);
    DataBounds part;
    PlacedBounds half;
    if (!first_part_bounds(request, watch, megabytes, result, &part, &half, &beginning))
        return true;
    // Text has no spread part: its bounds and half hold no point.
    DataBounds spread_part;
    PlacedBounds spread_half;
    if (description.kind == DataKind::array &&
        !spread_part_bounds(request, watch, description.layout, megabytes, result, &spread_part, &spread_half))
        return true;
    PlacedBounds both = placed_of(part);
    widen_bounds(both, placed_of(spread_part));
    Range guess;
    if (!part.read.stopped || !fitted_range(data_bounds(both, ReadCounts{}), &guess, request.log_x, request.log_y))
        return false;
    // How far the extremes may go on, in times their move from a half to
    // its part: the first part's move goes on at its rate through the rest
    // of the file; the spread part's (tails, which grow less each time the
    // points read double) once for each doubling, and once more. Either
    // part may find the guess settled: repeated blocks settle in the first,
    // a drift or sorted x in the spread one.
    const double parts = double(bytes) / double(megabytes << 20);
    const double rounds = std::max(1.0, parts) * double(part.points) / double(std::max(part.points - half.points, 1ll));
    const bool guess_settled = settled(half, part, rounds, guess, request) ||
        settled(spread_half, spread_part, std::log2(std::max(2.0, parts)) + 1, guess, request);
    // Text whose extremes move on is still binned in the part's range, as
    // its points are kept for the bounds pass anyway: the fitted range is
    // often the same, and the kept points are binned again only where not.
    const bool keeping = !guess_settled;
    if (keeping && !store)
        return false;
    File file = open_source(request, watch, result);
    if (!file)
        return true;
    PlacedBounds gathered;
    GuessWatch guard{watch.watch, &gathered, guess};
    result.range = guess;
    if (keeping)
        store->start(*key, false);
    // A load goes on from the part only where the file is still the one
    // the part was read from.
    const auto kept_part = [&]() -> const KeptPoints* {
        KeptPointsKey now;
        return kept_points_key(request.path, request.skip_lines, result.columns.columns, piece_bytes, &now) &&
                beginning.holds_beginning(now)
            ? &beginning
            : nullptr;
    };
    bin_into_field(request, watch, keeping ? watch.watch : ReadWatch{GuessWatch::go_on, &guard}, file.get(), nullptr,
                   false, keeping ? store : nullptr, &gathered, result, kept_part());
    if (guard.strayed) {
        forget_load(request, result);
        return false;
    }
    if (!result.ok() || result.counts.stopped)
        return true;
    Range fitted;
    if (!fitted_range(data_bounds(gathered, ReadCounts{}), &fitted, request.log_x, request.log_y)) {
        forget_load(request, result);
        return false;
    }
    if (same_bits(fitted, guess)) {
        result.fitted = true;
        return true;
    }
    // Missed: the bounds are known now, and the load goes again in the
    // range they fit, from the kept points where it kept them all.
    forget_load(request, result);
    result.range = fitted;
    result.fitted = true;
    if (keeping && store->holds(*key)) {
        bin_into_field(request, watch, watch.watch, nullptr, store, true, nullptr, nullptr, result);
        return true;
    }
    file = open_source(request, watch, result);
    if (file)
        bin_into_field(request, watch, watch.watch, file.get(), nullptr, false, nullptr, nullptr, result, kept_part());
    return true;
}

void field_loader_test_guess_sizes(unsigned long long least_bytes, long long least_megabytes)
{
    g_least_guessed_bytes.store(least_bytes ? least_bytes : kLeastGuessedBytes);
    g_least_guess_megabytes.store(least_megabytes ? least_megabytes : kLeastGuessMegabytes);
}
