#pragma once

#include <atomic>
#include <chrono>
#include <semaphore.h>

// An event that releases one wait and then resets itself. Built on a semaphore, so setting it
// takes no lock and never blocks: the audio thread wakes the refill thread after every render.
// Several sets before a wait count as one.
class CAutoResetEvent {
public:
    CAutoResetEvent() noexcept;
    ~CAutoResetEvent();
    CAutoResetEvent(const CAutoResetEvent&) = delete;
    CAutoResetEvent& operator=(const CAutoResetEvent&) = delete;

    // Any thread, the audio thread included.
    void Set() noexcept;
    void Reset() noexcept;

    // The waiting thread: true when the event was set, false on time-out.
    void Wait() noexcept;
    bool WaitFor(std::chrono::milliseconds timeout) noexcept;

private:
    sem_t m_semaphore;
    std::atomic<bool> m_signalled{false}; // a post is outstanding
};
