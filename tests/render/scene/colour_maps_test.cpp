// The colour maps against their published tables, their names, and the
// colour a node takes under each.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "render/scene/colour_map_tables.h"
#include "render/scene/colour_maps.h"
#include "render/scene/mesh.h"

namespace {

// A published entry as an opaque colour, each channel rounded to 8 bits.
uint32_t published(double r, double g, double b)
{
    const auto byte = [](double v) { return uint32_t(std::floor(v * 255 + 0.5)); };
    return 0xFF000000 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

// Level 0 is the first entry, 0.5 the 129th (of 256), 1 the last.
TEST(ColourMaps, EndsAndMiddleAreThePublishedEntries)
{
    struct Case {
        ColourMap map;
        double level;
        uint32_t colour;
    };
    const Case cases[] = {
        {ColourMap::viridis, 0.0, published(0.267004, 0.004874, 0.329415)},
        {ColourMap::viridis, 0.5, published(0.127568, 0.566949, 0.550556)},
        {ColourMap::viridis, 1.0, published(0.993248, 0.906157, 0.143936)},
        {ColourMap::magma, 0.0, published(0.001462, 0.000466, 0.013866)},
        {ColourMap::magma, 0.5, published(0.716387, 0.214982, 0.475290)},
        {ColourMap::magma, 1.0, published(0.987053, 0.991438, 0.749504)},
        {ColourMap::cividis, 0.0, published(0.000000, 0.135112, 0.304751)},
        {ColourMap::cividis, 0.5, published(0.488697, 0.485318, 0.471008)},
        {ColourMap::cividis, 1.0, published(0.995737, 0.909344, 0.217772)},
        {ColourMap::turbo, 0.0, published(0.18995, 0.07176, 0.23217)},
        {ColourMap::turbo, 0.5, published(0.64362, 0.98999, 0.23356)},
        {ColourMap::turbo, 1.0, published(0.47960, 0.01583, 0.01055)},
        // Held to the ends.
        {ColourMap::viridis, -2.0, published(0.267004, 0.004874, 0.329415)},
        {ColourMap::turbo, 7.0, published(0.47960, 0.01583, 0.01055)},
        {ColourMap::magma, std::nan(""), published(0.001462, 0.000466, 0.013866)},
        // Grey from half brightness to white.
        {ColourMap::grey, 0.0, 0xFF808080},
        {ColourMap::grey, 0.5, 0xFFC0C0C0},
        {ColourMap::grey, 1.0, 0xFFFFFFFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(colour_map_colour(c.map, c.level), c.colour) << colour_map_name(c.map) << " at " << c.level;
}

// Every level in the k-th of 256 equal slices gives entry k, each channel
// rounded to the nearest byte.
TEST(ColourMaps, EachSliceIsItsEntryRoundedToBytes)
{
    const std::pair<ColourMap, const ColourTable*> maps[] = {{ColourMap::viridis, &kViridis},
                                                             {ColourMap::magma, &kMagma},
                                                             {ColourMap::cividis, &kCividis},
                                                             {ColourMap::turbo, &kTurbo}};
    for (const auto& [map, table] : maps)
        for (int k = 0; k < 256; ++k) {
            const auto& [r, g, b] = (*table)[size_t(k)];
            const uint32_t want = published(r, g, b);
            for (double level : {k / 256.0, (k + 0.5) / 256.0, (k + 0.999) / 256.0})
                ASSERT_EQ(colour_map_colour(map, level), want) << colour_map_name(map) << " at " << level;
        }
}

// Under grey a node keeps its shade, black at no weight; another map gives
// a node without weight its lowest colour, so the empty plane is the map's
// own dark end rather than a black hole.
TEST(ColourMaps, NodeColoursFollowTheMap)
{
    const std::tuple<ColourMap, double, uint32_t> cases[] = {
        {ColourMap::grey, 0.0, 0xFF000000},
        {ColourMap::grey, 0.5, 0xFFC0C0C0},
        {ColourMap::viridis, 0.0, published(0.267004, 0.004874, 0.329415)},
        {ColourMap::cividis, 0.5, published(0.488697, 0.485318, 0.471008)},
        {ColourMap::turbo, 1.0, published(0.47960, 0.01583, 0.01055)},
    };
    for (const auto& [map, value, colour] : cases)
        EXPECT_EQ(node_colour(map, value), colour) << colour_map_name(map) << " at " << value;
}

TEST(ColourMaps, NamesGoBothWays)
{
    const char* names[] = {"grey", "viridis", "magma", "cividis", "turbo"};
    for (int k = 0; k < kColourMapCount; ++k) {
        EXPECT_STREQ(colour_map_name(static_cast<ColourMap>(k)), names[k]);
        EXPECT_EQ(colour_map_named(names[k]), static_cast<ColourMap>(k));
    }
    for (const char* unknown : {"", "Viridis", "gray", "jet", "viridis "})
        EXPECT_FALSE(colour_map_named(unknown).has_value()) << unknown;
    EXPECT_EQ(colour_map_name(static_cast<ColourMap>(kColourMapCount)), nullptr);
}

} // namespace
