#pragma once

#include "OutputDriver.h"
#include "PlayClock.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class CAudioBus;
class CAudioClient;
struct ClientRecord;
struct COutputDeviceInfo;

// Runs the render cycle between the application's audio client and the output drivers: one
// master that paces it and up to eight secondaries that receive every block the master
// receives. Each block is rendered once into the bus, then folded into every driver's own
// format. The engine reads the played position through the play clock.
class COutputManager : public CPlayClock {
public:
    static constexpr int kSecondaries = 8;
    static constexpr uint32_t kMaxTicks = 128;

    COutputManager();
    ~COutputManager() override;
    COutputManager(const COutputManager&) = delete;
    COutputManager& operator=(const COutputManager&) = delete;

    // User-interface thread. The records outlive the drivers opened with them.
    // The driver for the record's identifier, opened as the master; null when the record may
    // not be a master, no driver serves the identifier, or Open fails. Rounds the record's
    // block frames to whole ticks of 128 frames (1 .. 128 ticks).
    COutputDriver* OpenMaster(COutputDeviceInfo& record);
    // The same with a driver made by the caller (the offline renderer's, which has no
    // identifier).
    COutputDriver* OpenMaster(COutputDeviceInfo& record, std::unique_ptr<COutputDriver> driver);
    // Opens a secondary in the first free slot; the record takes the master's block frames.
    COutputDriver* AttachSecondary(COutputDeviceInfo& record);
    COutputDriver* AttachSecondary(COutputDeviceInfo& record, std::unique_ptr<COutputDriver> driver);
    // The client and its control record outlive the run. Returns 0.
    int Start(CAudioClient& client, ClientRecord& clientRecord);
    // Also called from the pacing thread when the client has nothing more to give or the
    // master's device went away.
    void Stop();
    void Close();

    // Pacing thread: the per-block entry. ticks > 0 replaces the tick count, -1 keeps it.
    // 1 when a block is already being made, else 0.
    int RenderNext(int ticks) noexcept;

    // Any thread.
    // The master's position when running and askDriver is set and the master answers, else
    // the frames rendered since start.
    uint32_t GetPlayedFrames(bool askDriver) const noexcept;
    uint32_t PlayClockMs() const noexcept override;
    bool Running() const noexcept { return m_running.load(std::memory_order_acquire); }
    uint32_t TicksPerBlock() const noexcept { return m_ticks; }
    COutputDriver* Master() const noexcept { return m_master.get(); }
    COutputDriver* Secondary(int slot) const noexcept;

private:
    // The bus group types that some attached device folds in.
    uint8_t HeardGroups() const noexcept;
    void WriteTo(COutputDriver& driver, const COutputDeviceInfo& record) noexcept;

    std::unique_ptr<COutputDriver> m_master;
    COutputDeviceInfo* m_masterRecord = nullptr; // owned by the caller
    std::array<std::unique_ptr<COutputDriver>, kSecondaries> m_secondaries;
    std::array<COutputDeviceInfo*, kSecondaries> m_secondaryRecords{}; // owned by the callers
    std::unique_ptr<CAudioBus> m_bus;
    // One block in the widest format (stereo 16-bit), allocated once per open.
    std::unique_ptr<uint8_t[]> m_conversion;
    uint32_t m_ticks = 1;                   // 1 .. 128 ticks of 128 frames per block
    uint16_t m_sampleRate = 44100;          // Hz, of the master record
    CAudioClient* m_client = nullptr;       // outlives the run
    ClientRecord* m_clientRecord = nullptr; // the client's flags byte lives here
    std::atomic<bool> m_running{false};
    // Only the master's pacing thread enters RenderNext; the flag turns away a call that
    // overlaps one still making its block.
    std::atomic<bool> m_busy{false};
    std::atomic<uint32_t> m_framesRendered{0}; // since Start; wraps after 27 hours at 44.1 kHz
};
