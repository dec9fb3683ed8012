// One decoded image level as the decoders hand it to the texture loader:
// pixel format, the pixel rows, the palette of palettised images, and for DDS
// files the further mip levels and cube faces stored in the file.
#pragma once

#include <cstddef>

#include "platform/d3d9/d3d9types.h"
#include "platform/d3d9/texel_format_facts.h" // LOADER_FMT_AL16, LOADER_FMT_R16
#include "texture/decoders/decode_reason.h"

// The loader's result for an image file that cannot be read or decoded.
#define E_INVALID_IMAGE_DATA ((HRESULT)0x88760B59)

// Which decoder accepted a file (DecodedImage::file_format); decode_image
// sets it on every level and face.
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
// zeros first (release what it held before) and receives the result;
// want_pixels FALSE reads only the header. Pixels and palettes that the image
// does not own point into `bytes`, which must then stay mapped while the
// image is used.
// Results: S_OK; D3DERR_INVALIDCALL when bytes or image are missing or size is
// 0; E_INVALID_IMAGE_DATA when no decoder accepts the bytes. On failure the
// image is left empty and `reason`, when given, says why: the reason of the
// first decoder that recognised its format, else that none did. On success
// the reason is empty. Switches LC_NUMERIC to "C" for the call, so two
// decodes must not run at once.
HRESULT decode_image(const void* bytes, size_t size, BOOL want_pixels, DecodedImage* image,
                     DecodeReason* reason = nullptr);

// Frees everything the image owns (pixels, palette, further levels and faces
// with theirs) and leaves the record empty. The record itself is the
// caller's; releasing an empty record does nothing.
void release_decoded_image(DecodedImage* image);

// A decoded image that frees what it owns when it goes out of scope: the one
// way the program holds what decode_image made.
class OwnedImage {
public:
    OwnedImage() = default;
    ~OwnedImage() { release_decoded_image(&image_); }
    OwnedImage(const OwnedImage&) = delete;
    OwnedImage& operator=(const OwnedImage&) = delete;

    // decode_image into this record, after freeing what it held.
    HRESULT decode(const void* bytes, size_t size, BOOL want_pixels, DecodeReason* reason = nullptr)
    {
        release_decoded_image(&image_);
        return decode_image(bytes, size, want_pixels, &image_, reason);
    }

    // Frees what it holds now; the record is left empty.
    void reset() { release_decoded_image(&image_); }

    DecodedImage* get() { return &image_; }
    const DecodedImage* get() const { return &image_; }
    DecodedImage* operator->() { return &image_; }
    const DecodedImage* operator->() const { return &image_; }
    DecodedImage& operator*() { return image_; }
    const DecodedImage& operator*() const { return image_; }

private:
    DecodedImage image_{};
};

// Bytes of one stored row without padding: width times the bytes per pixel,
// for DXT formats one row of 4 x 4 blocks, for the packed YUV formats whole
// pixel pairs. 0 for a format the decoders never produce.
size_t decoded_row_bytes(const DecodedImage* image);

// Rows of one depth slice as stored: the height, or the block rows of a DXT format.
UINT decoded_row_count(const DecodedImage* image);
