#pragma once

#include "AudioThread.h"

#include <mutex>

// A std::mutex that refuses to be waited for on the audio thread: lock() aborts with the
// mutex's label when the marked thread calls it, whether or not the lock is free at that
// moment, so a path that could block is caught the first time it runs, not only when it loses
// a race. try_lock() never waits and is allowed everywhere; the render cycle uses it to skip a
// tick's work while another thread holds the lock. Meets the standard Lockable requirements, so
// std::lock_guard, std::scoped_lock, std::unique_lock and std::condition_variable_any take it.
//
// Where the guard is compiled out (see AudioThread.h) this is a std::mutex and nothing more:
// the label is not even stored.
class CGuardedMutex {
public:
    // label names the lock in the abort message ("CDeckPlayer load lock"); a string literal.
    explicit constexpr CGuardedMutex([[maybe_unused]] const char* label) noexcept
#ifdef QUANDEL_AUDIO_GUARD
        : m_label(label)
#endif
    {
    }
    CGuardedMutex(const CGuardedMutex&) = delete;
    CGuardedMutex& operator=(const CGuardedMutex&) = delete;

    // Any thread but the audio thread.
    void lock()
    {
#ifdef QUANDEL_AUDIO_GUARD
        AssertNotAudioThread(m_label);
#endif
        m_mutex.lock();
    }
    // Any thread, the audio thread included.
    bool try_lock() noexcept
    {
        return m_mutex.try_lock();
    }
    void unlock() noexcept
    {
        m_mutex.unlock();
    }

private:
    std::mutex m_mutex;
#ifdef QUANDEL_AUDIO_GUARD
    const char* m_label; // static storage: a string literal
#endif
};
