#include "AutoResetEvent.h"

#include <cerrno>
#include <ctime>

CAutoResetEvent::CAutoResetEvent() noexcept
{
    sem_init(&m_semaphore, 0, 0);
}

CAutoResetEvent::~CAutoResetEvent()
{
    sem_destroy(&m_semaphore);
}

void CAutoResetEvent::Set() noexcept
{
    // Only the first set posts, so the count never exceeds one.
    if (!m_signalled.exchange(true, std::memory_order_acq_rel))
        sem_post(&m_semaphore);
}

void CAutoResetEvent::Reset() noexcept
{
    if (m_signalled.exchange(false, std::memory_order_acq_rel)) {
        while (sem_trywait(&m_semaphore) != 0 && errno == EINTR) {
        }
    }
}

void CAutoResetEvent::Wait() noexcept
{
    while (sem_wait(&m_semaphore) != 0 && errno == EINTR) {
    }
    // A set that lands between the wake-up and this store merges into the wake-up: the waiter
    // does its work after returning, so it sees what the setter changed.
    m_signalled.store(false, std::memory_order_release);
}

bool CAutoResetEvent::WaitFor(std::chrono::milliseconds timeout) noexcept
{
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const long long ns = deadline.tv_nsec + static_cast<long long>(timeout.count() % 1000) * 1000000;
    deadline.tv_sec += static_cast<time_t>(timeout.count() / 1000 + ns / 1000000000);
    deadline.tv_nsec = static_cast<long>(ns % 1000000000);
    int result = 0;
    while ((result = sem_clockwait(&m_semaphore, CLOCK_MONOTONIC, &deadline)) != 0 && errno == EINTR) {
    }
    if (result != 0)
        return false;
    m_signalled.store(false, std::memory_order_release);
    return true;
}
