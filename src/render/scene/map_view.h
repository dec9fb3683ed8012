// The map view's eye and projection: the box seen straight down through an
// orthographic projection onto a square of the picture's pixels.
#pragma once

#include "render/scene/camera.h"

// The map's eye: above the box's middle, looking straight down, x to the
// right and y up the picture, as the orbiting camera sees it from
// elevation 90 at azimuth 0.
CameraVectors map_camera();

// The projection that takes the map's view of the box onto the square of
// `side` pixels whose top left pixel is (x0, y0), in a width x height
// picture.
Matrix4 map_projection(unsigned width, unsigned height, int x0, int y0, int side);
// The same onto a rectangle `side_x` by `side_y` pixels: the box's x and y
// in their own proportion.
Matrix4 map_projection(unsigned width, unsigned height, int x0, int y0, int side_x, int side_y);
