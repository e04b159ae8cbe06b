#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What one run of the headless renderer is asked to do.
struct RenderOptions {
    std::vector<std::string> inputs; // empty: the bundled demo
    std::string output;              // WAV path, "-" for standard output; empty: from the first input
    std::string tracklist;           // the mix as heard, one line a track; empty: none
    std::string cueSheet;            // a CUE sheet of the written file; empty: none
    float fadeSeconds = 8.0f;        // negative: a pause
    bool repeat = false;
    double fromSeconds = 0.0;
    double toSeconds = -1.0; // -1: to the end
    int masterVolume = 191;  // "Master Volume" 0..255; 191 plays tracks at their own level
    bool play = false;       // the sound card instead of a file
    bool quiet = false;
    uint32_t blockTicks = 8; // 1..128
    int threads = 0; // 1: decode and mix on one thread; 2: decode on a second; 0: 2 on a multi-core machine
    std::string demoFolder;    // where the demo is made; empty: the per-user data folder
    bool demoMp3 = true;       // the demo as MP3 when lame is installed (else WAV)
    bool analyse = false;      // the tracks analysed (tempo, loudness, silent ends) before the run
    std::string analysisCache; // the analysis cache file; empty: the per-user data folder's
    bool skipSilence = false;  // Automix skips silent starts and ends (implies analyse)
    bool levelTracks = false;  // Automix plays every track at -14 LUFS (implies analyse)
};
