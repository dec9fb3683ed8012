// Batches on the device: emptied, released and drawn in pieces, and the
// states every frame is drawn with.
#include "render/device_scene.h"

#include <algorithm>
#include <cstdlib>

namespace {

template <class Interface>
void release(Interface*& pointer)
{
    if (pointer) {
        pointer->Release();
        pointer = nullptr;
    }
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
    release(batch->vertex_buffer);
    release(batch->index_buffer);
    batch->vertex_count = 0;
    batch->primitive_count = 0;
}

void release_batch(DrawBatch* batch)
{
    std::free(batch->texture_file);
    release(batch->vertex_buffer);
    release(batch->index_buffer);
    release(batch->texture);
    std::memset(batch, 0, sizeof *batch);
}

void draw_batch(IDirect3DDevice9* device, const DrawBatch* batch, int32_t max_primitives)
{
    // Bound before the empty test, so a batch never draws with the
    // previous batch's texture.
    device->SetTexture(0, batch->texture);
    if (batch->vertex_count == 0 || batch->primitive_count == 0)
        return;
    device->SetStreamSource(0, batch->vertex_buffer, 0, batch->stride);
    device->SetFVF(batch->fvf);
    device->SetIndices(batch->index_buffer);
    int64_t start = 0;
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

int32_t primitive_limit(const D3DCAPS9& caps)
{
    return static_cast<int32_t>(std::min<DWORD>(caps.MaxPrimitiveCount, INT32_MAX));
}

void apply_fixed_states(IDirect3DDevice9* device)
{
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
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
