#include "MixChannels.h"

#include "ControlFunction.h"
#include "ControlTable.h"

#include <algorithm>

namespace {

// The control functions a mix drives, in the order their channels enter the table.
struct Registration {
    int32_t id;
    bool overridable;
};
constexpr Registration kRegistrations[] = {
    {ControlId::XFader, true},           {ControlId::XFaderMode, false},
    {ControlId::DeckStartStop, false},   {ControlId::DeckPitch, false},
    {ControlId::DeckVolume, true},       {ControlId::DeckEqLow, true},
    {ControlId::DeckEqMid, true},        {ControlId::DeckEqHigh, true},
    {ControlId::DeckEqLowKill, true},    {ControlId::DeckEqMidKill, true},
    {ControlId::DeckEqHighKill, true},   {ControlId::DeckBpActive, true},
    {ControlId::DeckBpNotchMode, true},  {ControlId::DeckBpCenter, true},
    {ControlId::DeckBpWidth, true},      {ControlId::DeckBpResonance, true},
    {ControlId::DeckPunchIn, true},      {ControlId::DeckMute, true},
    {ControlId::DeckSkipForward, false}, {ControlId::DeckSkipBackward, false},
    {ControlId::DeckJumpToCue, false},   {ControlId::DeckCueLoop, false},
    {ControlId::DeckReverse, false},     {ControlId::DeckPitchBend, false},
    {ControlId::DeckScratchOn, false},   {ControlId::DeckScratch, false},
    {ControlId::DeckWind, false},        {ControlId::MixCuePointsA, false},
    {ControlId::MixCuePointsB, false},   {ControlId::MixTrackEntry, false},
};

} // namespace

CMixChannels::CMixChannels()
{
    m_firstEntry.fill(-1);
}

void CMixChannels::RegisterChannels(CControlTable& table)
{
    for (const Registration& r : kRegistrations) {
        CControlFunction* function = table.FindFunction(r.id);
        if (function == nullptr)
            function = table.Internal(r.id);
        if (function != nullptr)
            Register(*function, r.overridable);
    }
}

void CMixChannels::Register(CControlFunction& function, bool overridable)
{
    const int32_t id = function.Id();
    if (id < 0 || id >= static_cast<int32_t>(m_firstEntry.size()) || m_firstEntry[id] >= 0)
        return;
    m_firstEntry[id] = static_cast<int16_t>(m_entries.size());
    const int channels = std::max(1, function.ChannelCount());
    for (int c = 0; c < channels; ++c) {
        ChannelEntry entry;
        entry.channel = static_cast<uint8_t>(c);
        entry.function = &function;
        entry.flags = overridable ? kOverridable : 0;
        m_entries.push_back(entry);
        m_followed.push_back(kUnknown);
    }
}

const CMixChannels::ChannelEntry* CMixChannels::FindEntry(int32_t id, int channel) const noexcept
{
    if (id < 0 || id >= static_cast<int32_t>(m_firstEntry.size()) || m_firstEntry[id] < 0)
        return nullptr;
    const size_t index = static_cast<size_t>(m_firstEntry[id]) + static_cast<size_t>(channel);
    if (index >= m_entries.size() || m_entries[index].function->Id() != id ||
        m_entries[index].channel != channel)
        return nullptr;
    return &m_entries[index];
}

CMixChannels::ChannelEntry* CMixChannels::FindEntry(int32_t id, int channel) noexcept
{
    return const_cast<ChannelEntry*>(static_cast<const CMixChannels*>(this)->FindEntry(id, channel));
}

void CMixChannels::Follow(int32_t id, int channel, int32_t value, bool apply) noexcept
{
    ChannelEntry* entry = FindEntry(id, channel);
    if (entry == nullptr)
        return;
    // Followed whether applied or not: after a seek it is the state at the target.
    m_followed[static_cast<size_t>(entry - m_entries.data())] = value;
    if (apply && (entry->flags & kTakenOver) == 0)
        entry->function->Set(channel, value, Marks::ChangedAndApply);
}

void CMixChannels::ForgetValues() noexcept
{
    std::fill(m_followed.begin(), m_followed.end(), kUnknown);
}

void CMixChannels::WriteFollowedValues() noexcept
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        ChannelEntry& entry = m_entries[i];
        if (m_followed[i] != kUnknown && (entry.flags & kTakenOver) == 0)
            entry.function->Set(entry.channel, m_followed[i], Marks::ChangedAndApply);
    }
}

void CMixChannels::DetectTakeOvers() noexcept
{
    for (ChannelEntry& entry : m_entries) {
        if ((entry.flags & kOverridable) != 0 &&
            (entry.function->Flags(entry.channel) & CControlFunction::kApplyPending) != 0) {
            entry.flags |= kTakenOver;
            m_overrideActive = true;
        }
    }
}

void CMixChannels::ReleasePending() noexcept
{
    if (!m_releasePending.exchange(false, std::memory_order_acq_rel))
        return;
    for (ChannelEntry& entry : m_entries)
        entry.flags &= static_cast<uint16_t>(~kTakenOver);
    m_overrideActive = false;
}

void CMixChannels::TakeOverAll(bool on) noexcept
{
    for (ChannelEntry& entry : m_entries) {
        if ((entry.flags & kOverridable) == 0)
            continue;
        if (on)
            entry.flags |= kTakenOver;
        else
            entry.flags &= static_cast<uint16_t>(~kTakenOver);
    }
    m_overrideActive = on;
}

bool CMixChannels::TakeOver(int32_t id, int channel, bool on) noexcept
{
    ChannelEntry* entry = FindEntry(id, channel);
    if (entry == nullptr)
        return false;
    const bool before = (entry->flags & kTakenOver) != 0;
    if (on) {
        entry->flags |= kTakenOver;
        m_overrideActive = true;
    } else {
        entry->flags &= static_cast<uint16_t>(~kTakenOver);
    }
    return before;
}

bool CMixChannels::TakenOver(int32_t id, int channel) const noexcept
{
    const ChannelEntry* entry = FindEntry(id, channel);
    return entry != nullptr && (entry->flags & kTakenOver) != 0;
}
