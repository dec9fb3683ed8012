// Loading a field as the viewer and the command line do, where the file
// does not hold still: cut while it is read, or a pipe that can be read once.
#include "field/field_loader.h"

#include <gtest/gtest.h>

#include "field/field_loader_test_hook.h"
#include "file_cut.h"
#include "fit_reference.h"
#include "temp_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

class FieldLoader : public ::testing::Test {
protected:
    void TearDown() override
    {
        field_loader_test_guess_sizes(0, 0);
        set_point_reader_chunk_bytes(0);
    }
    std::string write(const std::string& name, const std::string& text) { return dir_.write(name, text); }
    TempFolder dir_{"loader"};
};

// Lines of points inside the default range, `bytes` of them or a little over.
std::string lines_of(std::size_t bytes)
{
    std::string text;
    for (int i = 0; text.size() < bytes; ++i)
        text += std::to_string(1000 + i % 2000) + " " + std::to_string(1000 + i % 1999) + "\n";
    return text;
}

// A log rotated or a download restarted under the reader: a read error,
// never a crash, and no field of what was read, whether it was fitting or
// binning when the file shrank, on one thread or several.
TEST_F(FieldLoader, AFileCutWhileItIsReadIsAReadError)
{
    for (const bool fit : {false, true}) {
        for (const unsigned threads : {1u, 3u}) {
            SCOPED_TRACE(testing::Message() << "fit " << fit << ", threads " << threads);
            const std::string path = write("cut.txt", lines_of(std::size_t(6) << 20));
            FileCut cut{path.c_str(), 100};
            LoadRequest request;
            request.path = path;
            request.range = Range{0, 4000, 0, 4000};
            request.fit_range = fit;
            request.threads = threads;
            const LoadedField loaded = load_field(request, LoadWatch{nullptr, ReadWatch{FileCut::go_on, &cut}});
            EXPECT_TRUE(cut.done);
            EXPECT_EQ(loaded.failure, LoadFailure::changed);
            EXPECT_EQ(loaded.field, nullptr);
        }
    }
}

// Fitting reads a file twice: a pipe or a FIFO is refused with its reason
// rather than fitted to nothing (a pipe) or waited on for ever (a FIFO).
TEST_F(FieldLoader, FittingAFileThatReadsOnceIsRefused)
{
    const std::string fifo = dir_.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    for (const std::string& path : {fifo, "/proc/self/fd/" + std::to_string(ends[0])}) {
        LoadRequest request;
        request.path = path;
        request.fit_range = true;
        EXPECT_EQ(load_field(request).failure, LoadFailure::read_once) << path;
    }
    close(ends[0]);
    close(ends[1]);
}

// A line past a mebibyte is one rejected line, no part of it read, when
// weights and values are read too: blanks, then a point, after its first
// mebibyte are no point of their own.
TEST_F(FieldLoader, ALineTooLongIsRejectedWholeWithWeightsToo)
{
    const std::string too_long = "5 6 1" + std::string(std::size_t(1) << 20, ' ') + "7 8 9\n";
    const std::string path = write("long.txt", "1 2 2\n" + too_long + "3 4 5\n" + too_long);
    for (const int weight : {0, 3}) {
        for (const int value : {0, 3}) {
            SCOPED_TRACE(testing::Message() << "weight " << weight << ", value " << value);
            LoadRequest request;
            request.path = path;
            request.range = Range{0, 10, 0, 10};
            request.columns.numbers.weight = weight;
            request.columns.numbers.value = value;
            const LoadedField loaded = load_field(request);
            ASSERT_TRUE(loaded.ok());
            EXPECT_EQ(loaded.counts.points, 2);
            EXPECT_EQ(loaded.counts.rejected_lines, 2);
        }
    }
}

// A table of cell sums is known by its header behind a byte-order mark and
// comments, and carries the rule it was made by: followed when no rule was
// asked for, refused when another was. The field then is the points'
// field under the file's rule, node for node.
TEST_F(FieldLoader, SumsTablesKeepTheirRule)
{
    const std::string points = write("points.txt", "10 20\n3990.5 17\n2000 2000\n2000.25 1999.5\n-5 7\n");
    const auto field_of = [](LoadRequest request) {
        request.range = Range{0, 4000, 0, 4000};
        return load_field(request);
    };
    for (const BinningRule made_by : {BinningRule::bilinear, BinningRule::classic}) {
        SCOPED_TRACE(binning_rule_name(made_by));
        LoadRequest save;
        save.path = points;
        save.binning = made_by;
        save.keep_sums = true;
        const LoadedField from_points = field_of(save);
        ASSERT_TRUE(from_points.ok());
        std::FILE* out = std::fopen(dir_.file("sums.csv").c_str(), "w");
        ASSERT_TRUE(write_cell_sums(out, *from_points.sums));
        std::fclose(out);
        std::ifstream in(dir_.file("sums.csv"), std::ios::binary);
        const std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const BinningRule other = made_by == BinningRule::classic ? BinningRule::bilinear : BinningRule::classic;
        for (const std::string& head : {std::string(), std::string("\xEF\xBB\xBF# saved\n")}) {
            LoadRequest open;
            open.path = write("again.csv", head + table);
            open.binning = other;
            const LoadedField followed = field_of(open);
            ASSERT_TRUE(followed.ok()) << followed.problem;
            EXPECT_TRUE(followed.from_sums);
            EXPECT_EQ(followed.binning, made_by);
            EXPECT_EQ(followed.counts.points, 5);
            EXPECT_EQ(followed.counts.rejected, 1);
            for (int k = 0; k < 201 * 201; ++k)
                ASSERT_NEAR(followed.field->ops.data(followed.field.get())[k],
                            from_points.field->ops.data(from_points.field.get())[k], 1e-12)
                    << k;
            open.binning_chosen = true;
            const LoadedField refused = field_of(open);
            EXPECT_EQ(refused.failure, LoadFailure::other_rule);
            EXPECT_EQ(refused.field, nullptr);
            EXPECT_EQ(refused.problem,
                      std::string("its sums were made by the ") + binning_rule_name(made_by) +
                          " binning rule, not by " + binning_rule_name(other) + " as asked");
            open.binning = made_by;
            EXPECT_TRUE(field_of(open).ok());
        }
        // A table without the line is spread by the rule asked, as before.
        LoadRequest bare;
        bare.path = write("bare.csv", table.substr(table.find('\n') + 1));
        bare.binning = other;
        const LoadedField as_asked = field_of(bare);
        ASSERT_TRUE(as_asked.ok()) << as_asked.problem;
        EXPECT_EQ(as_asked.binning, other);
    }
}

// Fits the request's file, keeping its points in `kept` where given, and
// checks the fit against a bounds pass and a load in the range it fits:
// the same range, counts and nodes, bit for bit. Gives the fit's asks of
// its watch.
int expect_fit_as_bounds_pass(LoadRequest request, KeptPoints* kept = nullptr)
{
    Range fitted;
    LoadedField want;
    EXPECT_TRUE(fit_by_bounds_pass(request, &fitted, &want));
    request.kept = kept;
    int asked = 0;
    const LoadedField got = fit_counting_asks(request, &asked);
    EXPECT_TRUE(got.ok() && want.ok());
    if (!got.ok() || !want.ok())
        return asked;
    EXPECT_TRUE(got.fitted);
    EXPECT_EQ(std::memcmp(&got.range, &fitted, sizeof fitted), 0) << got.range.x_max;
    expect_same_counts(got.counts, want.counts);
    EXPECT_EQ(std::memcmp(got.field->ops.data(got.field.get()), want.field->ops.data(want.field.get()),
                          201 * 201 * sizeof(double)),
              0);
    if (kept) {
        EXPECT_EQ(kept->read().points, want.counts.points);
    }
    return asked;
}

// A fitted text file whose extremes settle in its first part is read about
// once, as an array is, the load going on from the part's end; with a
// weight column the fit bounds every line's x and y, and a last line short
// of its weight still widens the range; with a header, the line numbers
// and counts after the part go on from the part's. Each gives the range,
// grid and counts of a bounds pass and a load in the range it fits.
TEST_F(FieldLoader, AFittedTextFileIsReadOnceWhereItsFirstPartSettledItsRange)
{
    field_loader_test_guess_sizes(4 << 20, 4);
    set_point_reader_chunk_bytes(1 << 20);
    std::uint32_t state = 7;
    const auto box = [&state] {
        state = state * 1664525u + 1013904223u;
        return std::to_string(100 + int(state >> 8) % 3800000 / 1000.0);
    };
    std::string lines;
    while (lines.size() < (std::size_t(12) << 20))
        lines += box() + " " + box() + " 1\n";
    // Counted; weighted, the far point on a last line short of its weight
    // (which a fit still bounds); counted, the points kept for the caller
    // (which a guessed load would not keep).
    // A header; a point with no number in the part, a line with none after it.
    const std::size_t in_part = lines.find('\n', std::size_t(1) << 20) + 1;
    const std::size_t after_part = lines.find('\n', std::size_t(7) << 20) + 1;
    const std::string headed = "x y w\n" + lines.substr(0, in_part) + "nan 5 1\n" +
        lines.substr(in_part, after_part - in_part) + "no point here\n" + lines.substr(after_part);
    enum Way { counted, weighted, kept, header };
    for (const Way way : {counted, weighted, kept, header}) {
        SCOPED_TRACE(way);
        const std::string path = write("fit.txt",
                                       way == weighted     ? lines + "9000 500\n"
                                           : way == header ? headed
                                                           : lines);
        LoadRequest request;
        request.path = path;
        request.threads = 2;
        request.columns.numbers.weight = way == weighted ? 3 : 0;
        KeptPoints store;
        const int asked = expect_fit_as_bounds_pass(request, way == kept ? &store : nullptr);
        if (way == counted) {
            EXPECT_LE(asked, 12 * 3 / 2);
        }
    }
}

// A file replaced by another of its size once the fit has read its first
// part is loaded whole from the new file: the part's points are the old one's.
TEST_F(FieldLoader, AFileReplacedAfterTheFitsFirstPartIsLoadedFromTheNewFile)
{
    field_loader_test_guess_sizes(4 << 20, 4);
    set_point_reader_chunk_bytes(1 << 20);
    struct Replace {
        std::string path, text;
        int asks = 0;
        // The part's fourth megabyte is its last.
        static bool go_on(void* context)
        {
            Replace& r = *static_cast<Replace*>(context);
            if (++r.asks == 4) {
                std::ofstream(r.path + ".new", std::ios::binary) << r.text;
                fs::rename(r.path + ".new", r.path);
            }
            return true;
        }
    };
    const std::string old_text = lines_of(std::size_t(12) << 20);
    // The first megabytes' points moved, the range they fit the same.
    std::string new_text = old_text;
    for (std::size_t k = 0; k < (std::size_t(2) << 20); ++k)
        new_text[k] = new_text[k] == '1' ? '2' : new_text[k] == '2' ? '1' : new_text[k];
    Replace replace{write("replaced.txt", old_text), new_text};
    LoadRequest request;
    request.path = replace.path;
    request.threads = 2;
    request.range = Range{0, 1, 0, 1};
    request.fit_range = true;
    const LoadedField got = load_field(request, LoadWatch{nullptr, ReadWatch{Replace::go_on, &replace}});
    ASSERT_GT(replace.asks, 4);
    Range fitted;
    LoadedField want;
    ASSERT_TRUE(fit_by_bounds_pass(request, &fitted, &want));
    ASSERT_TRUE(got.ok() && want.ok());
    EXPECT_EQ(std::memcmp(&got.range, &fitted, sizeof fitted), 0);
    EXPECT_EQ(std::memcmp(got.field->ops.data(got.field.get()), want.field->ops.data(want.field.get()),
                          201 * 201 * sizeof(double)),
              0);
}

// Text whose extremes still move through its first part is binned in the
// part's range while its points are kept: where the whole file fits the
// same range that load stands, else the kept points are binned again, or
// the file read again where they passed their budget. Beside its first
// part the text is parsed once where its points are kept, and each gives
// the range and grid of a bounds pass and a load in the range it fits.
TEST_F(FieldLoader, AFittedTextFileWhoseExtremesMoveIsParsedOnce)
{
    field_loader_test_guess_sizes(4 << 20, 4);
    set_point_reader_chunk_bytes(1 << 20);
    std::uint32_t state = 11;
    const auto uniform = [&state](int low, int high) {
        state = state * 1664525u + 1013904223u;
        return std::to_string(low + int(state >> 8) % ((high - low) * 1000) / 1000.0);
    };
    // x reaches 3400 only after the first 2 MiB, the first half of the part.
    std::string lines;
    while (lines.size() < (std::size_t(12) << 20))
        lines += uniform(100, lines.size() < (std::size_t(2) << 20) ? 3000 : 3400) + " " + uniform(100, 3900) + "\n";
    const std::size_t middle = lines.find('\n', std::size_t(6) << 20) + 1;
    const struct {
        bool far_point; // one point far outside, half way through
        std::size_t budget;
        int most_asked;
    } cases[] = {
        {false, 0, 12 * 3 / 2},
        {true, 0, 12 * 3 / 2},
        {true, std::size_t(1) << 20, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.far_point << " " << c.budget);
        LoadRequest request;
        request.path =
            write("moving.txt", c.far_point ? lines.substr(0, middle) + "9000 500\n" + lines.substr(middle) : lines);
        request.threads = 2;
        set_kept_points_budget(c.budget);
        const int asked = expect_fit_as_bounds_pass(request);
        set_kept_points_budget(0);
        EXPECT_LE(asked, c.most_asked);
    }
}

} // namespace
