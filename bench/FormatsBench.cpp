// Decoding speed of every track format through the source the player picks for it, in times real
// time: the formats FFmpeg reads beside our own WAV reader and MPEG decoder, on the same 60 s of
// music-like signal.
#include "AudioSource.h"
#include "EncodedTracks.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kSeconds = 60;

// Tones over a little noise, so that lossy coders have something to do and FLAC something to
// predict.
const std::string& SourceWav(int rate)
{
    static CTempDir dir;
    static std::map<int, std::string> paths;
    auto found = paths.find(rate);
    if (found != paths.end())
        return found->second;
    PcmTrack track = NoiseTrack(rate, rate * kSeconds, 11);
    for (size_t i = 0; i < track.left.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double tone = 6000.0 * std::sin(2.0 * std::numbers::pi * 220.0 * t) +
                            3000.0 * std::sin(2.0 * std::numbers::pi * 1318.5 * t);
        track.left[i] = static_cast<int16_t>(std::lrint(tone + track.left[i] * 0.1));
        track.right[i] = static_cast<int16_t>(std::lrint(tone * 0.8 + track.right[i] * 0.1));
    }
    const std::string path = dir.Path("music" + std::to_string(rate) + ".wav");
    WritePcmTrack(path, track);
    return paths.emplace(rate, path).first->second;
}

// The encoded file of a format (by extension and encoder command), made once; empty when the
// encoder is missing.
std::string Encoded(const std::string& extension, TrackCodec codec, bool viaCodec)
{
    static CTempDir dir;
    static std::map<std::string, std::string> paths;
    const std::string key = extension + std::to_string(static_cast<int>(codec));
    if (auto found = paths.find(key); found != paths.end())
        return found->second;
    const int rate = codec == TrackCodec::Opus && viaCodec ? 48000 : 44100;
    const std::string path = dir.Path("music" + std::to_string(static_cast<int>(codec)) + extension);
    bool made = false;
    if (!viaCodec && extension == ".wav")
        return SourceWav(44100);
    if (!viaCodec && extension == ".mp3")
        made =
            std::system(
                ("lame --quiet -b 192 '" + SourceWav(44100) + "' '" + path + "' >/dev/null 2>&1").c_str()) ==
            0;
    else
        made = EncodeTrack(codec, SourceWav(rate), path);
    return paths.emplace(key, made ? path : std::string()).first->second;
}

void DecodeFormat(benchmark::State& state, const std::string& extension, TrackCodec codec, bool viaCodec)
{
    const std::string path = Encoded(extension, codec, viaCodec);
    if (path.empty()) {
        state.SkipWithError("encoder missing");
        return;
    }
    std::vector<int16_t> left(CAudioSource::kMaxBlockFrames);
    std::vector<int16_t> right(CAudioSource::kMaxBlockFrames);
    double audioSeconds = 0.0;
    for (auto _ : state) {
        std::unique_ptr<CAudioSource> source = CAudioSource::CreateForPath(path.c_str());
        if (!source || source->Open(path.c_str()) == 0) {
            state.SkipWithError("not opened");
            return;
        }
        int64_t frames = 0;
        for (int block = 0; block < source->GetBlockCount(); ++block) {
            if (source->ReadBlock(left.data(), right.data()) == 0)
                break;
            frames += source->GetBlockFrames();
        }
        benchmark::DoNotOptimize(left.data());
        audioSeconds += static_cast<double>(frames) / source->GetSampleRate();
    }
    state.counters["xRT"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(DecodeFormat, wav, std::string(".wav"), TrackCodec::Flac, false)
    ->Name("sources/decode/wav-60s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeFormat, mp3, std::string(".mp3"), TrackCodec::Flac, false)
    ->Name("sources/decode/mp3-192k-60s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeFormat, flac, std::string(".flac"), TrackCodec::Flac, true)
    ->Name("sources/decode/flac-60s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeFormat, alac, std::string(".m4a"), TrackCodec::Alac, true)
    ->Name("sources/decode/alac-60s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeFormat, aiff, std::string(".aiff"), TrackCodec::Aiff, true)
    ->Name("sources/decode/aiff-60s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeFormat, vorbis, std::string(".ogg"), TrackCodec::Vorbis, true)
    ->Name("sources/decode/vorbis-q6-60s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeFormat, opus, std::string(".opus"), TrackCodec::Opus, true)
    ->Name("sources/decode/opus-192k-60s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeFormat, aac, std::string(".m4a"), TrackCodec::Aac, true)
    ->Name("sources/decode/aac-256k-60s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeFormat, wma, std::string(".wma"), TrackCodec::Wma, true)
    ->Name("sources/decode/wma-256k-60s")
    ->Unit(benchmark::kMillisecond);
