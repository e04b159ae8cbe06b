#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bundled demo: a handful of short dance tracks synthesised here, so the player can show a
// whole Automix without any recorded music. Each track is a drum pattern (kick, snare, hats)
// with a bass line and a chord stab at a known tempo; the same seed always gives the same
// samples, so a render of the demo is the same on every machine.
class CDemoTracks {
public:
    struct Track {
        const char* name;  // file name without extension
        const char* title; // shown in the list
        float bpm;
        int bars;     // 4/4 bars
        int rootNote; // MIDI note of the bass line's root
        uint32_t seed;
    };

    static const std::vector<Track>& Tracks();
    // 16-bit stereo at 44100 Hz, interleaved.
    static std::vector<int16_t> Synthesize(const Track& track);
    static double LengthSeconds(const Track& track);
    // Writes every track as WAV into folder (made when missing) and, when mp3 is set and lame
    // runs, as MP3 too. files receives the paths the demo list should hold (the MP3s when they
    // were made). False with a one-line reason in error.
    static bool Write(const std::string& folder, bool mp3, std::vector<std::string>& files,
                      std::string& error);
};
