// What is fixed about each pixel format the program knows, in one table: its
// printed name, how it is stored (pixels, pixel pairs or 4 x 4 blocks, and
// the bytes of one such unit) and its channels. The device, the texture
// loader, the decoders and the tools all take sizes from here.
#pragma once

#include <cstdint>
#include <span>

#include "platform/d3d9/d3d9types.h"

// Two pixel layouts that Direct3D has no code for. Only the PNG decoder makes
// them; the texture loader treats them as D3DFMT_A8L8 and D3DFMT_R8G8B8.
// 16-bit luminance then 16-bit alpha, 32 bits per pixel:
constexpr D3DFORMAT LOADER_FMT_AL16 = static_cast<D3DFORMAT>(MAKEFOURCC('A', 'L', '1', '6'));
// Three 16-bit colour channels, 48 bits per pixel:
constexpr D3DFORMAT LOADER_FMT_R16 = static_cast<D3DFORMAT>(MAKEFOURCC(' ', 'R', '1', '6'));

// What a format's channels hold.
enum FormatClass : BYTE {
    FORMAT_CLASS_COLOR = 0,
    FORMAT_CLASS_PALETTE = 1,
    FORMAT_CLASS_LUMINANCE = 2,
    FORMAT_CLASS_SIGNED = 3,
    FORMAT_CLASS_DEPTH = 4,
};

struct TexelFormatFacts {
    D3DFORMAT format;
    const char* name; // as the program prints it
    FormatClass format_class;
    UINT unit_bytes;  // bytes of one unit; 0 for the codes that name no pixels
    BYTE unit_width;  // pixels across one unit: 1, 2 (pixel pairs) or 4 (blocks)
    BYTE unit_height; // rows of one unit: 1, or 4 for blocks
    bool float_channels;
    // Bits of each channel slot. A luminance format counts its luminance in
    // red, green and blue; a signed format puts its channels in the slots
    // (a channel that is neither in `other`); a depth format puts stencil in
    // green and depth in blue; a lockable depth format counts its
    // lockability as one bit in `other`.
    BYTE other, alpha, red, green, blue;

    bool block_compressed() const { return unit_height > 1; }
    // Bits per pixel, averaged over a unit.
    UINT bits_per_pixel() const { return unit_bytes * 8 / (unit_width * unit_height); }
    // Bytes of the units covering `width` pixels, without padding.
    uint64_t packed_row_bytes(uint64_t width) const { return (width + unit_width - 1) / unit_width * unit_bytes; }
    // Rows of units covering `height` pixels.
    uint64_t unit_rows(uint64_t height) const { return (height + unit_height - 1) / unit_height; }
};

// Every row of the table.
std::span<const TexelFormatFacts> texel_format_table();

// The row of `format`, or null for a code the program does not know.
const TexelFormatFacts* texel_format_facts(D3DFORMAT format);

// True for the block-compressed formats.
bool is_block_compressed_format(D3DFORMAT format);
