// Track loading: how long a WAV or an MP3 takes from the load request to the first audible tick,
// and how fast the refill decodes a WAV into a deck's store.
#include "AudioBus.h"
#include "AudioEngine.h"
#include "MixerDsp.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

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

// The same track as an MP3 (lame, 192 kbit/s); empty when lame is not installed.
const std::string& Mp3Path()
{
    static CTempDir dir;
    static const std::string path = [] {
        const std::string p = dir.Path("track.mp3");
        const std::string command = "lame --quiet -b 192 '" + TrackPath() + "' '" + p + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0 ? p : std::string();
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

// A fresh engine per iteration, started as the output starts it; the clock runs from LoadTrack until a
// rendered tick carries sound. A load resets the deck, so the deck is started as the player starts it: once
// the load has been served.
void LoadToFirstSound(benchmark::State& state, const std::string& (*track)())
{
    const std::string& path = track();
    if (path.empty()) {
        state.SkipWithError("no track to load (lame is not installed)");
        return;
    }
    for (auto _ : state) {
        auto engine = std::make_unique<CAudioEngine>();
        CAudioBus bus(44100, 1);
        ClientRecord record;
        // The loader and refill threads run from the start, as the output starts them; deck A
        // goes to the main mix at unity, as the player's controls set it.
        engine->Start(record.flags);
        engine->SetMixerControl(CMixerDsp::XFader, 0);
        engine->SetMixerControl(CMixerDsp::MasterVolume, 191);
        engine->SetMixerControl(CMixerDsp::DeckVolume, 191);
        const uint32_t loads = engine->LoadsCompleted();
        bool started = false;
        const auto start = std::chrono::steady_clock::now();
        engine->LoadTrack(0, path.c_str(), 0, 0, 0, false);
        for (;;) {
            if (!started && engine->LoadsCompleted() != loads) {
                engine->Deck(0).Play();
                started = true;
            }
            bus.Clear(0);
            engine->Render(record, bus, 0, 1);
            if (started && TickIsAudible(bus, 1))
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

BENCHMARK_CAPTURE(LoadToFirstSound, wav, &TrackPath)
    ->Name("engine/LoadToFirstSound/wav")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(LoadToFirstSound, mp3, &Mp3Path)
    ->Name("engine/LoadToFirstSound/mp3")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(RefillWav)->Name("engine/RefillWav")->Unit(benchmark::kMillisecond);
