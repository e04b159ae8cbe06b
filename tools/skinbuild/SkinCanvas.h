#pragma once

#include <cstdint>
#include <vector>

class CSkinPicture;

// A drawing surface for the skin's artwork: 0xAARRGGBB pixels with soft edges. Shapes blend by
// their coverage; on a transparent pixel the coverage becomes the alpha. The skin itself knows
// only transparent or opaque pixels, so Harden settles every partial alpha against the colour the
// picture will be drawn on before the picture is written.
class CSkinCanvas {
public:
    CSkinCanvas(int32_t width, int32_t height, uint32_t fill = 0);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    uint32_t At(int32_t x, int32_t y) const;
    void Set(int32_t x, int32_t y, uint32_t colour);
    // Blends an opaque colour over the pixel with coverage 0..1.
    void Blend(int32_t x, int32_t y, uint32_t colour, float coverage);

    void FillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
    // Top to bottom from the first colour to the second.
    void GradientRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t top, uint32_t bottom);
    // A rectangle with corners of the radius, filled with a vertical gradient, anti-aliased.
    void RoundRect(float x, float y, float w, float h, float radius, uint32_t top, uint32_t bottom);
    // A filled polygon (points as x0, y0, x1, y1, ...), sampled 4 x 4 per pixel.
    void Polygon(const std::vector<float>& points, uint32_t colour);
    void Disc(float cx, float cy, float radius, uint32_t colour);
    // A soft round glow: full colour at the centre fading to nothing at the radius.
    void Glow(float cx, float cy, float radius, uint32_t colour, float strength);
    void HLine(int32_t x, int32_t y, int32_t w, uint32_t colour) { FillRect(x, y, w, 1, colour); }
    void VLine(int32_t x, int32_t y, int32_t h, uint32_t colour) { FillRect(x, y, 1, h, colour); }
    // Copies a canvas in, pixel for pixel.
    void Paste(const CSkinCanvas& source, int32_t x, int32_t y);
    // Partial alpha becomes opaque (blended over backdrop) from minAlpha on, else transparent.
    void Harden(uint32_t backdrop, uint8_t minAlpha = 96);
    void ToPicture(CSkinPicture& picture) const;

    static uint32_t Mix(uint32_t from, uint32_t to, float t);

private:
    int32_t m_width;
    int32_t m_height;
    std::vector<uint32_t> m_pixels;
};
