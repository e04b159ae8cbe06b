#pragma once

#include <mutex>
#include <vector>

// Receives the 41 ms tick of the skin.
class CTimerClient {
public:
    virtual ~CTimerClient() = default;
    virtual void Tick() = 0;
};

// Starts and stops the window-system timer behind the tick; the Qt window installs one.
class CTimerDriver {
public:
    virtual ~CTimerDriver() = default;
    virtual void Start(int periodMs) = 0;
    virtual void Stop() = 0;
};

// The process-wide skin timer: one list of clients under one lock. The first client starts the
// driver, the last one leaving stops it; each Tick runs every client in registration order with
// the lock held. The core never waits on its own: whatever calls Tick (the Qt timer, a test)
// drives it.
class CGlobalTimer {
public:
    static constexpr int kPeriodMs = 41; // about 24 updates a second

    static void AddClient(CTimerClient* client);
    static void RemoveClient(CTimerClient* client);
    static void Tick();
    static bool IsRunning();
    // The driver outlives its installation; null uninstalls (a running timer is stopped first).
    static void SetDriver(CTimerDriver* driver);

private:
    static std::recursive_mutex& Lock();
    static std::vector<CTimerClient*>& Clients();
    static CTimerDriver*& Driver();
};
