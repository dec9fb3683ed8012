// Tables of cell sums as engines write them, and the ones no query gives.
#include "field/sources/cell_sums_file.h"

#include <gtest/gtest.h>

#include "temp_stream.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

namespace {

constexpr char kHeader[] = "gx,gy,n,sfx,sfy,sfxfy,x_min,x_max,y_min,y_max\n";
constexpr char kWeightedHeader[] = "gx,gy,n,sfx,sfy,sfxfy,sw,swfx,swfy,swfxfy,x_min,x_max,y_min,y_max\n";

TEST(CellSumsFile, ReadsWhatEnginesWrite)
{
    // Quoted names in another order, tabs, CRLF, cells split over two rows
    // (two shards' parts), and pieces cut anywhere.
    const std::string text =
        "\"n\"\t\"gx\"\t\"gy\"\t\"sfx\"\t\"sfy\"\t\"sfxfy\"\t\"x_min\"\t\"x_max\"\t\"y_min\"\t\"y_max\"\r\n"
        "2\t3\t4\t0.5\t1.25\t0.25\t0\t4000\t-1\t1\r\n"
        "\"+1\"\t 3\t4 \t+1\t\" 0\"\t0\t0\t4000\t-1\t1\r\n" // quoted, spaced, signed
        "7\t-1\t-1\t0\t0\t0\t0\t4000\t-1\t1\r\n"
        "5\t-2\t-2\t0\t0\t0\t0\t4000\t-1\t1";
    for (std::size_t piece : {std::size_t(1), std::size_t(7), text.size()}) {
        CellSumsParser parser;
        for (std::size_t k = 0; k < text.size(); k += piece)
            ASSERT_TRUE(parser.feed(std::string_view(text).substr(k, piece))) << parser.problem();
        ASSERT_TRUE(parser.finish()) << parser.problem();
        const CellSumsTable& t = parser.table();
        EXPECT_EQ(t.range, (Range{0, 4000, -1, 1}));
        const CellSums& cell = t.cells[4 * kSumCells + 3];
        EXPECT_EQ(cell.n, 3);
        EXPECT_EQ(cell.sfx, 1.5);
        EXPECT_EQ(cell.sfy, 1.25);
        EXPECT_EQ(cell.sfxfy, 0.25);
        EXPECT_EQ(t.rejected, 7);
        EXPECT_EQ(t.not_a_number, 5);
        EXPECT_FALSE(t.weighted || t.means);
    }
    // Weighted means, their columns first and a shard's share of a cell
    // after the counts' rows: every sum adds up, of either sign.
    CellSumsParser parser;
    ASSERT_TRUE(
        parser.feed("swzfxfy;SWZFY;swzfx;swz;swfxfy;swfy;swfx;sw;gx;gy;n;sfx;sfy;sfxfy;x_min;x_max;y_min;y_max\n"
                    "8;7;6;5;4;3;2;1;3;4;2;0.5;1.25;0.25;0;10;0;10\n"
                    "0;0;0;0;0;0;0;0;-3;-3;9;0;0;0;0;10;0;10\n"
                    "-0.5;-1.5;-2.5;-3.5;-4.5;-5.5;-6.5;-7.5;3;4;1;0.5;0.5;0.25;0;10;0;10\n") &&
        parser.finish())
        << parser.problem();
    const CellSumsTable& t = parser.table();
    EXPECT_TRUE(t.weighted && t.means);
    EXPECT_EQ(t.nonpositive, 9);
    const CellSums& cell = t.cells[4 * kSumCells + 3];
    EXPECT_EQ(cell.n, 3);
    EXPECT_EQ(cell.sfxfy, 0.5);
    const CellValueSums& values = t.values[4 * kSumCells + 3];
    const double w[4] = {values.w.s, values.w.sfx, values.w.sfy, values.w.sfxfy},
                 wz[4] = {values.wz.s, values.wz.sfx, values.wz.sfy, values.wz.sfxfy};
    const double want_w[4] = {-6.5, -4.5, -2.5, -0.5}, want_wz[4] = {1.5, 3.5, 5.5, 7.5};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(w[k], want_w[k]) << k;
        EXPECT_EQ(wz[k], want_wz[k]) << k;
    }
}

TEST(CellSumsFile, RefusesWhatNoQueryGivesWithItsLine)
{
    const struct {
        std::string rows;
        const char* problem;
        std::string header = kHeader;
    } cases[] = {
        {"200,0,1,0,0,0,0,1,0,1\n", "line 2: no cell at gx 200, gy 0"},
        {"1.5,0,1,0,0,0,0,1,0,1\n", "line 2: no cell at gx 1.5, gy 0"},
        {"-1,0,1,0,0,0,0,1,0,1\n", "line 2: no cell at gx -1, gy 0"},
        {"0,0,-1,0,0,0,0,1,0,1\n", "line 2: n -1 is no count of points"},
        {"0,0,1e300,0,0,0,0,1,0,1\n", "line 2: n 1e300 is no count of points"},
        {"0,0,2,2.5,0,0,0,1,0,1\n", "line 2: sfx 2.5 is no sum of the fractions of 2 points"},
        {"0,0,2,1,nan,0,0,1,0,1\n", "line 2: sfy nan is no sum of the fractions of 2 points"},
        {"0,0,2,1,0x1,0,0,1,0,1\n", "line 2: sfy \"0x1\" is no number"},
        {"-1,-1,2,1,0,0,0,1,0,1\n", "line 2: sfx 1 is no sum of the fractions of 2 points"},
        {"0,0,1,0,0,0,0,1,0,1\n0,1,1,0,0,0,0,2,0,1\n", "line 3: the range differs from the rows before"},
        {"0,0,1,0,0,0,1,1,0,1\n", "line 2: the range is no finite rectangle"},
        {"0,0,1,0,0,0,0,inf,0,1\n", "line 2: the range is no finite rectangle"},
        {"0,0,1,0,0,0,0,1,0\n", "line 2: 9 fields, not 10"},
        {"0,0,1,+,0,0,0,1,0,1\n", "line 2: sfx \"+\" is no number"},
        {"0,0,1,++1,0,0,0,1,0,1\n", "line 2: sfx \"++1\" is no number"},
        {"", "line 1: the header does not name the columns gx, gy, n, sfx, sfy, sfxfy, x_min, x_max, y_min, y_max",
         "gx,gy,n,sfx,sfy,sfxfy,x_min,x_max,y_min,y_max,GX\n"},
        {"0,0,1,0,0,0,0,1,0,1 \x01\n", "line 2: y_max \"1 \x01\" is no number"},
        {std::string(5000, '1') + "\n", "line 2: longer than 4096 bytes"},
        {"0,0,0,0,0,0,0,1,0,1\n", "line 2: n 0 is no count of points"},
        {"5,5,2,2,0,2,0,1,0,1\n",
         "line 2: sfxfy 2 is no sum of products of fractions whose sums are 2 and 0 over 2 points"},
        {"5,5,2,2,2,1.5,0,1,0,1\n",
         "line 2: sfxfy 1.5 is no sum of products of fractions whose sums are 2 and 2 over 2 points"},
        // Counts that add up past 2^53 points, in cells or in the counts' rows.
        {"0,0,9007199254740992,0,0,0,0,1,0,1\n1,0,1,0,0,0,0,1,0,1\n",
         "line 3: the counts add up to more than 9007199254740992 points"},
        {"-1,-1,9007199254740000,0,0,0,0,1,0,1\n-2,-2,993,0,0,0,0,1,0,1\n",
         "line 3: the counts add up to more than 9007199254740992 points"},
        // Comments are taken before the header only.
        {"# a note\n", "line 2: 1 fields, not 10"},
        // Sums of weights of any sign, but finite, and none in a row of counts.
        {"0,0,1,0,0,0,inf,0,0,0,0,1,0,1\n", "line 2: sw inf is no finite sum", kWeightedHeader},
        {"0,0,1,0,0,0,-2,0,0,nan,0,1,0,1\n", "line 2: swfxfy nan is no finite sum", kWeightedHeader},
        {"-2,-2,1,0,0,0,0,0,0.5,0,0,1,0,1\n", "line 2: swfy 0.5 is no sum of points counted apart", kWeightedHeader},
        {"-3,-3,1,0,0,0,0,0,0,0,0,1,0,1\n0,0,1,0,0,0,-1,0,0,1e400,0,1,0,1\n", "line 3: swfxfy \"1e400\" is no number",
         kWeightedHeader},
        {"-3,-2,1,0,0,0,0,1,0,1\n", "line 2: no cell at gx -3, gy -2"},
        {"-4,-4,1,0,0,0,0,1,0,1\n", "line 2: no cell at gx -4, gy -4"},
        // The four of a group all, or none.
        {"", "line 1: the header does not name the columns gx, gy, n, sfx, sfy, sfxfy, x_min, x_max, y_min, y_max",
         "gx,gy,n,sfx,sfy,sfxfy,sw,swfx,swfy,x_min,x_max,y_min,y_max\n"},
        {"", "line 1: the header does not name the columns gx, gy, n, sfx, sfy, sfxfy, x_min, x_max, y_min, y_max",
         "gx,gy,n,sfx,sfy,sfxfy,swz,swzfx,swzfy,swzfxfy,sw,x_min,x_max,y_min,y_max\n"},
    };
    for (const auto& c : cases) {
        TempStream in(c.header + c.rows);
        CellSumsTable table;
        std::string problem;
        EXPECT_FALSE(read_cell_sums(in.file, &table, &problem));
        EXPECT_EQ(problem, c.problem);
    }
    TempStream wrong_header("gx,gy,n\n0,0,1\n");
    CellSumsTable table;
    std::string problem;
    EXPECT_FALSE(read_cell_sums(wrong_header.file, &table, &problem));
    EXPECT_EQ(problem,
              "line 1: the header does not name the columns gx, gy, n, sfx, sfy, sfxfy, x_min, x_max, y_min, y_max");
}

// The sums n points can give are those that weigh no node of their cell
// below zero: checked against the four bilinear weights of every
// combination of sums in quarter steps (exact in binary, so the rounding
// allowance never decides). One and two points are enough: each parser
// holds a whole table, slow to make under the sanitizers.
TEST(CellSumsFile, TakesExactlyTheSumsThatWeighNoNodeBelowZero)
{
    int taken = 0, refused = 0;
    for (int n = 1; n <= 2; ++n)
        for (int qx = -1; qx <= 4 * n + 1; ++qx)
            for (int qy = -1; qy <= 4 * n + 1; ++qy)
                for (int qxy = -1; qxy <= 4 * n + 1; ++qxy) {
                    const double sfx = qx / 4.0, sfy = qy / 4.0, sfxfy = qxy / 4.0;
                    const double weights[4] = {n - sfx - sfy + sfxfy, sfx - sfxfy, sfy - sfxfy, sfxfy};
                    const bool possible =
                        std::all_of(std::begin(weights), std::end(weights), [](double w) { return w >= 0; });
                    char row[128];
                    std::snprintf(row, sizeof row, "7,9,%d,%g,%g,%g,0,1,0,1\n", n, sfx, sfy, sfxfy);
                    CellSumsParser parser;
                    const bool read = parser.feed(kHeader) && parser.feed(row) && parser.finish();
                    ASSERT_EQ(read, possible) << row << parser.problem();
                    (read ? taken : refused) += 1;
                }
    EXPECT_GT(taken, 100);
    EXPECT_GT(refused, 100);
}

// What engines and people put before the header: a byte-order mark,
// comments, the rule the sums were made by.
TEST(CellSumsFile, ReadsTheBinningLineAndCommentsBeforeTheHeader)
{
    const struct {
        std::string head;
        bool has_binning;
        BinningRule binning;
        const char* problem; // null: read
    } cases[] = {
        {"", false, BinningRule::bilinear, nullptr},
        {"\xEF\xBB\xBF", false, BinningRule::bilinear, nullptr},
        {"\xEF\xBB\xBF# made by hand\n\n#\n", false, BinningRule::bilinear, nullptr},
        {"# binning: classic\n", true, BinningRule::classic, nullptr},
        {"\xEF\xBB\xBF#Binning:bilinear \r\n# more\n", true, BinningRule::bilinear, nullptr},
        {"# binning: nearest\n", false, BinningRule::bilinear,
         "line 1: binning \"nearest\" is no rule (bilinear or classic)"},
        {"# binning: classic\n# binning: classic\n", false, BinningRule::bilinear, "line 2: a second binning line"},
        // A mark is one only at the very start.
        {"\n\xEF\xBB\xBF", false, BinningRule::bilinear,
         "line 2: the header does not name the columns gx, gy, n, sfx, sfy, sfxfy, x_min, x_max, y_min, y_max"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head);
        TempStream in(c.head + kHeader + "3,4,2,0.5,1.25,0.25,0,4000,-1,1\n");
        CellSumsTable table;
        std::string problem;
        ASSERT_EQ(read_cell_sums(in.file, &table, &problem), c.problem == nullptr) << problem;
        if (c.problem) {
            EXPECT_EQ(problem, c.problem);
            continue;
        }
        EXPECT_EQ(table.cells[4 * kSumCells + 3].n, 2);
        EXPECT_EQ(table.has_binning, c.has_binning);
        EXPECT_EQ(table.binning, c.binning);
    }
    // The lines that name the columns summed and the axes binned, each
    // once, before a header that has those columns.
    const std::string weighted = std::string(kWeightedHeader) + "3,4,2,0.5,1.25,0.25,-1,0,2,0,0,4000,-1,1\n";
    const struct {
        std::string text;
        const char* weight_name;
        bool log_x, log_y;
        const char* problem; // null: read
    } notes[] = {
        {"# weight: mass of it\n# log: y x\n" + weighted, "mass of it", true, true, nullptr},
        {"#LOG:x\n" + weighted, "", true, false, nullptr},
        {"# log:\t y \n" + std::string(kHeader), "", false, true, nullptr},
        {"# logarithms\n# weights: none\n" + std::string(kHeader), "", false, false, nullptr},
        {"# weight: mass\n" + std::string(kHeader), "", false, false,
         "line 2: the weight line names \"mass\", but the header has no sw, swfx, swfy, swfxfy"},
        {"# mean: t\n" + weighted, "", false, false,
         "line 2: the mean line names \"t\", but the header has no swz, swzfx, swzfy, swzfxfy"},
        {"# log: x z\n", "", false, false, "line 1: log \"x z\" names no axis but x and y"},
        {"# log: \n", "", false, false, "line 1: log \"\" names no axis but x and y"},
        {"# log: x\n# Log: y\n", "", false, false, "line 2: a second log line"},
        {"# weight: a\n# mean: b\n# weight: a\n", "", false, false, "line 3: a second weight line"},
        {"# mean: a\n# mean: b\n", "", false, false, "line 2: a second mean line"},
    };
    for (const auto& c : notes) {
        SCOPED_TRACE(c.text);
        TempStream in(c.text);
        CellSumsTable table;
        std::string problem;
        ASSERT_EQ(read_cell_sums(in.file, &table, &problem), c.problem == nullptr) << problem;
        if (c.problem) {
            EXPECT_EQ(problem, c.problem);
            continue;
        }
        EXPECT_EQ(table.weight_name, c.weight_name);
        EXPECT_EQ(table.log_x, c.log_x);
        EXPECT_EQ(table.log_y, c.log_y);
    }
}

// Saved sums read back bit for bit, and the file is the header and rows
// it always was, after a line naming the rule where the table knows it.
TEST(CellSumsFile, WritesEveryDigitAndTheRule)
{
    CellSumsTable table;
    table.range = Range{-0.1, 1.0 / 3, 1e-300, 4e300};
    table.cells[1 * kSumCells + 2] = CellSums{3, 0.1 + 0.2, 2.0 / 3, 0.1 * (2.0 / 3)};
    table.cells[199 * kSumCells + 199] = CellSums{9007199254739000, 1, 0, 0};
    table.rejected = 7;
    table.not_a_number = 992;
    for (const bool has_binning : {false, true}) {
        table.has_binning = has_binning;
        table.binning = BinningRule::classic;
        TempStream out("");
        ASSERT_TRUE(write_cell_sums(out.file, table));
        std::rewind(out.file);
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), out.file));
        const std::string rows = std::string(kHeader) +
            "2,1,3,0.30000000000000004,0.66666666666666663,0.066666666666666666,-0.10000000000000001,"
            "0.33333333333333331,1e-300,4.0000000000000002e+300\n"
            "199,199,9007199254739000,1,0,0,-0.10000000000000001,0.33333333333333331,1e-300,"
            "4.0000000000000002e+300\n"
            "-1,-1,7,0,0,0,-0.10000000000000001,0.33333333333333331,1e-300,4.0000000000000002e+300\n"
            "-2,-2,992,0,0,0,-0.10000000000000001,0.33333333333333331,1e-300,4.0000000000000002e+"
            "300\n";
        EXPECT_EQ(text, (has_binning ? "# binning: classic\n" : "") + rows);
        std::rewind(out.file);
        CellSumsTable back;
        std::string problem;
        ASSERT_TRUE(read_cell_sums(out.file, &back, &problem)) << problem;
        EXPECT_EQ(back.range, table.range);
        EXPECT_EQ(back.has_binning, has_binning);
        EXPECT_EQ(back.rejected, 7);
        EXPECT_EQ(back.not_a_number, 992);
        for (std::size_t k = 0; k < table.cells.size(); ++k) {
            const CellSums &a = table.cells[k], &b = back.cells[k];
            ASSERT_TRUE(a.n == b.n && a.sfx == b.sfx && a.sfy == b.sfy && a.sfxfy == b.sfxfy) << k;
        }
    }
}

// A table of weighted means on logarithmic axes: the lines that say so,
// the columns of its sums, the row of points with no logarithm, and back
// bit for bit; a name that would end its line is escaped.
TEST(CellSumsFile, WritesTheSumsOfWeightsAndValuesAndTheirAxes)
{
    CellSumsTable table;
    table.range = Range{1, 1000, 0.5, 2};
    table.has_binning = true;
    table.weighted = table.means = true;
    table.weight_name = "mass\nx,y";
    table.value_name = "t";
    table.log_y = true;
    table.cells[2] = CellSums{2, 0.5, 0.25, 0.125};
    table.values.resize(table.cells.size());
    table.values[2] = CellValueSums{{-1.0 / 3, 0.1, -0.2, 0.3}, {4, 5e-300, 6, -7}};
    table.rejected = 1;
    table.nonpositive = 4;
    TempStream out("");
    ASSERT_TRUE(write_cell_sums(out.file, table));
    std::rewind(out.file);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), out.file));
    const std::string range = ",1,1000,0.5,2\n";
    EXPECT_EQ(text,
              "# binning: bilinear\n# weight: mass\\x0Ax,y\n# mean: t\n# log: y\n"
              "gx,gy,n,sfx,sfy,sfxfy,sw,swfx,swfy,swfxfy,swz,swzfx,swzfy,swzfxfy,x_min,x_max,y_min,y_max\n"
              "2,0,2,0.5,0.25,0.125,-0.33333333333333331,0.10000000000000001,-0.20000000000000001,"
              "0.29999999999999999,4,5e-300,6,-7" +
                  range + "-1,-1,1,0,0,0,0,0,0,0,0,0,0,0" + range + "-2,-2,0,0,0,0,0,0,0,0,0,0,0,0" + range +
                  "-3,-3,4,0,0,0,0,0,0,0,0,0,0,0" + range);
    std::rewind(out.file);
    CellSumsTable back;
    std::string problem;
    ASSERT_TRUE(read_cell_sums(out.file, &back, &problem)) << problem;
    EXPECT_TRUE(back.weighted && back.means && back.log_y && !back.log_x);
    EXPECT_EQ(back.weight_name, "mass\\x0Ax,y");
    EXPECT_EQ(back.value_name, "t");
    EXPECT_EQ(back.nonpositive, 4);
    const CellValueSums& a = table.values[2];
    const CellValueSums& b = back.values[2];
    EXPECT_TRUE(a.w.s == b.w.s && a.w.sfx == b.w.sfx && a.w.sfy == b.w.sfy && a.w.sfxfy == b.w.sfxfy);
    EXPECT_TRUE(a.wz.s == b.wz.s && a.wz.sfx == b.wz.sfx && a.wz.sfy == b.wz.sfy && a.wz.sfxfy == b.wz.sfxfy);
}

} // namespace
