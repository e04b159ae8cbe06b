#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

// Accuracy of our MPEG decoder against libmpg123 (the reference, linked into tests only): both
// decode a file to float at full scale +-1.0, and the difference must stay within the standard's
// "full accuracy" bounds of ISO/IEC 11172-4 for 16-bit output.

// RMS difference below 2^-15 / sqrt(12) and no sample further off than 2^-14.
inline const double kMpegMaxRmsDifference = std::exp2(-15.0) / std::sqrt(12.0);
inline const double kMpegMaxPeakDifference = std::exp2(-14.0);

struct DecodedAudio {
    int sampleRate = 0; // Hz
    int channels = 0;   // 1 or 2; a mono decode fills left only
    std::vector<float> left;
    std::vector<float> right;
};

// libmpg123 as float, every frame as it is: no gapless trimming, and an encoder's info frame
// decoded like any other (it decodes to silence, as ours does).
bool DecodeWithMpg123(const std::string& path, DecodedAudio& out);
// Ours: the stream, and the decoder CMp3Source would create for the first frame's layer, frame by
// frame with no conversion.
bool DecodeWithOurs(const std::string& path, DecodedAudio& out);

struct MpegDifference {
    double rms = 0.0;   // over both channels, full scale 1.0
    double peak = 0.0;  // largest absolute difference
    long firstBad = -1; // first sample index (per channel) beyond the peak bound, -1 if none
    long compared = 0;  // samples per channel compared
};

// Compares ours[i + lag] with reference[i] over the samples both hold. A mono reference is
// compared with our left channel, and our right must equal our left.
MpegDifference CompareDecodes(const DecodedAudio& ours, const DecodedAudio& reference, int lag);

// Decodes path with both, compares with the lag (the known delay of ours behind the reference,
// in samples), and checks the bounds, equal sample rates and channel counts, and that the two
// lengths differ by exactly the lag. On failure writes <name>.actual (our samples as raw float,
// interleaved) next to the file and names the first bad index. figures receives the result.
::testing::AssertionResult MatchesMpg123(const std::string& name, const std::string& path, int lag,
                                         MpegDifference* figures = nullptr);

// True when a program is on the PATH.
bool HaveTool(const char* name);
// Runs a shell command with its output discarded; true on exit status 0.
bool RunQuiet(const std::string& command);

// A test signal as 16-bit WAV: tones gliding in pitch, a little noise and short bursts, at about
// -6 dBFS, different in each channel (so joint stereo has something to do).
bool WriteMusicLikeWav(const std::string& path, int sampleRate, int channels, double seconds);
