#include "SkinCanvas.h"

#include "SkinPicture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

uint32_t Channel(uint32_t c, int shift)
{
    return (c >> shift) & 0xFFu;
}

} // namespace

CSkinCanvas::CSkinCanvas(int32_t width, int32_t height, uint32_t fill)
    : m_width(width), m_height(height),
      m_pixels(static_cast<size_t>(width) * static_cast<size_t>(height), fill)
{
}

uint32_t CSkinCanvas::At(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    return m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
}

void CSkinCanvas::Set(int32_t x, int32_t y, uint32_t colour)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return;
    m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)] = colour;
}

uint32_t CSkinCanvas::Mix(uint32_t from, uint32_t to, float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const float a = static_cast<float>(Channel(from, shift));
        const float b = static_cast<float>(Channel(to, shift));
        out |= static_cast<uint32_t>(std::lround(a + (b - a) * t)) << shift;
    }
    return out;
}

void CSkinCanvas::Blend(int32_t x, int32_t y, uint32_t colour, float coverage)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height || coverage <= 0.0f)
        return;
    coverage = std::min(coverage, 1.0f);
    uint32_t& p = m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
    const float destAlpha = static_cast<float>(Channel(p, 24)) / 255.0f;
    const float outAlpha = coverage + destAlpha * (1.0f - coverage);
    if (outAlpha <= 0.0f)
        return;
    uint32_t out = static_cast<uint32_t>(std::lround(outAlpha * 255.0f)) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const float src = static_cast<float>(Channel(colour, shift));
        const float dst = static_cast<float>(Channel(p, shift));
        const float v = (src * coverage + dst * destAlpha * (1.0f - coverage)) / outAlpha;
        out |= static_cast<uint32_t>(std::lround(std::clamp(v, 0.0f, 255.0f))) << shift;
    }
    p = out;
}

void CSkinCanvas::FillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    for (int32_t j = std::max(0, y); j < std::min(m_height, y + h); ++j)
        for (int32_t i = std::max(0, x); i < std::min(m_width, x + w); ++i)
            Set(i, j, colour);
}

void CSkinCanvas::GradientRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t top, uint32_t bottom)
{
    for (int32_t j = 0; j < h; ++j)
        FillRect(x, y + j, w, 1,
                 Mix(top, bottom, h > 1 ? static_cast<float>(j) / static_cast<float>(h - 1) : 0.0f));
}

void CSkinCanvas::RoundRect(float x, float y, float w, float h, float radius, uint32_t top, uint32_t bottom)
{
    const auto x0 = static_cast<int32_t>(std::floor(x));
    const auto y0 = static_cast<int32_t>(std::floor(y));
    const auto x1 = static_cast<int32_t>(std::ceil(x + w));
    const auto y1 = static_cast<int32_t>(std::ceil(y + h));
    for (int32_t j = y0; j < y1; ++j) {
        const uint32_t colour =
            Mix(top, bottom, h > 1 ? (static_cast<float>(j) + 0.5f - y) / h : 0.0f) | 0xFF000000u;
        for (int32_t i = x0; i < x1; ++i) {
            // Coverage from the distance to the rounded outline, one pixel of soft edge.
            const float px = static_cast<float>(i) + 0.5f;
            const float py = static_cast<float>(j) + 0.5f;
            const float cx = std::clamp(px, x + radius, x + w - radius);
            const float cy = std::clamp(py, y + radius, y + h - radius);
            const float dx = px - cx;
            const float dy = py - cy;
            const float inside = radius - std::sqrt(dx * dx + dy * dy);
            const float edge = std::min({px - x, x + w - px, py - y, y + h - py}) + 0.5f;
            Blend(i, j, colour, std::clamp(std::min(inside + 0.5f, edge), 0.0f, 1.0f));
        }
    }
}

void CSkinCanvas::Polygon(const std::vector<float>& points, uint32_t colour)
{
    const size_t n = points.size() / 2;
    if (n < 3)
        return;
    float minX = points[0], maxX = points[0], minY = points[1], maxY = points[1];
    for (size_t k = 0; k < n; ++k) {
        minX = std::min(minX, points[2 * k]);
        maxX = std::max(maxX, points[2 * k]);
        minY = std::min(minY, points[2 * k + 1]);
        maxY = std::max(maxY, points[2 * k + 1]);
    }
    const auto inside = [&](float px, float py) {
        bool in = false;
        for (size_t a = 0, b = n - 1; a < n; b = a++) {
            const float ax = points[2 * a], ay = points[2 * a + 1];
            const float bx = points[2 * b], by = points[2 * b + 1];
            if ((ay > py) != (by > py) && px < (bx - ax) * (py - ay) / (by - ay) + ax)
                in = !in;
        }
        return in;
    };
    for (auto j = static_cast<int32_t>(std::floor(minY)); j < static_cast<int32_t>(std::ceil(maxY)); ++j) {
        for (auto i = static_cast<int32_t>(std::floor(minX)); i < static_cast<int32_t>(std::ceil(maxX));
             ++i) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    hits += inside(static_cast<float>(i) + (static_cast<float>(sx) + 0.5f) / 4.0f,
                                   static_cast<float>(j) + (static_cast<float>(sy) + 0.5f) / 4.0f)
                                ? 1
                                : 0;
            Blend(i, j, colour, static_cast<float>(hits) / 16.0f);
        }
    }
}

void CSkinCanvas::Disc(float cx, float cy, float radius, uint32_t colour)
{
    for (auto j = static_cast<int32_t>(cy - radius - 1); j <= static_cast<int32_t>(cy + radius + 1); ++j)
        for (auto i = static_cast<int32_t>(cx - radius - 1); i <= static_cast<int32_t>(cx + radius + 1);
             ++i) {
            const float d = std::hypot(static_cast<float>(i) + 0.5f - cx, static_cast<float>(j) + 0.5f - cy);
            Blend(i, j, colour, std::clamp(radius - d + 0.5f, 0.0f, 1.0f));
        }
}

void CSkinCanvas::Glow(float cx, float cy, float radius, uint32_t colour, float strength)
{
    for (auto j = static_cast<int32_t>(cy - radius); j <= static_cast<int32_t>(cy + radius); ++j)
        for (auto i = static_cast<int32_t>(cx - radius); i <= static_cast<int32_t>(cx + radius); ++i) {
            const float d =
                std::hypot(static_cast<float>(i) + 0.5f - cx, static_cast<float>(j) + 0.5f - cy) / radius;
            if (d < 1.0f)
                Blend(i, j, colour, strength * (1.0f - d) * (1.0f - d));
        }
}

void CSkinCanvas::Paste(const CSkinCanvas& source, int32_t x, int32_t y)
{
    for (int32_t j = 0; j < source.m_height; ++j)
        for (int32_t i = 0; i < source.m_width; ++i)
            Set(x + i, y + j, source.At(i, j));
}

void CSkinCanvas::Harden(uint32_t backdrop, uint8_t minAlpha)
{
    for (uint32_t& p : m_pixels) {
        const uint32_t alpha = p >> 24;
        if (alpha == 0xFFu || alpha == 0)
            continue;
        if (alpha < minAlpha) {
            p = 0;
            continue;
        }
        p = Mix(backdrop, p, static_cast<float>(alpha) / 255.0f) | 0xFF000000u;
    }
}

void CSkinCanvas::ToPicture(CSkinPicture& picture) const
{
    picture.Resize(m_width, m_height);
    std::memcpy(picture.Pixels(), m_pixels.data(), m_pixels.size() * sizeof(uint32_t));
}
