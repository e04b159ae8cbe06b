#pragma once

#include <array>
#include <cstdint>
#include <string>

// Where a track lives; kept in lists and used to find a track that moved.
enum TrackMedia : int32_t {
    kMediaFixed = 0,     // a fixed drive
    kMediaAudioCd = 1,   // "X:\TrackNN.cda" on the Audio-CD
    kMediaRemovable = 2, // a mounted removable drive: may come back under another mount point
};

// One track of a list. Text is UTF-8; the text fields hold at most kTextBytes bytes, cut at a
// character boundary. The location is a full path of any length (a cut path names the wrong
// file), or "X:\TrackNN.cda" for a CD track.
struct TrackEntry {
    static constexpr size_t kTextBytes = 63;
    static constexpr uint8_t kNoGenre = 255;
    static constexpr int32_t kUnknownPlayTime = -1;

    int32_t id = 0; // unique within the run; the Time Line and mixes refer to entries by it
    std::string location;
    std::string title; // the file name without extension until a tag or list says otherwise
    std::string artist;
    std::string album;
    int32_t trackNumber = 0;           // on the album or CD; 0 = none
    std::array<double, 5> cuePoints{}; // ms; 0 = not set
    float fadeTime = 0.0f;             // s; 0 = not set
    std::string comment;
    uint8_t genre = kNoGenre;            // ID3v1 genre 0..79, 255 = none
    int32_t playTime = kUnknownPlayTime; // whole seconds; -1 = not yet measured
    float tempo = 0.0f;                  // BPM; 0 = none
    float tempoQuality = 0.0f;           // confidence 0.0 .. 1.0
    // What analysing the track found (kept in lists as the ANALYSIS element; older readers skip it)
    double firstBeatMs = -1.0;    // the first beat of the tempo's grid; -1 = not known
    float loudnessLufs = 0.0f;    // EBU R128 integrated loudness; 0 = not measured
    float truePeakDb = 0.0f;      // dBTP, valid with loudnessLufs
    double audibleStartMs = -1.0; // first sound above -60 dBFS; -1 = not measured
    double audibleEndMs = -1.0;   // last such sound
    int32_t playCount = 0;        // times the track was loaded and left a deck
    bool exists = false;          // found at the last check
    bool lock = false;            // used by the current Mix-File: not deletable
    int32_t media = kMediaFixed;  // TrackMedia
    bool selected = false;        // selection mark of the list window
    bool changed = true;          // must be redrawn
};
