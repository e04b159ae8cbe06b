#include "BitmapFont.h"

#include "SkinPicture.h"

#include <algorithm>

void CBitmapFont::Attach(const CSkinPicture* picture)
{
    m_picture = picture;
    m_glyphX.fill(0);
    m_glyphWidth.fill(0);
    m_glyphTop = m_glyphHeight = 0;
    m_fixedPitch = false;
    if (picture == nullptr || !picture->HasPixels())
        return;
    const int32_t width = picture->Width();
    int32_t marks = 0;
    for (int32_t x = 0; x < width; ++x)
        marks += picture->PixelAt(x, 0) != 0 ? 1 : 0;
    if (marks == 256 && picture->Height() > 1) {
        // Glyph k runs from its mark to the next mark; a font whose first mark is not at x = 0
        // still starts glyph 0 at 0, as the marks of every skin font do.
        int32_t glyph = 0;
        for (int32_t x = 1; x < width && glyph < 255; ++x) {
            if (picture->PixelAt(x, 0) != 0) {
                m_glyphX[glyph + 1] = x;
                m_glyphWidth[glyph] = x - m_glyphX[glyph];
                ++glyph;
            }
        }
        m_glyphWidth[glyph] = width - m_glyphX[glyph];
        m_glyphTop = 1;
        m_glyphHeight = picture->Height() - 1;
        return;
    }
    m_fixedPitch = true;
    const int32_t pitch = width / 256;
    for (int32_t k = 0; k < 256; ++k) {
        m_glyphX[k] = k * pitch;
        m_glyphWidth[k] = pitch;
    }
    m_glyphHeight = picture->Height();
}

uint8_t CBitmapFont::NextGlyph(std::string_view text, size_t& index)
{
    // Windows-1252 at 0x80..0x9F: the code points its 27 characters there have.
    static constexpr std::array<uint16_t, 32> kHighCodes = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    const auto lead = static_cast<uint8_t>(text[index]);
    if (lead < 0x80) {
        ++index;
        return lead;
    }
    const int length = lead >= 0xF0 && lead < 0xF5   ? 4
                       : lead >= 0xE0                ? 3
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                                                     : 0;
    uint32_t code = length == 4 ? lead & 0x07u : length == 3 ? lead & 0x0Fu : lead & 0x1Fu;
    bool valid = length != 0 && index + static_cast<size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[index + static_cast<size_t>(k)]);
        valid = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms and surrogates are no characters either.
    valid = valid && !(length == 3 && code < 0x800) &&
            !(length == 4 && (code < 0x10000 || code > 0x10FFFF)) && !(code >= 0xD800 && code <= 0xDFFF);
    if (!valid) {
        ++index;
        return lead;
    }
    index += static_cast<size_t>(length);
    if (code >= 0xA0 && code <= 0xFF)
        return static_cast<uint8_t>(code);
    for (size_t k = 0; k < kHighCodes.size(); ++k) {
        if (kHighCodes[k] == code)
            return static_cast<uint8_t>(0x80 + k);
    }
    return '?';
}

int32_t CBitmapFont::TextWidth(std::string_view text) const
{
    int32_t width = 0;
    for (size_t index = 0; index < text.size();)
        width += m_glyphWidth[NextGlyph(text, index)];
    return width;
}

void CBitmapFont::DrawText(CSkinPicture& target, int32_t x, int32_t y, int32_t maxWidth,
                           std::string_view text, int32_t maxHeight) const
{
    const int32_t height = std::min(m_glyphHeight, maxHeight);
    if (m_picture == nullptr)
        return;
    int32_t used = 0;
    for (size_t index = 0; index < text.size();) {
        const uint8_t glyph = NextGlyph(text, index);
        if (used + m_glyphWidth[glyph] > maxWidth)
            break;
        target.Blit(x + used, y, m_glyphWidth[glyph], height, *m_picture, m_glyphX[glyph], m_glyphTop, true);
        used += m_glyphWidth[glyph];
    }
}

void CBitmapFont::DrawTextScrolled(CSkinPicture& target, int32_t x, int32_t y, int32_t offset,
                                   int32_t maxWidth, std::string_view text, bool wrap,
                                   int32_t maxHeight) const
{
    const int32_t height = std::min(m_glyphHeight, maxHeight);
    if (m_picture == nullptr || text.empty() || maxWidth <= 0)
        return;
    // A text of zero-width glyphs would never reach the right edge.
    if (TextWidth(text) <= 0)
        return;
    // Only the part inside the picture can show: a control wider than the picture stops there.
    const auto right = static_cast<int32_t>(
        std::min<int64_t>(int64_t{x} + maxWidth, int64_t{target.Width()} - target.ViewX()));
    int64_t penX = int64_t{x} + offset;
    size_t index = 0;
    while (penX < right) {
        if (index == text.size()) {
            if (!wrap)
                break;
            index = 0;
        }
        const uint8_t glyph = NextGlyph(text, index);
        const int32_t w = m_glyphWidth[glyph];
        const int64_t visibleLeft = std::max<int64_t>(penX, x);
        const int64_t visibleRight = std::min<int64_t>(penX + w, right);
        if (visibleRight > visibleLeft)
            target.Blit(static_cast<int32_t>(visibleLeft), y,
                        static_cast<int32_t>(visibleRight - visibleLeft), height, *m_picture,
                        static_cast<int32_t>(m_glyphX[glyph] + (visibleLeft - penX)), m_glyphTop, true);
        penX += w;
    }
}
