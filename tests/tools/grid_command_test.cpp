// varnel-cli grid as other tools see it: its output, its last line on
// standard error and its exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class GridCommand : public ::testing::Test {
protected:
    std::filesystem::path dir;

    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
            ("varnel-grid-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }

    Outcome run(const std::string& args)
    {
        std::string command =
            std::string(VARNEL_CLI) + " grid " + args + " >" + (dir / "out").string() + " 2>" + (dir / "err").string();
        int status = std::system(command.c_str());
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir / "out"), read_file(dir / "err")};
    }
};

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string last_line(const std::string& text)
{
    auto lines = lines_of(text);
    return lines.empty() ? "" : lines.back();
}

std::vector<std::string> fields_of(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space - start));
        if (space == std::string::npos)
            return fields;
        start = space + 1;
    }
}

TEST_F(GridCommand, PrintsTheNormalisedGridRowByRow)
{
    // One point at (110, 130): cell (5, 6), fx = 0.5, fy = 0.5.
    Outcome r = run(write("data.txt", "110 130\n"));
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 201u);
    for (int j = 0; j < 201; ++j) {
        auto values = fields_of(lines[j]);
        ASSERT_EQ(values.size(), 201u) << "row " << j;
        for (int i = 0; i < 201; ++i) {
            bool hot = (i == 5 || i == 6) && (j == 6 || j == 7);
            ASSERT_EQ(values[i], hot ? "1" : "0") << i << ", " << j;
        }
    }
    EXPECT_EQ(last_line(r.err), "load=1 rejected=0 max=0.25 points=1 in_range=1 rejected_lines=0 header=0 nan=0");
}

TEST_F(GridCommand, ValuesUseSeventeenSignificantDigits)
{
    // Three points in the middle of three cells that share node (6, 6).
    Outcome r = run(write("data.txt", "110 110\n130 110\n110 130\n"));
    ASSERT_EQ(r.status, 0);
    auto row5 = fields_of(lines_of(r.out)[5]);
    EXPECT_EQ(row5[5], "0.33333333333333331");
    EXPECT_EQ(row5[6], "0.66666666666666663");
    EXPECT_EQ(row5[7], "0.33333333333333331");
    EXPECT_EQ(fields_of(lines_of(r.out)[6])[6], "1");
    EXPECT_EQ(last_line(r.err), "load=1 rejected=0 max=0.75 points=3 in_range=3 rejected_lines=0 header=0 nan=0");
    // The count line's numbers too: one point on node (5, 5) weighing 0.1.
    r = run(write("weighed.txt", "100 100 0.1\n") + " --weight 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(last_line(r.err),
              "load=1 rejected=0 max=0.10000000000000001 points=1 in_range=1 rejected_lines=0 header=0 "
              "nan=0 weight=0.10000000000000001");
}

TEST_F(GridCommand, RangeSkipAndOutputFile)
{
    std::string data = write("data.txt", "x y\n-50 -50\n50 50\n5000 0\n");
    Outcome r = run(data + " --range -100 100 -100 100 --skip 1 -o " + (dir / "grid.txt").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lines_of(read_file(dir / "grid.txt")).size(), 201u);
    EXPECT_EQ(last_line(r.err), "load=1 rejected=1 max=1 points=3 in_range=2 rejected_lines=0 header=0 nan=0");
}

TEST_F(GridCommand, FileWithoutPointsStillExitsZero)
{
    // Also when the largest skip passes over the one point there is.
    for (const std::string& args :
         {write("data.txt", "just a header\n"), write("point.txt", "1 2\n") + " --skip 2147483647"}) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_EQ(last_line(r.err).rfind("load=0 rejected=0 max=0 points=0 in_range=0 rejected_lines=0 header=", 0), 0u)
            << args;
        EXPECT_EQ(r.out.find('1'), std::string::npos) << args;
    }
}

TEST_F(GridCommand, SeparatorsColumnsAndTheCountsOfWhatWasRead)
{
    struct Case {
        std::string text;
        std::string options;
        std::string counts; // the end of the load line
        std::string warning;
    };
    const Case cases[] = {
        {"x,y\n# a comment\n110,130\n110;130\n110\t130\n110 , 130\n", "--range 0 400 0 400",
         "points=4 in_range=4 rejected_lines=0 header=1 nan=0", ""},
        {"id;y;x\n1;130;110\n2;130;110;extra\nbad line\n", "--columns 3 2 --range 0 400 0 400",
         "points=2 in_range=2 rejected_lines=1 header=1 nan=0", ""},
        {"110 130\n-5 -5\n", "--range 0 10 0 20", "points=2 in_range=0 rejected_lines=0 header=0 nan=0",
         "2 points were read, but none lies in the range 0..10, 0..20 (--range auto fits it to the data)\n"},
        // Said once: that they miss the default range is all there is to say.
        {"5000 5000\n6000 7000\n", "", "points=2 in_range=0 rejected_lines=0 header=0 nan=0",
         "2 points were read, but none lies in the range 0..4000, 0..4000 (--range auto fits it to the data)\n"},
        {"inf 1\n2 inf\n", "--range auto", "points=2 in_range=0 rejected_lines=0 header=0 nan=0",
         "2 points were read, but none lies in the range 0..4000, 0..4000 (none of them has finite coordinates)\n"},
        {"\n# only words\nx y\nno numbers here\n", "", "points=0 in_range=0 rejected_lines=1 header=1 nan=0",
         "holds no readable point (line 4 is the first without one)"},
        {"", "", "points=0 in_range=0 rejected_lines=0 header=0 nan=0", "holds no point\n"},
        // The largest of each number is taken.
        {"1 2\n", "--columns 1000 1 --threads 1024 --skip 2147483647",
         "points=0 in_range=0 rejected_lines=0 header=0 nan=0", "holds no point\n"},
    };
    for (const Case& c : cases) {
        Outcome r = run(write("data.csv", c.text) + " " + c.options);
        EXPECT_EQ(r.status, 0) << c.text;
        const std::string load = last_line(r.err);
        EXPECT_EQ(load.substr(load.find("points=")), c.counts) << c.text;
        size_t warnings = 0;
        for (size_t at = r.err.find("warning:"); at != std::string::npos; at = r.err.find("warning:", at + 1))
            ++warnings;
        EXPECT_EQ(warnings, c.warning.empty() ? 0u : 1u) << r.err;
        EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    }
    for (const char* bad : {"--columns 1", "--columns 2 2", "--columns 0 1", "--columns 1 x"})
        EXPECT_EQ(run(write("data.csv", "1 2\n") + " " + bad).status, 2) << bad;
}

// "--range auto" bins over the range the viewer's menu would fit; a file
// without a point keeps the default range and says why.
TEST_F(GridCommand, RangeAutoFitsTheRangeToThePoints)
{
    const struct {
        const char* text;
        const char* options;
        const char* fitted; // the line on standard error; empty for none
        const char* counts;
    } cases[] = {
        {"1800 1800\n2200 2200\n", "", "varnel-cli: range fitted to the data: 1800 2250 1800 2250",
         "points=2 in_range=2"},
        {"-3.5 100\n7 120\n0.25 1e3\n", " --binning classic", "varnel-cli: range fitted to the data: -5 7.5 100 1100",
         "points=3 in_range=3"},
        // Bilinear binning places every x where it is.
        {"-3.5 100\n7 120\n0.25 1e3\n", "", "varnel-cli: range fitted to the data: -4 8 100 1100",
         "points=3 in_range=3"},
        {"x y\n", "", "", "points=0 in_range=0"},
        // Skipped lines are not fitted either.
        {"5000 -5000\n1800 1800\n2200 2200\n", " --skip 1", "varnel-cli: range fitted to the data: 1800 2250 1800 2250",
         "points=2 in_range=2"},
    };
    for (const auto& c : cases) {
        Outcome r = run(write("data.txt", c.text) + " --range auto -o " + (dir / "grid.txt").string() + c.options);
        EXPECT_EQ(r.status, 0) << c.text;
        EXPECT_EQ(std::string(c.fitted).empty(), r.err.find("fitted") == std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.fitted), std::string::npos) << r.err;
        EXPECT_NE(last_line(r.err).find(c.counts), std::string::npos) << r.err;
    }
    EXPECT_EQ(run(write("data.txt", "1 2\n") + " --range auto 0 1 0 1").status, 2);
}

// The default range, left as it is, that holds under half the points or
// that they fill under a quarter of: a warning says where the data lie.
TEST_F(GridCommand, DataFarFromTheDefaultRangeAreSaidWhereTheyLie)
{
    const struct {
        const char* text;
        const char* options;
        const char* warning; // a part of it; empty for none
    } cases[] = {
        {"1 1\n2 3\n3 2\n", "",
         "3 of 3 points lie in the default range 0..4000, 0..4000, filling 0% and 0% of its"
         " axes; the data run 1..3, 1..3 (--range auto fits it to them)"},
        {"100 100\n5000 900\n6000 3900\n7000 2000\n", "", "1 of 4 points lie in the default range"},
        // Across all of x, but a sliver of y.
        {"100 100\n3900 200\n2000 150\n", "", "filling 95% and 2% of its axes; the data run 100..3900, 100..200"},
        {"100 100\n3900 3900\n2000 1000\n", "", ""},
        {"1 1\n2 3\n3 2\n", " --range 0 4 0 4", ""},
        {"1 1\n2 3\n3 2\n", " --range auto", ""},
    };
    for (const auto& c : cases) {
        const Outcome r = run(write("data.txt", c.text) + " -o " + (dir / "grid.txt").string() + c.options);
        EXPECT_EQ(r.status, 0) << c.text;
        EXPECT_EQ(*c.warning == '\0', r.err.find("default range") == std::string::npos) << c.text << r.err;
        EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    }
}

// Files as R and pandas write them: index columns are no data, the first
// two numeric columns are taken and said, names pick columns, and every
// line is counted somewhere.
TEST_F(GridCommand, CsvShapesGiveTheirDataColumns)
{
    const std::string rows = "3.6,79\n1.8,54\n3.333,74\n";
    const struct {
        const char* shape;
        std::string text;
        std::string options;
        const char* said; // the columns line on standard error; empty for none
        const char* counts;
    } cases[] = {
        {"R write.csv", "\"\",\"eruptions\",\"waiting\"\n\"1\",3.6,79\n\"2\",1.8,54\n\"3\",3.333,74\n", "",
         "x = 2 (\"eruptions\"), y = 3 (\"waiting\")", "points=3 in_range=3 rejected_lines=0 header=1 nan=0"},
        {"R row.names=FALSE", "\"eruptions\",\"waiting\"\n" + rows, "", "",
         "points=3 in_range=3 rejected_lines=0 header=1 nan=0"},
        {"pandas to_csv", ",eruptions,waiting\n0,3.6,79\n1,1.8,54\n2,3.333,74\n", "",
         "x = 2 (\"eruptions\"), y = 3 (\"waiting\")", "points=3 in_range=3 rejected_lines=0 header=1 nan=0"},
        {"pandas index=False", "eruptions,waiting\n" + rows, "", "",
         "points=3 in_range=3 rejected_lines=0 header=1 nan=0"},
        {"text first, tabs, quotes, NA",
         "\"species\"\t\"island\"\t\"bill_length_mm\"\t\"bill_depth_mm\"\n\"Adelie\"\t\"Torgersen\"\t39.1\t18.7\n"
         "\"Adelie\"\t\"Torgersen\"\tNA\tNA\n\"Gentoo\"\t\"Biscoe\"\t46.1\t13.2\n",
         "", "x = 3 (\"bill_length_mm\"), y = 4 (\"bill_depth_mm\")",
         "points=2 in_range=2 rejected_lines=1 header=1 nan=0"},
        {"quoted names with spaces and commas (R's world.cities)",
         "\"\",\"name\",\"country.etc\",\"pop\",\"lat\"\n\"1\",\"'Abasan al-Jadidah\",\"Palestine\",5629,31.31\n"
         "\"2\",\"Washington, D.C.\",\"USA\",552433,38.91\n\"3\",\"Say \"\"Hi\"\", then\",\"X\",7,1.5\n",
         "", "x = 4 (\"pop\"), y = 5 (\"lat\")", "points=3 in_range=3 rejected_lines=0 header=1 nan=0"},
        {"pandas sep=' ': a quoted text column with spaces and doubled quotes",
         "name pop lat\n\"Say \"\"Hi\"\" then\" 7 1.5\n\"Washington D.C.\" 552433 38.91\n", "",
         "x = 2 (\"pop\"), y = 3 (\"lat\")", "points=2 in_range=2 rejected_lines=0 header=1 nan=0"},
        {"R write.csv of formatted numbers, padded inside their quotes",
         "\"x\",\"y\"\n\" 3.6\",\"79\"\n\"10.0\",\" 54 \"\n", "", "",
         "points=2 in_range=2 rejected_lines=0 header=1 nan=0"},
        {"decimal commas, one number longer than most", "x;y\n1,5;2,5\n1," + std::string(70, '0') + "5;2\n3,5;4,5\n",
         "", "", "points=3 in_range=3 rejected_lines=0 header=1 nan=0"},
        {"by name", "a;b;c\n1;2;3\n4;nan;6\n", "--columns c a", "",
         "points=2 in_range=2 rejected_lines=0 header=1 nan=0"},
        {"a named counter is data", "n,v,w\n1,5,9\n2,6,9\n", "", "x = 1 (\"n\"), y = 2 (\"v\")",
         "points=2 in_range=2 rejected_lines=0 header=1 nan=0"},
        {"NaN counted", "x y\n1 nan\nnan 2\n3 4\n", "", "", "points=3 in_range=1 rejected_lines=0 header=1 nan=2"},
    };
    for (const auto& c : cases) {
        Outcome r =
            run(write("data.csv", c.text) + " --range auto -o " + (dir / "grid.txt").string() + " " + c.options);
        EXPECT_EQ(r.status, 0) << c.shape << r.err;
        const std::string said = std::string("varnel-cli: columns from the header: ") + c.said;
        EXPECT_EQ(*c.said != 0, r.err.find(said) != std::string::npos) << c.shape << r.err;
        const std::string load = last_line(r.err);
        EXPECT_EQ(load.substr(load.find("points=")), c.counts) << c.shape;
    }
    // Eruptions above 1.6 minutes stay there: nothing is moved below 40.
    Outcome r = run(write("data.csv", "\"eruptions\",\"waiting\"\n" + rows) + " --range auto -o /dev/null");
    EXPECT_NE(r.err.find("range fitted to the data: 1.8 3.8 50 80"), std::string::npos) << r.err;
    // A name the header lacks is a usage error that lists the header's names.
    r = run(write("data.csv", ",eruptions,waiting\n0,3.6,79\n") + " --columns eruption waiting");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "varnel-cli: --columns eruption: no such column in " + (dir / "data.csv").string() +
                  "'s header: \"\", \"eruptions\", \"waiting\"");
}

// Names and fields read from a file reach the terminal escaped: no colour,
// no cleared screen, no window title, no bell, whatever the file holds.
TEST_F(GridCommand, FileTextReachesTheTerminalEscaped)
{
    // A title needs a semicolon; quoted, it is no separator.
    const std::string hostile = "x\x1B[2J\x1B]2;owned\x07\x9B";
    const std::string quoted = '"' + hostile + '"';
    const std::string escaped = "x\\x1B[2J\\x1B]2;owned\\x07\\x9B";
    const struct {
        std::string text, options;
        int status;
        std::string shown;
    } cases[] = {
        {"i," + quoted + ",y\n1,2,3\n", "", 0, escaped},                                // the columns from the header
        {quoted + ",y\n1,2\n", " --columns z y", 2, escaped},                           // no such column
        {"z,y\n1,2\n", " --columns " + std::string("'") + hostile + "' y", 2, escaped}, // the name asked for
        // A field of a table of sums, which has no quotes.
        {"gx,gy,n,sfx,sfy,sfxfy,x_min,x_max,y_min,y_max\n0,0,\x1B[2J\x07\x9B,0,0,0,0,1,0,1\n", "", 1,
         "\\x1B[2J\\x07\\x9B"},
    };
    for (const auto& c : cases) {
        const Outcome r = run(write("data.csv", c.text) + c.options);
        EXPECT_EQ(r.status, c.status) << c.options;
        EXPECT_NE(r.err.find(c.shown), std::string::npos) << r.err;
        for (const char byte : r.err)
            EXPECT_TRUE(
                byte == '\n' ||
                (static_cast<unsigned char>(byte) >= 0x20 && byte != 0x7F && static_cast<unsigned char>(byte) < 0x80))
                << "raw byte " << int(static_cast<unsigned char>(byte)) << " in " << r.err;
    }
}

TEST_F(GridCommand, MissingFileAndUsageErrors)
{
    Outcome missing = run((dir / "nope.txt").string());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "varnel-cli: cannot open " + (dir / "nope.txt").string() + ": " + std::strerror(ENOENT) + "\n");

    // A folder opens but cannot be read: a failure, not an empty data file.
    std::filesystem::create_directories(dir / "folder.txt");
    Outcome folder = run((dir / "folder.txt").string());
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err,
              "varnel-cli: cannot read " + (dir / "folder.txt").string() + ": " + std::strerror(EISDIR) + "\n");
    EXPECT_EQ(folder.out, "");
    // Compressed data damaged within the first look says how, not just
    // "Input/output error".
    {
        std::ofstream text(dir / "damaged.txt");
        for (int k = 0; k < 20000; ++k)
            text << k % 4000 << ' ' << (k * 7) % 4000 << '\n';
    }
    ASSERT_EQ(std::system(("gzip -f " + (dir / "damaged.txt").string()).c_str()), 0);
    std::string packed = read_file(dir / "damaged.txt.gz");
    for (size_t k = packed.size() / 2; k < packed.size() / 2 + 16; ++k)
        packed[k] = char(packed[k] ^ 0x5A);
    std::ofstream(dir / "damaged.txt.gz", std::ios::binary) << packed;
    const Outcome damaged = run((dir / "damaged.txt.gz").string());
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.err.rfind(
                  "varnel-cli: cannot read " + (dir / "damaged.txt.gz").string() + ": the gzip data is damaged: ", 0),
              0u)
        << damaged.err;
    // A pipe cannot be read twice to fit the range: one line says so.
    const int piped = std::system(("echo 1 2 | " + std::string(VARNEL_CLI) + " grid /dev/stdin --range auto 2>" +
                                   (dir / "err").string() + " >/dev/null")
                                      .c_str());
    EXPECT_TRUE(WIFEXITED(piped) && WEXITSTATUS(piped) == 1) << piped;
    EXPECT_EQ(read_file(dir / "err"),
              "varnel-cli: --range auto reads /dev/stdin twice, but it can be read only once (a "
              "pipe or a device); give the range as XMIN XMAX YMIN YMAX\n");

    std::string data = write("data.txt", "1 2\n");
    const std::string named = write("named.csv", "a,b,c\n1,2,3\n");
    // A usage error says first what was wrong, then shows the usage.
    const std::string bad[][2] = {
        {"", "no data file given"},
        {data + " --range 0 1 2", "--range needs four numbers, XMIN XMAX YMIN YMAX, or auto"},
        {data + " --skip", "--skip needs a number of lines"},
        {data + " --skip -1", "--skip -1: not a whole number from 0 to 2147483647"},
        {data + " --skip x", "--skip x: not a whole number from 0 to 2147483647"},
        {data + " --skip 2147483648", "--skip 2147483648: not a whole number from 0 to 2147483647"},
        {data + " --threads", "--threads needs a number of threads"},
        {data + " --threads -1", "--threads -1: not a whole number from 0 (one per core) to 1024"},
        {data + " --threads many", "--threads many: not a whole number from 0 (one per core) to 1024"},
        {data + " --range 0 a 0 1", "--range a: not a number"},
        {data + " --range 0 10x 0 1", "--range 10x: not a number"},
        {data + " -o", "-o needs a file name"},
        {data + " --bogus", "unknown option --bogus"},
        {data + " " + data, "one data file only, not also " + data},
        {data + " --columns 2 2",
         "--columns 2: columns are two different whole numbers from 1 to 1000, or two names from the file's header"},
        {data + " --columns a b", "--columns a: " + data + " has no header line to find the name in"},
        {data + " --columns 1 1001",
         "--columns 1001: columns are two different whole numbers from 1 to 1000, or two names from the file's header"},
        {data + " --weight 0",
         "--weight 0: a column is a whole number from 1 to 1000, or a name from the file's header"},
        {data + " --mean -2", "--mean -2: a column is a whole number from 1 to 1000, or a name from the file's header"},
        {data + " --mean 1001",
         "--mean 1001: a column is a whole number from 1 to 1000, or a name from the file's header"},
        // A name the header lacks is named with the option that asked for it.
        {data + " --weight w", "--weight w: " + data + " has no header line to find the name in"},
        {named + " --mean v", "--mean v: no such column in " + named + "'s header: \"a\", \"b\", \"c\""},
        {named + " --weight w", "--weight w: no such column in " + named + "'s header: \"a\", \"b\", \"c\""},
        {named + " --columns a w", "--columns w: no such column in " + named + "'s header: \"a\", \"b\", \"c\""},
    };
    for (const auto& c : bad) {
        Outcome r = run(c[0]);
        EXPECT_EQ(r.status, 2) << c[0];
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "varnel-cli: " + c[1]);
        EXPECT_NE(r.err.find("\nusage: varnel-cli grid"), std::string::npos) << c[0];
    }
}

} // namespace

namespace {

// A field binned once and kept as the sums of its cells opens again as the
// points did: the same counts, the same grid within the rounding of the
// sums, for each rule, with NaN and infinite points among them.
TEST_F(GridCommand, SumsFileOpensAsThePointsDid)
{
    std::string text = "x,y\nnan,3\n5,inf\n-inf,7\n4000,10\n39.5,20\n0,0\n";
    unsigned seed = 12345;
    for (int k = 0; k < 50000; ++k) {
        seed = seed * 1103515245u + 12345u;
        const double x = (seed >> 8) % 4100000 / 1000.0 - 50;
        seed = seed * 1103515245u + 12345u;
        const double y = (seed >> 8) % 3000000 / 1000.0 + 500;
        text += std::to_string(x) + "," + std::to_string(y) + "\n";
    }
    const std::string points = write("points.csv", text);
    for (const char* rule : {"bilinear", "classic"}) {
        SCOPED_TRACE(rule);
        const std::string options = std::string(" --range -20 4020 450 3600 --binning ") + rule;
        const Outcome want = run(points + options);
        ASSERT_EQ(want.status, 0) << want.err;
        const std::string sums = (dir / "sums.csv").string();
        const Outcome saved = run(points + options + " --sums -o " + sums);
        ASSERT_EQ(saved.status, 0) << saved.err;
        EXPECT_EQ(last_line(saved.err), last_line(want.err));
        // The file carries its range: the default one asked here is not used.
        const Outcome got = run(sums + " --binning " + rule);
        ASSERT_EQ(got.status, 0) << got.err;
        const auto counts_of = [](const std::string& line) {
            auto fields = fields_of(line);
            fields.erase(fields.begin() + 2);                 // max=, compared below
            fields.erase(fields.end() - 3, fields.end() - 1); // rejected_lines= and header=: no lines here
            return fields;
        };
        EXPECT_EQ(counts_of(last_line(got.err)), counts_of(last_line(want.err)));
        // The file names its rule: another asked for is refused, none asked follows it.
        const std::string other = std::string(rule) == "classic" ? "bilinear" : "classic";
        const Outcome mixed = run(sums + " --binning " + other);
        EXPECT_EQ(mixed.status, 1);
        EXPECT_EQ(last_line(mixed.err),
                  "varnel-cli: cannot load " + sums + ": its sums were made by the " + rule + " binning rule, not by " +
                      other + " as asked (without --binning the file's rule is followed)");
        EXPECT_EQ(run(sums).out, got.out);
        EXPECT_EQ(last_line(want.err).find("nan=1"), last_line(want.err).size() - 5);
        const auto want_rows = lines_of(want.out), got_rows = lines_of(got.out);
        ASSERT_EQ(got_rows.size(), 201u);
        for (int j = 0; j < 201; ++j) {
            const auto want_values = fields_of(want_rows[j]), got_values = fields_of(got_rows[j]);
            ASSERT_EQ(got_values.size(), 201u);
            for (int i = 0; i < 201; ++i)
                ASSERT_NEAR(std::stod(got_values[i]), std::stod(want_values[i]), 1e-12) << i << ", " << j;
        }
    }
    // A damaged table says where.
    const std::string bad = write("bad.csv", "gx,gy,n,sfx,sfy,sfxfy,x_min,x_max,y_min,y_max\n0,0,1,2,0,0,0,1,0,1\n");
    const Outcome refused = run(bad);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(last_line(refused.err),
              "varnel-cli: " + bad + " is no table of cell sums: line 2: sfx 2 is no sum of the fractions of 1 points");
}

} // namespace

namespace {

// A point as the tests write it: x, y, a weight and a value.
struct ValuedPoint {
    double x, y, w, z;
};

// What grid should print, worked out from the tent a node has around it:
// a point q nodes along an axis gives node i the share max(0, 1 - |q - i|).
struct Expected {
    std::vector<double> nodes; // 201 x 201, row by row from the range's bottom
    double weight = 0;
    long long nonpositive = 0;
    long long not_a_number = 0;
};

struct Asked {
    double x_min, x_max, y_min, y_max;
    bool weight, mean, log_x, log_y;
};

Expected expected_grid(const std::vector<ValuedPoint>& points, const Asked& a)
{
    Expected e;
    std::vector<double> shares(201 * 201, 0.0), value_sums(201 * 201, 0.0);
    const auto along = [](double v, double low, double high, bool log) {
        return log ? (std::log10(v) - std::log10(low)) / (std::log10(high) - std::log10(low)) * 200
                   : (v - low) / (high - low) * 200;
    };
    for (const ValuedPoint& p : points) {
        const double w = a.weight ? p.w : 1.0;
        if (std::isnan(w) || (a.mean && std::isnan(p.z))) {
            ++e.not_a_number;
            continue;
        }
        if ((a.log_x && p.x <= 0) || (a.log_y && p.y <= 0)) {
            ++e.nonpositive;
            continue;
        }
        const double qx = along(p.x, a.x_min, a.x_max, a.log_x), qy = along(p.y, a.y_min, a.y_max, a.log_y);
        if (!(qx >= 0 && qx < 200 && qy >= 0 && qy < 200))
            continue;
        e.weight += w;
        for (int j = 0; j < 201; ++j)
            for (int i = 0; i < 201; ++i) {
                const double share = std::max(0.0, 1 - std::fabs(qx - i)) * std::max(0.0, 1 - std::fabs(qy - j));
                shares[j * 201 + i] += share * w;
                value_sums[j * 201 + i] += share * w * p.z;
            }
    }
    if (a.mean) {
        for (size_t k = 0; k < shares.size(); ++k)
            e.nodes.push_back(shares[k] != 0 ? value_sums[k] / shares[k] : NAN);
        return e;
    }
    double greatest = 0;
    for (double s : shares)
        greatest = std::max(greatest, std::fabs(s));
    for (double s : shares)
        e.nodes.push_back(s / greatest);
    return e;
}

std::string options_of(const Asked& a)
{
    std::ostringstream s;
    s.precision(17);
    s << " --range " << a.x_min << ' ' << a.x_max << ' ' << a.y_min << ' ' << a.y_max << (a.weight ? " --weight w" : "")
      << (a.mean ? " --mean z" : "") << (a.log_x ? " --log-x" : "") << (a.log_y ? " --log-y" : "");
    return s.str();
}

std::string text_of(const std::vector<ValuedPoint>& points)
{
    std::ostringstream s;
    s.precision(17);
    s << "x y w z\n";
    for (const ValuedPoint& p : points)
        s << p.x << ' ' << p.y << ' ' << p.w << ' ' << p.z << '\n';
    return s.str();
}

// The value after "NAME=" on the count line.
std::string count_named(const std::string& line, const std::string& name)
{
    for (const std::string& field : fields_of(line))
        if (field.rfind(name + "=", 0) == 0)
            return field.substr(name.size() + 1);
    return "absent";
}

// Every node printed against the expected one: both NaN, or within 1e-12
// of `scale`, the size of the values a mean is taken of (a mean of a few
// small shares loses digits to cancellation).
void expect_grid(const std::string& out, const Expected& e, double scale, const std::string& label)
{
    const auto rows = lines_of(out);
    ASSERT_EQ(rows.size(), 201u) << label;
    for (int j = 0; j < 201; ++j) {
        const auto values = fields_of(rows[j]);
        ASSERT_EQ(values.size(), 201u) << label;
        for (int i = 0; i < 201; ++i) {
            const double got = std::stod(values[i]), want = e.nodes[j * 201 + i];
            if (std::isnan(want))
                ASSERT_EQ(values[i], "nan") << label << " node " << i << ", " << j;
            else
                ASSERT_NEAR(got, want, 1e-12 * std::max(scale, std::fabs(want))) << label << " node " << i << ", " << j;
        }
    }
}

// The count line but for max= and weight=, which sums added in another
// order round otherwise, and header=: a table of sums has no header line.
std::string exact_counts(const std::string& line)
{
    std::string kept;
    for (const std::string& field : fields_of(line))
        if (field.rfind("max=", 0) != 0 && field.rfind("header=", 0) != 0 && field.rfind("weight=", 0) != 0)
            kept += field + " ";
    return kept;
}

// The count lines of a field and of its sums opened again: the same counts,
// the same weight within its rounding.
void expect_same_counts(const std::string& reopened, const std::string& line, const std::string& label)
{
    EXPECT_EQ(exact_counts(reopened), exact_counts(line)) << label;
    const std::string weight = count_named(line, "weight");
    if (weight == "absent")
        EXPECT_EQ(count_named(reopened, "weight"), "absent") << label;
    else
        EXPECT_NEAR(std::stod(count_named(reopened, "weight")), std::stod(weight), 1e-12 * 3000) << label;
}

// Hand-worked cases: on the range 0..200 a point's x and y are its q.
// Each is also saved as the sums of its cells, which open again as the
// same field with the same counts, by themselves or asked as they were made.
TEST_F(GridCommand, WeightsMeansAndLogAxesMatchTheTents)
{
    const std::vector<ValuedPoint> points = {
        {10.25, 20.5, 2, 4}, {10.75, 20.5, 2, 8}, // node (10, 20): 0.375 of 4 and 0.125 of 8; (11, 20) the reverse
        {5, 5, 0, 1},                             // a weight of zero: no share, so no mean either
        {7.5, 7.5, -3, 2},                        // a negative weight, shared by four nodes
        {9, 9, NAN, 1},                           // a NaN weight: a NaN point
        {-5, 3, 1, 1},       {300, 3, 7, 1},      // outside the range; no logarithm for the first
        {100, 150, 1, NAN},                       // a NaN value: a NaN point only for a mean
    };
    const struct {
        Asked asked;
        const char* counts;                                             // the count line after points=
        std::vector<std::pair<std::pair<int, int>, const char*>> nodes; // (i, j) and what it prints
    } cases[] = {
        {{0, 200, 0, 200, true, false, false, false},
         "points=8 in_range=5 rejected_lines=0 header=1 nan=1 weight=2",
         {{{10, 20}, "1"}, {{11, 21}, "1"}, {{7, 7}, "-0.75"}, {{8, 7}, "-0.75"}, {{5, 5}, "0"}, {{100, 150}, "1"}}},
        {{0, 200, 0, 200, false, true, false, false},
         "points=8 in_range=5 rejected_lines=0 header=1 nan=1",
         {{{10, 20}, "5"}, {{11, 20}, "7"}, {{5, 5}, "1"}, {{8, 8}, "2"}, {{9, 9}, "1"}, {{0, 0}, "nan"}}},
        {{0, 200, 0, 200, true, true, false, false},
         "points=8 in_range=4 rejected_lines=0 header=1 nan=2 weight=1",
         {{{10, 20}, "5"}, {{11, 20}, "7"}, {{5, 5}, "nan"}, {{8, 8}, "2"}, {{9, 9}, "nan"}, {{100, 150}, "nan"}}},
        {{1, 1000, 0, 200, false, false, true, false},
         "points=8 in_range=7 rejected_lines=0 header=1 nan=0 nonpositive=1",
         {}},
        {{1, 1000, 1, 1000, true, false, true, true},
         "points=8 in_range=6 rejected_lines=0 header=1 nan=1 weight=9 nonpositive=1",
         {}},
    };
    const std::string data = write("data.txt", text_of(points));
    for (const auto& c : cases) {
        const std::string options = options_of(c.asked);
        const Outcome r = run(data + options);
        ASSERT_EQ(r.status, 0) << options << r.err;
        const std::string line = last_line(r.err);
        EXPECT_EQ(line.substr(line.find("points=")), c.counts) << options;
        const auto rows = lines_of(r.out);
        ASSERT_EQ(rows.size(), 201u);
        for (const auto& [node, printed] : c.nodes)
            EXPECT_EQ(fields_of(rows[node.second])[node.first], printed) << options << " node " << node.first;
        const Expected e = expected_grid(points, c.asked);
        expect_grid(r.out, e, 8, options);
        EXPECT_EQ(count_named(line, "nonpositive"),
                  c.asked.log_x || c.asked.log_y ? std::to_string(e.nonpositive) : "absent");
        const std::string sums = (dir / "sums.csv").string();
        ASSERT_EQ(run(data + options + " --sums -o " + sums).status, 0) << options;
        for (const std::string& again : {std::string(), options}) {
            const Outcome reopened = run(sums + again);
            ASSERT_EQ(reopened.status, 0) << options << reopened.err;
            expect_grid(reopened.out, e, 8, options + ", from its sums");
            expect_same_counts(last_line(reopened.err), line, options);
        }
    }
    // The classic rule's sums of weighted means open as its points load.
    const std::string classic = " --range 1 1000 0 200 --weight 3 --mean z --log-x --binning classic";
    const Outcome from_points = run(data + classic);
    ASSERT_EQ(from_points.status, 0) << from_points.err;
    Expected points_grid;
    for (const std::string& row : lines_of(from_points.out))
        for (const std::string& value : fields_of(row))
            points_grid.nodes.push_back(std::stod(value));
    const std::string sums = (dir / "classic.csv").string();
    ASSERT_EQ(run(data + classic + " --sums -o " + sums).status, 0);
    const Outcome reopened = run(sums);
    expect_grid(reopened.out, points_grid, 8, "classic, from its sums");
    expect_same_counts(last_line(reopened.err), last_line(from_points.err), "classic");
    const std::string head = "# binning: classic\n# weight: w\n# mean: z\n# log: x\ngx,gy,n,sfx,sfy,sfxfy,sw,";
    EXPECT_EQ(read_file(sums).substr(0, head.size()), head);
    // The sums saved again from themselves are the same bytes, rule and all;
    // sums that do not say their rule are taken, and saved, on the rule asked.
    const std::string again = (dir / "again.csv").string();
    ASSERT_EQ(run(sums + " --sums -o " + again).status, 0);
    EXPECT_EQ(read_file(again), read_file(sums));
    const std::string unsaid = write("unsaid.csv", read_file(sums).substr(std::string("# binning: classic\n").size()));
    ASSERT_EQ(run(unsaid + " --binning classic --sums -o " + again).status, 0);
    EXPECT_EQ(read_file(again), read_file(sums));
}

// A table of sums holds one measure on its axes: another asked for is
// refused, saying what it holds; a table that does not say its axes is
// taken on those asked. A column without a header's name is named by its
// number.
TEST_F(GridCommand, SumsRefuseAnotherMeasureOrAxes)
{
    const std::string data = write("data.txt", "1 2 3 4\n-1 5 2 2\n150 7 1 nan\n");
    const struct {
        const char* made;    // the options the sums were made with
        const char* strip;   // a comment line taken out of the file
        const char* opened;  // the options the sums are opened with
        const char* problem; // null: opened
    } cases[] = {
        {" --weight 3", nullptr, " --mean 4", "its sums hold weights, not means as asked"},
        {" --weight 3 --mean 4", nullptr, " --weight 3", "its sums hold weighted means, not weights as asked"},
        {"", nullptr, " --mean 4", "its sums hold counts, not means as asked"},
        {" --mean 4 --log-x --range 1 1000 1 10", nullptr, " --log-y",
         "its sums were binned on logarithmic x, not on logarithmic y as asked"},
        {" --log-x --log-y --range 1 1000 1 10", nullptr, " --log-x",
         "its sums were binned on logarithmic x and y, not on logarithmic x as asked"},
        {"", nullptr, " --log-x", "its sums were binned on linear axes, not on logarithmic x as asked"},
        {" --log-x --range 1 1000 1 10", "# log: x\n", "",
         "it counts points with no logarithm, but its axes are linear"},
        {"", "# binning: bilinear\n", " --log-y", "a logarithmic axis's range must lie above zero"},
        {" --range 1 1000 1 10", "# binning: bilinear\n", " --log-y", nullptr},
        {" --weight 3 --mean 4 --log-y --range 1 1000 1 10", nullptr, " --weight 3 --mean 4 --log-y", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.made) + " / " + c.opened);
        const std::string sums = (dir / "sums.csv").string();
        ASSERT_EQ(run(data + c.made + " --sums -o " + sums).status, 0);
        std::string table = read_file(sums);
        if (c.strip)
            table.erase(table.find(c.strip), std::strlen(c.strip));
        write("sums.csv", table);
        const Outcome r = run(sums + c.opened);
        if (!c.problem) {
            EXPECT_EQ(r.status, 0) << r.err;
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(last_line(r.err), "varnel-cli: cannot load " + sums + ": " + c.problem);
    }
    const std::string head = "# binning: bilinear\n# weight: column 3\n# mean: column 4\ngx,gy";
    EXPECT_EQ(run(data + " --weight 3 --mean 4 --sums").out.substr(0, head.size()), head);
}

// Generated points, spread wide of the range and below zero, with weights
// of either sign and values: every node against the tents.
TEST_F(GridCommand, GeneratedPointsMatchTheTents)
{
    unsigned seed = 2024;
    const auto uniform = [&seed](double low, double high) {
        seed = seed * 1103515245u + 12345u;
        return low + (high - low) * double(seed >> 8) / double(1u << 24);
    };
    std::vector<ValuedPoint> points;
    for (int k = 0; k < 3000; ++k) {
        const double x = k % 50 == 0 ? -uniform(0, 5) : std::pow(10.0, uniform(-0.5, 3.5));
        points.push_back({x, uniform(-10, 110), uniform(0.1, 3) * (k % 7 == 0 ? -0.5 : 1), uniform(-40, 60)});
    }
    const std::string data = write("data.txt", text_of(points));
    const Asked cases[] = {
        {0, 2000, 0, 100, true, false, false, false},
        {0.5, 2000, 0, 100, false, true, true, false},
        {1, 1000, 1, 100, false, false, true, true},
        {0, 200, 1, 100, true, false, false, true},
    };
    for (const Asked& a : cases) {
        const std::string options = options_of(a) + " --threads 3";
        const Outcome r = run(data + options);
        ASSERT_EQ(r.status, 0) << options << r.err;
        const Expected e = expected_grid(points, a);
        expect_grid(r.out, e, 60, options);
        const std::string line = last_line(r.err);
        if (a.weight) {
            EXPECT_NEAR(std::stod(count_named(line, "weight")), e.weight, 1e-9) << options;
        }
        if (a.log_x || a.log_y) {
            EXPECT_EQ(count_named(line, "nonpositive"), std::to_string(e.nonpositive)) << options;
        }
        // Summed on three threads, saved and opened again: the same field.
        const std::string sums = (dir / "sums.csv").string();
        ASSERT_EQ(run(data + options + " --sums -o " + sums).status, 0) << options;
        const Outcome reopened = run(sums);
        ASSERT_EQ(reopened.status, 0) << options << reopened.err;
        expect_grid(reopened.out, e, 60, options + ", from its sums");
        expect_same_counts(last_line(reopened.err), line, options);
    }
}

} // namespace
