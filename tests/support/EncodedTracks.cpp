#include "EncodedTracks.h"

#include "AudioSource.h"
#include "WavWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

namespace {

bool RunQuiet(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& path)
{
    return "'" + path + "'";
}

} // namespace

const std::vector<TrackFormat>& AllTrackFormats()
{
    static const std::vector<TrackFormat> formats = {
        {TrackCodec::Flac, "Flac", ".flac", true},  {TrackCodec::Alac, "Alac", ".m4a", true},
        {TrackCodec::Aiff, "Aiff", ".aiff", true},  {TrackCodec::Vorbis, "Vorbis", ".ogg", false},
        {TrackCodec::Opus, "Opus", ".opus", false}, {TrackCodec::Aac, "Aac", ".m4a", false},
        {TrackCodec::Wma, "Wma", ".wma", false},
    };
    return formats;
}

bool EncodeTrack(TrackCodec codec, const std::string& wavPath, const std::string& outPath)
{
    const std::string in = Quoted(wavPath);
    const std::string out = Quoted(outPath);
    const std::string ffmpeg = "ffmpeg -nostdin -v error -y -i " + in + " ";
    switch (codec) {
    case TrackCodec::Flac:
        return RunQuiet("flac -s -f -o " + out + " " + in);
    case TrackCodec::Alac:
        return RunQuiet(ffmpeg + "-c:a alac " + out);
    case TrackCodec::Aiff:
        return RunQuiet(ffmpeg + "-c:a pcm_s16be " + out);
    case TrackCodec::Vorbis:
        return RunQuiet("oggenc -Q -q 6 -o " + out + " " + in);
    case TrackCodec::Opus:
        return RunQuiet("opusenc --quiet --bitrate 192 " + in + " " + out);
    case TrackCodec::Aac:
        return RunQuiet(ffmpeg + "-c:a aac -b:a 256k " + out);
    case TrackCodec::Wma:
        return RunQuiet(ffmpeg + "-c:a wmav2 -b:a 256k " + out);
    }
    return false;
}

bool DecodeTrack(const std::string& path, PcmTrack& out)
{
    std::unique_ptr<CAudioSource> source = CAudioSource::CreateForPath(path.c_str());
    if (!source || source->Open(path.c_str()) == 0)
        return false;
    out.rate = source->GetSampleRate();
    out.left.clear();
    out.right.clear();
    std::vector<int16_t> left(CAudioSource::kMaxBlockFrames);
    std::vector<int16_t> right(CAudioSource::kMaxBlockFrames);
    // Whole blocks, as the deck takes them, the last one cut to the length the source knows.
    const int64_t total = source->GetTotalFrames();
    for (int block = 0; block < source->GetBlockCount(); ++block) {
        if (source->ReadBlock(left.data(), right.data()) == 0)
            break;
        int64_t frames = source->GetBlockFrames();
        if (total >= 0)
            frames = std::min<int64_t>(frames, total - static_cast<int64_t>(out.left.size()));
        out.left.insert(out.left.end(), left.begin(), left.begin() + frames);
        out.right.insert(out.right.end(), right.begin(), right.begin() + frames);
    }
    return true;
}

double SnrDb(const PcmTrack& reference, const PcmTrack& decoded)
{
    double signal = 0.0;
    double noise = 0.0;
    const size_t frames = std::min(reference.left.size(), decoded.left.size());
    for (size_t i = 0; i < frames; ++i) {
        for (const auto& [want, got] : {std::pair{reference.left[i], decoded.left[i]},
                                        std::pair{reference.right[i], decoded.right[i]}}) {
            const double error = static_cast<double>(got) - static_cast<double>(want);
            signal += static_cast<double>(want) * static_cast<double>(want);
            noise += error * error;
        }
    }
    return 10.0 * std::log10(signal / std::max(noise, 1e-9));
}

PcmTrack NoiseTrack(int rate, int frames, uint32_t seed)
{
    PcmTrack track;
    track.rate = rate;
    std::mt19937 generator(seed);
    std::normal_distribution<double> noise(0.0, 3000.0);
    for (int i = 0; i < frames; ++i) {
        track.left.push_back(static_cast<int16_t>(std::clamp(noise(generator), -32768.0, 32767.0)));
        track.right.push_back(static_cast<int16_t>(std::clamp(noise(generator), -32768.0, 32767.0)));
    }
    return track;
}

PcmTrack ToneTrack(int rate, int frames, double hz, double amplitude)
{
    PcmTrack track;
    track.rate = rate;
    for (int i = 0; i < frames; ++i) {
        const auto sample =
            static_cast<int16_t>(std::lrint(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate)));
        track.left.push_back(sample);
        track.right.push_back(static_cast<int16_t>(-sample));
    }
    return track;
}

bool WritePcmTrack(const std::string& path, const PcmTrack& track)
{
    return WriteStereoWav16(path, track.left, track.right, static_cast<uint32_t>(track.rate));
}
