// The measures the picture's overlays share, from the picture's size alone:
// the font size, the height scale's bar, the status line's band and the
// ticks' length. The layout, the map's frame and the camera's fit all
// reckon with them, so that each sees the room the others take.
#pragma once

// A tick's length out of the box's edge, in scene units (the box is 1 wide).
inline constexpr float kTickLength = 0.025f;

// The font size for a picture `height` pixels high.
int overlay_pixel_size(unsigned height);

// The scale bar's box in pixels, [x0, x1) x [y0, y1), level 1 at the top row.
struct BarBox {
    int x0, y0, x1, y1;
};
BarBox scale_bar_box(unsigned width, unsigned height);

// The rows at the picture's foot that the status line takes, on a
// translucent backing of its own.
int status_band_height(unsigned height);

// Whether a height scale up to `top` is ticked at whole powers of ten (a
// log scale from 10 up) rather than at round steps.
bool scale_in_decades(double top, bool log_scale);
