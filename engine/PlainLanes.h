#pragma once

#include <cstdint>
#include <cstring>

// Eight float lanes as two four-lane halves, with the few operations the mixer's eight-frame steps
// take, for the plain path. WideLanes is its twin for the AVX paths: every operation works lane by
// lane, the same way in both, so the two give the same bits. Max, Abs and ClampUnit are those of
// the mixer's four-lane stages, NaNs included.
struct PlainLanes {
    using Half = float __attribute__((vector_size(16)));
    using Mask = int32_t __attribute__((vector_size(16)));
    Half low;
    Half high;

    [[gnu::always_inline]] static PlainLanes Load(const float* from) noexcept
    {
        PlainLanes v;
        std::memcpy(&v.low, from, sizeof v.low);
        std::memcpy(&v.high, from + 4, sizeof v.high);
        return v;
    }
    [[gnu::always_inline]] static PlainLanes Splat(float value) noexcept
    {
        return {Half{} + value, Half{} + value};
    }
    [[gnu::always_inline]] void Store(float* to) const noexcept
    {
        std::memcpy(to, &low, sizeof low);
        std::memcpy(to + 4, &high, sizeof high);
    }
    [[gnu::always_inline]] friend PlainLanes operator+(const PlainLanes& a, const PlainLanes& b) noexcept
    {
        return {a.low + b.low, a.high + b.high};
    }
    [[gnu::always_inline]] friend PlainLanes operator*(const PlainLanes& a, float b) noexcept
    {
        return {a.low * b, a.high * b};
    }
    // std::max(a, b), lane by lane.
    [[gnu::always_inline]] friend PlainLanes Max(const PlainLanes& a, const PlainLanes& b) noexcept
    {
        return {a.low < b.low ? b.low : a.low, a.high < b.high ? b.high : a.high};
    }
    [[gnu::always_inline]] friend PlainLanes Abs(const PlainLanes& v) noexcept
    {
        return {reinterpret_cast<Half>(reinterpret_cast<Mask>(v.low) & 0x7FFFFFFF),
                reinterpret_cast<Half>(reinterpret_cast<Mask>(v.high) & 0x7FFFFFFF)};
    }
    // The larger magnitude of a and b, lane by lane, compared as integers so that a NaN (above
    // every number) is kept.
    [[gnu::always_inline]] friend PlainLanes LargerMagnitude(const PlainLanes& a,
                                                             const PlainLanes& b) noexcept
    {
        const auto larger = [](Half x, Half y) {
            const Mask p = reinterpret_cast<Mask>(x) & 0x7FFFFFFF;
            const Mask q = reinterpret_cast<Mask>(y) & 0x7FFFFFFF;
            return reinterpret_cast<Half>(p < q ? q : p);
        };
        return {larger(a.low, b.low), larger(a.high, b.high)};
    }
    // Within -1.0 .. +1.0: at most 1.0 after at least -1.0, as the four-lane stages clamp.
    [[gnu::always_inline]] friend PlainLanes ClampUnit(const PlainLanes& v) noexcept
    {
        const auto clamp = [](Half x) {
            const Half one = Half{} + 1.0f;
            x = -one > x ? -one : x;
            return one < x ? one : x;
        };
        return {clamp(v.low), clamp(v.high)};
    }
    // Lanes from count on set to 0.
    [[gnu::always_inline]] PlainLanes First(uint32_t count) const noexcept
    {
        const Mask index = {0, 1, 2, 3};
        const Mask limit = Mask{} + static_cast<int32_t>(count);
        return {reinterpret_cast<Half>(reinterpret_cast<Mask>(low) & (index < limit)),
                reinterpret_cast<Half>(reinterpret_cast<Mask>(high) & (index + 4 < limit))};
    }
    // Every lane before count within -1.0 .. +1.0 (so not a NaN).
    [[gnu::always_inline]] bool WithinUnit(uint32_t count) const noexcept
    {
        const Mask index = {0, 1, 2, 3};
        const Mask limit = Mask{} + static_cast<int32_t>(count);
        const Half one = Half{} + 1.0f;
        const PlainLanes size = Abs(*this);
        Mask fine = ((size.low <= one) | (index >= limit)) & ((size.high <= one) | (index + 4 >= limit));
        fine &= __builtin_shufflevector(fine, fine, 2, 3, 0, 1);
        fine &= __builtin_shufflevector(fine, fine, 1, 0, 3, 2);
        return fine[0] != 0;
    }
};
