// The device's side of the test hook: which profile a new IDirect3D9 gets,
// and whether a call is to fail.
#pragma once

#include "platform/d3d9/d3d9_test_hook.h"

// The profile set by the hook, or the default one.
D3D9Profile current_device_profile();

// Counts the call; S_OK when it is to go ahead, else the result it fails with.
HRESULT injected_failure(D3D9Call call);

// Keeps the arguments of a DrawIndexedPrimitive call for the hook.
void note_indexed_draw(const D3D9IndexedDraw& draw);
