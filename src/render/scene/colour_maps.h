// The colours of the surface's shade and of the height scale: a shade
// level from 0 (no weight) to 1 (the highest node) through a colour map.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "render/scene/picture_options.h"

// The grey map: half brightness at level 0 to white at 1, held to 0..255.
uint32_t grey_colour(double level);

// An opaque D3DCOLOR (0xFFRRGGBB) for `level` in 0..1; levels outside are
// held to the ends.
uint32_t colour_map_colour(ColourMap map, double level);

// The colour of a node that holds no value (a mean no point reached):
// black on the grey map, as its empty nodes are; light grey on the others,
// none of whose ends or middles it is.
uint32_t no_data_colour(ColourMap map);

// The map's name as varnel-cli takes it and the menu shows it ("grey",
// "viridis", ...); an unknown map has none.
const char* colour_map_name(ColourMap map);
// The map of that name, or none.
std::optional<ColourMap> colour_map_named(std::string_view name);
