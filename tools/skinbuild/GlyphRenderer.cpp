#include "GlyphRenderer.h"

#include "SkinCanvas.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <vector>

struct CGlyphRenderer::Faces {
    FT_Library library = nullptr;
    FT_Face faces[3] = {nullptr, nullptr, nullptr};
};

CGlyphRenderer::CGlyphRenderer(std::string fontDir) : m_faces(new Faces)
{
    if (FT_Init_FreeType(&m_faces->library) != 0) {
        m_error = "FreeType could not start";
        return;
    }
    const char* files[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansCondensed-Bold.ttf"};
    for (int k = 0; k < 3; ++k) {
        const std::string path = fontDir + "/" + files[k];
        if (FT_New_Face(m_faces->library, path.c_str(), 0, &m_faces->faces[k]) != 0) {
            m_error = "cannot open " + path;
            return;
        }
    }
}

CGlyphRenderer::~CGlyphRenderer()
{
    for (FT_Face face : m_faces->faces)
        if (face != nullptr)
            FT_Done_Face(face);
    if (m_faces->library != nullptr)
        FT_Done_FreeType(m_faces->library);
    delete m_faces;
}

void* CGlyphRenderer::FaceFor(TypeFace face, int32_t pixelSize)
{
    FT_Face f = m_faces->faces[static_cast<int>(face)];
    if (f != nullptr)
        FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(pixelSize));
    return f;
}

int32_t CGlyphRenderer::TextWidth(std::string_view text, int32_t pixelSize, TypeFace face)
{
    auto f = static_cast<FT_Face>(FaceFor(face, pixelSize));
    if (f == nullptr)
        return 0;
    int32_t width = 0;
    for (const char c : text) {
        if (FT_Load_Char(f, static_cast<uint8_t>(c), FT_LOAD_DEFAULT) == 0)
            width += static_cast<int32_t>((f->glyph->advance.x + 32) >> 6);
    }
    return width;
}

int32_t CGlyphRenderer::DrawText(CSkinCanvas& canvas, int32_t x, int32_t baseline, std::string_view text,
                                 int32_t pixelSize, TypeFace face, uint32_t colour)
{
    auto f = static_cast<FT_Face>(FaceFor(face, pixelSize));
    if (f == nullptr)
        return 0;
    int32_t pen = x;
    for (const char c : text) {
        if (FT_Load_Char(f, static_cast<uint8_t>(c), FT_LOAD_RENDER) != 0)
            continue;
        const FT_Bitmap& bitmap = f->glyph->bitmap;
        for (unsigned row = 0; row < bitmap.rows; ++row)
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const uint8_t value =
                    bitmap.buffer[static_cast<int>(row) * bitmap.pitch + static_cast<int>(col)];
                canvas.Blend(pen + f->glyph->bitmap_left + static_cast<int32_t>(col),
                             baseline - f->glyph->bitmap_top + static_cast<int32_t>(row), colour,
                             static_cast<float>(value) / 255.0f);
            }
        pen += static_cast<int32_t>((f->glyph->advance.x + 32) >> 6);
    }
    return pen - x;
}

void CGlyphRenderer::DrawCentred(CSkinCanvas& canvas, int32_t x, int32_t y, int32_t w, int32_t h,
                                 std::string_view text, int32_t pixelSize, TypeFace face, uint32_t colour)
{
    const int32_t width = TextWidth(text, pixelSize, face);
    // Cap height of DejaVu is 0.73 of the pixel size.
    const auto cap = static_cast<int32_t>(std::lround(pixelSize * 0.73));
    DrawText(canvas, x + (w - width) / 2, y + (h + cap) / 2, text, pixelSize, face, colour);
}

CSkinCanvas CGlyphRenderer::MakeBitmapFont(int32_t glyphHeight, TypeFace face, uint32_t ink,
                                           uint32_t backdrop)
{
    // Two pixels less than the cell leaves room for descenders; the baseline sits at the
    // ascender so accents above capitals stay inside the cell.
    const int32_t pixelSize = glyphHeight - 2;
    auto f = static_cast<FT_Face>(FaceFor(face, pixelSize));
    const int32_t baseline =
        f != nullptr
            ? std::min<int32_t>(glyphHeight - 2, static_cast<int32_t>((f->size->metrics.ascender + 63) >> 6))
            : 0;
    std::vector<int32_t> widths(256, 1);
    std::vector<int32_t> shifts(256, 0);
    for (int k = 32; k < 256 && f != nullptr; ++k) {
        if (k >= 127 && k < 160)
            continue; // no printable character there in Latin-1
        if (FT_Load_Char(f, static_cast<FT_ULong>(k), FT_LOAD_DEFAULT) != 0)
            continue;
        const auto advance = static_cast<int32_t>((f->glyph->advance.x + 32) >> 6);
        const int32_t left = f->glyph->metrics.horiBearingX >> 6;
        shifts[static_cast<size_t>(k)] = std::max(0, -left);
        widths[static_cast<size_t>(k)] = std::max(1, advance + shifts[static_cast<size_t>(k)]);
    }
    int32_t total = 0;
    for (const int32_t w : widths)
        total += w;
    CSkinCanvas font(total, glyphHeight + 1, 0);
    CSkinCanvas cell(1, 1, 0);
    int32_t x = 0;
    for (int k = 0; k < 256; ++k) {
        font.Set(x, 0, 0xFFFF00FFu);
        if (k >= 33 && widths[static_cast<size_t>(k)] > 1) {
            CSkinCanvas glyph(widths[static_cast<size_t>(k)], glyphHeight + 1, 0);
            const char c = static_cast<char>(k);
            DrawText(glyph, shifts[static_cast<size_t>(k)], baseline + 1, std::string_view(&c, 1), pixelSize,
                     face, ink);
            glyph.Harden(backdrop, 80);
            for (int32_t j = 1; j <= glyphHeight; ++j)
                for (int32_t i = 0; i < glyph.Width(); ++i)
                    font.Set(x + i, j, glyph.At(i, j));
        }
        x += widths[static_cast<size_t>(k)];
    }
    return font;
}
