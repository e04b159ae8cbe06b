#pragma once

#include <cstdint>
#include <string>

// What the user sets and the program keeps from run to run: the record the setup sheet edits
// (on a copy) and the settings store reads at start-up and writes at exit. Every member starts
// at its default. "X-Fader Mode" and "Master Volume" are kept too, but as control functions, not
// here.
struct PlayerSettings {
    int32_t run = 0;                  // program starts; 1 on the first start
    int32_t outputDevice = 0;         // output device identifier of the master
    uint16_t outputFrequency = 44100; // Hz
    int32_t outputBlockSize = 8192;   // frames per block of the master, 128 .. 16384
    uint8_t outputResolution = 2;     // bytes per sample: 1 or 2
    int32_t outputStereo = 1;         // 1 = two channels
    int32_t windowPosX = -1;          // main window's left edge; -1 = not set
    int32_t windowPosY = -1;          // main window's top edge; -1 = not set
    char driveAudioCd = 0;            // letter of the Audio-CD drive; 0 = the first found
    std::string cdImage;              // instead of a drive: the cue sheet of a disc image
    int32_t registerQzl = 1;          // file types the program makes itself the default for
    int32_t registerQzx = 1;
    int32_t registerM3u = 0;
    int32_t registerMp3 = 0;
    int32_t registerWav = 0;
    int32_t registerCda = 1;
    int32_t registerAudioCd = 1;   // the handler of inserted Audio CDs
    int32_t playlistRecDirAdd = 1; // adding a folder descends into its sub-folders
    int32_t playlistRepeat = 0;    // repeat all
    float autoFadeTime = 10.0f;    // seconds: > 0 cross-fade, 0 none, < 0 pause; -999 .. 999
    int32_t toolTips = 1;
    int32_t timeLineModeFixed = 0;  // every Time Line item drawn 170 s wide
    int32_t automixSkipSilence = 0; // Automix starts and ends analysed tracks at their sound
    int32_t automixLevelTracks = 0; // Automix plays analysed tracks at one loudness
    std::string defaultLoadDir;     // where the file dialogs open
    // Set by the setup sheet's Audio page on OK: the outputs are to be reopened.
    bool outputChanged = false;
};

// The main window's panels, kept in the "Apperance" group.
struct PanelSettings {
    int32_t mixerOpen = 1;
    int32_t mixViewOpen = 1;
    int32_t playListOpen = 1;
    int32_t playListHeight = 180; // pixels, at least 120
};
