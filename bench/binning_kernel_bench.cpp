// The binning kernel alone: points already in memory spread over the grid
// by one thread, in the loader's batches, as a float64 array's mapped
// records are handed to it; the cached case bins one batch over and over,
// the points then coming from the processor's cache instead of memory. Its figure is points per second of one core
// (items_per_second), without reading, parsing or the page cache; the
// whole-process figures beside `cat` are bench/npy_vs_cat.sh's.
//   build/bin/bench_binning_kernel --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "field/binning_rules.h"
#include "field/grid_size.h"
#include "field/point.h"

namespace {

constexpr std::size_t kPoints = 16 << 20;
constexpr std::size_t kBatch = 1 << 16; // about what a chunk of a mapped array hands over

// Points over 0..4000 with a third of them in one peak (clustered points
// add to the same nodes one after another), or all spread evenly.
const std::vector<Point>& points(bool clustered)
{
    static std::vector<Point> made[2];
    std::vector<Point>& out = made[clustered];
    if (out.empty()) {
        std::mt19937_64 random(50);
        std::normal_distribution<double> near(0.0, 150.0);
        std::uniform_real_distribution<double> anywhere(0.0, 4000.0);
        out.reserve(kPoints);
        for (std::size_t k = 0; k < kPoints; ++k) {
            const bool peak = clustered && k % 3 == 0;
            out.push_back(peak ? Point{2600 + near(random), 1400 + near(random)}
                               : Point{anywhere(random), anywhere(random)});
        }
    }
    return out;
}

void BM_BinPoints(benchmark::State& state)
{
    const unsigned lanes = static_cast<unsigned>(state.range(0));
    const bool clustered = state.range(1) != 0, cached = state.range(2) != 0;
    const std::vector<Point>& all = points(clustered);
    CellGeometry cells{Range{0, 4000, 0, 4000}, 4000.0 / kGridCells, 4000.0 / kGridCells};
    std::vector<double> nodes(kGridNodes * kGridNodes);
    for (auto _ : state) {
        BinCounts counts;
        for (std::size_t first = 0; first < all.size(); first += kBatch)
            bin_points(BinningRule::bilinear, lanes, cells, all.data() + (cached ? 0 : first), kBatch, nodes.data(),
                       counts);
        benchmark::DoNotOptimize(nodes.data());
        benchmark::DoNotOptimize(counts.binned);
    }
    state.SetItemsProcessed(static_cast<long long>(state.iterations() * all.size()));
}

BENCHMARK(BM_BinPoints)
    ->ArgNames({"lanes", "clustered", "cached"})
    ->Args({8, 0, 0})
    ->Args({8, 1, 0})
    ->Args({8, 1, 1})
    ->Args({4, 0, 0})
    ->Args({4, 1, 0})
    ->Args({4, 1, 1})
    ->Args({1, 1, 0})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
