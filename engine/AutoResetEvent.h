#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// An event that releases one wait and then resets itself, over a condition variable.
class CAutoResetEvent {
public:
    // Any thread but the audio thread: never lost, the waiter is woken.
    void Set();
    // Audio thread: takes no lock. A wake-up that races with the waiter going to sleep can be
    // missed, so only an event whose waiter also has a time-out may be signalled this way.
    void Signal() noexcept;
    void Reset() noexcept { m_signalled.store(false, std::memory_order_relaxed); }

    // Waiting threads: true when the event was set, false on time-out.
    void Wait();
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::atomic<bool> m_signalled{false};
    std::mutex m_mutex;
    std::condition_variable m_condition;
};
