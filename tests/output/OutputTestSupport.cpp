#include "OutputTestSupport.h"

#include "AudioBus.h"

#include <cmath>
#include <cstdlib>

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

int CToneClient::Render(ClientRecord& /*record*/, CAudioBus& bus, uint16_t firstTick,
                        uint16_t tickCount) noexcept
{
    if (!m_registered) {
        m_main = bus.RegisterGroup(1);
        m_monitor = bus.RegisterGroup(2);
        m_registered = true;
    }
    const auto tone = [](double hz) {
        return [hz](uint32_t frame) {
            return static_cast<int16_t>(std::lround(8000.0 * std::sin(2 * M_PI * hz * frame / 44100.0)));
        };
    };
    bus.SelectGroup(m_main);
    FillChannel(bus, firstTick, tickCount, m_frames, -128, tone(m_mainHz[0]));
    FillChannel(bus, firstTick, tickCount, m_frames, 127, tone(m_mainHz[1]));
    bus.SelectGroup(m_monitor);
    FillChannel(bus, firstTick, tickCount, m_frames, -128, tone(m_monitorHz[0]));
    FillChannel(bus, firstTick, tickCount, m_frames, 127, tone(m_monitorHz[1]));
    m_frames += tickCount * CAudioBus::kTickFrames;
    m_blocks.fetch_add(1, std::memory_order_release);
    return 1;
}

double MeasuredRate(const std::vector<SteadyClock::time_point>& times, uint32_t blockFrames)
{
    if (times.empty())
        return 0;
    const auto start = times.front();
    size_t first = 0;
    while (first < times.size() && times[first] - start < std::chrono::seconds(1))
        ++first;
    size_t last = first;
    while (last + 1 < times.size() && times[last + 1] - start <= std::chrono::seconds(4))
        ++last;
    if (last >= times.size())
        return 0;
    const double seconds = std::chrono::duration<double>(times[last] - times[first]).count();
    return seconds > 0 ? (last - first) * blockFrames / seconds : 0;
}

double FittedRate(const std::vector<std::pair<SteadyClock::time_point, double>>& points)
{
    if (points.size() < 2)
        return 0;
    // Centred sums keep the precision of doubles for counts in the millions.
    double meanSeconds = 0;
    double meanFrames = 0;
    for (const auto& [when, frames] : points) {
        meanSeconds += std::chrono::duration<double>(when - points.front().first).count();
        meanFrames += frames;
    }
    meanSeconds /= static_cast<double>(points.size());
    meanFrames /= static_cast<double>(points.size());
    double covariance = 0;
    double variance = 0;
    for (const auto& [when, frames] : points) {
        const double seconds =
            std::chrono::duration<double>(when - points.front().first).count() - meanSeconds;
        covariance += seconds * (frames - meanFrames);
        variance += seconds * seconds;
    }
    return variance > 0 ? covariance / variance : 0;
}

CEnvOverride::CEnvOverride(const char* name, const std::string& value) : m_name(name)
{
    if (const char* old = std::getenv(name)) {
        m_old = old;
        m_hadOld = true;
    }
    setenv(name, value.c_str(), 1);
}

CEnvOverride::~CEnvOverride()
{
    if (m_hadOld)
        setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}
