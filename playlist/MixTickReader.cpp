#include "MixTickReader.h"

#include "ControlTable.h"
#include "MixChannels.h"

#include <algorithm>

CMixTickReader::CMixTickReader(const std::vector<uint8_t>& stream, CMixChannels& channels) noexcept
    : m_stream(stream), m_channels(channels)
{
}

CMixTickReader::TickResult CMixTickReader::ReadTick(bool advance, bool apply, int32_t* positionA,
                                                    int32_t* positionB) noexcept
{
    m_channels.ReleasePending();
    const bool playing = m_playing.load(std::memory_order_relaxed);
    // The first tick after a seek writes every value the ticks skipped had set, so the decks
    // play on from the state the mix has there (a stream holds only changes).
    if (playing && apply && m_channels.TakeResync())
        m_channels.WriteFollowedValues();
    if (playing && apply)
        m_channels.DetectTakeOvers();
    if (m_currentTick >= m_tickCount) {
        // Only the replay itself ends the playing; a scan of the whole stream does not.
        if (apply)
            m_playing.store(false, std::memory_order_release);
        return TickResult::End;
    }
    const uint32_t start = m_readPosition;
    const auto savedPositions = m_runningPosition;
    if (!DecodeTick(playing && apply)) {
        // A stream that lies about its length or holds bytes the reader does not know ends
        // here; the decks keep what they have.
        m_readPosition = start;
        m_runningPosition = savedPositions;
        m_tickCount.store(m_currentTick.load());
        if (m_damagedAtTick.load(std::memory_order_relaxed) > m_currentTick)
            m_damagedAtTick.store(m_currentTick, std::memory_order_release);
        if (apply)
            m_playing.store(false, std::memory_order_release);
        return TickResult::End;
    }
    for (int deck = 0; deck < 2; ++deck)
        m_trackNow[deck].store(m_track[deck], std::memory_order_release);
    if (positionA != nullptr)
        *positionA = m_runningPosition[0];
    if (positionB != nullptr)
        *positionB = m_runningPosition[1];
    if (advance) {
        m_currentTick.fetch_add(1, std::memory_order_acq_rel);
    } else {
        m_readPosition = start;
        m_runningPosition = savedPositions;
    }
    return TickResult::Tick;
}

bool CMixTickReader::DecodeTick(bool apply) noexcept
{
    CMixTickDecoder decoder(m_stream, m_readPosition);
    CMixTickDecoder::Event event;
    for (;;) {
        switch (decoder.Next(event, m_runningPosition)) {
        case CMixTickDecoder::Step::Event:
            if (event.id == ControlId::MixTrackEntry && event.channel < 2)
                m_track[event.channel] = event.value;
            else if (event.id == ControlId::XFader && event.channel == 0)
                m_crossFader = event.value;
            m_channels.Follow(event.id, event.channel, event.value, apply);
            break;
        case CMixTickDecoder::Step::TickEnd:
            m_readPosition = decoder.NextTick();
            return true;
        case CMixTickDecoder::Step::Unreadable:
            return false;
        }
    }
}

void CMixTickReader::Rewind() noexcept
{
    m_readPosition = 0;
    m_currentTick = 0;
    m_track = {-1, -1};
    for (auto& track : m_trackNow)
        track.store(-1, std::memory_order_release);
    m_channels.ForgetValues();
    m_crossFader = -1;
    m_runningPosition = {-1, -1};
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
}

void CMixTickReader::Clear() noexcept
{
    m_tickCount = 0;
    m_damagedAtTick.store(CMixTickDecoder::kIntact, std::memory_order_release);
    m_currentTick = 0;
    m_readPosition = 0;
    m_playing.store(false, std::memory_order_release);
    m_markerCount = 0;
    m_track = {-1, -1};
    for (auto& track : m_trackNow)
        track.store(-1, std::memory_order_release);
    m_crossFader = -1;
    m_runningPosition = {-1, -1};
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
}

void CMixTickReader::Start(uint32_t tickCount, uint32_t damagedAtTick) noexcept
{
    m_damagedAtTick.store(damagedAtTick, std::memory_order_release);
    m_tickCount.store(tickCount);
    Rewind();
}

void CMixTickReader::Seek(uint32_t target) noexcept
{
    if (m_tickCount <= 2) {
        Rewind();
        return;
    }
    target = std::min(target, m_tickCount - 2);
    target -= target % kSeekStep;
    if (target < m_currentTick)
        Rewind();
    while (m_currentTick < target) {
        if (ReadTick(true, false, nullptr, nullptr) != TickResult::Tick)
            break;
    }
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
    m_channels.RequestResync(m_currentTick > 0);
}

void CMixTickReader::SeekForward(uint32_t steps) noexcept
{
    const uint64_t target = static_cast<uint64_t>(m_currentTick) + uint64_t{kSeekStep} * steps;
    Seek(static_cast<uint32_t>(std::min<uint64_t>(m_tickCount.load(), target)));
}

void CMixTickReader::SeekBackward(uint32_t steps) noexcept
{
    const int64_t target = static_cast<int64_t>(m_currentTick) - int64_t{kSeekStep} * steps;
    Seek(target < 0 ? 0 : static_cast<uint32_t>(target));
}

uint32_t CMixTickReader::MarkerTarget(uint32_t marker) const noexcept
{
    return (marker / kSeekStep + 1) * kSeekStep;
}

void CMixTickReader::SeekNextMarker() noexcept
{
    for (int i = 0; i < m_markerCount; ++i) {
        if (uint64_t{m_currentTick.load()} + kSeekStep < m_markers[i]) {
            Seek(MarkerTarget(m_markers[i]));
            return;
        }
    }
    Seek(m_tickCount);
}

void CMixTickReader::SeekPreviousMarker() noexcept
{
    for (int i = m_markerCount - 1; i >= 0; --i) {
        if (static_cast<int64_t>(m_markers[i]) < static_cast<int64_t>(m_currentTick) - 1024) {
            Seek(MarkerTarget(m_markers[i]));
            return;
        }
    }
    Seek(0);
}

void CMixTickReader::SetMarkers(const Markers& markers, int count) noexcept
{
    m_markers = markers;
    m_markerCount = std::clamp(count, 0, kMaxMarkers);
}

std::vector<uint32_t> CMixTickReader::MarkerList() const
{
    return {m_markers.begin(), m_markers.begin() + m_markerCount};
}
