#include "field/sources/chunk_ring.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Chunks are parsed, each into its own partial, on worker threads while the
// caller's thread cuts the input ahead and adds the partials into the total
// strictly in file order. A few chunks per thread are in flight at once, so
// memory stays bounded whatever the file's length.
//
// A partial goes back, once added, to the thread that parsed into it, which
// empties it before its next chunk: a grid's partial is larger than the
// points that fill it, and one that moved between cores with each chunk
// cost each point its cache misses (a fifth more binning on two cores).
// The same holds for the scratch a chunk is parsed through, so each thread
// has its own.
class ChunkRing {
public:
    // Room for every thread to parse one chunk while the caller cuts the
    // next and adds the oldest.
    // The spares have room for every partial, so that handing one back
    // never allocates.
    ChunkRing(unsigned threads, ChunkSink sink) : ring_(threads + 2), sink_(sink) { spares_.reserve(ring_.size()); }

    ~ChunkRing()
    {
        stop();
        for (Chunk& chunk : ring_)
            if (chunk.partial)
                sink_.destroy(sink_.context, chunk.partial);
        for (const Spare& spare : spares_)
            sink_.destroy(sink_.context, spare.partial);
    }

    bool start(unsigned workers)
    {
        try {
            for (unsigned i = 1; i <= workers; ++i)
                threads_.emplace_back([this, i] { work(i); });
        } catch (const std::system_error&) {
            stop();
            return false;
        }
        return true;
    }

    ReadCounts run(PointSource& source, const ReadCounts* before)
    {
        source_ = &source;
        // Counts go on from those of the read this one goes on from; its
        // stop and change are its own, set at the end.
        if (before) {
            counts_ = *before;
            pieces_before_ = before->pieces;
        }
        long long filled = 0;
        while (!source.done()) {
            if (filled >= ring_size())
                deliver(filled - ring_size());
            Chunk& chunk = ring_[static_cast<std::size_t>(filled % ring_size())];
            chunk.text = source.next_chunk(chunk.storage);
            // The chunk a stop comes in is cut short (empty).
            if (!source.stopped())
                ++counts_.chunks;
            // A partial for each chunk in the ring, made here as first
            // wanted (a small file needs one), so a claim always finds one.
            void* made = filled < ring_size() ? sink_.make(sink_.context) : nullptr;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (made)
                    spares_.push_back(Spare{made, 0});
                chunk.state = Chunk::Filled;
                last_filled_ = filled;
            }
            work_ready_.notify_one();
            ++filled;
        }
        for (long long k = std::max(0LL, filled - ring_size()); k < filled; ++k)
            deliver(k);
        counts_.stopped = source.stopped();
        counts_.changed = source.changed();
        counts_.pieces = pieces_before_;
        return counts_;
    }

private:
    long long ring_size() const { return static_cast<long long>(ring_.size()); }

    struct Chunk {
        enum State { Free, Filled, Parsing, Parsed };
        State state = Free;
        ChunkBytes storage; // the bytes, when the source does not keep them
        ChunkText text;
        void* partial = nullptr; // from claim to delivery
        unsigned parser = 0;     // the thread that parses it, the caller 0
        ChunkCounts counts;
    };

    // A partial no chunk holds, and the thread whose cache holds it; it is
    // emptied as it is next parsed into.
    struct Spare {
        void* partial;
        unsigned owner;
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
                    Chunk& other = claim_next(0);
                    lock.unlock();
                    parse(other, scratch_);
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
        source_->done_with(chunk.text);
        std::lock_guard<std::mutex> lock(mutex_);
        spares_.push_back(Spare{std::exchange(chunk.partial, nullptr), chunk.parser});
        chunk.state = Chunk::Free;
    }

    // In file order. Text without a point before any point or other such
    // text (comments and blank lines aside) is a header, not a rejected line.
    void add_counts(const ChunkCounts& c)
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

    // Takes the oldest filled chunk for `thread` to parse, with a spare
    // partial, the thread's own where it has one; the lock is held.
    Chunk& claim_next(unsigned thread)
    {
        Chunk& chunk = ring_[static_cast<std::size_t>(next_to_parse_++ % ring_size())];
        chunk.state = Chunk::Parsing;
        chunk.parser = thread;
        auto own = std::find_if(spares_.begin(), spares_.end(), [&](const Spare& s) { return s.owner == thread; });
        if (own == spares_.end())
            own = spares_.begin();
        chunk.partial = own->partial;
        spares_.erase(own);
        return chunk;
    }

    void parse(Chunk& chunk, std::vector<Point>& scratch)
    {
        sink_.clear(sink_.context, chunk.partial);
        chunk.counts = source_->parse(chunk.text, sink_, chunk.partial, scratch);
    }

    void work(unsigned thread)
    {
        std::vector<Point> scratch;
        for (;;) {
            Chunk* chunk;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_ready_.wait(lock, [&] { return closing_ || next_to_parse_ <= last_filled_; });
                if (next_to_parse_ > last_filled_)
                    return;
                chunk = &claim_next(thread);
            }
            parse(*chunk, scratch);
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
    std::vector<Spare> spares_;
    std::vector<Point> scratch_; // the caller's
    long long last_filled_ = -1;
    long long next_to_parse_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
    PointSource* source_ = nullptr; // while run runs
    const ChunkSink sink_;
    ReadCounts counts_;
    long long pieces_before_ = 0; // delivered so far
};

} // namespace

ReadCounts read_source(PointSource& source, ChunkSink sink, unsigned threads, const ReadCounts* before)
{
    // This thread cuts, parses and adds; from the second chunk on, the
    // other threads parse ahead. Without threads to be had it all happens
    // here.
    // Past four a core, threads only wait for each other, and each holds a
    // chunk of its own: the cap keeps memory bounded whatever is asked.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    threads = threads == 0 ? cores : std::min(threads, kThreadsPerCore * cores);
    const unsigned workers = source.all_taken() ? 0 : threads - 1;
    ChunkRing ring(workers + 1, sink);
    if (!ring.start(workers))
        ring.start(0);
    return ring.run(source, before);
}
