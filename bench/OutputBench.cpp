// The pro-audio driver's resampler: one channel of a 1152-frame block (1024-frame server
// buffer plus a tick) from 44100 Hz to the server's rate, as each buffer switch runs it.
#include "PolyphaseResampler.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

void OutputResampler(benchmark::State& state)
{
    const uint32_t rate = static_cast<uint32_t>(state.range(0));
    constexpr uint32_t kBlock = 1152;
    CPolyphaseResampler resampler;
    resampler.Configure(44100, rate, kBlock);
    std::vector<int16_t> input(kBlock);
    for (uint32_t i = 0; i < kBlock; ++i)
        input[i] = static_cast<int16_t>(20000 * std::sin(i * 0.1));
    std::vector<float> output(kBlock * 8);
    int64_t frames = 0;
    for (auto _ : state) {
        const uint32_t produced =
            resampler.Process(input.data(), 1, kBlock, output.data(), static_cast<uint32_t>(output.size()));
        benchmark::DoNotOptimize(output[produced / 2]);
        frames += kBlock;
    }
    // Audio seconds of one channel per CPU second; the driver runs two channels.
    state.counters["xRT"] = benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(OutputResampler)->Name("output/PolyphaseResampler")->Arg(48000)->Arg(47999)->Arg(96000)->Arg(22050);
