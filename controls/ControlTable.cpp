#include "ControlTable.h"

namespace {

struct Definition {
    int32_t id;
    const char* name;
    int channels; // 1 global, 2 per deck
    int32_t maximum;
    int32_t defaultValue;
};

// The table order is part of what the displays, settings and Mix-Files see.
constexpr Definition kDefinitions[] = {
    {ControlId::RunStop, "RUN-STOP", 1, 1, 0},
    {ControlId::XFader, "X-Fader", 1, 255, 128},
    {ControlId::MasterVolume, "Master Volume", 1, 255, 128},
    {ControlId::MonitorVolume, "Monitor Volume", 1, 255, 128},
    {ControlId::MasterLimiter, "Master Limiter", 1, 1, 1},
    {ControlId::AutoLevelDecks, "Auto Level Decks", 1, 1, 0},
    {ControlId::DeckFocusSelect, "Deck Focus Select", 1, 1, 0},
    {ControlId::MonitorOutputMode, "Monitor Output Mode", 1, 2, 2},
    {ControlId::MonitorXFader, "Monitor X-Fader", 1, 255, 128},
    {ControlId::PhaseSyncDecks, "Phase Sync Decks", 1, 2, 0},
    {ControlId::XFaderMode, "X-Fader Mode", 1, 1, 0},
    {ControlId::DeckStartStop, "Deck Start/Stop", 2, 1, 0},
    {ControlId::DeckPitch, "Deck Pitch", 2, 4096, 2048},
    {ControlId::DeckVolume, "Deck Volume", 2, 255, 191},
    {ControlId::DeckSeekPosition, "Deck Seek Position", 2, 4096, 0},
    {ControlId::DeckEqLow, "Deck EQ Low", 2, 255, 128},
    {ControlId::DeckEqMid, "Deck EQ Mid", 2, 255, 128},
    {ControlId::DeckEqHigh, "Deck EQ High", 2, 255, 128},
    {ControlId::DeckEqLowKill, "Deck EQ Low Kill", 2, 1, 0},
    {ControlId::DeckEqMidKill, "Deck EQ Mid Kill", 2, 1, 0},
    {ControlId::DeckEqHighKill, "Deck EQ High Kill", 2, 1, 0},
    {ControlId::DeckBpActive, "Deck BP Active", 2, 1, 0},
    {ControlId::DeckBpNotchMode, "Deck BP Notch Mode", 2, 1, 0},
    {ControlId::DeckBpCenter, "Deck BP Center", 2, 255, 0},
    {ControlId::DeckBpWidth, "Deck BP Width", 2, 255, 255},
    {ControlId::DeckBpResonance, "Deck BP Resonance", 2, 255, 128},
    {ControlId::DeckPunchIn, "Deck Punch In", 2, 2, 0},
    {ControlId::DeckMute, "Deck Mute", 2, 1, 0},
    {ControlId::DeckSkipForward, "Deck Skip Forward", 2, 1, 0},
    {ControlId::DeckSkipBackward, "Deck Skip Backward", 2, 1, 0},
    {ControlId::DeckJumpToCue, "Deck Jump to Cue", 2, 6, 0},
    {ControlId::DeckSetCue, "Deck Set Cue", 2, 6, 0},
    {ControlId::DeckCueLoop, "Deck Cue Loop", 2, 1, 0},
    {ControlId::DeckCueSetBeatLoop, "Deck Cue Set Beat Loop", 2, 255, 0},
    {ControlId::DeckReverse, "Deck Reverse", 2, 1, 0},
    {ControlId::DeckPitchBend, "Deck Pitch Bend", 2, 255, 128},
    {ControlId::DeckPfl, "Deck PFL", 2, 1, 0},
    {ControlId::DeckBpmSync, "Deck BPM Sync", 2, 1, 0},
    {ControlId::DeckScratchOn, "Deck Scratch On", 2, 2, 0},
    {ControlId::DeckScratch, "Deck Scratch", 2, 65536, 32768},
    {ControlId::DeckWind, "Deck Wind", 2, 255, 128},
};

constexpr int32_t kDeckResetIds[] = {
    ControlId::DeckStartStop, ControlId::DeckCueLoop,     ControlId::DeckCueSetBeatLoop,
    ControlId::DeckBpmSync,   ControlId::DeckPitch,       ControlId::DeckPitchBend,
    ControlId::DeckWind,      ControlId::DeckScratchOn,   ControlId::DeckScratch,
    ControlId::DeckVolume,    ControlId::DeckBpActive,    ControlId::DeckBpCenter,
    ControlId::DeckBpWidth,   ControlId::DeckBpResonance, ControlId::DeckReverse,
    ControlId::DeckEqLow,     ControlId::DeckEqMid,       ControlId::DeckEqHigh,
    ControlId::DeckEqLowKill, ControlId::DeckEqMidKill,   ControlId::DeckEqHighKill,
};

} // namespace

CControlTable::CControlTable()
{
    m_functions.reserve(std::size(kDefinitions));
    m_byId.fill(nullptr);
    for (const Definition& d : kDefinitions) {
        m_functions.push_back(std::make_unique<CControlFunction>(
            d.name, d.id, d.channels == 1 ? 0 : d.channels, d.maximum, d.defaultValue));
        if (d.id == ControlId::RunStop)
            m_runStop = m_functions.back().get();
        else if (d.id >= 0 && d.id < kDirectIds && m_byId[static_cast<size_t>(d.id)] == nullptr)
            m_byId[static_cast<size_t>(d.id)] = m_functions.back().get();
    }
    m_internal[0] = std::make_unique<CControlFunction>(nullptr, ControlId::MixTrackEntry, 2, -1, 0);
    m_internal[1] = std::make_unique<CControlFunction>(nullptr, ControlId::MixPlayPosition, 2, -1, 0);
    m_internal[2] = std::make_unique<CControlFunction>(nullptr, ControlId::MixCuePointsA, 5, -1, 0);
    m_internal[3] = std::make_unique<CControlFunction>(nullptr, ControlId::MixCuePointsB, 5, -1, 0);
}

CControlFunction* CControlTable::FindFunction(int32_t id) noexcept
{
    if (id >= 0 && id < kDirectIds)
        return m_byId[static_cast<size_t>(id)];
    return id == ControlId::RunStop ? m_runStop : nullptr;
}

const CControlFunction* CControlTable::FindFunction(int32_t id) const noexcept
{
    return const_cast<CControlTable*>(this)->FindFunction(id);
}

CControlFunction* CControlTable::Internal(int32_t id) noexcept
{
    return id >= ControlId::MixTrackEntry && id <= ControlId::MixCuePointsB
               ? m_internal[id - ControlId::MixTrackEntry].get()
               : nullptr;
}

void CControlTable::SetValue(int32_t id, int channel, int32_t value, Marks marks) noexcept
{
    if (CControlFunction* function = FindFunction(id))
        function->Set(channel & 0xFF, value, marks);
}

int32_t CControlTable::GetValue(int32_t id, int channel) const noexcept
{
    const CControlFunction* function = FindFunction(id);
    return function ? function->Value(channel & 0xFF) : 0;
}

void CControlTable::ResetDeckFunctions(int deck) noexcept
{
    for (int32_t id : kDeckResetIds) {
        if (CControlFunction* function = FindFunction(id))
            function->Set(deck & 1, function->Default(), Marks::ChangedAndApply);
    }
}
