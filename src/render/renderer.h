// The renderer: the Direct3D device on the render area, the three draw
// batches (shaded surface, grid lines, marker cross), the camera, and one
// frame drawn each time it is asked.
#pragma once

#include <cstdint>

#include "field/density_field.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/windef.h"
#include "render/point_under.h"
#include "render/scene/camera.h" // CameraSetting
#include "render/scene/mesh.h"   // MarkerPair
#include "render/scene/picture_options.h"

struct Renderer;

struct RendererOps {
    void (*destroy)(Renderer* renderer);
    HRESULT (*render)(Renderer* renderer);
    HRESULT (*resize)(Renderer* renderer, HWND window, int width, int height);
    HRESULT (*set_camera)(Renderer* renderer, const CameraSetting* camera);
    // Builds the surface, grid lines and (while a marker is set) the cross
    // from the field, and keeps the field for later marker changes. Null
    // drops the field: the geometry goes, the texture and marker stay.
    void (*set_field)(Renderer* renderer, DensityField* field);
    HRESULT (*set_texture)(Renderer* renderer, const char* path);
    // Null removes the marker. A pair outside 0..1 (or not finite) is kept
    // but its cross is not drawn.
    void (*set_marker)(Renderer* renderer, const MarkerPair* pair);
    // How the next frames are drawn; the geometry follows at once.
    void (*set_picture_options)(Renderer* renderer, const PictureOptions* options);
    // The data file's name for the status line (copied); null for none.
    void (*set_caption)(Renderer* renderer, const char* name);
    // The axes' names (copied), the data's own column names for example;
    // null or empty for the usual X and Y.
    void (*set_axis_titles)(Renderer* renderer, const char* x, const char* y);
    // What the pixel (x, y) of the last frame's size shows; false without a
    // field, or in the camera's view where the surface is not drawn there.
    bool (*point_under)(Renderer* renderer, int x, int y, PointUnder* point);
    // Words after the status line (copied); null or empty for none.
    void (*set_readout)(Renderer* renderer, const char* text);
    // A rectangle of pixels drawn as a thin frame over the picture, the
    // corners given in either order; null for none.
    void (*set_band)(Renderer* renderer, const RECT* band);
    // The height scale's name (copied), "mean of delay" for example; null or
    // empty for the texts' points per cell.
    void (*set_scale_title)(Renderer* renderer, const char* title);
};

struct Renderer {
    struct RendererState* state;
    RendererOps ops;
};

// A renderer with its device on `window`; null when the device cannot be made.
Renderer* create_renderer(HWND window);

// The state behind a renderer handle, or null when the handle is null or
// does not carry the renderer's tag. Only the renderer's own files and its
// tests see inside the state (renderer_state.h).
RendererState* renderer_state(Renderer* renderer);
