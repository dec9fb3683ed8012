// Loading a large data file: the density field's reader against the plain
// fgets+sscanf loop it must equal, and against merely counting the file's
// newlines, the floor no reader can go under; and the same points as numpy's
// savetxt writes them by default ("%.18e %.18e", ~500 MB, written on first use).
//
//   build/bin/bench_density_field [--lines N]   (default 10,000,000 lines, ~240 MB)
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <locale.h>
#include <random>
#include <string>
#include <vector>

#include "field/density_field.h"

namespace {

long long g_lines = 10'000'000;

// The files loaded, each written once with its own number format and kept
// in TMPDIR: the bench's own fixed-width lines, and numpy's savetxt default.
struct DataFile {
    const char* name;
    const char* line_format;
    std::string path;
    std::size_t bytes = 0;
};
DataFile g_points{"points", "%09.6f %09.6f\n", {}, 0};
DataFile g_savetxt{"savetxt", "%.18e %.18e\n", {}, 0};

// Points spread over the default range 0..4000: the bench's own lines are
// 24 bytes like "1234.567890 2345.678901\n", savetxt's 50.
void make_data_file(DataFile& file)
{
    if (!file.path.empty())
        return;
    const char* tmp = std::getenv("TMPDIR");
    const std::string kind = &file == &g_points ? "" : std::string(file.name) + "-";
    file.path =
        std::string(tmp ? tmp : "/tmp") + "/varnel-bench-" + kind + "points-" + std::to_string(g_lines) + ".txt";
    std::error_code ec;
    if (std::filesystem::exists(file.path, ec)) {
        file.bytes = std::filesystem::file_size(file.path);
        return;
    }
    std::string partial = file.path + ".part";
    std::FILE* out = std::fopen(partial.c_str(), "w");
    if (!out) {
        std::perror(partial.c_str());
        std::exit(1);
    }
    std::mt19937_64 rng(2024);
    std::normal_distribution<double> spread(2000.0, 600.0);
    for (long long i = 0; i < g_lines; ++i) {
        double x = spread(rng), y = spread(rng);
        x = x < 0 ? -x : x > 3999.999 ? 3999.999 : x;
        y = y < 0 ? -y : y > 3999.999 ? 3999.999 : y;
        std::fprintf(out, file.line_format, x, y);
    }
    std::fclose(out);
    std::filesystem::rename(partial, file.path);
    file.bytes = std::filesystem::file_size(file.path);
}

std::FILE* open_data(const DataFile& file = g_points)
{
    std::FILE* in = std::fopen(file.path.c_str(), "r");
    if (!in)
        std::abort();
    return in;
}

long peak_rss_kib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_CountNewlines(benchmark::State& state)
{
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        std::FILE* in = open_data();
        long long lines = 0;
        std::size_t got;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
            const char* p = buffer.data();
            const char* end = p + got;
            while ((p = static_cast<const char*>(std::memchr(p, '\n', end - p)))) {
                ++lines;
                ++p;
            }
        }
        std::fclose(in);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * g_points.bytes);
}

void BM_FgetsSscanf(benchmark::State& state)
{
    locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    locale_t previous = uselocale(c);
    for (auto _ : state) {
        std::FILE* in = open_data();
        char line[1024];
        double sum = 0;
        while (std::fgets(line, sizeof line, in)) {
            double x, y;
            if (std::sscanf(line, "%lf %lf", &x, &y) == 2)
                sum += x + y;
        }
        std::fclose(in);
        benchmark::DoNotOptimize(sum);
    }
    uselocale(previous);
    freelocale(c);
    state.SetBytesProcessed(state.iterations() * g_points.bytes);
}

void load_field(benchmark::State& state, DataFile& file)
{
    make_data_file(file);
    DensityField* field = create_density_field(Range{0, 4000, 0, 4000});
    for (auto _ : state) {
        std::FILE* in = open_data(file);
        int loaded = field->ops.load(field, in, 0);
        std::fclose(in);
        benchmark::DoNotOptimize(loaded);
    }
    field->ops.destroy(field);
    state.SetBytesProcessed(state.iterations() * file.bytes);
}

void BM_DensityFieldLoad(benchmark::State& state) { load_field(state, g_points); }

// The same points as numpy's savetxt writes them by default: nineteen
// digits and an exponent a number.
void BM_DensityFieldLoadSavetxt(benchmark::State& state) { load_field(state, g_savetxt); }

// A single line of 100 MB, made up on the fly: the field streams it, so the
// process's peak memory grows by a few blocks, not by the line.
void BM_HugeLineMemory(benchmark::State& state)
{
    struct Source {
        std::uint64_t left;
    };
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* buffer, std::size_t n) -> ssize_t {
        auto* source = static_cast<Source*>(cookie);
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, source->left));
        for (std::size_t i = 0; i < count; ++i)
            buffer[i] = "12.5 7 "[(source->left - i) % 7];
        source->left -= count;
        return static_cast<ssize_t>(count);
    };
    long before = peak_rss_kib();
    DensityField* field = create_density_field(Range{0, 4000, 0, 4000});
    for (auto _ : state) {
        Source source{100u << 20};
        std::FILE* in = fopencookie(&source, "r", io);
        benchmark::DoNotOptimize(field->ops.load(field, in, 0));
        std::fclose(in);
    }
    field->ops.destroy(field);
    state.counters["peak_rss_growth_MiB"] = (peak_rss_kib() - before) / 1024.0;
    state.SetBytesProcessed(state.iterations() * (100ll << 20));
}

BENCHMARK(BM_HugeLineMemory)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CountNewlines)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_FgetsSscanf)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_DensityFieldLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DensityFieldLoadSavetxt)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc)
            g_lines = std::atoll(argv[++i]);
    make_data_file(g_points);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
