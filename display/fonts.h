// The five LCD fonts: for each character code 32 to 132 a glyph width and
// its rows top to bottom, (width + 7) / 8 bytes a row, leftmost pixel in the
// top bit. Glyphs 128 to 131 are the degree sign, the mask dot and the list
// arrows up and down.
#pragma once

#include <cstdint>

namespace lumiro {

constexpr int kGlyphFirst = 32;
constexpr int kGlyphLast = 132;
constexpr int kGlyphCount = kGlyphLast - kGlyphFirst + 1;
// Offset of a code without a glyph.
constexpr uint16_t kNoGlyph = 0xFFFF;

struct LcdFont {
    uint8_t height;
    const uint8_t* widths;   // kGlyphCount entries
    const uint16_t* offsets; // kGlyphCount entries, into bits
    const uint8_t* bits;
};

// Font 1 to 5, nullptr for any other number.
const LcdFont* lcdFont(int font);

} // namespace lumiro
