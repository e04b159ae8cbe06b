#pragma once

#include <cstdint>

struct COutputDeviceInfo;
class COutputManager;

// One output device. The manager opens it with a settings record, starts it, hands it every
// converted block, and closes it before destroying it. A master paces the render cycle by
// calling the manager's RenderNext whenever its device has room; a secondary only receives.
// The virtual slots keep their order.
class COutputDriver {
public:
    virtual ~COutputDriver() = default;

    // User-interface thread.
    // Opens the device for the record's format; 0 or an error number. Both pointers are kept:
    // the record and the manager outlive the driver.
    virtual int Open(COutputDeviceInfo& record, COutputManager& manager) = 0;
    // Stops if playing and releases the device and its buffers.
    virtual int Close() = 0;
    // A master primes its buffers by requesting blocks before it returns.
    virtual int Start() = 0;
    // Stops at once and discards queued audio.
    virtual int Stop() = 0;

    // Pacing thread, inside the manager's RenderNext: no allocation, no blocking lock.
    // Takes one converted block; 0 = accepted, nonzero = the block is lost for this driver.
    virtual int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept = 0;
    // Called on the master only, after every driver has received the block.
    virtual int Commit() noexcept { return 0; }

    // Any thread: frames audible so far; 0 = valid, 1 = not available.
    virtual int GetPosition(uint32_t& frames) noexcept
    {
        frames = 0;
        return 1;
    }

protected:
    COutputDeviceInfo* m_record = nullptr; // set by Open; owned by the caller
    COutputManager* m_manager = nullptr;   // set by Open; owns this driver
};
