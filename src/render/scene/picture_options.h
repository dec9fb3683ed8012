// How the picture is drawn beyond the field and the camera: the colour map
// of the shade, smoothing and log scale of the heights, the texture alone
// or times the shade, and the axes, height scale and status line. The
// viewer keeps them as settings; varnel-cli render takes them as options.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

enum class ColourMap : int32_t { grey, viridis, magma, cividis, turbo };
inline constexpr int kColourMapCount = 5;

// The Gaussian widths offered, in grid cells; 0 is no smoothing, and
// kSmoothingAuto a width from the data (Scott's rule), last so that the
// menu's older items keep their commands.
inline constexpr int32_t kSmoothingAuto = -1;
inline constexpr int32_t kSmoothingChoices[] = {0, 1, 2, 4, 8, 16, kSmoothingAuto};
constexpr bool is_smoothing_choice(int32_t cells)
{
    return std::find(std::begin(kSmoothingChoices), std::end(kSmoothingChoices), cells) != std::end(kSmoothingChoices);
}

struct PictureOptions {
    ColourMap colour_map = ColourMap::grey;
    int32_t smoothing_cells = 0; // Gaussian width in grid cells, or kSmoothingAuto
    bool log_scale = false;      // heights from log(1 + weight)
    bool texture_only = false;   // the texture at full brightness, not times the shade
    bool show_axes = true;       // tick labels, height scale and status line
    bool map_view = false;       // straight down, orthographic, on a square; the camera is kept for later
    bool equal_aspect = false;   // the map's x and y units equally long: a rectangle, not a square
};
