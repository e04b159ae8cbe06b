#pragma once

#include <cstdint>
#include <cstring>

// Eight float lanes in one vector: PlainLanes's twin for the AVX paths (only code compiled for AVX
// may use it). Every operation is PlainLanes's, lane by lane in the same way, so the two give the
// same bits.
struct WideLanes {
    using Lanes = float __attribute__((vector_size(32)));
    using Mask = int32_t __attribute__((vector_size(32)));
    Lanes lanes;

    [[gnu::always_inline]] static WideLanes Load(const float* from) noexcept
    {
        WideLanes v;
        std::memcpy(&v.lanes, from, sizeof v.lanes);
        return v;
    }
    [[gnu::always_inline]] static WideLanes Splat(float value) noexcept { return {Lanes{} + value}; }
    [[gnu::always_inline]] void Store(float* to) const noexcept { std::memcpy(to, &lanes, sizeof lanes); }
    [[gnu::always_inline]] friend WideLanes operator+(const WideLanes& a, const WideLanes& b) noexcept
    {
        return {a.lanes + b.lanes};
    }
    [[gnu::always_inline]] friend WideLanes operator*(const WideLanes& a, float b) noexcept
    {
        return {a.lanes * b};
    }
    [[gnu::always_inline]] friend WideLanes Max(const WideLanes& a, const WideLanes& b) noexcept
    {
        return {a.lanes < b.lanes ? b.lanes : a.lanes};
    }
    [[gnu::always_inline]] friend WideLanes Abs(const WideLanes& v) noexcept
    {
        return {reinterpret_cast<Lanes>(reinterpret_cast<Mask>(v.lanes) & 0x7FFFFFFF)};
    }
    [[gnu::always_inline]] friend WideLanes LargerMagnitude(const WideLanes& a, const WideLanes& b) noexcept
    {
        const Mask p = reinterpret_cast<Mask>(a.lanes) & 0x7FFFFFFF;
        const Mask q = reinterpret_cast<Mask>(b.lanes) & 0x7FFFFFFF;
        return {reinterpret_cast<Lanes>(p < q ? q : p)};
    }
    [[gnu::always_inline]] friend WideLanes ClampUnit(const WideLanes& v) noexcept
    {
        const Lanes one = Lanes{} + 1.0f;
        const Lanes x = -one > v.lanes ? -one : v.lanes;
        return {one < x ? one : x};
    }
    [[gnu::always_inline]] WideLanes First(uint32_t count) const noexcept
    {
        const Mask index = {0, 1, 2, 3, 4, 5, 6, 7};
        return {reinterpret_cast<Lanes>(reinterpret_cast<Mask>(lanes) &
                                        (index < Mask{} + static_cast<int32_t>(count)))};
    }
    [[gnu::always_inline]] bool WithinUnit(uint32_t count) const noexcept
    {
        const Mask index = {0, 1, 2, 3, 4, 5, 6, 7};
        Mask fine = (Abs(*this).lanes <= Lanes{} + 1.0f) | (index >= Mask{} + static_cast<int32_t>(count));
        fine &= __builtin_shufflevector(fine, fine, 4, 5, 6, 7, 0, 1, 2, 3);
        fine &= __builtin_shufflevector(fine, fine, 2, 3, 0, 1, 6, 7, 4, 5);
        fine &= __builtin_shufflevector(fine, fine, 1, 0, 3, 2, 5, 4, 7, 6);
        return fine[0] != 0;
    }
};
