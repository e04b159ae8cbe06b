// The headless renderer on an hour of Automix, from MP3 (made here with lame from the
// synthesised demo material) and from the same tracks as WAV, plus decoding the MP3s alone: the
// three together say where a render's time goes (decoder against engine, mixer and writing).
#include "DemoTracks.h"
#include "HeadlessRenderer.h"
#include "Mp3Source.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float kFadeSeconds = 8.0f;
constexpr double kHourSeconds = 3600.0;

// The demo tracks once per process, as MP3 (when lame runs) and as WAV.
struct DemoFiles {
    CTempDir dir;
    std::vector<std::string> mp3;
    std::vector<std::string> wav;
    double roundSeconds = 0.0; // one pass over the five tracks in Automix, fades taken off
};

const DemoFiles& Files()
{
    static const std::unique_ptr<DemoFiles> files = [] {
        auto made = std::make_unique<DemoFiles>();
        std::string error;
        std::vector<std::string> chosen;
        if (CDemoTracks::Write(made->dir.Path("demo"), true, chosen, error)) {
            for (const std::string& path : chosen) {
                if (path.size() > 4 && path.compare(path.size() - 4, 4, ".mp3") == 0)
                    made->mp3.push_back(path);
                made->wav.push_back(path.substr(0, path.size() - 4) + ".wav");
            }
        }
        for (const auto& track : CDemoTracks::Tracks())
            made->roundSeconds += CDemoTracks::LengthSeconds(track) - kFadeSeconds;
        return made;
    }();
    return *files;
}

// An M3U that repeats the tracks until the Automix lasts an hour; its expected length.
double WriteHourList(const std::vector<std::string>& tracks, const std::string& path)
{
    std::ofstream list(path);
    double seconds = 0.0;
    while (seconds < kHourSeconds) {
        for (const std::string& track : tracks)
            list << track << "\n";
        seconds += Files().roundSeconds;
    }
    return seconds;
}

void RenderHour(benchmark::State& state, bool mp3)
{
    const DemoFiles& files = Files();
    const std::vector<std::string>& tracks = mp3 ? files.mp3 : files.wav;
    if (tracks.size() != CDemoTracks::Tracks().size()) {
        state.SkipWithError(mp3 ? "lame is not installed: no MP3 demo tracks"
                                : "the demo tracks could not be made");
        return;
    }
    const std::string list = files.dir.Path(mp3 ? "hour-mp3.m3u" : "hour-wav.m3u");
    WriteHourList(tracks, list);
    double audioSeconds = 0.0;
    for (auto _ : state) {
        CHeadlessRenderer::Options options;
        options.inputs = {list};
        options.output = files.dir.Path("hour.wav");
        options.fadeSeconds = kFadeSeconds;
        options.quiet = true;
        FILE* sink = std::fopen("/dev/null", "w");
        CHeadlessRenderer renderer(options, sink);
        if (renderer.Run() != CHeadlessRenderer::kOk)
            state.SkipWithError("the render failed");
        std::fclose(sink);
        audioSeconds += renderer.Result().seconds;
    }
    state.counters["xRT"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.counters["audio_s"] = audioSeconds / static_cast<double>(state.iterations());
}

void DecodeDemoMp3(benchmark::State& state)
{
    const DemoFiles& files = Files();
    if (files.mp3.empty()) {
        state.SkipWithError("lame is not installed: no MP3 demo tracks");
        return;
    }
    std::vector<int16_t> left(CAudioSource::kMaxBlockFrames);
    std::vector<int16_t> right(CAudioSource::kMaxBlockFrames);
    double audioSeconds = 0.0;
    for (auto _ : state) {
        for (const std::string& path : files.mp3) {
            CMp3Source source;
            if (source.Open(path.c_str()) == 0) {
                state.SkipWithError("a demo MP3 does not open");
                return;
            }
            int blocks = 0;
            while (source.ReadBlock(left.data(), right.data()) != 0)
                ++blocks;
            audioSeconds += static_cast<double>(blocks) * source.GetBlockFrames() / source.GetSampleRate();
        }
    }
    state.counters["xRT"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(RenderHour, mp3, true)
    ->Name("render/automix-one-hour-mp3")
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(RenderHour, wav, false)
    ->Name("render/automix-one-hour-wav")
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();
BENCHMARK(DecodeDemoMp3)
    ->Name("mpeg/decode-demo-mp3")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
