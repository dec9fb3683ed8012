// The software IDirect3DDevice9: its presentation buffers, its states, the
// resources made from it and the drawing calls.
#pragma once

#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_profile.h"
#include "platform/d3d9/draw_pipeline.h"
#include "platform/d3d9/resource_owner.h"
#include "platform/d3d9/resources.h"

// Every state a caller can set, with the platform's defaults.
struct DeviceStates {
    static constexpr DWORD kRenderStates = 210;
    static constexpr DWORD kStages = 8;
    static constexpr DWORD kStageStates = 33;
    static constexpr DWORD kSamplers = 16;
    static constexpr DWORD kSamplerStates = 14;
    static constexpr DWORD kWorldMatrices = 256;

    DWORD render[kRenderStates];
    DWORD stage[kStages][kStageStates];
    DWORD sampler[kSamplers][kSamplerStates];
    D3DMATRIX view, projection;
    D3DMATRIX texture[8];
    D3DMATRIX world[kWorldMatrices];
    D3DVIEWPORT9 viewport;
    DWORD fvf;

    // Defaults for a device with (or without) an automatic depth buffer
    // and a back buffer of the given size.
    void set_defaults(bool depth_buffer, UINT width, UINT height);
};

// Whether a render-state or stage-state number names a known state.
bool known_render_state(DWORD state);
bool known_stage_state(DWORD state);

class SoftDevice final : public ResourceOwner {
public:
    // Checks the arguments and makes the device; a platform result on failure.
    static HRESULT create(IDirect3D9* d3d, const D3D9Profile& profile, const D3DCAPS9& caps, HWND focus_window,
                          DWORD behavior_flags, D3DPRESENT_PARAMETERS* params, SoftDevice** out);

    HRESULT TestCooperativeLevel() override;
    HRESULT GetDirect3D(IDirect3D9** ppD3D9) override;
    HRESULT GetDeviceCaps(D3DCAPS9* pCaps) override;
    HRESULT GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const RGNDATA* pDirtyRegion) override;
    HRESULT GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                          IDirect3DSurface9** ppBackBuffer) override;
    HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                          IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) override;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) override;
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) override;
    HRESULT GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* pViewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* pViewport) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override;
    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
    HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                 UINT NumVertices, UINT startIndex, UINT primCount) override;
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT GetFVF(DWORD* pFVF) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                            UINT Stride) override;
    HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                            UINT* pStride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** ppIndexData) override;

    void settle_clear() override;

private:
    SoftDevice(IDirect3D9* d3d, const D3D9Profile& profile, const D3DCAPS9& caps, HWND focus_window);
    ~SoftDevice();
    void on_release(ULONG left) override;

    // Validates the parameters and makes the back and depth buffers.
    HRESULT set_up_presentation(D3DPRESENT_PARAMETERS* params);
    void release_presentation();
    void unbind_all();
    bool drawable() const { return usable_ && in_scene_; }
    HRESULT draw(const DrawCall& call);
    HRESULT prepare_draw(D3DPRIMITIVETYPE type, UINT count, DrawCall* call);
    uint32_t threads_for(UINT primitives) const;
    // A rectangle of the buffers to clear, and to what; no flags, nothing.
    struct ClearArea {
        DWORD flags = 0;
        uint32_t colour = 0;
        uint16_t depth = 0;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    };
    // Clears the area's part of rows [first, end).
    void clear_rows(const ClearArea& area, int first, int end);

    IDirect3D9* d3d_;
    D3D9Profile profile_;
    D3DCAPS9 caps_;
    HWND focus_window_;
    HWND device_window_ = nullptr;
    D3DPRESENT_PARAMETERS params_{};

    std::unique_ptr<SoftSurface> back_buffer_;
    std::unique_ptr<SoftSurface> depth_buffer_;
    // Buffers replaced by Reset while a caller still held them.
    std::vector<std::unique_ptr<SoftSurface>> retired_;
    bool usable_ = false; // false after a failed Reset
    bool in_scene_ = false;
    // The last large clear, until the next draw or settle_clear does it.
    ClearArea put_off_clear_;

    DeviceStates states_;
    SoftTexture* textures_[16] = {};
    SoftVertexBuffer* stream_ = nullptr;
    UINT stream_offset_ = 0;
    UINT stream_stride_ = 0;
    SoftIndexBuffer* indices_ = nullptr;
    TextureSampler sampler_;

    DrawPipeline pipeline_;
};
