// The nine file decoders behind decode_image, and the helpers they share.
// Each decoder either fills the image and returns S_OK, or returns a failure
// (E_FAIL: not its format or damaged; E_OUTOFMEMORY: too big or no memory)
// and leaves behind only allocations recorded in the image, which
// decode_image frees. The image arrives empty with want_pixels set.
// A decoder that recognises its format and still refuses the bytes writes
// why into `reason`, without naming the format (decode_image adds that);
// bytes that are not its format leave the reason empty. E_OUTOFMEMORY
// without a reason means an allocation failed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "texture/decoders/decode_reason.h"
#include "texture/decoders/decoded_image.h"

HRESULT decode_bmp(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);
HRESULT decode_dib(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);
HRESULT decode_ppm(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);
HRESULT decode_dds(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);
HRESULT decode_jpeg(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);
HRESULT decode_png(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);
HRESULT decode_pfm(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);
HRESULT decode_hdr(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);
HRESULT decode_tga(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);

// The bitmap decoder behind both BMP and DIB, for bytes already known to be
// a bitmap: every refusal comes with a reason.
HRESULT decode_bitmap(DecodedImage* image, const BYTE* bytes, size_t size, DecodeReason* reason);

// Writes the reason and returns `hr`, so that a refusal is one statement:
// return refuse(reason, E_FAIL, "compression %u is not supported", compression);
HRESULT refuse(DecodeReason* reason, HRESULT hr, const char* format, ...) __attribute__((format(printf, 3, 4)));

// height x row_pitch, the bytes of a decoded image width pixels wide, into
// *total: S_OK when they fit the ceiling on one decoded image, else
// E_OUTOFMEMORY with the reason.
HRESULT decoded_image_size(uint64_t width, uint64_t height, uint64_t row_pitch, uint64_t* total, DecodeReason* reason);

// Describes a two-dimensional image: format, size, depth 1, row pitch and
// the texture resource type.
void describe_image(DecodedImage* image, D3DFORMAT format, UINT width, UINT height, UINT row_pitch);

// A zero-filled pixel buffer of `size` bytes owned by the image; null when
// memory is exhausted. Callers check the size against the ceiling first.
BYTE* allocate_image_pixels(DecodedImage* image, size_t size);

// A 256-entry palette owned by the image, every entry white and opaque.
BYTE* allocate_image_palette(DecodedImage* image);
