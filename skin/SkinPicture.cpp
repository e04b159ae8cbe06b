#include "SkinPicture.h"

#include "TgaFile.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace {

std::atomic<int64_t> g_clippedOperations{0};

uint32_t Mix(uint32_t pixel, uint32_t halfColour)
{
    return halfColour + ((pixel >> 1) & 0x7F7F7F7Fu);
}

} // namespace

void CSkinPicture::NoteClipped()
{
    // Skin data decides most rectangles, so a rectangle reaching outside is counted, not fatal;
    // debug builds say so once, and the window tests expect none for well-formed forms.
    if (g_clippedOperations.fetch_add(1, std::memory_order_relaxed) == 0) {
#ifndef NDEBUG
        std::fprintf(stderr, "skin: a drawing operation reached outside its picture and was clipped\n");
#endif
    }
}

int64_t CSkinPicture::ClippedOperations()
{
    return g_clippedOperations.load(std::memory_order_relaxed);
}

int CSkinPicture::Resize(int32_t width, int32_t height)
{
    m_buffer.reset();
    m_pixels = nullptr;
    m_width = m_height = m_viewX = m_viewY = 0;
    if (width <= 0 || height <= 0)
        return 0;
    const uint64_t bytes = kReserveBytes + static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
    if (bytes > SIZE_MAX / 2)
        return 0;
    m_buffer.reset(new (std::nothrow) uint8_t[bytes]);
    if (!m_buffer)
        return 0;
    m_pixels = reinterpret_cast<uint32_t*>(m_buffer.get() + kReserveBytes);
    m_width = width;
    m_height = height;
    return 1;
}

void CSkinPicture::SetViewOrigin(int32_t x, int32_t y)
{
    m_viewX = x;
    m_viewY = y;
}

bool CSkinPicture::Clip(int32_t& x, int32_t& y, int32_t& w, int32_t& h) const
{
    if (m_pixels == nullptr || w <= 0 || h <= 0)
        return false;
    int64_t left = static_cast<int64_t>(x) + m_viewX;
    int64_t top = static_cast<int64_t>(y) + m_viewY;
    int64_t right = left + w;
    int64_t bottom = top + h;
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, m_width);
    bottom = std::min<int64_t>(bottom, m_height);
    if (left >= right || top >= bottom)
        return false;
    x = static_cast<int32_t>(left);
    y = static_cast<int32_t>(top);
    w = static_cast<int32_t>(right - left);
    h = static_cast<int32_t>(bottom - top);
    return true;
}

template <typename Op> void CSkinPicture::ForEachPixel(int32_t x, int32_t y, int32_t w, int32_t h, Op op)
{
    if (w <= 0 || h <= 0 || m_pixels == nullptr)
        return;
    const int32_t wantedW = w, wantedH = h;
    const bool inside = Clip(x, y, w, h);
    if (!inside || w != wantedW || h != wantedH)
        NoteClipped();
    if (!inside)
        return;
    for (int32_t row = 0; row < h; ++row) {
        uint32_t* p = m_pixels + static_cast<size_t>(y + row) * m_width + x;
        for (int32_t i = 0; i < w; ++i)
            p[i] = op(p[i]);
    }
}

template <typename Op>
void CSkinPicture::ForEachOutlinePixel(int32_t x, int32_t y, int32_t w, int32_t h, Op op)
{
    if (w <= 0 || h <= 0)
        return;
    ForEachPixel(x, y, w, 1, op);
    if (h > 1)
        ForEachPixel(x, y + h - 1, w, 1, op);
    if (h > 2) {
        ForEachPixel(x, y + 1, 1, h - 2, op);
        if (w > 1)
            ForEachPixel(x + w - 1, y + 1, 1, h - 2, op);
    }
}

void CSkinPicture::Fill(uint32_t value)
{
    if (m_pixels == nullptr)
        return;
    // The view origin may lie inside the picture; the fill stops at the end of the buffer.
    const int64_t total = static_cast<int64_t>(m_width) * m_height;
    const int64_t start = static_cast<int64_t>(m_viewY) * m_width + m_viewX;
    if (start < 0 || start >= total)
        return;
    std::fill(m_pixels + start, m_pixels + std::min(total, start + total), value);
}

void CSkinPicture::FillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t value)
{
    ForEachPixel(x, y, w, h, [value](uint32_t) { return value; });
}

void CSkinPicture::BlendRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    const uint32_t half = (colour >> 1) & 0x7F7F7F7Fu;
    ForEachPixel(x, y, w, h, [half](uint32_t p) { return Mix(p, half); });
}

void CSkinPicture::FrameRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t value)
{
    ForEachOutlinePixel(x, y, w, h, [value](uint32_t) { return value; });
}

void CSkinPicture::BlendFrame(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    const uint32_t half = (colour >> 1) & 0x7F7F7F7Fu;
    ForEachOutlinePixel(x, y, w, h, [half](uint32_t p) { return Mix(p, half); });
}

void CSkinPicture::SetPixel(int32_t x, int32_t y, uint32_t value)
{
    FillRect(x, y, 1, 1, value);
}

void CSkinPicture::Blit(int32_t dx, int32_t dy, int32_t w, int32_t h, const CSkinPicture& source, int32_t sx,
                        int32_t sy, bool transparent)
{
    if (w <= 0 || h <= 0 || m_pixels == nullptr || source.m_pixels == nullptr)
        return;
    // Absolute coordinates in both pictures, then one clip that keeps the pairs aligned.
    int64_t dl = static_cast<int64_t>(dx) + m_viewX, dt = static_cast<int64_t>(dy) + m_viewY;
    int64_t sl = static_cast<int64_t>(sx) + source.m_viewX, st = static_cast<int64_t>(sy) + source.m_viewY;
    int64_t cw = w, ch = h;
    const int64_t skipX = std::max<int64_t>({0, -dl, -sl});
    const int64_t skipY = std::max<int64_t>({0, -dt, -st});
    dl += skipX, sl += skipX, cw -= skipX;
    dt += skipY, st += skipY, ch -= skipY;
    cw = std::min({cw, m_width - dl, source.m_width - sl});
    ch = std::min({ch, m_height - dt, source.m_height - st});
    if (cw != w || ch != h)
        NoteClipped();
    if (cw <= 0 || ch <= 0)
        return;
    for (int64_t row = 0; row < ch; ++row) {
        uint32_t* to = m_pixels + (dt + row) * m_width + dl;
        const uint32_t* from = source.m_pixels + (st + row) * source.m_width + sl;
        if (!transparent) {
            std::memmove(to, from, static_cast<size_t>(cw) * 4);
            continue;
        }
        for (int64_t i = 0; i < cw; ++i) {
            if (from[i] > 0x00FFFFFFu)
                to[i] = from[i];
        }
    }
}

int CSkinPicture::LoadTga(CByteReader& stream)
{
    CSkinPicture loaded;
    if (CTgaFile::Read(stream, loaded) == 0)
        return 0;
    Swap(loaded);
    return 1;
}

uint32_t CSkinPicture::PixelAt(int32_t x, int32_t y) const
{
    if (m_pixels == nullptr || x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    return m_pixels[static_cast<size_t>(y) * m_width + x];
}

void CSkinPicture::Swap(CSkinPicture& other)
{
    std::swap(m_buffer, other.m_buffer);
    std::swap(m_pixels, other.m_pixels);
    std::swap(m_width, other.m_width);
    std::swap(m_height, other.m_height);
    std::swap(m_viewX, other.m_viewX);
    std::swap(m_viewY, other.m_viewY);
}
