// The map view: the field seen straight down through an orthographic
// projection, its x/y box drawn as the largest square of pixels the picture
// has left once the axes' values and names, the height scale and the status
// band have their room; the scale's bar beside the square, as tall as it.
#pragma once

#include "field/range.h"
#include "render/scene/camera.h"
#include "render/scene/map_view.h"
#include "render/text/overlay_measures.h"

// The square (or, with equal units, the rectangle) [x0, x1) x [y0, y1) in pixels that the field's box fills, the
// corner nodes on its corner pixels' outer edges; and the scale bar, its
// values right of it.
struct MapFrame {
    int x0, y0, x1, y1;
    BarBox bar;
};

// What shapes the frame beyond the picture's size and the range: the
// scale's value at its foot (a mean's least), logarithmic axes, whose
// values are other labels, and equal units on both axes, which make the
// square a rectangle of the range's proportion (in decades on a log axis).
struct MapShape {
    double scale_foot = 0;
    bool log_x = false, log_y = false;
    bool equal_aspect = false;
};

// The frame for a width x height picture showing `range`, its height scale
// reaching `top_weight` (on a log scale or not); with `axes` false the
// whole picture is the square's (no labels, scale or band).
MapFrame map_frame(unsigned width, unsigned height, const Range& range, double top_weight, bool log_scale, bool axes,
                   const MapShape& shape = {});

// The range's width over its height as the map draws it with equal units:
// in decades on a log axis; 1 where either is not positive and finite.
double map_aspect(const Range& range, const MapShape& shape);

// How much further than the usual gap below its tick a map's x value
// stands, for type `line_height` pixels high on a square `side` pixels
// wide: clear of the y values, which are centred on their ticks, at the
// corner both axes may tick.
double map_value_drop(int line_height, int side);

// The projection that takes the map's view of the box (map_camera) onto
// the frame's square.
Matrix4 map_projection(unsigned width, unsigned height, const MapFrame& frame);
