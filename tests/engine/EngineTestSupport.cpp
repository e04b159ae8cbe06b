#include "EngineTestSupport.h"

#include "AudioBus.h"
#include "DeckPlayer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

CSignalSource::CSignalSource(uint32_t frames, Signal signal, uint16_t rate, int blockFrames)
    : m_frames(frames), m_signal(std::move(signal)), m_rate(rate), m_blockFrames(blockFrames)
{
}

int CSignalSource::GetBlockCount() const
{
    return static_cast<int>((m_frames + m_blockFrames - 1) / m_blockFrames);
}

int CSignalSource::ReadBlock(int16_t* left, int16_t* right)
{
    if (m_block == m_failAt) {
        m_failAt = -1;
        return 0;
    }
    if (m_block < 0 || m_block >= GetBlockCount())
        return 0;
    for (int i = 0; i < m_blockFrames; ++i) {
        const uint32_t frame = static_cast<uint32_t>(m_block) * m_blockFrames + i;
        const int16_t value = frame < m_frames ? m_signal(frame) : 0;
        left[i] = value;
        right[i] = static_cast<int16_t>(m_rightSign * value);
    }
    ++m_block;
    ++m_blocksRead;
    return 1;
}

int16_t FrameCode(uint32_t frame)
{
    return static_cast<int16_t>(frame % 30000);
}

int16_t Sine(uint32_t frame, double hz, double amplitude, double rate)
{
    return static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * hz * frame / rate)));
}

void RefillFully(CDeckPlayer& deck)
{
    for (int step = 0; step < 1000; ++step) {
        const int32_t before = deck.Store().WindowEnd() - deck.Store().WindowStart();
        deck.Refill(100);
        if (deck.Store().WindowEnd() - deck.Store().WindowStart() == before)
            break;
    }
}

void LoadSignal(CDeckPlayer& deck, uint32_t frames, CSignalSource::Signal signal, uint16_t rate,
                int blockFrames)
{
    deck.LoadSource(std::make_unique<CSignalSource>(frames, std::move(signal), rate, blockFrames), "signal");
    RefillFully(deck);
}

RenderedAudio RenderDeck(CDeckPlayer& deck, int ticks)
{
    RenderedAudio out;
    CAudioBus bus(44100, 1);
    ClientRecord record;
    for (int t = 0; t < ticks; ++t) {
        bus.Clear(0);
        out.results.push_back(deck.Render(record, bus, 0, 1));
        AppendGroupTick(bus, 0, 0, out.left, out.right);
        out.positions.push_back(deck.PlayPosition());
    }
    return out;
}

void AppendGroupTick(const CAudioBus& bus, uint8_t group, uint32_t tick, std::vector<int16_t>& left,
                     std::vector<int16_t>& right)
{
    const uint8_t* channels = bus.GroupChannels(group);
    for (int side = 0; side < 2; ++side) {
        std::vector<int16_t>& out = side == 0 ? left : right;
        const uint8_t channel = channels[side];
        if (channel == CAudioBus::kNone || bus.FillLevel(channel) <= tick) {
            out.insert(out.end(), CAudioBus::kTickFrames, 0);
            continue;
        }
        const CSampleBuffer& slice = bus.Slice(channel, tick);
        // The pending gain is part of the signal: apply it the way the bus does, on a copy.
        CSampleBuffer copy;
        copy.Init(2, 44100, CAudioBus::kTickFrames);
        copy.CopyRange(slice, 0, 0, CAudioBus::kTickFrames);
        copy.SetGain(slice.Gain());
        copy.ApplyGain();
        out.insert(out.end(), copy.Samples(), copy.Samples() + CAudioBus::kTickFrames);
    }
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

namespace {
template <class T> double Amplitude(const std::vector<T>& samples, double hz, size_t from, double rate)
{
    double re = 0;
    double im = 0;
    for (size_t i = from; i < samples.size(); ++i) {
        const double phase = 2.0 * M_PI * hz * static_cast<double>(i) / rate;
        re += samples[i] * std::cos(phase);
        im += samples[i] * std::sin(phase);
    }
    const double n = static_cast<double>(samples.size() - std::min(from, samples.size()));
    return n > 0 ? 2.0 * std::sqrt(re * re + im * im) / n : 0.0;
}
} // namespace

double ToneAmplitude(const std::vector<int16_t>& samples, double hz, size_t from, double rate)
{
    return Amplitude(samples, hz, from, rate);
}

double ToneAmplitude(const std::vector<float>& samples, double hz, size_t from, double rate)
{
    return Amplitude(samples, hz, from, rate);
}
