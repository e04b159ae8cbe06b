#pragma once

#include <chrono>

// Wakes the MIDI thread from the ports' callbacks: an eventfd, which a callback signals with one
// write that never waits, and the thread waits on with a timeout.
// A counting semaphore's timed wait was tried first: the standard library polls it with growing
// sleeps instead of waking on release, which put milliseconds between a message and its write.
//
// Threads: Signal from any thread (no lock, no allocation); Wait on the MIDI thread.
class CMidiWake {
public:
    CMidiWake();
    ~CMidiWake();
    CMidiWake(const CMidiWake&) = delete;
    CMidiWake& operator=(const CMidiWake&) = delete;

    void Signal() noexcept;
    // Returns once signalled (every signal since the last Wait is taken at once) or after timeout.
    void Wait(std::chrono::milliseconds timeout) noexcept;

private:
    int m_fd = -1;
};
