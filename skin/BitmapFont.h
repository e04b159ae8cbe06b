#pragma once

#include <array>
#include <cstdint>
#include <string_view>

class CSkinPicture;

// Text drawn with glyphs cut from a picture. A proportional font marks the start of each of its
// 256 glyphs with a non-zero pixel in its top row and keeps the glyphs in the rows below; any
// other picture is a fixed-pitch font of width / 256 wide glyphs using all rows. Glyphs are
// indexed by the Windows-1252 code of a character (the skin's fonts are drawn for it); texts
// are UTF-8, and a character outside that code page shows as '?'. A byte that does not start a
// valid UTF-8 sequence is taken as that code itself, so older 8-bit texts still show. Ink is
// where the picture's alpha is not 0.
class CBitmapFont {
public:
    // The picture is not owned and must outlive its use here (the text control holds it through
    // the picture manager). Null detaches.
    void Attach(const CSkinPicture* picture);
    bool IsAttached() const { return m_picture != nullptr; }

    int32_t TextWidth(std::string_view text) const;
    int32_t GlyphHeight() const { return m_glyphHeight; }
    bool IsFixedPitch() const { return m_fixedPitch; }
    int32_t GlyphX(uint8_t c) const { return m_glyphX[c]; }
    int32_t GlyphWidth(uint8_t c) const { return m_glyphWidth[c]; }

    // Left to right from (x, y); stops before the glyph that would take the text past maxWidth.
    // maxHeight cuts the glyphs' bottom rows (a font taller than the control drawing it).
    void DrawText(CSkinPicture& target, int32_t x, int32_t y, int32_t maxWidth, std::string_view text,
                  int32_t maxHeight = kNoLimit) const;
    // The text starts at x + offset (offset <= 0 scrolls left) and is clipped to x .. x + maxWidth.
    // With wrap the text repeats from its first byte until the right edge.
    void DrawTextScrolled(CSkinPicture& target, int32_t x, int32_t y, int32_t offset, int32_t maxWidth,
                          std::string_view text, bool wrap, int32_t maxHeight = kNoLimit) const;

    static constexpr int32_t kNoLimit = 0x7FFFFFFF;

    // The glyph of the character that starts at text[index]; index moves past it.
    static uint8_t NextGlyph(std::string_view text, size_t& index);

private:
    const CSkinPicture* m_picture = nullptr;
    std::array<int32_t, 256> m_glyphX{};
    std::array<int32_t, 256> m_glyphWidth{};
    int32_t m_glyphTop = 0; // first row of the glyphs: 1 below the marker row, else 0
    int32_t m_glyphHeight = 0;
    bool m_fixedPitch = false;
};
