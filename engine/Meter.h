#pragma once

// The mixer's level readings, named by what each one measures. Every reading is 0 .. 1 on the
// meter curve.
enum class Meter : int {
    DeckA,       // deck A's level: before its volume while it is pre-listened, after it otherwise
    DeckB,       // deck B's, likewise
    DeckAToMain, // what deck A gives the main mix: after volume, cross-fader, mute and punch-in
    DeckBToMain, // deck B's, likewise
    Master,      // the master output
    Overload,    // 1.0 while the limiter's overload indication is held, else 0
};

inline constexpr int kMeters = static_cast<int>(Meter::Overload) + 1;

// Deck 0 (A) or 1 (B).
constexpr Meter DeckMeter(int deck) noexcept
{
    return deck == 0 ? Meter::DeckA : Meter::DeckB;
}
constexpr Meter DeckToMainMeter(int deck) noexcept
{
    return deck == 0 ? Meter::DeckAToMain : Meter::DeckBToMain;
}
