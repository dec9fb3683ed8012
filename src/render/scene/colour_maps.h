// The colours of the surface's shade and of the height scale: a shade
// level from 0 (no weight) to 1 (the highest node) through a colour map.
#pragma once

#include <cstdint>

#include "render/scene/picture_options.h"

// An opaque D3DCOLOR (0xFFRRGGBB) for `level` in 0..1; levels outside are
// held to the ends.
uint32_t colour_map_colour(ColourMap map, double level);
