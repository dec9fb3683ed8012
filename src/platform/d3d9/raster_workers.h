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
        double caller_longest = 0.0;  // seconds, the caller's longest chunk
        double caller_wait = 0.0;     // seconds
    };

    // Calls job(0) ... job(chunks - 1), each once, on either thread, and
    // returns when all are done.
    Report run(uint32_t chunks, const std::function<void(uint32_t)>& job);

private:
    bool claim(uint32_t ticket, uint32_t* chunk);
    void loop();

    // Ticket of the current job in the high half, next chunk in the low half.
    std::atomic<uint64_t> state_{0};
    std::atomic<uint32_t> chunks_{0};
    std::atomic<uint32_t> ticket_{0};
    std::atomic<uint32_t> busy_{0};  // 1 while the worker may run a chunk
    std::atomic<uint32_t> worker_chunks_{0};
    std::atomic<bool> stopping_{false};
    const std::function<void(uint32_t)>* job_ = nullptr;
    std::thread thread_;
};
