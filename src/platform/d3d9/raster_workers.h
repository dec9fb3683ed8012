// A second drawing thread, so that large draws use both cores. A job is cut
// into chunks that both threads claim in turn; the caller's thread always
// takes part and does every chunk the worker has not claimed, so a worker
// slow to wake (the other core busy) costs little.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class RasterWorkers {
public:
    RasterWorkers();
    ~RasterWorkers();
    RasterWorkers(const RasterWorkers&) = delete;
    RasterWorkers& operator=(const RasterWorkers&) = delete;

    // How a job went: who ran how many chunks, and how long the caller,
    // out of chunks, waited for the worker's last one.
    struct Report {
        uint32_t caller_chunks = 0;
        uint32_t worker_chunks = 0;
        double caller_longest = 0.0; // seconds, the caller's longest chunk
        double caller_wait = 0.0;    // seconds
    };

    // Calls job(0) ... job(chunks - 1), each once, on either thread, and
    // returns when all are done.
    Report run(uint32_t chunks, const std::function<void(uint32_t)>& job);

    // Makes the worker sleep this long before each chunk it runs, as when
    // another program holds the second core (tests only).
    void set_worker_delay(uint32_t microseconds) { worker_delay_us_ = microseconds; }

private:
    bool claim(uint32_t ticket, uint32_t* chunk);
    void loop();

    // Ticket of the current job in the high half, next chunk in the low half.
    std::atomic<uint64_t> state_{0};
    std::atomic<uint32_t> chunks_{0};
    std::atomic<uint32_t> ticket_{0};
    std::atomic<uint32_t> busy_{0}; // 1 while the worker may run a chunk
    std::atomic<uint32_t> worker_chunks_{0};
    std::atomic<bool> stopping_{false};
    const std::function<void(uint32_t)>* job_ = nullptr;
    uint32_t worker_delay_us_ = 0;
    std::thread thread_;
};

// Whether a draw is split across the two threads. Splitting costs some work
// twice over, and a chunk the worker holds while it is kept off the
// processor holds up the whole draw: two threads pay only while the second
// core is free. The worker's progress beside the caller's tells: on a free
// core both run about as many chunks, and the caller never waits long for
// the worker's last one. After a few split draws where the worker fell
// behind, draws are done alone for a while, then split again to look anew.
class SplitJudge {
public:
    static constexpr uint32_t kJudgedChunks = 6; // fewer say nothing either way
    static constexpr int kSlowDraws = 3;
    static constexpr int kAloneDraws = 60;

    // True when the next draw may be split; a draw done alone counts off.
    bool may_split();
    // How a split draw went: the job of most chunks (its bands of rows), and
    // whether the worker stalled in any other job of the draw.
    void record(const RasterWorkers::Report& report, bool stalled_before = false);

    // The caller waited for the worker's last chunk far longer than a
    // chunk of its own took.
    static bool stalled(const RasterWorkers::Report& report);

private:
    int slow_draws_ = 0;  // split draws in a row where the worker fell behind
    int alone_draws_ = 0; // draws left to do alone
};
