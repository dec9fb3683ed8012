// The nine file decoders behind decode_image, and the allocation helpers they
// share. Each decoder either fills the image and returns S_OK, or returns a
// failure (E_FAIL: not its format or damaged; E_OUTOFMEMORY: too big or no
// memory) and leaves behind only allocations recorded in the image, which
// decode_image frees. The image arrives empty with want_pixels set.
#pragma once

#include <cstddef>

#include "texture/decoders/decoded_image.h"

HRESULT decode_bmp(DecodedImage* image, const BYTE* bytes, size_t size);
HRESULT decode_dib(DecodedImage* image, const BYTE* bytes, size_t size);
HRESULT decode_ppm(DecodedImage* image, const BYTE* bytes, size_t size);
HRESULT decode_dds(DecodedImage* image, const BYTE* bytes, size_t size);
HRESULT decode_jpeg(DecodedImage* image, const BYTE* bytes, size_t size);
HRESULT decode_png(DecodedImage* image, const BYTE* bytes, size_t size);
HRESULT decode_pfm(DecodedImage* image, const BYTE* bytes, size_t size);
HRESULT decode_hdr(DecodedImage* image, const BYTE* bytes, size_t size);
HRESULT decode_tga(DecodedImage* image, const BYTE* bytes, size_t size);

// A zero-filled pixel buffer of `size` bytes owned by the image; null when
// memory is exhausted. Callers check the size against the ceiling first.
BYTE* allocate_image_pixels(DecodedImage* image, size_t size);

// Describes a two-dimensional image of four floats per pixel (PFM, HDR).
void describe_float_image(DecodedImage* image, UINT width, UINT height, DWORD file_format);

// A 256-entry palette owned by the image, every entry white and opaque.
BYTE* allocate_image_palette(DecodedImage* image);
