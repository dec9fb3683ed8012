// What a pixel of the picture shows, as the render area's readout and the
// zoom by the pointer ask for it: the record, and its reading from the
// renderer's state.
#pragma once

#include "field/density_field.h"

// What a pixel of the render area shows.
struct PointUnder {
    bool on_surface;    // the surface (or the map's square) is drawn there
    double u, v;        // where on the box, as fractions of the range; the map's go beyond 0..1 outside its square
    double x, y;        // the same in the range's units
    Range range;        // the range drawn
    int node_i, node_j; // the nearest node to it on the surface
    double count;       // that node's binned points (its weight, its mean)
    double height;      // its height as the height scale reads it
    // What the nodes hold where it is no count of points, as the height
    // scale names it ("mean of b"); null for counts.
    const char* measure;
};

struct RendererState;

// What the pixel (x, y) of the last frame's size shows; false without a
// field, or in the camera's view where the surface is not drawn there.
bool point_under(RendererState* state, int x, int y, PointUnder* point);
