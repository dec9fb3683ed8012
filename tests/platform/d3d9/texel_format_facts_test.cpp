// The format facts against sizes stated independently: bits per pixel, the
// bytes a row of 5 pixels and a level 5 pixels high take.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "platform/d3d9/texel_format_facts.h"

namespace {

TEST(TexelFormatFactsTest, SizesOfKnownFormats)
{
    struct Case {
        D3DFORMAT format;
        const char* name;
        UINT bits_per_pixel;
        uint64_t row_of_5;  // bytes of a row 5 pixels wide
        uint64_t rows_of_5; // stored rows of a level 5 pixels high
        bool blocks;
    } cases[] = {
        {D3DFMT_A8R8G8B8, "D3DFMT_A8R8G8B8", 32, 20, 5, false},
        {D3DFMT_R8G8B8, "D3DFMT_R8G8B8", 24, 15, 5, false},
        {D3DFMT_R5G6B5, "D3DFMT_R5G6B5", 16, 10, 5, false},
        {D3DFMT_L8, "D3DFMT_L8", 8, 5, 5, false},
        {D3DFMT_A32B32G32R32F, "D3DFMT_A32B32G32R32F", 128, 80, 5, false},
        {D3DFMT_YUY2, "D3DFMT_YUY2", 16, 12, 5, false}, // three pairs
        {D3DFMT_DXT1, "D3DFMT_DXT1", 4, 16, 2, true},   // two 8-byte blocks across
        {D3DFMT_DXT3, "D3DFMT_DXT3", 8, 32, 2, true},
        {D3DFMT_DXT5, "D3DFMT_DXT5", 8, 32, 2, true},
        {LOADER_FMT_R16, "R16", 48, 30, 5, false},
    };
    for (const Case& c : cases) {
        const TexelFormatFacts* facts = texel_format_facts(c.format);
        ASSERT_TRUE(facts) << c.name;
        EXPECT_STREQ(facts->name, c.name);
        EXPECT_EQ(facts->bits_per_pixel(), c.bits_per_pixel) << c.name;
        EXPECT_EQ(facts->packed_row_bytes(5), c.row_of_5) << c.name;
        EXPECT_EQ(facts->unit_rows(5), c.rows_of_5) << c.name;
        EXPECT_EQ(is_block_compressed_format(c.format), c.blocks) << c.name;
    }
    EXPECT_FALSE(texel_format_facts(static_cast<D3DFORMAT>(12345)));
    EXPECT_FALSE(is_block_compressed_format(static_cast<D3DFORMAT>(12345)));
}

// A plain format's name spells its channels: "A8R8G8B8" has 8 bits of
// alpha, red, green and blue, an X channel is padding, L counts in red,
// green and blue, a trailing F means float channels; all of them together
// make the bytes of a pixel.
TEST(TexelFormatFactsTest, PlainFormatsHoldTheChannelsTheirNamesSpell)
{
    const std::regex plain("D3DFMT_((?:[ARGBLX][0-9]+)+)(F?)");
    const std::regex channel("([ARGBLX])([0-9]+)");
    int checked = 0;
    for (const TexelFormatFacts& facts : texel_format_table()) {
        std::cmatch name;
        if (facts.unit_width != 1 || !std::regex_match(facts.name, name, plain))
            continue;
        ++checked;
        SCOPED_TRACE(facts.name);
        int bits[128] = {}, total = 0;
        const std::string channels = name[1];
        for (std::sregex_iterator c(channels.begin(), channels.end(), channel), end; c != end; ++c) {
            const int n = std::stoi((*c)[2]);
            bits[int((*c)[1].str()[0])] += n;
            total += n;
        }
        EXPECT_EQ(facts.unit_bytes * 8, UINT(total));
        EXPECT_EQ(facts.float_channels, name[2] == "F");
        EXPECT_EQ(facts.format_class, bits['L'] ? FORMAT_CLASS_LUMINANCE : FORMAT_CLASS_COLOR);
        EXPECT_EQ(facts.alpha, bits['A']);
        EXPECT_EQ(facts.red, bits['R'] + bits['L']);
        EXPECT_EQ(facts.green, bits['G'] + bits['L']);
        EXPECT_EQ(facts.blue, bits['B'] + bits['L']);
        EXPECT_EQ(facts.other, 0);
    }
    EXPECT_EQ(checked, 27);
    // The blocks' alpha: one bit, four explicit, or eight interpolated.
    const std::pair<D3DFORMAT, BYTE> blocks[] = {
        {D3DFMT_DXT1, 1}, {D3DFMT_DXT2, 4}, {D3DFMT_DXT3, 4}, {D3DFMT_DXT4, 8}, {D3DFMT_DXT5, 8}};
    for (const auto& [format, alpha] : blocks)
        EXPECT_EQ(texel_format_facts(format)->alpha, alpha) << format;
}

TEST(TexelFormatFactsTest, EachFormatAndNameOnce)
{
    std::set<DWORD> formats;
    std::set<std::string> names;
    for (const TexelFormatFacts& facts : texel_format_table()) {
        EXPECT_TRUE(formats.insert(facts.format).second) << facts.name;
        EXPECT_TRUE(names.insert(facts.name).second) << facts.name;
    }
}

} // namespace
