#pragma once

#include "CoreEvent.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

// The audio thread's reports to the user-interface thread: a single-producer, single-consumer
// ring of fixed-size events. A full ring drops the new event and counts it, so the audio thread
// never waits for a window that stalls.
//
// Threads: Push on the audio thread only (no lock, no allocation); Pop and the counters on the
// user-interface thread only.
class CCoreEventQueue {
public:
    static constexpr size_t kCapacity = 1024;

    // Audio thread. False when the ring was full (the event is counted as lost).
    bool Push(const CoreEvent& event) noexcept;
    // User-interface thread. False when empty.
    bool Pop(CoreEvent& event) noexcept;
    // Events lost to a full ring since the last call.
    uint64_t TakeDropped() noexcept { return m_dropped.exchange(0, std::memory_order_relaxed); }

private:
    std::array<CoreEvent, kCapacity> m_ring{};
    alignas(64) std::atomic<uint64_t> m_written{0}; // by the producer
    alignas(64) std::atomic<uint64_t> m_read{0};    // by the consumer
    std::atomic<uint64_t> m_dropped{0};
};
