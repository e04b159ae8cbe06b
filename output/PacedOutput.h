#pragma once

#include "OutputDriver.h"

#include <atomic>
#include <cstdint>

class CPacer;

// What the drivers whose pacing thread asks for the blocks share: Open, Close, Start and Stop
// in the same order for every device, the priming of two blocks before a master's pacing
// thread starts, the position the pacing thread publishes, and the count of blocks taken and
// lost. A device kind adds how its device opens, prepares, takes a block, drops what it holds
// and closes, and which pacing thread it runs. A derived driver closes in its own destructor:
// Close calls its hooks.
class CPacedOutput : public COutputDriver {
public:
    // User-interface thread.
    // Closes what was open, keeps the record and the manager, and opens the device.
    int Open(COutputDeviceInfo& record, COutputManager& manager) override;
    // Stops if playing, ends the pacing thread and closes the device.
    int Close() override;
    // A master queues two blocks before it returns and then starts its pacing thread; 1 when
    // the device cannot play or a block could not be made.
    int Start() override;
    int Stop() override;

    // Pacing thread: no allocation, no blocking lock.
    // 1 when not playing or the device does not take the block (it is lost).
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;

    // Any thread.
    int GetPosition(uint32_t& frames) noexcept override;
    uint32_t BlocksWritten() const noexcept { return m_blocksWritten.load(std::memory_order_relaxed); }
    uint32_t BlocksDropped() const noexcept { return m_blocksDropped.load(std::memory_order_relaxed); }

protected:
    CPacedOutput() = default;

    // User-interface thread.
    // The device's part of Open; m_record and m_manager are set. 0 or an error number.
    virtual int OpenDevice(COutputDeviceInfo& record) = 0;
    // Releases the device once its pacing thread has ended; Close's result.
    virtual int CloseDevice() = 0;
    // Makes the device ready for a new run; 0, or 1 when it cannot play.
    virtual int PrepareDevice() = 0;
    // Starts the pacing thread over the primed device; false when it cannot.
    virtual bool StartPacing() = 0;
    // The pacing thread, which lives as long as the driver.
    virtual CPacer& Pacing() noexcept = 0;

    // Pacing thread (a secondary's Write: inside the master's render cycle).
    // Hands one block to the device; 0 when it took it.
    virtual int WriteBlock(const void* samples, uint32_t bytes, uint32_t frames) noexcept = 0;

    // Any thread.
    // Discards what the device holds.
    virtual void DropDevice() noexcept = 0;
    virtual bool DeviceOpen() const noexcept = 0;
    // false for the secondary of a four-channel device, which plays through its master's.
    virtual bool OwnsDevice() const noexcept { return true; }

    bool IsMaster() const noexcept;
    bool Playing() const noexcept { return m_playing.load(std::memory_order_acquire); }
    void SetPlaying(bool playing) noexcept { m_playing.store(playing, std::memory_order_release); }

private:
    std::atomic<bool> m_playing{false};
    std::atomic<uint32_t> m_blocksWritten{0};
    std::atomic<uint32_t> m_blocksDropped{0};
};
