#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CSkinCanvas;

enum class TypeFace { Regular, Bold, CondensedBold };

// Draws text with FreeType from the DejaVu faces: the labels on buttons and panels, and the
// skin's bitmap fonts. Text bytes are Latin-1, as everywhere in the skin.
class CGlyphRenderer {
public:
    // fontDir holds DejaVuSans.ttf, DejaVuSans-Bold.ttf and DejaVuSansCondensed-Bold.ttf.
    explicit CGlyphRenderer(std::string fontDir);
    ~CGlyphRenderer();
    CGlyphRenderer(const CGlyphRenderer&) = delete;
    CGlyphRenderer& operator=(const CGlyphRenderer&) = delete;

    // Empty when FreeType or a face could not be opened.
    const std::string& Error() const { return m_error; }

    // Pen advance of the text in pixels.
    int32_t TextWidth(std::string_view text, int32_t pixelSize, TypeFace face);
    // Draws the text with its baseline at y; returns the advance.
    int32_t DrawText(CSkinCanvas& canvas, int32_t x, int32_t baseline, std::string_view text,
                     int32_t pixelSize, TypeFace face, uint32_t colour);
    // Centred in the box, the baseline placed so capitals sit in the middle.
    void DrawCentred(CSkinCanvas& canvas, int32_t x, int32_t y, int32_t w, int32_t h, std::string_view text,
                     int32_t pixelSize, TypeFace face, uint32_t colour);
    // A proportional bitmap font: a marker row with the start of each of the 256 glyphs, then
    // glyphHeight rows. Ink is opaque, its soft edges settled against backdrop.
    CSkinCanvas MakeBitmapFont(int32_t glyphHeight, TypeFace face, uint32_t ink, uint32_t backdrop);

private:
    struct Faces;
    void* FaceFor(TypeFace face, int32_t pixelSize);

    Faces* m_faces = nullptr;
    std::string m_error;
};
