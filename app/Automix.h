#pragma once

#include "TimeLine.h"

#include <array>
#include <atomic>
#include <cstdint>

class CPlayerCore;
class CPlaySnapshot;

// The Automix controller: once per tick, before the tick is rendered, it keeps the two decks in
// line with the Time Line (the current item's track on its deck, the next one waiting on the
// other), starts each change-over when the current track's remaining time reaches the fade
// time, and moves on when the cross-fade ramp has finished. In DJ-Mix it only moves the Time
// Line position with the mix.
//
// Threads: Step runs on the audio thread and reads the Time Line only from the core's snapshot
// of it, never the lists themselves. The commands run on the user-interface thread and only set
// request fields (transition, pending seek, the item to play) and control functions, which Step
// takes on its next tick; the current item and position it publishes for the displays.
class CAutomix {
public:
    // Where a change-over falls: it starts now or not, and its ramp in seconds (negative: a
    // pause before the next track).
    struct ChangeOverPlan {
        bool start = false;
        double rampSeconds = 0.0;
    };
    static constexpr float kLevelTargetLufs = -14.0f;
    static constexpr int32_t kUnityDeckVolume = 191; // "Deck Volume" at 0 dB

    // Transition states.
    static constexpr int kIdle = 0;
    static constexpr int kNextRequested = 1;
    static constexpr int kPreviousRequested = 2;
    static constexpr int kChangeOver = -1;
    static constexpr int kReturning = -2;

    explicit CAutomix(CPlayerCore& core) : m_core(core) {}

    // Audio thread: the ten steps of one tick, on the Time Line of snapshot (null: nothing yet).
    void Step(const CPlaySnapshot* snapshot) noexcept;
    // "RUN-STOP" went on: a Time Line run to its end starts again from its first item.
    void OnStart() noexcept;

    // User-interface thread.
    void Next();
    void Previous();
    void SeekForward(bool coarse);
    void SeekBackward(bool coarse);
    void JumpTo(int index);
    void Home();
    void End();
    // A cross-fader key or drag starts (+1) or ends (-1); never below 0.
    void AddManualHold(int delta) noexcept;
    // A playback-mode change: the next step ends a running ramp, and forgets the transition and
    // any pending seek.
    void Reset() noexcept;

    // Audio thread, after a step: the seconds deck has left to play, to its last audible frame
    // when silence is skipped.
    double RemainingOfSound(int deck) const noexcept;

    // Any thread.
    // The current and the next item as the step plays them: when the whole list repeats, the
    // first item follows the last, on the other deck, and the decks of every later round follow
    // from there (a list of odd length swaps its decks each round).
    TimeLineCursor Cursor() const noexcept;
    // Seconds the change-over into a track of nextSeconds overlaps the two tracks: the fade time
    // when the next track is long enough for an early change-over, a negative pause as it is, 0
    // when the change-over comes at the end of the current track.
    static double ChangeOverOverlapSeconds(double fadeSeconds, double nextSeconds) noexcept;
    // The change-over out of a track with remainingSeconds left to play (to its last audible
    // frame when silence is skipped) into one of nextSeconds: an early one, fadeSeconds before
    // the end, when the next track is long enough; else at the end. The ramp never outlasts
    // what is left.
    static ChangeOverPlan PlanChangeOver(double fadeSeconds, double remainingSeconds,
                                         double nextSeconds) noexcept;
    // remainingSeconds of a track of lengthSeconds counted to its last audible frame instead
    // of its end, never below 0; as it is when the track was not analysed (audibleEndMs < 0).
    static double AudibleRemainingSeconds(double remainingSeconds, double lengthSeconds,
                                          double audibleEndMs) noexcept;
    // The gain that plays a track at kLevelTargetLufs without its true peak passing 0 dBTP; 0
    // for a track whose loudness was not measured (loudnessLufs 0).
    static double LevelGainDb(float loudnessLufs, float truePeakDb) noexcept;
    // The item playing, and the position on the displayed Time Line in ms, as the step left them.
    int CurrentIndex() const noexcept { return m_current.load(std::memory_order_relaxed); }
    uint32_t PositionMs() const noexcept { return m_position.load(std::memory_order_relaxed); }
    // A command chose an item the step has not taken yet.
    bool ItemAsked() const noexcept
    {
        return m_indexRequest.load(std::memory_order_acquire) != kNoIndexRequest;
    }
    int CurrentDeck() const noexcept { return m_currentDeck.load(std::memory_order_relaxed); }
    void SetCurrentDeck(int deck) noexcept { m_currentDeck.store(deck & 1, std::memory_order_relaxed); }
    int Transition() const noexcept { return m_transition.load(std::memory_order_relaxed); }
    void SetTransition(int transition) noexcept { m_transition.store(transition, std::memory_order_relaxed); }
    float FadeTime() const noexcept { return m_fadeTime.load(std::memory_order_relaxed); }
    void SetFadeTime(float seconds) noexcept { m_fadeTime.store(seconds, std::memory_order_relaxed); }
    bool RepeatSingle() const noexcept { return m_repeatSingle.load(std::memory_order_relaxed); }
    void SetRepeatSingle(bool on) noexcept { m_repeatSingle.store(on, std::memory_order_relaxed); }
    bool RepeatAll() const noexcept { return m_repeatAll.load(std::memory_order_relaxed); }
    void SetRepeatAll(bool on) noexcept { m_repeatAll.store(on, std::memory_order_relaxed); }
    int ManualHold() const noexcept { return m_manualHold.load(std::memory_order_relaxed); }
    // "Skip silence": each track starts at its first audible frame and the change-over out of
    // it ends at its last (a pause counts from there). Analysed tracks only.
    bool SkipSilence() const noexcept { return m_skipSilence.load(std::memory_order_relaxed); }
    void SetSkipSilence(bool on) noexcept { m_skipSilence.store(on, std::memory_order_relaxed); }
    // "Level tracks": each track loaded gets the "Deck Volume" of LevelGainDb.
    bool LevelTracks() const noexcept { return m_levelTracks.load(std::memory_order_relaxed); }
    void SetLevelTracks(bool on) noexcept { m_levelTracks.store(on, std::memory_order_relaxed); }

private:
    // What the commands ask of the next step; the ramp belongs to the audio thread.
    static constexpr uint32_t kCompleteRamp = 1;
    static constexpr uint32_t kNextAsked = 2;
    static constexpr uint32_t kPreviousAsked = 4;
    static constexpr uint32_t kResetAsked = 8;
    static constexpr uint32_t kHomeAsked = 16; // with the index request: from the first deck
    static constexpr int kNoIndexRequest = -1000000;

    void Ask(uint32_t request) noexcept { m_requests.fetch_or(request, std::memory_order_acq_rel); }
    void TakeRequests() noexcept;
    void StepDjMix() noexcept;
    void FollowSnapshot(const CPlaySnapshot* snapshot) noexcept;
    void SetCurrent(int index) noexcept;
    // User-interface thread: the next step plays item index.
    void AskForItem(int index) noexcept;
    void FollowManualHold(bool running) noexcept;
    void KeepDecksInLine() noexcept;
    void ActOnTransition() noexcept;
    void UpdatePosition() noexcept;
    bool Running() const noexcept;
    bool DeckHolds(int deck, int32_t track) const noexcept;
    void LoadItemTrack(int deck, int32_t track) noexcept;
    // A deck just loaded gets its level and skips its leading silence; a stopped one that was
    // rewound skips it again.
    void PrepareDeck(int deck, int32_t track) noexcept;
    void SetControl(int32_t id, int channel, int32_t value) noexcept;
    void StartRamp(double durationSeconds, int towardsDeck) noexcept;
    double PlayedSeconds(int deck) const noexcept;

    CPlayerCore& m_core;                       // owns this controller
    const CPlaySnapshot* m_snapshot = nullptr; // audio thread: the one taken for this tick
    uint64_t m_snapshotSerial = 0;             // audio thread
    uint32_t m_generation = UINT32_MAX;        // audio thread: of the Time Line being played
    int32_t m_currentTrack = -1;               // audio thread: the entry of the current item
    std::atomic<int> m_current{0};             // written by the audio thread
    std::atomic<uint32_t> m_position{0};       // ms; written by the audio thread
    std::atomic<int> m_indexRequest{kNoIndexRequest};
    std::atomic<int> m_currentDeck{0};
    std::atomic<int> m_deckSwap{0}; // 1: every item plays on the other deck this round
    std::atomic<int> m_transition{kIdle};
    std::atomic<int> m_pendingSeek{0}; // "Deck Seek Position" units, applied on the next tick
    std::atomic<float> m_fadeTime{10.0f};
    std::atomic<int> m_manualHold{0};
    bool m_manualHoldSeen = false; // audio thread
    std::atomic<bool> m_repeatSingle{false};
    std::atomic<bool> m_repeatAll{false};
    std::atomic<uint32_t> m_requests{0};
    std::atomic<bool> m_skipSilence{false};
    std::atomic<bool> m_levelTracks{false};
    std::array<int32_t, 2> m_preparedTrack{-1, -1}; // audio thread: the entry each deck was prepared for
    std::array<int32_t, 2> m_soundReached{-1,
                                          -1}; // audio thread: the entry each deck was seen past its lead in
};
