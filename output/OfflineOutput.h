#pragma once

#include "GuardedMutex.h"
#include "OutputDriver.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// A master without a device, for rendering as fast as the machine allows: Start renders block
// after block on the calling thread until Stop or until the client has nothing more to give.
// A hook runs before every block, so the caller can bring the decks' buffers up to date
// synchronously; with it every run of the same input gives the same bytes. It has no device
// identifier: the caller hands it to the manager's OpenMaster.
class COfflineOutput : public COutputDriver {
public:
    // Runs on the rendering thread before each block; may block and read files.
    using BlockHook = std::function<void()>;
    // Receives each block as the master's format makes it; may write files.
    using BlockSink = std::function<void(const void* samples, uint32_t bytes, uint32_t frames)>;

    explicit COfflineOutput(BlockHook beforeBlock = {}, BlockSink sink = {});

    // User-interface thread.
    int Open(COutputDeviceInfo& record, COutputManager& manager) override;
    int Close() override;
    // Renders until stopped; returns 0 when the run ended by Stop or the client's end.
    int Start() override;
    // From the rendering thread it ends the loop: called in the hook, before the next block is
    // rendered; called by the manager at the client's end, after the block being rendered. From
    // another thread it also waits until the loop is out.
    int Stop() override;

    // Rendering thread.
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;
    // Frames handed over so far: offline, every block is "played" once written.
    int GetPosition(uint32_t& frames) noexcept override;

    // Any thread.
    uint32_t BlocksRendered() const noexcept { return m_blocks.load(std::memory_order_relaxed); }

private:
    BlockHook m_beforeBlock;
    BlockSink m_sink;
    std::atomic<bool> m_run{false};
    std::atomic<uint32_t> m_framesWritten{0};
    std::atomic<uint32_t> m_blocks{0};
    std::thread::id m_loopThread; // guarded by m_lock
    bool m_looping = false;       // guarded by m_lock
    // Never taken inside the loop's blocks. std::condition_variable would want a plain
    // std::mutex; the _any form waits on the guarded one at the cost of an internal lock.
    CGuardedMutex m_lock{"COfflineOutput loop lock"};
    std::condition_variable_any m_loopDone;
};
