#include "MixRecorder.h"

#include "ControlFunction.h"
#include "ControlTable.h"
#include "MixStream.h"

#include <cstdlib>

void CMixRecorder::Start(size_t capacityBytes)
{
    m_buffer.assign(capacityBytes, 0);
    m_size = 0;
    m_tickCount = 0;
    m_lastPosition = {0, 0};
    m_overflowed = false;
    m_recording = true;
}

bool CMixRecorder::Put(uint32_t value, uint32_t size) noexcept
{
    if (m_buffer.size() - m_size < size)
        return false;
    for (uint32_t i = 0; i < size; ++i)
        m_buffer[m_size++] = static_cast<uint8_t>(value >> (8 * i));
    return true;
}

bool CMixRecorder::PutChannels(bool late) noexcept
{
    const bool first = m_tickCount == 0;
    bool fits = true;
    for (CMixStream::ChannelEntry& entry : m_mix.Channels()) {
        const int32_t id = entry.function->Id();
        if ((id == ControlId::MixCuePointsA || id == ControlId::MixCuePointsB) != late)
            continue;
        const int32_t value = entry.function->Value(entry.channel);
        // A value an input set again counts as a change: the dispatch applies it again (a
        // scratch movement, a skip), and so must the replay.
        // The internal functions (tracks, cue points) are written without that mark: their
        // value alone tells a change.
        const bool set = id < ControlId::MixTrackEntry &&
                         (entry.function->Flags(entry.channel) & CControlFunction::kApplyPending) != 0;
        if (!first && !set && value == entry.lastValue)
            continue;
        const auto raw = static_cast<uint32_t>(value);
        const uint32_t width = raw < 256 ? 1 : raw > 65535 ? 4 : 2;
        const uint32_t tag = (width == 1 ? 0x10 : width == 2 ? 0x20 : 0x00) | entry.channel;
        fits = fits && Put(static_cast<uint32_t>(id), 2) && Put(tag, 1) && Put(raw, width);
        entry.lastValue = value;
    }
    return fits;
}

bool CMixRecorder::Overflow() noexcept
{
    // The tick is dropped whole, so the stream still ends on a tick boundary.
    m_size = m_tickStart;
    m_overflowed = true;
    m_recording = false;
    return false;
}

bool CMixRecorder::BeginTick() noexcept
{
    if (!m_recording)
        return false;
    m_tickStart = m_size;
    return PutChannels(false) || Overflow();
}

bool CMixRecorder::EndTick(int32_t positionA, int32_t positionB) noexcept
{
    if (!m_recording)
        return false;
    const bool first = m_tickCount == 0;
    // What applying left (a scratch movement back at rest, say) is where the next tick starts
    // from; the replay's own dispatch leaves the same.
    for (CMixStream::ChannelEntry& entry : m_mix.Channels()) {
        const int32_t id = entry.function->Id();
        if (id != ControlId::MixCuePointsA && id != ControlId::MixCuePointsB)
            entry.lastValue = entry.function->Value(entry.channel);
    }
    bool fits = PutChannels(true);
    uint32_t flags = 0x8000 | (first ? 0x4000 : 0);
    const std::array<int32_t, 2> positions = {positionA, positionB};
    std::array<uint32_t, 2> codes{};
    for (int d = 0; d < 2; ++d) {
        const int64_t step = int64_t{positions[d]} - m_lastPosition[d];
        codes[d] = first || std::llabs(step) > 255 ? 1 : step > 0 ? 2 : step < 0 ? 3 : 0;
        flags |= codes[d] << (4 * d);
    }
    fits = fits && Put(flags, 2);
    for (int d = 0; d < 2; ++d) {
        const int64_t step = int64_t{positions[d]} - m_lastPosition[d];
        if (codes[d] == 1)
            fits = fits && Put(static_cast<uint32_t>(positions[d]), 4);
        else if (codes[d] != 0)
            fits = fits && Put(static_cast<uint32_t>(std::llabs(step)), 1);
        m_lastPosition[d] = positions[d];
    }
    if (!fits)
        return Overflow();
    ++m_tickCount;
    return true;
}

uint32_t CMixRecorder::Finish()
{
    m_recording = false;
    m_buffer.resize(m_size);
    m_mix.SetStream(std::move(m_buffer), m_tickCount);
    m_buffer = {};
    m_size = 0;
    return m_tickCount;
}
