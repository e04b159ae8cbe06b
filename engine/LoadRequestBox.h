#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// Hands load and unload requests for one deck to the loader thread without a lock, so that the
// audio thread (Automix, the Mix-File replay) may ask for a track as well as the user-interface
// thread. A writer fills a free slot and publishes it by exchanging the "latest" index; a slot it
// gets back in that exchange was never taken and goes back to the free ones. The loader takes the
// latest request by exchanging -1 in, so every published slot has exactly one owner. Four slots
// cover two writers filling, one published and one being read.
//
// Threads: Post from any two threads at once; Take from the loader thread only.
class CLoadRequestBox {
public:
    static constexpr int kMaxPath = 4096;

    struct Request {
        char path[kMaxPath] = {}; // empty: unload the deck
        int entryIndex = -1;
        float bpm = 0;
        float bpmQuality = 0;
        double firstBeatMs = -1.0; // where the track's beat grid starts; -1 = not known
        bool pause = false;
        uint32_t serial = 0;
    };

    // Publishes a request (null or empty path: unload) and returns its serial, or 0 when the
    // path does not fit: a cut path would name another file.
    uint32_t Post(const char* path, int entryIndex, float bpm, float bpmQuality, bool pause,
                  double firstBeatMs = -1.0) noexcept;
    // Takes the newest request; false when none waits.
    bool Take(Request& out) noexcept;
    // Whether a request waits to be taken.
    bool Waiting() const noexcept { return (m_latest.load(std::memory_order_acquire) & kNoSlot) != kNoSlot; }
    // Serial of the newest request posted (0 before the first).
    uint32_t LatestSerial() const noexcept
    {
        return static_cast<uint32_t>(m_latest.load(std::memory_order_acquire) >> 8);
    }

private:
    static constexpr int kSlots = 4;
    static constexpr int kFree = 0;
    static constexpr int kBusy = 1;

    static constexpr uint64_t kNoSlot = 0xFF;

    std::array<Request, kSlots> m_slots;
    std::array<std::atomic<int>, kSlots> m_state{};
    std::atomic<uint64_t> m_latest{kNoSlot}; // serial << 8 | published slot (kNoSlot: none)
};
