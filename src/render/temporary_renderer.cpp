// TEMPORARY: a device on the render area that clears to grey; the other
// operations do nothing. Replaced by the real renderer.
#include "render/renderer.h"

#include <cstring>
#include <new>

struct RendererState {
    IDirect3D9* d3d;
    IDirect3DDevice9* device;
};

namespace {

void destroy(Renderer* r)
{
    if (!r)
        return;
    if (r->state->device)
        r->state->device->Release();
    if (r->state->d3d)
        r->state->d3d->Release();
    delete r->state;
    delete r;
}

HRESULT render(Renderer* r)
{
    IDirect3DDevice9* d = r->state->device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
    return d->Present(nullptr, nullptr, nullptr, nullptr);
}

HRESULT resize(Renderer* r, HWND window, int width, int height)
{
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof pp);
    pp.BackBufferWidth = static_cast<UINT>(width);
    pp.BackBufferHeight = static_cast<UINT>(height);
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    return r->state->device->Reset(&pp);
}

HRESULT set_camera(Renderer*, const CameraSetting*) { return 0; }
void set_field(Renderer*, DensityField*) {}
HRESULT set_texture(Renderer*, const char*) { return 0; }
void set_marker(Renderer*, const MarkerPair*) {}

} // namespace

Renderer* create_renderer(HWND window)
{
    auto* r = new Renderer{new RendererState{}, {destroy, render, resize, set_camera, set_field, set_texture, set_marker}};
    r->state->d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DDISPLAYMODE mode;
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof pp);
    if (r->state->d3d && r->state->d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode) >= 0) {
        pp.BackBufferFormat = mode.Format;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        if (r->state->d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                        &pp, &r->state->device) >= 0)
            return r;
    }
    destroy(r);
    return nullptr;
}
