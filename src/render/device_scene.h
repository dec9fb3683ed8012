// The scene on the device: the scene's pieces uploaded as batches, a batch
// drawn within the device's limit, the fixed states every frame is drawn
// with, and the scene's matrices as the device takes them.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/d3d9/d3d9.h"
#include "render/scene/camera.h"
#include "render/scene/mesh.h"
#include "render/text/picture_overlay.h"

// One drawable piece of geometry.
struct DrawBatch {
    IDirect3DVertexBuffer9* vertex_buffer;
    IDirect3DIndexBuffer9* index_buffer;
    IDirect3DTexture9* texture;
    char* texture_file;
    uint32_t stride;
    uint32_t fvf;
    D3DPRIMITIVETYPE primitive_type;
    int32_t indices_per_primitive;
    int32_t vertex_count;
    int32_t primitive_count; // in one order
    int32_t orders;          // runs of the same primitives in other orders; 0 or 1: one
};

// Drops the batch's buffers and counts; its texture and kind stay.
void empty_geometry(DrawBatch* batch);
// Gives back everything the batch holds and zeroes all its members.
void release_batch(DrawBatch* batch);
// Binds the batch's texture (or none) to stage 0, then draws the batch in
// calls of at most `max_primitives` primitives each.
// `order` picks one of a batch's orders; a batch of one order ignores it.
void draw_batch(IDirect3DDevice9* device, const DrawBatch* batch, int32_t max_primitives, int32_t order = 0);
// draw_batch for a batch of screen-space quads over the scene: no depth
// test, alpha blended, the colour from the vertices and the alpha from the
// texture times theirs, texels by point. The fixed states are back after.
// An empty batch changes no state.
void draw_on_screen(IDirect3DDevice9* device, const DrawBatch* batch, int32_t max_primitives);
// Largest primitive count per call as a positive signed count.
int32_t primitive_limit(const D3DCAPS9& caps);
// Render, texture-stage and sampler states, and the world transform.
void apply_fixed_states(IDirect3DDevice9* device);

// The depth test every frame is drawn with: a pixel is written where its
// depth, rounded to the 16 bits the depth buffer holds, is less than or
// equal to the one stored. Of two triangles at equal stored depth the one
// drawn last wins the pixel, so the order the surface's cells are drawn in
// decides such pixels, and only those.
inline constexpr DWORD kDepthTest = D3DCMP_LESSEQUAL;

inline D3DMATRIX to_device_matrix(const Matrix4& matrix)
{
    static_assert(sizeof(D3DMATRIX) == sizeof(Matrix4));
    D3DMATRIX m;
    std::memcpy(&m, &matrix, sizeof m);
    return m;
}

// The scene's pieces as batches: each emptied, then, where the grid (and
// the pair) allow the piece, its buffers created and filled by the piece's
// writer in one pass under whole-buffer locks. On a failed step the counts
// stay 0; the buffers made so far stay until the batch is rebuilt or released.
void upload_surface(DrawBatch* batch, IDirect3DDevice9* device, const NodeGrid& grid, ColourMap map = ColourMap::grey,
                    bool levels = false);
void upload_grid_lines(DrawBatch* batch, IDirect3DDevice9* device, const NodeGrid& grid);
void upload_marker(DrawBatch* batch, IDirect3DDevice9* device, const NodeGrid& grid, const MarkerPair& pair);
void upload_overlay(DrawBatch* batch, IDirect3DDevice9* device, const PictureOverlay& overlay, const GlyphAtlas& atlas);
// The atlas as an A8 texture in the batch, replacing the one it held;
// none when it cannot be made.
void upload_atlas(DrawBatch* batch, IDirect3DDevice9* device, const GlyphAtlas& atlas);
