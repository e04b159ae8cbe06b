#pragma once

#include "AudioBus.h"
#include "AudioEngine.h"
#include "AudioSource.h"
#include "MixerDsp.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

// A minute of a chord at 44100 Hz, computed per block, for benchmarks that fill decks without a
// file: the refill that fills them is not what they measure.
class CBenchChordSource : public CAudioSource {
public:
    uint16_t GetSampleRate() const override { return 44100; }
    int Open(const char*) override { return 1; }
    int GetBlockFrames() const override { return 1024; }
    int GetBlockCount() const override { return 60 * 44100 / 1024; }
    void SeekBlock(int index) override { m_block = index; }
    int GetCurrentBlock() const override { return m_block; }
    float GetBlockDuration() const override { return 1024000.0f / 44100.0f; }
    int ReadBlock(int16_t* left, int16_t* right) override
    {
        for (int i = 0; i < 1024; ++i) {
            const double t = (m_block * 1024.0 + i) / 44100.0;
            // Low and high partials on both sides, so every equaliser band and filter has work.
            left[i] = static_cast<int16_t>(14000 * std::sin(2 * M_PI * 110 * t) +
                                           9000 * std::sin(2 * M_PI * 1650 * t));
            right[i] = static_cast<int16_t>(14000 * std::sin(2 * M_PI * 165 * t) +
                                            9000 * std::sin(2 * M_PI * 5000 * t));
        }
        ++m_block;
        return 1;
    }

private:
    int m_block = 0;
};

// Frame around which the engine benchmarks play; the region is decoded before timing starts.
constexpr uint32_t kBenchStartFrame = 30 * 44100;

// Loads the chord into the deck, decodes the region the benchmark plays through, and starts the
// deck at speed (negative: reversed).
inline void PrepareBenchDeck(CDeckPlayer& deck, float speed)
{
    deck.LoadSource(std::make_unique<CBenchChordSource>(), "chord");
    deck.SeekFrames(kBenchStartFrame);
    deck.Store().SetDirection(speed < 0);
    for (int i = 0; i < 50; ++i)
        deck.Refill(100);
    deck.SetReverse(speed < 0);
    deck.SetNudge(std::fabs(speed) - 1.0f);
    deck.Play();
}

// The mixer as a set is played: cross-fader in the middle, both decks and the monitor near unity,
// the master a little lower, so the two chords together stay below full scale.
inline void SetPlayingMixer(CAudioEngine& engine)
{
    engine.SetMixerControl(CMixerDsp::XFader, 128);
    engine.SetMixerControl(CMixerDsp::DeckVolume, 194);
    engine.SetMixerControl(CMixerDsp::DeckVolume + 1, 194);
    engine.SetMixerControl(CMixerDsp::MasterVolume, 150);
    engine.SetMixerControl(CMixerDsp::MonitorVolume, 194);
}

// Renders blocks of 8 ticks for as long as the benchmark runs, returning the decks to the
// decoded region every 256 ticks (under 2 s of the track, even at 2.2), so they play the chord
// throughout rather than running off the region into silence, and reports xRT.
inline void RenderBenchBlocks(benchmark::State& state, CAudioEngine& engine)
{
    CAudioBus bus(44100, 8);
    ClientRecord record;
    int64_t ticks = 0;
    for (auto _ : state) {
        bus.Clear(0);
        for (uint16_t t = 0; t < 8; ++t)
            engine.Render(record, bus, t, 1);
        ticks += 8;
        if (ticks % 256 == 0) {
            engine.Deck(0).SeekFrames(kBenchStartFrame);
            engine.Deck(1).SeekFrames(kBenchStartFrame);
        }
        benchmark::DoNotOptimize(bus.Slice(bus.GroupChannels(1)[0], 7).Samples()[5]);
    }
    state.counters["xRT"] =
        benchmark::Counter(static_cast<double>(ticks) * 128 / 44100.0, benchmark::Counter::kIsRate);
}
