// Rendering speed of the engine: both decks playing a track held in memory, at the track's own
// speed, faster (1.37: two-point averaging) and backwards fast (-2.2: four-point averaging), and
// one deck playing while the other waits; the mixer set as a set is played.
#include "BenchEngine.h"
#include "Resampler.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

void RenderBothDecks(benchmark::State& state, float speed)
{
    auto engine = std::make_unique<CAudioEngine>();
    PrepareBenchDeck(engine->Deck(0), speed);
    PrepareBenchDeck(engine->Deck(1), speed);
    SetPlayingMixer(*engine);
    RenderBenchBlocks(state, *engine);
    state.counters["limiting"] = engine->LevelReading(Meter::Overload);
}

// An Automix stretch: deck A plays at the track's own speed while deck B, loaded with the next
// track, waits stopped.
void RenderOneDeck(benchmark::State& state)
{
    auto engine = std::make_unique<CAudioEngine>();
    PrepareBenchDeck(engine->Deck(0), 1.0f);
    PrepareBenchDeck(engine->Deck(1), 1.0f);
    engine->Deck(1).Pause();
    SetPlayingMixer(*engine);
    RenderBenchBlocks(state, *engine);
    state.counters["limiting"] = engine->LevelReading(Meter::Overload);
}

// One deck channel's resampling alone, a tick of 128 outputs a call as a deck renders, with the
// plain loop or eight outputs at a time (where the processor has AVX2).
void Resample(benchmark::State& state, double speed, bool wide)
{
    if (CResampler::UseWide(wide) != wide) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    std::vector<int16_t> input(1 << 20);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<int16_t>(std::lround(20000.0 * std::sin(0.031 * static_cast<double>(i))));
    CResampler resampler;
    resampler.SetStep(static_cast<uint32_t>(speed * 65536.0));
    int16_t output[128];
    size_t used = 0;
    int64_t outputs = 0;
    for (auto _ : state) {
        if (used + resampler.Needed(128) > input.size())
            used = 0;
        used += resampler.Process(input.data() + used, output, 128);
        benchmark::DoNotOptimize(output[77]);
        outputs += 128;
    }
    CResampler::UseWide(true);
    state.counters["xRT"] =
        benchmark::Counter(static_cast<double>(outputs) / 44100.0, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(RenderBothDecks, speed_1_00, 1.0f)->Name("engine/RenderBothDecks/speed:1.00");
BENCHMARK_CAPTURE(RenderBothDecks, speed_1_37, 1.37f)->Name("engine/RenderBothDecks/speed:1.37");
BENCHMARK_CAPTURE(RenderBothDecks, speed_m2_20, -2.2f)->Name("engine/RenderBothDecks/speed:-2.20");
BENCHMARK(RenderOneDeck)->Name("engine/RenderOneDeck/speed:1.00");
BENCHMARK_CAPTURE(Resample, speed_1_37_plain, 1.37, false)->Name("engine/Resample/speed:1.37/plain");
BENCHMARK_CAPTURE(Resample, speed_1_37_wide, 1.37, true)->Name("engine/Resample/speed:1.37/wide");
BENCHMARK_CAPTURE(Resample, speed_2_20_plain, 2.2, false)->Name("engine/Resample/speed:2.20/plain");
BENCHMARK_CAPTURE(Resample, speed_2_20_wide, 2.2, true)->Name("engine/Resample/speed:2.20/wide");
BENCHMARK_CAPTURE(Resample, speed_0_80_plain, 0.8, false)->Name("engine/Resample/speed:0.80/plain");
BENCHMARK_CAPTURE(Resample, speed_0_80_wide, 0.8, true)->Name("engine/Resample/speed:0.80/wide");
