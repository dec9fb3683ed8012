// The scene on the device: the draw format of each of the scene's vertex
// layouts, a batch's buffers created and filled by a scene writer, a batch
// drawn within the device's limit, the fixed states every frame is drawn
// with, and the scene's matrices as the device takes them.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "render/renderer.h"
#include "render/scene/camera.h"
#include "render/scene/mesh.h"

// How a batch's vertices are read and its indices joined.
struct BatchFormat {
    DWORD fvf;
    D3DPRIMITIVETYPE type;
    int32_t indices_per_primitive;
};

// Position, colour and texture coordinates. The code's texture count says
// two sets while each vertex carries one; stage 0 reads only set 0, and
// the stream is stepped by the 24 bytes a vertex really has.
constexpr BatchFormat kSurfaceFormat{0x242, D3DPT_TRIANGLELIST, 3};
constexpr BatchFormat kGridFormat{D3DFVF_XYZ, D3DPT_LINELIST, 2};
constexpr BatchFormat kMarkerFormat{D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_LINELIST, 2};

// Drops the batch's buffers and counts; its texture and kind stay.
void empty_geometry(DrawBatch* batch);
// Gives back everything the batch holds and zeroes all its members.
void release_batch(DrawBatch* batch);
// Binds the batch's texture (or none) to stage 0, then draws the batch in
// calls of at most `max_primitives` primitives each.
void draw_batch(IDirect3DDevice9* device, const DrawBatch* batch, int32_t max_primitives);
// Largest primitive count per call as a positive signed count.
int32_t primitive_limit(const D3DCAPS9& caps);
// Render, texture-stage and sampler states, and the world transform.
void apply_fixed_states(IDirect3DDevice9* device);

inline D3DMATRIX to_device_matrix(const Matrix4& matrix)
{
    static_assert(sizeof(D3DMATRIX) == sizeof(Matrix4));
    D3DMATRIX m;
    std::memcpy(&m, &matrix, sizeof m);
    return m;
}

// Empties the batch, then, for a piece of nonzero size, creates its vertex
// and index buffers (usage 0, managed pool, 16-bit indices), locks both
// whole, lets `write(vertices, indices)` fill them in one pass, and records
// the layout and counts. On a failed step it stops with the counts 0; the
// buffers made so far stay in the batch until it is rebuilt or released.
template <class Vertex, class Write>
void upload_batch(DrawBatch* batch, IDirect3DDevice9* device, const BatchFormat& format, MeshSize size, Write write)
{
    empty_geometry(batch);
    if (size.vertices == 0)
        return;
    if (FAILED(device->CreateVertexBuffer(UINT(size.vertices * sizeof(Vertex)), 0, format.fvf, D3DPOOL_MANAGED,
                                          &batch->vertex_buffer, nullptr)) ||
        FAILED(device->CreateIndexBuffer(UINT(size.indices * sizeof(uint16_t)), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                         &batch->index_buffer, nullptr)))
        return;
    void* vertex_bits = nullptr;
    void* index_bits = nullptr;
    if (FAILED(batch->vertex_buffer->Lock(0, 0, &vertex_bits, 0)))
        return;
    if (FAILED(batch->index_buffer->Lock(0, 0, &index_bits, 0))) {
        batch->vertex_buffer->Unlock();
        return;
    }
    const bool written = write(std::span<Vertex>(static_cast<Vertex*>(vertex_bits), size.vertices),
                               std::span<uint16_t>(static_cast<uint16_t*>(index_bits), size.indices));
    batch->index_buffer->Unlock();
    batch->vertex_buffer->Unlock();
    if (!written)
        return;
    batch->stride = sizeof(Vertex);
    batch->fvf = format.fvf;
    batch->primitive_type = format.type;
    batch->indices_per_primitive = format.indices_per_primitive;
    batch->vertex_count = int32_t(size.vertices);
    batch->primitive_count = int32_t(size.indices / size_t(format.indices_per_primitive));
}
