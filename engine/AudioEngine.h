#pragma once

#include "AudioClient.h"
#include "AutoResetEvent.h"
#include "DeckPlayer.h"
#include "DecodeWorker.h"
#include "GuardedMutex.h"
#include "LevelQueue.h"
#include "LoadRequestBox.h"
#include "Meter.h"
#include "MixerDsp.h"
#include "Tick.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CPlayClock;

// The audio heart: two decks, the mixer, five meter queues, and the loader and refill threads.
// Render makes one tick at a time: each deck renders into its own bus group, the groups are
// collapsed to pairs, the mixer turns them into the main mix and the monitor mix, and five
// level readings are stamped with the tick's time for the meters.
class CAudioEngine : public CAudioClient {
public:
    static constexpr int kDecks = 2;
    static constexpr int kLevelQueues = 5; // one per meter but the overload

    CAudioEngine();
    // Stops both threads: the refill thread at its next wake-up, the loader after its load.
    ~CAudioEngine() override;
    CAudioEngine(const CAudioEngine&) = delete;
    CAudioEngine& operator=(const CAudioEngine&) = delete;

    // User-interface thread. Starts the loader and refill threads unless loading is synchronous.
    void Start(uint8_t& flags) override;
    // Also forgets the bus groups; the next Render registers them again.
    void Stop(uint8_t& flags) override;
    // Any thread, the audio thread included: no lock, no allocation. Queues path for deck (0 A,
    // 1 B), replacing a request not yet taken; a call off the audio thread starts the threads on
    // first use. A request with pause set holds the loader for 5 s after its load. Returns 1, or
    // 0 for an empty or overlong path.
    // firstBeatMs, when known (from analysing the track), starts the deck's beat grid there.
    int LoadTrack(int deck, const char* path, int entryIndex, float bpm, float bpmQuality, bool pause,
                  double firstBeatMs = -1.0) noexcept;
    // Silences the deck at once and asks the loader to free its track.
    void UnloadTrack(int deck) noexcept;
    // Offline rendering: no loader or refill threads; the caller serves the requests between
    // blocks with ServeRequestsNow, so that every run gives the same bytes.
    void SetSynchronousLoading(bool synchronous) noexcept;
    // Not the audio thread. Serves the waiting requests of both decks on this thread, then
    // refills the loaded decks by refillMs of play. Returns the number of requests served.
    int ServeRequestsNow(uint32_t refillMs);
    // The same between the blocks of an offline render, with each loaded deck's new blocks
    // decoded while the next blocks render: on a second thread after SetDecodeAhead(true),
    // otherwise before returning. A call does nothing until a request waits or a deck wants a
    // refill, which depends on the play positions alone, so both ways take the same steps; a
    // block that reaches frames still being decoded waits for them, so both render the same
    // bytes. FinishDecodeAhead waits for the decoding handed over and ends the step; the next
    // step does it first.
    int ServeRequestsAhead(uint32_t refillMs);
    void FinishDecodeAhead();
    // Not while a render runs: starts or stops the second thread.
    void SetDecodeAhead(bool secondThread);
    // The last "Master Volume" control value (0..255).
    int MasterVolumeValue() const noexcept { return m_masterVolumeValue.load(std::memory_order_relaxed); }
    // The driver whose play clock the meters and the decks' exact positions follow.
    void SetPlayClock(const CPlayClock* clock) noexcept;
    // Level of meter as audible now, 0..255; the last value when nothing new is due. The
    // overload reading is not queued: 0.
    int MeterLevel(Meter meter) noexcept;
    std::string TrackTitle(int deck) const;

    // Audio thread: no allocation, no blocking lock, no file access.
    int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
               uint16_t tickCount) noexcept override;
    // Mixer control number 0..39 set from its control value (0..255 for faders, 0/1 for
    // switches); called by the control dispatch between ticks.
    void SetMixerControl(int number, int controlValue) noexcept;

    // Any thread.
    CDeckPlayer& Deck(int deck) noexcept { return m_decks[deck & 1]; }
    const CDeckPlayer& Deck(int deck) const noexcept { return m_decks[deck & 1]; }
    CMixerDsp& Mixer() noexcept { return m_mixer; }
    float LevelReading(Meter meter) const noexcept { return m_mixer.LevelReading(meter); }
    // A load was asked for and the loader has not finished it (nor anything newer) yet.
    bool Loading(int deck) const noexcept
    {
        const uint32_t load = m_loadSerial[deck & 1].load(std::memory_order_acquire);
        return load != 0 && m_servedSerial[deck & 1].load(std::memory_order_acquire) < load;
    }
    int LoadedEntry(int deck) const noexcept
    {
        return m_loadedEntry[deck & 1].load(std::memory_order_relaxed);
    }
    // Loads finished by the loader thread, successful or not (for waiting in tests and tools).
    uint32_t LoadsCompleted() const noexcept { return m_loadsCompleted.load(std::memory_order_acquire); }

private:
    void StartThreads();
    void WakeLoader() noexcept;
    // Loader side: takes and carries out the newest request of deck; false when none waited.
    bool ServeRequest(int deck, bool allowPause);
    void LoaderThread();
    void RefillThread();
    void DecodeAhead(uint32_t deckMask);

    std::array<CLevelQueue, kLevelQueues> m_levelQueues;
    std::array<int32_t, kLevelQueues> m_lastMeterLevels{}; // user-interface thread
    bool m_groupsRegistered = false;
    uint8_t m_mainGroup = 0;
    uint8_t m_monitorGroup = 0;
    CMixerDsp m_mixer;
    std::array<std::array<float, kTickFrames>, 8> m_planes{}; // mixer inputs 0..3, outputs 4..7
    std::array<ClientRecord, kDecks> m_deckRecords{};
    std::atomic<int> m_masterVolumeValue{0};
    std::atomic<const CPlayClock*> m_clock{nullptr};

    std::array<CLoadRequestBox, kDecks> m_requests;
    CLoadRequestBox::Request m_takenRequest; // the loader's copy (4 KiB: not on its stack)
    std::atomic<bool> m_synchronous{false};
    // Serial of the newest load request (0: the newest is an unload; kPosting: being posted) and
    // of the newest request the loader finished. Serials rise, so "served < load" is loading.
    static constexpr uint32_t kPosting = UINT32_MAX;
    std::array<std::atomic<uint32_t>, kDecks> m_loadSerial;
    std::array<std::atomic<uint32_t>, kDecks> m_servedSerial;
    std::array<std::atomic<int>, kDecks> m_loadedEntry;
    std::atomic<uint32_t> m_loadsCompleted{0};

    CGuardedMutex m_threadLock{"CAudioEngine thread lock"}; // starting and stopping the threads
    std::atomic<bool> m_running{false};
    CAutoResetEvent m_loaderEvent;
    CAutoResetEvent m_refillEvent;
    CAutoResetEvent m_stopEvent; // cuts the loader's pause short on destruction
    std::thread m_loader;
    std::thread m_refill;

    std::array<CDeckPlayer, kDecks> m_decks;
    uint32_t m_aheadMask = 0;      // decks whose refill was begun and not yet ended
    uint32_t m_aheadElapsedMs = 0; // rendered since the last refill step
    // Declared after the decks, so stopped before them.
    std::unique_ptr<CDecodeWorker> m_decodeWorker;
};
