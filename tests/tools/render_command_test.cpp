// varnel-cli render as other tools see it: the PNG it writes, its --time
// line, its warnings and its exit status.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status;
    std::string err;
};

struct Picture {
    bool read = false;
    unsigned width = 0, height = 0;
    std::vector<uint8_t> rgb;

    uint32_t at(unsigned x, unsigned y) const
    {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    size_t count(uint32_t colour) const
    {
        size_t n = 0;
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x)
                n += at(x, y) == colour;
        return n;
    }
};

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The file as an 8-bit RGB PNG, and nothing else.
Picture read_png(const std::filesystem::path& path)
{
    Picture picture;
    std::string bytes = read_file(path);
    if (bytes.size() < 26 || bytes.compare(1, 3, "PNG") != 0 || bytes[24] != 8 || bytes[25] != PNG_COLOR_TYPE_RGB)
        return picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return picture;
    image.format = PNG_FORMAT_RGB;
    picture.width = image.width;
    picture.height = image.height;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    picture.read = png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
    return picture;
}

class RenderCommand : public ::testing::Test {
protected:
    std::filesystem::path dir;
    std::string data;

    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("varnel-render-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        // A small hill around (2000, 2000) of the default range.
        std::string points;
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

    Outcome run(const std::string& args)
    {
        std::string command = std::string(VARNEL_CLI) + " render " + args + " 2>" + (dir / "err").string();
        int status = std::system(command.c_str());
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir / "err")};
    }
};

constexpr uint32_t kGrey = 0x808080, kYellow = 0xFFFF00;

TEST_F(RenderCommand, WritesTheLastFrameAsRgbPng)
{
    Outcome r = run(data + " -o " + out("default.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Picture picture = read_png(out("default.png"));
    ASSERT_TRUE(picture.read);
    EXPECT_EQ(picture.width, 640u);
    EXPECT_EQ(picture.height, 480u);
    // Seen from straight above: the plot in the middle, grey around it.
    EXPECT_EQ(picture.at(0, 0), kGrey);
    EXPECT_EQ(picture.at(639, 479), kGrey);
    EXPECT_NE(picture.at(325, 235), kGrey);
    EXPECT_EQ(picture.count(kYellow), 0u);

    // Size, frames, range, camera and marker as given.
    r = run(data + " --size 160x120 --frames 3 --range 1000 3000 1000 3000 --camera 0 0 90 --marker 2500 2500 -o " +
            out("near.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    picture = read_png(out("near.png"));
    ASSERT_TRUE(picture.read);
    EXPECT_EQ(picture.width, 160u);
    EXPECT_EQ(picture.height, 120u);
    EXPECT_NE(picture.at(0, 0), kGrey) << "from the nearest camera the plot fills the frame";
    EXPECT_GT(picture.count(kYellow), 0u);
}

TEST_F(RenderCommand, TimeLineSaysWhereTheTimeGoes)
{
    Outcome r = run(data + " --size 64x48 --frames 4 --time -o " + out("t.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::regex line("time load=[0-9]+\\.[0-9]{3} mesh=[0-9]+\\.[0-9]{3} texture=0\\.000 "
                          "frame_median=[0-9]+\\.[0-9]{3} png=[0-9]+\\.[0-9]{3}\n");
    EXPECT_TRUE(std::regex_match(r.err, line)) << r.err;
}

// A 2 x 2 24-bit bitmap, all pure red.
std::string red_bitmap()
{
    std::string file("BM\x46\0\0\0\0\0\0\0\x36\0\0\0", 14);
    file += std::string("\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0", 16);
    file += std::string(24, '\0');
    for (int row = 0; row < 2; ++row)
        file += std::string("\0\0\xFF\0\0\xFF\0\0", 8); // two pixels and two bytes of padding
    return file;
}

// Pixels with red alone: the surface seen through a red texture.
size_t red_pixels(const Picture& picture)
{
    size_t n = 0;
    for (unsigned y = 0; y < picture.height; ++y)
        for (unsigned x = 0; x < picture.width; ++x)
            n += (picture.at(x, y) & 0xFFFF) == 0 && picture.at(x, y) != 0;
    return n;
}

// The texture is draped over the surface; one that cannot be loaded warns
// once and leaves the picture untextured.
TEST_F(RenderCommand, Texture)
{
    const std::string red = write("red.bmp", red_bitmap()), bad = write("bad.bmp", "not an image");
    Outcome plain = run(data + " --size 160x120 -o " + out("plain.png"));
    Outcome textured = run(data + " --size 160x120 --time --texture " + red + " -o " + out("red.png"));
    Outcome r = run(data + " --size 160x120 --texture " + bad + " -o " + out("bad.png"));
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(textured.status, 0);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(red_pixels(read_png(out("plain.png"))), 0u);
    EXPECT_GT(red_pixels(read_png(out("red.png"))), 50u) << "the hill, seen through red";
    EXPECT_EQ(textured.err.find("warning"), std::string::npos) << textured.err;
    EXPECT_EQ(r.err, "varnel-cli: warning: cannot load texture " + bad + ": 0x88760B59\n");
    EXPECT_EQ(read_file(out("bad.png")), read_file(out("plain.png")));
}

TEST_F(RenderCommand, FailuresNameTheFile)
{
    struct Case {
        std::string args, named;
    };
    const Case cases[] = {
        {out("missing.txt") + " -o " + out("x.png"), out("missing.txt")},
        {dir.string() + " -o " + out("x.png"), dir.string()},
        {data + " -o " + out("no/such/folder/x.png"), out("no/such/folder/x.png")},
        {data + " -o " + dir.string(), dir.string()},
    };
    for (const Case& c : cases) {
        Outcome r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(out("x.png")));

    const std::string bad[] = {
        "",
        data,
        "-o " + out("x.png"),
        data + " -o",
        data + " -o x.png --size 64by48",
        data + " -o x.png --size 0x48",
        data + " -o x.png --frames 0",
        data + " -o x.png --camera 1 2",
        data + " -o x.png --camera 1 2 z",
        data + " -o x.png --range 0 1 2",
        data + " -o x.png --marker 1",
        data + " -o x.png --bogus",
        data + " " + data + " -o x.png",
    };
    for (const std::string& args : bad) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage: varnel-cli render"), std::string::npos) << args;
    }
}

} // namespace
