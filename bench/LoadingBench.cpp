// Track loading: how long a WAV takes from LoadTrack to the first audible tick, and how fast
// the refill decodes a WAV into a deck's store.
#include "AudioBus.h"
#include "AudioEngine.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

const std::string& TrackPath()
{
    static CTempDir dir;
    static const std::string path = [] {
        const uint32_t frames = 120 * 44100;
        std::vector<int16_t> left(frames), right(frames);
        for (uint32_t i = 0; i < frames; ++i) {
            left[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 220 * i / 44100.0));
            right[i] = static_cast<int16_t>(-left[i]);
        }
        const std::string p = dir.Path("track.wav");
        WriteStereoWav16(p, left, right);
        return p;
    }();
    return path;
}

bool TickIsAudible(const CAudioBus& bus, uint8_t group)
{
    const CSampleBuffer& slice = bus.Slice(bus.GroupChannels(group)[0], 0);
    for (uint32_t i = 0; i < slice.Length(); ++i) {
        if (slice.Samples()[i] != 0)
            return true;
    }
    return false;
}

// A fresh engine per iteration (its threads start with the first load, as in the player); the
// clock runs from LoadTrack until a rendered tick carries sound.
void LoadToFirstSound(benchmark::State& state)
{
    const std::string& path = TrackPath();
    for (auto _ : state) {
        auto engine = std::make_unique<CAudioEngine>();
        engine->Deck(0).Play();
        CAudioBus bus(44100, 1);
        ClientRecord record;
        const auto start = std::chrono::steady_clock::now();
        engine->LoadTrack(0, path.c_str(), 0, 0, 0, false);
        for (;;) {
            bus.Clear(0);
            engine->Render(record, bus, 0, 1);
            if (TickIsAudible(bus, 1))
                break;
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5)) {
                state.SkipWithError("no sound within 5 s");
                break;
            }
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
    }
}

// Decoding throughput of the refill: the first 8 s of the track into the store, from the page
// cache.
void RefillWav(benchmark::State& state)
{
    const std::string& path = TrackPath();
    CDeckPlayer deck;
    double audioSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        deck.Load(path.c_str());
        state.ResumeTiming();
        for (int step = 0; step < 10; ++step)
            deck.Refill(100);
        audioSeconds += deck.Store().WindowEnd() * 1024.0 / 44100.0;
    }
    state.counters["xRT"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(LoadToFirstSound)
    ->Name("engine/LoadToFirstSound/wav")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(RefillWav)->Name("engine/RefillWav")->Unit(benchmark::kMillisecond);
