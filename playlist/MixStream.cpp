#include "MixStream.h"

#include "ControlFunction.h"
#include "ControlTable.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kTickEnd = 0x8000;
constexpr uint16_t kFirstTick = 0x4000;

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

// Bounds-checked little-endian reads; a read that would pass the end fails and moves nothing.
class CByteReader {
public:
    CByteReader(const std::vector<uint8_t>& bytes, uint32_t position) : m_bytes(bytes), m_position(position)
    {
    }
    uint32_t Position() const { return m_position; }
    bool Read(uint32_t size, uint32_t& value)
    {
        if (m_bytes.size() - m_position < size)
            return false;
        value = 0;
        for (uint32_t i = 0; i < size; ++i)
            value |= static_cast<uint32_t>(m_bytes[m_position + i]) << (8 * i);
        m_position += size;
        return true;
    }

private:
    const std::vector<uint8_t>& m_bytes;
    uint32_t m_position;
};

} // namespace

CMixStream::CMixStream()
{
    m_firstEntry.fill(-1);
}

void CMixStream::RegisterChannels(CControlTable& table)
{
    for (const Registration& r : kRegistrations) {
        CControlFunction* function = table.FindFunction(r.id);
        if (function == nullptr)
            function = table.Internal(r.id);
        if (function != nullptr)
            Register(*function, r.overridable);
    }
}

void CMixStream::Register(CControlFunction& function, bool overridable)
{
    std::lock_guard lock(m_lock);
    const int32_t id = function.Id();
    if (id < 0 || id >= static_cast<int32_t>(m_firstEntry.size()) || m_firstEntry[id] >= 0)
        return;
    m_firstEntry[id] = static_cast<int16_t>(m_channels.size());
    const int channels = std::max(1, function.ChannelCount());
    for (int c = 0; c < channels; ++c) {
        ChannelEntry entry;
        entry.channel = static_cast<uint8_t>(c);
        entry.function = &function;
        entry.flags = overridable ? kOverridable : 0;
        m_channels.push_back(entry);
    }
}

CMixStream::ChannelEntry* CMixStream::FindEntry(int32_t id, int channel) noexcept
{
    if (id < 0 || id >= static_cast<int32_t>(m_firstEntry.size()) || m_firstEntry[id] < 0)
        return nullptr;
    const size_t index = static_cast<size_t>(m_firstEntry[id]) + static_cast<size_t>(channel);
    if (index >= m_channels.size() || m_channels[index].function->Id() != id ||
        m_channels[index].channel != channel)
        return nullptr;
    return &m_channels[index];
}

// ---- Stream and text -----------------------------------------------------------------------

void CMixStream::ClearLocked(bool clearText) noexcept
{
    m_tickCount = 0;
    m_currentTick = 0;
    m_readPosition = 0;
    m_playing.store(false, std::memory_order_release);
    m_markerCount = 0;
    m_track = {-1, -1};
    m_crossFader = -1;
    m_runningPosition = {-1, -1};
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
    if (clearText) {
        m_title.clear();
        m_comment.clear();
    }
}

void CMixStream::Clear()
{
    std::lock_guard lock(m_lock);
    ClearLocked(true);
    m_stream.clear();
}

void CMixStream::SetStream(std::vector<uint8_t> stream, uint32_t tickCount)
{
    std::lock_guard lock(m_lock);
    ClearLocked(false);
    m_stream = std::move(stream);
    m_tickCount = tickCount;
    BuildMarkersLocked();
}

std::vector<uint8_t> CMixStream::Stream() const
{
    std::lock_guard lock(m_lock);
    return m_stream;
}

void CMixStream::SetTitle(const std::string& title)
{
    std::lock_guard lock(m_lock);
    m_title = title;
}

void CMixStream::SetComment(const std::string& comment)
{
    std::lock_guard lock(m_lock);
    m_comment = comment;
}

void CMixStream::SetPath(const std::string& path)
{
    std::lock_guard lock(m_lock);
    m_path = path;
}

std::string CMixStream::Title() const
{
    std::lock_guard lock(m_lock);
    return m_title.empty() ? "untitled" : m_title;
}

std::string CMixStream::Comment() const
{
    std::lock_guard lock(m_lock);
    return m_comment;
}

std::string CMixStream::Path() const
{
    std::lock_guard lock(m_lock);
    return m_path;
}

// ---- Reading ticks -------------------------------------------------------------------------

bool CMixStream::ReadTick(bool advance, bool apply, int32_t* positionA, int32_t* positionB)
{
    std::lock_guard lock(m_lock);
    return ReadTickLocked(advance, apply, positionA, positionB) == TickResult::Tick;
}

CMixStream::TickResult CMixStream::TryReadTick(bool advance, bool apply, int32_t* positionA,
                                               int32_t* positionB) noexcept
{
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return TickResult::Busy;
    return ReadTickLocked(advance, apply, positionA, positionB);
}

CMixStream::TickResult CMixStream::ReadTickLocked(bool advance, bool apply, int32_t* positionA,
                                                  int32_t* positionB) noexcept
{
    const bool playing = m_playing.load(std::memory_order_relaxed);
    if (playing && apply) {
        // A user's change since the engine last consumed the channel is a take-over.
        for (ChannelEntry& entry : m_channels) {
            if ((entry.flags & kOverridable) != 0 &&
                (entry.function->Flags(entry.channel) & CControlFunction::kApplyPending) != 0) {
                entry.flags |= kTakenOver;
                m_overrideActive = true;
            }
        }
    }
    if (m_currentTick >= m_tickCount) {
        m_playing.store(false, std::memory_order_release);
        return TickResult::End;
    }
    const uint32_t start = m_readPosition;
    const auto savedPositions = m_runningPosition;
    bool firstTick = false;
    if (DecodeTick(playing && apply, firstTick) != Decode::Tick) {
        // A stream that lies about its length or holds bytes the reader does not know ends
        // here; the decks keep what they have.
        m_readPosition = start;
        m_runningPosition = savedPositions;
        m_tickCount = m_currentTick;
        m_playing.store(false, std::memory_order_release);
        return TickResult::End;
    }
    if (positionA != nullptr)
        *positionA = m_runningPosition[0];
    if (positionB != nullptr)
        *positionB = m_runningPosition[1];
    if (advance) {
        ++m_currentTick;
    } else {
        m_readPosition = start;
        m_runningPosition = savedPositions;
    }
    return TickResult::Tick;
}

CMixStream::Decode CMixStream::DecodeTick(bool apply, bool& firstTick) noexcept
{
    CByteReader reader(m_stream, m_readPosition);
    uint32_t word = 0;
    for (;;) {
        if (!reader.Read(2, word))
            return Decode::End;
        if ((word & kTickEnd) != 0)
            break;
        const auto id = static_cast<int32_t>(word);
        uint32_t tag = 0;
        if (!reader.Read(1, tag))
            return Decode::End;
        const uint32_t width = tag & 0xF0;
        const int channel = static_cast<int>(tag & 0x0F);
        uint32_t raw = 0;
        if (width == 0x10   ? !reader.Read(1, raw)
            : width == 0x20 ? !reader.Read(2, raw)
            : width == 0x00 ? !reader.Read(4, raw)
                            : true)
            return Decode::Corrupt;
        const auto value = static_cast<int32_t>(raw);
        if (id == ControlId::MixTrackEntry && channel < 2)
            m_track[channel] = value;
        else if (id == ControlId::XFader && channel == 0)
            m_crossFader = value;
        if (apply) {
            ChannelEntry* entry = FindEntry(id, channel);
            if (entry != nullptr && (entry->flags & kTakenOver) == 0)
                entry->function->Set(channel, value, true, true);
        }
    }
    firstTick = (word & kFirstTick) != 0;
    // Positions: codes 1/2/3 for deck A in bits 0..3, 0x10/0x20/0x30 for deck B in bits 4..7.
    // They are followed whether or not the tick is applied, so that a seek arrives with the
    // positions of the tick before its target.
    for (int deck = 0; deck < 2; ++deck) {
        const uint32_t code = (word >> (4 * deck)) & 0x0F;
        uint32_t payload = 0;
        switch (code) {
        case 0:
            break;
        case 1:
            if (!reader.Read(4, payload))
                return Decode::End;
            m_runningPosition[deck] = static_cast<int32_t>(payload);
            break;
        case 2:
        case 3:
            if (!reader.Read(1, payload))
                return Decode::End;
            m_runningPosition[deck] = static_cast<int32_t>(
                static_cast<uint32_t>(m_runningPosition[deck]) +
                (code == 2 ? payload : static_cast<uint32_t>(-static_cast<int32_t>(payload))));
            break;
        default:
            return Decode::Corrupt;
        }
    }
    m_readPosition = reader.Position();
    return Decode::Tick;
}

// ---- Play and take-over --------------------------------------------------------------------

void CMixStream::Play(bool on)
{
    std::lock_guard lock(m_lock);
    if (on) {
        for (ChannelEntry& entry : m_channels)
            entry.flags &= static_cast<uint16_t>(~kTakenOver);
        m_overrideActive = false;
    }
    m_playing.store(on, std::memory_order_release);
}

void CMixStream::TakeOverAll(bool on)
{
    std::lock_guard lock(m_lock);
    for (ChannelEntry& entry : m_channels) {
        if ((entry.flags & kOverridable) == 0)
            continue;
        if (on)
            entry.flags |= kTakenOver;
        else
            entry.flags &= static_cast<uint16_t>(~kTakenOver);
    }
    m_overrideActive = on;
}

bool CMixStream::TakeOver(int32_t id, int channel, bool on)
{
    std::lock_guard lock(m_lock);
    if (!m_playing.load(std::memory_order_relaxed))
        return false;
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

bool CMixStream::OverrideActive() const
{
    std::lock_guard lock(m_lock);
    return m_overrideActive;
}

bool CMixStream::TakenOver(int32_t id, int channel) const
{
    std::lock_guard lock(m_lock);
    auto* self = const_cast<CMixStream*>(this);
    const ChannelEntry* entry = self->FindEntry(id, channel);
    return entry != nullptr && (entry->flags & kTakenOver) != 0;
}

int32_t CMixStream::Track(int deck) const
{
    std::lock_guard lock(m_lock);
    return m_track[deck & 1];
}

int32_t CMixStream::CrossFader() const
{
    std::lock_guard lock(m_lock);
    return m_crossFader;
}

// ---- Seeking and markers -------------------------------------------------------------------

void CMixStream::RewindLocked() noexcept
{
    m_readPosition = 0;
    m_currentTick = 0;
    m_track = {-1, -1};
    m_crossFader = -1;
    m_runningPosition = {-1, -1};
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
}

void CMixStream::SeekLocked(uint32_t target) noexcept
{
    if (m_tickCount <= 2) {
        RewindLocked();
        return;
    }
    target = std::min(target, m_tickCount - 2);
    target -= target % kSeekStep;
    if (target < m_currentTick)
        RewindLocked();
    while (m_currentTick < target) {
        if (ReadTickLocked(true, false, nullptr, nullptr) != TickResult::Tick)
            break;
    }
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
}

void CMixStream::SeekTick(uint32_t tick)
{
    std::lock_guard lock(m_lock);
    SeekLocked(tick);
}

void CMixStream::SeekForward(uint32_t steps)
{
    std::lock_guard lock(m_lock);
    const uint64_t target = static_cast<uint64_t>(m_currentTick) + uint64_t{kSeekStep} * steps;
    SeekLocked(static_cast<uint32_t>(std::min<uint64_t>(m_tickCount, target)));
}

void CMixStream::SeekBackward(uint32_t steps)
{
    std::lock_guard lock(m_lock);
    const int64_t target = static_cast<int64_t>(m_currentTick) - int64_t{kSeekStep} * steps;
    SeekLocked(target < 0 ? 0 : static_cast<uint32_t>(target));
}

uint32_t CMixStream::MarkerTarget(uint32_t marker) const noexcept
{
    return (marker / kSeekStep + 1) * kSeekStep;
}

void CMixStream::SeekNextMarker()
{
    std::lock_guard lock(m_lock);
    for (int i = 0; i < m_markerCount; ++i) {
        if (uint64_t{m_currentTick} + kSeekStep < m_markers[i]) {
            SeekLocked(MarkerTarget(m_markers[i]));
            return;
        }
    }
    SeekLocked(m_tickCount);
}

void CMixStream::SeekPreviousMarker()
{
    std::lock_guard lock(m_lock);
    for (int i = m_markerCount - 1; i >= 0; --i) {
        if (static_cast<int64_t>(m_markers[i]) < static_cast<int64_t>(m_currentTick) - 1024) {
            SeekLocked(MarkerTarget(m_markers[i]));
            return;
        }
    }
    SeekLocked(0);
}

uint32_t CMixStream::CurrentTick() const
{
    std::lock_guard lock(m_lock);
    return m_currentTick;
}

uint32_t CMixStream::TickCount() const
{
    std::lock_guard lock(m_lock);
    return m_tickCount;
}

std::vector<uint32_t> CMixStream::Markers() const
{
    std::lock_guard lock(m_lock);
    return {m_markers.begin(), m_markers.begin() + m_markerCount};
}

void CMixStream::BuildMarkersLocked() noexcept
{
    const uint32_t earlier = m_currentTick;
    const bool playing = m_playing.load(std::memory_order_relaxed);
    m_playing.store(false, std::memory_order_relaxed);
    RewindLocked();
    m_markerCount = 0;
    if (ReadTickLocked(true, false, nullptr, nullptr) == TickResult::Tick) {
        auto previous = m_track;
        while (m_markerCount < kMaxMarkers && m_currentTick < m_tickCount) {
            const uint32_t tick = m_currentTick;
            if (ReadTickLocked(true, false, nullptr, nullptr) != TickResult::Tick)
                break;
            if (m_track != previous)
                m_markers[m_markerCount++] = tick;
            previous = m_track;
        }
    }
    SeekLocked(earlier);
    m_playing.store(playing, std::memory_order_relaxed);
}
