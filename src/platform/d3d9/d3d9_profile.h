// The records the device and its test hook share: the profile a device is
// made with, the calls the hook counts and can make fail, and the draws it
// keeps. The device reads them here; only tests include the hook itself.
#pragma once

#include <vector>

#include "platform/d3d9/d3d9types.h"

// What a device can do, its drawing threads and its pixel loops.
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

// The calls the hook counts and can make fail.
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

// The arguments of one DrawIndexedPrimitive call.
struct D3D9IndexedDraw {
    D3DPRIMITIVETYPE type;
    INT base_vertex;
    UINT min_index;
    UINT vertex_count;
    UINT start_index;
    UINT primitive_count;
};
