#include "AutoResetEvent.h"

void CAutoResetEvent::Set()
{
    {
        std::lock_guard lock(m_mutex);
        m_signalled.store(true, std::memory_order_release);
    }
    m_condition.notify_one();
}

void CAutoResetEvent::Signal() noexcept
{
    m_signalled.store(true, std::memory_order_release);
    m_condition.notify_one();
}

void CAutoResetEvent::Wait()
{
    std::unique_lock lock(m_mutex);
    m_condition.wait(lock, [this] { return m_signalled.exchange(false, std::memory_order_acq_rel); });
}

bool CAutoResetEvent::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_condition.wait_for(lock, timeout,
                                [this] { return m_signalled.exchange(false, std::memory_order_acq_rel); });
}
