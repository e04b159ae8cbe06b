#include "LevelQueue.h"

#include <algorithm>

namespace {

uint64_t Pack(int32_t timeMs, int32_t level, uint64_t sequence) noexcept
{
    return static_cast<uint32_t>(timeMs) | (static_cast<uint64_t>(std::clamp(level, 0, 255)) << 32) |
           ((sequence & 0xFFFFFF) << 40);
}

} // namespace

CLevelQueue::CLevelQueue()
{
    for (auto& entry : m_entries)
        entry.store(0, std::memory_order_relaxed);
}

void CLevelQueue::Push(int32_t timeMs, int32_t level) noexcept
{
    const uint64_t sequence = m_written.load(std::memory_order_relaxed);
    m_entries[sequence % kEntries].store(Pack(timeMs, level, sequence), std::memory_order_relaxed);
    m_written.store(sequence + 1, std::memory_order_release);
}

bool CLevelQueue::PopUntil(int32_t nowMs, bool takeMaximum, int32_t& level) noexcept
{
    bool found = false;
    int32_t result = 0;
    for (;;) {
        const uint64_t written = m_written.load(std::memory_order_acquire);
        // Entries older than one lap are gone; the slot the producer writes next is skipped too.
        if (written - m_read >= kEntries)
            m_read = written - (kEntries - 1);
        if (m_read >= written)
            break;
        const uint64_t packed = m_entries[m_read % kEntries].load(std::memory_order_relaxed);
        if ((packed >> 40) != (m_read & 0xFFFFFF)) {
            ++m_read; // overwritten while we looked: newer entries follow
            continue;
        }
        const auto timeMs = static_cast<int32_t>(static_cast<uint32_t>(packed));
        if (timeMs > nowMs)
            break;
        const auto entryLevel = static_cast<int32_t>((packed >> 32) & 0xFF);
        result = (takeMaximum && found) ? std::max(result, entryLevel) : entryLevel;
        found = true;
        ++m_read;
    }
    if (found)
        level = result;
    return found;
}
