#include "render/scene/colour_maps.h"

#include <algorithm>
#include <cmath>

uint32_t colour_map_colour(ColourMap, double level)
{
    // Grey from half brightness at the lowest level to white at the top.
    const double held = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 1.0);
    const auto grey = static_cast<uint32_t>(std::floor(held * 127 + 128.5));
    return 0xFF000000 + grey * 0x10000 + grey * 0x100 + grey;
}
