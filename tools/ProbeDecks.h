#pragma once

#include "TempDir.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class CAudioEngine;
class COutputManager;

// The load both probes put on a machine: two decks playing chords from tracks written for the
// run into a temporary folder, one of them off its own speed.
class CProbeDecks {
public:
    // Writes the two tracks, long enough for runs of runSeconds each. false (and says so on
    // stderr) when they cannot be written.
    bool WriteTracks(int runSeconds);
    // Loads the tracks into the engine's decks, sets both playing and makes the manager the
    // engine's play clock (the caller clears it before the manager goes). false, with no play
    // clock set, when the loads do not finish within 30 s.
    bool LoadAndPlay(CAudioEngine& engine, COutputManager& manager) const;

private:
    CTempDir m_dir; // holds the two tracks for as long as the probe runs
};

// Reads "--seconds N" and the frame counts (block sizes or periods) both probes take; every
// other argument goes to other, which advances index past any value it takes and returns false
// for an argument it does not know. Sizes default to defaultSizes. false on a bad command line.
bool ParseProbeArguments(int argc, char** argv, int& seconds, std::vector<uint32_t>& sizes,
                         std::initializer_list<uint32_t> defaultSizes,
                         const std::function<bool(int argc, char** argv, int& index)>& other);
