#pragma once

#include <array>
#include <atomic>
#include <cstdint>

class CControlHost;
class CMixStream;
class CPlaySnapshot;

// The Mix-File replay step of the render cycle, between the Automix step and ApplyControls.
// While a mix start is pending it peeks the first tick, stops both decks and loads the tracks
// that tick names; then, tick by tick, it writes the recorded values into the control
// functions, loads the tracks the mix changes to, keeps each deck on the recorded position (a
// nudge for a small gap, a seek for a large one) and gives the decks the recorded cue points.
//
// Threads: Tick runs on the audio thread; Start on any thread (it only sets a flag).
class CMixReplay {
public:
    // The nudge closes a gap within about one tick; beyond |speed| x 512 + 128 frames the deck
    // seeks instead.
    static constexpr float kNudgePerFrame = -1.0f / 126.0f;

    // host and mix outlive the replay.
    CMixReplay(CControlHost& host, CMixStream& mix) : m_host(host), m_mix(mix) {}

    void Start() noexcept;
    bool StartPending() const noexcept { return m_startPending.load(std::memory_order_acquire); }
    // Audio thread: one tick, with the list as snapshot has it.
    void Tick(const CPlaySnapshot* snapshot) noexcept;
    // The entry's index in the list for a track value (index + 1), or -1 when it names none.
    int EntryForTrackValue(int32_t value) const noexcept;

private:
    void StartTick() noexcept;
    void FollowDeck(int deck, int32_t recordedPosition) noexcept;
    bool LoadEntry(int deck, int index) noexcept;

    CControlHost& m_host;
    CMixStream& m_mix;
    const CPlaySnapshot* m_snapshot = nullptr; // the one of this tick
    std::atomic<bool> m_startPending{false};
    uint32_t m_seekGeneration = 0;
    std::array<int32_t, 2> m_lastTrack{0, 0};
    std::array<int32_t, 2> m_lastPosition{-1, -1}; // -1: compare with the next tick whatever it says
};
