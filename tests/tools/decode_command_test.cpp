#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../field/file_cut.h"
#include "../texture/decoders/bitmap_bytes.h"
#include "texture/image_file_test_hook.h"
#include "tools/commands.h"
#include "temp_folder.h"

namespace {

class DecodeCommand : public testing::Test {
protected:
    std::string path(const char* name) const { return dir_.file(name); }

    std::string write(const char* name, const Bytes& bytes) const
    {
        return dir_.write(name, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }

    static std::vector<uint8_t> read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    // Runs the command; returns its exit status and its standard output.
    static int run(std::vector<std::string> args, std::string* out)
    {
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        testing::internal::CaptureStdout();
        const int status = decode_command(int(argv.size()), argv.data());
        std::fflush(stdout);
        *out = testing::internal::GetCapturedStdout();
        return status;
    }

    TempFolder dir_{"decode"};
};

TEST_F(DecodeCommand, PrintsTheImageAndWritesRowsWithoutPaddingAndThePalette)
{
    // 3 x 2, 8 bits, bottom row first; rows padded to 4 bytes in the file.
    Bytes dib = info_header(3, 2, 8, 0, 2);
    quad(dib, 1, 2, 3);
    quad(dib, 4, 5, 6);
    dib.u8({1, 1, 0, 0}).u8({0, 1, 0, 0});
    const std::string image = write("eight.bmp", bmp_file(dib));
    std::string out;
    ASSERT_EQ(run({image, "--pixels", path("px"), "--palette", path("pal")}, &out), 0);
    EXPECT_EQ(out, "format=D3DFMT_P8 width=3 height=2 depth=1 file_format=0 levels=1\n");
    EXPECT_EQ(read(path("px")), u8s({0, 1, 0, 1, 1, 0}));
    std::vector<uint8_t> palette = u8s({3, 2, 1, 255, 6, 5, 4, 255});
    palette.resize(1024, 255);
    EXPECT_EQ(read(path("pal")), palette);

    // One file that cannot be written fails the command without its line,
    // but the other is still written.
    ASSERT_EQ(run({image, "--pixels", path("no/px"), "--palette", path("pal2")}, &out), 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(read(path("pal2")), palette);

    // Over a megabyte of rows, which leave in blocks: each row once, in
    // order. 699 x 600 at 24 bits: 2097 bytes a row, 2100 in the file.
    Bytes wide = info_header(699, 600, 24);
    std::vector<uint8_t> top_first(size_t(2097) * 600);
    for (int y = 0; y < 600; ++y) { // the file's first row is the bottom one
        for (int i = 0; i < 2097; ++i) {
            const int value = (i * 7 + y * 13 + y / 256) & 0xFF;
            wide.u8({value});
            top_first[size_t(599 - y) * 2097 + size_t(i)] = uint8_t(value);
        }
        wide.u8({0, 0, 0});
    }
    ASSERT_EQ(run({write("wide.bmp", bmp_file(wide)), "--pixels", path("wide")}, &out), 0);
    EXPECT_EQ(out, "format=D3DFMT_R8G8B8 width=699 height=600 depth=1 file_format=0 levels=1\n");
    EXPECT_TRUE(read(path("wide")) == top_first);
}

TEST_F(DecodeCommand, BlockCompressedLevelsAndImagesWithoutPalette)
{
    Bytes dds;
    dds.text("DDS ").le32(124).le32(0x1007).le32(5).le32(5).le32(0).le32(0).le32(2).repeat(0, 44);
    dds.le32(32).le32(0x4).text("DXT1").repeat(0, 20).le32(0x1000).repeat(0, 16);
    for (int i = 0; i < 40; ++i)
        dds.u8({i});
    const std::string image = write("blocks.dds", dds);
    std::string out;
    ASSERT_EQ(run({image, "--pixels", path("px"), "--palette", path("pal")}, &out), 0);
    EXPECT_EQ(out, "format=D3DFMT_DXT1 width=5 height=5 depth=1 file_format=4 levels=2\n");
    const std::vector<uint8_t> pixels = read(path("px"));
    ASSERT_EQ(pixels.size(), 32u); // two block rows of two 8-byte blocks
    EXPECT_EQ(pixels[31], 31);
    EXPECT_TRUE(read(path("pal")).empty());

    // A volume of three 4 x 4 slices: every slice's block, the first's first.
    Bytes volume;
    volume.text("DDS ").le32(124).le32(0x801007).le32(4).le32(4).le32(0).le32(3).le32(1).repeat(0, 44);
    volume.le32(32).le32(0x4).text("DXT1").repeat(0, 20).le32(0x1000).le32(0x200000).repeat(0, 12);
    std::vector<uint8_t> slices;
    for (int i = 0; i < 24; ++i) {
        volume.u8({i * 5});
        slices.push_back(uint8_t(i * 5));
    }
    ASSERT_EQ(run({write("volume.dds", volume), "--pixels", path("slices")}, &out), 0);
    EXPECT_EQ(out, "format=D3DFMT_DXT1 width=4 height=4 depth=3 file_format=4 levels=1\n");
    EXPECT_EQ(read(path("slices")), slices);
}

TEST_F(DecodeCommand, FailuresPrintTheResultAndExitWithOne)
{
    struct Case {
        std::string file;
        const char* line;
    } cases[] = {
        {write("points.txt", Bytes().text("1 2\n3 4\n")), "error 0x88760B59: no decoder recognises the file\n"},
        {write("empty.bmp", Bytes()), "error 0x8876086C: no bytes to decode\n"},
        {write("rle9.bmp", bmp_file(info_header(1, 1, 8, 9))),
         "error 0x88760B59: BMP: compression 9 is not supported\n"},
        {path("missing.bmp"), "error 0x88760B59\n"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(run({c.file}, &out), 1) << c.file;
        EXPECT_EQ(out, c.line) << c.file;
    }
}

// An image cut while it is mapped reads as zeros past its new end: no
// success, and no output replaced by those zeros, whichever files were asked.
TEST_F(DecodeCommand, AnImageCutWhileMappedIsRefused)
{
    // 64 x 64, 24 bits: pixel rows on pages past the one the cut keeps.
    const std::string image = write("big.bmp", bmp_file(info_header(64, 64, 24).repeat(0x5a, 64 * 64 * 3)));
    const std::vector<std::vector<std::string>> outputs = {{}, {"--pixels", path("px")}, {"--palette", path("pal")}};
    for (const auto& asked : outputs) {
        SCOPED_TRACE(asked.empty() ? "no output" : asked[0]);
        std::ofstream(path("px"), std::ios::binary) << "old";
        std::ofstream(path("pal"), std::ios::binary) << "old";
        FileCut cut{image.c_str(), 100};
        image_file_test_after_map(FileCut::go_on, &cut);
        std::vector<std::string> args = {image};
        args.insert(args.end(), asked.begin(), asked.end());
        std::string out;
        const int status = run(args, &out);
        image_file_test_after_map(nullptr, nullptr);
        EXPECT_TRUE(cut.done);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(out, "error 0x88760B59: the file changed while it was read\n");
        EXPECT_EQ(read(path("px")), u8s({'o', 'l', 'd'}));
        EXPECT_EQ(read(path("pal")), u8s({'o', 'l', 'd'}));
        write("big.bmp", bmp_file(info_header(64, 64, 24).repeat(0x5a, 64 * 64 * 3)));
    }
    // Whole, the same file decodes.
    std::string out;
    ASSERT_EQ(run({image, "--pixels", path("px")}, &out), 0);
    EXPECT_EQ(read(path("px")), std::vector<uint8_t>(64 * 64 * 3, 0x5a));
}

TEST_F(DecodeCommand, UsageErrorsExitWithTwo)
{
    std::string out;
    EXPECT_EQ(run({}, &out), 2);
    EXPECT_EQ(run({"a.bmp", "--pixels"}, &out), 2);
    EXPECT_EQ(run({"a.bmp", "b.bmp"}, &out), 2);
    EXPECT_EQ(run({"a.bmp", "--colour", "x"}, &out), 2);
}

} // namespace
