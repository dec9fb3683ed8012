// Test hook of the software device: other capability/format profiles, and
// chosen calls made to fail, so that every failure path of the callers can be
// driven. Normal code never includes this header; without it the device
// behaves as the default profile describes.
//
// The hook is process-wide and not synchronised: set it up from the test's
// thread while no device is drawing.
#pragma once

#include <vector>

#include "platform/d3d9/d3d9_profile.h"
#include "platform/d3d9/d3d9types.h"

// The profile of a device made without the hook: MIPMAP texture caps, 4096 x
// 4096 textures, aspect ratio 4096, 0xFFFFF primitives per call, the formats
// listed in d3d9_default_texture_formats, no pitch padding, the device's
// own choice of drawing threads, no worker delay, eight lanes.
D3D9Profile d3d9_default_profile();

// Every IDirect3D9 created after this call (and the devices made from it)
// gets this profile.
void d3d9_test_set_profile(const D3D9Profile& profile);

// Makes calls of one kind fail: `skip` calls still succeed, then `times`
// calls fail with `result` (times 0: every later call fails). The failed call
// does nothing else; output pointers are set to null where the platform does.
// Direct3DCreate9 fails by returning null. A new arming replaces the last one
// for the same kind.
void d3d9_test_fail(D3D9Call call, UINT skip = 0, UINT times = 1, HRESULT result = D3DERR_INVALIDCALL);

// Number of calls of this kind made since the last d3d9_test_reset, failed
// ones included.
UINT d3d9_test_call_count(D3D9Call call);

// The last DrawIndexedPrimitive calls (at most 64) since the last
// d3d9_test_reset, failed ones included, oldest first.
std::vector<D3D9IndexedDraw> d3d9_test_indexed_draws();

// Drawing worker threads alive in the process, all devices together: a
// device drawing on N threads keeps N - 1 of them from its first split
// draw until it is released.
UINT d3d9_test_live_workers();

// Back to the default profile, no armed failures, all counts 0.
void d3d9_test_reset();
