// The device's side of the test hook: which profile a new IDirect3D9 gets,
// and whether a call is to fail.
#pragma once

#include "platform/d3d9/d3d9_profile.h"

// The profile set by the hook, or the default one with the threads of
// d3d9_set_drawing_threads.
D3D9Profile current_device_profile();

// Threads a device of this profile draws with, the caller's included: the
// profile's number, or one per core when that is 0.
uint32_t drawing_threads(const D3D9Profile& profile);

// Counts the call; S_OK when it is to go ahead, else the result it fails with.
HRESULT injected_failure(D3D9Call call);

// What a call hands back is cleared before anything else, as the platform
// does: a pointer to null, a locked rectangle to no bits.
template <class Object>
void clear_output(Object** out)
{
    if (out) {
        *out = nullptr;
    }
}

inline void clear_output(D3DLOCKED_RECT* locked)
{
    if (locked) {
        locked->pBits = nullptr;
        locked->Pitch = 0;
    }
}

// The prologue of a call with an output: counted, the output cleared, and
// the result it fails with (S_OK to go ahead).
template <class Output>
HRESULT injected_failure(D3D9Call call, Output* output)
{
    const HRESULT result = injected_failure(call);
    clear_output(output);
    return result;
}

// Keeps the arguments of a DrawIndexedPrimitive call for the hook.
void note_indexed_draw(const D3D9IndexedDraw& draw);
