// What the picture says in words and numbers, laid out in screen pixels:
// round data values ticked along the two surface edges nearest the viewer (in the map view, below and left
// of the square), the height scale at the right, and the status line at the bottom left. Plain data: the renderer
// uploads the quads as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "field/density_field.h"
#include "render/scene/camera.h"
#include "render/scene/picture_options.h"
#include "render/text/glyph_atlas.h"
#include "render/text/map_frame.h"
#include "render/text/overlay_measures.h"

// A rectangle of pixels [x0, x1) x [y0, y1) textured from the atlas texels
// [u0, u0 + x1 - x0) x [v0, v0 + y1 - y0), one texel to a pixel, times
// `color`, shaded down to `bottom_color` at the bottom edge; a solid one
// takes the atlas's solid cell throughout.
struct ScreenQuad {
    int x0, y0, x1, y1;
    int u0, v0;
    uint32_t color, bottom_color;
    bool solid;
};

// A straight stroke `width` pixels wide between two points, pixel centres
// at whole numbers: the ticks on the box's edges.
struct ScreenLine {
    float x0, y0, x1, y1;
    float width;
    uint32_t color;
};

// What a placed text says.
enum class TextRole { status, scale_unit, scale_value, x_value, y_value, x_title, y_title };

// A text drawn, with the pixels its line takes.
struct PlacedText {
    std::string text;
    int x0, y0, x1, y1;
    TextRole role = TextRole::status;
};

// The quads as the device draws them: screen position and 1/w, colour, and
// texture coordinates.
struct OverlayVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

struct PictureOverlay {
    // In drawing order: the ticks, the scale bar, the text outlines, the glyphs.
    std::vector<ScreenLine> lines;
    std::vector<ScreenQuad> quads;
    std::vector<PlacedText> texts;
};

// A box of pixels, [x0, x1] x [y0, y1] as pixel centres.
struct ScreenBox {
    int x0, y0, x1, y1;
};

struct OverlayScene {
    unsigned width, height;
    CameraVectors camera;
    Range range;
    double max_weight; // the highest node drawn, before normalisation
    FieldCounts counts;
    std::string_view caption; // the data file's name
    ColourMap colour_map;
    bool log_scale = false;        // heights and colours from log(1 + weight): the scale's values follow
    std::string_view x_title = {}; // the axes' names; empty: the texts' X and Y
    std::string_view y_title = {};
    double auto_smoothing_cells = 0;    // the width automatic smoothing chose; 0: none chosen
    bool map_view = false;              // straight down on the map's square (map_frame.h), not `camera`
    std::string_view readout = {};      // words after the status line: what lies under the pointer
    std::optional<ScreenBox> band = {}; // a frame drawn over the picture: the rectangle being dragged out
    double scale_foot = 0;              // the scale's value at its foot: a mean's least, 0 otherwise
    std::string_view scale_title = {};  // the scale's name ("mean of delay"); empty: the texts' points per cell
    bool log_x = false, log_y = false;  // the nodes stand evenly in the logarithm: the values are powers of ten
    bool equal_aspect = false;          // the map's x and y units equally long (map_frame.h)
};

// What shapes the map's frame in the scene.
MapShape map_shape(const OverlayScene& scene);

// The weight the height scale shows at `level` (0 at its foot, 1 at its top).
double scale_value(const OverlayScene& scene, double level);

// Every character an overlay with this caption may draw.
std::u32string overlay_characters(std::string_view caption);
// The status line: the name, points read, points in range and, when there
// were any, the lines rejected.
std::string status_line(std::string_view caption, const FieldCounts& counts);

// The overlay of `scene` drawn with `atlas`: without glyphs (no font) the
// scale bar alone.
PictureOverlay lay_out_overlay(const GlyphAtlas& atlas, const OverlayScene& scene);

// Four vertices and six 16-bit indices a quad (a line is one too); 0 when
// there are none or more than 16-bit indices reach.
size_t overlay_quad_count(const PictureOverlay& overlay);
// Fills spans of 4 and 6 x overlay_quad_count entries; false, writing
// nothing, for spans of other sizes.
bool write_overlay(std::span<OverlayVertex> vertices, std::span<uint16_t> indices, const PictureOverlay& overlay,
                   const GlyphAtlas& atlas);
