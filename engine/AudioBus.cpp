#include "AudioBus.h"

#include <algorithm>
#include <cmath>

CAudioBus::CAudioBus(uint16_t sampleRate, uint32_t ticksPerBlock)
    : m_ticksPerBlock(std::clamp<uint32_t>(ticksPerBlock, 1, kMaxTicks)),
      m_sampleRate(sampleRate != 0 ? sampleRate : 44100),
      m_tickDurationMs(static_cast<float>(kTickFrames * 1000.0 / m_sampleRate)),
      m_tickDurationWholeMs(static_cast<int32_t>(std::lround(kTickFrames * 1000.0 / m_sampleRate)))
{
    const uint32_t samples = m_ticksPerBlock * kTickFrames;
    for (int c = 0; c < kChannels; ++c) {
        m_channelSamples[c] = std::make_unique<int16_t[]>(samples);
        for (uint32_t t = 0; t < kMaxTicks; ++t) {
            // Ticks beyond the block stay empty views, so a stray index reads nothing.
            const uint32_t length = t < m_ticksPerBlock ? kTickFrames : 0;
            int16_t* data = t < m_ticksPerBlock ? m_channelSamples[c].get() + t * kTickFrames : nullptr;
            m_slices[c][t].AttachView(data, length, m_sampleRate);
        }
    }
    m_scratchLeft.Init(2, m_sampleRate, kTickFrames);
    m_scratchRight.Init(2, m_sampleRate, kTickFrames);
    for (auto& list : m_groupChannels)
        list.fill(kNone);
    m_groupInUse[0] = true;
}

void CAudioBus::Clear(int32_t tickStartMs) noexcept
{
    for (auto& list : m_groupChannels)
        list.fill(kNone);
    m_currentGroup = 0;
    for (int c = 0; c < kChannels; ++c) {
        m_fillLevel[c] = 0;
        for (uint32_t t = 0; t < m_ticksPerBlock; ++t)
            m_slices[c][t].SetGain(0);
    }
    m_tickStartMs = tickStartMs;
}

uint8_t CAudioBus::RegisterGroup(uint8_t type) noexcept
{
    for (uint8_t g = 1; g < kGroups; ++g) {
        if (!m_groupInUse[g]) {
            m_groupInUse[g] = true;
            m_groupType[g] = type;
            return g;
        }
    }
    for (uint8_t g = 1; g < kGroups; ++g) {
        if (m_groupType[g] == type)
            return g;
    }
    return 0;
}

void CAudioBus::SelectGroup(uint8_t group) noexcept
{
    m_currentGroup = group < kGroups ? group : 0;
}

uint8_t CAudioBus::TakeFreeChannel(uint8_t groupToSkip) const noexcept
{
    const auto& list = m_groupChannels[groupToSkip];
    for (uint8_t c = 0; c < kChannels; ++c) {
        if (m_fillLevel[c] != 0)
            continue;
        if (std::find(list.begin(), list.end(), c) != list.end())
            continue;
        return c;
    }
    return kNone;
}

void CAudioBus::AppendToGroup(uint8_t group, uint8_t channel) noexcept
{
    auto& list = m_groupChannels[group];
    for (auto& entry : list) {
        if (entry == kNone) {
            entry = channel;
            return;
        }
    }
}

uint8_t CAudioBus::AllocChannel(uint16_t firstTick, uint16_t tickCount) noexcept
{
    if (firstTick >= m_ticksPerBlock)
        return kNone;
    const uint32_t endTick = std::min<uint32_t>(firstTick + tickCount, m_ticksPerBlock);
    uint8_t channel = kNone;
    for (uint8_t c : m_groupChannels[m_currentGroup]) {
        if (c == kNone)
            break;
        if (m_fillLevel[c] <= firstTick) {
            channel = c;
            break;
        }
    }
    if (channel == kNone) {
        channel = TakeFreeChannel(m_currentGroup);
        if (channel == kNone)
            return kNone;
        AppendToGroup(m_currentGroup, channel);
    }
    for (uint32_t t = m_fillLevel[channel]; t < firstTick; ++t)
        m_slices[channel][t].SetGain(0);
    for (uint32_t t = firstTick; t < endTick; ++t) {
        CSampleBuffer& slice = m_slices[channel][t];
        slice.SetPan(0);
        slice.SetGain(0);
        slice.SetRate(m_sampleRate);
    }
    m_fillLevel[channel] = endTick;
    return channel;
}

void CAudioBus::ReleaseChannel(uint8_t channel, uint16_t fromTick) noexcept
{
    if (channel >= kChannels)
        return;
    for (uint32_t t = fromTick; t < m_fillLevel[channel]; ++t)
        m_slices[channel][t].SetGain(0);
}

void CAudioBus::CollapseGroup(uint16_t endTick) noexcept
{
    auto& list = m_groupChannels[m_currentGroup];
    uint32_t fill = std::min<uint32_t>(endTick, m_ticksPerBlock);
    for (uint8_t c : list) {
        if (c == kNone)
            break;
        fill = std::max(fill, m_fillLevel[c]);
    }
    if (IsCollapsedPair(list)) {
        // Folding a hard-left/hard-right pair gives the same pair back, sample for sample: only
        // the channel numbers would change. Every tick of a block collapses both groups again,
        // so skipping the copy keeps that work linear in the block length instead of quadratic.
        for (int side = 0; side < 2; ++side) {
            const uint8_t c = list[side];
            for (uint32_t t = m_fillLevel[c]; t < fill; ++t) {
                m_slices[c][t].SetGain(0);
                m_slices[c][t].SetPan(side == 0 ? -128 : 127);
                m_slices[c][t].SetRate(m_sampleRate);
            }
            m_fillLevel[c] = fill;
        }
        return;
    }
    const uint8_t left = TakeFreeChannel(m_currentGroup);
    if (left == kNone)
        return;
    m_fillLevel[left] = fill; // taken, so the second search skips it
    const uint8_t right = TakeFreeChannel(m_currentGroup);
    if (right == kNone) {
        m_fillLevel[left] = 0;
        return;
    }
    m_fillLevel[right] = fill;
    for (uint32_t t = 0; t < fill; ++t) {
        for (uint8_t c : {left, right}) {
            CSampleBuffer& slice = m_slices[c][t];
            slice.SetGain(0);
            slice.SetRate(m_sampleRate);
        }
        m_slices[left][t].SetPan(-128);
        m_slices[right][t].SetPan(127);
    }
    for (uint8_t c : list) {
        if (c == kNone)
            break;
        for (uint32_t t = 0; t < m_fillLevel[c]; ++t) {
            const CSampleBuffer& slice = m_slices[c][t];
            const uint32_t gain = slice.Gain();
            if (gain == 0)
                continue;
            // Pan -128 sends everything left, +127 everything right: the decks' pairs pass whole.
            const int pan = slice.Pan();
            const auto toLeft = static_cast<uint32_t>((127 - pan) * static_cast<uint64_t>(gain) / 255);
            const auto toRight = static_cast<uint32_t>((pan + 128) * static_cast<uint64_t>(gain) / 255);
            m_slices[left][t].MixFrom(slice, toLeft, 0, kTickFrames);
            m_slices[right][t].MixFrom(slice, toRight, 0, kTickFrames);
        }
        m_fillLevel[c] = 0;
    }
    list.fill(kNone);
    list[0] = left;
    list[1] = right;
}

bool CAudioBus::IsCollapsedPair(const std::array<uint8_t, kChannels>& list) const noexcept
{
    if (list[0] == kNone || list[1] == kNone || list[2] != kNone)
        return false;
    for (int side = 0; side < 2; ++side) {
        const uint8_t c = list[side];
        const int pan = side == 0 ? -128 : 127;
        for (uint32_t t = 0; t < m_fillLevel[c]; ++t) {
            const CSampleBuffer& slice = m_slices[c][t];
            if (slice.Gain() != 0 && slice.Pan() != pan)
                return false;
        }
    }
    return true;
}

template <class Visit> void CAudioBus::ForEachSlice(uint8_t mask, uint32_t tick, Visit visit) const noexcept
{
    for (uint8_t g = 0; g < kGroups; ++g) {
        if (!m_groupInUse[g] || (m_groupType[g] & mask) == 0)
            continue;
        for (uint8_t c : m_groupChannels[g]) {
            if (c == kNone)
                break;
            if (tick < m_fillLevel[c])
                visit(m_slices[c][tick]);
        }
    }
}

void CAudioBus::MixGroupsMono(uint8_t mask, uint32_t tick, CSampleBuffer& out) noexcept
{
    out.SetGain(0);
    ForEachSlice(mask, tick, [&](const CSampleBuffer& slice) { slice.MixInto(out, 0, kTickFrames); });
}

void CAudioBus::FoldMono(uint8_t mask, void* device, DeviceFormat format) noexcept
{
    auto* out = static_cast<uint8_t*>(device);
    const size_t advance = kTickFrames * static_cast<size_t>(BytesPerSample(format));
    for (uint32_t t = 0; t < m_ticksPerBlock; ++t, out += advance) {
        MixGroupsMono(mask, t, m_scratchLeft);
        m_scratchLeft.WriteMono(out, format);
    }
}

void CAudioBus::FoldStereo(uint8_t mask, void* device, DeviceFormat format) noexcept
{
    auto* out = static_cast<uint8_t*>(device);
    const size_t advance = 2 * kTickFrames * static_cast<size_t>(BytesPerSample(format));
    for (uint32_t t = 0; t < m_ticksPerBlock; ++t, out += advance) {
        m_scratchLeft.SetGain(0);
        m_scratchRight.SetGain(0);
        ForEachSlice(mask, t, [this](const CSampleBuffer& slice) {
            const int pan = slice.Pan();
            const uint64_t gain = slice.Gain();
            // The pan law leaves 1/256 of a hard-panned signal on the far side; a hard pan is
            // meant to be wholly on its side, so that sliver is dropped, as are weights too
            // small to matter.
            const uint64_t leftProduct = static_cast<uint64_t>(128 - pan) * gain;
            const uint64_t rightProduct = static_cast<uint64_t>(pan + 129) * gain;
            if (pan != 127 && leftProduct / 256 >= 128)
                m_scratchLeft.MixFrom(slice, static_cast<uint32_t>(leftProduct / 256), 0, kTickFrames);
            if (pan != -128 && rightProduct > 0x7FFF)
                m_scratchRight.MixFrom(slice, static_cast<uint32_t>(rightProduct / 256), 0, kTickFrames);
        });
        m_scratchLeft.WritePair(m_scratchRight, out, format);
    }
}

void CAudioBus::FoldSplit(uint8_t leftMask, uint8_t rightMask, void* device, DeviceFormat format) noexcept
{
    auto* out = static_cast<uint8_t*>(device);
    const size_t advance = 2 * kTickFrames * static_cast<size_t>(BytesPerSample(format));
    for (uint32_t t = 0; t < m_ticksPerBlock; ++t, out += advance) {
        MixGroupsMono(leftMask, t, m_scratchLeft);
        MixGroupsMono(rightMask, t, m_scratchRight);
        m_scratchLeft.WritePair(m_scratchRight, out, format);
    }
}
