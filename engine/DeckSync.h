#pragma once

#include <array>

class CDeckPlayer;

// Control values the sync step reads each tick; deck arrays hold Deck A at [0], Deck B at [1].
struct SyncInputs {
    int xFader = 0;                 // "X-Fader" 0..255; above 127 Deck B leads
    bool replayRunning = false;     // a Mix-File replay drives the decks
    int phaseSyncMode = 0;          // "Phase Sync Decks": 1 full, 2 half correction, else none
    std::array<bool, 2> playing{};  // "Deck Start/Stop"
    std::array<int, 2> scratchOn{}; // "Deck Scratch On", 0 = off
    std::array<bool, 2> bpmSync{};  // "Deck BPM Sync"
    std::array<bool, 2> reverse{};  // "Deck Reverse"
};

// What the control dispatch shows after a sync step.
struct SyncOutputs {
    std::array<bool, 2> pitchChanged{}; // BPM sync set the deck's tempo
    std::array<int, 2> pitchValue{};    // the tempo as a "Deck Pitch" value 0..4096, where changed
};

struct BeatLoopInputs {
    bool cueLoopOn = false; // "Deck Cue Loop"
    bool replayRunning = false;
};

struct BeatLoopOutputs {
    bool cueLoopSwitchedOn = false; // the loop was off and "Deck Cue Loop" must now show 1
};

// Tempo and phase sync of the two decks, and loops measured in beats. The leading deck is the
// one the cross-fader favours; a deck with "Deck BPM Sync" on takes its tempo, and "Phase Sync
// Decks" nudges each deck's speed against its distance from the leader's beat phase until the
// two play in step. Nothing syncs unless both decks have a reliable BPM.
//
// The state belongs to the control dispatch and is touched on its thread only.
class CDeckSync {
public:
    static constexpr float kReliableQuality = 0.05f; // a BPM quality above this is trusted

    // Audio thread (the control dispatch), once per tick before the tick renders.
    // Tempo and phase sync; sets the decks' tempo and nudge.
    void Step(CDeckPlayer& deckA, CDeckPlayer& deckB, const SyncInputs& inputs,
              SyncOutputs& outputs) noexcept;
    // "Deck Cue Set Beat Loop" with value (0..255) for deck index 0 or 1: 1..253 half-beats from
    // the loop start, 254 a 200 ms loop, 255 the whole track, 0 nothing. Called every tick with
    // the current value, 0 included, so that a new value is told from a held one. Shortening a
    // loop whose end the position has already passed waits until the position is back inside.
    void BeatLoopStep(CDeckPlayer& deck, int deckIndex, int value, const BeatLoopInputs& inputs,
                      BeatLoopOutputs& outputs) noexcept;

    // Any thread: whether the deck's BPM quality is above kReliableQuality.
    static bool IsReliable(const CDeckPlayer& deck) noexcept;

    // Audio thread: the state, for the dispatch and for tests.
    float MasterBpm() const noexcept { return m_masterBpm; }
    float MasterPhase() const noexcept { return m_masterPhase; }
    bool Reliable(int deck) const noexcept { return m_reliable[deck & 1]; }
    float PhaseError(int deck) const noexcept { return m_phaseError[deck & 1]; }
    bool BeatLoopPending(int deck) const noexcept { return m_beatLoopPending[deck & 1]; }

private:
    float m_masterBpm = 0.0f;   // CurrentBpm of the leading deck
    float m_masterPhase = 0.0f; // beats, -0.5 .. +0.5
    // Sync ran on the last tick: leaving it clears the nudges once, after which they belong to
    // whoever drives the decks instead (a replay's position lock sets them every tick).
    bool m_syncing = false;
    std::array<bool, 2> m_reliable{};
    std::array<float, 2> m_phaseError{}; // beats, -0.5 .. +0.5, deck minus leader
    std::array<bool, 2> m_beatLoopPending{};
    std::array<int, 2> m_beatLoopValue{}; // at the last BeatLoopStep
};
