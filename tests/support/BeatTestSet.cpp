#include "BeatTestSet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Adds one drum sound starting at frame start into the mono mix.
void AddKick(std::vector<float>& mix, size_t start, uint32_t rate)
{
    double phase = 0.0;
    const size_t length =
        std::min(mix.size() - std::min(mix.size(), start), static_cast<size_t>(rate * 0.25));
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double frequency = 50.0 + 100.0 * std::exp(-t * 30.0); // 150 Hz falling to 50 Hz
        phase += 2.0 * kPi * frequency / rate;
        mix[start + i] += static_cast<float>(0.8 * std::exp(-t * 12.0) * std::sin(phase));
    }
}

void AddNoiseHit(std::vector<float>& mix, size_t start, uint32_t rate, double level, double decayPerSecond,
                 bool bright, std::mt19937& random)
{
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const size_t length = std::min(mix.size() - std::min(mix.size(), start), static_cast<size_t>(rate * 0.2));
    float previous = 0.0f;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const float white = noise(random);
        const float sample = bright ? white - previous : white; // a first difference tilts it up
        previous = white;
        double body = bright ? 0.0 : 0.5 * std::sin(2.0 * kPi * 190.0 * t);
        mix[start + i] += static_cast<float>(level * std::exp(-t * decayPerSecond) * (sample + body));
    }
}

} // namespace

std::string BeatTrackRecipe::Name() const
{
    static const char* const kPatterns[] = {"four", "broken", "swing", "backbeat"};
    char name[128];
    std::snprintf(name, sizeof name, "%.2fbpm-%s%s%s%s", tempo, kPatterns[static_cast<int>(pattern)],
                  noiseDb > -100.0 ? "-noise" : "", pad ? "-pad" : "", introSeconds > 0.0 ? "-intro" : "");
    return name;
}

std::vector<BeatTrackRecipe> BeatTestSet()
{
    std::vector<BeatTrackRecipe> set;
    const double extraTempos[] = {123.45, 128.0, 174.0, 86.5, 140.0, 99.99, 72.3, 178.8};
    for (int i = 0; i < 40; ++i) {
        BeatTrackRecipe recipe;
        recipe.tempo = i < 32 ? std::round((70.0 + 110.0 * i / 31.0 + 0.37 * (i % 3)) * 100.0) / 100.0
                              : extraTempos[i - 32];
        recipe.tempo = std::clamp(recipe.tempo, 70.0, 180.0);
        recipe.pattern = static_cast<DrumPattern>(i % 4);
        recipe.swing = recipe.pattern == DrumPattern::Swing ? 0.62 + 0.02 * (i % 3) : 0.5;
        recipe.noiseDb = i % 3 == 1 ? -30.0 : -200.0;
        recipe.pad = i % 2 == 1;
        recipe.introSeconds = i % 5 == 2 ? 8.0 : 0.0;
        recipe.seed = static_cast<uint32_t>(1000 + i);
        set.push_back(recipe);
    }
    return set;
}

double FirstBeatFrame(const BeatTrackRecipe& recipe, uint32_t rate)
{
    return std::round(recipe.introSeconds * rate);
}

StereoSignal RenderBeatTrack(const BeatTrackRecipe& recipe, uint32_t rate)
{
    std::mt19937 random(recipe.seed);
    const double first = FirstBeatFrame(recipe, rate);
    const size_t frames = static_cast<size_t>(first + recipe.seconds * rate);
    std::vector<float> mix(frames, 0.0f);
    const double beatFrames = 60.0 * rate / recipe.tempo;
    const auto at = [&](double beat) { return static_cast<size_t>(std::llround(first + beat * beatFrames)); };
    const int beats = static_cast<int>(recipe.seconds * recipe.tempo / 60.0);
    for (int beat = 0; beat < beats; ++beat) {
        const int inBar = beat % 4;
        const double offBeat = beat + recipe.swing;
        switch (recipe.pattern) {
        case DrumPattern::FourOnTheFloor:
            AddKick(mix, at(beat), rate);
            AddNoiseHit(mix, at(offBeat), rate, 0.12, 15.0, true, random);
            break;
        case DrumPattern::Broken:
            if (inBar == 0 || inBar == 2)
                AddKick(mix, at(beat), rate);
            if (inBar == 1) {
                AddKick(mix, at(beat + 0.5), rate);
            }
            if (inBar == 1 || inBar == 3)
                AddNoiseHit(mix, at(beat), rate, 0.35, 25.0, false, random);
            break;
        case DrumPattern::Swing:
            if (inBar == 0 || inBar == 2)
                AddKick(mix, at(beat), rate);
            else
                AddNoiseHit(mix, at(beat), rate, 0.35, 25.0, false, random);
            AddNoiseHit(mix, at(beat), rate, 0.08, 40.0, true, random);
            AddNoiseHit(mix, at(offBeat), rate, 0.06, 40.0, true, random);
            break;
        case DrumPattern::BackBeat:
            if (inBar == 0 || inBar == 2)
                AddKick(mix, at(beat), rate);
            if (inBar == 2)
                AddKick(mix, at(beat + 0.5), rate);
            if (inBar == 1 || inBar == 3)
                AddNoiseHit(mix, at(beat), rate, 0.35, 25.0, false, random);
            AddNoiseHit(mix, at(beat), rate, 0.07, 40.0, true, random);
            AddNoiseHit(mix, at(offBeat), rate, 0.05, 40.0, true, random);
            break;
        }
    }
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const float noiseLevel = static_cast<float>(std::pow(10.0, recipe.noiseDb / 20.0));
    StereoSignal signal;
    signal.left.resize(frames);
    signal.right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        double pad = 0.0;
        if (recipe.pad) {
            // A minor chord, swelling slowly so it adds no attack of its own.
            const double swell = 0.5 + 0.5 * std::sin(2.0 * kPi * 0.1 * t);
            pad = 0.05 * swell *
                  (std::sin(2.0 * kPi * 220.0 * t) + std::sin(2.0 * kPi * 261.63 * t) +
                   std::sin(2.0 * kPi * 329.63 * t));
        }
        const double value = mix[i] + pad;
        const double left = value + noiseLevel * noise(random);
        const double right = value + noiseLevel * noise(random);
        signal.left[i] = static_cast<int16_t>(std::clamp(left * 32767.0, -32768.0, 32767.0));
        signal.right[i] = static_cast<int16_t>(std::clamp(right * 32767.0, -32768.0, 32767.0));
    }
    return signal;
}
