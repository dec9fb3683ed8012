// varnel-cli texture as other tools see it: its line, the level files it
// dumps and its exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../texture/decoders/bitmap_bytes.h"

namespace {

struct Outcome {
    int status;
    std::string out;
};

class TextureCommand : public ::testing::Test {
protected:
    std::filesystem::path dir;

    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
            ("varnel-texture-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string& name, const Bytes& bytes)
    {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (dir / name).string();
    }

    std::vector<uint8_t> read(const std::string& name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    Outcome run(const std::string& args)
    {
        const std::string command =
            std::string(VARNEL_CLI) + " texture " + args + " >" + (dir / "out").string() + " 2>/dev/null";
        const int status = std::system(command.c_str());
        std::ifstream in(dir / "out", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, s.str()};
    }
};

TEST_F(TextureCommand, PrintsTheTextureAndDumpsEveryLevelWithoutPadding)
{
    // 4 x 2, 24 bits, bottom row first: top row blue 10, 20, 30, 40; bottom 50.
    Bytes dib = info_header(4, 2, 24);
    dib.u8({50, 1, 2, 50, 1, 2, 50, 1, 2, 50, 1, 2});
    dib.u8({10, 1, 2, 20, 1, 2, 30, 1, 2, 40, 1, 2});
    Outcome r = run(write("small.bmp", bmp_file(dib)) + " --dump " + (dir / "levels").string());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "format=D3DFMT_X8R8G8B8 width=4 height=2 levels=3\n");
    EXPECT_EQ(read("levels/level0.raw"), u8s({10, 1, 2, 0, 20, 1, 2, 0, 30, 1, 2, 0, 40, 1, 2, 0, //
                                              50, 1, 2, 0, 50, 1, 2, 0, 50, 1, 2, 0, 50, 1, 2, 0}));
    // (10 + 20 + 50 + 50 + 2) >> 2 = 33, (30 + 40 + 50 + 50 + 2) >> 2 = 43.
    EXPECT_EQ(read("levels/level1.raw"), u8s({33, 1, 2, 0, 43, 1, 2, 0}));
    EXPECT_EQ(read("levels/level2.raw"), u8s({38, 1, 2, 0}));
    EXPECT_FALSE(std::filesystem::exists(dir / "levels/level3.raw"));

    // A grey ramp becomes one byte per texel, rows of 4 without padding.
    Bytes grey = info_header(4, 1, 8, 0, 256);
    for (int i = 0; i < 256; ++i)
        quad(grey, i, i, i);
    r = run(write("grey.bmp", bmp_file(grey.u8({7, 8, 9, 10}))) + " --dump " + dir.string());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "format=D3DFMT_L8 width=4 height=1 levels=3\n");
    EXPECT_EQ(read("level0.raw"), u8s({7, 8, 9, 10}));

    // Rows narrower than a level's pitch: the 2 x 2 level of a 4 x 4 ramp,
    // top row first as the file's top row is 130 140 150 160, then 90 ... 120.
    Bytes square = info_header(4, 4, 8, 0, 256);
    for (int i = 0; i < 256; ++i)
        quad(square, i, i, i);
    square.u8({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160});
    r = run(write("square.bmp", bmp_file(square)) + " --dump " + (dir / "square").string());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "format=D3DFMT_L8 width=4 height=4 levels=3\n");
    // (130 + 140 + 90 + 100 + 2) >> 2 = 115, and so on for each quarter.
    EXPECT_EQ(read("square/level1.raw"), u8s({115, 135, 35, 55}));

    // Blocks: a row of two 4 x 4 blocks is one row of 16 bytes; a level
    // smaller than a block still has one.
    Bytes dds;
    dds.text("DDS ").le32(124).le32(0x1007).le32(4).le32(8).le32(0).le32(0).le32(1).repeat(0, 44);
    dds.le32(32).le32(0x4).text("DXT1").repeat(0, 20).le32(0x1000).repeat(0, 16);
    std::vector<uint8_t> blocks;
    for (int i = 0; i < 16; ++i) {
        blocks.push_back(uint8_t(i * 7));
        dds.u8({i * 7});
    }
    r = run(write("blocks.dds", dds) + " --dump " + (dir / "blocks").string());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "format=D3DFMT_DXT1 width=8 height=4 levels=4\n");
    EXPECT_EQ(read("blocks/level0.raw"), blocks);
    for (const char* level : {"blocks/level1.raw", "blocks/level3.raw"}) // 4 x 2 and 1 x 1: one block
        EXPECT_EQ(read(level).size(), 8u) << level;
}

TEST_F(TextureCommand, FailuresPrintTheResultAndUsageErrorsExitWithTwo)
{
    Bytes dib = info_header(1, 1, 24);
    dib.u8({1, 2, 3, 0});
    const std::string image = write("one.bmp", bmp_file(dib));
    write("blocked", Bytes().text("a file where the folder should be"));
    struct Case {
        std::string args;
        int status;
        const char* out;
    } cases[] = {
        {write("points.txt", Bytes().text("1 2\n3 4\n")), 1, "error 0x88760B59: no decoder recognises the file\n"},
        {write("empty.bmp", Bytes()), 1, "error 0x8876086C: no bytes to decode\n"},
        {image + " --dump " + (dir / "blocked").string(), 1, ""}, // no line without its files
        {"", 2, ""},
        {image + " --dump", 2, ""},
        {image + " " + image, 2, ""},
        {image + " --pixels x", 2, ""},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
}

} // namespace
