#include "OutputTestSupport.h"

#include "AudioBus.h"

int16_t MainSample(uint32_t frame)
{
    return static_cast<int16_t>(frame % 20000 + 1);
}

int16_t MonitorSample(uint32_t frame)
{
    return static_cast<int16_t>(-3000 - static_cast<int>(frame % 7000));
}

std::vector<int16_t> ExpectedMain(uint32_t first, uint32_t count)
{
    std::vector<int16_t> samples;
    for (uint32_t f = first; f < first + count; ++f) {
        samples.push_back(MainSample(f));
        samples.push_back(static_cast<int16_t>(-MainSample(f)));
    }
    return samples;
}

namespace {

// Fills a fresh channel of the current group from firstTick on with sample(frame) at pan.
template <class Sample>
void FillChannel(CAudioBus& bus, uint16_t firstTick, uint16_t ticks, uint32_t firstFrame, int8_t pan,
                 Sample sample)
{
    const uint8_t channel = bus.AllocChannel(firstTick, ticks);
    for (uint32_t t = firstTick; t < static_cast<uint32_t>(firstTick + ticks); ++t) {
        CSampleBuffer& slice = bus.Slice(channel, t);
        for (uint32_t i = 0; i < CAudioBus::kTickFrames; ++i)
            slice.Samples()[i] = sample(firstFrame + (t - firstTick) * CAudioBus::kTickFrames + i);
        slice.SetPan(pan);
        slice.SetGain(CSampleBuffer::kUnityGain);
    }
}

} // namespace

int CCodeClient::Render(ClientRecord& /*record*/, CAudioBus& bus, uint16_t firstTick,
                        uint16_t tickCount) noexcept
{
    const uint32_t first = m_frames.load(std::memory_order_relaxed);
    if (first >= m_endFrames)
        return 0;
    if (duringRender)
        duringRender();
    if (!m_registered) {
        m_main = bus.RegisterGroup(1);
        m_monitor = bus.RegisterGroup(2);
        m_registered = true;
    }
    bus.SelectGroup(m_main);
    FillChannel(bus, firstTick, tickCount, first, -128, MainSample);
    FillChannel(bus, firstTick, tickCount, first, 127,
                [](uint32_t f) { return static_cast<int16_t>(-MainSample(f)); });
    bus.SelectGroup(m_monitor);
    FillChannel(bus, firstTick, tickCount, first, 0, MonitorSample);
    m_frames.store(first + tickCount * CAudioBus::kTickFrames, std::memory_order_release);
    m_blocks.fetch_add(1, std::memory_order_release);
    return 1;
}
