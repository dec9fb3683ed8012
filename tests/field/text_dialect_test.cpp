// Files as spreadsheets, pandas and R write them: each gives the field of
// the same points binned by a plain bilinear sum written here, whatever its
// separator, quotes, decimal mark, index column or byte-order mark.
#include "field/field_loader.h"
#include "field/sources/file_header.h"
#include "field/sources/text_dialect.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Point2 {
    double x, y;
};

// numpy's way: each point's weight spread on its cell's four nodes by its
// fractions, the last cell taking the upper edge's quotient, normalised to
// the largest node.
std::vector<double> bilinear_reference(const std::vector<Point2>& points, const Range& r)
{
    std::vector<double> nodes(201 * 201, 0.0);
    const double dx = (r.x_max - r.x_min) / 200, dy = (r.y_max - r.y_min) / 200;
    for (const Point2& p : points) {
        if (!(p.x >= r.x_min && p.x < r.x_max && p.y >= r.y_min && p.y < r.y_max))
            continue;
        const double qx = (p.x - r.x_min) / dx, qy = (p.y - r.y_min) / dy;
        const int i = std::min(199, int(std::floor(qx))), j = std::min(199, int(std::floor(qy)));
        const double fx = qx - i, fy = qy - j;
        nodes[j * 201 + i] += (1 - fx) * (1 - fy);
        nodes[j * 201 + i + 1] += fx * (1 - fy);
        nodes[(j + 1) * 201 + i] += (1 - fx) * fy;
        nodes[(j + 1) * 201 + i + 1] += fx * fy;
    }
    const double top = *std::max_element(nodes.begin(), nodes.end());
    for (double& v : nodes)
        v /= top;
    return nodes;
}

std::string number(double v, bool comma = false)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    std::string s = text;
    if (comma)
        std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

class TextDialectFiles : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text) { return dir_.write(name, text); }
    TempFolder dir_{"dialect"};
};

TEST_F(TextDialectFiles, FileShapesGiveTheReferenceField)
{
    std::mt19937_64 random(46);
    std::normal_distribution<double> x_of(2000, 700), y_of(2000, 500);
    std::vector<Point2> points;
    for (int k = 0; k < 3000; ++k)
        points.push_back({x_of(random), y_of(random)});
    const Range range{0, 4000, 0, 4000};
    const std::vector<double> want = bilinear_reference(points, range);
    const char* countries[] = {"United States", "Bay Minette Municipal", "Thigpen ", "Washington, D.C.", "X"};

    // Each shape: its header, a row from a point and its number, and the
    // columns to ask for by name (none: chosen from the content).
    struct Shape {
        const char* name;
        std::string header;
        std::string (*row)(const Point2&, int, const char*);
        const char* x_name;
        const char* y_name;
    };
    const Shape shapes[] = {
        {"two numbers", "", [](const Point2& p, int, const char*) { return number(p.x) + " " + number(p.y); }, "", ""},
        {"pandas, index and text with spaces", ",country,a,b",
         [](const Point2& p, int k, const char* c) {
             const std::string name = std::string(c).find(',') != std::string::npos ? '"' + std::string(c) + '"' : c;
             return std::to_string(k) + "," + name + "," + number(p.x) + "," + number(p.y);
         },
         "", ""},
        {"pandas, names asked past a text column", "country,income,a,b",
         [](const Point2& p, int k, const char* c) {
             return (std::string(c).find(',') != std::string::npos ? '"' + std::string(c) + '"' : std::string(c)) +
                 "," + std::to_string(1000 + k) + "," + number(p.x) + "," + number(p.y);
         },
         "a", "b"},
        {"R's write.csv", "\"\",\"name\",\"a\",\"b\"",
         [](const Point2& p, int k, const char* c) {
             return "\"" + std::to_string(k + 1) + "\",\"" + c + "\"," + number(p.x) + "," + number(p.y);
         },
         "", ""},
        {"tabs", "name\ta\tb",
         [](const Point2& p, int, const char* c) { return std::string(c) + "\t" + number(p.x) + "\t" + number(p.y); },
         "", ""},
        {"semicolons, decimal commas", "name;a;b",
         [](const Point2& p, int, const char* c) {
             return std::string(c) + ";" + number(p.x, true) + ";" + number(p.y, true);
         },
         "", ""},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "a,b",
         [](const Point2& p, int, const char*) { return number(p.x) + "," + number(p.y); }, "a", "b"},
        {"all quoted", "\"a\",\"b\"",
         [](const Point2& p, int, const char*) { return "\"" + number(p.x) + "\",\"" + number(p.y) + "\""; }, "", ""},
        {"quoted decimal commas, padded", "a ; b",
         [](const Point2& p, int, const char*) {
             return "\"" + number(p.x, true) + "\" ; \"" + number(p.y, true) + "\" ";
         },
         "", ""},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        std::string text = shape.header.empty() ? "" : shape.header + "\n";
        for (std::size_t k = 0; k < points.size(); ++k)
            text += shape.row(points[k], int(k), countries[k % std::size(countries)]) + "\n";
        LoadRequest request;
        request.path = write("data.csv", text);
        request.range = range;
        request.columns.x_name = shape.x_name;
        request.columns.y_name = shape.y_name;
        request.columns.chosen = *shape.x_name != '\0';
        const LoadedField loaded = load_field(request);
        ASSERT_TRUE(loaded.ok()) << loaded.problem;
        EXPECT_EQ(loaded.counts.points, (long long)points.size());
        EXPECT_EQ(loaded.counts.rejected_lines, 0);
        if (!shape.header.empty()) {
            EXPECT_EQ(loaded.columns.x_name, "a");
            EXPECT_EQ(loaded.columns.y_name, "b");
        }
        const double* nodes = loaded.field->ops.data(loaded.field.get());
        for (int k = 0; k < 201 * 201; ++k)
            ASSERT_NEAR(nodes[k], want[k], 1e-12) << "node " << k % 201 << ", " << k / 201;
    }
}

// A file of a byte-order mark alone holds nothing: no header, no line.
TEST_F(TextDialectFiles, AByteOrderMarkAloneIsNoLine)
{
    LoadRequest request;
    request.path = write("mark.csv", "\xEF\xBB\xBF");
    request.range = Range{0, 4000, 0, 4000};
    const LoadedField loaded = load_field(request);
    ASSERT_TRUE(loaded.ok()) << loaded.problem;
    EXPECT_EQ(loaded.counts.points, 0);
    EXPECT_EQ(loaded.counts.rejected_lines, 0);
    EXPECT_FALSE(loaded.counts.header);
}

// The header's rows are looked for in the file's first 1 MiB + 64 KiB; a
// row cut at that end is no row. Here the cut leaves "-" of a row's x,
// which would make the x column text and lose it.
TEST_F(TextDialectFiles, ARowCutWhereTheLookEndsIsNoRow)
{
    const std::size_t look = (std::size_t(1) << 20) + (std::size_t(64) << 10);
    const std::string header = "note,x,y\n", tail = ",-1500,2500\n";
    const std::size_t note = 100000;
    std::string text = header;
    // The first row's note so long that the eleventh row's "-" is the last byte looked at.
    text += std::string(look - 2 - header.size() - tail.size() - 9 * (note + tail.size()) - note, 'a') + tail;
    for (int k = 1; k < 13; ++k)
        text += std::string(note, 'a') + tail;
    ASSERT_EQ(text[look - 1], '-');
    LoadRequest request;
    request.path = write("cut.csv", text);
    request.range = Range{-2000, 0, 0, 4000};
    const LoadedField loaded = load_field(request);
    ASSERT_TRUE(loaded.ok()) << loaded.problem;
    EXPECT_EQ(loaded.columns.x_name, "x");
    EXPECT_EQ(loaded.columns.y_name, "y");
    EXPECT_EQ(loaded.counts.in_range, 13);
}

// The separator and the decimal mark as the first lines decide them.
TEST(TextDialect, FoundFromTheFirstLines)
{
    const struct {
        const char* first;
        std::vector<std::string> rows;
        char separator;
        bool decimal_comma;
    } cases[] = {
        {"1.5 2.5", {"3 4"}, 0, false},
        {"x y", {"1,5 2"}, 0, false},
        {"x,y", {"1.5,2.5"}, ',', false},
        {"x;y", {"1,5;2,25", "3;4"}, ';', true},
        {"x;y", {"1.5;2"}, ';', false},
        {"x;y", {"\"1,5\";2"}, ';', true}, // quoted, as spreadsheets write text
        {"a;b,c", {"1;2,3", "4;5,6"}, ';', true},
        {"a,b;c", {"1,2;3", "4,5;6"}, ';', true}, // a tie: the semicolon, as European exports have it
        {"\"a;b\",c", {"\"1;2\",3"}, ',', false},
        {"name\tx", {"A, B\t1,5"}, '\t', true},
        {"x\ty;z", {"1\t2;3"}, '\t', false},
        // A row with more of a separator than the first line does not agree.
        {"a;b;c,d", {"1;2;3,4", "1;2,5,6", "7;8,9,1"}, ';', true},
    };
    for (const auto& c : cases) {
        const TextDialect d = find_text_dialect(c.first, c.rows);
        EXPECT_EQ(d.separator, c.separator) << c.first;
        EXPECT_EQ(d.decimal_comma, c.decimal_comma) << c.first;
    }
}

// A line's fields as the reader splits them: under white space, one comma,
// semicolon or tab with blanks around it parts two fields, two tabs hold an
// empty one, and so does a separator at the end; under a separator, only
// it outside quotes, the quotes kept and the blanks around a field taken off.
TEST(TextDialect, SplitsALineAsTheReaderDoes)
{
    const TextDialect spaces{}, commas{',', false}, semicolons{';', true};
    const struct {
        const char* line;
        TextDialect dialect;
        std::vector<std::string> fields;
    } cases[] = {
        {"  a  b  ", spaces, {"a", "b"}},
        {"a , b;c", spaces, {"a", "b", "c"}},
        {"a\t\tb", spaces, {"a", "", "b"}},
        {"a b,", spaces, {"a", "b", ""}},
        {"a b\t", spaces, {"a", "b", ""}},
        {"", spaces, {}},
        {"\"x, y\", b ,", commas, {"\"x, y\"", "b", ""}},
        {" a\t;\"1;5\"; \r", semicolons, {"a", "\"1;5\"", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(split_fields(c.line, c.dialect), c.fields) << c.line;
}

// The columns plotted when none are asked for: the first two that hold
// numbers (missing values aside), passing over a row index (no name, or
// pandas' "Unnamed: 0", counting rows from 0 or 1).
TEST(FileHeader, PlotsTheFirstTwoColumnsOfNumbersPastAnIndex)
{
    const struct {
        const char* text;
        int x, y;
    } cases[] = {
        {",a,b\n0,1.5,2\n1,2.5,3\n", 2, 3},
        {"Unnamed: 0,a,b\n1,1.5,2\n2,2.5,3\n", 2, 3},
        {"\"\",\"a\",\"b\"\n\"1\",1.5,2\n\"2\",2.5,3\n", 2, 3}, // R's row names
        {",a,b\n5,1.5,2\n6,2.5,3\n", 1, 2},                     // no count from 0 or 1
        {",a,b\n0,1.5,2\n2,2.5,3\n", 1, 2},                     // no count at all
        {",a,b\n0.5,1.5,2\n1.5,2.5,3\n", 1, 2},
        {"id,a,b\n0,1.5,2\n1,2.5,3\n", 1, 2}, // a named column is data
        {"name,a,b\nx,NA,2\ny,1.5,3\nz,null,4\nw,N/A,5\nv,\"NA\",6\n", 2, 3},
        {"a,b,c\nN/A,1,2\nNA,3,4\n", 2, 3}, // only missing values: no numbers
        {"a,b,c\nx,1,2\n1,3,4\n", 2, 3},    // text among the numbers
        {"a,b,\n1.5,2\n2.5,3\n", 1, 2},     // a header's unnamed last column the rows lack
    };
    for (const auto& c : cases) {
        FileHeader header;
        ASSERT_TRUE(header_of_text(c.text, true, 0, &header)) << c.text;
        ASSERT_TRUE(header.present) << c.text;
        const Columns picked = columns_to_plot(header);
        EXPECT_EQ(picked.x, c.x) << c.text;
        EXPECT_EQ(picked.y, c.y) << c.text;
    }
}

} // namespace
