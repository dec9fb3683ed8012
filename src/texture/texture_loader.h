// An image file turned into a mip-mapped texture the device supports.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "texture/decoders/decode_reason.h"

// Loads the file at `path` into a new managed texture on `device`: size
// rounded up to powers of two, format from the image (or the closest the
// device takes), every level filled. S_OK stores the texture, holding one
// reference, in *texture_out; on failure *texture_out is left as it was.
// Results: D3DERR_INVALIDCALL for a missing path, device or texture_out or
// an empty file; E_INVALID_IMAGE_DATA when the file cannot be read or
// decoded; D3DERR_NOTAVAILABLE when the device takes no suitable format;
// otherwise the failing device call's result. `reason`, when given, says why
// the decoders refused the file; it stays empty for every other result.
HRESULT load_texture_file(IDirect3DDevice9* device, const char* path, IDirect3DTexture9** texture_out,
                          DecodeReason* reason = nullptr);
