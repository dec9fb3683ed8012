// Loads that bin points kept in memory: a fit after its bounds pass, and a
// zoom of the same file, give the very bits a read of the file gives, and
// a file changed on disk is read again.
#include "field/field_loader.h"
#include "field/kept_points.h"

#include <gtest/gtest.h>

#include "fit_reference.h"
#include "gzip_bytes.h"
#include "npy_bytes.h"

#include "temp_folder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class KeptPointsLoads : public ::testing::Test {
protected:
    ~KeptPointsLoads() override
    {
        set_kept_points_budget(0);
        set_point_reader_chunk_bytes(0);
    }
    TempFolder dir_{"kept"};
};

// Points with a weight and a value, clustered so that nodes gather many
// shares, and a few lines that are no points, in several 4 KiB chunks.
std::string text_points(int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> near(0.0, 40.0);
    std::string text = "x y w v\n";
    char line[128];
    for (int k = 0; k < count; ++k) {
        if (k % 997 == 5)
            text += "not a point\n";
        std::snprintf(line, sizeof line, "%.6f %.6f %.3f %.3f\n", 150 + near(random), 90 + near(random),
                      1 + k % 7 * 0.25, near(random));
        text += line;
    }
    return text;
}

std::string npy_points(int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> near(0.0, 40.0);
    std::string records;
    for (int k = 0; k < 2 * count; ++k) {
        const double v = (k % 2 ? 90 : 150) + near(random);
        records.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    return npy_file(1, "{'descr': '<f8', 'fortran_order': False, 'shape': (" + std::to_string(count) + ", 2), }",
                    records);
}

// Grids and counts alike, to the bit.
void expect_same(const LoadedField& got, const LoadedField& want)
{
    ASSERT_TRUE(want.ok());
    ASSERT_TRUE(got.ok());
    ASSERT_TRUE(got.field && want.field);
    EXPECT_EQ(got.range, want.range);
    EXPECT_EQ(got.fitted, want.fitted);
    EXPECT_EQ(got.loaded, want.loaded);
    EXPECT_EQ(std::memcmp(&got.max, &want.max, sizeof got.max), 0);
    expect_same_counts(got.counts, want.counts);
    const std::size_t bytes = sizeof(double) * 201 * 201;
    EXPECT_EQ(std::memcmp(got.field->ops.data(got.field.get()), want.field->ops.data(want.field.get()), bytes), 0);
}

struct Case {
    const char* name;
    bool npy;
    int weight, value; // columns, 0 for none
    bool log_x;
    BinningRule rule;
    unsigned threads;
};

const Case kCases[] = {
    {"text", false, 0, 0, false, BinningRule::bilinear, 2},
    {"text, one thread", false, 0, 0, false, BinningRule::bilinear, 1},
    {"text, classic", false, 0, 0, false, BinningRule::classic, 3},
    {"text, weights", false, 3, 0, false, BinningRule::bilinear, 2},
    {"text, means", false, 3, 4, false, BinningRule::bilinear, 3},
    {"text, log x", false, 0, 0, true, BinningRule::bilinear, 2},
    {"array", true, 0, 0, false, BinningRule::bilinear, 2},
    {"array, classic, log x", true, 0, 0, true, BinningRule::classic, 1},
};

LoadRequest request_for(const Case& c, const std::string& path)
{
    LoadRequest request;
    request.path = path;
    request.range = Range{20, 300, 10, 250};
    request.columns.numbers.weight = c.weight;
    request.columns.numbers.value = c.value;
    request.binning = c.rule;
    request.threads = c.threads;
    request.log_x = c.log_x;
    return request;
}

// Kept points so small a budget cannot hold them: the loads read the file
// as they always did, each pass in full.
LoadedField read_twice(LoadRequest request)
{
    set_kept_points_budget(1);
    request.kept = nullptr;
    LoadedField loaded = load_field(request);
    set_kept_points_budget(0);
    return loaded;
}

TEST_F(KeptPointsLoads, AFitBinsItsKeptPointsToTheSameBits)
{
    set_point_reader_chunk_bytes(4096);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            dir_.write(c.npy ? "fit.npy" : "fit.txt", c.npy ? npy_points(30000, 7) : text_points(20000, 7));
        LoadRequest request = request_for(c, path);
        request.fit_range = true;
        expect_same(load_field(request), read_twice(request));
        // The viewer's own store: kept by the fit (by the load where the
        // fit reads x and y alone), and binned again by the next fit; an
        // array is read again instead.
        KeptPoints kept;
        request.kept = &kept;
        expect_same(load_field(request), read_twice(request));
        EXPECT_EQ(kept.bytes() > 0, !c.npy);
        expect_same(load_field(request), read_twice(request));
    }
}

TEST_F(KeptPointsLoads, AZoomBinsTheKeptPointsToTheSameBits)
{
    set_point_reader_chunk_bytes(4096);
    const Range zooms[] = {{100, 200, 50, 130}, {149.5, 150.5, 89.5, 90.5}, {-1e6, 1e6, -1e6, 1e6}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            dir_.write(c.npy ? "zoom.npy" : "zoom.txt", c.npy ? npy_points(30000, 8) : text_points(20000, 8));
        KeptPoints kept;
        LoadRequest request = request_for(c, path);
        request.kept = &kept;
        expect_same(load_field(request), read_twice(request));
        for (const Range& zoom : zooms) {
            if (c.log_x && zoom.x_min <= 0)
                continue;
            request.range = zoom;
            expect_same(load_field(request), read_twice(request));
        }
    }
}

// The kept points stand for the file while its size and time of change
// stay: new bytes under the old size and time are not seen (which shows
// that the points came from memory), a new time reads the file again.
TEST_F(KeptPointsLoads, AFileChangedOnDiskIsReadAgain)
{
    const std::string path = dir_.write("changing.txt", "100 100\n100 100\n");
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    KeptPoints kept;
    LoadRequest request;
    request.path = path;
    request.range = Range{0, 200, 0, 200};
    request.kept = &kept;
    ASSERT_EQ(load_field(request).counts.in_range, 2);

    dir_.write("changing.txt", "900 100\n100 100\n");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(load_field(request).counts.in_range, 2);

    const timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 5, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    EXPECT_EQ(load_field(request).counts.in_range, 1);

    dir_.write("changing.txt", "100 100\n100 100\n100 100\n");
    EXPECT_EQ(load_field(request).counts.in_range, 3);
}

// Read another way (other columns, lines skipped, another value's column,
// the other rule's pieces of a long line), the same file gives other
// points: it is read again, never taken from the points kept before.
TEST_F(KeptPointsLoads, AnotherWayOfReadingReadsAgain)
{
    const std::string long_line = "50 60 1 1" + std::string(1100, ' ') + "70 80 2 2\n";
    const std::string path = dir_.write("ways.txt", "10 20 500 7\n30 40 6 8\n" + long_line);
    KeptPoints kept;
    LoadRequest request;
    request.path = path;
    request.range = Range{0, 200, 0, 200};
    request.kept = &kept;
    request.columns.chosen = true;
    const struct {
        int x, y, skip, value;
        BinningRule rule;
        long long in_range;
        double at_10_20; // the mean at the first point's node; 0: counts
    } steps[] = {
        {1, 2, 0, 0, BinningRule::bilinear, 3, 0}, {1, 3, 0, 0, BinningRule::bilinear, 2, 0},
        {2, 3, 0, 0, BinningRule::bilinear, 2, 0}, {1, 2, 0, 0, BinningRule::bilinear, 3, 0},
        {1, 2, 1, 0, BinningRule::bilinear, 2, 0}, {1, 2, 0, 3, BinningRule::bilinear, 3, 500},
        {1, 2, 0, 4, BinningRule::bilinear, 3, 7}, {1, 2, 0, 0, BinningRule::bilinear, 3, 0},
        {1, 2, 0, 0, BinningRule::classic, 4, 0}, // the second piece too
        {1, 2, 0, 0, BinningRule::bilinear, 3, 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "columns " << step.x << " " << step.y << ", skip " << step.skip << ", value "
                                        << step.value << ", " << binning_rule_name(step.rule));
        request.columns.numbers = Columns{step.x, step.y};
        request.columns.numbers.value = step.value;
        request.skip_lines = step.skip;
        request.binning = step.rule;
        const LoadedField loaded = load_field(request);
        ASSERT_TRUE(loaded.ok());
        EXPECT_EQ(loaded.counts.in_range, step.in_range);
        if (step.at_10_20 != 0) {
            EXPECT_EQ(loaded.field->ops.data(loaded.field.get())[20 * 201 + 10], step.at_10_20);
        }
    }
}

// Past the budget nothing is kept and the field is still the file's.
TEST_F(KeptPointsLoads, PointsPastTheBudgetAreNotKept)
{
    set_point_reader_chunk_bytes(4096);
    const std::string path = dir_.write("big.txt", text_points(20000, 9));
    for (const bool fit : {false, true}) {
        SCOPED_TRACE(fit);
        KeptPoints kept;
        LoadRequest request;
        request.path = path;
        request.range = Range{20, 300, 10, 250};
        request.fit_range = fit;
        request.kept = &kept;
        set_kept_points_budget(100000); // a third of the points
        const LoadedField loaded = load_field(request);
        KeptPointsKey key;
        ASSERT_TRUE(kept_points_key(path, 0, loaded.columns.columns, line_piece_bytes(request.binning), &key));
        EXPECT_FALSE(kept.holds(key));
        EXPECT_EQ(kept.bytes(), 0u);
        expect_same(loaded, read_twice(request));
        set_kept_points_budget(0);
        load_field(request);
        EXPECT_TRUE(kept.holds(key));
    }
}

// A load the watch stops keeps nothing: its points would be part of the file.
TEST_F(KeptPointsLoads, AStoppedLoadKeepsNothing)
{
    set_point_reader_chunk_bytes(4096);
    const std::string path = dir_.write("stopped.txt", text_points(200000, 10));
    KeptPoints kept;
    LoadRequest request;
    request.path = path;
    request.range = Range{20, 300, 10, 250};
    request.kept = &kept;
    int asked = 0;
    const auto stop_soon = [](void* context) { return ++*static_cast<int*>(context) < 3; };
    const LoadedField loaded = load_field(request, LoadWatch{nullptr, ReadWatch{stop_soon, &asked}});
    EXPECT_TRUE(loaded.counts.stopped);
    EXPECT_EQ(kept.bytes(), 0u);
    EXPECT_EQ(kept.chunks().size(), 0u);

    // Nor does a load the file's damage ended (a gzip file cut short),
    // while binning or while fitting its range: a later load would bin the
    // points read as the whole file's.
    const std::string whole = gzipped(text_points(200000, 10));
    request.path = dir_.write("cut.txt.gz", whole.substr(0, whole.size() / 2));
    for (const bool fit : {false, true}) {
        request.fit_range = fit;
        EXPECT_EQ(load_field(request).failure, LoadFailure::cannot_read) << fit;
        EXPECT_EQ(kept.bytes(), 0u) << fit;
        EXPECT_EQ(kept.chunks().size(), 0u) << fit;
    }
}

// A pipe or a database is never kept; only a regular file has a key.
TEST_F(KeptPointsLoads, OnlyARegularFileHasAKey)
{
    KeptPointsKey key;
    EXPECT_FALSE(kept_points_key(dir_.path().string(), 0, Columns{}, 1023, &key));
    EXPECT_FALSE(kept_points_key(dir_.file("missing"), 0, Columns{}, 1023, &key));
    EXPECT_FALSE(kept_points_key("clickhouse://localhost/t", 0, Columns{}, 1023, &key));
    EXPECT_TRUE(kept_points_key(dir_.write("a.txt", "1 2\n"), 0, Columns{}, 1023, &key));
}

} // namespace
