#pragma once

#include "SkinCanvas.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CFormSource;
class CGlyphRenderer;
struct FormDeco;

// Draws every picture of the skin: backgrounds (from the decorations of their forms), buttons
// as frame strips, fader handles, level meters, lamps, the wave display's marker strip, link
// buttons and the five bitmap fonts. The look: dark graphite panels, light grey labels, Deck A
// in warm amber and Deck B in cool cyan, lit states unmistakably brighter than idle ones.
class CSkinArtwork {
public:
    struct Picture {
        int32_t id;
        std::string file; // the source file name the picture map records
        int depth;        // 16, 24 or 32 bits in the TGA
        CSkinCanvas canvas;
    };

    // The glyph renderer outlives the artwork.
    explicit CSkinArtwork(CGlyphRenderer& glyphs);
    // The pictures in the picture map's stored order. A background whose form is missing is
    // drawn plain.
    std::vector<Picture> DrawAll(const std::vector<CFormSource>& forms);

    // How a frame of a button strip looks.
    enum class Look { Normal, Pressed, Hover, Disabled };
    // Draws a frame's content (icon or label) with the given ink into the frame at x.
    using Content =
        std::function<void(CSkinCanvas& canvas, int32_t x, int32_t state, Look look, uint32_t ink)>;

private:
    CSkinCanvas Background(int32_t width, int32_t height, const CFormSource* form);
    void Deco(CSkinCanvas& canvas, const FormDeco& deco);
    // Frames in the order the switch control reads them: the states, then the pressed states,
    // then the hover states, then one disabled frame.
    CSkinCanvas ButtonStrip(int32_t w, int32_t h, int32_t states, bool press, bool hover, bool disabled,
                            uint32_t accent, const Content& content);
    CSkinCanvas LabelButton(int32_t w, int32_t h, int32_t states, const std::vector<std::string>& labels,
                            uint32_t accent, bool disabled = true);
    void ButtonFace(CSkinCanvas& canvas, int32_t x, int32_t w, int32_t h, Look look, bool on,
                    uint32_t accent);
    CSkinCanvas Lamp(const std::string& label);
    CSkinCanvas LevelMeter(int32_t segmentWidth, int32_t segments, int32_t height);
    CSkinCanvas FaderHandle(int32_t w, int32_t h, uint32_t grip);
    CSkinCanvas MarkerStrip();
    CSkinCanvas RunLink();
    CSkinCanvas Tab(int32_t w, int32_t h);
    CSkinCanvas Wordmark(int32_t w, int32_t h, const std::string& text, uint32_t accent, uint32_t backdrop);
    Content Icon(const std::string& name) const;

    CGlyphRenderer& m_glyphs;
};
