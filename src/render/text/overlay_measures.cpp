#include "render/text/overlay_measures.h"

#include <algorithm>
#include <cmath>

// Digits are about 0.73 of the size: at least 18 (13-pixel digits) from 480
// rows up, then 3% of the height (digits about 2.2% of it); smaller
// pictures shrink to 10.
int overlay_pixel_size(unsigned height)
{
    return std::max(10, int(std::lround(std::max(height * 0.03, std::min(18.0, height * 0.0375)))));
}

BarBox scale_bar_box(unsigned width, unsigned height)
{
    const int w = int(width), h = int(height);
    const int side = overlay_pixel_size(height);
    const int bar_width = std::max(6, side * 3 / 4);
    const int x1 = w - side, y0 = h / 5, y1 = h - h / 4;
    return BarBox{x1 - bar_width, y0, x1, y1};
}

int status_band_height(unsigned height)
{
    const int side = overlay_pixel_size(height);
    return side + side * 3 / 2;
}

bool scale_in_decades(double top, bool log_scale) { return log_scale && top >= 10; }
