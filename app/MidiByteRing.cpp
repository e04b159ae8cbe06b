#include "MidiByteRing.h"

#include <algorithm>
#include <cstring>

bool CMidiByteRing::Push(const uint8_t* bytes, size_t size, int64_t arrivalNs) noexcept
{
    while (size > 0) {
        const uint64_t written = m_written.load(std::memory_order_relaxed);
        if (written - m_read.load(std::memory_order_acquire) >= kCapacity) {
            m_dropped.fetch_add((size + kPieceBytes - 1) / kPieceBytes, std::memory_order_relaxed);
            m_lost = true;
            return false;
        }
        Piece& piece = m_ring[written % kCapacity];
        const size_t take = std::min(size, kPieceBytes);
        std::memcpy(piece.bytes, bytes, take);
        piece.size = static_cast<uint8_t>(take);
        piece.arrivalNs = arrivalNs;
        piece.afterLoss = m_lost;
        m_lost = false;
        m_written.store(written + 1, std::memory_order_release);
        bytes += take;
        size -= take;
    }
    return true;
}

bool CMidiByteRing::Pop(Piece& piece) noexcept
{
    const uint64_t read = m_read.load(std::memory_order_relaxed);
    if (read == m_written.load(std::memory_order_acquire))
        return false;
    piece = m_ring[read % kCapacity];
    m_read.store(read + 1, std::memory_order_release);
    return true;
}
