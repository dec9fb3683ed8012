// Compressed data files read as they stream: the same points as the plain
// file, and a damaged stream a read error after what could be read.
#include "field/sources/data_file.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <zstd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "field/density_field.h"
#include "field/sources/data_file_test_hook.h"
#include "gzip_bytes.h"

namespace {

namespace fs = std::filesystem;

// With a checksum, as the zstd tool writes its files.
std::string zstd(const std::string& text)
{
    std::string bytes(ZSTD_compressBound(text.size()), '\0');
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    bytes.resize(ZSTD_compress2(context, bytes.data(), bytes.size(), text.data(), text.size()));
    ZSTD_freeCCtx(context);
    return bytes;
}

struct Loaded {
    bool read_error;
    long long points;
    std::vector<double> nodes;
    DataFileMeter meter;
    bool at_end; // nothing left in the stream
};

Loaded load(const std::string& name, const std::string& bytes)
{
    const fs::path path = fs::temp_directory_path() / (std::to_string(getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary) << bytes;
    DataFileMeter meter;
    meter.done = meter.size = -1;
    std::FILE* in = open_data_file(path.c_str(), &meter);
    EXPECT_NE(in, nullptr) << name;
    DensityField* field = create_density_field(Range{0, 4000, 0, 4000});
    field->ops.load(field, in, 0);
    Loaded result{std::ferror(in) != 0, density_field_counts(field).points,
                  std::vector<double>(field->ops.data(field), field->ops.data(field) + 201 * 201), meter,
                  std::fgetc(in) == EOF};
    std::fclose(in);
    field->ops.destroy(field);
    fs::remove(path);
    return result;
}

// The meter ends at the size of the file on disk, compressed or not, mapped
// or not.
TEST(DataFile, CompressedFilesGiveThePlainFilesPoints)
{
    std::string text = "x,y\n";
    uint32_t random = 1;
    auto next = [&random] { return (random = random * 1103515245u + 12345u) >> 16 & 4095; };
    for (int k = 0; k < 200000; ++k) // past one read block of every layer, even compressed
        text += std::to_string(next()) + "," + std::to_string(next()) + "\n";
    const Loaded plain = load("points.csv", text);
    ASSERT_FALSE(plain.read_error);
    ASSERT_EQ(plain.points, 200000);
    EXPECT_EQ(plain.meter.size, static_cast<long long>(text.size()));
    EXPECT_EQ(plain.meter.done, plain.meter.size);
    EXPECT_TRUE(plain.at_end);
    // Where the file cannot be mapped its stream is read, and metered, instead.
    data_file_test_fail_maps();
    const Loaded streamed = load("points.csv", text);
    data_file_test_reset();
    EXPECT_EQ(streamed.meter.done, plain.meter.size);
    EXPECT_EQ(streamed.nodes, plain.nodes);
    for (const auto& [name, bytes] : {std::pair{std::string("points.csv.gz"), gzipped(text)},
                                      std::pair{std::string("points.csv.zst"), zstd(text)}}) {
        SCOPED_TRACE(name);
        const Loaded packed = load(name, bytes);
        ASSERT_GT(bytes.size(), 1u << 18);
        EXPECT_FALSE(packed.read_error);
        EXPECT_EQ(packed.meter.size, static_cast<long long>(bytes.size()));
        EXPECT_EQ(packed.meter.done, packed.meter.size);
        EXPECT_EQ(packed.points, plain.points);
        EXPECT_EQ(packed.nodes, plain.nodes);
        EXPECT_TRUE(packed.at_end);
        // Cut short or damaged: a read error, never a clean end, and the
        // meter says which.
        const Loaded cut = load(name, bytes.substr(0, bytes.size() / 2));
        EXPECT_TRUE(cut.read_error);
        EXPECT_NE(cut.meter.damage.find("cut short"), std::string::npos) << cut.meter.damage;
        std::string damaged = bytes;
        damaged[damaged.size() / 2] ^= 0x55;
        damaged[damaged.size() / 2 + 1] ^= 0x55;
        const Loaded broken = load(name, damaged);
        EXPECT_TRUE(broken.read_error);
        EXPECT_NE(broken.meter.damage.find("data is damaged: "), std::string::npos) << broken.meter.damage;
        EXPECT_TRUE(packed.meter.damage.empty());
    }
    // Members one after another read as one text; bytes after the last that
    // are no member are ignored, with the meter told, as gzip -d warns.
    const std::string two = gzipped("1 2\n") + gzipped("3 4\n");
    const Loaded joined = load("two.gz", two);
    EXPECT_FALSE(joined.read_error);
    EXPECT_EQ(joined.points, 2);
    EXPECT_FALSE(joined.meter.trailing_garbage);
    const Loaded trailing = load("trailing.gz", two + "not gzip\n5 6\n");
    EXPECT_FALSE(trailing.read_error);
    EXPECT_EQ(trailing.points, 2);
    EXPECT_TRUE(trailing.meter.trailing_garbage);
    EXPECT_EQ(load("plain.gz", "7 8\n").points, 1); // no gzip at all: read as it is
    EXPECT_EQ(open_data_file("/nonexistent/points.csv.gz"), nullptr);
    EXPECT_EQ(open_data_file("/nonexistent/points.csv.zst"), nullptr);
}

// The look at a file's first bytes takes them all up to its limit, however
// the file's size compares with it; a file whose size says less than it
// holds (as /proc's do: 0) is read to its end all the same.
TEST(DataFile, ALookTakesTheFirstBytesUpToItsLimit)
{
    const fs::path path = fs::temp_directory_path() / ("varnel-look-" + std::to_string(getpid()));
    const std::size_t most = 1000;
    for (const std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(999), most, most + 1, 5 * most}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (std::size_t k = 0; k < size; ++k)
            bytes[k] = char('a' + k % 23);
        std::ofstream(path, std::ios::binary) << bytes;
        std::FILE* stream = std::fopen(path.c_str(), "rb");
        std::string head;
        ASSERT_TRUE(peek_data_stream(&stream, most, &head));
        EXPECT_EQ(head, bytes.substr(0, most));
        std::fclose(stream);
    }
    fs::remove(path);
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::FILE* stream = std::fopen("/proc/self/cmdline", "rb");
    ASSERT_NE(stream, nullptr);
    std::string head;
    ASSERT_TRUE(peek_data_stream(&stream, 1 << 16, &head));
    EXPECT_EQ(head, whole);
    EXPECT_GT(head.size(), 10u);
    std::fclose(stream);
}

} // namespace
