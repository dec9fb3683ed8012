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

    // Calls job(0) ... job(chunks - 1), each once, on either thread, and
    // returns when all are done: true when the worker had a core of its own
    // for the chunks it ran, false when it ran none or was mostly kept off
    // the processor (another program holding the second core).
    bool run(uint32_t chunks, const std::function<void(uint32_t)>& job);

private:
    bool claim(uint32_t ticket, uint32_t* chunk);
    void loop();

    // Ticket of the current job in the high half, next chunk in the low half.
    std::atomic<uint64_t> state_{0};
    std::atomic<uint32_t> chunks_{0};
    std::atomic<uint32_t> ticket_{0};
    std::atomic<uint32_t> busy_{0};        // 1 while the worker may run a chunk
    std::atomic<bool> worker_ran_{false};  // the worker ran a chunk of this job
    std::atomic<bool> worker_had_core_{false};
    std::atomic<bool> stopping_{false};
    const std::function<void(uint32_t)>* job_ = nullptr;
    std::thread thread_;
};
