// The worker sleeps on an atomic counter (futex-backed waits), so an idle
// device costs nothing; between the jobs of one draw it spins a little
// first, since the next job follows within microseconds. Chunks are claimed
// with one compare-and-swap on a word that also names the job, so a worker
// waking late can never take a chunk of a job the caller has already
// finished.
#include "platform/d3d9/raster_workers.h"

#include <time.h>

#include <algorithm>
#include <chrono>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

double seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Some tens of microseconds.
constexpr int kSpins = 2000;

void relax()
{
#if defined(__SSE2__)
    _mm_pause();
#endif
}

// Waits until `value` differs from `seen`: spinning first, then asleep.
template <class T>
void wait_for_change(const std::atomic<T>& value, T seen)
{
    for (int i = 0; i < kSpins; ++i) {
        if (value.load(std::memory_order_acquire) != seen) {
            return;
        }
        relax();
    }
    value.wait(seen);
}

} // namespace

RasterWorkers::RasterWorkers() : thread_([this] { loop(); }) {}

RasterWorkers::~RasterWorkers()
{
    stopping_.store(true);
    ticket_.fetch_add(1);
    ticket_.notify_one();
    thread_.join();
}

bool RasterWorkers::claim(uint32_t ticket, uint32_t* chunk)
{
    uint64_t state = state_.load();
    for (;;) {
        const uint32_t next = static_cast<uint32_t>(state);
        if (static_cast<uint32_t>(state >> 32) != ticket || next >= chunks_.load()) {
            return false;
        }
        if (state_.compare_exchange_weak(state, state + 1)) {
            *chunk = next;
            return true;
        }
    }
}

RasterWorkers::Report RasterWorkers::run(uint32_t chunks, const std::function<void(uint32_t)>& job)
{
    job_ = &job;
    chunks_.store(chunks);
    worker_chunks_.store(0);
    const uint32_t ticket = ticket_.load() + 1;
    state_.store(uint64_t(ticket) << 32);
    ticket_.store(ticket);
    ticket_.notify_one();
    Report report;
    uint32_t chunk;
    double now = seconds();
    while (claim(ticket, &chunk)) {
        job(chunk);
        const double done = seconds();
        report.caller_longest = std::max(report.caller_longest, done - now);
        now = done;
        ++report.caller_chunks;
    }
    for (uint32_t busy = busy_.load(); busy != 0; busy = busy_.load()) {
        wait_for_change(busy_, busy);
    }
    report.caller_wait = seconds() - now;
    report.worker_chunks = worker_chunks_.load();
    return report;
}

void RasterWorkers::loop()
{
    uint32_t seen = 0;
    for (;;) {
        wait_for_change(ticket_, seen);
        seen = ticket_.load();
        if (stopping_.load()) {
            return;
        }
        busy_.store(1);
        uint32_t chunk;
        while (claim(seen, &chunk)) {
            if (worker_delay_us_ > 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(worker_delay_us_));
            }
            (*job_)(chunk);
            worker_chunks_.fetch_add(1, std::memory_order_relaxed);
        }
        busy_.store(0);
        busy_.notify_one();
    }
}

bool SplitJudge::may_split()
{
    if (alone_draws_ > 0) {
        --alone_draws_;
        return false;
    }
    return true;
}

bool SplitJudge::stalled(const RasterWorkers::Report& report)
{
    constexpr double kWaitSlack = 2e-4; // seconds
    return report.caller_wait > 2.0 * report.caller_longest + kWaitSlack;
}

void SplitJudge::record(const RasterWorkers::Report& report, bool stalled_before)
{
    if (report.caller_chunks + report.worker_chunks < kJudgedChunks) {
        return;
    }
    const bool behind = report.worker_chunks * 2 < report.caller_chunks;
    slow_draws_ = behind || stalled_before || stalled(report) ? slow_draws_ + 1 : 0;
    if (slow_draws_ >= kSlowDraws) {
        slow_draws_ = 0;
        alone_draws_ = kAloneDraws;
    }
}
