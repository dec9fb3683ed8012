// One decoded image level as the decoders hand it to the texture loader:
// pixel format, the pixel rows, the palette of palettised images, and for DDS
// files the further mip levels and cube faces stored in the file.
#pragma once

#include <cstddef>

#include "platform/d3d9/d3d9types.h"

// Two pixel layouts that Direct3D has no code for. Only the PNG decoder makes
// them; the texture loader treats them as D3DFMT_A8L8 and D3DFMT_R8G8B8.
// 16-bit luminance then 16-bit alpha, 32 bits per pixel:
constexpr D3DFORMAT LOADER_FMT_AL16 = static_cast<D3DFORMAT>(MAKEFOURCC('A', 'L', '1', '6'));
// Three 16-bit colour channels, 48 bits per pixel:
constexpr D3DFORMAT LOADER_FMT_R16 = static_cast<D3DFORMAT>(MAKEFOURCC(' ', 'R', '1', '6'));

// The loader's result for an image file that cannot be read or decoded.
#define E_INVALID_IMAGE_DATA ((HRESULT)0x88760B59)

// Which decoder accepted a file (DecodedImage::file_format).
enum ImageFileFormat : DWORD {
    IMAGE_FILE_BMP = 0,
    IMAGE_FILE_JPG = 1,
    IMAGE_FILE_TGA = 2,
    IMAGE_FILE_PNG = 3,
    IMAGE_FILE_DDS = 4,
    IMAGE_FILE_PPM = 5,
    IMAGE_FILE_DIB = 6,
    IMAGE_FILE_HDR = 7,
    IMAGE_FILE_PFM = 8,
};

// The part of an image to use, in pixels; right, bottom and back are exclusive.
struct ImageRegion {
    UINT left;
    UINT top;
    UINT right;
    UINT bottom;
    UINT front;
    UINT back;
};

struct DecodedImage {
    D3DFORMAT format;    // layout of the pixels, or LOADER_FMT_AL16 / LOADER_FMT_R16
    const BYTE* pixels;  // first byte of the top row; null when only the header was read
    const BYTE* palette; // 256 entries of red, green, blue, alpha bytes, or null
    UINT width;
    UINT height;
    UINT depth;                    // 1 except for volume images
    ImageRegion region;            // the whole image once decode_image succeeds
    UINT row_pitch;                // bytes from one row to the next
    UINT slice_pitch;              // bytes from one depth slice to the next (DDS only, else 0)
    BOOL owns_pixels;              // pixels were allocated for this image; else they lie in the file's bytes
    BOOL owns_palette;             // likewise for the palette
    BOOL want_pixels;              // FALSE: decode the header only (format, size, pitches)
    D3DRESOURCETYPE resource_type; // texture, volume or cube, as the file describes itself
    DWORD file_format;             // ImageFileFormat of the decoder that accepted the file
    DecodedImage* next_level;      // next smaller mip level in the file (DDS only), owned
    DecodedImage* next_face;       // next cube face in the file (DDS only), owned
};

// Decodes a whole image file held in memory. `image` is overwritten with
// zeros first (release what it held before) and receives the result; want_pixels FALSE reads only the header. Pixels
// and palettes that the image does not own point into `bytes`, which must then stay mapped while the image is used.
// Results: S_OK; D3DERR_INVALIDCALL when bytes or image are missing or size is
// 0; E_INVALID_IMAGE_DATA when no decoder accepts the bytes. On failure the
// image is left empty. Switches LC_NUMERIC to "C" for the call, so two decodes
// must not run at once.
HRESULT decode_image(const void* bytes, size_t size, BOOL want_pixels, DecodedImage* image);

// Frees everything the image owns (pixels, palette, further levels and faces
// with theirs) and leaves the record empty. The record itself is the
// caller's; releasing an empty record does nothing.
void release_decoded_image(DecodedImage* image);

// Bytes of one stored row without padding: width times the bytes per pixel,
// for DXT formats one row of 4 x 4 blocks, for the packed YUV formats whole
// pixel pairs. 0 for a format the decoders never produce.
size_t decoded_row_bytes(const DecodedImage* image);

// Rows of one depth slice as stored: the height, or the block rows of a DXT format.
UINT decoded_row_count(const DecodedImage* image);
