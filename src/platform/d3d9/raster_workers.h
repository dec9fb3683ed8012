// The drawing threads of one device: the caller's and a pool of workers,
// sized once. A job is cut into chunks that all threads claim in turn; the
// caller's thread always takes part and does every chunk no worker has
// claimed, so a worker slow to wake (its core busy elsewhere) costs little.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

class RasterWorkers {
public:
    // `workers` threads besides the caller's; 0 runs every job on the caller's.
    explicit RasterWorkers(uint32_t workers);
    ~RasterWorkers();
    RasterWorkers(const RasterWorkers&) = delete;
    RasterWorkers& operator=(const RasterWorkers&) = delete;

    // Threads that run a job, the caller's included.
    uint32_t threads() const { return static_cast<uint32_t>(threads_.size()) + 1; }

    // How a job went: who ran how many chunks, and how long the caller,
    // out of chunks, waited for the workers' last ones.
    struct Report {
        uint32_t workers = 0; // threads besides the caller's
        uint32_t caller_chunks = 0;
        uint32_t worker_chunks = 0;  // all workers together
        double caller_longest = 0.0; // seconds, the caller's longest chunk
        double caller_wait = 0.0;    // seconds
    };

    // Calls job(0) ... job(chunks - 1), each once, on any of the first
    // `threads` threads (the caller's and threads - 1 workers), and returns
    // when all are done.
    Report run(uint32_t chunks, uint32_t threads, const std::function<void(uint32_t)>& job);
    Report run(uint32_t chunks, const std::function<void(uint32_t)>& job) { return run(chunks, threads(), job); }

    // Makes every worker sleep this long before each chunk it runs, as when
    // other programs hold the cores (tests only).
    void set_worker_delay(uint32_t microseconds) { worker_delay_us_.store(microseconds); }

    // Worker threads alive in the process, all pools together (tests only).
    static uint32_t live_workers();

private:
    bool claim(uint32_t ticket, uint32_t* chunk);
    void loop(uint32_t index);
    void stop();

    // Ticket of the current job in the high half, next chunk in the low half.
    std::atomic<uint64_t> state_{0};
    std::atomic<uint32_t> chunks_{0};
    std::atomic<uint32_t> workers_{0}; // workers that take part in the current job
    std::atomic<uint32_t> ticket_{0};
    std::atomic<uint32_t> busy_{0}; // workers that may be running a chunk
    std::atomic<uint32_t> worker_chunks_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<uint32_t> worker_delay_us_{0};
    const std::function<void(uint32_t)>* job_ = nullptr;
    std::vector<std::thread> threads_;
};

// How many threads a draw is split across. Splitting costs some work twice
// over, and a chunk a worker holds while it is kept off the processor holds
// up the whole draw: extra threads pay only while their cores are free. The
// workers' progress beside the caller's tells: on free cores each runs about
// as many chunks as the caller, and the caller never waits long for their
// last ones. After a few split draws where the workers fell behind, draws use
// half as many threads for a while (down to one, alone), then all again to
// look anew.
class SplitJudge {
public:
    static constexpr uint32_t kJudgedChunks = 6; // fewer say nothing either way
    static constexpr int kSlowDraws = 3;
    static constexpr int kReducedDraws = 60;

    // Threads for the next draw, at most `most`; a reduced draw counts off.
    uint32_t threads(uint32_t most);
    // How a split draw went: the job of most chunks (its bands of rows), and
    // whether the workers stalled in any other job of the draw.
    void record(const RasterWorkers::Report& report, bool stalled_before = false);

    // The caller waited for the workers' last chunks far longer than a
    // chunk of its own took.
    static bool stalled(const RasterWorkers::Report& report);

private:
    int slow_draws_ = 0;      // split draws in a row where the workers fell behind
    int reduced_draws_ = 0;   // draws left with fewer threads
    uint32_t reduced_to_ = 0; // the threads those draws use
};
