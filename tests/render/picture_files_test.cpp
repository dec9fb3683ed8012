// Pictures written in each format and read back by the program's own
// decoders, which know nothing of the writers.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/picture_files.h"
#include "texture/decoders/decoded_image.h"

namespace {

std::vector<unsigned char> written(PictureFormat format, const std::vector<uint32_t>& pixels, UINT width, UINT height)
{
    std::FILE* f = std::tmpfile();
    EXPECT_TRUE(write_picture(f, format, pixels, width, height));
    std::vector<unsigned char> bytes(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    return bytes;
}

// 0xRRGGBB of a decoded pixel, for the layouts these files decode to.
uint32_t pixel_at(const DecodedImage& image, UINT x, UINT y)
{
    const BYTE* row = image.pixels + size_t(y) * image.row_pitch;
    switch (image.format) {
    case D3DFMT_R8G8B8:
        return uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8R8G8B8:
        return uint32_t(row[4 * x + 2]) << 16 | uint32_t(row[4 * x + 1]) << 8 | row[4 * x];
    default:
        ADD_FAILURE() << "format " << image.format;
        return 0;
    }
}

int channel_error(uint32_t a, uint32_t b)
{
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

TEST(PictureFiles, EachFormatReadsBackAsWritten)
{
    // Five columns: a BMP row of 15 bytes is padded to 16. A gentle ramp, so
    // JPEG's loss stays small; the top byte is not part of the picture.
    const UINT width = 5, height = 3;
    std::vector<uint32_t> pixels;
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            pixels.push_back(0xAB000000u | (100 + 10 * x) << 16 | (120 + 5 * y) << 8 | (90 + 3 * x + 2 * y));
    struct Case {
        PictureFormat format;
        DWORD file_format;
        int tolerance;
    };
    for (const Case& c : {Case{PictureFormat::png, IMAGE_FILE_PNG, 0}, Case{PictureFormat::bmp, IMAGE_FILE_BMP, 0},
                          Case{PictureFormat::ppm, IMAGE_FILE_PPM, 0}, Case{PictureFormat::jpeg, IMAGE_FILE_JPG, 6}}) {
        const std::vector<unsigned char> bytes = written(c.format, pixels, width, height);
        DecodedImage image;
        ASSERT_EQ(decode_image(bytes.data(), bytes.size(), TRUE, &image), S_OK) << int(c.format);
        EXPECT_EQ(image.file_format, c.file_format);
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                EXPECT_LE(channel_error(pixel_at(image, x, y), pixels[y * width + x]), c.tolerance)
                    << int(c.format) << " at " << x << "," << y;
        release_decoded_image(&image);
    }
}

// Read back above, a header field no decoder looks at could still be
// wrong; these are the bytes of a 5 x 3 picture, worked by hand. A span
// short of one pixel is refused by every format.
TEST(PictureFiles, HeadersAndSizesAreExact)
{
    const std::vector<uint32_t> pixels(15, 0x123456);
    const std::vector<unsigned char> bmp = written(PictureFormat::bmp, pixels, 5, 3);
    ASSERT_EQ(bmp.size(), 54u + 3 * 16);
    auto field = [&](size_t at, int bytes) {
        uint32_t value = 0;
        for (int k = bytes; k-- > 0;)
            value = value << 8 | bmp[at + size_t(k)];
        return value;
    };
    const uint32_t want[][3] = {
        // offset, size in bytes, value
        {2, 4, 102}, {6, 4, 0},  {10, 4, 54}, {14, 4, 40},   {18, 4, 5},    {22, 4, 3}, {26, 2, 1},
        {28, 2, 24}, {30, 4, 0}, {34, 4, 48}, {38, 4, 2835}, {42, 4, 2835}, {46, 4, 0}, {50, 4, 0},
    };
    for (const auto& [at, bytes, value] : want)
        EXPECT_EQ(field(at, int(bytes)), value) << "at " << at;
    EXPECT_EQ(std::vector<unsigned char>(bmp.begin() + 54, bmp.begin() + 70),
              (std::vector<unsigned char>{0x56, 0x34, 0x12, 0x56, 0x34, 0x12, 0x56, 0x34, 0x12, 0x56, 0x34, 0x12, 0x56,
                                          0x34, 0x12, 0}));
    const std::vector<unsigned char> ppm = written(PictureFormat::ppm, pixels, 5, 3);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + 11), "P6\n5 3\n255\n");
    EXPECT_EQ(ppm.size(), 11u + 45);

    // Quality 92 scales the standard luminance table to 16%: its steps of
    // 10 and 121 become 2 and 19.
    const std::vector<unsigned char> jpeg = written(PictureFormat::jpeg, pixels, 5, 3);
    const unsigned char dqt[] = {0xFF, 0xDB};
    const auto table = std::search(jpeg.begin(), jpeg.end(), std::begin(dqt), std::end(dqt));
    ASSERT_TRUE(jpeg.end() - table >= 69 && table[4] == 0) << "an 8-bit table 0";
    EXPECT_EQ(*std::min_element(table + 5, table + 69), 2);
    EXPECT_EQ(*std::max_element(table + 5, table + 69), 19);

    const std::vector<uint32_t> short_of_one(14, 0x123456);
    for (PictureFormat format : {PictureFormat::png, PictureFormat::jpeg, PictureFormat::bmp, PictureFormat::ppm}) {
        std::FILE* f = std::tmpfile();
        EXPECT_FALSE(write_picture(f, format, short_of_one, 5, 3)) << int(format);
        std::fclose(f);
    }

    // A bitmap past the 4 GiB its header can say is refused before a byte
    // is written, not written with a size that wrapped. The pixels are
    // pages never touched.
    const size_t width = 40000, height = 36000, bytes = width * height * 4;
    void* pages = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    std::FILE* f = std::tmpfile();
    EXPECT_FALSE(write_picture(f, PictureFormat::bmp, {static_cast<const uint32_t*>(pages), width * height},
                               UINT(width), UINT(height)));
    EXPECT_EQ(std::ftell(f), 0);
    std::fclose(f);
    munmap(pages, bytes);
}

TEST(PictureFiles, TheExtensionNamesTheFormat)
{
    struct Case {
        const char* path;
        bool known;
        PictureFormat format;
    };
    for (const Case& c : {Case{"out.png", true, PictureFormat::png}, Case{"a/b.JPG", true, PictureFormat::jpeg},
                          Case{"b.jpeg", true, PictureFormat::jpeg}, Case{"c.Bmp", true, PictureFormat::bmp},
                          Case{"d.ppm", true, PictureFormat::ppm}, Case{"/dev/stdout", true, PictureFormat::png},
                          Case{"dir.v2/out", true, PictureFormat::png}, Case{".hidden", true, PictureFormat::png},
                          Case{"x.tif", false, {}}, Case{"x.png.gz", false, {}}, Case{"x.", false, {}}}) {
        PictureFormat format = PictureFormat::bmp;
        EXPECT_EQ(picture_format_of(c.path, &format), c.known) << c.path;
        if (c.known) {
            EXPECT_EQ(format, c.format) << c.path;
        }
    }
    const char filter[] = "PNG\0*.png\0JPEG\0*.jpg;*.jpeg\0BMP\0*.bmp\0PPM\0*.ppm\0\0";
    EXPECT_EQ(picture_dialog_filter(), std::string(filter, sizeof filter - 1));
    EXPECT_EQ(picture_extensions(), (std::vector<std::string>{".png", ".jpg", ".jpeg", ".bmp", ".ppm"}));
}

} // namespace
