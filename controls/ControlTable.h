#pragma once

#include "ControlFunction.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// Control function ids, shared by the skin, the keys, Automix and the Mix-File.
namespace ControlId {
constexpr int32_t RunStop = 65536;
constexpr int32_t XFader = 5;
constexpr int32_t MasterVolume = 6;
constexpr int32_t MonitorVolume = 8;
constexpr int32_t MasterLimiter = 7;
constexpr int32_t AutoLevelDecks = 11;
constexpr int32_t DeckFocusSelect = 9;
constexpr int32_t MonitorOutputMode = 16;
constexpr int32_t MonitorXFader = 17;
constexpr int32_t PhaseSyncDecks = 12;
constexpr int32_t XFaderMode = 13;
constexpr int32_t DeckStartStop = 100;
constexpr int32_t DeckPitch = 101;
constexpr int32_t DeckVolume = 102;
constexpr int32_t DeckSeekPosition = 103;
constexpr int32_t DeckEqLow = 301;
constexpr int32_t DeckEqMid = 302;
constexpr int32_t DeckEqHigh = 303;
constexpr int32_t DeckEqLowKill = 304;
constexpr int32_t DeckEqMidKill = 305;
constexpr int32_t DeckEqHighKill = 306;
constexpr int32_t DeckBpActive = 310;
constexpr int32_t DeckBpNotchMode = 314;
constexpr int32_t DeckBpCenter = 311;
constexpr int32_t DeckBpWidth = 312;
constexpr int32_t DeckBpResonance = 313;
constexpr int32_t DeckPunchIn = 104;
constexpr int32_t DeckMute = 105;
constexpr int32_t DeckSkipForward = 107;
constexpr int32_t DeckSkipBackward = 108;
constexpr int32_t DeckJumpToCue = 200;
constexpr int32_t DeckSetCue = 201;
constexpr int32_t DeckCueLoop = 202;
constexpr int32_t DeckCueSetBeatLoop = 203;
constexpr int32_t DeckReverse = 109;
constexpr int32_t DeckPitchBend = 110;
constexpr int32_t DeckPfl = 111;
constexpr int32_t DeckBpmSync = 112;
constexpr int32_t DeckScratchOn = 114;
constexpr int32_t DeckScratch = 113;
constexpr int32_t DeckWind = 115;
// Internal functions of the Mix-File, outside the table.
constexpr int32_t MixTrackEntry = 1024;   // per deck: playlist index + 1 of its track, 0 = none
constexpr int32_t MixPlayPosition = 1025; // per deck: play position carried by every tick
constexpr int32_t MixCuePointsA = 1026;   // 5 cue points of Deck A
constexpr int32_t MixCuePointsB = 1027;   // 5 cue points of Deck B
} // namespace ControlId

// All control functions, in their fixed order, plus the four internal Mix-File functions.
// Built once; values survive track changes except those a deck load resets.
class CControlTable {
public:
    CControlTable();

    // Any thread. An id not in the table changes nothing and reads 0; channels are taken as
    // 0..255 and only 0..15 exist. No range check: callers keep values within 0..maximum.
    void SetValue(int32_t id, int channel, int32_t value, Marks marks) noexcept;
    int32_t GetValue(int32_t id, int channel) const noexcept;
    // By id, through a table built once (the internal functions are not in it).
    CControlFunction* FindFunction(int32_t id) noexcept;
    const CControlFunction* FindFunction(int32_t id) const noexcept;
    // The internal Mix-File functions by id (1024..1027), null otherwise.
    CControlFunction* Internal(int32_t id) noexcept;

    size_t Count() const noexcept { return m_functions.size(); }
    CControlFunction& At(size_t index) noexcept { return *m_functions[index]; }
    const CControlFunction& At(size_t index) const noexcept { return *m_functions[index]; }

    // Puts a deck's functions back to their defaults with both marks, as a deck load does:
    // Start/Stop, Cue Loop, Beat Loop, BPM Sync, Pitch, Pitch Bend, Wind, Scratch On, Scratch,
    // Volume, the band-pass settings, Reverse, EQ bands and kills.
    void ResetDeckFunctions(int deck) noexcept;

private:
    // Every id but Run/Stop's lies below this; the render cycle looks functions up many times a
    // tick.
    static constexpr int32_t kDirectIds = 1024;

    std::vector<std::unique_ptr<CControlFunction>> m_functions;
    std::array<CControlFunction*, kDirectIds> m_byId{};
    CControlFunction* m_runStop = nullptr;
    std::array<std::unique_ptr<CControlFunction>, 4> m_internal;
};
