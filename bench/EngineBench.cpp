// Rendering speed of the engine: both decks playing a track held in memory, at the track's own
// speed, faster (1.37: two-point averaging) and backwards fast (-2.2: four-point averaging).
#include "AudioBus.h"
#include "AudioEngine.h"
#include "BenchChordSource.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

void PrepareDeck(CDeckPlayer& deck, float speed)
{
    deck.LoadSource(std::make_unique<CBenchChordSource>(), "tone");
    // Decode the region the benchmark plays through, around the middle of the track.
    deck.SeekFrames(30 * 44100);
    deck.Store().SetDirection(speed < 0);
    for (int i = 0; i < 50; ++i)
        deck.Refill(100);
    deck.SetReverse(speed < 0);
    deck.SetNudge(std::fabs(speed) - 1.0f);
    deck.Play();
}

void RenderBothDecks(benchmark::State& state, float speed)
{
    auto engine = std::make_unique<CAudioEngine>();
    PrepareDeck(engine->Deck(0), speed);
    PrepareDeck(engine->Deck(1), speed);
    CAudioBus bus(44100, 8);
    ClientRecord record;
    int64_t ticks = 0;
    for (auto _ : state) {
        bus.Clear(0);
        for (uint16_t t = 0; t < 8; ++t)
            engine->Render(record, bus, t, 1);
        ticks += 8;
        // Stay inside the decoded region.
        if (ticks % 4096 == 0) {
            engine->Deck(0).SeekFrames(30 * 44100);
            engine->Deck(1).SeekFrames(30 * 44100);
        }
        benchmark::DoNotOptimize(bus.Slice(bus.GroupChannels(1)[0], 7).Samples()[5]);
    }
    const double audioSeconds = static_cast<double>(ticks) * 128 / 44100.0;
    state.counters["xRT"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(RenderBothDecks, speed_1_00, 1.0f)->Name("engine/RenderBothDecks/speed:1.00");
BENCHMARK_CAPTURE(RenderBothDecks, speed_1_37, 1.37f)->Name("engine/RenderBothDecks/speed:1.37");
BENCHMARK_CAPTURE(RenderBothDecks, speed_m2_20, -2.2f)->Name("engine/RenderBothDecks/speed:-2.20");
