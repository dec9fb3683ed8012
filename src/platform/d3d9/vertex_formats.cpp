#include "platform/d3d9/vertex_formats.h"

#include <algorithm>

bool decode_fvf(DWORD fvf, UINT texcoord_set, VertexLayout* layout)
{
    if (fvf & (D3DFVF_RESERVED0 | 0x2000)) {
        return false;
    }
    UINT offset = 0;
    VertexLayout result;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZW) {
        result.position_w = true;
        offset = 16;
    } else if (fvf & 0x4000) {
        return false;
    } else if (position == D3DFVF_XYZRHW) {
        result.pretransformed = true;
        offset = 16;
    } else if (position == D3DFVF_XYZ || (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5)) {
        // Blend weights follow the position; without vertex blending they are skipped.
        offset = 12 + (position == D3DFVF_XYZ ? 0 : (position - D3DFVF_XYZRHW) / 2 * 4);
    } else {
        return false;
    }
    UINT read_end = position == D3DFVF_XYZW || result.pretransformed ? 16 : 12;
    if (fvf & D3DFVF_NORMAL) {
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        result.diffuse_offset = static_cast<int>(offset);
        offset += 4;
        read_end = offset;
    }
    if (fvf & D3DFVF_SPECULAR) {
        offset += 4;
    }
    const UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets > 8) {
        return false;
    }
    for (UINT set = 0; set < sets; ++set) {
        static constexpr int kFloats[4] = {2, 3, 4, 1};
        const int floats = kFloats[(fvf >> (16 + 2 * set)) & 3];
        if (set == texcoord_set) {
            result.texcoord_offset = static_cast<int>(offset);
            result.texcoord_floats = floats;
            read_end = offset + 4 * static_cast<UINT>(std::min(floats, 2));
        }
        offset += 4 * static_cast<UINT>(floats);
    }
    result.bytes_read = read_end;
    *layout = result;
    return true;
}

UINT fvf_vertex_size(DWORD fvf)
{
    if (fvf & (D3DFVF_RESERVED0 | 0x2000)) {
        return 0;
    }
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    UINT size;
    if (position == D3DFVF_XYZW || position == D3DFVF_XYZRHW) {
        size = 16;
    } else if (fvf & 0x4000) {
        return 0;
    } else if (position == D3DFVF_XYZ || (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5)) {
        size = 12 + (position == D3DFVF_XYZ ? 0 : (position - D3DFVF_XYZRHW) / 2 * 4);
    } else {
        return 0;
    }
    size += (fvf & D3DFVF_NORMAL) ? 12 : 0;
    size += (fvf & D3DFVF_PSIZE) ? 4 : 0;
    size += (fvf & D3DFVF_DIFFUSE) ? 4 : 0;
    size += (fvf & D3DFVF_SPECULAR) ? 4 : 0;
    const UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets > 8) {
        return 0;
    }
    for (UINT set = 0; set < sets; ++set) {
        static constexpr UINT kBytes[4] = {8, 12, 16, 4};
        size += kBytes[(fvf >> (16 + 2 * set)) & 3];
    }
    return size;
}

UINT indices_for(D3DPRIMITIVETYPE type, UINT count)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count * 2;
    case D3DPT_LINESTRIP:
        return count + 1;
    case D3DPT_TRIANGLELIST:
        return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    default:
        return 0;
    }
}
