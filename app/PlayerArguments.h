#pragma once

#include <string>

// The player's command line: at most one file to open, the Audio-CD start switch, help and
// version. Qt's own options are taken out by the application object before this reads the
// rest.
struct PlayerArguments {
    std::string file;     // made absolute: a second start hands it to a player with another
                          // working folder
    bool audioCd = false; // "/AudioCD" or "--audio-cd": started for an inserted Audio CD
    bool help = false;
    bool version = false;
    std::string error; // why the line was refused; empty when it was not

    static PlayerArguments Parse(int argc, const char* const* argv);
    static const char* Usage();
};
