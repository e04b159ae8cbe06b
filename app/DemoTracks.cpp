#include "DemoTracks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kRate = 44100.0;
constexpr double kTwoPi = 6.283185307179586;

// A small deterministic noise source: the same seed, the same hats on every machine.
class CNoise {
public:
    explicit CNoise(uint32_t seed) : m_state(seed | 1u) {}
    double Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return static_cast<double>(m_state) / 2147483648.0 - 1.0;
    }

private:
    uint32_t m_state;
};

double NoteHz(int midi)
{
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// The instruments add into a stereo float buffer at a start frame.
void AddKick(std::vector<float>& mix, size_t start)
{
    // A falling sine: 150 Hz down to 45 Hz in the first 60 ms, decaying over 300 ms.
    double phase = 0.0;
    const size_t length = static_cast<size_t>(0.35 * kRate);
    for (size_t i = 0; i < length && (start + i) * 2 + 1 < mix.size(); ++i) {
        const double t = i / kRate;
        const double hz = 45.0 + 105.0 * std::exp(-t / 0.03);
        phase += kTwoPi * hz / kRate;
        const double v = 0.9 * std::sin(phase) * std::exp(-t / 0.12);
        mix[(start + i) * 2] += static_cast<float>(v);
        mix[(start + i) * 2 + 1] += static_cast<float>(v);
    }
}

void AddNoiseHit(std::vector<float>& mix, size_t start, CNoise& noise, double seconds, double decay,
                 double level, double pan, double toneHz)
{
    double low = 0.0;
    const size_t length = static_cast<size_t>(seconds * kRate);
    for (size_t i = 0; i < length && (start + i) * 2 + 1 < mix.size(); ++i) {
        const double t = i / kRate;
        const double white = noise.Next();
        // A one-pole high-pass leaves the hiss of a hat; a tone under it makes a snare.
        low += 0.25 * (white - low);
        double v = (white - low) * level * std::exp(-t / decay);
        if (toneHz > 0.0)
            v += 0.35 * std::sin(kTwoPi * toneHz * t) * std::exp(-t / 0.05);
        mix[(start + i) * 2] += static_cast<float>(v * (1.0 - pan));
        mix[(start + i) * 2 + 1] += static_cast<float>(v * (1.0 + pan));
    }
}

void AddBassNote(std::vector<float>& mix, size_t start, size_t length, double hz)
{
    // A saw through a smooth low-pass, with short attack and release against clicks.
    double phase = 0.0;
    double filtered = 0.0;
    for (size_t i = 0; i < length && (start + i) * 2 + 1 < mix.size(); ++i) {
        phase += hz / kRate;
        phase -= std::floor(phase);
        const double saw = 2.0 * phase - 1.0;
        filtered += 0.08 * (saw - filtered);
        const double edge = std::min({1.0, i / 200.0, (length - i) / 400.0});
        const double v = 0.45 * filtered * edge;
        mix[(start + i) * 2] += static_cast<float>(v);
        mix[(start + i) * 2 + 1] += static_cast<float>(v);
    }
}

void AddStab(std::vector<float>& mix, size_t start, double rootHz)
{
    // A minor chord, slightly apart in the two channels.
    const double ratios[] = {1.0, 1.189207, 1.498307};
    const size_t length = static_cast<size_t>(0.25 * kRate);
    for (size_t i = 0; i < length && (start + i) * 2 + 1 < mix.size(); ++i) {
        const double t = i / kRate;
        const double envelope = std::min(1.0, i / 300.0) * std::exp(-t / 0.08);
        double left = 0.0;
        double right = 0.0;
        for (double r : ratios) {
            left += std::sin(kTwoPi * rootHz * 2.0 * r * t);
            right += std::sin(kTwoPi * rootHz * 2.0 * r * 1.003 * t);
        }
        mix[(start + i) * 2] += static_cast<float>(0.08 * left * envelope);
        mix[(start + i) * 2 + 1] += static_cast<float>(0.08 * right * envelope);
    }
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.put(static_cast<char>(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) {
        out.put(static_cast<char>(v));
        out.put(static_cast<char>(v >> 8));
    };
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    for (int16_t s : samples)
        u16(static_cast<uint16_t>(s));
    return static_cast<bool>(out);
}

} // namespace

const std::vector<CDemoTracks::Track>& CDemoTracks::Tracks()
{
    static const std::vector<Track> tracks = {
        {"01-first-light", "First Light", 120.0f, 20, 45, 11},
        {"02-night-bus", "Night Bus", 124.0f, 22, 43, 23},
        {"03-copper-wire", "Copper Wire", 128.0f, 24, 41, 37},
        {"04-slow-tide", "Slow Tide", 126.0f, 22, 40, 41},
        {"05-last-call", "Last Call", 130.0f, 24, 46, 53},
    };
    return tracks;
}

double CDemoTracks::LengthSeconds(const Track& track)
{
    return track.bars * 4 * 60.0 / track.bpm + 1.0;
}

std::vector<int16_t> CDemoTracks::Synthesize(const Track& track)
{
    const auto frames = static_cast<size_t>(LengthSeconds(track) * kRate);
    std::vector<float> mix(frames * 2, 0.0f);
    CNoise noise(track.seed);
    const double beatFrames = 60.0 / track.bpm * kRate;
    // The bass line walks a minor scale; the seed picks the pattern.
    const int scale[] = {0, 3, 5, 7, 10, 12, 7, 5};
    const int beats = track.bars * 4;
    for (int beat = 0; beat < beats; ++beat) {
        const auto at = static_cast<size_t>(beat * beatFrames);
        const int bar = beat / 4;
        const bool intro = bar < 2;
        const bool outro = bar >= track.bars - 2;
        AddKick(mix, at);
        // Hats on the off-beats, snare on two and four once the intro is over.
        AddNoiseHit(mix, at + static_cast<size_t>(beatFrames / 2), noise, 0.05, 0.015, 0.25, 0.3, 0.0);
        if (!intro && beat % 4 % 2 == 1)
            AddNoiseHit(mix, at, noise, 0.18, 0.06, 0.35, -0.1, 190.0);
        if (intro || outro)
            continue;
        const int step = scale[(beat + static_cast<int>(track.seed)) % 8];
        const double hz = NoteHz(track.rootNote + (beat % 8 < 4 ? 0 : step));
        AddBassNote(mix, at + static_cast<size_t>(beatFrames / 2), static_cast<size_t>(beatFrames * 0.45),
                    hz);
        if (bar % 2 == 1 && beat % 4 == 3)
            AddStab(mix, at + static_cast<size_t>(beatFrames * 0.75), NoteHz(track.rootNote + 12));
    }
    std::vector<int16_t> samples(mix.size());
    for (size_t i = 0; i < mix.size(); ++i)
        samples[i] = static_cast<int16_t>(std::lrint(std::clamp(mix[i] * 0.6f, -1.0f, 1.0f) * 32767.0f));
    return samples;
}

namespace {

// Runs a program found on PATH with its output thrown away; true when it exited with 0.
bool RunQuietly(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool CDemoTracks::Write(const std::string& folder, bool mp3, std::vector<std::string>& files,
                        std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create the demo folder " + folder + ": " + ec.message();
        return false;
    }
    files.clear();
    const bool haveLame = mp3 && RunQuietly({"lame", "--version"});
    for (const Track& track : Tracks()) {
        const std::string wav = folder + "/" + track.name + ".wav";
        if (!std::filesystem::exists(wav, ec) && !WriteWav(wav, Synthesize(track))) {
            error = "cannot write " + wav;
            return false;
        }
        std::string chosen = wav;
        if (haveLame) {
            const std::string out = folder + "/" + track.name + ".mp3";
            // Run without a shell: the folder may hold any character.
            if (std::filesystem::exists(out, ec) ||
                RunQuietly({"lame", "--quiet", "-b", "192", "--tt", track.title, wav, out}))
                chosen = out;
        }
        files.push_back(chosen);
    }
    return true;
}
