#include "MpegReference.h"

#include "Mp3Source.h"
#include "MpegDecoder.h"
#include "MpegStream.h"
#include "WavWriter.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

struct Mpg123Deleter {
    void operator()(mpg123_handle* handle) const
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

} // namespace

bool DecodeWithMpg123(const std::string& path, DecodedAudio& out)
{
    out = DecodedAudio{};
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, Mpg123Deleter> handle(mpg123_new(nullptr, &error));
    if (!handle)
        return false;
    mpg123_param(handle.get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_IGNORE_INFOFRAME | MPG123_QUIET | MPG123_FORCE_FLOAT,
                 0.0);
    mpg123_format_none(handle.get());
    const long rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    for (const long rate : rates)
        mpg123_format(handle.get(), rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(handle.get(), path.c_str()) != MPG123_OK)
        return false;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        size_t done = 0;
        const int result = mpg123_read(handle.get(), buffer.data(), buffer.size(), &done);
        if (result == MPG123_NEW_FORMAT || out.channels == 0) {
            mpg123_getformat(handle.get(), &rate, &channels, &encoding);
            if (encoding != MPG123_ENC_FLOAT_32)
                return false;
            out.sampleRate = static_cast<int>(rate);
            out.channels = channels;
        }
        const auto* samples = reinterpret_cast<const float*>(buffer.data());
        const size_t count = done / sizeof(float);
        for (size_t i = 0; channels > 0 && i + static_cast<size_t>(channels) <= count; i += channels) {
            out.left.push_back(samples[i]);
            if (channels == 2)
                out.right.push_back(samples[i + 1]);
        }
        if (result == MPG123_DONE)
            return out.channels > 0;
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
            return false;
    }
}

bool DecodeWithOurs(const std::string& path, DecodedAudio& out)
{
    out = DecodedAudio{};
    CMpegStream stream;
    if (stream.OpenFile(path.c_str()) == 0 || stream.ReadFrame() == 0)
        return false;
    std::unique_ptr<CMpegDecoder> decoder = CMp3Source::CreateDecoder(stream.Layer());
    if (!decoder)
        return false;
    out.sampleRate = stream.SamplingRate();
    out.channels = stream.Channels();
    do {
        decoder->ClearOutput();
        const int produced = decoder->DecodeFrame(stream);
        out.left.insert(out.left.end(), decoder->Left(), decoder->Left() + produced);
        out.right.insert(out.right.end(), decoder->Right(), decoder->Right() + produced);
    } while (stream.ReadFrame() != 0);
    return true;
}

MpegDifference CompareDecodes(const DecodedAudio& ours, const DecodedAudio& reference, int lag)
{
    MpegDifference result;
    const long available = static_cast<long>(ours.left.size()) - lag;
    const long count = std::max(0L, std::min(available, static_cast<long>(reference.left.size())));
    double sumSquares = 0.0;
    long values = 0;
    for (long i = 0; i < count; ++i) {
        const size_t at = static_cast<size_t>(i + lag);
        double differences[2] = {ours.left[at] - static_cast<double>(reference.left[static_cast<size_t>(i)]),
                                 0.0};
        int used = 1;
        if (reference.channels == 2) {
            differences[1] = ours.right[at] - static_cast<double>(reference.right[static_cast<size_t>(i)]);
            used = 2;
        } else {
            differences[1] = ours.right[at] - static_cast<double>(ours.left[at]);
            used = 2;
        }
        for (int c = 0; c < used; ++c) {
            const double d = std::fabs(differences[c]);
            sumSquares += d * d;
            ++values;
            if (!(d <= result.peak))
                result.peak = d;
            if (!(d < kMpegMaxPeakDifference) && result.firstBad < 0)
                result.firstBad = i;
        }
    }
    result.compared = count;
    result.rms = values > 0 ? std::sqrt(sumSquares / static_cast<double>(values)) : 0.0;
    return result;
}

::testing::AssertionResult MatchesMpg123(const std::string& name, const std::string& path, int lag,
                                         MpegDifference* figures)
{
    DecodedAudio reference;
    DecodedAudio ours;
    if (!DecodeWithMpg123(path, reference))
        return ::testing::AssertionFailure() << name << ": libmpg123 cannot decode " << path;
    if (!DecodeWithOurs(path, ours))
        return ::testing::AssertionFailure() << name << ": our decoder cannot open " << path;
    const MpegDifference difference = CompareDecodes(ours, reference, lag);
    if (figures != nullptr)
        *figures = difference;
    std::string problem;
    if (ours.sampleRate != reference.sampleRate)
        problem = "sample rates differ";
    else if (ours.channels != reference.channels)
        problem = "channel counts differ";
    else if (static_cast<long>(ours.left.size()) != static_cast<long>(reference.left.size()) + lag)
        problem =
            "lengths differ by " +
            std::to_string(static_cast<long>(ours.left.size()) - static_cast<long>(reference.left.size())) +
            " samples, not by the lag";
    else if (difference.compared == 0)
        problem = "nothing to compare";
    else if (!(difference.rms < kMpegMaxRmsDifference) || !(difference.peak < kMpegMaxPeakDifference))
        problem = "difference beyond the bounds";
    if (problem.empty())
        return ::testing::AssertionSuccess();

    const std::string actual = path + ".actual";
    if (std::FILE* file = std::fopen(actual.c_str(), "wb")) {
        for (size_t i = 0; i < ours.left.size(); ++i) {
            std::fwrite(&ours.left[i], sizeof(float), 1, file);
            std::fwrite(&ours.right[i], sizeof(float), 1, file);
        }
        std::fclose(file);
    }
    return ::testing::AssertionFailure()
           << name << ": " << problem << " (rms " << difference.rms << ", peak " << difference.peak
           << ", first bad index " << difference.firstBad << " of " << difference.compared << "; ours "
           << ours.left.size() << " samples at " << ours.sampleRate << " Hz x" << ours.channels
           << ", reference " << reference.left.size() << " at " << reference.sampleRate << " Hz x"
           << reference.channels << "); our output written to " << actual;
}

bool HaveTool(const char* name)
{
    return RunQuiet(std::string("command -v ") + name);
}

bool RunQuiet(const std::string& command)
{
    const std::string quiet = command + " >/dev/null 2>&1";
    return std::system(quiet.c_str()) == 0;
}

bool WriteMusicLikeWav(const std::string& path, int sampleRate, int channels, double seconds)
{
    const size_t frames = static_cast<size_t>(seconds * sampleRate);
    std::vector<int16_t> interleaved;
    interleaved.reserve(frames * static_cast<size_t>(channels));
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.02);
    double phase[2][3] = {};
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        for (int ch = 0; ch < channels; ++ch) {
            // Three partials gliding over a few octaves, a burst every 0.7 s, and noise.
            const double base =
                (ch == 0 ? 110.0 : 165.0) * std::exp2(2.5 * (0.5 + 0.5 * std::sin(0.4 * t + ch)));
            double value = 0.0;
            for (int p = 0; p < 3; ++p) {
                phase[ch][p] += 2.0 * M_PI * base * (p * 2 + 1) / sampleRate;
                value += std::sin(phase[ch][p]) * 0.25 / (p + 1);
            }
            const double sinceBurst = std::fmod(t + 0.1 * ch, 0.7);
            if (sinceBurst < 0.02)
                value += 0.3 * std::sin(2.0 * M_PI * 3000.0 * t) * (1.0 - sinceBurst / 0.02);
            value += noise(random);
            interleaved.push_back(static_cast<int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32000.0)));
        }
    }
    WavFormat format;
    format.channels = static_cast<uint16_t>(channels);
    format.rate = static_cast<uint32_t>(sampleRate);
    return WriteFile(path, BuildWav(format, interleaved));
}
