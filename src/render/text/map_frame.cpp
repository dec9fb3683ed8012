// The map's square from the picture's size alone, without the glyph atlas:
// the device's projection is set before any text is laid out, so the room
// for the labels is reckoned from the font's size with a little to spare.
// The layout then stands each value off the square's edge by its real
// width, so a label wider than reckoned moves outward, never onto the map.
#include "render/text/map_frame.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "render/text/axis_ticks.h"
#include "render/text/glyph_atlas.h"
#include "render/text/number_text.h"

namespace {

// The rungs of round steps whose labels are reckoned with: the layout
// takes the finest that fits, rarely more than a few rungs up.
constexpr int kRungsReckoned = 4;
constexpr int kMostTicksReckoned = 10;

// A line's height and a character's width for the font at `side` pixels:
// the font's half-width characters are half its size, its others (the
// minus sign) its whole size; both rounded up, with a pixel to spare.
int line_reckoned(int side) { return side + side / 4 + 1; }

int text_reckoned(const std::string& text, int side)
{
    int width = 0;
    for (char32_t c : utf8_characters(text))
        width += c < 0x80 ? (side + 1) / 2 : side;
    return width + 1;
}

// The widest value label an axis from `low` to `high` may show.
int widest_label(double low, double high, int side)
{
    int widest = 0;
    for (int coarser = 0; coarser < kRungsReckoned; ++coarser)
        for (const std::string& label : tick_labels(round_ticks(low, high, kMostTicksReckoned, coarser)).texts)
            widest = std::max(widest, text_reckoned(label, side));
    return widest;
}

// The widest value label an axis may show, on a log axis its powers of ten
// and the 2 and 5 times them.
int widest_axis_label(double low, double high, bool log, int side)
{
    if (!log)
        return widest_label(low, high, side);
    int widest = 0;
    for (const std::string& label : log_ticks(low, high, kMostTicksReckoned).labels)
        widest = std::max(widest, text_reckoned(label, side));
    return widest;
}

} // namespace

double map_aspect(const Range& range, const MapShape& shape)
{
    const auto extent = [](double low, double high, bool log) {
        return log ? std::log10(high) - std::log10(low) : high - low;
    };
    const double across = extent(range.x_min, range.x_max, shape.log_x);
    const double up = extent(range.y_min, range.y_max, shape.log_y);
    const double aspect = across / up;
    return across > 0 && up > 0 && std::isfinite(aspect) && aspect > 0 ? aspect : 1.0;
}

MapFrame map_frame(unsigned width, unsigned height, const Range& range, double top_weight, bool log_scale, bool axes,
                   const MapShape& shape)
{
    const int w = int(width), h = int(height);
    int left = 0, right = 0, top = 0, bottom = 0, bar_width = 0, scale_room = 0, gap = 0, tick = 0;
    if (axes) {
        const int side = overlay_pixel_size(height);
        const int line = line_reckoned(side), margin = side / 2;
        gap = std::max(3, line / 5);
        tick = int(std::ceil(kTickLength * float(std::min(w, h))));
        bar_width = std::max(6, side * 3 / 4);
        // In decades the values are whole numbers up to the top.
        scale_room = scale_in_decades(top_weight, log_scale)
            ? text_reckoned(std::to_string(std::llround(top_weight)), side)
            : top_weight > shape.scale_foot ? widest_label(shape.scale_foot, top_weight, side)
                                            : text_reckoned(significant_text(top_weight), side);
        const int band = std::max(status_band_height(height), 2 * margin + line);
        // Above: the y axis's name and the scale's unit, clear of the top values.
        top = margin + line + line / 2 + 2 * gap;
        // Below: the values, the x axis's name and the status band.
        // The x values a tick, or half a line and more (map_value_drop), below.
        bottom = std::max(tick, line / 2 + 2) + gap + line + gap + line + gap + band;
        left = margin + widest_axis_label(range.y_min, range.y_max, shape.log_y, side) + gap + tick;
        right = tick + 2 * gap + bar_width + gap + scale_room + side / 2;
    }
    const int room_x = std::max(0, w - left - right), room_y = std::max(0, h - top - bottom);
    int across = std::max(1, std::min(room_x, room_y)), up = across;
    if (shape.equal_aspect) {
        // The largest rectangle of the range's proportion in the room.
        const double aspect = map_aspect(range, shape);
        across = std::max(1, room_x), up = std::max(1, room_y);
        if (double(across) / up > aspect)
            across = std::max(1, int(std::lround(up * aspect)));
        else
            up = std::max(1, int(std::lround(across / aspect)));
    }
    MapFrame frame;
    frame.x0 = left + std::max(0, room_x - across) / 2;
    frame.y0 = top + std::max(0, room_y - up) / 2;
    frame.x1 = frame.x0 + across;
    frame.y1 = frame.y0 + up;
    const int bar_x0 = frame.x1 + tick + 2 * gap;
    frame.bar = BarBox{bar_x0, frame.y0, bar_x0 + bar_width, frame.y1};
    return frame;
}

double map_value_drop(int line_height, int side)
{
    // A pixel and a half for the rounding of both boxes to whole pixels.
    return std::max(0.0, line_height / 2.0 + 1.5 - double(kTickLength) * side);
}

Matrix4 map_projection(unsigned width, unsigned height, const MapFrame& frame)
{
    return map_projection(width, height, frame.x0, frame.y0, frame.x1 - frame.x0, frame.y1 - frame.y0);
}
