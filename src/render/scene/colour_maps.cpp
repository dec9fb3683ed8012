#include "render/scene/colour_maps.h"

#include <algorithm>
#include <cmath>

#include "render/scene/colour_map_tables.h"

namespace {

struct MapRow {
    ColourMap map;
    const char* name;
    const ColourTable* table; // null for the grey rule
};

// Every map, in the order of ColourMap.
constexpr MapRow kMaps[] = {
    {ColourMap::grey, "grey", nullptr},   {ColourMap::viridis, "viridis", &kViridis},
    {ColourMap::magma, "magma", &kMagma}, {ColourMap::cividis, "cividis", &kCividis},
    {ColourMap::turbo, "turbo", &kTurbo},
};
static_assert(std::size(kMaps) == kColourMapCount);

const MapRow* row_of(ColourMap map)
{
    const auto index = static_cast<size_t>(map);
    return index < std::size(kMaps) ? &kMaps[index] : nullptr;
}

uint32_t channel(float value) { return static_cast<uint32_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f)); }

} // namespace

uint32_t grey_colour(double level)
{
    // Held to 0..255 before the conversion, so no value can overflow it.
    const double grey = std::floor(level * 127 + 128.5);
    const uint32_t g = grey >= 255.0 ? 255 : grey >= 0.0 ? static_cast<uint32_t>(grey) : 0;
    return 0xFF000000 + g * 0x10000 + g * 0x100 + g;
}

uint32_t colour_map_colour(ColourMap map, double level)
{
    const double held = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 1.0);
    const MapRow* row = row_of(map);
    if (!row || !row->table)
        return grey_colour(held);
    // 256 equal slices of 0..1, the top one closed.
    const auto index = std::min<size_t>(static_cast<size_t>(held * 256), 255);
    const std::array<float, 3>& rgb = (*row->table)[index];
    return 0xFF000000 + channel(rgb[0]) * 0x10000 + channel(rgb[1]) * 0x100 + channel(rgb[2]);
}

uint32_t no_data_colour(ColourMap map) { return map == ColourMap::grey ? 0xFF000000 : 0xFFC0C0C0; }

const char* colour_map_name(ColourMap map)
{
    const MapRow* row = row_of(map);
    return row ? row->name : nullptr;
}

std::optional<ColourMap> colour_map_named(std::string_view name)
{
    for (const MapRow& row : kMaps)
        if (name == row.name)
            return row.map;
    return std::nullopt;
}
