// The scene's pieces uploaded as batches, batches emptied, released and
// drawn in pieces, and the states every frame is drawn with.
#include "render/device_scene.h"

#include <algorithm>
#include <cstdlib>
#include <span>

#include "platform/d3d9/interface_ptr.h"

namespace {

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
constexpr BatchFormat kOverlayFormat{D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLELIST, 3};

// Buffers in the managed pool with usage 0, indices of 16 bits; the layout
// and counts are recorded once the writer has filled both.
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
    batch->orders = int32_t(size.orders);
    batch->primitive_count = int32_t(size.indices / size.orders / size_t(format.indices_per_primitive));
}

D3DMATRIX identity()
{
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

} // namespace

void empty_geometry(DrawBatch* batch)
{
    release_interface(batch->vertex_buffer);
    release_interface(batch->index_buffer);
    batch->vertex_count = 0;
    batch->primitive_count = 0;
    batch->orders = 0;
}

void release_batch(DrawBatch* batch)
{
    std::free(batch->texture_file);
    release_interface(batch->vertex_buffer);
    release_interface(batch->index_buffer);
    release_interface(batch->texture);
    std::memset(batch, 0, sizeof *batch);
}

void draw_batch(IDirect3DDevice9* device, const DrawBatch* batch, int32_t max_primitives, int32_t order)
{
    // Bound before the empty test, so a batch never draws with the
    // previous batch's texture.
    device->SetTexture(0, batch->texture);
    if (batch->vertex_count == 0 || batch->primitive_count == 0)
        return;
    device->SetStreamSource(0, batch->vertex_buffer, 0, batch->stride);
    device->SetFVF(batch->fvf);
    device->SetIndices(batch->index_buffer);
    const int64_t per_order = int64_t(batch->indices_per_primitive) * batch->primitive_count;
    int64_t start = order > 0 && order < batch->orders ? order * per_order : 0;
    int32_t remaining = batch->primitive_count;
    while (remaining > 0) {
        const int32_t n = std::min(remaining, max_primitives);
        if (n <= 0)
            break; // a device that takes no primitives at all
        device->DrawIndexedPrimitive(batch->primitive_type, 0, 0, static_cast<UINT>(batch->vertex_count),
                                     static_cast<UINT>(start), static_cast<UINT>(n));
        start += int64_t(batch->indices_per_primitive) * n;
        remaining -= n;
    }
}

void draw_on_screen(IDirect3DDevice9* device, const DrawBatch* batch, int32_t max_primitives)
{
    if (batch->vertex_count == 0 || batch->primitive_count == 0)
        return;
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    draw_batch(device, batch, max_primitives);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    apply_fixed_states(device);
}

int32_t primitive_limit(const D3DCAPS9& caps)
{
    return static_cast<int32_t>(std::min<DWORD>(caps.MaxPrimitiveCount, INT32_MAX));
}

void apply_fixed_states(IDirect3DDevice9* device)
{
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, kDepthTest);
    device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    const D3DMATRIX world = identity();
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
}

void upload_surface(DrawBatch* batch, IDirect3DDevice9* device, const NodeGrid& grid, ColourMap map, bool levels)
{
    upload_batch<SurfaceVertex>(batch, device, kSurfaceFormat, surface_size(grid), [&](auto vertices, auto indices) {
        return write_surface(vertices, indices, grid, map, levels);
    });
}

void upload_grid_lines(DrawBatch* batch, IDirect3DDevice9* device, const NodeGrid& grid)
{
    upload_batch<LineVertex>(batch, device, kGridFormat, grid_lines_size(grid),
                             [&](auto vertices, auto indices) { return write_grid_lines(vertices, indices, grid); });
}

void upload_marker(DrawBatch* batch, IDirect3DDevice9* device, const NodeGrid& grid, const MarkerPair& pair)
{
    upload_batch<MarkerVertex>(batch, device, kMarkerFormat, marker_size(grid, pair), [&](auto vertices, auto indices) {
        return write_marker(vertices, indices, grid, pair);
    });
}

void upload_overlay(DrawBatch* batch, IDirect3DDevice9* device, const PictureOverlay& overlay, const GlyphAtlas& atlas)
{
    const size_t quads = overlay_quad_count(overlay);
    upload_batch<OverlayVertex>(
        batch, device, kOverlayFormat, MeshSize{4 * quads, 6 * quads},
        [&](auto vertices, auto indices) { return write_overlay(vertices, indices, overlay, atlas); });
}

void upload_atlas(DrawBatch* batch, IDirect3DDevice9* device, const GlyphAtlas& atlas)
{
    release_interface(batch->texture);
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(UINT(atlas.width), UINT(atlas.height), 1, 0, D3DFMT_A8, D3DPOOL_MANAGED, &texture,
                                     nullptr)))
        return;
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        texture->Release();
        return;
    }
    for (int y = 0; y < atlas.height; ++y)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + ptrdiff_t(y) * locked.Pitch,
                    atlas.alpha.data() + size_t(y) * size_t(atlas.width), size_t(atlas.width));
    texture->UnlockRect(0);
    batch->texture = texture;
}
