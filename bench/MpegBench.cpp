// MPEG decoding: our decoder against libmpg123 (linked into the benchmark only) on the same
// files in the same run, and the cost of opening a long constant-bit-rate file. The files are
// encoded at start-up with lame and twolame into a temporary folder.
#include "Mp3Source.h"
#include "MpegDecoder.h"
#include "MpegStream.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <benchmark/benchmark.h>
#include <mpg123.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kTrackSeconds = 300.0;
constexpr int kHourCopies = 12; // twelve five-minute tracks make the one-hour file

enum class BenchFile { Layer3At320, Layer3At128, Layer2At192, OneHourCbr };

double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Five minutes of three gliding partials and a little noise, stereo, different per channel.
bool WriteTrackWav(const std::string& path)
{
    const size_t frames = static_cast<size_t>(kTrackSeconds * kRate);
    std::vector<int16_t> left(frames), right(frames);
    uint32_t noise = 1;
    double phase[2][3] = {};
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        for (int ch = 0; ch < 2; ++ch) {
            const double base =
                (ch == 0 ? 110.0 : 147.0) * std::exp2(2.0 * (0.5 + 0.5 * std::sin(0.3 * t + ch)));
            double value = 0.0;
            for (int p = 0; p < 3; ++p) {
                phase[ch][p] += 2.0 * M_PI * base * (2 * p + 1) / kRate;
                value += 0.25 / (p + 1) * std::sin(phase[ch][p]);
            }
            noise = noise * 1664525u + 1013904223u;
            value += 0.02 * (static_cast<int32_t>(noise) / 2147483648.0);
            (ch == 0 ? left : right)[i] = static_cast<int16_t>(std::lround(value * 32000.0));
        }
    }
    return WriteStereoWav16(path, left, right, kRate);
}

const std::string& PathOf(BenchFile file)
{
    static CTempDir dir;
    static std::map<BenchFile, std::string> paths = [] {
        std::map<BenchFile, std::string> made;
        const std::string wav = dir.Path("track.wav");
        if (!WriteTrackWav(wav))
            return made;
        const std::string l3a = dir.Path("track-320.mp3");
        const std::string l3b = dir.Path("track-128.mp3");
        const std::string l2 = dir.Path("track-192.mp2");
        const std::string plain = dir.Path("track-128-plain.mp3");
        if (Run("lame --quiet -b 320 '" + wav + "' '" + l3a + "'"))
            made[BenchFile::Layer3At320] = l3a;
        if (Run("lame --quiet -b 128 '" + wav + "' '" + l3b + "'"))
            made[BenchFile::Layer3At128] = l3b;
        if (Run("twolame --quiet -b 192 '" + wav + "' '" + l2 + "'"))
            made[BenchFile::Layer2At192] = l2;
        // Without the info frame, so that the copies join into one constant-bit-rate stream.
        const std::string hour = dir.Path("hour-128.mp3");
        if (Run("lame --quiet -t -b 128 '" + wav + "' '" + plain + "'")) {
            std::ifstream in(plain, std::ios::binary);
            const std::vector<char> track((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
            std::ofstream out(hour, std::ios::binary);
            for (int i = 0; i < kHourCopies; ++i)
                out.write(track.data(), static_cast<std::streamsize>(track.size()));
            if (!track.empty() && out.good())
                made[BenchFile::OneHourCbr] = hour;
        }
        return made;
    }();
    static const std::string none;
    const auto found = paths.find(file);
    return found != paths.end() ? found->second : none;
}

// Whole-file decodes to float; both return the samples per channel, 0 on failure.
long DecodeOurs(const std::string& path, float& checksum)
{
    CMpegStream stream;
    if (stream.OpenFile(path.c_str()) == 0 || stream.ReadFrame() == 0)
        return 0;
    std::unique_ptr<CMpegDecoder> decoder = CMp3Source::CreateDecoder(stream.Layer());
    if (!decoder)
        return 0;
    long samples = 0;
    do {
        samples += decoder->DecodeFrame(stream);
        checksum += decoder->Left()[100];
    } while (stream.ReadFrame() != 0);
    return samples;
}

long DecodeMpg123(const std::string& path, float& checksum)
{
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr)
        return 0;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT, 0.0);
    mpg123_format_none(handle);
    mpg123_format(handle, kRate, MPG123_STEREO | MPG123_MONO, MPG123_ENC_FLOAT_32);
    long samples = 0;
    if (mpg123_open(handle, path.c_str()) == MPG123_OK) {
        static std::vector<unsigned char> buffer(1 << 16);
        for (;;) {
            size_t done = 0;
            const int result = mpg123_read(handle, buffer.data(), buffer.size(), &done);
            samples += static_cast<long>(done / (2 * sizeof(float)));
            if (done >= sizeof(float))
                checksum += reinterpret_cast<const float*>(buffer.data())[0];
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
                break;
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return samples;
}

// libmpg123's CPU time for one decode of a file, the best of three, measured once per file.
double Mpg123Seconds(BenchFile file)
{
    static std::map<BenchFile, double> seconds;
    const auto found = seconds.find(file);
    if (found != seconds.end())
        return found->second;
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        float checksum = 0.0f;
        const double start = CpuSeconds();
        DecodeMpg123(PathOf(file), checksum);
        best = std::min(best, CpuSeconds() - start);
        benchmark::DoNotOptimize(checksum);
    }
    return seconds[file] = best;
}

void DecodeOursBench(benchmark::State& state, BenchFile file)
{
    const std::string& path = PathOf(file);
    float checksum = 0.0f;
    if (path.empty() || DecodeOurs(path, checksum) == 0) {
        state.SkipWithError("file not made (lame/twolame missing) or layer not decoded by this build");
        return;
    }
    const double reference = Mpg123Seconds(file);
    double audioSeconds = 0.0;
    double cpu = 0.0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        audioSeconds += static_cast<double>(DecodeOurs(path, checksum)) / kRate;
        cpu += CpuSeconds() - start;
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["xRT"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.counters["ratio_to_mpg123"] = cpu / static_cast<double>(state.iterations()) / reference;
}

void DecodeMpg123Bench(benchmark::State& state, BenchFile file)
{
    const std::string& path = PathOf(file);
    if (path.empty()) {
        state.SkipWithError("file not made (lame/twolame missing)");
        return;
    }
    float checksum = 0.0f;
    double audioSeconds = 0.0;
    for (auto _ : state)
        audioSeconds += static_cast<double>(DecodeMpg123(path, checksum)) / kRate;
    benchmark::DoNotOptimize(checksum);
    state.counters["xRT"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.counters["ratio_to_mpg123"] = 1.0;
}

// Opening builds the index: 768 headers, an estimate, and a short stretch at the end.
void OpenOneHour(benchmark::State& state)
{
    const std::string& path = PathOf(BenchFile::OneHourCbr);
    if (path.empty()) {
        state.SkipWithError("file not made (lame missing)");
        return;
    }
    int frames = 0;
    for (auto _ : state) {
        CMpegStream stream;
        stream.OpenFile(path.c_str());
        frames = stream.FrameCount();
    }
    state.counters["frames"] = frames;
}

// What opening would cost if it read every header of the file.
void ScanOneHour(benchmark::State& state)
{
    const std::string& path = PathOf(BenchFile::OneHourCbr);
    if (path.empty()) {
        state.SkipWithError("file not made (lame missing)");
        return;
    }
    int frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CMpegStream stream;
        stream.OpenFile(path.c_str());
        state.ResumeTiming();
        frames = 0;
        while (stream.ReadFrame(CMpegStream::Payload::Skip) != 0)
            ++frames;
    }
    state.counters["frames"] = frames;
}

} // namespace

BENCHMARK_CAPTURE(DecodeOursBench, l3_320, BenchFile::Layer3At320)
    ->Name("mpeg/decode/ours/layer3-320k-stereo-5min")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeMpg123Bench, l3_320, BenchFile::Layer3At320)
    ->Name("mpeg/decode/mpg123/layer3-320k-stereo-5min")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeOursBench, l3_128, BenchFile::Layer3At128)
    ->Name("mpeg/decode/ours/layer3-128k-stereo-5min")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeMpg123Bench, l3_128, BenchFile::Layer3At128)
    ->Name("mpeg/decode/mpg123/layer3-128k-stereo-5min")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeOursBench, l2_192, BenchFile::Layer2At192)
    ->Name("mpeg/decode/ours/layer2-192k-stereo-5min")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeMpg123Bench, l2_192, BenchFile::Layer2At192)
    ->Name("mpeg/decode/mpg123/layer2-192k-stereo-5min")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(OpenOneHour)->Name("mpeg/open/one-hour-cbr-indexed")->Unit(benchmark::kMillisecond);
BENCHMARK(ScanOneHour)->Name("mpeg/open/one-hour-cbr-full-header-scan")->Unit(benchmark::kMillisecond);
