// The renderer object: its device on the render area, the fixed states, one
// frame of the three batches, the device reset on resize and the texture.
#include "render/renderer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "render/renderer_state.h"
#include "texture/texture_loader.h"

namespace {

constexpr char kTag[8] = {'D', 'i', 'r', 'e', 'c', 't', '3', 'D'};
constexpr UINT kSdkVersion = 31;
constexpr D3DCOLOR kBackground = 0xFF808080;

// The record and its state live in one zero-filled block.
struct RendererBlock {
    Renderer renderer;
    RendererState state;
};

template <class Interface>
void release(Interface*& pointer)
{
    if (pointer) {
        pointer->Release();
        pointer = nullptr;
    }
}

void release_all(RendererState* s)
{
    release(s->d3d);
    release(s->device);
    release_batch(&s->surface_batch);
    release_batch(&s->grid_batch);
    release_batch(&s->marker_batch);
}

void free_block(Renderer* renderer)
{
    std::memset(renderer, 0, sizeof(RendererBlock));
    std::free(renderer);
}

// The projection for the current back buffer. Without a back buffer (or
// its size) there is nothing to take the aspect from, so the projection is
// left as it was.
void set_projection(IDirect3DDevice9* device)
{
    IDirect3DSurface9* back_buffer = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back_buffer)) || !back_buffer)
        return;
    D3DSURFACE_DESC desc;
    const HRESULT described = back_buffer->GetDesc(&desc);
    back_buffer->Release();
    if (FAILED(described) || desc.Width == 0 || desc.Height == 0)
        return;
    const float aspect = static_cast<float>(desc.Width) / static_cast<float>(desc.Height);
    const D3DMATRIX projection = build_projection_matrix(kFieldOfView, aspect, kNearPlane, kFarPlane);
    device->SetTransform(D3DTS_PROJECTION, &projection);
}

D3DMATRIX identity()
{
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// Largest primitive count per call as a positive signed count.
int32_t primitive_limit(const D3DCAPS9& caps)
{
    return static_cast<int32_t>(std::min<DWORD>(caps.MaxPrimitiveCount, INT32_MAX));
}

void destroy(Renderer* renderer)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return;
    release_all(s);
    free_block(renderer);
}

HRESULT render(Renderer* renderer)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return 0;
    IDirect3DDevice9* device = s->device;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
    device->BeginScene();
    const int32_t limit = primitive_limit(s->caps);
    draw_batch(device, &s->surface_batch, limit);
    draw_batch(device, &s->grid_batch, limit);
    if (s->marker_on)
        draw_batch(device, &s->marker_batch, limit);
    device->EndScene();
    return device->Present(nullptr, nullptr, nullptr, nullptr);
}

HRESULT resize(Renderer* renderer, HWND window, int width, int height)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return 0;
    D3DPRESENT_PARAMETERS params;
    std::memset(&params, 0, sizeof params);
    params.BackBufferWidth = static_cast<UINT>(width);
    params.BackBufferHeight = static_cast<UINT>(height);
    params.BackBufferFormat = D3DFMT_UNKNOWN;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = window;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    const HRESULT reset = s->device->Reset(&params);
    if (FAILED(reset))
        return reset;

    apply_fixed_states(s);
    const D3DMATRIX view = build_view_matrix(s->eye, s->at, s->up);
    s->device->SetTransform(D3DTS_VIEW, &view);
    set_projection(s->device);
    // Textures are loaded from their files again after every reset.
    for (DrawBatch* batch : {&s->surface_batch, &s->grid_batch, &s->marker_batch}) {
        release(batch->texture);
        if (batch->texture_file)
            load_texture_file(s->device, batch->texture_file, &batch->texture);
    }
    return 0;
}

HRESULT set_texture(Renderer* renderer, const char* path)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return 0;
    DrawBatch& surface = s->surface_batch;
    std::free(surface.texture_file);
    surface.texture_file = nullptr;
    if (path) {
        const size_t bytes = std::strlen(path) + 1;
        surface.texture_file = static_cast<char*>(std::malloc(bytes));
        if (surface.texture_file)
            std::memcpy(surface.texture_file, path, bytes);
    }
    release(surface.texture);
    if (!surface.texture_file)
        return S_OK;
    return load_texture_file(s->device, surface.texture_file, &surface.texture);
}

// Any failure after the block exists gives back what was acquired.
Renderer* fail_creation(Renderer* renderer)
{
    release_all(renderer->state);
    free_block(renderer);
    return nullptr;
}

} // namespace

RendererState* renderer_state(Renderer* renderer)
{
    if (!renderer || !renderer->state || std::memcmp(renderer->state->tag, kTag, sizeof kTag) != 0)
        return nullptr;
    return renderer->state;
}

Renderer* create_renderer(HWND window)
{
    auto* block = static_cast<RendererBlock*>(std::calloc(1, sizeof(RendererBlock)));
    if (!block)
        return nullptr;
    Renderer* renderer = &block->renderer;
    RendererState* s = &block->state;
    renderer->state = s;
    renderer->ops = RendererOps{destroy, render, resize, set_camera, set_field, set_texture, set_marker};
    std::memcpy(s->tag, kTag, sizeof kTag);

    s->d3d = Direct3DCreate9(kSdkVersion);
    if (!s->d3d)
        return fail_creation(renderer);
    D3DDISPLAYMODE mode;
    if (FAILED(s->d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)))
        return fail_creation(renderer);

    // Zero size: the device takes the window's client area.
    D3DPRESENT_PARAMETERS params;
    std::memset(&params, 0, sizeof params);
    params.BackBufferFormat = mode.Format;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    if (FAILED(s->d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                    &params, &s->device)))
        return fail_creation(renderer);

    s->device->GetDeviceCaps(&s->caps);
    apply_fixed_states(s);
    set_projection(s->device);
    return renderer;
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

void release_batch(DrawBatch* batch)
{
    std::free(batch->texture_file);
    release(batch->vertex_buffer);
    release(batch->index_buffer);
    release(batch->texture);
    std::memset(batch, 0, sizeof *batch);
}

void empty_geometry(DrawBatch* batch)
{
    release(batch->vertex_buffer);
    release(batch->index_buffer);
    batch->vertex_count = 0;
    batch->primitive_count = 0;
}

void apply_fixed_states(RendererState* s)
{
    IDirect3DDevice9* device = s->device;
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
