// Vertex formats: where the parts of a vertex lie in its bytes, decoded
// from an FVF code, and how many indices a call of primitives reads.
#pragma once

#include "platform/d3d9/d3d9types.h"

// Where the parts of a vertex lie in the stream, decoded from an FVF code.
struct VertexLayout {
    bool pretransformed = false; // D3DFVF_XYZRHW: screen x, y, z and 1/w
    bool position_w = false;     // D3DFVF_XYZW: the position carries its own w
    int diffuse_offset = -1;     // -1: opaque white
    int texcoord_offset = -1;    // the set stage 0 reads; -1: (0, 0)
    int texcoord_floats = 0;     // 1 to 4 floats in that set
    UINT bytes_read = 0;         // end of the last part the device reads
};

// Decodes the position, colour and texture-coordinate sets of an FVF code
// with the platform's encoding; `texcoord_set` is stage 0's
// D3DTSS_TEXCOORDINDEX. False for codes the device cannot draw (no position,
// blend weights, reserved bits).
bool decode_fvf(DWORD fvf, UINT texcoord_set, VertexLayout* layout);

// The size in bytes of one vertex of an FVF code, or 0 when it is not valid.
UINT fvf_vertex_size(DWORD fvf);

// Number of indices a call of `count` primitives reads, 0 for an unknown type.
UINT indices_for(D3DPRIMITIVETYPE type, UINT count);
