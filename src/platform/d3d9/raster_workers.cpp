// The workers sleep on an atomic counter (futex-backed waits), so an idle
// device costs nothing; between the jobs of one draw they spin a little
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

std::atomic<uint32_t> g_live_workers{0};

} // namespace

RasterWorkers::RasterWorkers(uint32_t workers)
{
    threads_.reserve(workers);
    try {
        for (uint32_t i = 0; i < workers; ++i) {
            threads_.emplace_back([this, i] { loop(i); });
            g_live_workers.fetch_add(1);
        }
    } catch (...) {
        stop();
        throw;
    }
}

RasterWorkers::~RasterWorkers() { stop(); }

void RasterWorkers::stop()
{
    stopping_.store(true);
    ticket_.fetch_add(1);
    ticket_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    g_live_workers.fetch_sub(static_cast<uint32_t>(threads_.size()));
    threads_.clear();
}

uint32_t RasterWorkers::live_workers() { return g_live_workers.load(); }

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

RasterWorkers::Report RasterWorkers::run(uint32_t chunks, uint32_t threads, const std::function<void(uint32_t)>& job)
{
    const uint32_t workers = std::min(static_cast<uint32_t>(threads_.size()), std::max(threads, 1u) - 1);
    // The new ticket goes into the claim word first: a worker still holding
    // the last ticket then claims nothing, whatever the new count is.
    const uint32_t ticket = ticket_.load() + 1;
    state_.store(uint64_t(ticket) << 32);
    job_ = &job;
    workers_.store(workers);
    chunks_.store(chunks);
    worker_chunks_.store(0);
    ticket_.store(ticket);
    if (workers > 0 && chunks > 1) {
        ticket_.notify_all();
    }
    Report report;
    report.workers = workers;
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

void RasterWorkers::loop(uint32_t index)
{
    uint32_t seen = 0;
    for (;;) {
        wait_for_change(ticket_, seen);
        // Counted busy before the ticket is read: the caller, once out of
        // chunks, waits for every worker that may still hold one.
        busy_.fetch_add(1);
        seen = ticket_.load();
        if (stopping_.load()) {
            busy_.fetch_sub(1);
            break;
        }
        uint32_t chunk;
        while (index < workers_.load() && claim(seen, &chunk)) {
            if (const uint32_t delay_us = worker_delay_us_.load(std::memory_order_relaxed)) {
                std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
            }
            (*job_)(chunk);
            worker_chunks_.fetch_add(1, std::memory_order_relaxed);
        }
        if (busy_.fetch_sub(1) == 1) {
            busy_.notify_one();
        }
    }
}

uint32_t SplitJudge::threads(uint32_t most)
{
    if (reduced_draws_ > 0) {
        --reduced_draws_;
        return std::min(most, reduced_to_);
    }
    return most;
}

bool SplitJudge::stalled(const RasterWorkers::Report& report)
{
    constexpr double kWaitSlack = 2e-4; // seconds
    return report.caller_wait > 2.0 * report.caller_longest + kWaitSlack;
}

void SplitJudge::record(const RasterWorkers::Report& report, bool stalled_before)
{
    if (report.workers == 0 || report.caller_chunks + report.worker_chunks < kJudgedChunks) {
        return;
    }
    // Behind: a worker ran, on average, fewer than half the caller's chunks.
    const bool behind = uint64_t(report.worker_chunks) * 2 < uint64_t(report.caller_chunks) * report.workers;
    slow_draws_ = behind || stalled_before || stalled(report) ? slow_draws_ + 1 : 0;
    if (slow_draws_ >= kSlowDraws) {
        slow_draws_ = 0;
        reduced_to_ = std::max<uint32_t>(1, (report.workers + 1) / 2);
        reduced_draws_ = kReducedDraws;
    }
}
