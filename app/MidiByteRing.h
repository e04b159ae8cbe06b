#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

// The bytes a MIDI port delivers, handed from the port's callback thread (for JACK its process
// thread, which must never wait) to the MIDI thread: a single-producer, single-consumer ring of
// fixed-size pieces with the time each arrived. A full ring drops what comes and marks the next
// piece that fits, so the reader starts that one afresh instead of reading running status across
// the gap; the memory is fixed however fast a controller sends.
//
// Threads: Push on the port's callback thread (no lock, no allocation); Pop on the MIDI thread.
class CMidiByteRing {
public:
    static constexpr size_t kCapacity = 4096; // pieces
    static constexpr size_t kPieceBytes = 16;

    struct Piece {
        int64_t arrivalNs = 0; // steady clock
        uint8_t size = 0;
        bool afterLoss = false;
        uint8_t bytes[kPieceBytes] = {};
    };

    // Callback thread. Longer deliveries take several pieces; false when some did not fit.
    bool Push(const uint8_t* bytes, size_t size, int64_t arrivalNs) noexcept;
    // MIDI thread. False when empty.
    bool Pop(Piece& piece) noexcept;
    // Pieces lost to a full ring, counted since construction.
    uint64_t Dropped() const noexcept { return m_dropped.load(std::memory_order_relaxed); }

private:
    std::array<Piece, kCapacity> m_ring{};
    alignas(64) std::atomic<uint64_t> m_written{0};
    alignas(64) std::atomic<uint64_t> m_read{0};
    std::atomic<uint64_t> m_dropped{0};
    bool m_lost = false; // producer only: the next piece follows a loss
};
