#include "CoreEventQueue.h"

bool CCoreEventQueue::Push(const CoreEvent& event) noexcept
{
    const uint64_t written = m_written.load(std::memory_order_relaxed);
    if (written - m_read.load(std::memory_order_acquire) >= kCapacity) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    m_ring[written % kCapacity] = event;
    m_written.store(written + 1, std::memory_order_release);
    return true;
}

bool CCoreEventQueue::Pop(CoreEvent& event) noexcept
{
    const uint64_t read = m_read.load(std::memory_order_relaxed);
    if (read == m_written.load(std::memory_order_acquire))
        return false;
    event = m_ring[read % kCapacity];
    m_read.store(read + 1, std::memory_order_release);
    return true;
}
