// varnel-cli render as other tools see it: the PNG it writes, its --time
// line, its warnings and its exit status.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "render/text/camera_fit.h"

namespace {

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// An 8-bit RGB PNG file as 0xRRGGBB pixels; empty when the file is anything else.
struct Picture {
    unsigned width = 0, height = 0;
    std::vector<uint32_t> pixels;
    size_t count(uint32_t colour) const { return std::count(pixels.begin(), pixels.end(), colour); }
};
Picture read_png(const std::filesystem::path& path)
{
    const std::string bytes = read_file(path);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (bytes.size() < 26 || bytes[24] != 8 || bytes[25] != PNG_COLOR_TYPE_RGB ||
        !png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return {};
    Picture picture{image.width, image.height, {}};
    for (size_t k = 0; k < rgb.size(); k += 3)
        picture.pixels.push_back(uint32_t(rgb[k]) << 16 | uint32_t(rgb[k + 1]) << 8 | rgb[k + 2]);
    return picture;
}

class RenderCommand : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
        ("varnel-render-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string data;

    void SetUp() override
    {
        std::filesystem::create_directories(dir);
        std::string points; // a small hill around (2000, 2000)
        for (int k = 0; k < 400; ++k)
            points += std::to_string(1700 + (k * 37) % 600) + " " + std::to_string(1700 + (k * 53) % 600) + "\n";
        data = write("data.txt", points);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }
    std::string out(const std::string& name) const { return (dir / name).string(); }
    // What the small hill in the default range makes the command say.
    std::string hill_warning() const
    {
        return "varnel-cli: warning: " + data +
            ": 400 of 400 points lie in the default range 0..4000, 0..4000, filling 15% and 15% of its axes; the data"
            " run 1700..2299, 1700..2299 (--range auto fits it to them)\n";
    }

    // The exit status, with standard error in `err`.
    int run(const std::string& args, std::string* err = nullptr)
    {
        const int status = std::system((std::string(VARNEL_CLI) + " render " + args + " 2>" + out("err")).c_str());
        if (err)
            *err = read_file(dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

constexpr uint32_t kGrey = 0x808080, kYellow = 0xFFFF00;

// A 2 x 2 bitmap, all red.
std::string red_bitmap()
{
    std::string bytes("BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0", 30);
    bytes += std::string(24, '\0');
    for (int row = 0; row < 2; ++row)
        bytes += std::string("\0\0\xFF\0\0\xFF\0\0", 8); // two red pixels, two bytes of padding
    return bytes;
}

// The columns (or rows) where more than half as many pixels as in the
// fullest one have `colour`: the first and the last.
std::pair<long, long> span_of(const Picture& p, uint32_t colour, bool columns)
{
    std::vector<long> counts(columns ? p.width : p.height);
    for (size_t k = 0; k < p.pixels.size(); ++k)
        if (p.pixels[k] == colour)
            ++counts[columns ? k % p.width : k / p.width];
    const long most = *std::max_element(counts.begin(), counts.end());
    long first = -1, last = -1;
    for (size_t i = 0; i < counts.size(); ++i)
        if (2 * counts[i] > most) {
            first = first < 0 ? long(i) : first;
            last = long(i);
        }
    return {first, last};
}

TEST_F(RenderCommand, WritesTheLastFrameAsRgbPng)
{
    std::string err;
    ASSERT_EQ(run(data + " -o " + out("default.png"), &err), 0) << err;
    EXPECT_EQ(err, hill_warning());
    Picture p = read_png(out("default.png"));
    ASSERT_EQ(p.width * p.height, 640u * 480u);
    EXPECT_EQ(p.width, 640u);
    // Straight from above and far: the plot in the middle, grey around it
    // (the foot is the status line's dark band).
    EXPECT_TRUE(p.pixels.front() == kGrey && p.pixels[639] == kGrey);
    EXPECT_NE(p.pixels[235 * 640 + 325], kGrey);
    EXPECT_EQ(p.count(kYellow), 0u);

    ASSERT_EQ(run(data +
                      " --size 160x120 --frames 3 --range 1000 3000 0 4000 --camera 0 0 90 --marker 2500 3000 "
                      "--time -o " +
                      out("near.png"),
                  &err),
              0);
    EXPECT_TRUE(std::regex_match(err,
                                 std::regex("time load=[0-9]+\\.[0-9]{3} mesh=[0-9]+\\.[0-9]{3} texture=0\\.000 "
                                            "frame_median=[0-9]+\\.[0-9]{3} png=[0-9]+\\.[0-9]{3}\n")))
        << err;
    p = read_png(out("near.png"));
    EXPECT_EQ(p.width * 1000 + p.height, 160120u);
    EXPECT_NE(p.pixels.front(), kGrey) << "from the nearest camera the plot fills the frame";
    EXPECT_GT(p.count(kYellow), 0u);
}

// The marker stands at its coordinates' place in the range, in y as in x:
// the middle of a range twice as tall as wide is where the middle of a
// square range is.
TEST_F(RenderCommand, TheMarkerStandsAtItsPlaceInTheRange)
{
    auto yellow_middle = [&](const std::string& range, const std::string& marker) {
        EXPECT_EQ(run(data + " --no-axes --range " + range + " --marker " + marker + " -o " + out("m.png")), 0);
        const Picture p = read_png(out("m.png"));
        double x = 0, y = 0, n = 0;
        for (size_t k = 0; k < p.pixels.size(); ++k)
            if (p.pixels[k] == kYellow) {
                x += double(k % p.width);
                y += double(k / p.width);
                ++n;
            }
        EXPECT_GT(n, 0) << range;
        return std::pair{x / n, y / n};
    };
    const auto square = yellow_middle("0 4000 0 4000", "2000 2000");
    const auto tall = yellow_middle("1000 3000 0 4000", "2000 2000");
    const auto wide = yellow_middle("0 4000 1000 3000", "2000 2000");
    for (const auto& [x, y] : {tall, wide}) {
        EXPECT_NEAR(x, square.first, 3);
        EXPECT_NEAR(y, square.second, 3);
    }
}

// By default the picture carries its texts and height scale; --no-axes
// leaves the scene alone: the status line's corner and the scale's column
// all background.
TEST_F(RenderCommand, NoAxesLeavesOutTheTextsAndTheScale)
{
    ASSERT_EQ(run(data + " -o " + out("axes.png")), 0);
    ASSERT_EQ(run(data + " --no-axes -o " + out("plain.png")), 0);
    const Picture axes = read_png(out("axes.png")), plain = read_png(out("plain.png"));
    ASSERT_EQ(axes.pixels.size(), plain.pixels.size());
    auto changes = [&](const Picture& p, size_t x0, size_t y0, size_t x1, size_t y1) {
        size_t changed = 0;
        for (size_t y = y0; y < y1; ++y)
            for (size_t x = x0; x < x1; ++x)
                changed += p.pixels[y * 640 + x] != kGrey;
        return changed;
    };
    EXPECT_EQ(changes(plain, 0, 440, 200, 480), 0u);
    EXPECT_GT(changes(axes, 0, 440, 200, 480), 100u) << "the status line";
    EXPECT_EQ(changes(plain, 560, 60, 640, 400), 0u);
    EXPECT_GT(changes(axes, 560, 60, 640, 400), 100u) << "the scale";
}

// The texture is draped over the surface; one that cannot be loaded warns
// once and leaves the picture untextured.
TEST_F(RenderCommand, Texture)
{
    const std::string red = write("red.bmp", red_bitmap()), bad = write("bad.bmp", "not an image");
    std::string err;
    ASSERT_EQ(run(data + " --size 160x120 -o " + out("plain.png")), 0);
    ASSERT_EQ(run(data + " --size 160x120 --texture " + red + " -o " + out("red.png"), &err), 0);
    EXPECT_EQ(err, hill_warning());
    ASSERT_EQ(run(data + " --size 160x120 --texture " + bad + " -o " + out("bad.png"), &err), 0);
    EXPECT_EQ(err, hill_warning() + "varnel-cli: warning: cannot load texture " + bad + ": 0x88760B59\n");
    EXPECT_EQ(read_file(out("bad.png")), read_file(out("plain.png")));
    auto red_only = [](const Picture& p) {
        return std::count_if(p.pixels.begin(), p.pixels.end(), [](uint32_t c) { return c > 0xFFFF && !(c & 0xFFFF); });
    };
    EXPECT_EQ(red_only(read_png(out("plain.png"))), 0);
    EXPECT_GT(red_only(read_png(out("red.png"))), 50) << "the hill, seen through red";
}

// Threads change the speed, never the picture; a number of them that is
// none is a usage error.
TEST_F(RenderCommand, ThreadsDrawTheSamePicture)
{
    const std::string args = data + " --size 200x150 --camera 30 45 30 --marker 2500 3000";
    ASSERT_EQ(run(args + " -o " + out("default.png")), 0);
    const std::string picture = read_file(out("default.png"));
    for (const char* threads : {"0", "1", "2", "3", "8"}) {
        std::string err;
        ASSERT_EQ(run(args + " --threads " + threads + " -o " + out("threads.png"), &err), 0) << err;
        EXPECT_TRUE(read_file(out("threads.png")) == picture) << threads << " threads";
    }
    for (const char* bad :
         {"--threads", "--threads -1", "--threads x", "--threads 2.5", "--threads 1025", "--threads 1x"}) {
        std::string err;
        EXPECT_EQ(run(args + " -o " + out("bad.png") + " " + bad, &err), 2) << bad;
        EXPECT_NE(err.find("[--threads N]"), std::string::npos) << bad;
    }
}

TEST_F(RenderCommand, FailuresNameTheFile)
{
    const std::string no_entry = std::strerror(ENOENT), folder = std::strerror(EISDIR);
    const std::string cases[][2] = {
        {out("missing.txt") + " -o " + out("x.png"), "cannot open " + out("missing.txt") + ": " + no_entry},
        {dir.string() + " -o " + out("x.png"), "cannot read " + dir.string() + ": " + folder},
        // A folder is no pipe: --peak leaves it to the load to refuse.
        {dir.string() + " --peak -o " + out("x.png"), "cannot read " + dir.string() + ": " + folder},
        {data + " -o " + out("no/such/x.png"), "cannot write " + out("no/such/x.png") + ": " + no_entry},
        {data + " -o " + dir.string(), "cannot write " + dir.string() + ": " + folder}};
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(run(c[0], &err), 1) << c[0];
        EXPECT_EQ(err, "varnel-cli: " + c[1] + "\n");
    }
    EXPECT_FALSE(std::filesystem::exists(out("x.png")));

    // A usage error says first what was wrong, then shows the usage.
    const std::string usage_errors[][2] = {
        {data, "varnel-cli: no picture file given (-o OUT.png)"},
        {"-o x.png", "varnel-cli: no data file given"},
        {data + " -o x.png --size 64by48", "varnel-cli: --size 64by48: must be WIDTHxHEIGHT, each side 1 to 8192"},
        {data + " -o x.png --size 64x0", "varnel-cli: --size 64x0: must be WIDTHxHEIGHT, each side 1 to 8192"},
        {data + " -o x.png --size 0x48", "varnel-cli: --size 0x48: must be WIDTHxHEIGHT, each side 1 to 8192"},
        // The largest back buffer the device makes is 8192 on a side.
        {data + " -o x.png --size 8193x8", "varnel-cli: --size 8193x8: must be WIDTHxHEIGHT, each side 1 to 8192"},
        {data + " -o x.png --size 8x8193", "varnel-cli: --size 8x8193: must be WIDTHxHEIGHT, each side 1 to 8192"},
        {data + " -o x.png --size 65536x48", "varnel-cli: --size 65536x48: must be WIDTHxHEIGHT, each side 1 to 8192"},
        {data + " -o x.png --size 64X48", "varnel-cli: --size 64X48: must be WIDTHxHEIGHT, each side 1 to 8192"},
        {data + " -o x.png --size 64x48px", "varnel-cli: --size 64x48px: must be WIDTHxHEIGHT, each side 1 to 8192"},
        {data + " -o x.png --frames 0", "varnel-cli: --frames 0: not a whole number from 1 to 1000000"},
        {data + " -o x.png --frames 1000001", "varnel-cli: --frames 1000001: not a whole number from 1 to 1000000"},
        {data + " -o x.png --camera 1 2", "varnel-cli: --camera needs three whole numbers: RADIUS AZIMUTH ELEVATION"},
        // Below the floor, past straight down, nearer or farther than the
        // distance steps go: the limits as the usage gives them.
        {data + " -o x.png --camera 100 0 -5", "varnel-cli: --camera -5: ELEVATION is out of range, 0 to 90"},
        {data + " -o x.png --camera 100 0 91", "varnel-cli: --camera 91: ELEVATION is out of range, 0 to 90"},
        {data + " -o x.png --camera -1 0 45", "varnel-cli: --camera -1: RADIUS is out of range, 0 to 300"},
        {data + " -o x.png --camera 301 0 45", "varnel-cli: --camera 301: RADIUS is out of range, 0 to 300"},
        {data + " -o x.png --camera 100 99999999999 45",
         "varnel-cli: --camera 99999999999: AZIMUTH is out of range, -2147483648 to 2147483647"},
        {data + " -o x.png --camera 100 0 4.5", "varnel-cli: --camera 4.5: not a whole number"},
        {data + " -o x.png --marker 1 z", "varnel-cli: --marker z: not a number"},
        {data + " -o x.png --marker z 1", "varnel-cli: --marker z: not a number"},
        {data + " -o x.png --marker 1 2y", "varnel-cli: --marker 2y: not a number"},
        // Found only once the file is open, and still a usage error.
        {data + " -o " + out("x.png") + " --columns east north",
         "varnel-cli: --columns east: " + data + " has no header line to find the name in"},
        {data + " -o x.png --bogus", "varnel-cli: unknown option --bogus"},
        {data + " -o x.tif", "varnel-cli: -o x.tif: the picture's name must end in .png, .jpg, .jpeg, .bmp or .ppm"},
    };
    for (const auto& c : usage_errors) {
        std::string err;
        EXPECT_EQ(run(c[0], &err), 2) << c[0];
        EXPECT_EQ(err.substr(0, err.find('\n')), c[1]);
        EXPECT_NE(err.find("\nusage: varnel-cli render"), std::string::npos) << c[0];
    }
    // The largest sides the usage allows are drawn, and the camera's limits.
    for (const char* size : {"8192x8", "8x8192"})
        EXPECT_EQ(run(data + " --no-axes -o " + out("edge.png") + " --size " + size), 0) << size;
    for (const char* camera : {"0 0 0", "300 -720 90", "100 2147483647 45"})
        EXPECT_EQ(run(data + " --size 32x24 -o " + out("edge.png") + " --camera " + camera), 0) << camera;
}

// The map is the field's square straight down: one point's node is the
// brightest place of the square that the map's lowest colour marks out,
// at the point's fraction of the range across it and up it.
TEST_F(RenderCommand, TheMapShowsAPointAtItsPlace)
{
    const std::string point = write("point.txt", "31.5 68.5\n");
    for (const char* size : {"640x480", "480x640", "1000x600"}) {
        std::string err;
        ASSERT_EQ(run(point + " --range 0 100 0 100 --map --colormap viridis --size " + std::string(size) + " -o " +
                          out("map.png"),
                      &err),
                  0)
            << err;
        const Picture p = read_png(out("map.png"));
        // The square's columns and rows are those mostly of the lowest
        // colour; the scale bar's foot has it too, but only a few rows.
        const auto [left, right] = span_of(p, 0x440154, true);
        const auto [top, bottom] = span_of(p, 0x440154, false);
        ASSERT_GE(right, left) << size;
        const long side = right - left + 1;
        EXPECT_EQ(bottom - top + 1, side) << size << ": a square";
        // Nearest to the map's highest colour, the grid lines' white aside.
        auto distance = [](uint32_t c) {
            const int dr = int(c >> 16) - 0xFD, dg = int(c >> 8 & 0xFF) - 0xE7, db = int(c & 0xFF) - 0x25;
            return dr * dr + dg * dg + db * db;
        };
        size_t peak = 0;
        for (size_t k = 0; k < p.pixels.size(); ++k) {
            const long x = long(k % p.width), y = long(k / p.width);
            if (x >= left && x <= right && y >= top && y <= bottom && distance(p.pixels[k]) < distance(p.pixels[peak]))
                peak = k;
        }
        EXPECT_NEAR(double(peak % p.width), left - 0.5 + 0.315 * double(side), 1.0) << size;
        EXPECT_NEAR(double(peak / p.width), top - 0.5 + (1 - 0.685) * double(side), 1.0) << size;
    }
}

// The picture's options: each good one is taken (grey, no smoothing and
// texture-only without a texture draw the default picture; the others
// change it), each bad value is a usage error.
TEST_F(RenderCommand, PictureOptions)
{
    // The scene alone, without the texts and scale, which the options leave alone.
    ASSERT_EQ(run(data + " --size 160x120 --no-axes -o " + out("default.png")), 0);
    const std::string plain = read_file(out("default.png"));
    const std::pair<std::string, bool> good[] = {
        {"--colormap grey", false}, {"--smooth 0", false}, {"--texture-only", false}, {"--colormap viridis", true},
        {"--colormap turbo", true}, {"--smooth 1", true},  {"--smooth 4", true},      {"--smooth 16", true},
        {"--smooth auto", true},    {"--log", true},
    };
    for (const auto& [option, changes] : good) {
        std::string err;
        ASSERT_EQ(run(data + " --size 160x120 --no-axes " + option + " -o " + out("p.png"), &err), 0) << option << err;
        EXPECT_EQ(read_file(out("p.png")) != plain, changes) << option;
    }
    // A colour map colours the plane where there are no points.
    ASSERT_EQ(run(data + " --size 160x120 --no-axes --colormap viridis -o " + out("v.png")), 0);
    EXPECT_GT(read_png(out("v.png")).count(0x440154), 1000u) << "viridis's lowest colour";

    for (const char* bad : {"--colormap jet", "--colormap Viridis", "--colormap", "--smooth 3", "--smooth -1",
                            "--smooth Auto", "--smooth 1.5", "--smooth x", "--smooth", "--log 1"}) {
        std::string err;
        EXPECT_EQ(run(data + " -o " + out("bad.png") + " " + bad, &err), 2) << bad;
        EXPECT_NE(err.find("[--log] [--texture-only] [--no-axes]"), std::string::npos) << bad;
    }
    EXPECT_FALSE(std::filesystem::exists(out("bad.png")));

    // Scott's rule's width is said with the points it was taken from: those in range.
    const std::string five = write("five.txt", "1 1\n2 3\n3 2\n50 50\n-1 4\n");
    std::string err;
    ASSERT_EQ(run(five + " --range 0 10 0 10 --smooth auto --size 64x48 -o " + out("auto.png"), &err), 0);
    EXPECT_TRUE(std::regex_match(
        err, std::regex("varnel-cli: smoothing: [0-9]+\\.[0-9] cells \\(Scott's rule, 3 points in range\\)\n")))
        << err;
}

// The axes take the header's names unless --xlabel or --ylabel names them,
// each its own axis. A weight's heights are titled above the scale: with
// weights of one, the title is all that tells them from the counts.
TEST_F(RenderCommand, TitlesNameTheAxesAndTheWeight)
{
    std::string points = "east north w\n";
    for (int k = 0; k < 100; ++k)
        points += std::to_string(1700 + (k * 37) % 600) + " " + std::to_string(1700 + (k * 53) % 600) + " 1\n";
    const std::string args = write("named.txt", points) + " --range 1600 2400 1600 2400 --size 320x240";
    ASSERT_EQ(run(args + " -o " + out("header.png")), 0);
    const std::string header = read_file(out("header.png"));
    const std::pair<const char*, bool> cases[] = {
        {"--xlabel east --ylabel north", true},
        {"--ylabel north", true},
        {"--xlabel east", true},
        {"--xlabel north", false},
        {"--ylabel east", false},
    };
    for (const auto& [labels, same] : cases) {
        ASSERT_EQ(run(args + " " + labels + " -o " + out("labels.png")), 0) << labels;
        EXPECT_EQ(read_file(out("labels.png")) == header, same) << labels;
    }
    ASSERT_EQ(run(args + " --weight w -o " + out("weight.png")), 0);
    const Picture counts = read_png(out("header.png")), weights = read_png(out("weight.png"));
    ASSERT_EQ(weights.pixels.size(), counts.pixels.size());
    size_t changed = 0, left = 320, bottom = 0;
    for (size_t k = 0; k < counts.pixels.size(); ++k)
        if (counts.pixels[k] != weights.pixels[k]) {
            ++changed;
            left = std::min(left, k % 320);
            bottom = std::max(bottom, k / 320);
        }
    EXPECT_GT(changed, 50u);
    EXPECT_GE(left, 240u) << "only above the scale, at the right";
    EXPECT_LT(bottom, 60u) << "only above the scale, at the top";
}

// --fit draws from the distance the viewer fits to the picture's size for
// the camera's angles, whatever distance was given.
TEST_F(RenderCommand, FitDrawsFromTheViewersFittedDistance)
{
    for (const auto& [azimuth, elevation] : {std::pair{0, 90}, {30, 45}, {200, 10}}) {
        const std::string angles = std::to_string(azimuth) + " " + std::to_string(elevation);
        const std::string fitted = std::to_string(fitted_camera_radius(azimuth, elevation, 320, 240));
        ASSERT_EQ(run(data + " --size 320x240 --fit --camera 7 " + angles + " -o " + out("fit.png")), 0);
        ASSERT_EQ(run(data + " --size 320x240 --camera " + fitted + " " + angles + " -o " + out("at.png")), 0);
        EXPECT_TRUE(read_file(out("fit.png")) == read_file(out("at.png"))) << angles << " fitted " << fitted;
    }
}

// With --aspect equal the map's plotted rectangle has the range's shape,
// read back as the block of viridis's lowest colour; square stays square.
TEST_F(RenderCommand, EqualAspectGivesTheMapTheRangesProportion)
{
    const std::string point = write("point.txt", "1 1\n");
    const struct {
        const char* range;
        const char* aspect;
        double width_over_height;
    } cases[] = {
        {"0 300 0 100", "equal", 3.0},  {"0 100 0 250", "equal", 0.4}, {"-180 180 -90 90", "equal", 2.0},
        {"0 300 0 100", "square", 1.0}, {"0 100 0 100", "equal", 1.0},
    };
    for (const char* size : {"640x480", "1600x1200"})
        for (const auto& c : cases) {
            const std::string options =
                std::string(" --range ") + c.range + " --aspect " + c.aspect + " --size " + size;
            std::string err;
            ASSERT_EQ(run(point + " --map --colormap viridis" + options + " -o " + out("map.png"), &err), 0) << err;
            const Picture p = read_png(out("map.png"));
            const auto [left, right] = span_of(p, 0x440154, true);
            const auto [top, bottom] = span_of(p, 0x440154, false);
            ASSERT_TRUE(left >= 0 && top >= 0) << options;
            const double width = double(right - left + 1), height = double(bottom - top + 1);
            EXPECT_NEAR(width / height, c.width_over_height, 2.0 / std::min(width, height)) << options;
            // The long side fills most of the free area, not a corner of it.
            EXPECT_GE(std::max(width, height), std::min(p.width, p.height) / 2.0) << options;
        }
}

// A mean is drawn from its own least to greatest value: nodes no point
// reaches take the colour map's no-data colour; smoothing or a log scale
// would blend them away and are refused, as is an aspect that is no shape.
TEST_F(RenderCommand, MeansAndTheirRefusals)
{
    const std::string points = write("points.txt", "x y delay\n10 10 5\n30 30 -2\n");
    std::string err;
    ASSERT_EQ(run(points + " --range 0 40 0 40 --map --colormap viridis --mean delay -o " + out("mean.png"), &err), 0)
        << err;
    EXPECT_GT(read_png(out("mean.png")).count(0xC0C0C0), 10000u) << "the no-data colour";
    ASSERT_EQ(run(points + " --range 0 40 0 40 --map --colormap viridis -o " + out("count.png")), 0);
    EXPECT_LT(read_png(out("count.png")).count(0xC0C0C0), 1000u) << "a few pixels of the texts' edges";

    const struct {
        const char* options;
        int status;
        const char* first_line; // of standard error, after "varnel-cli: "
    } cases[] = {
        {"--mean delay --log", 2, "--mean is drawn from its least to its greatest value, without --log or --smooth"},
        {"--mean 3 --smooth 4", 2, "--mean is drawn from its least to its greatest value, without --log or --smooth"},
        {"--mean delay --smooth auto", 2,
         "--mean is drawn from its least to its greatest value, without --log or --smooth"},
        {"--mean delay --smooth 0", 0, ""},
        {"--weight delay --log --smooth 4", 0,
         "warning: sums below zero are drawn from their least to their greatest, without --log or --smooth"},
        {"--aspect round", 2, "--aspect round: the map's box is square or equal"},
    };
    for (const auto& c : cases) {
        const int status = run(points + " --range 0 40 0 40 --size 160x120 " + c.options + " -o " + out("p.png"), &err);
        EXPECT_EQ(status, c.status) << c.options << err;
        if (*c.first_line) {
            EXPECT_NE(
                err.find(std::string("varnel-cli: ") + c.first_line + (c.status ? "\nusage: varnel-cli render" : "\n")),
                std::string::npos)
                << c.options << err;
        }
    }
}

// One clear peak, a Gaussian hill on a thin uniform floor: --peak frames a
// range that holds the hill's half-height region (its centre plus or minus
// sigma times the square root of 2 ln 2), not much more, says it, and draws
// over it; a field with no node above zero has no peak to frame.
TEST_F(RenderCommand, PeakFramesTheHighestPeaksHalfHeightRegion)
{
    std::mt19937 random(50);
    std::normal_distribution<double> hill(0.0, 60.0);
    std::uniform_real_distribution<double> floor(0.0, 4000.0);
    std::string points;
    char line[64];
    for (int k = 0; k < 120000; ++k) {
        const bool on_hill = k % 10 != 0;
        std::snprintf(line, sizeof line, "%.3f %.3f\n", on_hill ? 1200 + hill(random) : floor(random),
                      on_hill ? 2600 + hill(random) : floor(random));
        points += line;
    }
    const std::string path = write("hill.txt", points);
    const double half = 60.0 * std::sqrt(2 * std::log(2.0));
    for (const char* range : {"", " --range auto"}) {
        SCOPED_TRACE(range);
        std::string err;
        ASSERT_EQ(run(path + range + " --peak --size 320x240 -o " + out("peak.png"), &err), 0) << err;
        const std::regex said("varnel-cli: range around the highest peak: (\\S+) (\\S+) (\\S+) (\\S+)\n");
        std::smatch ends;
        ASSERT_TRUE(std::regex_search(err, ends, said)) << err;
        const double x_min = std::stod(ends[1]), x_max = std::stod(ends[2]);
        const double y_min = std::stod(ends[3]), y_max = std::stod(ends[4]);
        EXPECT_LE(x_min, 1200 - half);
        EXPECT_GE(x_max, 1200 + half);
        EXPECT_LE(y_min, 2600 - half);
        EXPECT_GE(y_max, 2600 + half);
        EXPECT_LT(x_max - x_min, 6 * half);
        EXPECT_LT(y_max - y_min, 6 * half);
        EXPECT_EQ(read_png(out("peak.png")).width, 320u);
        // Drawn as that range asked for is drawn, also where the first
        // binning's range was fitted.
        const std::string asked = " --range " + ends[1].str() + " " + ends[2].str() + " " + ends[3].str() + " " +
            ends[4].str() + " --size 320x240 -o " + out("asked.png");
        ASSERT_EQ(run(path + asked), 0);
        EXPECT_TRUE(read_file(out("asked.png")) == read_file(out("peak.png")));
    }
    std::string err;
    const std::string far = write("far.txt", "9000 9000\n");
    EXPECT_EQ(run(far + " --peak -o " + out("none.png"), &err), 1);
    EXPECT_NE(err.find("varnel-cli: no peak: no node of the field is above zero\n"), std::string::npos) << err;
    // A pipe can be read once: its points could not be binned again.
    const int piped = std::system(
        ("cat " + far + " | " + VARNEL_CLI + " render /dev/stdin --peak -o " + out("piped.png") + " 2>" + out("err"))
            .c_str());
    EXPECT_TRUE(WIFEXITED(piped) && WEXITSTATUS(piped) == 1) << piped;
    EXPECT_NE(read_file(out("err")).find("--peak reads /dev/stdin twice"), std::string::npos) << read_file(out("err"));
}

} // namespace
