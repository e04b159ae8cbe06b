// The mixer alone, per frame, and the whole engine with every mixer stage busy.
#include "AudioBus.h"
#include "AudioEngine.h"
#include "BenchEngine.h"
#include "MixerDsp.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>

namespace {

void SetBusy(const std::function<void(int, float)>& set)
{
    set(CMixerDsp::XFader, 0.5f);
    set(CMixerDsp::MasterVolume, 1.0f); // loud enough to keep the limiter working
    set(CMixerDsp::MonitorVolume, 0.75f);
    set(CMixerDsp::MonitorXFader, 0.3f);
    for (int deck = 0; deck < 2; ++deck) {
        set(CMixerDsp::DeckVolume + deck, 1.0f);
        set(CMixerDsp::DeckEqLow + deck, 0.8f);
        set(CMixerDsp::DeckEqMid + deck, 0.3f);
        set(CMixerDsp::DeckEqHigh + deck, 0.6f);
        set(CMixerDsp::DeckBpCenter + deck, 0.4f);
        set(CMixerDsp::DeckBpWidth + deck, 0.3f);
        set(CMixerDsp::DeckBpResonance + deck, 0.5f);
        set(CMixerDsp::DeckBpNotchMode + deck, deck == 1 ? 1.0f : 0.0f);
        set(CMixerDsp::DeckBpActive + deck, 1.0f);
    }
}

void MixerProcess(benchmark::State& state, CMixerDsp::Path path)
{
    if (CMixerDsp::UsePath(path) != path) {
        state.SkipWithError("this processor lacks the instructions of that path");
        CMixerDsp::UsePath(CMixerDsp::BestPath());
        return;
    }
    CMixerDsp mixer;
    SetBusy([&](int p, float v) { mixer.SetParam(p, v); });
    std::array<std::array<float, 128>, 8> planes{};
    std::mt19937 random(1);
    std::uniform_real_distribution<float> noise(-0.9f, 0.9f);
    for (int c = 0; c < 4; ++c)
        for (float& v : planes[c])
            v = noise(random);
    int64_t frames = 0;
    for (auto _ : state) {
        mixer.Process({planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data()},
                      {planes[4].data(), planes[5].data(), planes[6].data(), planes[7].data()}, 128);
        benchmark::DoNotOptimize(planes[4][17]);
        frames += 128;
    }
    // Seconds per frame, scaled to ns: the counter divides by the CPU time itself.
    state.counters["ns_per_frame"] = benchmark::Counter(
        static_cast<double>(frames) * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["xRT"] = benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsRate);
    CMixerDsp::UsePath(CMixerDsp::BestPath());
}

// Both decks playing at 1.37 through band-pass, notch, equalisers and a working limiter.
void EngineFull(benchmark::State& state)
{
    auto engine = std::make_unique<CAudioEngine>();
    PrepareBenchDeck(engine->Deck(0), 1.37f);
    PrepareBenchDeck(engine->Deck(1), 1.37f);
    SetBusy([&](int p, float v) { engine->Mixer().SetParam(p, v); });
    RenderBenchBlocks(state, *engine);
    state.counters["limiting"] = engine->LevelReading(Meter::Overload);
}

} // namespace

BENCHMARK_CAPTURE(MixerProcess, plain, CMixerDsp::Path::Plain)->Name("engine/MixerProcess/plain");
BENCHMARK_CAPTURE(MixerProcess, avx2, CMixerDsp::Path::Avx2)->Name("engine/MixerProcess/avx2");
BENCHMARK_CAPTURE(MixerProcess, avx512, CMixerDsp::Path::Avx512)->Name("engine/MixerProcess/avx512");
BENCHMARK(EngineFull)->Name("engine/RenderBothDecks/full");
