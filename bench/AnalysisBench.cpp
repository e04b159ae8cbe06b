// Track analysis: how many times real time one core analyses a track (tempo, loudness, true
// peak, audible range), from a WAV and from an MP3, and the parts on their own.
#include "BeatTestSet.h"
#include "ListAnalysis.h"
#include "ListImport.h"
#include "LoudnessMeter.h"
#include "Playlist.h"
#include "TempDir.h"
#include "TempoTracker.h"
#include "TrackAnalyser.h"
#include "WavWriter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

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

// A folder of as many tracks as a list holds, each a 10 s drum loop.
const std::string& ImportFolder()
{
    static CTempDir dir;
    static const std::string folder = [] {
        const std::string root = dir.Path("crate");
        std::filesystem::create_directories(root);
        BeatTrackRecipe recipe;
        recipe.seconds = 10.0;
        const StereoSignal signal = RenderBeatTrack(recipe);
        const std::string first = root + "/t000.wav";
        WriteStereoWav16(first, signal.left, signal.right);
        for (int i = 1; i < CPlaylist::kMaxEntries; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/t%03d.wav", i);
            std::filesystem::copy_file(first, root + name);
        }
        return root;
    }();
    return folder;
}

// What the background analysis adds to a folder import on the thread that owns the lists: the
// import alone (0), and with every added track queued (1; queueMs is the queueing's own part).
// The worker then reads them at the lowest priority, in time nothing else wants.
void BM_FolderImport(benchmark::State& state)
{
    const bool queue = state.range(0) != 0;
    const std::string& folder = ImportFolder();
    CTempDir cache;
    double queueSeconds = 0.0;
    for (auto _ : state) {
        auto analysis = std::make_unique<CListAnalysis>(cache.Path("cache.txt"));
        CPlaylist list;
        CListImport import;
        import.Start({folder}, false);
        while (!import.Done())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        CListImport::Result result = import.TakeResult();
        CListImport::AppendTo(list, result.entries, result.report);
        if (queue) {
            const auto start = std::chrono::steady_clock::now();
            analysis->Queue(list, 0, list.Count(), false);
            queueSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        state.PauseTiming();
        analysis.reset(); // the track being read is given up
        std::filesystem::remove(cache.Path("cache.txt"));
        state.ResumeTiming();
    }
    state.counters["tracks"] = CPlaylist::kMaxEntries;
    // The queueing alone, in milliseconds per import.
    state.counters["queueMs"] = 1000.0 * queueSeconds / static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(BM_FolderImport)
    ->Name("analysis/FolderImport")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_AnalysisWav)->Name("analysis/TrackWav")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AnalysisMp3)->Name("analysis/TrackMp3")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AnalysisTempoOnly)->Name("analysis/TempoOnly")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AnalysisLoudnessOnly)
    ->Name("analysis/LoudnessOnly")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
