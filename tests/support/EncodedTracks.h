#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Tracks in the formats FFmpeg reads for us, made at test time from a WAV file by Debian's
// command-line encoders (flac, oggenc, opusenc, ffmpeg).

enum class TrackCodec { Flac, Alac, Aiff, Vorbis, Opus, Aac, Wma };

struct TrackFormat {
    TrackCodec codec;
    const char* name;      // for test names
    const char* extension; // with its dot
    bool lossless;
};

// Every format, lossless ones first.
const std::vector<TrackFormat>& AllTrackFormats();

// Encodes wavPath into outPath; false when the encoder is missing or fails.
bool EncodeTrack(TrackCodec codec, const std::string& wavPath, const std::string& outPath);

// Stereo 16-bit samples, one plane per channel.
struct PcmTrack {
    int rate = 0; // Hz
    std::vector<int16_t> left;
    std::vector<int16_t> right;
};

// Opens a path with the source CreateForPath picks and reads every block in order, as whole
// blocks with the last cut to the source's total frames when it knows them. False when Open fails.
bool DecodeTrack(const std::string& path, PcmTrack& out);

// Signal to noise ratio of decoded against reference in dB, over the frames both hold, both
// channels.
double SnrDb(const PcmTrack& reference, const PcmTrack& decoded);

// White noise at about -10 dBFS, left and right independent, seeded.
PcmTrack NoiseTrack(int rate, int frames, uint32_t seed);
// A sine at hz with amplitude, the right channel of opposite sign.
PcmTrack ToneTrack(int rate, int frames, double hz, double amplitude);

bool WritePcmTrack(const std::string& path, const PcmTrack& track);
