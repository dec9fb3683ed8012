// A zoom's cost: the field binned again over a quarter of the range from a
// mapped text file and from a .npy array, and from the points the viewer
// keeps of them (the *Kept cases), as it does on each drag or wheel notch;
// and what keeping them costs the viewer's first load of a file (the
// FirstLoad cases, with and without keeping, into fresh memory each time).
// An array's points are not kept (its *Kept cases read it again): keeping
// 100 million of them made the first load about 17 times slower (2.9 s
// against 0.17 s) for zooms hardly quicker than reading the mapped file.
// The files are written under $TMPDIR once: 1 million text
// points and 10 million array points by default, 10 and 100 million with
// VARNEL_REBIN_FULL=1.
//   VARNEL_REBIN_FULL=1 build/bin/bench_rebin --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "field/field_loader.h"
#include "field/kept_points.h"

namespace {

namespace fs = std::filesystem;

bool full_size()
{
    const char* full = std::getenv("VARNEL_REBIN_FULL");
    return full && std::strcmp(full, "1") == 0;
}

fs::path folder()
{
    const char* tmp = std::getenv("TMPDIR");
    fs::path path = fs::path(tmp ? tmp : "/tmp") / "varnel-rebin-bench";
    fs::create_directories(path);
    return path;
}

// Points spread over 0..4000 with a peak, the same for both files.
template <typename Write>
void make_points(long long count, Write write)
{
    std::mt19937_64 random(49);
    std::normal_distribution<double> near(0.0, 300.0);
    std::uniform_real_distribution<double> anywhere(0.0, 4000.0);
    for (long long k = 0; k < count; ++k) {
        const bool peak = k % 3 == 0;
        write(peak ? 2600 + near(random) : anywhere(random), peak ? 1400 + near(random) : anywhere(random));
    }
}

std::string text_file(long long count)
{
    const fs::path path = folder() / ("points-" + std::to_string(count) + ".txt");
    if (!fs::exists(path)) {
        FILE* out = std::fopen(path.c_str(), "w");
        make_points(count, [&](double x, double y) { std::fprintf(out, "%.3f %.3f\n", x, y); });
        std::fclose(out);
    }
    return path;
}

std::string npy_file(long long count)
{
    const fs::path path = folder() / ("points-" + std::to_string(count) + ".npy");
    if (!fs::exists(path)) {
        FILE* out = std::fopen(path.c_str(), "wb");
        std::string header = "{'descr': '<f8', 'fortran_order': False, 'shape': (" + std::to_string(count) + ", 2), }";
        header.append(64 - (10 + header.size() + 1) % 64, ' ');
        header += '\n';
        const unsigned short length = static_cast<unsigned short>(header.size());
        std::fwrite("\x93NUMPY\x01\x00", 1, 8, out);
        std::fwrite(&length, 2, 1, out);
        std::fwrite(header.data(), 1, header.size(), out);
        std::vector<double> block;
        make_points(count, [&](double x, double y) {
            block.push_back(x);
            block.push_back(y);
            if (block.size() >= 1 << 20) {
                std::fwrite(block.data(), sizeof(double), block.size(), out);
                block.clear();
            }
        });
        std::fwrite(block.data(), sizeof(double), block.size(), out);
        std::fclose(out);
    }
    return path;
}

// With `kept`, the first load (untimed) keeps the points, as the viewer's
// opening of the file does.
void rebin(benchmark::State& state, const std::string& path, long long points, KeptPoints* kept = nullptr)
{
    LoadRequest request;
    request.path = path;
    request.kept = kept;
    if (kept && load_field(request).counts.points != points)
        state.SkipWithError("the first load failed");
    request.range = Range{2000, 3000, 1000, 2000}; // a zoom onto the peak
    for (auto _ : state) {
        LoadedField loaded = load_field(request);
        if (!loaded.ok() || loaded.counts.points != points)
            state.SkipWithError("the load failed or missed points");
        benchmark::DoNotOptimize(loaded.field.get());
    }
    state.counters["points"] = double(points);
}

void BM_RebinText(benchmark::State& state)
{
    const long long points = full_size() ? 10'000'000 : 1'000'000;
    rebin(state, text_file(points), points);
}

void BM_RebinNpy(benchmark::State& state)
{
    const long long points = full_size() ? 100'000'000 : 10'000'000;
    rebin(state, npy_file(points), points);
}

void BM_RebinTextKept(benchmark::State& state)
{
    const long long points = full_size() ? 10'000'000 : 1'000'000;
    KeptPoints kept;
    rebin(state, text_file(points), points, &kept);
}

void BM_RebinNpyKept(benchmark::State& state)
{
    const long long points = full_size() ? 100'000'000 : 10'000'000;
    KeptPoints kept;
    rebin(state, npy_file(points), points, &kept);
}

// A whole first load over the default range, keeping the points into
// memory never used before where `keep` asks, as the viewer's opening of a
// new file does; freeing them is left out of the time.
void first_load(benchmark::State& state, const std::string& path, long long points, bool keep)
{
    LoadRequest request;
    request.path = path;
    for (auto _ : state) {
        auto kept = std::make_unique<KeptPoints>();
        request.kept = keep ? kept.get() : nullptr;
        LoadedField loaded = load_field(request);
        if (!loaded.ok() || loaded.counts.points != points)
            state.SkipWithError("the load failed or missed points");
        benchmark::DoNotOptimize(loaded.field.get());
        state.PauseTiming();
        kept.reset();
        loaded = LoadedField{};
        state.ResumeTiming();
    }
    state.counters["points"] = double(points);
}

void BM_FirstLoadText(benchmark::State& state)
{
    const long long points = full_size() ? 10'000'000 : 1'000'000;
    first_load(state, text_file(points), points, state.range(0) != 0);
}

void BM_FirstLoadNpy(benchmark::State& state)
{
    const long long points = full_size() ? 100'000'000 : 10'000'000;
    first_load(state, npy_file(points), points, state.range(0) != 0);
}

BENCHMARK(BM_RebinText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RebinTextKept)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RebinNpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RebinNpyKept)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstLoadText)->ArgName("keep")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstLoadNpy)->ArgName("keep")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
