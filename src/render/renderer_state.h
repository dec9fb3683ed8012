// The renderer's private state and its list of batches. Only the
// renderer's own files and its tests include this; the state knows nothing
// of the handle (renderer.h), which finds it with renderer_state.
#pragma once

#include <cstdint>

#include "field/density_field.h"
#include "platform/win32/windef.h"
#include "render/device_scene.h"
#include "render/scene/camera.h"
#include "render/scene/mesh.h"
#include "render/scene/picture_options.h"

// The batches in the order they are built and drawn.
// The overlay (axes' values, height scale, status line) is drawn last, in
// screen space over the scene.
enum SceneBatch { kSurfaceBatch, kGridBatch, kMarkerBatch, kOverlayBatch, kBatchCount };

struct RendererState {
    char tag[8];
    IDirect3D9* d3d;
    IDirect3DDevice9* device;
    D3DCAPS9 caps;
    DrawBatch batches[kBatchCount];
    CameraVectors camera;
    int32_t marker_on;
    MarkerPair marker_pos;
    DensityField* field;
    FieldView view; // what is drawn of the field, read when it was handed over
    PictureOptions picture;
    // What the picture's options make of the field's nodes (malloc'd,
    // field width x height); null while the nodes are drawn as they are.
    double* heights;
    double top_weight;            // the weight of the highest node drawn: the height scale's end
    double auto_smoothing_cells;  // the width automatic smoothing chose with the heights; 0: none chosen
    char* caption;                // the data file's name; null for none
    char* axis_titles[2];         // the x and y axes' names; null: the texts' X and Y
    struct OverlayCache* overlay; // the glyph atlas, made with the first overlay
    char* readout;                // words after the status line; null for none
    char* scale_title;            // the height scale's name; null: the texts' points per cell
    int32_t band_on;
    RECT band; // the frame drawn while band_on
};

// What the renderer does with each batch (scene_batches.cpp).
struct BatchEntry {
    // Whether the batch is built from the field and drawn just now.
    bool (*shown)(const RendererState& state);
    // Rebuilds the batch from the state's field, which is not null.
    void (*build)(RendererState* state, DrawBatch* batch);
    // Drawn in screen space over the scene; rebuilt when the camera or the
    // size changes too.
    bool on_screen;
};
extern const BatchEntry kSceneBatches[kBatchCount];

// The overlay batch's build (overlay_batch.cpp); it is shown while
// axes_shown (scene_view.h).
void build_overlay(RendererState* state, DrawBatch* batch);

// RendererOps entries defined outside renderer.cpp, on the state behind
// the handle (renderer.cpp finds it, and calls none for a bad handle).
void set_field(RendererState* state, DensityField* field);
void set_marker(RendererState* state, const MarkerPair* pair);
void set_picture_options(RendererState* state, const PictureOptions* options);
void set_caption(RendererState* state, const char* name);
void set_axis_titles(RendererState* state, const char* x, const char* y);
void set_readout(RendererState* state, const char* text);
void set_band(RendererState* state, const RECT* band);
void set_scale_title(RendererState* state, const char* title);
// Rebuilds the batches drawn on screen, after a camera or size change.
void rebuild_screen_batches(RendererState* state);
// Gives back the overlay's atlas.
void release_overlay(RendererState* state);
