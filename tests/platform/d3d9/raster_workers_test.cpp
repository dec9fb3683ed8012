// The drawing threads: chunks shared between the threads, and the choice
// to draw on fewer while the workers cannot keep up.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/d3d9/raster_workers.h"

namespace {

TEST(RasterWorkersTest, EveryChunkRunsOnceWhoeverRunsIt)
{
    const struct {
        uint32_t workers, threads; // pool size, threads asked for a job
    } pools[] = {{0, 1}, {1, 2}, {3, 4}, {3, 2}, {7, 8}};
    for (const auto& pool : pools) {
        RasterWorkers workers(pool.workers);
        ASSERT_EQ(workers.threads(), pool.workers + 1);
        for (uint32_t delay_us : {0u, 300u}) {
            workers.set_worker_delay(delay_us);
            for (uint32_t chunks : {0u, 1u, 7u, 64u, 500u}) {
                std::vector<std::atomic<int>> runs(chunks);
                const RasterWorkers::Report report =
                    workers.run(chunks, pool.threads, [&](uint32_t chunk) { runs[chunk]++; });
                for (uint32_t chunk = 0; chunk < chunks; ++chunk) {
                    ASSERT_EQ(runs[chunk].load(), 1) << "chunk " << chunk << " of " << chunks << ", delay " << delay_us
                                                     << ", " << pool.workers << " workers";
                }
                EXPECT_EQ(report.caller_chunks + report.worker_chunks, chunks);
                EXPECT_EQ(report.workers, pool.threads - 1);
                if (pool.workers == 0) {
                    EXPECT_EQ(report.worker_chunks, 0u);
                }
            }
        }
    }
}

RasterWorkers::Report report(uint32_t caller_chunks, uint32_t worker_chunks, double wait = 0.0, double longest = 1e-3,
                             uint32_t workers = 1)
{
    RasterWorkers::Report r;
    r.workers = workers;
    r.caller_chunks = caller_chunks;
    r.worker_chunks = worker_chunks;
    r.caller_wait = wait;
    r.caller_longest = longest;
    return r;
}

// Records the reports of two-thread draws in turn, then counts how many of
// the next draws may be split before one may not, and after that how many
// in a row may not.
struct Outcome {
    int split_first;
    int alone_then;
};

Outcome after(const std::vector<RasterWorkers::Report>& reports, bool stalled_before = false)
{
    SplitJudge judge;
    for (const RasterWorkers::Report& r : reports) {
        EXPECT_EQ(judge.threads(2), 2u) << "a draw was done alone before the judgement";
        judge.record(r, stalled_before);
    }
    Outcome outcome{0, 0};
    bool split = judge.threads(2) == 2;
    for (; split && outcome.split_first < 100; split = judge.threads(2) == 2) {
        ++outcome.split_first;
    }
    for (; !split && outcome.alone_then < 100; split = judge.threads(2) == 2) {
        ++outcome.alone_then;
    }
    return outcome;
}

TEST(SplitJudgeTest, DrawsAloneForAWhileAfterTheWorkerFallsBehindOrStalls)
{
    const RasterWorkers::Report even = report(12, 11), behind = report(12, 5), idle = report(20, 0),
                                stalled = report(12, 12, 5e-3, 1e-3), small = report(4, 0),
                                just_stalled = report(12, 12, 2.3e-3, 1e-3),
                                within_slack = report(12, 12, 2.1e-3, 1e-3);
    const int alone = SplitJudge::kReducedDraws;
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
        {"a wait within the slack is no stall", {within_slack, within_slack, within_slack}, {100, 0}},
        {"a wait just past the slack is", {just_stalled, just_stalled, just_stalled}, {0, alone}},
        {"exactly half the caller's chunks keeps up", {report(12, 6), report(12, 6), report(12, 6)}, {100, 0}},
        {"six chunks are judged", {report(5, 1), report(5, 1), report(5, 1)}, {0, alone}},
        {"five are not", {report(4, 1), report(4, 1), report(4, 1)}, {100, 0}},
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

// Eight threads whose workers fall behind: half as many for a while, a
// quarter if they still fall behind, then all eight again. A worker falls
// behind when it runs under half as many chunks as the caller, though all
// of them together run more.
TEST(SplitJudgeTest, HalvesTheThreadsWhileWorkersFallBehindThenTriesAllAgain)
{
    SplitJudge judge;
    auto slow_draws = [&judge](uint32_t threads) {
        for (int draw = 0; draw < SplitJudge::kSlowDraws; ++draw) {
            ASSERT_EQ(judge.threads(8), threads) << "slow draw " << draw;
            judge.record(report(10, 4 * (threads - 1), 0.0, 1e-3, threads - 1));
        }
    };
    slow_draws(8);
    ASSERT_EQ(judge.threads(8), 4u);
    judge.record(report(12, 30, 0.0, 1e-3, 3)); // keeping up at four
    for (int draw = 1; draw < SplitJudge::kReducedDraws; ++draw) {
        ASSERT_EQ(judge.threads(8), 4u) << "draw " << draw;
    }
    ASSERT_EQ(judge.threads(8), 8u) << "all threads again";
    judge.record(report(40, 10, 0.0, 1e-3, 7));
    judge.record(report(40, 10, 0.0, 1e-3, 7));
    EXPECT_EQ(judge.threads(8), 8u);
    judge.record(report(40, 10, 0.0, 1e-3, 7));
    slow_draws(4);
    EXPECT_EQ(judge.threads(8), 2u);
    EXPECT_EQ(judge.threads(3), 2u) << "never more than asked for";
    EXPECT_EQ(judge.threads(1), 1u);
}

TEST(SplitJudgeTest, SplitsAgainAfterDrawingAlone)
{
    SplitJudge judge;
    for (int draw = 0; draw < SplitJudge::kSlowDraws; ++draw) {
        ASSERT_EQ(judge.threads(2), 2u);
        judge.record(report(10, 0));
    }
    for (int draw = 0; draw < SplitJudge::kReducedDraws; ++draw) {
        ASSERT_EQ(judge.threads(2), 1u) << "draw " << draw;
    }
    EXPECT_EQ(judge.threads(2), 2u);
    judge.record(report(10, 9));
    EXPECT_EQ(judge.threads(2), 2u) << "the worker keeps up again";
}

} // namespace
