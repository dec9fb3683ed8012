// Test hook of the software device: other capability/format profiles, and
// chosen calls made to fail, so that every failure path of the callers can be
// driven. Normal code never includes this header; without it the device
// behaves as the default profile describes.
//
// The hook is process-wide and not synchronised: set it up from the test's
// thread while no device is drawing.
#pragma once

#include <vector>

#include "platform/d3d9/d3d9types.h"

struct D3D9Profile {
    DWORD texture_caps;             // D3DCAPS9::TextureCaps
    DWORD max_texture_width;        // D3DCAPS9::MaxTextureWidth
    DWORD max_texture_height;       // D3DCAPS9::MaxTextureHeight
    DWORD max_texture_aspect_ratio; // D3DCAPS9::MaxTextureAspectRatio
    DWORD max_primitive_count;      // D3DCAPS9::MaxPrimitiveCount
    // Texture formats CheckDeviceFormat and CreateTexture accept.
    std::vector<D3DFORMAT> texture_formats;
    // Extra bytes after every row of a locked texture level or surface, so
    // that tests catch code that assumes rows lie packed.
    UINT pitch_padding;
    // Threads that draw one frame, the caller's included: 0 lets the device
    // choose (one per core for large draws, fewer while other programs
    // hold the cores), 1 draws on the caller's thread only, N >= 2 splits
    // every draw, even the smallest, across N threads, whatever the cores.
    UINT raster_threads;
    // Microseconds each drawing worker sleeps before each piece of a draw
    // it takes on, as when other programs hold the cores.
    UINT raster_worker_delay_us;
    // Pixels of a triangle shaded at once: 8 (AVX2, where the processor has
    // it, else 4), 4 (SSE2), or 1, one at a time, the reference the lanes
    // are tested against.
    UINT raster_lanes;
    // Whether a draw drops a triangle hidden behind the depths already
    // stored before setting it up; the pixels are the same either way. Off,
    // every triangle is drawn through: the reference for the dropping.
    bool depth_tiles;

    void remove_format(D3DFORMAT format);
};

// The profile of a device made without the hook: MIPMAP texture caps, 4096 x
// 4096 textures, aspect ratio 4096, 0xFFFFF primitives per call, the formats
// listed in d3d9_default_texture_formats, no pitch padding, the device's
// own choice of drawing threads, no worker delay, eight lanes.
D3D9Profile d3d9_default_profile();

// Every IDirect3D9 created after this call (and the devices made from it)
// gets this profile.
void d3d9_test_set_profile(const D3D9Profile& profile);

enum class D3D9Call {
    Direct3DCreate9,
    GetAdapterDisplayMode,
    CreateDevice,
    Reset,
    Present,
    GetBackBuffer,
    GetDisplayMode,
    GetDirect3D,
    CreateVertexBuffer,
    CreateIndexBuffer,
    VertexBufferLock,
    IndexBufferLock,
    CreateTexture,
    GetSurfaceLevel,
    LockRect, // texture and surface LockRect alike
    DrawIndexedPrimitive,
    GetDeviceCaps, // the device's, not IDirect3D9's
    CheckDeviceFormat,
    Count
};

// Makes calls of one kind fail: `skip` calls still succeed, then `times`
// calls fail with `result` (times 0: every later call fails). The failed call
// does nothing else; output pointers are set to null where the platform does.
// Direct3DCreate9 fails by returning null. A new arming replaces the last one
// for the same kind.
void d3d9_test_fail(D3D9Call call, UINT skip = 0, UINT times = 1, HRESULT result = D3DERR_INVALIDCALL);

// Number of calls of this kind made since the last d3d9_test_reset, failed
// ones included.
UINT d3d9_test_call_count(D3D9Call call);

// The arguments of one DrawIndexedPrimitive call.
struct D3D9IndexedDraw {
    D3DPRIMITIVETYPE type;
    INT base_vertex;
    UINT min_index;
    UINT vertex_count;
    UINT start_index;
    UINT primitive_count;
};

// The last DrawIndexedPrimitive calls (at most 64) since the last
// d3d9_test_reset, failed ones included, oldest first.
std::vector<D3D9IndexedDraw> d3d9_test_indexed_draws();

// Drawing worker threads alive in the process, all devices together: a
// device drawing on N threads keeps N - 1 of them from its first split
// draw until it is released.
UINT d3d9_test_live_workers();

// Back to the default profile, no armed failures, all counts 0.
void d3d9_test_reset();
