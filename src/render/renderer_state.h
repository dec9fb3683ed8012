// The renderer's private state and the pieces its operations share: the
// batch helpers, the geometry builders and the camera matrices. Only the
// renderer's own files and its tests include this.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "render/renderer.h"

struct Float3 {
    float x, y, z;
};

struct RendererState {
    char tag[8];
    IDirect3D9* d3d;
    IDirect3DDevice9* device;
    D3DCAPS9 caps;
    DrawBatch surface_batch;
    DrawBatch grid_batch;
    DrawBatch marker_batch;
    Float3 eye, at, up;
    int32_t marker_on;
    MarkerPair marker_pos;
    DensityField* field;
};

// The state behind a renderer handle, or null when the handle is null or
// does not carry the renderer's tag.
RendererState* renderer_state(Renderer* renderer);

// --- batches (renderer.cpp)

// Binds the batch's texture (or none) to stage 0, then draws the batch in
// calls of at most `max_primitives` primitives each.
void draw_batch(IDirect3DDevice9* device, const DrawBatch* batch, int32_t max_primitives);
// Gives back everything the batch holds and zeroes all its members.
void release_batch(DrawBatch* batch);
// Drops the batch's buffers and counts; its texture and kind stay.
void empty_geometry(DrawBatch* batch);
// Render, texture-stage and sampler states, and the world transform.
void apply_fixed_states(RendererState* state);

// --- geometry (surface_mesh.cpp, overlays.cpp)

// A field's grid as the builders read it: width, height and nodes, asked
// for in that order. Null nodes when the field gave none.
struct NodeGrid {
    int nx, ny;
    const double* nodes;
    double at(int i, int j) const { return nodes[size_t(j) * size_t(nx) + size_t(i)]; }
};
NodeGrid read_grid(DensityField* field);

// The scene position of node column i of n (row j of n): i / (n - 1) - 0.5,
// rounded to float after the division and after the subtraction.
float node_fraction(int i, int n);
float node_position(int i, int n);

// The surface's grey level of a node value: black for exactly 0, otherwise
// 128 plus value x 127, rounded half up and held to 0..255.
D3DCOLOR node_shade(double value);

// Creates the batch's vertex and index buffers (usage 0, managed pool,
// 16-bit indices) and fills each in one pass under a whole-buffer lock,
// then records the batch's layout and counts. On a failed step it stops
// with the counts 0; the buffers made so far stay in the batch until it
// is rebuilt or released.
template <class Vertex, class FillVertices, class FillIndices>
void fill_batch(DrawBatch* batch, IDirect3DDevice9* device, DWORD fvf, D3DPRIMITIVETYPE type,
                int32_t indices_per_primitive, size_t vertex_count, size_t index_count,
                FillVertices fill_vertices, FillIndices fill_indices)
{
    if (FAILED(device->CreateVertexBuffer(UINT(vertex_count * sizeof(Vertex)), 0, fvf, D3DPOOL_MANAGED,
                                          &batch->vertex_buffer, nullptr)))
        return;
    void* bits = nullptr;
    if (FAILED(batch->vertex_buffer->Lock(0, 0, &bits, 0)))
        return;
    fill_vertices(std::span<Vertex>(static_cast<Vertex*>(bits), vertex_count));
    batch->vertex_buffer->Unlock();

    if (FAILED(device->CreateIndexBuffer(UINT(index_count * sizeof(uint16_t)), 0, D3DFMT_INDEX16,
                                         D3DPOOL_MANAGED, &batch->index_buffer, nullptr)))
        return;
    if (FAILED(batch->index_buffer->Lock(0, 0, &bits, 0)))
        return;
    fill_indices(std::span<uint16_t>(static_cast<uint16_t*>(bits), index_count));
    batch->index_buffer->Unlock();

    batch->stride = sizeof(Vertex);
    batch->fvf = fvf;
    batch->primitive_type = type;
    batch->indices_per_primitive = indices_per_primitive;
    batch->vertex_count = int32_t(vertex_count);
    batch->primitive_count = int32_t(index_count / size_t(indices_per_primitive));
}

void build_surface(DrawBatch* batch, IDirect3DDevice9* device, DensityField* field);
void build_grid_lines(DrawBatch* batch, IDirect3DDevice9* device, DensityField* field);
void build_marker(DrawBatch* batch, IDirect3DDevice9* device, DensityField* field, const MarkerPair* pair);

// RendererOps entries defined outside renderer.cpp.
void set_field(Renderer* renderer, DensityField* field);
void set_marker(Renderer* renderer, const MarkerPair* pair);
HRESULT set_camera(Renderer* renderer, const CameraSetting* camera);

// --- camera (camera.cpp)

struct CameraVectors {
    Float3 eye, at, up;
};

// The orbit of a camera setting: eye, point looked at and up direction.
CameraVectors camera_vectors(const CameraSetting& camera);
// Left-handed look-at matrix, in single precision.
D3DMATRIX build_view_matrix(Float3 eye, Float3 at, Float3 up);
// Left-handed perspective matrix from a vertical field of view in radians.
D3DMATRIX build_projection_matrix(float fov_y, float aspect, float near_plane, float far_plane);

// The renderer's projection: π/8 vertically, near 1, far 100.
constexpr float kFieldOfView = std::bit_cast<float>(0x3EC90FDBu);  // 0.39269909
constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 100.0f;
