// What the progress dialog would see of a table's load: every change of
// rows read and rows to read, with the time since the start, and, with a
// cancel time, how long the load takes to return after the watch says stop.
//
//     CLICKHOUSE_PASSWORD=... bench_database_progress ADDRESS [CANCEL_AFTER_MS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "field/field_loader.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Seen {
    DataFileMeter meter;
    Clock::time_point start = Clock::now(), stopped;
    long long cancel_after_ms = -1;
    long long last_done = -1, last_total = -1;
    int changes = 0;

    static double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
    static bool go_on(void* context)
    {
        auto& s = *static_cast<Seen*>(context);
        const double now = ms(Clock::now() - s.start);
        if (s.meter.done != s.last_done || s.meter.size != s.last_total) {
            s.last_done = s.meter.done;
            s.last_total = s.meter.size;
            ++s.changes;
            std::printf("%8.0f ms  %lld of %lld rows\n", now, s.meter.done, s.meter.size);
        }
        if (s.cancel_after_ms >= 0 && now >= double(s.cancel_after_ms)) {
            s.stopped = Clock::now();
            return false;
        }
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_database_progress ADDRESS [CANCEL_AFTER_MS]\n");
        return 2;
    }
    Seen seen;
    if (argc > 2)
        seen.cancel_after_ms = std::atoll(argv[2]);
    LoadRequest request;
    request.path = argv[1];
    request.range = Range{0, 4000, 0, 4000};
    if (const char* password = std::getenv("CLICKHOUSE_PASSWORD"))
        request.password = password;
    const LoadedField loaded = load_field(request, LoadWatch{&seen.meter, ReadWatch{Seen::go_on, &seen}});
    const Clock::time_point end = Clock::now();
    if (!loaded.ok()) {
        std::fprintf(stderr, "%s\n", loaded.problem.c_str());
        return 1;
    }
    std::printf("%s after %.0f ms; %d progress changes seen; %lld points\n",
                loaded.counts.stopped ? "cancelled" : "loaded", Seen::ms(end - seen.start), seen.changes,
                loaded.counts.points);
    if (loaded.counts.stopped)
        std::printf("cancel took %.0f ms from the watch's stop\n", Seen::ms(end - seen.stopped));
    return 0;
}
