// Rendering speed of the engine: both decks playing a track held in memory, at the track's own
// speed, faster (1.37: two-point averaging) and backwards fast (-2.2: four-point averaging).
#include "BenchEngine.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

void RenderBothDecks(benchmark::State& state, float speed)
{
    auto engine = std::make_unique<CAudioEngine>();
    PrepareBenchDeck(engine->Deck(0), speed);
    PrepareBenchDeck(engine->Deck(1), speed);
    RenderBenchBlocks(state, *engine);
}

} // namespace

BENCHMARK_CAPTURE(RenderBothDecks, speed_1_00, 1.0f)->Name("engine/RenderBothDecks/speed:1.00");
BENCHMARK_CAPTURE(RenderBothDecks, speed_1_37, 1.37f)->Name("engine/RenderBothDecks/speed:1.37");
BENCHMARK_CAPTURE(RenderBothDecks, speed_m2_20, -2.2f)->Name("engine/RenderBothDecks/speed:-2.20");
