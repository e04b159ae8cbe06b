#include "ProbeDecks.h"

#include "AudioEngine.h"
#include "OutputManager.h"
#include "WavWriter.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A chord long enough for the deck to play it through the run at the tempo it is given.
bool WriteChord(const std::string& path, int seconds, double rootHz)
{
    const size_t frames = static_cast<size_t>(seconds) * 44100;
    std::vector<int16_t> left(frames), right(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        left[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * rootHz * t) +
                                       8000 * std::sin(2 * M_PI * rootHz * 15 * t));
        right[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * rootHz * 1.5 * t) +
                                        8000 * std::sin(2 * M_PI * rootHz * 45 * t));
    }
    return WriteStereoWav16(path, left, right);
}

template <class Condition> bool WaitFor(Condition done, std::chrono::seconds limit)
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

bool CProbeDecks::WriteTracks(int runSeconds)
{
    // A tenth over the run and 10 s more: deck B plays faster than its own speed.
    const int trackSeconds = runSeconds * 11 / 10 + 10;
    if (!WriteChord(m_dir.Path("a.wav"), trackSeconds, 110.0) ||
        !WriteChord(m_dir.Path("b.wav"), trackSeconds, 147.0)) {
        std::fprintf(stderr, "cannot write the test tracks under %s\n", m_dir.Root().c_str());
        return false;
    }
    return true;
}

bool CProbeDecks::LoadAndPlay(CAudioEngine& engine, COutputManager& manager) const
{
    engine.LoadTrack(0, m_dir.Path("a.wav").c_str(), 0, 120.0f, 0.8f, false);
    engine.LoadTrack(1, m_dir.Path("b.wav").c_str(), 1, 126.0f, 0.8f, false);
    if (!WaitFor([&] { return engine.LoadsCompleted() == 2 && !engine.Loading(0) && !engine.Loading(1); },
                 std::chrono::seconds(30)))
        return false;
    // Deck B off its own speed keeps the resampler busy, as in a mix.
    engine.Deck(1).SetTempo(1.06f);
    engine.Deck(0).Play();
    engine.Deck(1).Play();
    engine.SetPlayClock(&manager);
    return true;
}

bool ParseProbeArguments(int argc, char** argv, int& seconds, std::vector<uint32_t>& sizes,
                         std::initializer_list<uint32_t> defaultSizes,
                         const std::function<bool(int argc, char** argv, int& index)>& other)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (std::atoi(argv[i]) > 0)
            sizes.push_back(static_cast<uint32_t>(std::atoi(argv[i])));
        else if (!other(argc, argv, i))
            return false;
    }
    if (sizes.empty())
        sizes = defaultSizes;
    return seconds > 0;
}
