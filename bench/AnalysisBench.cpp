// Track analysis: how many times real time one core analyses a track (tempo, loudness, true
// peak, audible range), from a WAV and from an MP3, and the parts on their own.
#include "BeatTestSet.h"
#include "LoudnessMeter.h"
#include "TempDir.h"
#include "TempoTracker.h"
#include "TrackAnalyser.h"
#include "WavWriter.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

constexpr double kTrackSeconds = 120.0;

const StereoSignal& DrumTrack()
{
    static const StereoSignal signal = [] {
        BeatTrackRecipe recipe;
        recipe.tempo = 126.0;
        recipe.pad = true;
        recipe.seconds = kTrackSeconds;
        return RenderBeatTrack(recipe);
    }();
    return signal;
}

const std::string& WavPath()
{
    static CTempDir dir;
    static const std::string path = [] {
        const std::string p = dir.Path("drums.wav");
        WriteStereoWav16(p, DrumTrack().left, DrumTrack().right);
        return p;
    }();
    return path;
}

// The same track as an MP3 (lame, 192 kbit/s); empty when lame is not installed.
const std::string& Mp3Path()
{
    static CTempDir dir;
    static const std::string path = [] {
        const std::string mp3 = dir.Path("drums.mp3");
        const std::string command = "lame --quiet -b 192 '" + WavPath() + "' '" + mp3 + "'";
        return std::system(command.c_str()) == 0 ? mp3 : std::string();
    }();
    return path;
}

void AnalyseFile(benchmark::State& state, const std::string& path)
{
    if (path.empty()) {
        state.SkipWithError("no file to analyse (is lame installed?)");
        return;
    }
    for (auto _ : state) {
        TrackAnalysis analysis = CTrackAnalyser::Analyse(path.c_str());
        benchmark::DoNotOptimize(analysis);
    }
    state.counters["xRT"] = benchmark::Counter(kTrackSeconds * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

void BM_AnalysisWav(benchmark::State& state)
{
    AnalyseFile(state, WavPath());
}
void BM_AnalysisMp3(benchmark::State& state)
{
    AnalyseFile(state, Mp3Path());
}

void BM_AnalysisTempoOnly(benchmark::State& state)
{
    const StereoSignal& signal = DrumTrack();
    std::vector<float> mono(signal.left.size());
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = (signal.left[i] + signal.right[i]) / 65536.0f;
    for (auto _ : state) {
        CTempoTracker tracker(44100);
        tracker.Add(mono.data(), mono.size());
        benchmark::DoNotOptimize(tracker.Finish());
    }
    state.counters["xRT"] = benchmark::Counter(kTrackSeconds * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

void BM_AnalysisLoudnessOnly(benchmark::State& state)
{
    const StereoSignal& signal = DrumTrack();
    std::vector<int16_t> interleaved;
    for (size_t i = 0; i < signal.left.size(); ++i) {
        interleaved.push_back(signal.left[i]);
        interleaved.push_back(signal.right[i]);
    }
    for (auto _ : state) {
        CLoudnessMeter meter(44100);
        meter.Add(interleaved.data(), signal.left.size());
        benchmark::DoNotOptimize(meter.IntegratedLufs());
        benchmark::DoNotOptimize(meter.TruePeakDb());
    }
    state.counters["xRT"] = benchmark::Counter(kTrackSeconds * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_AnalysisWav)->Name("analysis/TrackWav")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AnalysisMp3)->Name("analysis/TrackMp3")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AnalysisTempoOnly)->Name("analysis/TempoOnly")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AnalysisLoudnessOnly)
    ->Name("analysis/LoudnessOnly")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
