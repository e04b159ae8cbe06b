#pragma once

#include <array>
#include <atomic>
#include <cstdint>

class CControlTable;

// What each deck is doing to the mix, for the window: whether the deck can be heard through the
// cross-fader, and which of the nine kinds of activity the mixer panel's lamps show were seen
// since the window last looked.
//
// Threads: Update runs on the audio thread once per tick, after the controls were applied; the
// reads come from the user-interface thread.
class CMixMonitor {
public:
    // Lamps of one deck, in the panel's order.
    enum Lamp : int {
        kCueing,
        kEqualizer,
        kFiltering,
        kLooping,
        kVolume,
        kPitchBend,
        kPitchShift,
        kReverse,
        kScratching,
        kLamps
    };
    // Values copied for the displays every tick.
    struct DeckValues {
        int32_t cueLoop = 0;
        int32_t reverse = 0;
        int32_t pitch = 2048;
        int32_t pitchShown = 2048;
        int32_t scratch = 32768;
    };

    // Audio thread: no allocation, no lock.
    void Update(const CControlTable& controls) noexcept;

    // User-interface thread.
    // The activity bits (1 << Lamp) seen since the last call for the deck; clears them.
    uint32_t TakeActivity(int deck) noexcept;
    bool Audible(int deck) const noexcept { return m_audible[deck & 1].load(std::memory_order_relaxed); }
    DeckValues Values(int deck) const noexcept;

private:
    struct AtomicValues {
        std::atomic<int32_t> cueLoop{0};
        std::atomic<int32_t> reverse{0};
        std::atomic<int32_t> pitch{2048};
        std::atomic<int32_t> pitchShown{2048};
        std::atomic<int32_t> scratch{32768};
    };
    std::array<std::atomic<bool>, 2> m_audible{};
    std::array<std::atomic<uint32_t>, 2> m_activity{};
    std::array<AtomicValues, 2> m_values;
    std::array<int32_t, 2> m_lastVolume{-1, -1}; // audio thread
};
