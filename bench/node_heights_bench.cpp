// The picture's heights on a 201 x 201 field: smoothing by each width
// offered, and the log scale, as the renderer makes them on every change.
//
//   build/bin/bench_node_heights
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "render/scene/node_heights.h"

namespace {

constexpr int kNodes = 201;

std::vector<double> field_nodes()
{
    std::mt19937 random(7);
    std::exponential_distribution<double> weights(1.0);
    std::vector<double> nodes(kNodes * kNodes);
    for (double& node : nodes)
        node = weights(random);
    nodes[kNodes * 100 + 100] = 20.0;
    for (double& node : nodes)
        node /= 20.0;
    return nodes;
}

void heights(benchmark::State& state, int smoothing, bool log_scale)
{
    const std::vector<double> nodes = field_nodes();
    std::vector<double> out(nodes.size());
    PictureOptions options;
    options.smoothing_cells = smoothing;
    options.log_scale = log_scale;
    for (auto _ : state) {
        write_heights(out, NodeGrid{kNodes, kNodes, nodes.data()}, 20.0, options);
        benchmark::DoNotOptimize(out.data());
    }
}

BENCHMARK_CAPTURE(heights, smooth_1, 1, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(heights, smooth_2, 2, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(heights, smooth_4, 4, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(heights, log, 0, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(heights, smooth_4_log, 4, true)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
