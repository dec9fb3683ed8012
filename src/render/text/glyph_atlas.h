// Glyphs of a real font rasterised once into one A8 atlas: each glyph's
// coverage beside a copy grown by a pixel all round, which is drawn dark
// under the glyph so that text reads on any background. No toolkit here:
// the font is read and rasterised by FreeType.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where a glyph lies in the atlas and how it sits on the line. Both cells
// are `width` x `height` texels, the glyph's coverage one texel in from
// the edges of the plain cell.
struct AtlasGlyph {
    char32_t code;
    int plain_x, plain_y;     // the coverage
    int outline_x, outline_y; // the coverage grown by one pixel
    int width, height;
    int left, top; // the cell's top-left corner from the pen on the baseline (top down)
    int advance;   // pen step to the next glyph
};

// Also a solid cell of kSolidSide x kSolidSide full texels, for the
// shapes that are not text.
inline constexpr int kSolidSide = 4;

struct GlyphAtlas {
    int width = 0, height = 0;      // powers of two
    std::vector<uint8_t> alpha;     // width x height coverage, rows top down
    std::vector<AtlasGlyph> glyphs; // sorted by code
    int solid_x = 0, solid_y = 0;
    int ascent = 0, line_height = 0;

    bool empty() const { return glyphs.empty(); }
    // The glyph of `code`, or of '?' where the font has none; null when neither.
    const AtlasGlyph* find(char32_t code) const;
};

// The font the pictures are labelled in, as found when the program was built.
const char* default_font_file();

// The characters of UTF-8 text; a byte that starts no whole character
// reads as U+FFFD.
std::u32string utf8_characters(std::string_view text);

// Rasterises `characters` (each once, in any order) at `pixel_size` pixels
// to the em. False when the font cannot be read: the atlas then holds the
// solid cell alone.
bool build_glyph_atlas(const char* font_file, int pixel_size, std::u32string_view characters, GlyphAtlas* atlas);
