#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Renders an Automix list or a Mix-File without a display: into a WAV file as fast as the
// machine allows (the offline master refills the decks synchronously, so every run gives the
// same bytes), or through the sound card in real time. It reports progress, every change-over
// and a summary on a terminal, and skips tracks it cannot read, naming each.
class CHeadlessRenderer {
public:
    enum ExitCode : int {
        kOk = 0,
        kUsage = 1,         // bad options
        kNothingToPlay = 2, // no input could be read, or no track of it can be played
        kOutputFailed = 3,  // the WAV file or the sound device could not be used
        kTracksSkipped = 4  // rendered, but some tracks were missing or undecodable
    };

    struct Options {
        std::vector<std::string> inputs; // empty: the bundled demo
        std::string output;              // WAV path; empty: first input's name + ".wav"
        float fadeSeconds = 8.0f;        // negative: a pause
        bool repeat = false;
        double fromSeconds = 0.0;
        double toSeconds = -1.0; // -1: to the end
        bool play = false;       // the sound card instead of a file
        bool quiet = false;
        uint32_t blockTicks = 8;
        std::string demoFolder; // where the demo is made; empty: beside the program
        bool demoMp3 = true;    // the demo as MP3 when lame is installed (else WAV)
    };

    struct Summary {
        double seconds = 0.0;   // rendered length
        double peakDb = -200.0; // of the main mix, dBFS
        double speed = 0.0;     // audio seconds per wall-clock second
        int tracksPlayed = 0;   // change-overs + 1
        int tracksSkipped = 0;  // missing or undecodable
        std::string outputPath;
    };

    // Parses argv; false with a message in error (or help set for --help).
    static bool ParseArguments(int argc, char** argv, Options& options, std::string& error, bool& help);
    static const char* HelpText();

    explicit CHeadlessRenderer(Options options, FILE* messages = stderr);
    // Runs the whole render; the exit code.
    int Run();
    const Summary& Result() const { return m_summary; }

private:
    bool PrepareDemo(std::string& list);
    void Report(const char* format, ...) __attribute__((format(printf, 2, 3)));

    Options m_options;
    FILE* m_messages;
    Summary m_summary;
};
