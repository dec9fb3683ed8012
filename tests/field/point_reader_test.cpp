// The fast reader against the reference it must equal: fgets into a
// 1024-byte buffer and sscanf "%lf %lf" in the "C" locale, where one comma
// or semicolon may also stand between the two numbers.
#include "field/sources/line_pieces.h"
#include "field/sources/point_reader.h"

#include <gtest/gtest.h>

#include "temp_stream.h"

#include <clocale>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <locale.h>
#include <random>
#include <string>
#include <vector>

namespace {

// A read-only stream of `size` bytes made up on the fly by `byte_at`, so
// that a hundred-megabyte input costs no memory of its own.
struct GeneratedStream {
    std::FILE* file;
    std::uint64_t size;
    std::uint64_t position = 0;
    char (*byte_at)(std::uint64_t);

    GeneratedStream(std::uint64_t bytes, char (*generator)(std::uint64_t)) : size(bytes), byte_at(generator)
    {
        cookie_io_functions_t io{};
        io.read = [](void* cookie, char* buffer, std::size_t n) -> ssize_t {
            auto* self = static_cast<GeneratedStream*>(cookie);
            std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, self->size - self->position));
            for (std::size_t i = 0; i < count; ++i)
                buffer[i] = self->byte_at(self->position + i);
            self->position += count;
            return static_cast<ssize_t>(count);
        };
        file = fopencookie(this, "r", io);
    }
    ~GeneratedStream() { std::fclose(file); }
};

// Text with no point that is no mistake either: nothing, or a comment.
bool blank_or_comment(const char* line)
{
    line += std::strspn(line, " \t\v\f\r");
    return *line == '\0' || *line == '\n' || *line == '#';
}

// Line by line, with the counts a read keeps: the first piece with text
// but no point, before any point or other such piece, is a header.
void reference_read(std::FILE* file, int skip, std::vector<Point>& points, ReadCounts* counts = nullptr)
{
    locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    locale_t previous = uselocale(c);
    char line[1024];
    for (int i = 0; i < skip; ++i)
        if (!std::fgets(line, sizeof line, file))
            break;
    ReadCounts tally;
    long long piece = 0;
    while (std::fgets(line, sizeof line, file)) {
        ++piece;
        Point p;
        int after_x = 0, after_separator = 0;
        bool got = std::sscanf(line, "%lf %n", &p.x, &after_x) == 1;
        if (got) {
            const char* rest = line + after_x;
            if (*rest == ',' || *rest == ';')
                ++rest;
            got = std::sscanf(rest, " %n%lf", &after_separator, &p.y) == 1;
        }
        if (got) {
            points.push_back(p);
            ++tally.points;
        } else if (!blank_or_comment(line)) {
            if (tally.points == 0 && tally.rejected_lines == 0 && !tally.header)
                tally.header = true;
            else if (tally.rejected_lines++ == 0)
                tally.first_rejected_line = piece;
        }
    }
    if (counts)
        *counts = tally;
    uselocale(previous);
    freelocale(c);
}

void fast_read(std::FILE* file, int skip, std::vector<Point>& points)
{
    PointSink sink{[](void* context, const Point* batch, std::size_t count) {
                       auto* out = static_cast<std::vector<Point>*>(context);
                       out->insert(out->end(), batch, batch + count);
                   },
                   &points};
    read_points(file, skip, sink);
}

std::vector<Point> reference_points(const std::string& bytes, int skip)
{
    TempStream in(bytes);
    std::vector<Point> points;
    reference_read(in.file, skip, points);
    return points;
}

std::vector<Point> fast_points(const std::string& bytes, int skip)
{
    TempStream in(bytes);
    std::vector<Point> points;
    fast_read(in.file, skip, points);
    EXPECT_EQ(std::fgetc(in.file), EOF) << "the stream must be read to its end";
    EXPECT_TRUE(std::feof(in.file));
    return points;
}

bool same_value(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string printable(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f)
            out += static_cast<char>(c);
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out.size() > 300 ? out.substr(0, 300) + "..." : out;
}

void expect_same_as_reference(const std::string& bytes, int skip = 0)
{
    std::vector<Point> want = reference_points(bytes, skip);
    std::vector<Point> got = fast_points(bytes, skip);
    ASSERT_EQ(got.size(), want.size()) << "input: " << printable(bytes);
    for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_TRUE(same_value(got[i].x, want[i].x) && same_value(got[i].y, want[i].y))
            << "point " << i << ": got (" << got[i].x << ", " << got[i].y << ") want (" << want[i].x << ", "
            << want[i].y << ") input: " << printable(bytes);
    }
}

// The same with the widest scan the processor has, and with the plain one.
void expect_same_with_either_scan(const std::string& bytes)
{
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "wide scan" : "plain scan");
        set_point_reader_wide_scan(wide);
        expect_same_as_reference(bytes);
    }
    set_point_reader_wide_scan(true);
}

TEST(PointReader, EveryNumberFormScanfAccepts)
{
    const char* lines[] = {
        "1 2",
        "1.5 2.25",
        "-1 +2",
        "+.5 -.5",
        "5. 6.",
        "1e3 1E-3",
        "1e+3 2e-0",
        "0.000000000000000000000000001 1",
        "123456789012345678901234567890 1",
        "1.7976931348623157e308 2.2250738585072014e-308",
        "1e400 -1e400",
        "1e-400 4.9e-324",
        "0x1p3 0X1.8P-1",
        "0x1 0xff",
        "0x1e3 2",
        "0x.8 1",
        "0x1.p1 2",
        "-0x10 1",
        "inf 1",
        "-inf 1",
        "INF 1",
        "infinity 1",
        "-Infinity 2",
        "nan 1",
        "-nan 1",
        "NaN 2",
        "1 inf",
        "1 -nan",
        "0 0",
        "-0 -0.0",
        "00012 0003",
        "1.52.5",
        "1.5-2",
        "1e5e 3",
        "1e 2",
        "1e+ 2",
        "1.e 2",
        "1.5e 2",
        "0x1p 2",
        "0x1p+ 3",
        "0x. 3",
        "0x.p1 2",
        "0x 2",
        "-0x 2",
        "0xg 2",
        "00x1 2",
        "1p3 2",
        "- 2",
        "+ 2",
        ". 2",
        "+.e1 2",
        "e5 2",
        "infin 2",
        "infinit 3",
        "infx 2",
        "nanx 2",
        "nan(123) 2",
        "nan( 2",
        "+-1 2",
        "--1 2",
        "1,5 2",
        "1;2",
        "x 1 2",
        "1",
        "",
        "   ",
        "1 2 3",
        "1 2 trailing text",
        "1\t2",
        "\t 1 \t 2",
        "\v1\f2",
        "1\r2",
        "12345678901234567890e-10 3",
        "9007199254740993 9007199254740995",
        "0.1e-999999999999 1e999999999999999",
        "1e0000000000000000000001 2",
    };
    std::string file;
    for (const char* line : lines) {
        expect_same_as_reference(std::string(line) + "\n");
        file += line;
        file += '\n';
    }
    expect_same_as_reference(file);
}

// The usual lines take a quicker way than the rest, looking at 32 bytes
// at a time: each shape, at every offset across that window, with text
// enough after it for the quick way to be tried.
TEST(PointReader, UsualLinesAtEveryOffset)
{
    const char* shapes[] = {
        "1 2",
        "12345678 87654321",
        "123456789 1",
        "1 123456789",
        "1234.5678 8765.4321",
        "1234567.12345678 1",
        "12345678.1234567 1",
        "12345678.12345678 1",
        "99999999.99999999 1",
        "99999999.9999999 -99999999.9999999",
        "0.00000001 1.000000001",
        "-1.5 -2.5",
        "-0 -0.0",
        "+1 +2",
        "1,2",
        "1;2",
        "1 , 2",
        "1\t;\t2",
        "1,,2",
        "1.5.3 2",
        "1.5e3 2",
        "1 2E3",
        "1 2.5e",
        "1.846472e+03 -2.306859E-03",
        "1e22 1e-22",
        "12345678.1234567e22 1",
        "1.5e-23 1",
        "1e23 2",
        "9.9999999e+021 1",
        "1e+ 2",
        "1e- 2",
        "1e5.5 2",
        "1e5e 2",
        "1e0001 2",
        "-0e5 1E0",
        "0x10 2",
        "1 0X10",
        "12x 3",
        "1. 2",
        ".5 2",
        "-.5 -2.",
        "1 .",
        "1\r2",
        "1 2\r",
        "1 2 3",
        "\t1\t2",
        "1\v2",
        "- 1 2",
        "1-2",
        "1.5-2.5",
        "1 -",
        "1 nan",
        "1 -inf",
        "#1 2",
    };
    std::string data;
    for (const char* shape : shapes)
        for (int pad = 0; pad < 36; ++pad)
            data += std::string(static_cast<std::size_t>(pad), pad % 5 == 4 ? '\t' : ' ') + shape + "\n";
    data += std::string(64, '7') + "\n";
    expect_same_with_either_scan(data);
}

// A line whose digits lie where an earlier line's did is read by that
// line's layout when its other bytes are that line's too. Every byte of a
// few lines (usual ones, exponents, long mantissas, lines past 32 bytes,
// values beyond the double's range) is changed in turn, each change right
// after the line it was made from, so a layout kept too loosely reads the
// change wrongly, and then once more, to read it by its own layout.
TEST(PointReader, LinesLaidOutAlikeReadAsEachAlone)
{
    const char* lines[] = {
        "1234.5678 8765.4321",
        "  -1.5\t,  -22.25 # x",
        "12 34\r",
        "0.25;-7",
        "-12345678.1234567 +9.5",
        "1 2 5",
        "-3 0 7",
        "1.280040e+03 -2.782027E-03",
        "2.056824822972382663e+03 2.750014628650130362e+03",
        "2024.5135668758624 -2278.919252083683",
        "+1.5e5;-2e-300 7",
        "9.999999999999999999e+307 1.5e400",
        "4.9e-324, -0.0e+00",
        "12345678.90123456789 9007199254740993",
        "2.4703282292062327e-324 1.2345678901234567890",
        "        12345678.1234567       -1.5 #",
    };
    const std::string changes = std::string(" \t-+.eExX,;#\r\na07") + '\0';
    std::string data;
    for (std::string line : lines)
        for (std::size_t at = 0; at <= line.size(); ++at)
            for (char change : changes) {
                std::string changed = line;
                if (at == line.size())
                    changed += change;
                else
                    changed[at] = change;
                data += line + "\n" + changed + "\n" + changed + "\n";
            }
    data += std::string(96, ' ') + "\n";
    expect_same_with_either_scan(data);
}

TEST(PointReader, LineEndsAndLastLine)
{
    expect_same_as_reference("1 2\r\n3 4\r\n");
    expect_same_as_reference("1 2\n3 4"); // no line end on the last line
    expect_same_as_reference("1 2\n3");
    expect_same_as_reference("1\n2\n"); // one number per line: no point
    expect_same_as_reference("\n\n1 2\n\n");
    expect_same_as_reference("1 2\r");
    expect_same_as_reference("");
}

TEST(PointReader, NulBytesEndWhatScanfSees)
{
    expect_same_as_reference(std::string("1 \0 2\n3 4\n", 11));
    expect_same_as_reference(std::string("1 2\0 5\n", 7));
    expect_same_as_reference(std::string("1e\0 5\n7 8\n", 10));
    expect_same_as_reference(std::string("\0\0\0\n1 2\n", 8));
    expect_same_as_reference(std::string(4096, '\0'));
}

// Lines around the 1023 bytes fgets takes at once: the rest of a longer
// line is a piece of its own and may hold a point.
TEST(PointReader, LongLinesAreTakenInPieces)
{
    for (std::size_t length : {1021u, 1022u, 1023u, 1024u, 1025u, 2046u, 2047u, 3000u}) {
        std::string head = "10 20";
        std::string tail = " 30 40";
        for (std::size_t pad = 0; pad + 1 < 8; ++pad) {
            std::string line =
                head + std::string(length - head.size() - tail.size() - pad, ' ') + tail + std::string(pad, ' ');
            SCOPED_TRACE(length);
            expect_same_as_reference(line + "\n5 6\n");
            expect_same_as_reference(line);
        }
        // A number cut in two by the piece boundary.
        std::string cut = std::string(1020, ' ') + "12345.678 9\n";
        expect_same_as_reference(cut);
        expect_same_as_reference(std::string(length - 1, 'x') + "\n7 8\n");
        expect_same_as_reference(std::string(length, ' ') + "7 8\n");
    }
}

// Read whole, a line is one line up to a mebibyte, whatever its length;
// past that it is one rejected line, no part of it read as a line, in a
// chunk of its own or among others.
TEST(PointReader, WholeLinesUpToAMebibyte)
{
    const std::string wide = "10 20" + std::string(1100, ' ') + "30 40\n";
    const std::string too_long = "5 6 " + std::string(kLongestLine + 3000, 'a') + " 7 8\n";
    const struct {
        std::string text;
        std::vector<Point> points;
        long long rejected;
    } cases[] = {
        {wide + wide, {{10, 20}, {10, 20}}, 0},
        {"1 2\n" + too_long + "9 10\n", {{1, 2}, {9, 10}}, 1},
        {"1 2\n" + too_long + too_long, {{1, 2}}, 2},
        {std::string(kLongestLine, '#') + "\n3 4\n", {{3, 4}}, 0},
    };
    for (const auto& c : cases) {
        for (const std::size_t chunk : {std::size_t(0), std::size_t(1) << 19}) {
            SCOPED_TRACE(testing::Message() << c.text.size() << " bytes, chunks of " << chunk);
            set_point_reader_chunk_bytes(chunk);
            TempStream in(c.text);
            std::vector<Point> got;
            const ReadCounts counts = read_points(in.file, 0,
                                                  PointSink{[](void* context, const Point* points, std::size_t count) {
                                                                auto* out = static_cast<std::vector<Point>*>(context);
                                                                out->insert(out->end(), points, points + count);
                                                            },
                                                            &got},
                                                  Columns{}, ReadWatch{}, 2, kLongestLine);
            ASSERT_EQ(got.size(), c.points.size());
            for (std::size_t k = 0; k < got.size(); ++k)
                EXPECT_TRUE(got[k].x == c.points[k].x && got[k].y == c.points[k].y) << k;
            EXPECT_EQ(counts.rejected_lines, c.rejected);
        }
    }
    set_point_reader_chunk_bytes(0);
}

TEST(PointReader, SkippedLinesCountPieces)
{
    std::string data = "header\n1 2\n" + std::string(1500, 'h') + "\n3 4\n5 6\n";
    for (int skip : {-1, 0, 1, 2, 3, 4, 5, 6, 100})
        expect_same_as_reference(data, skip);
}

TEST(PointReader, ReadsBeyondOneBufferOfInput)
{
    // Several megabytes, so that pieces straddle the reader's buffer refills.
    std::mt19937 rng(7);
    std::string data;
    while (data.size() < 3u << 20) {
        char line[64];
        const double x = (static_cast<double>(rng() % 1600000) - 800000) / 100.0;
        const double y = (static_cast<double>(rng() % 1600000) - 800000) / 100.0;
        std::snprintf(line, sizeof line, "%.*f%s%.*f\n", int(rng() % 9), x, rng() % 7 ? " " : ", ", int(rng() % 9), y);
        data += line;
        if (rng() % 997 == 0)
            data += std::string(rng() % 3000, 'a' + rng() % 26) + "\n";
    }
    expect_same_with_either_scan(data);
}

// Random lines built from the pieces numbers are made of, so that the odd
// combinations scanf has opinions about come up.
TEST(PointReader, RandomInputsMatchReference)
{
    const char* atoms[] = {"0",   "1",  "7",  "42",  "9999",    ".",      "e",
                           "E",   "+",  "-",  "x",   "X",       "p",      "P",
                           "0x",  "0X", "a",  "f",   "inf",     "INF",    "infinity",
                           "nan", "n",  "i",  "(",   ")",       " ",      "  ",
                           "\t",  "\r", "\v", "\f",  ",",       ";",      "#",
                           "1e",  "e+", "e-", "1.5", "-2.25e3", "0x1p-3", std::string(1, '\0').c_str()};
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        std::string data;
        int lines = 1 + rng() % 60;
        for (int l = 0; l < lines; ++l) {
            int atoms_in_line = rng() % 12;
            for (int a = 0; a < atoms_in_line; ++a) {
                std::size_t k = rng() % (sizeof atoms / sizeof atoms[0]);
                if (k == sizeof atoms / sizeof atoms[0] - 1)
                    data += '\0';
                else
                    data += atoms[k];
            }
            if (rng() % 50 == 0)
                data += std::string(1000 + rng() % 100, ' ');
            data += (rng() % 10 == 0) ? "\r\n" : "\n";
        }
        if (rng() % 3 == 0)
            data.pop_back(); // last line without its line end
        SCOPED_TRACE(round);
        expect_same_as_reference(data);
        if (HasFatalFailure())
            return;
    }
}

TEST(PointReader, RandomBytesMatchReference)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        std::string data(rng() % 5000, '\0');
        for (char& c : data) {
            unsigned r = rng() % 100;
            c = r < 30   ? "0123456789"[rng() % 10]
                : r < 45 ? ' '
                : r < 50 ? '\n'
                : r < 55 ? '.'
                : r < 58 ? 'e'
                : r < 60 ? '-'
                         : static_cast<char>(rng());
        }
        SCOPED_TRACE(round);
        expect_same_as_reference(data);
        if (HasFatalFailure())
            return;
    }
}

// How the bytes reach the reader.
enum class Delivery {
    Mapped,     // a plain file
    Read,       // a stream that cannot be mapped
    PartlyRead, // a plain file whose first lines someone has read already
};

// Chunk sizes and threads cut the text differently, and a file may be
// mapped or read: the points and counts are those of the line-by-line
// reference, whatever the cut. A boundary falls at a line end, in the
// middle of a rejected line, in a header's line, among skipped lines.
TEST(PointReader, ChunksAndThreadsChangeNothing)
{
    auto repeat = [](const std::string& line, int times) {
        std::string text;
        for (int i = 0; i < times; ++i)
            text += line;
        return text;
    };
    const std::string rejected = "not a point, " + std::string(300, 'r') + "\n";
    const struct {
        const char* name;
        std::string bytes;
        int skip;
    } cases[] = {
        {"smaller than a chunk", "x y\n# comment\n1 2\n\n3;4\nbad\n5 6 7\nworse\n8 9", 0},
        {"a line end at 2 KiB", repeat("1 2\n", 512) + rejected + repeat("3 4\n", 400), 0},
        {"a rejected line across 2 KiB", repeat("1 2\n", 511) + rejected + repeat("3 4\n", 400), 0},
        {"rejected lines everywhere", repeat("12.5 7.25\n" + rejected + "# 1 2\n\r\n", 40) + "7 8", 0},
        {"a header after 3 KiB of comments", repeat("# note\n", 450) + "x,y\n" + repeat("5,6\n", 300) + rejected, 0},
        {"long lines in pieces", repeat("1 2 " + std::string(1500, 'h') + " 3 4\n5 6\n", 12), 0},
        {"skipped lines over several chunks", repeat("1 2\nbad\n", 700) + repeat("3 4\n", 100), 1001},
        // A mapped chunk is read 64 KiB of whole lines at a time.
        {"rejected lines in many reads of a chunk",
         repeat("1 2\n", 17000) + repeat("12.5 7.25\n" + rejected + "# 1 2\n\r\n", 400), 0},
        {"a header after 70 KiB of comments", repeat("# note\n", 10000) + "x,y\n" + repeat("5,6\n", 300) + rejected, 0},
        {"a line longer than a read",
         repeat("1 2\n", 100) + "3 4 " + std::string(70000, 'h') + "\n" + rejected + repeat("5 6\n", 100), 0},
    };
    const std::size_t chunk_sizes[] = {0, 1024, 1031, 1500, 2048, 4099};
    const unsigned thread_counts[] = {1, 2, 7};
    for (const auto& c : cases) {
        std::vector<Point> want;
        ReadCounts want_counts;
        {
            TempStream in(c.bytes);
            reference_read(in.file, c.skip, want, &want_counts);
        }
        for (std::size_t chunk_bytes : chunk_sizes)
            for (unsigned threads : thread_counts)
                for (Delivery delivery : {Delivery::Mapped, Delivery::Read, Delivery::PartlyRead}) {
                    SCOPED_TRACE(testing::Message() << c.name << ", chunks of " << chunk_bytes << ", threads "
                                                    << threads << ", delivery " << static_cast<int>(delivery));
                    std::string bytes = c.bytes;
                    TempStream plain(bytes);
                    std::FILE* in = delivery == Delivery::Read ? fmemopen(bytes.data(), bytes.size(), "r") : plain.file;
                    int skip = c.skip;
                    char line[1024];
                    for (; delivery == Delivery::PartlyRead && skip > 0; --skip)
                        std::fgets(line, sizeof line, in);
                    std::vector<Point> got;
                    set_point_reader_chunk_bytes(chunk_bytes);
                    const ReadCounts counts =
                        read_points(in, skip,
                                    PointSink{[](void* context, const Point* batch, std::size_t count) {
                                                  auto* out = static_cast<std::vector<Point>*>(context);
                                                  out->insert(out->end(), batch, batch + count);
                                              },
                                              &got},
                                    Columns{}, ReadWatch{}, threads);
                    set_point_reader_chunk_bytes(0);
                    EXPECT_EQ(std::fgetc(in), EOF) << "the stream must be left at its end";
                    if (in != plain.file)
                        std::fclose(in);
                    ASSERT_EQ(got.size(), want.size());
                    for (std::size_t i = 0; i < want.size(); ++i)
                        ASSERT_TRUE(same_value(got[i].x, want[i].x) && same_value(got[i].y, want[i].y)) << i;
                    EXPECT_EQ(counts.points, want_counts.points);
                    EXPECT_EQ(counts.rejected_lines, want_counts.rejected_lines);
                    EXPECT_EQ(counts.first_rejected_line, want_counts.first_rejected_line);
                    EXPECT_EQ(counts.header, want_counts.header);
                    EXPECT_FALSE(counts.stopped);
                }
    }
}

// Hostile inputs of 100 MB: one endless line, NUL bytes, binary noise.
// Read piece by piece like any other input, in constant memory.
TEST(PointReader, HugeHostileInputs)
{
    constexpr std::uint64_t kSize = 100u << 20;
    char (*generators[])(std::uint64_t) = {
        [](std::uint64_t i) { return "1 2 "[i % 4]; },
        [](std::uint64_t) { return '\0'; },
        [](std::uint64_t i) {
            std::uint64_t z = (i + 1) * 0x9E3779B97F4A7C15ull;
            z = (z ^ (z >> 31)) * 0xBF58476D1CE4E5B9ull;
            return static_cast<char>(z >> 56);
        },
    };
    for (auto generator : generators) {
        GeneratedStream reference_in(kSize, generator), fast_in(kSize, generator);
        std::vector<Point> want, got;
        reference_read(reference_in.file, 0, want);
        fast_read(fast_in.file, 0, got);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            ASSERT_TRUE(same_value(got[i].x, want[i].x) && same_value(got[i].y, want[i].y)) << i;
        EXPECT_EQ(fast_in.position, kSize);
    }
}

// Switches the process to a locale whose decimal separator is a comma,
// compiling one into a private folder when the system has none installed.
bool use_comma_locale(std::string& made_folder)
{
    const char* names[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
    for (const char* name : names)
        if (std::setlocale(LC_ALL, name))
            return true;
    char folder[] = "/tmp/varnel-locale-XXXXXX";
    if (!mkdtemp(folder))
        return false;
    made_folder = folder;
    std::string command = std::string("localedef -i de_DE -f UTF-8 ") + folder + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return false;
    setenv("LOCPATH", folder, 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

// A desktop toolkit sets the process locale from the environment; with a
// comma as decimal separator "1.5" must still read as 1.5.
TEST(PointReader, IgnoresACommaDecimalLocale)
{
    std::string previous = std::setlocale(LC_ALL, nullptr);
    std::string made_folder;
    struct Cleanup {
        std::string& folder;
        ~Cleanup()
        {
            if (!folder.empty())
                std::filesystem::remove_all(folder);
        }
    } cleanup{made_folder};
    if (!use_comma_locale(made_folder))
        GTEST_SKIP() << "no locale with a comma decimal separator can be had here";
    ASSERT_STREQ(localeconv()->decimal_point, ",");
    std::vector<Point> points = fast_points("1.5 2.25\n1,5 2\n0x1.8p1 3\n", 0);
    std::setlocale(LC_ALL, previous.c_str());
    // "1,5 2" is 1 and 5: the comma separates columns, it is no decimal point.
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].x, 1.5);
    EXPECT_EQ(points[0].y, 2.25);
    EXPECT_EQ(points[1].x, 1.0);
    EXPECT_EQ(points[1].y, 5.0);
    EXPECT_EQ(points[2].x, 3.0);
    EXPECT_EQ(points[2].y, 3.0);
}

} // namespace

namespace {

// Chosen columns of separated rows: two tabs or two commas hold an empty
// column, and the last column read may trail text as sscanf's second
// number may, so that `--columns 2 1` takes what the first two give.
TEST(PointReader, ChosenColumnsOfSeparatedRows)
{
    const struct {
        const char* row;
        Columns columns;
        bool taken;
        Point point;
    } cases[] = {
        {"1\t\t100\t200\n", {2, 3}, false, {}},
        {"1,,100,200\n", {2, 3}, false, {}},
        {"1\t\t100\t200\n", {3, 4}, true, {100, 200}},
        {"\t5\t6\n", {2, 3}, true, {5, 6}},
        {"1 \t 2\t3\n", {2, 3}, true, {2, 3}},
        {"a b  c 7 8\n", {4, 5}, true, {7, 8}},
        {"1 2x\n", {2, 1}, true, {2, 1}},
        {"1x 2\n", {2, 1}, false, {}},
        {"1;2;3x\n", {1, 3}, true, {1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        TempStream in(c.row);
        std::vector<Point> got;
        read_points(in.file, 0,
                    PointSink{[](void* context, const Point* points, std::size_t count) {
                                  auto* out = static_cast<std::vector<Point>*>(context);
                                  out->insert(out->end(), points, points + count);
                              },
                              &got},
                    c.columns);
        ASSERT_EQ(got.size(), c.taken ? 1u : 0u);
        if (c.taken) {
            EXPECT_EQ(got[0].x, c.point.x);
            EXPECT_EQ(got[0].y, c.point.y);
        }
    }
}

} // namespace
