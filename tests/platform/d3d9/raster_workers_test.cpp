// The second drawing thread: chunks shared between the threads, and the
// choice to draw alone while the worker cannot keep up.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/d3d9/raster_workers.h"

namespace {

TEST(RasterWorkersTest, EveryChunkRunsOnceWhoeverRunsIt)
{
    RasterWorkers workers;
    for (uint32_t delay_us : {0u, 300u}) {
        workers.set_worker_delay(delay_us);
        for (uint32_t chunks : {0u, 1u, 7u, 64u, 500u}) {
            std::vector<std::atomic<int>> runs(chunks);
            const RasterWorkers::Report report = workers.run(chunks, [&](uint32_t chunk) { runs[chunk]++; });
            for (uint32_t chunk = 0; chunk < chunks; ++chunk) {
                ASSERT_EQ(runs[chunk].load(), 1) << "chunk " << chunk << " of " << chunks << ", delay " << delay_us;
            }
            EXPECT_EQ(report.caller_chunks + report.worker_chunks, chunks);
        }
    }
}

RasterWorkers::Report report(uint32_t caller_chunks, uint32_t worker_chunks, double wait = 0.0, double longest = 1e-3)
{
    RasterWorkers::Report r;
    r.caller_chunks = caller_chunks;
    r.worker_chunks = worker_chunks;
    r.caller_wait = wait;
    r.caller_longest = longest;
    return r;
}

// Records the reports in turn, then counts how many of the next draws may
// be split before one may not, and after that how many in a row may not.
struct Outcome {
    int split_first;
    int alone_then;
};

Outcome after(const std::vector<RasterWorkers::Report>& reports, bool stalled_before = false)
{
    SplitJudge judge;
    for (const RasterWorkers::Report& r : reports) {
        EXPECT_TRUE(judge.may_split()) << "a draw was done alone before the judgement";
        judge.record(r, stalled_before);
    }
    Outcome outcome{0, 0};
    bool split = judge.may_split();
    for (; split && outcome.split_first < 100; split = judge.may_split()) {
        ++outcome.split_first;
    }
    for (; !split && outcome.alone_then < 100; split = judge.may_split()) {
        ++outcome.alone_then;
    }
    return outcome;
}

TEST(SplitJudgeTest, DrawsAloneForAWhileAfterTheWorkerFallsBehindOrStalls)
{
    const RasterWorkers::Report even = report(12, 11), behind = report(12, 5), idle = report(20, 0),
                                stalled = report(12, 12, 5e-3, 1e-3), small = report(4, 0);
    const int alone = SplitJudge::kAloneDraws;
    struct Case {
        const char* what;
        std::vector<RasterWorkers::Report> reports;
        Outcome expected;
    } cases[] = {
        {"worker keeping up", {even, even, even, even}, {100, 0}},
        {"worker behind three times", {behind, behind, behind}, {0, alone}},
        {"worker never running", {idle, idle, idle}, {0, alone}},
        {"worker holding its last chunk", {stalled, stalled, stalled}, {0, alone}},
        {"a good draw in between", {behind, behind, even, behind, behind}, {100, 0}},
        {"small draws say nothing", {behind, small, behind, small, behind}, {0, alone}},
        {"twice is not enough", {behind, behind}, {100, 0}},
        {"a short wait is no stall", {report(12, 12, 1.5e-3, 1e-3)}, {100, 0}},
    };
    for (const Case& c : cases) {
        const Outcome outcome = after(c.reports);
        EXPECT_EQ(outcome.split_first, c.expected.split_first) << c.what;
        EXPECT_EQ(outcome.alone_then, c.expected.alone_then) << c.what;
    }
    const Outcome stalled_earlier = after({even, even, even}, true);
    EXPECT_EQ(stalled_earlier.split_first, 0) << "a stall in an earlier job of the draw counts too";
    EXPECT_EQ(stalled_earlier.alone_then, alone);
}

TEST(SplitJudgeTest, SplitsAgainAfterDrawingAlone)
{
    SplitJudge judge;
    for (int draw = 0; draw < SplitJudge::kSlowDraws; ++draw) {
        ASSERT_TRUE(judge.may_split());
        judge.record(report(10, 0));
    }
    for (int draw = 0; draw < SplitJudge::kAloneDraws; ++draw) {
        ASSERT_FALSE(judge.may_split()) << "draw " << draw;
    }
    EXPECT_TRUE(judge.may_split());
    judge.record(report(10, 9));
    EXPECT_TRUE(judge.may_split()) << "the worker keeps up again";
}

} // namespace
