// The renderer's private state and its list of batches. Only the
// renderer's own files and its tests include this.
#pragma once

#include <cstdint>

#include "render/device_scene.h"
#include "render/renderer.h"

// The batches in the order they are built and drawn.
enum SceneBatch { kSurfaceBatch, kGridBatch, kMarkerBatch, kBatchCount };

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
    PictureOptions picture;
    // What the picture's options make of the field's nodes (malloc'd,
    // field width x height); null while the nodes are drawn as they are.
    double* heights;
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
};
extern const BatchEntry kSceneBatches[kBatchCount];

// RendererOps entries defined outside renderer.cpp.
void set_field(Renderer* renderer, DensityField* field);
void set_marker(Renderer* renderer, const MarkerPair* pair);
void set_picture_options(Renderer* renderer, const PictureOptions* options);
