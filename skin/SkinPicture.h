#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class CByteReader;

// A 32-bit picture in memory, 0xAARRGGBB per pixel, rows top to bottom: skin images, masks, fonts
// and the back picture of the window. Alpha 0 is transparent for transparent copies; any other
// alpha is opaque (no partial blending).
//
// Drawing coordinates are relative to the view origin. Callers keep their rectangles inside
// both pictures. Every operation clips to the pictures in any build, so a wrong rectangle (or a
// hostile form) can never write outside the buffer, and counts each clip it had to make.
//
// Rejected: asserting in debug builds. Most rectangles come from form resources, and a form
// that does not fit its picture would then abort a debug build instead of drawing less.
class CSkinPicture {
public:
    // The buffer keeps this many bytes in front of the pixels for a bitmap header, so the
    // window can describe the pixels to the screen without allocating.
    static constexpr int32_t kReserveBytes = 40;

    CSkinPicture() = default;
    CSkinPicture(const CSkinPicture&) = delete;
    CSkinPicture& operator=(const CSkinPicture&) = delete;

    // New size with undefined contents; view reset to the first pixel. 0 when a side is not
    // positive or memory runs out; the picture then holds no pixels.
    int Resize(int32_t width, int32_t height);
    void SetViewOrigin(int32_t x, int32_t y);

    // width x height pixels from the view origin, limited to the end of the picture.
    void Fill(uint32_t value);
    void FillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t value);
    // A 50 % mix per byte, alpha included: ((colour >> 1) & 0x7F7F7F7F) + ((p >> 1) & 0x7F7F7F7F).
    void BlendRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
    void FrameRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t value);
    void BlendFrame(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
    // Copies w x h pixels from source (sx, sy) to (dx, dy); a transparent copy writes only source
    // pixels whose alpha is not 0.
    void Blit(int32_t dx, int32_t dy, int32_t w, int32_t h, const CSkinPicture& source, int32_t sx,
              int32_t sy, bool transparent);
    void SetPixel(int32_t x, int32_t y, uint32_t value);

    // Replaces the picture with a TGA image (16, 24 or 32 bits); 0 and the picture unchanged
    // when the image is refused.
    int LoadTga(CByteReader& stream);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    int32_t ViewX() const { return m_viewX; }
    int32_t ViewY() const { return m_viewY; }
    bool HasPixels() const { return m_pixels != nullptr; }
    uint32_t* Pixels() { return m_pixels; }
    const uint32_t* Pixels() const { return m_pixels; }
    // Pixel at absolute (x, y), ignoring the view; 0 outside the picture.
    uint32_t PixelAt(int32_t x, int32_t y) const;
    // The bytes in front of the pixels (kReserveBytes of them).
    uint8_t* Reserve() { return m_buffer.get(); }

    void Swap(CSkinPicture& other);

    // Operations that reached outside a picture and were clipped, process-wide.
    static int64_t ClippedOperations();

private:
    static void NoteClipped();
    // Clips the rectangle (in view coordinates) to the picture; false when nothing is left.
    bool Clip(int32_t& x, int32_t& y, int32_t& w, int32_t& h) const;
    template <typename Op> void ForEachPixel(int32_t x, int32_t y, int32_t w, int32_t h, Op op);
    template <typename Op> void ForEachOutlinePixel(int32_t x, int32_t y, int32_t w, int32_t h, Op op);

    std::unique_ptr<uint8_t[]> m_buffer;
    uint32_t* m_pixels = nullptr; // first pixel, kReserveBytes into m_buffer
    int32_t m_width = 0;          // pixels per row, also the row stride
    int32_t m_height = 0;
    int32_t m_viewX = 0; // view origin in absolute pixels
    int32_t m_viewY = 0;
};
