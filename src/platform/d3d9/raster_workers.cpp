// The worker sleeps on an atomic counter (futex-backed waits), so an idle
// device costs nothing. Chunks are claimed with one compare-and-swap on a
// word that also names the job, so a worker waking late can never take a
// chunk of a job the caller has already finished.
#include "platform/d3d9/raster_workers.h"

#include <time.h>

namespace {

double seconds(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

}  // namespace

RasterWorkers::RasterWorkers() : thread_([this] { loop(); }) {}

RasterWorkers::~RasterWorkers() {
    stopping_.store(true);
    ticket_.fetch_add(1);
    ticket_.notify_one();
    thread_.join();
}

bool RasterWorkers::claim(uint32_t ticket, uint32_t* chunk) {
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

bool RasterWorkers::run(uint32_t chunks, const std::function<void(uint32_t)>& job) {
    job_ = &job;
    chunks_.store(chunks);
    worker_ran_.store(false);
    const uint32_t ticket = ticket_.load() + 1;
    state_.store(uint64_t(ticket) << 32);
    ticket_.store(ticket);
    ticket_.notify_one();
    uint32_t chunk;
    while (claim(ticket, &chunk)) {
        job(chunk);
    }
    for (uint32_t busy = busy_.load(); busy != 0; busy = busy_.load()) {
        busy_.wait(busy);
    }
    return worker_ran_.load() && worker_had_core_.load();
}

void RasterWorkers::loop() {
    uint32_t seen = 0;
    for (;;) {
        ticket_.wait(seen);
        seen = ticket_.load();
        if (stopping_.load()) {
            return;
        }
        busy_.store(1);
        const double wall_start = seconds(CLOCK_MONOTONIC), cpu_start = seconds(CLOCK_THREAD_CPUTIME_ID);
        bool ran = false;
        uint32_t chunk;
        while (claim(seen, &chunk)) {
            (*job_)(chunk);
            ran = true;
        }
        if (ran) {
            const double wall = seconds(CLOCK_MONOTONIC) - wall_start;
            const double cpu = seconds(CLOCK_THREAD_CPUTIME_ID) - cpu_start;
            // Kept off the processor for a good part of its chunks.
            worker_had_core_.store(cpu >= 0.75 * wall);
            worker_ran_.store(true);
        }
        busy_.store(0);
        busy_.notify_one();
    }
}
