#include "CoreTestSupport.h"

#include "AudioEngine.h"
#include "AudioThread.h"
#include "EngineTestSupport.h"
#include "WavWriter.h"

#include <cmath>

CCoreRun::CCoreRun(CPlayerCore& core) : m_core(core)
{
    core.Engine().SetSynchronousLoading(true);
    uint8_t flags = 0;
    core.Start(flags);
}

CCoreRun::~CCoreRun()
{
    uint8_t flags = 3;
    m_core.Stop(flags);
}

void CCoreRun::Tick(const std::function<void()>& beforeRender)
{
    // The user-interface thread's share of a tick: what the audio thread reported is applied to
    // the lists, and what the test changed in them is published.
    m_core.PollEvents();
    m_core.Engine().ServeRequestsNow(100);
    if (beforeRender)
        beforeRender();
    m_bus.Clear(static_cast<int32_t>(m_tick * 128.0 / 44.1));
    // Marked as a device's thread is: where the guard is compiled in, a render path that could
    // block or allocate aborts the test.
    MarkAudioThread(true);
    m_core.Render(m_record, m_bus, 0, 1);
    MarkAudioThread(false);
    AppendGroupTick(m_bus, 1, 0, left, right);
    m_core.PollEvents();
    ++m_tick;
}

void CCoreRun::Ticks(uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        Tick();
}

std::string WriteToneTrack(const std::string& path, double hz, double seconds)
{
    std::vector<int16_t> samples(static_cast<size_t>(seconds * 44100.0));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = Sine(static_cast<uint32_t>(i), hz, 12000.0);
    WriteStereoWav16(path, samples, samples);
    return path;
}

double WindowAmplitude(const std::vector<int16_t>& samples, double hz, size_t from, size_t count)
{
    double re = 0.0;
    double im = 0.0;
    const size_t end = std::min(samples.size(), from + count);
    for (size_t i = from; i < end; ++i) {
        const double phase = 2.0 * M_PI * hz * static_cast<double>(i - from) / 44100.0;
        re += samples[i] * std::cos(phase);
        im += samples[i] * std::sin(phase);
    }
    const double n = static_cast<double>(end > from ? end - from : 1);
    return 2.0 * std::sqrt(re * re + im * im) / n;
}
