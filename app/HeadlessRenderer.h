#pragma once

#include "RenderOptions.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class CRenderCore;
struct CoreEvent;
struct ListLoadReport;

// Renders an Automix list or a Mix-File without a display: into a WAV file as fast as the
// machine allows (the offline master refills the decks synchronously, so every run gives the
// same bytes), or through the sound card in real time. It reports progress, every track as it
// enters the mix and a summary on a terminal, and names every track and list entry it leaves
// out. Nothing it was given is ever written over, and a render that fails or is interrupted
// leaves an earlier output file as it was.
class CHeadlessRenderer {
public:
    enum ExitCode : int {
        kOk = 0,
        kUsage = 1,         // bad options, or an output naming an input
        kNothingToPlay = 2, // no input could be read, no track of it can be played, nothing after --from
        kOutputFailed = 3,  // the WAV file or the sound device could not be used
        kTracksSkipped = 4, // rendered, but some tracks or entries were left out
        kInterrupted = 128  // plus the signal's number
    };
    using Options = RenderOptions;

    struct Summary {
        double seconds = 0.0;          // written length
        double estimatedSeconds = 0.0; // what the progress display expected before the run
        double peakDb = -200.0;        // of what was written, dBFS
        double speed = 0.0;            // audio seconds per wall-clock second
        int tracksPlayed = 0;          // tracks heard, a repeated one each time
        int tracksSkipped = 0;         // inputs, entries and tracks left out
        std::string outputPath;
    };

    // Parses argv; false with a message in error (or help set for --help).
    static bool ParseArguments(int argc, char** argv, Options& options, std::string& error, bool& help);
    static const char* HelpText();

    // Async-signal-safe: asks a running render to end; the render removes its temporary file.
    static void Interrupt(int signal) noexcept;
    // The signal that interrupted the last render (0: none); Run clears it when it starts.
    static int InterruptSignal() noexcept { return s_interruptSignal.load(); }

    explicit CHeadlessRenderer(Options options, FILE* messages = stderr);
    // Runs the whole render; the exit code.
    int Run();
    const Summary& Result() const { return m_summary; }

private:
    bool PrepareDemo(std::string& list);
    bool OpenInputs(CRenderCore& core, const std::vector<std::string>& inputs, int& leftOut);
    void ReportListProblems(const ListLoadReport& report, int& leftOut);
    int CheckTracks(CRenderCore& core, std::vector<double>& seconds);
    bool AnalyseTracks(CRenderCore& core);
    bool ChooseOutputs(CRenderCore& core, const std::vector<std::string>& inputs);
    bool WriteReports(CRenderCore& core, const std::vector<CoreEvent>& heard, uint64_t firstFrame,
                      uint64_t endFrame);
    void Report(const char* format, ...) __attribute__((format(printf, 2, 3)));

    Options m_options;
    FILE* m_messages;
    Summary m_summary;
    std::string m_listTitle;

    static std::atomic<int> s_interruptSignal;
};
