#pragma once

#include "AudioClient.h"
#include "BeatTracker.h"
#include "GuardedMutex.h"
#include "Resampler.h"
#include "SampleBuffer.h"
#include "SampleStore.h"
#include "ScratchFilter.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CAudioSource;
class CPlayClock;

enum class ScratchMode : int { Off = 0, Platter = 1, Direct = 2 };

// One deck: plays its track from the sample store at any speed and direction, one tick at a
// time, with five markers (cue point, two fade points, loop start and end), scratching, wind,
// pitch bend and a nudge for phase sync. Rendering never decodes: the refill thread fills the
// store, and frames not yet decoded play as silence.
//
// Locks, always taken in this order when more than one is needed: load -> store -> render.
// Render holds only the render lock, Refill only the store lock, Load and Unload all three.
class CDeckPlayer : public CAudioClient {
public:
    static constexpr int kMarkers = 5;
    static constexpr int kWorkFrames = 1040; // 1024 frames of one tick at speed 8, plus 8 + 8
    static constexpr float kMaxSpeed = 8.0f;
    static constexpr float kMaxTempo = 2.0f;

    CDeckPlayer();
    ~CDeckPlayer() override;

    // Control values to deck settings; values outside a control's range are clamped into it.
    // "Deck Pitch" 0..4096 -> tempo 0.65 .. 1.35 (2048 -> 1.0).
    static float TempoFromControl(int value) noexcept;
    // Tempo -> "Deck Pitch" value, the inverse of TempoFromControl, rounded and kept in 0..4096,
    // for showing a tempo that sync chose on the control.
    static int ControlFromTempo(float tempo) noexcept;
    // "Deck Pitch Bend" 0..255 -> -1 .. +1 (128 -> 0).
    static float PitchBendFromControl(int value) noexcept;
    // "Deck Wind" 0..255 -> -3.0 .. +2.977 (128 -> 0).
    static float WindFromControl(int value) noexcept;

    // Loader thread (or the user-interface thread): may block and allocate.
    // Opens the track; 1 when it is open and playable, 0 otherwise (the deck is then empty).
    int Load(const char* path);
    // Takes an already constructed source (the loader uses Load; tests and tools may hand a
    // source of their own).
    int LoadSource(std::unique_ptr<CAudioSource> source, const char* path);
    void Unload();

    // Refill thread: decodes the next blocks around the play position, at most 8x real time.
    void Refill(uint32_t elapsedMs);
    // An offline render's refill in two halves (see CSampleStore::BeginAhead), which read the
    // same frames as Refill: the rendering thread plans the blocks Refill would decode (true when
    // there are any); DecodeAhead decodes them, on another thread while the next block renders
    // or before it; the rendering thread ends the step once DecodeAhead has returned.
    bool BeginRefillAhead(uint32_t elapsedMs);
    // Rendering thread, also while DecodeAhead runs: whether the next step should refill this
    // deck (see CSampleStore::WantsBlocks), so steps between refills need not wait for it.
    bool WantsRefillAhead() const noexcept;
    void DecodeAhead();
    void EndRefillAhead();

    // Audio thread: no allocation, no blocking lock, no file access.
    void Start(uint8_t& flags) override { flags |= 3; }
    int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
               uint16_t tickCount) noexcept override;
    void Stop(uint8_t& flags) override { flags &= static_cast<uint8_t>(~1u); }
    void SeekMs(double ms) noexcept;
    void SeekFrames(uint32_t frame) noexcept;
    // Seeks to marker index (0..4) plus offsetMs; other indexes name no marker and do nothing.
    void JumpToMarker(int index, double offsetMs) noexcept;
    void ScratchInput(float delta) noexcept;
    void SetScratchMode(int mode) noexcept;
    // Before and after each output block: the play clock and position it spans.
    void LatchClock() noexcept;
    void RecordClock(double blockMs) noexcept;

    // Any thread: plain writes that the next tick picks up.
    void Play() noexcept;
    void Pause() noexcept;
    void SetTempo(float tempo) noexcept;
    void SetPitchBend(float bend) noexcept;
    void SetWind(float wind) noexcept;
    void SetNudge(float nudge) noexcept { m_nudge.store(nudge, std::memory_order_relaxed); }
    void SetReverse(bool reverse) noexcept { m_reverse.store(reverse, std::memory_order_relaxed); }
    void SetLoopActive(bool active) noexcept { m_loopActive.store(active, std::memory_order_relaxed); }
    void SetMarker(int index, double ms) noexcept;
    // Requests a seek that the next render performs.
    void SeekSeconds(double seconds) noexcept;
    void SetDriver(const CPlayClock* clock) noexcept { m_clock.store(clock, std::memory_order_release); }
    void SetBpm(float bpm, float quality) noexcept;
    // The grid of an analysed track: its tempo from its first beat, which phase sync lines up.
    void SetBeatGrid(float bpm, double firstBeatMs) noexcept;
    // Marks a marker as seen by the application; it can be reached again once re-armed.
    void ClearMarkerReached(int index) noexcept;

    // Any thread: reads for displays and the application.
    bool Loaded() const noexcept { return m_loaded.load(std::memory_order_acquire); }
    bool EndReached() const noexcept { return m_endReached.load(std::memory_order_relaxed); }
    bool Playing() const noexcept { return m_playing.load(std::memory_order_relaxed); }
    bool Reverse() const noexcept { return m_reverse.load(std::memory_order_relaxed); }
    bool LoopActive() const noexcept { return m_loopActive.load(std::memory_order_relaxed); }
    float Tempo() const noexcept { return m_tempo.load(std::memory_order_relaxed); }
    float Nudge() const noexcept { return m_nudge.load(std::memory_order_relaxed); }
    float PitchBend() const noexcept { return m_bendInput.load(std::memory_order_relaxed); }
    float Wind() const noexcept { return m_wind.load(std::memory_order_relaxed); }
    // Signed speed of the last tick, 1.0 = the track's own speed.
    float Speed() const noexcept { return m_speed.load(std::memory_order_relaxed); }
    int ScratchModeValue() const noexcept { return m_scratchMode.load(std::memory_order_relaxed); }
    double GetMarker(int index) const noexcept;
    bool MarkerReached(int index) const noexcept;
    bool MarkerArmed(int index) const noexcept;
    float BpmQuality() const noexcept { return m_bpmQuality.load(std::memory_order_relaxed); }
    float StoredBpm() const noexcept { return m_bpm.load(std::memory_order_relaxed); }
    // Exact where the source knows its length; remaining counts from the play position.
    double LengthSeconds() const noexcept;
    double CoarseSeconds() const noexcept;
    double RemainingSeconds() const noexcept;
    // Play position in ms; exact interpolates between the latched clocks of the last block.
    double PositionMs(bool exact) const noexcept;
    uint32_t MsToFrames(double ms) const noexcept;
    double FramesToMs(double frames) const noexcept;
    uint32_t PlayPosition() const noexcept { return m_store.PlayPosition(); }
    uint32_t SampleRate() const noexcept { return m_store.SampleRate(); }
    uint32_t TrackFrames() const noexcept { return m_store.EndFrame(); }
    // Fills count overview pairs from startMs and returns the span shown in ms.
    double ReadOverview(double startMs, CSampleStore::OverviewPair* pairs, uint32_t count,
                        float zoom) const noexcept;
    // Title of the open track (copied under the load lock); empty without a track.
    std::string Title() const;

    // Audio thread (the control dispatch) and the user-interface thread: tempo and beat phase.
    // Lock-free and allocation-free; a concurrent load may make one answer mix the two tracks.
    // The stored BPM, after taking over the tracker's detection where its confidence is higher
    // than the stored quality.
    float TrackBpm() noexcept;
    // TrackBpm x tempo: the beats per minute the deck plays at.
    float CurrentBpm() noexcept;
    // Sets the tempo that plays the track at targetBpm, or at half or double that when the
    // ratio lies outside the pitch range; 1 when the tempo was set, 0 when it was left alone.
    int SetTempoFromBpm(float targetBpm) noexcept;
    // Where the play position lies within its beat, -0.5 .. +0.5 beats (0 on the beat),
    // negated in reverse; 0 without a track.
    float PhaseOffset() const noexcept;
    // Time in ms of the first beat of the tracker's row 0 that lies after ms; none when there
    // is no such beat, which is always the case until an analysis fills the tracker.
    std::optional<double> NextBeat(double ms) const noexcept;

    // The beat tracker, for an analysis to fill and for tests.
    CBeatTracker& BeatTracker() noexcept { return m_beatTracker; }
    const CBeatTracker& BeatTracker() const noexcept { return m_beatTracker; }

    // The store, for the refill path and for tests that fill a deck directly.
    CSampleStore& Store() noexcept { return m_store; }
    const CSampleStore& Store() const noexcept { return m_store; }

private:
    float NextSpeed() noexcept;
    uint32_t MarkerFrame(int index) const noexcept;
    void CheckMarkers(uint32_t position) noexcept;
    void CheckLoop(uint32_t position) noexcept;
    void ResetPlayState() noexcept;
    // Closes the source and forgets its title, block length, BPM and beats; under the load lock.
    void ForgetTrack();

    std::unique_ptr<CAudioSource> m_source; // owned; replaced only under all three locks
    CSampleStore m_store;
    std::array<CSampleBuffer, 2> m_work; // frames fetched and not yet resampled, L and R
    uint32_t m_workFill = 0;             // valid frames in m_work
    std::array<CResampler, 2> m_resamplers;
    int32_t m_aheadFirst = -1; // the blocks BeginRefillAhead planned, under the store lock
    int32_t m_aheadCount = 0;
    std::unique_ptr<int16_t[]> m_decodeLeft; // one source block, at most 8192 frames
    std::unique_ptr<int16_t[]> m_decodeRight;

    std::atomic<bool> m_reverse{false};
    std::atomic<float> m_tempo{1.0f};     // 1.0 = own speed, at most 2.0
    std::atomic<float> m_nudge{0.0f};     // speed offset from phase sync and mix replay
    std::atomic<float> m_bendInput{0.0f}; // -1 .. +1
    float m_bendIntegrator = 0;           // -300 .. +300 ticks of full bend
    std::atomic<float> m_speed{0.0f};
    std::atomic<double> m_pendingSeekSeconds{-1.0}; // negative: none
    std::atomic<bool> m_loaded{false};
    std::atomic<bool> m_endReached{true};
    std::atomic<bool> m_playing{false};
    std::array<std::atomic<double>, kMarkers> m_markersMs; // <= 0: unset
    std::array<std::atomic<bool>, kMarkers> m_markerReached;
    std::array<std::atomic<bool>, kMarkers> m_markerArmed;
    std::atomic<bool> m_loopActive{false};
    std::atomic<const CPlayClock*> m_clock{nullptr}; // the output driver; outlives the deck's use

    // Clock latch: play clock (ms) and play position at the start of the last block, at its
    // end, and at the start of the current block. Written by the audio thread, read by displays.
    std::atomic<uint32_t> m_previousClock{0}, m_previousPosition{0};
    std::atomic<uint32_t> m_endClock{0}, m_endPosition{0};
    std::atomic<uint32_t> m_latchClock{0}, m_latchPosition{0};

    std::atomic<float> m_bpm{0.0f};        // of the track at its own speed
    std::atomic<float> m_bpmQuality{0.0f}; // 0 .. 1, reliable above 0.05
    CBeatTracker m_beatTracker;            // initialised with the track's rate by each load

    CScratchFilter m_scratch;
    std::atomic<float> m_scratchDelta{0.0f}; // mode 2: speed given directly, consumed each tick
    std::atomic<float> m_wind{0.0f};         // -3.0 .. +2.977, added to the play factor
    std::atomic<int> m_scratchMode{0};       // 0 off, 1 platter, 2 direct

    std::atomic<float> m_blockDurationMs{0.0f}; // of the open source, so render never asks it
    std::atomic<uint32_t> m_trackFrames{0};     // length of the open track
    std::string m_title;                        // under the load lock
    mutable CGuardedMutex m_loadLock{"CDeckPlayer load lock"};
    CGuardedMutex m_storeLock{"CDeckPlayer store lock"};
    CGuardedMutex m_renderLock{"CDeckPlayer render lock"}; // Render only tries it
};
