// The one table of pixel-format facts.
#include "platform/d3d9/texel_format_facts.h"

namespace {

constexpr FormatClass COLOR = FORMAT_CLASS_COLOR;
constexpr FormatClass PALETTE = FORMAT_CLASS_PALETTE;
constexpr FormatClass LUMINANCE = FORMAT_CLASS_LUMINANCE;
constexpr FormatClass SIGNED = FORMAT_CLASS_SIGNED;
constexpr FormatClass DEPTH = FORMAT_CLASS_DEPTH;

// Units: one pixel, a pixel pair, a 4 x 4 block.
#define PIXEL 1, 1
#define PAIR 2, 1
#define BLOCK 4, 4
#define NAMED(f) f, #f

// clang-format off
constexpr TexelFormatFacts kFacts[] = {
    // format                        class     bytes unit float other A   R   G   B
    {NAMED(D3DFMT_UNKNOWN),          COLOR,     0, PIXEL, false, 0,  0,  0,  0,  0},
    {NAMED(D3DFMT_R8G8B8),           COLOR,     3, PIXEL, false, 0,  0,  8,  8,  8},
    {NAMED(D3DFMT_A8R8G8B8),         COLOR,     4, PIXEL, false, 0,  8,  8,  8,  8},
    {NAMED(D3DFMT_X8R8G8B8),         COLOR,     4, PIXEL, false, 0,  0,  8,  8,  8},
    {NAMED(D3DFMT_R5G6B5),           COLOR,     2, PIXEL, false, 0,  0,  5,  6,  5},
    {NAMED(D3DFMT_X1R5G5B5),         COLOR,     2, PIXEL, false, 0,  0,  5,  5,  5},
    {NAMED(D3DFMT_A1R5G5B5),         COLOR,     2, PIXEL, false, 0,  1,  5,  5,  5},
    {NAMED(D3DFMT_A4R4G4B4),         COLOR,     2, PIXEL, false, 0,  4,  4,  4,  4},
    {NAMED(D3DFMT_R3G3B2),           COLOR,     1, PIXEL, false, 0,  0,  3,  3,  2},
    {NAMED(D3DFMT_A8),               COLOR,     1, PIXEL, false, 0,  8,  0,  0,  0},
    {NAMED(D3DFMT_A8R3G3B2),         COLOR,     2, PIXEL, false, 0,  8,  3,  3,  2},
    {NAMED(D3DFMT_X4R4G4B4),         COLOR,     2, PIXEL, false, 0,  0,  4,  4,  4},
    {NAMED(D3DFMT_A2B10G10R10),      COLOR,     4, PIXEL, false, 0,  2, 10, 10, 10},
    {NAMED(D3DFMT_A8B8G8R8),         COLOR,     4, PIXEL, false, 0,  8,  8,  8,  8},
    {NAMED(D3DFMT_X8B8G8R8),         COLOR,     4, PIXEL, false, 0,  0,  8,  8,  8},
    {NAMED(D3DFMT_G16R16),           COLOR,     4, PIXEL, false, 0,  0, 16, 16,  0},
    {NAMED(D3DFMT_A2R10G10B10),      COLOR,     4, PIXEL, false, 0,  2, 10, 10, 10},
    {NAMED(D3DFMT_A16B16G16R16),     COLOR,     8, PIXEL, false, 0, 16, 16, 16, 16},
    {NAMED(D3DFMT_A8P8),             PALETTE,   2, PIXEL, false, 0,  8,  8,  8,  8},
    {NAMED(D3DFMT_P8),               PALETTE,   1, PIXEL, false, 0,  8,  8,  8,  8},
    {NAMED(D3DFMT_L8),               LUMINANCE, 1, PIXEL, false, 0,  0,  8,  8,  8},
    {NAMED(D3DFMT_A8L8),             LUMINANCE, 2, PIXEL, false, 0,  8,  8,  8,  8},
    {NAMED(D3DFMT_A4L4),             LUMINANCE, 1, PIXEL, false, 0,  4,  4,  4,  4},
    {NAMED(D3DFMT_V8U8),             SIGNED,    2, PIXEL, false, 0,  0,  0,  8,  8},
    {NAMED(D3DFMT_L6V5U5),           SIGNED,    2, PIXEL, false, 6,  0,  0,  5,  5},
    {NAMED(D3DFMT_X8L8V8U8),         SIGNED,    4, PIXEL, false, 8,  0,  0,  8,  8},
    {NAMED(D3DFMT_Q8W8V8U8),         SIGNED,    4, PIXEL, false, 0,  8,  8,  8,  8},
    {NAMED(D3DFMT_V16U16),           SIGNED,    4, PIXEL, false, 0,  0,  0, 16, 16},
    {NAMED(D3DFMT_A2W10V10U10),      SIGNED,    4, PIXEL, false, 2,  0, 10, 10, 10},
    {NAMED(D3DFMT_UYVY),             COLOR,     4, PAIR,  false, 0,  0,  8,  8,  8},
    {NAMED(D3DFMT_R8G8_B8G8),        COLOR,     4, PAIR,  false, 0,  0,  8,  8,  8},
    {NAMED(D3DFMT_YUY2),             COLOR,     4, PAIR,  false, 0,  0,  8,  8,  8},
    {NAMED(D3DFMT_G8R8_G8B8),        COLOR,     4, PAIR,  false, 0,  0,  8,  8,  8},
    {NAMED(D3DFMT_DXT1),             COLOR,     8, BLOCK, false, 0,  1,  5,  6,  5},
    {NAMED(D3DFMT_DXT2),             COLOR,    16, BLOCK, false, 0,  4,  5,  6,  5},
    {NAMED(D3DFMT_DXT3),             COLOR,    16, BLOCK, false, 0,  4,  5,  6,  5},
    {NAMED(D3DFMT_DXT4),             COLOR,    16, BLOCK, false, 0,  8,  5,  6,  5},
    {NAMED(D3DFMT_DXT5),             COLOR,    16, BLOCK, false, 0,  8,  5,  6,  5},
    {NAMED(D3DFMT_D16_LOCKABLE),     DEPTH,     2, PIXEL, false, 1,  0,  0,  0, 16},
    {NAMED(D3DFMT_D32),              DEPTH,     4, PIXEL, false, 0,  0,  0,  0, 32},
    {NAMED(D3DFMT_D15S1),            DEPTH,     2, PIXEL, false, 0,  0,  0,  1, 15},
    {NAMED(D3DFMT_D24S8),            DEPTH,     4, PIXEL, false, 0,  0,  0,  8, 24},
    {NAMED(D3DFMT_D24X8),            DEPTH,     4, PIXEL, false, 0,  0,  0,  0, 24},
    {NAMED(D3DFMT_D24X4S4),          DEPTH,     4, PIXEL, false, 0,  0,  0,  4, 24},
    {NAMED(D3DFMT_D16),              DEPTH,     2, PIXEL, false, 0,  0,  0,  0, 16},
    {NAMED(D3DFMT_D32F_LOCKABLE),    DEPTH,     4, PIXEL, true,  1,  0,  0,  0, 32},
    {NAMED(D3DFMT_D24FS8),           DEPTH,     4, PIXEL, true,  0,  0,  0,  8, 24},
    {NAMED(D3DFMT_L16),              LUMINANCE, 2, PIXEL, false, 0,  0, 16, 16, 16},
    {NAMED(D3DFMT_VERTEXDATA),       COLOR,     0, PIXEL, false, 0,  0,  0,  0,  0},
    {NAMED(D3DFMT_INDEX16),          COLOR,     0, PIXEL, false, 0,  0,  0,  0,  0},
    {NAMED(D3DFMT_INDEX32),          COLOR,     0, PIXEL, false, 0,  0,  0,  0,  0},
    {NAMED(D3DFMT_Q16W16V16U16),     SIGNED,    8, PIXEL, false, 0, 16, 16, 16, 16},
    {NAMED(D3DFMT_MULTI2_ARGB8),     COLOR,     0, PIXEL, false, 0,  0,  0,  0,  0},
    {NAMED(D3DFMT_R16F),             COLOR,     2, PIXEL, true,  0,  0, 16,  0,  0},
    {NAMED(D3DFMT_G16R16F),          COLOR,     4, PIXEL, true,  0,  0, 16, 16,  0},
    {NAMED(D3DFMT_A16B16G16R16F),    COLOR,     8, PIXEL, true,  0, 16, 16, 16, 16},
    {NAMED(D3DFMT_R32F),             COLOR,     4, PIXEL, true,  0,  0, 32,  0,  0},
    {NAMED(D3DFMT_G32R32F),          COLOR,     8, PIXEL, true,  0,  0, 32, 32,  0},
    {NAMED(D3DFMT_A32B32G32R32F),    COLOR,    16, PIXEL, true,  0, 32, 32, 32, 32},
    {NAMED(D3DFMT_CxV8U8),           SIGNED,    2, PIXEL, false, 8,  0,  0,  8,  8},
    {LOADER_FMT_AL16, "AL16",        LUMINANCE, 4, PIXEL, false, 0, 16, 16, 16, 16},
    {LOADER_FMT_R16, "R16",          COLOR,     6, PIXEL, false, 0,  0, 16, 16, 16},
};
// clang-format on

#undef PIXEL
#undef PAIR
#undef BLOCK
#undef NAMED

} // namespace

std::span<const TexelFormatFacts> texel_format_table() { return kFacts; }

const TexelFormatFacts* texel_format_facts(D3DFORMAT format)
{
    for (const TexelFormatFacts& facts : kFacts) {
        if (facts.format == format) {
            return &facts;
        }
    }
    return nullptr;
}

bool is_block_compressed_format(D3DFORMAT format)
{
    const TexelFormatFacts* facts = texel_format_facts(format);
    return facts && facts->block_compressed();
}
