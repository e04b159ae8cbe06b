#pragma once

#include "AudioClient.h"
#include "AutoFadeRamp.h"
#include "ControlTable.h"
#include "DeckSync.h"

#include <cstdint>
#include <memory>

class CAudioEngine;

// The application's audio client: owns the control table and the engine, and runs the per-block
// cycle. For every tick of a block: the Automix step, the Mix-File replay step, ApplyControls
// (which passes every pending control value to the engine), the mix monitor flags, and the
// engine's render of that tick. The virtual slots keep their order; slots 3 and 5..7 belong to
// the application, which overrides the defaults here.
//
// Threads: Render and the slots it calls run on the audio thread; SetValue on the table may come
// from any thread. Start and Stop come from the user-interface thread.
class CControlHost : public CAudioClient {
public:
    CControlHost();
    ~CControlHost() override;
    CControlHost(const CControlHost&) = delete;
    CControlHost& operator=(const CControlHost&) = delete;

    // [0] and [2]: the engine's Start and Stop.
    void Start(uint8_t& flags) override;
    void Stop(uint8_t& flags) override;
    // [1] One block, tick by tick.
    int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
               uint16_t tickCount) noexcept override;
    // [3] The Automix step.
    virtual void ScheduleTimeLine() noexcept {}
    // [4] Passes every pending control value to the engine; elapsedMs is the tick length.
    virtual void ApplyControls(double elapsedMs) noexcept;
    // [5] The mix monitor lamps.
    virtual void UpdateMixMonitorFlags() noexcept {}
    // [6] "RUN-STOP" changed; the result becomes its stored value.
    virtual int OnRunStop(int value) noexcept { return value; }
    // [7] Loads path (null: unloads) into deck for the list entry entryId. This default puts the
    // deck's functions back to their defaults and queues the load.
    virtual void LoadTrackToDeck(int deck, const char* path, int entryId);

    // Hooks after the slots, for the Mix-File replay and the playback mode.
    virtual void ReplayMixTick() noexcept {}
    virtual bool MixReplayRunning() const noexcept { return false; }
    virtual bool AutomixMode() const noexcept { return false; }
    // After ApplyControls, before the engine renders the tick.
    virtual void TickApplied() noexcept {}

    // Any thread.
    CControlTable& Controls() noexcept { return m_controls; }
    CAudioEngine& Engine() noexcept { return *m_engine; }
    // Audio thread.
    CAutoFadeRamp& FadeRamp() noexcept { return m_fadeRamp; }
    CDeckSync& Sync() noexcept { return m_sync; }
    // Stops the fade at its target and shows the target on "X-Fader".
    void CompleteFade() noexcept;

private:
    void ApplyGlobals() noexcept;
    void ApplyTransport(int deck) noexcept;
    void ApplySync(double elapsedMs) noexcept;
    void ApplyDeckSettings(int deck) noexcept;
    void ApplyBeatLoop(int deck) noexcept;
    void ApplyDeckMotion(int deck) noexcept;
    void CopyAutoLevels() noexcept;
    // Clears the apply-pending bit of (id, channel); true when it was set.
    bool Pending(int32_t id, int channel) noexcept;
    int32_t Value(int32_t id, int channel) const noexcept { return m_controls.GetValue(id, channel); }
    // Shows value on (id, channel) unless an input stored something other than expected since it
    // was read; such a value stays and is applied on its own.
    void WriteBack(int32_t id, int channel, int32_t expected, int32_t value) noexcept;

    CControlTable m_controls;
    std::unique_ptr<CAudioEngine> m_engine; // large: the decks' stores are part of it
    CAutoFadeRamp m_fadeRamp;
    CDeckSync m_sync;
};
