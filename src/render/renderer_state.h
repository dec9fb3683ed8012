// The renderer's private state and its list of batches. Only the
// renderer's own files and its tests include this.
#pragma once

#include <cstdint>

#include "render/device_scene.h"
#include "render/renderer.h"
#include "render/text/map_frame.h"

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

// The state behind a renderer handle, or null when the handle is null or
// does not carry the renderer's tag.
RendererState* renderer_state(Renderer* renderer);

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

// The overlay batch's entry (overlay_batch.cpp).
bool axes_shown(const RendererState& state);
void build_overlay(RendererState* state, DrawBatch* batch);

// RendererOps entries defined outside renderer.cpp.
void set_field(Renderer* renderer, DensityField* field);
void set_marker(Renderer* renderer, const MarkerPair* pair);
void set_picture_options(Renderer* renderer, const PictureOptions* options);
void set_caption(Renderer* renderer, const char* name);
void set_axis_titles(Renderer* renderer, const char* x, const char* y);
void set_readout(Renderer* renderer, const char* text);
void set_band(Renderer* renderer, const RECT* band);
void set_scale_title(Renderer* renderer, const char* title);
bool point_under(Renderer* renderer, int x, int y, PointUnder* point);
// The view and projection of the camera or the map, after a change of
// either, of the picture's options or of the field's range.
HRESULT apply_view(RendererState* state);
// What the scene is seen through: the map's or the camera's eye, and the
// projection for a back buffer of that size; the back buffer's size, false
// without one.
Matrix4 scene_projection(const RendererState& s, unsigned width, unsigned height);
CameraVectors scene_eye(const RendererState& s);
bool scene_size(const RendererState& s, unsigned* width, unsigned* height);
// What shapes the map's frame: the scale's foot, log axes, equal units.
MapShape scene_map_shape(const RendererState& s);
// Whether the heights are on a log scale: never for means.
bool scale_is_log(const RendererState& s);
// Rebuilds the batches drawn on screen, after a camera or size change.
void rebuild_screen_batches(RendererState* state);
// Gives back the overlay's atlas.
void release_overlay(RendererState* state);
