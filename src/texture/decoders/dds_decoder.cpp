// DirectDraw surface files: plain, volume and cube textures with their mip
// levels, all used in place inside the file's bytes.
#include <algorithm>
#include <cstdlib>

#include "texture/decoders/byte_reader.h"
#include "texture/decoders/checked_size.h"
#include "texture/decoders/image_decoders.h"

namespace {

constexpr uint32_t kHeaderBytes = 128;
constexpr uint32_t kDepthFlag = 0x800000;
constexpr uint32_t kAllFaces = 0xFC00;
constexpr uint32_t kFourCcFlag = 0x4;

struct PixelFormatEntry {
    D3DFORMAT format;
    uint32_t flags;
    uint32_t bits;
    uint32_t red, green, blue, alpha;
    uint32_t four_cc; // for entries with the four-character-code flag
};

#define DDS_FOURCC_ENTRY(fmt, bits)                                                                                    \
    {                                                                                                                  \
        fmt, kFourCcFlag, bits, 0, 0, 0, 0, static_cast<uint32_t>(fmt)                                                 \
    }

// Searched in order; `bits` is also the storage size of the formats without masks.
const PixelFormatEntry kPixelFormats[] = {
    {D3DFMT_R8G8B8, 0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0, 0},
    {D3DFMT_A8R8G8B8, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0},
    {D3DFMT_X8R8G8B8, 0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0},
    {D3DFMT_R5G6B5, 0x40, 16, 0xF800, 0x7E0, 0x1F, 0, 0},
    {D3DFMT_X1R5G5B5, 0x40, 16, 0x7C00, 0x3E0, 0x1F, 0, 0},
    {D3DFMT_A1R5G5B5, 0x41, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0},
    {D3DFMT_A4R4G4B4, 0x41, 16, 0xF00, 0xF0, 0xF, 0xF000, 0},
    {D3DFMT_R3G3B2, 0x40, 8, 0xE0, 0x1C, 0x3, 0, 0},
    {D3DFMT_A8, 0x2, 8, 0, 0, 0, 0xFF, 0},
    {D3DFMT_A8R3G3B2, 0x41, 16, 0xE0, 0x1C, 0x3, 0xFF00, 0},
    {D3DFMT_X4R4G4B4, 0x40, 16, 0xF00, 0xF0, 0xF, 0, 0},
    {D3DFMT_A2B10G10R10, 0x41, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 0},
    {D3DFMT_A8B8G8R8, 0x41, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0},
    {D3DFMT_X8B8G8R8, 0x40, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0},
    {D3DFMT_G16R16, 0x40, 32, 0xFFFF, 0xFFFF0000, 0, 0, 0},
    {D3DFMT_A2R10G10B10, 0x41, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, 0},
    {D3DFMT_A8P8, 0x21, 16, 0, 0, 0, 0xFF00, 0},
    {D3DFMT_P8, 0x20, 8, 0, 0, 0, 0, 0},
    {D3DFMT_L8, 0x20000, 8, 0xFF, 0, 0, 0, 0},
    {D3DFMT_A8L8, 0x20001, 16, 0xFF, 0, 0, 0xFF00, 0},
    {D3DFMT_A4L4, 0x20001, 8, 0xF, 0, 0, 0xF0, 0},
    {D3DFMT_L16, 0x20000, 16, 0xFFFF, 0, 0, 0, 0},
    {D3DFMT_V8U8, 0x80000, 16, 0xFF, 0xFF00, 0, 0, 0},
    {D3DFMT_L6V5U5, 0x40000, 16, 0x1F, 0x3E0, 0xFC00, 0, 0},
    {D3DFMT_X8L8V8U8, 0x40000, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0},
    {D3DFMT_Q8W8V8U8, 0x80000, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0},
    {D3DFMT_V16U16, 0x80000, 32, 0xFFFF, 0xFFFF0000, 0, 0, 0},
    {D3DFMT_A2W10V10U10, 0x80001, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 0},
    DDS_FOURCC_ENTRY(D3DFMT_UYVY, 16),
    DDS_FOURCC_ENTRY(D3DFMT_R8G8_B8G8, 16),
    DDS_FOURCC_ENTRY(D3DFMT_YUY2, 16),
    DDS_FOURCC_ENTRY(D3DFMT_G8R8_G8B8, 16),
    DDS_FOURCC_ENTRY(D3DFMT_DXT1, 0),
    DDS_FOURCC_ENTRY(D3DFMT_DXT2, 0),
    DDS_FOURCC_ENTRY(D3DFMT_DXT3, 0),
    DDS_FOURCC_ENTRY(D3DFMT_DXT4, 0),
    DDS_FOURCC_ENTRY(D3DFMT_DXT5, 0),
    {D3DFMT_D16_LOCKABLE, 0x400, 16, 0, 0xFFFF, 0, 0, 0},
    DDS_FOURCC_ENTRY(D3DFMT_D32F_LOCKABLE, 32),
    DDS_FOURCC_ENTRY(D3DFMT_A16B16G16R16, 64),
    DDS_FOURCC_ENTRY(D3DFMT_Q16W16V16U16, 64),
    DDS_FOURCC_ENTRY(D3DFMT_R16F, 16),
    DDS_FOURCC_ENTRY(D3DFMT_G16R16F, 32),
    DDS_FOURCC_ENTRY(D3DFMT_A16B16G16R16F, 64),
    DDS_FOURCC_ENTRY(D3DFMT_R32F, 32),
    DDS_FOURCC_ENTRY(D3DFMT_G32R32F, 64),
    DDS_FOURCC_ENTRY(D3DFMT_A32B32G32R32F, 128),
    DDS_FOURCC_ENTRY(D3DFMT_CxV8U8, 16),
};
static_assert(sizeof kPixelFormats / sizeof kPixelFormats[0] == 48);

struct FilePixelFormat {
    uint32_t size, flags, four_cc, bits, red, green, blue, alpha;
};

const PixelFormatEntry* find_pixel_format(FilePixelFormat pf)
{
    if (pf.flags & kFourCcFlag)
        pf.flags = kFourCcFlag;
    const uint32_t f = pf.flags;
    for (const PixelFormatEntry& e : kPixelFormats) {
        if (e.flags != f || (f == kFourCcFlag && e.four_cc != pf.four_cc))
            continue;
        if ((f & 0xC4462) && e.bits != pf.bits)
            continue;
        if ((f & 0xE4040) && e.red != pf.red)
            continue;
        if ((f & 0xC4440) && e.green != pf.green)
            continue;
        if ((f & 0xC4040) && e.blue != pf.blue)
            continue;
        if ((f & 0x80003) && e.alpha != pf.alpha)
            continue;
        return &e;
    }
    return nullptr;
}

struct LevelSize {
    uint64_t row_pitch;
    uint64_t slice_bytes;
};

// Row pitch and slice size of one level; false when they overflow.
bool level_size(const PixelFormatEntry& e, uint64_t width, uint64_t height, LevelSize* s)
{
    uint64_t rows = height;
    switch (e.format) {
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        s->row_pitch = (width + 3) / 4 * (e.format == D3DFMT_DXT1 ? 8 : 16);
        rows = (height + 3) / 4;
        break;
    case D3DFMT_UYVY:
    case D3DFMT_YUY2:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8:
        s->row_pitch = (width + 1) / 2 * 4;
        break;
    default:
        s->row_pitch = e.bits / 8 * width;
        break;
    }
    return checked_mul(s->row_pitch, rows, &s->slice_bytes);
}

uint64_t halve(uint64_t size) { return size > 1 ? size / 2 : 1; }

// Levels of the full chain down to 1 x 1 x 1.
uint32_t full_chain_levels(uint64_t width, uint64_t height, uint64_t depth)
{
    uint64_t largest = std::max({width, height, depth});
    uint32_t levels = 1;
    while (largest > 1) {
        largest /= 2;
        ++levels;
    }
    return levels;
}

struct Layout {
    const PixelFormatEntry* entry;
    uint64_t width, height, depth;
    uint32_t levels;
    uint32_t faces;
    D3DRESOURCETYPE resource_type;
    const BYTE* palette;
};

DecodedImage* new_record(const DecodedImage* top)
{
    auto* record = static_cast<DecodedImage*>(std::calloc(1, sizeof(DecodedImage)));
    if (record) {
        record->want_pixels = top->want_pixels;
        record->resource_type = top->resource_type;
        record->file_format = top->file_format;
    }
    return record;
}

// Describes the levels of every face, each level in place at its offset.
HRESULT build_chain(DecodedImage* top, const Layout& layout, const ByteReader& in, uint64_t offset)
{
    DecodedImage* face = nullptr;
    for (uint32_t f = 0; f < layout.faces; ++f) {
        DecodedImage* level = nullptr;
        uint64_t width = layout.width, height = layout.height, depth = layout.depth;
        for (uint32_t l = 0; l < layout.levels; ++l) {
            LevelSize s;
            uint64_t level_bytes;
            if (!level_size(*layout.entry, width, height, &s) ||
                FAILED(decoded_size(depth, s.slice_bytes, &level_bytes)))
                return E_OUTOFMEMORY;
            if (!in.has(offset, level_bytes))
                return E_FAIL;

            DecodedImage* record = top;
            if (f > 0 || l > 0) {
                record = new_record(top);
                if (!record)
                    return E_OUTOFMEMORY;
                if (l == 0)
                    face->next_face = record;
                else
                    level->next_level = record;
            }
            if (l == 0)
                face = record;
            level = record;
            record->format = layout.entry->format;
            record->width = static_cast<UINT>(width);
            record->height = static_cast<UINT>(height);
            record->depth = static_cast<UINT>(depth);
            record->row_pitch = static_cast<UINT>(s.row_pitch);
            record->slice_pitch = static_cast<UINT>(s.slice_bytes);
            if (top->want_pixels) {
                record->pixels = in.data() + offset;
                record->palette = layout.palette;
            }
            offset += level_bytes;
            width = halve(width);
            height = halve(height);
            depth = halve(depth);
        }
    }
    return S_OK;
}

} // namespace

HRESULT decode_dds(DecodedImage* image, const BYTE* bytes, size_t size)
{
    const ByteReader in(bytes, size);
    if (!in.has(0, kHeaderBytes) || !in.matches(0, "DDS ", 4))
        return E_FAIL;
    // The reads cannot fail: all 128 header bytes are present.
    uint32_t flags = 0, height = 0, width = 0, depth = 0, mip_count = 0, caps2 = 0;
    FilePixelFormat pf{};
    in.u32le(8, &flags);
    in.u32le(12, &height);
    in.u32le(16, &width);
    in.u32le(24, &depth);
    in.u32le(28, &mip_count);
    in.u32le(76, &pf.size);
    in.u32le(80, &pf.flags);
    in.u32le(84, &pf.four_cc);
    in.u32le(88, &pf.bits);
    in.u32le(92, &pf.red);
    in.u32le(96, &pf.green);
    in.u32le(100, &pf.blue);
    in.u32le(104, &pf.alpha);
    in.u32le(112, &caps2);
    if (pf.size != 32 || width == 0 || height == 0)
        return E_FAIL;

    Layout layout;
    layout.entry = find_pixel_format(pf);
    if (!layout.entry)
        return E_FAIL;
    const bool volume = (flags & kDepthFlag) != 0;
    layout.width = width;
    layout.height = height;
    layout.depth = volume && depth ? depth : 1;
    if ((caps2 & kAllFaces) != 0 && (caps2 & kAllFaces) != kAllFaces)
        return E_FAIL;
    layout.faces = (caps2 & kAllFaces) == kAllFaces ? 6 : 1;
    layout.resource_type = volume ? D3DRTYPE_VOLUMETEXTURE
        : layout.faces == 6       ? D3DRTYPE_CUBETEXTURE
                                  : D3DRTYPE_TEXTURE;
    // Levels past 1 x 1 x 1 hold nothing new; a hostile count must not make
    // us describe millions of them.
    const uint32_t stored_levels = mip_count ? mip_count : 1;
    layout.levels = std::min(stored_levels, full_chain_levels(layout.width, layout.height, layout.depth));

    uint64_t offset = kHeaderBytes;
    layout.palette = nullptr;
    if (layout.entry->format == D3DFMT_P8 || layout.entry->format == D3DFMT_A8P8) {
        layout.palette = in.at(offset, 1024);
        if (!layout.palette)
            return E_FAIL;
        offset += 1024;
    }

    image->resource_type = layout.resource_type;
    image->file_format = IMAGE_FILE_DDS;
    return build_chain(image, layout, in, offset);
}
