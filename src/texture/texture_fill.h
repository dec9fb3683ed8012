// Filling the levels of a texture: one level from a decoded image, converted
// and resampled into the level's format and size, and the smaller mip levels
// from the larger ones.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "texture/decoders/decoded_image.h"

// Filter words: the kind in the low 16 bits, flags above.
enum : DWORD {
    TEXTURE_FILTER_NONE = 1,
    TEXTURE_FILTER_POINT = 2,
    TEXTURE_FILTER_LINEAR = 3,
    TEXTURE_FILTER_TRIANGLE = 4,
    TEXTURE_FILTER_BOX = 5,
    TEXTURE_FILTER_CLAMP_U = 0x10000,           // cut at the left and right edges instead of wrapping
    TEXTURE_FILTER_CLAMP_V = 0x20000,           // likewise at the top and bottom
    TEXTURE_FILTER_CLAMP_W = 0x40000,           // likewise front and back (volumes)
    TEXTURE_FILTER_DITHER = 0x80000,            // ordered 4 x 4 dither when quantising
    TEXTURE_FILTER_DITHER_DIFFUSION = 0x100000, // error diffusion when quantising
    TEXTURE_FILTER_SRGB_IN = 0x200000,          // handed to the source codec
    TEXTURE_FILTER_SRGB_OUT = 0x400000,         // handed to the destination codec
};

// Fills the whole destination level from the image's region. Results: S_OK;
// D3DERR_INVALIDCALL for a bad filter word; E_FAIL when either format has no
// codec; E_OUTOFMEMORY when scratch rows cannot be had; a device call's own
// failure.
HRESULT load_surface_from_image(IDirect3DSurface9* surface, const DecodedImage* image, DWORD filter,
                                D3DCOLOR color_key);

// Fills every level after start_level, each from the one above it (box or
// point) or from start_level itself (any other filter). A failure leaves the
// levels written so far.
HRESULT generate_mip_levels(IDirect3DTexture9* texture, UINT start_level, DWORD filter);
