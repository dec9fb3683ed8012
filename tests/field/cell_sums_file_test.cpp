// Tables of cell sums as engines write them, and the ones no query gives.
#include "field/cell_sums_file.h"

#include <gtest/gtest.h>

#include "temp_stream.h"

#include <string>

namespace {

constexpr char kHeader[] = "gx,gy,n,sfx,sfy,sfxfy,x_min,x_max,y_min,y_max\n";

TEST(CellSumsFile, ReadsWhatEnginesWrite)
{
    // Quoted names in another order, tabs, CRLF, cells split over two rows
    // (two shards' parts), and pieces cut anywhere.
    const std::string text =
        "\"n\"\t\"gx\"\t\"gy\"\t\"sfx\"\t\"sfy\"\t\"sfxfy\"\t\"x_min\"\t\"x_max\"\t\"y_min\"\t\"y_max\"\r\n"
        "2\t3\t4\t0.5\t1.25\t0.25\t0\t4000\t-1\t1\r\n"
        "1\t3\t4\t1\t0\t0\t0\t4000\t-1\t1\r\n"
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
    }
}

TEST(CellSumsFile, RefusesWhatNoQueryGivesWithItsLine)
{
    const struct {
        std::string rows;
        const char* problem;
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
        {"0,0,1,0,0,0,0,1,0,1 \x01\n", "line 2: y_max \"1 \x01\" is no number"},
        {std::string(5000, '1') + "\n", "line 2: longer than 4096 bytes"},
    };
    for (const auto& c : cases) {
        TempStream in(kHeader + c.rows);
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

} // namespace
