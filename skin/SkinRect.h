#pragma once

#include <algorithm>
#include <cstdint>

// A rectangle in pixels, right and bottom exclusive.
struct SkinRect {
    // Coordinates a form may use. Forms from files are held to this range, so sums and products
    // of coordinates and sizes stay far from overflow whatever a file claims.
    static constexpr int32_t kMaxCoordinate = 1 << 20;
    static int32_t ClampCoordinate(int64_t value)
    {
        return static_cast<int32_t>(std::clamp<int64_t>(value, -kMaxCoordinate, kMaxCoordinate));
    }
    static SkinRect Clamped(int64_t left, int64_t top, int64_t right, int64_t bottom)
    {
        return {ClampCoordinate(left), ClampCoordinate(top), ClampCoordinate(right), ClampCoordinate(bottom)};
    }
    // A rectangle of the given size at (left, top), held to the coordinate range.
    static SkinRect AtOrigin(const SkinRect& at, int64_t width, int64_t height)
    {
        return Clamped(at.left, at.top, int64_t{at.left} + width, int64_t{at.top} + height);
    }

    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool Contains(const SkinRect& r) const
    {
        return r.left >= left && r.right <= right && r.top >= top && r.bottom <= bottom;
    }
    SkinRect Offset(int32_t dx, int32_t dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    // The bounding rectangle; an empty side does not count.
    SkinRect Union(const SkinRect& r) const
    {
        if (IsEmpty())
            return r;
        if (r.IsEmpty())
            return *this;
        return {std::min(left, r.left), std::min(top, r.top), std::max(right, r.right),
                std::max(bottom, r.bottom)};
    }
    SkinRect Intersect(const SkinRect& r) const
    {
        return {std::max(left, r.left), std::max(top, r.top), std::min(right, r.right),
                std::min(bottom, r.bottom)};
    }
    // What is left of this rectangle outside r, where that is a rectangle: r must span a whole
    // side to cut it; otherwise the rectangle stays as it is.
    SkinRect Subtract(const SkinRect& r) const
    {
        if (r.IsEmpty() || Intersect(r).IsEmpty())
            return *this;
        if (r.Contains(*this))
            return {};
        SkinRect rest = *this;
        if (r.left <= left && r.right >= right) {
            if (r.top <= top)
                rest.top = std::max(top, r.bottom);
            else if (r.bottom >= bottom)
                rest.bottom = std::min(bottom, r.top);
        } else if (r.top <= top && r.bottom >= bottom) {
            if (r.left <= left)
                rest.left = std::max(left, r.right);
            else if (r.right >= right)
                rest.right = std::min(right, r.left);
        }
        return rest;
    }
    bool operator==(const SkinRect&) const = default;
};
