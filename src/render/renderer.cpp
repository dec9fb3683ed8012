// The renderer object: its device on the render area, the fixed states, one
// frame of the scene's batches, the device reset on resize and the texture.
#include "render/renderer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/d3d9/interface_ptr.h"
#include "render/renderer_state.h"
#include "render/scene_view.h"
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

void release_all(RendererState* s)
{
    release_interface(s->d3d);
    release_interface(s->device);
    for (DrawBatch& batch : s->batches)
        release_batch(&batch);
    std::free(s->heights);
    s->heights = nullptr;
    release_overlay(s);
    std::free(s->caption);
    s->caption = nullptr;
    std::free(s->readout);
    s->readout = nullptr;
    std::free(s->scale_title);
    s->scale_title = nullptr;
    for (char*& title : s->axis_titles) {
        std::free(title);
        title = nullptr;
    }
}

void free_block(Renderer* renderer)
{
    std::memset(renderer, 0, sizeof(RendererBlock));
    std::free(renderer);
}

// A texture alone stands in for the shade, so a draped map shows where
// there are no points; only the surface's own texture, since the other
// batches have none and would turn white.
DWORD texture_operation(const RendererState& s, const DrawBatch& batch)
{
    const bool alone = &batch == &s.batches[kSurfaceBatch] && batch.texture && s.picture.texture_only;
    return alone ? D3DTOP_SELECTARG1 : D3DTOP_MODULATE;
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
    // Straight down every order draws the same pixels.
    const int32_t order = s->picture.map_view ? 0 : surface_order(s->camera.eye.x, s->camera.eye.y);
    for (int k = 0; k < kBatchCount; ++k) {
        if (!kSceneBatches[k].shown(*s))
            continue;
        if (kSceneBatches[k].on_screen) {
            draw_on_screen(device, &s->batches[k], limit);
        } else {
            // Straight down nothing stands over the marker, but a node's
            // steeper neighbours would cut its line up under the depth test.
            const bool over_all = s->picture.map_view && k == kMarkerBatch;
            if (over_all)
                device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
            device->SetTextureStageState(0, D3DTSS_COLOROP, texture_operation(*s, s->batches[k]));
            draw_batch(device, &s->batches[k], limit, order);
            if (over_all)
                device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        }
    }
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

    apply_fixed_states(s->device);
    apply_view(s);
    // Textures are loaded from their files again after every reset.
    for (DrawBatch& batch : s->batches) {
        release_interface(batch.texture);
        if (batch.texture_file)
            load_texture_file(s->device, batch.texture_file, &batch.texture);
    }
    rebuild_screen_batches(s);
    return 0;
}

HRESULT set_camera(Renderer* renderer, const CameraSetting* camera)
{
    RendererState* s = renderer_state(renderer);
    if (!s || !camera)
        return 0;
    s->camera = camera_vectors(*camera);
    // The framed projection follows the camera too.
    const HRESULT viewed = apply_view(s);
    rebuild_screen_batches(s);
    return viewed;
}

HRESULT set_texture(Renderer* renderer, const char* path)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return 0;
    DrawBatch& surface = s->batches[kSurfaceBatch];
    std::free(surface.texture_file);
    surface.texture_file = nullptr;
    if (path) {
        const size_t bytes = std::strlen(path) + 1;
        surface.texture_file = static_cast<char*>(std::malloc(bytes));
        if (surface.texture_file)
            std::memcpy(surface.texture_file, path, bytes);
    }
    release_interface(surface.texture);
    if (!surface.texture_file)
        return S_OK;
    return load_texture_file(s->device, surface.texture_file, &surface.texture);
}

// An entry of the handle made from one on the state: it finds the state
// behind the handle, and a handle without one does nothing (false for
// point_under).
template <auto entry>
struct OnState;

template <class Result, class... Args, Result (*entry)(RendererState*, Args...)>
struct OnState<entry> {
    static Result call(Renderer* renderer, Args... args)
    {
        RendererState* s = renderer_state(renderer);
        if (!s)
            return Result();
        return entry(s, args...);
    }
};

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
    renderer->ops = RendererOps{destroy,
                                render,
                                resize,
                                set_camera,
                                OnState<set_field>::call,
                                set_texture,
                                OnState<set_marker>::call,
                                OnState<set_picture_options>::call,
                                OnState<set_caption>::call,
                                OnState<set_axis_titles>::call,
                                OnState<point_under>::call,
                                OnState<set_readout>::call,
                                OnState<set_band>::call,
                                OnState<set_scale_title>::call};
    std::memcpy(s->tag, kTag, sizeof kTag);
    s->picture = PictureOptions{};

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
    apply_fixed_states(s->device);
    apply_view(s);
    return renderer;
}
