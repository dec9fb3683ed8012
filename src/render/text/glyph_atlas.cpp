// The glyph atlas: FreeType renders each character's coverage, the cells
// are packed in shelves into a power-of-two texture, and each glyph's
// outline cell is its coverage grown by one pixel (the largest of the
// 3 x 3 around each texel).
#include "render/text/glyph_atlas.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <memory>

namespace {

struct LibraryCloser {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceCloser {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using LibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, LibraryCloser>;
using FacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceCloser>;

constexpr int kAtlasWidth = 512;
constexpr int kGap = 1; // texels between cells

// One rendered glyph before packing: its coverage with a texel of border.
struct Rendered {
    AtlasGlyph glyph;
    std::vector<uint8_t> cell; // width x height
};

// Light hinting: full hinting squeezes a thin underscore out of its row.
bool render_glyph(FT_Face face, char32_t code, Rendered* out)
{
    if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0)
        return false;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.rows != 0)
        return false;
    const int rows = static_cast<int>(bitmap.rows), columns = static_cast<int>(bitmap.width);
    AtlasGlyph& g = out->glyph;
    g.code = code;
    g.width = columns + 2;
    g.height = rows + 2;
    g.left = slot->bitmap_left - 1;
    g.top = -slot->bitmap_top - 1;
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    out->cell.assign(size_t(g.width) * size_t(g.height), 0);
    for (int y = 0; y < rows; ++y) {
        const unsigned char* row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
        std::copy(row, row + columns, out->cell.begin() + ptrdiff_t(y + 1) * g.width + 1);
    }
    return true;
}

// The coverage grown by a pixel all round.
std::vector<uint8_t> grown(const std::vector<uint8_t>& cell, int width, int height)
{
    std::vector<uint8_t> result(cell.size(), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t most = 0;
            for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny)
                for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx)
                    most = std::max(most, cell[size_t(ny) * width + nx]);
            result[size_t(y) * width + x] = most;
        }
    return result;
}

// Shelf packing: cells left to right, a new shelf when the row is full.
struct Packer {
    int x = 0, y = 0, shelf = 0;

    bool place(int width, int height, int* at_x, int* at_y)
    {
        if (width > kAtlasWidth)
            return false;
        if (x + width > kAtlasWidth) {
            x = 0;
            y += shelf + kGap;
            shelf = 0;
        }
        *at_x = x;
        *at_y = y;
        x += width + kGap;
        shelf = std::max(shelf, height);
        return true;
    }
};

void copy_cell(GlyphAtlas* atlas, const std::vector<uint8_t>& cell, int width, int height, int at_x, int at_y)
{
    for (int y = 0; y < height; ++y)
        std::copy(cell.begin() + ptrdiff_t(y) * width, cell.begin() + ptrdiff_t(y + 1) * width,
                  atlas->alpha.begin() + ptrdiff_t(at_y + y) * atlas->width + at_x);
}

} // namespace

const AtlasGlyph* GlyphAtlas::find(char32_t code) const
{
    for (char32_t wanted : {code, char32_t('?')}) {
        const auto at = std::lower_bound(glyphs.begin(), glyphs.end(), wanted,
                                         [](const AtlasGlyph& g, char32_t c) { return g.code < c; });
        if (at != glyphs.end() && at->code == wanted)
            return &*at;
    }
    return nullptr;
}

const char* default_font_file() { return VARNEL_FONT_FILE; }

std::u32string utf8_characters(std::string_view text)
{
    std::u32string result;
    size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        char32_t code = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        bool whole = extra >= 0 && at + size_t(extra) < text.size();
        for (int k = 1; whole && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[at + size_t(k)]);
            whole = (next >> 6) == 2;
            code = (code << 6) | (next & 0x3F);
        }
        result.push_back(whole ? code : U'\uFFFD');
        at += whole ? size_t(extra) + 1 : 1;
    }
    return result;
}

bool build_glyph_atlas(const char* font_file, int pixel_size, std::u32string_view characters, GlyphAtlas* atlas)
{
    *atlas = GlyphAtlas{};
    atlas->width = atlas->height = kSolidSide;
    atlas->alpha.assign(size_t(kSolidSide) * kSolidSide, 255);
    FT_Library library_handle = nullptr;
    if (!font_file || pixel_size < 1 || FT_Init_FreeType(&library_handle) != 0)
        return false;
    const LibraryPtr library(library_handle);
    FT_Face face_handle = nullptr;
    if (FT_New_Face(library.get(), font_file, 0, &face_handle) != 0)
        return false;
    const FacePtr face(face_handle);
    if (FT_Set_Pixel_Sizes(face.get(), 0, static_cast<FT_UInt>(pixel_size)) != 0)
        return false;

    std::u32string codes(characters);
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    std::vector<Rendered> rendered;
    Packer packer;
    int solid_x = 0, solid_y = 0;
    packer.place(kSolidSide, kSolidSide, &solid_x, &solid_y);
    for (char32_t code : codes) {
        Rendered r;
        if (!render_glyph(face.get(), code, &r))
            continue;
        if (!packer.place(r.glyph.width, r.glyph.height, &r.glyph.plain_x, &r.glyph.plain_y) ||
            !packer.place(r.glyph.width, r.glyph.height, &r.glyph.outline_x, &r.glyph.outline_y))
            return false;
        rendered.push_back(std::move(r));
    }
    if (rendered.empty())
        return false;
    int height = 1;
    while (height < packer.y + packer.shelf)
        height *= 2;
    atlas->width = kAtlasWidth;
    atlas->height = height;
    atlas->alpha.assign(size_t(kAtlasWidth) * size_t(height), 0);
    atlas->solid_x = solid_x;
    atlas->solid_y = solid_y;
    copy_cell(atlas, std::vector<uint8_t>(size_t(kSolidSide) * kSolidSide, 255), kSolidSide, kSolidSide, solid_x,
              solid_y);
    for (const Rendered& r : rendered) {
        const AtlasGlyph& g = r.glyph;
        copy_cell(atlas, r.cell, g.width, g.height, g.plain_x, g.plain_y);
        copy_cell(atlas, grown(r.cell, g.width, g.height), g.width, g.height, g.outline_x, g.outline_y);
        atlas->glyphs.push_back(g);
    }
    const FT_Size_Metrics& metrics = face->size->metrics;
    atlas->ascent = static_cast<int>((metrics.ascender + 32) >> 6);
    atlas->line_height = static_cast<int>((metrics.height + 32) >> 6);
    return true;
}
