#include "MixerDsp.h"
#include "EngineTestSupport.h"
#include "MixerTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

using Signal = std::function<float(uint32_t frame)>;

struct MixerOutput {
    std::array<std::vector<float>, 4> out; // main L, main R, monitor L, monitor R
};

// Runs the mixer over frames frames (in ticks of 128), deck A and B each given one signal on
// both channels (right inverted for A when invertRight, to keep channels apart).
MixerOutput RunMixer(CMixerDsp& mixer, const Signal& deckA, const Signal& deckB, uint32_t frames,
                     uint32_t start = 0)
{
    MixerOutput result;
    std::array<std::array<float, 128>, 4> in{};
    std::array<std::array<float, 128>, 4> out{};
    for (uint32_t done = 0; done < frames; done += 128) {
        const uint32_t count = std::min<uint32_t>(128, frames - done);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t f = start + done + i;
            in[0][i] = in[1][i] = deckA ? deckA(f) : 0.0f;
            in[2][i] = in[3][i] = deckB ? deckB(f) : 0.0f;
        }
        mixer.Process({in[0].data(), in[1].data(), in[2].data(), in[3].data()},
                      {out[0].data(), out[1].data(), out[2].data(), out[3].data()}, count);
        for (int c = 0; c < 4; ++c)
            result.out[c].insert(result.out[c].end(), out[c].begin(), out[c].begin() + count);
    }
    return result;
}

Signal Tone(double hz, double amplitude = 0.25)
{
    return
        [=](uint32_t f) { return static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * f / 44100.0)); };
}

constexpr float kUnityFader = 194.0f / 259.0f; // V[194], 0.996

// Both decks at full gain on the main mix, unity volumes, cue mix of A only.
void SetFlat(CMixerDsp& mixer)
{
    mixer.SetParam(CMixerDsp::XFader, 0.5f);
    mixer.SetParam(CMixerDsp::MasterVolume, kUnityFader);
    mixer.SetParam(CMixerDsp::DeckVolume, kUnityFader);
    mixer.SetParam(CMixerDsp::DeckVolume + 1, kUnityFader);
    mixer.SetParam(CMixerDsp::MonitorVolume, kUnityFader);
}

// Level of a tone through deck A, in dB against the same tone through a flat mixer.
double ToneGainDb(const std::function<void(CMixerDsp&)>& setup, double hz)
{
    const auto level = [&](bool withSetup) {
        CMixerDsp mixer;
        SetFlat(mixer);
        if (withSetup)
            setup(mixer);
        const MixerOutput out = RunMixer(mixer, Tone(hz, 0.1), nullptr, 44100);
        return ToneAmplitude(out.out[0], hz, 22050);
    };
    return 20.0 * std::log10(level(true) / level(false));
}

} // namespace

TEST(MixerDsp, EqualiserCutsAndBoostsInItsBand)
{
    struct Case {
        int param;
        double hz;
        float level;
        double minDb;
        double maxDb;
    };
    // The mid band lies between the two crossovers and is too narrow to reach the full cut.
    const Case cases[] = {
        {CMixerDsp::DeckEqLow, 60.0, 0.0f, -13.0, -10.5},
        {CMixerDsp::DeckEqLow, 60.0, 128 / 255.0f, -0.2, 0.2},
        {CMixerDsp::DeckEqLow, 60.0, 1.0f, 5.0, 6.5},
        {CMixerDsp::DeckEqMid, 1000.0, 0.0f, -12.5, -8.0},
        {CMixerDsp::DeckEqMid, 1000.0, 128 / 255.0f, -0.2, 0.2},
        {CMixerDsp::DeckEqMid, 1000.0, 1.0f, 4.5, 6.5},
        {CMixerDsp::DeckEqHigh, 12000.0, 0.0f, -15.0, -11.0},
        {CMixerDsp::DeckEqHigh, 12000.0, 128 / 255.0f, -0.2, 0.2},
        {CMixerDsp::DeckEqHigh, 12000.0, 1.0f, 5.5, 7.0},
        // Other bands stay put.
        {CMixerDsp::DeckEqLow, 12000.0, 0.0f, -0.5, 0.5},
        {CMixerDsp::DeckEqHigh, 60.0, 0.0f, -0.5, 0.5},
    };
    for (const Case& c : cases) {
        const double db = ToneGainDb([&](CMixerDsp& m) { m.SetParam(c.param, c.level); }, c.hz);
        EXPECT_GE(db, c.minDb) << "param " << c.param << " level " << c.level << " at " << c.hz << " Hz";
        EXPECT_LE(db, c.maxDb) << "param " << c.param << " level " << c.level << " at " << c.hz << " Hz";
    }
}

TEST(MixerDsp, KillSilencesItsBandAndReleaseRestoresTheRememberedGain)
{
    // The two crossovers are gentle (12 dB per octave each), so a kill is deepest far inside its
    // band: below -40 dB under 35 Hz, about -30 dB at the mid band's two crossover notches and
    // at 12 kHz.
    struct Band {
        int level;
        int kill;
        double hz;
        double maxDb;
    };
    for (const Band& band : {Band{CMixerDsp::DeckEqLow, CMixerDsp::DeckEqLowKill, 30.0, -40.0},
                             Band{CMixerDsp::DeckEqLow, CMixerDsp::DeckEqLowKill, 60.0, -30.0},
                             Band{CMixerDsp::DeckEqMid, CMixerDsp::DeckEqMidKill, 1000.0, -28.0},
                             Band{CMixerDsp::DeckEqMid, CMixerDsp::DeckEqMidKill, 750.0, -18.0},
                             Band{CMixerDsp::DeckEqHigh, CMixerDsp::DeckEqHighKill, 12000.0, -30.0},
                             Band{CMixerDsp::DeckEqHigh, CMixerDsp::DeckEqHighKill, 20000.0, -35.0}}) {
        EXPECT_LT(ToneGainDb([&](CMixerDsp& m) { m.SetParam(band.kill, 1.0f); }, band.hz), band.maxDb)
            << band.hz;
        // A level set while killed is only remembered; releasing the kill brings it back.
        const double remembered = ToneGainDb(
            [&](CMixerDsp& m) {
                m.SetParam(band.kill, 1.0f);
                m.SetParam(band.level, 0.9f);
                m.SetParam(band.kill, 0.0f);
            },
            band.hz);
        const double direct = ToneGainDb([&](CMixerDsp& m) { m.SetParam(band.level, 0.9f); }, band.hz);
        EXPECT_NEAR(remembered, direct, 0.01) << band.hz;
        EXPECT_GT(direct, 3.0) << band.hz;
    }
}

TEST(MixerDsp, BandPassKeepsTheBandAndNotchRemovesIt)
{
    // Centre at note 80 (830 Hz), width one octave: the band runs to about 1.7 kHz.
    const auto filter = [](bool notch) {
        return [notch](CMixerDsp& m) {
            m.SetParam(CMixerDsp::DeckBpCenter, 0.5f);
            m.SetParam(CMixerDsp::DeckBpWidth, 11.0f / 119.0f);
            m.SetParam(CMixerDsp::DeckBpResonance, 0.2f);
            m.SetParam(CMixerDsp::DeckBpNotchMode, notch ? 1.0f : 0.0f);
            m.SetParam(CMixerDsp::DeckBpActive, 1.0f);
        };
    };
    EXPECT_GT(ToneGainDb(filter(false), 1200.0), -6.0);
    EXPECT_LT(ToneGainDb(filter(false), 100.0), -20.0);
    EXPECT_LT(ToneGainDb(filter(false), 10000.0), -20.0);
    EXPECT_LT(ToneGainDb(filter(true), 1200.0), -10.0);
    EXPECT_GT(ToneGainDb(filter(true), 100.0), -3.0);
    EXPECT_GT(ToneGainDb(filter(true), 10000.0), -3.0);
    // Active off bypasses; on again restores the remembered notch.
    EXPECT_NEAR(ToneGainDb(
                    [&](CMixerDsp& m) {
                        filter(true)(m);
                        m.SetParam(CMixerDsp::DeckBpActive, 0.0f);
                    },
                    1200.0),
                0.0, 0.01);
    EXPECT_LT(ToneGainDb(
                  [&](CMixerDsp& m) {
                      filter(true)(m);
                      m.SetParam(CMixerDsp::DeckBpActive, 0.0f);
                      m.SetParam(CMixerDsp::DeckBpActive, 1.0f);
                  },
                  1200.0),
              -10.0);
}

TEST(MixerDsp, GainStepReachesItsTargetAfterExactly250Frames)
{
    CMixerDsp mixer;
    SetFlat(mixer);
    // Half-rate square wave: passes the DC blocker and a flat equaliser untouched (nearly).
    const Signal square = [](uint32_t f) { return f % 2 ? 0.25f : -0.25f; };
    RunMixer(mixer, square, nullptr, 44100);
    CMixerTables tables;
    mixer.SetParam(CMixerDsp::MasterVolume, 1.0f / 259.0f * 100.0f);
    const MixerOutput out = RunMixer(mixer, square, nullptr, 400, 44100);
    const double before = 0.25 * tables.Volume(194) * tables.Volume(194);
    const double after = 0.25 * tables.Volume(194) * tables.Volume(100);
    std::vector<double> gain(400);
    for (size_t i = 0; i < 400; ++i)
        gain[i] = std::fabs(out.out[0][i]);
    EXPECT_NEAR(gain[0], before + (after - before) / 250, 2e-3);
    EXPECT_GT(std::fabs(gain[248] - after), 1e-5);
    for (size_t i = 249; i < 400; ++i)
        ASSERT_NEAR(gain[i], after, 2e-3) << i;
    for (size_t i = 1; i < 249; ++i)
        ASSERT_LT(gain[i], gain[i - 1]) << i;
}

TEST(MixerDsp, CrossFaderCurves)
{
    CMixerTables tables;
    struct Case {
        bool squareRoot;
        float x;
        double gainA;
        double gainB;
    };
    const Case cases[] = {
        {false, 0.5f, 1.0, 1.0},
        {false, 0.0f, 1.0, 0.0},
        {false, 1.0f, 0.0, 1.0},
        {true, 0.5f, tables.SquareRoot(130), tables.SquareRoot(130)},
    };
    for (const Case& c : cases) {
        const auto gainOf = [&](bool deckB) {
            CMixerDsp mixer;
            SetFlat(mixer);
            mixer.SetParam(CMixerDsp::XFaderMode, c.squareRoot ? 1.0f : 0.0f);
            mixer.SetParam(CMixerDsp::XFader, c.x);
            const MixerOutput out = RunMixer(mixer, deckB ? nullptr : Tone(1000.0, 0.1),
                                             deckB ? Tone(1000.0, 0.1) : nullptr, 8192);
            return ToneAmplitude(out.out[0], 1000.0, 4096) / (0.1 * tables.Volume(194) * tables.Volume(194));
        };
        EXPECT_NEAR(gainOf(false), c.gainA, 0.005) << c.squareRoot << " " << c.x;
        EXPECT_NEAR(gainOf(true), c.gainB, 0.005) << c.squareRoot << " " << c.x;
    }
    EXPECT_NEAR(tables.SquareRoot(130), 0.708, 0.002);
}

TEST(MixerDsp, DeckVolumeCurve)
{
    CMixerTables tables;
    EXPECT_NEAR(tables.Volume(static_cast<int>(std::lround(191 / 255.0 * 259))), 1.0, 0.01);
    EXPECT_FLOAT_EQ(tables.Volume(259), 3.162f);
    EXPECT_EQ(tables.Volume(0), 0.0f);
    // Measured through the desk, quietly enough that the limiter stays out of it.
    const double db = ToneGainDb([](CMixerDsp& m) { m.SetParam(CMixerDsp::DeckVolume, 1.0f); }, 1000.0);
    EXPECT_NEAR(db, 20.0 * std::log10(3.162 / tables.Volume(194)), 0.05);
}

// The deck volume chosen for a gain plays a tone that much louder or quieter than unity, to
// within the curve's steps; beyond +10 dB the fader's top is as far as it goes.
TEST(MixerDsp, DeckVolumeForGainReachesThatGain)
{
    const CMixerDsp reference;
    for (const float wantedDb : {-12.0f, -3.6f, 0.0f, 2.5f, 6.4f, 9.8f, 15.0f}) {
        const int value = reference.DeckVolumeForGain(wantedDb);
        const double db = ToneGainDb(
            [&](CMixerDsp& m) {
                m.SetParam(CMixerDsp::DeckVolume, CMixerDsp::ValueFromControl(CMixerDsp::DeckVolume, value));
            },
            1000.0);
        EXPECT_NEAR(db, std::min(wantedDb, 10.0f), 0.2) << wantedDb << " dB: value " << value;
    }
    EXPECT_EQ(reference.DeckVolumeForGain(0.0f), 191);
}

TEST(MixerDsp, MainOutputNeverLeavesFullScale)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
        CMixerDsp mixer;
        for (int p = 0; p < 38; ++p)
            mixer.SetParam(p, unit(random) * (p == CMixerDsp::DeckPunchIn || p == 13 ? 2.0f : 1.0f));
        mixer.SetParam(CMixerDsp::MasterVolume, 1.0f);
        mixer.SetParam(CMixerDsp::DeckVolume, 1.0f);
        const Signal noise = [&](uint32_t) { return sample(random); };
        const MixerOutput out = RunMixer(mixer, noise, noise, 20000);
        for (int c = 0; c < 4; ++c) {
            for (float v : out.out[c])
                ASSERT_LE(std::fabs(v), 1.0f) << "seed " << seed << " channel " << c;
        }
    }
}

TEST(MixerDsp, OverloadReadingChangesOnlyAtPeriodSteps)
{
    CMixerDsp mixer;
    SetFlat(mixer);
    mixer.SetParam(CMixerDsp::MasterVolume, 1.0f);
    mixer.SetParam(CMixerDsp::DeckVolume, 1.0f);
    std::array<float, 1> in{}, zero{}, out0{}, out1{}, out2{}, out3{};
    std::vector<uint32_t> changes;
    float last = 0.0f;
    for (uint32_t f = 0; f < 44100 * 4; ++f) {
        // Loud for one second, then silence.
        in[0] = f < 44100 ? static_cast<float>(0.9 * std::sin(2 * M_PI * 100.0 * f / 44100.0)) : 0.0f;
        mixer.Process({in.data(), in.data(), zero.data(), zero.data()},
                      {out0.data(), out1.data(), out2.data(), out3.data()}, 1);
        const float now = mixer.LevelReading(Meter::Overload);
        if (now != last) {
            changes.push_back(f + 1);
            last = now;
        }
    }
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0] % CMixerDsp::kPeriodFrames, 0u);
    EXPECT_EQ(changes[1] % CMixerDsp::kPeriodFrames, 0u);
    EXPECT_LE(changes[0], 2u * CMixerDsp::kPeriodFrames);
    EXPECT_GT(changes[1], 44100u);
}

TEST(MixerDsp, MonitorSplitPutsMainLeftAndCueRight)
{
    CMixerDsp mixer;
    SetFlat(mixer);
    mixer.SetParam(CMixerDsp::XFader, 0.0f);        // main: deck A only
    mixer.SetParam(CMixerDsp::MonitorXFader, 1.0f); // cue: deck B only
    mixer.SetParam(CMixerDsp::MonitorOutputMode,
                   CMixerDsp::ValueFromControl(CMixerDsp::MonitorOutputMode, 1));
    const MixerOutput out = RunMixer(mixer, Tone(1000.0, 0.1), Tone(3000.0, 0.1), 16384);
    // Mono: both channels of a deck summed.
    EXPECT_GT(ToneAmplitude(out.out[2], 1000.0, 8192), 0.15);
    EXPECT_LT(ToneAmplitude(out.out[2], 3000.0, 8192), 0.001);
    EXPECT_GT(ToneAmplitude(out.out[3], 3000.0, 8192), 0.15);
    EXPECT_LT(ToneAmplitude(out.out[3], 1000.0, 8192), 0.001);
}

TEST(MixerDsp, PreListenedDeckMetersItsLevelBeforeTheFader)
{
    CMixerDsp mixer;
    SetFlat(mixer);
    mixer.SetParam(CMixerDsp::DeckVolume, 0.0f);
    RunMixer(mixer, Tone(500.0, 0.8), nullptr, 8192);
    EXPECT_EQ(mixer.LevelReading(Meter::DeckA), 0.0f);
    mixer.SetParam(CMixerDsp::DeckPfl, 1.0f);
    RunMixer(mixer, Tone(500.0, 0.8), nullptr, 2048, 8192);
    EXPECT_GT(mixer.LevelReading(Meter::DeckA), 0.7f);
    EXPECT_EQ(mixer.LevelReading(Meter::DeckAToMain), 0.0f);
}

TEST(MixerDsp, AutoLevelPullsLoudDecksDownAndLetsQuietOnesRise)
{
    CMixerDsp mixer;
    SetFlat(mixer);
    mixer.SetParam(CMixerDsp::AutoLevelDecks, 1.0f);
    RunMixer(mixer, nullptr, nullptr, 100 * CMixerDsp::kPeriodFrames);
    EXPECT_NEAR(mixer.AutoLevelGain(0), 0.75f, 0.011f);
    RunMixer(mixer, Tone(300.0, 1.0), nullptr, 100 * CMixerDsp::kPeriodFrames);
    EXPECT_LT(mixer.AutoLevelGain(0), 0.7f);
    EXPECT_NEAR(mixer.AutoLevelGain(1), 0.75f, 0.011f);
}

TEST(MixerDsp, HostileParametersNeverReachTheOutput)
{
    CMixerDsp mixer;
    SetFlat(mixer);
    for (int p : {-1, 40, 1000}) {
        mixer.SetParam(p, 1.0f);
    }
    for (int p = 0; p < CMixerDsp::kParams; ++p) {
        mixer.SetParam(p, std::nanf(""));
        mixer.SetParam(p, INFINITY);
        mixer.SetParam(p, -INFINITY);
    }
    std::mt19937 random(3);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    const Signal noise = [&](uint32_t) { return sample(random); };
    for (float centre : {0.0f, 1.0f}) {
        for (float resonance : {0.0f, 1.0f}) {
            for (float width : {0.0f, 1.0f}) {
                for (float notch : {0.0f, 1.0f}) {
                    for (int deck = 0; deck < 2; ++deck) {
                        mixer.SetParam(CMixerDsp::DeckBpCenter + deck, centre);
                        mixer.SetParam(CMixerDsp::DeckBpResonance + deck, resonance);
                        mixer.SetParam(CMixerDsp::DeckBpWidth + deck, width);
                        mixer.SetParam(CMixerDsp::DeckBpNotchMode + deck, notch);
                        mixer.SetParam(CMixerDsp::DeckBpActive + deck, 1.0f);
                        mixer.SetParam(CMixerDsp::DeckEqHigh + deck, 1.0f);
                    }
                    const MixerOutput out = RunMixer(mixer, noise, noise, 44100);
                    for (int c = 0; c < 4; ++c) {
                        for (float v : out.out[c]) {
                            ASSERT_TRUE(std::isfinite(v)) << centre << " " << resonance << " " << width;
                            ASSERT_LE(std::fabs(v), 1.0f);
                        }
                    }
                }
            }
        }
    }
    for (int k = 0; k < CMixerDsp::kReadings; ++k)
        EXPECT_TRUE(std::isfinite(mixer.LevelReading(static_cast<Meter>(k))));
}

namespace {

// The bits of every output sample and meter reading over a scripted session: noise, a tone and
// silence in blocks of uneven sizes (across ticks and period steps), with a parameter change
// every few blocks, some in the middle of a ramp. filters picks the band-pass arrangement:
// 0 off, 1 both band-pass, 2 both notch, 3 band-pass and notch, 4 notch on A only, 5 band-pass
// on B only, 6 switched at random.
constexpr std::array<uint32_t, 10> kSessionBlockSizes = {128, 91, 1, 3, 126, 128, 2, 300, 5, 1771};
constexpr int kSessionBlocks = 90;

std::vector<uint32_t> ScriptedSession(int filters, bool monitor)
{
    CMixerDsp mixer;
    SetFlat(mixer);
    mixer.SetParam(CMixerDsp::MasterVolume, 1.0f); // loud enough for the limiter to work
    for (int deck = 0; deck < 2; ++deck) {
        const bool on = filters == 1 || filters == 2 || filters == 3 || (filters == 4 && deck == 0) ||
                        (filters == 5 && deck == 1);
        const bool notch = filters == 2 || (filters == 3 && deck == 1) || filters == 4;
        mixer.SetParam(CMixerDsp::DeckBpCenter + deck, 0.3f + 0.2f * static_cast<float>(deck));
        mixer.SetParam(CMixerDsp::DeckBpWidth + deck, 0.2f);
        mixer.SetParam(CMixerDsp::DeckBpResonance + deck, 0.6f);
        mixer.SetParam(CMixerDsp::DeckBpNotchMode + deck, notch ? 1.0f : 0.0f);
        mixer.SetParam(CMixerDsp::DeckBpActive + deck, on ? 1.0f : 0.0f);
    }
    mixer.SetParam(CMixerDsp::AutoLevelDecks, filters % 2 == 0 ? 1.0f : 0.0f);
    std::mt19937 random(static_cast<unsigned>(filters));
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::array<std::vector<float>, 8> planes;
    for (auto& plane : planes)
        plane.resize(1771);
    std::vector<uint32_t> bits;
    const auto keep = [&](float v) {
        uint32_t b;
        std::memcpy(&b, &v, sizeof b);
        bits.push_back(b);
    };
    uint32_t frame = 0;
    for (int block = 0; block < kSessionBlocks; ++block) {
        if (block % 4 == 1) {
            const int changes[] = {
                CMixerDsp::XFader,        CMixerDsp::DeckEqLow,      CMixerDsp::DeckEqMid + 1,
                CMixerDsp::DeckEqHigh,    CMixerDsp::DeckVolume + 1, CMixerDsp::MonitorXFader,
                CMixerDsp::MonitorVolume, CMixerDsp::DeckEqHighKill, CMixerDsp::DeckMute + 1,
                CMixerDsp::DeckPunchIn,   CMixerDsp::XFaderMode,     CMixerDsp::MasterVolume};
            const int number = changes[random() % std::size(changes)];
            mixer.SetParam(number, number == CMixerDsp::DeckPunchIn ? static_cast<float>(random() % 3)
                                                                    : unit(random));
            mixer.SetParam(CMixerDsp::MonitorOutputMode, static_cast<float>(block % 3));
        }
        if (filters == 6 && block % 6 == 2) {
            const int deck = static_cast<int>(random() % 2);
            mixer.SetParam(CMixerDsp::DeckBpActive + deck, static_cast<float>(random() % 2));
            mixer.SetParam(CMixerDsp::DeckBpNotchMode + deck, static_cast<float>(random() % 2));
        }
        const uint32_t count = kSessionBlockSizes[static_cast<size_t>(block) % kSessionBlockSizes.size()];
        for (uint32_t i = 0; i < count; ++i, ++frame) {
            const int kind = static_cast<int>(frame / 2000 % 3); // noise, tone, silence
            for (int c = 0; c < 4; ++c)
                planes[c][i] = kind == 0   ? noise(random)
                               : kind == 1 ? static_cast<float>(0.9 * std::sin(0.05 * (c + 1) * frame))
                                           : 0.0f;
        }
        mixer.Process({planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data()},
                      {planes[4].data(), planes[5].data(), monitor ? planes[6].data() : nullptr,
                       monitor ? planes[7].data() : nullptr},
                      count);
        for (int c = 4; c < (monitor ? 8 : 6); ++c)
            for (uint32_t i = 0; i < count; ++i)
                keep(planes[c][i]);
        for (int k = 0; k < CMixerDsp::kReadings; ++k)
            keep(mixer.LevelReading(static_cast<Meter>(k)));
        keep(mixer.AutoLevelGain(0));
    }
    return bits;
}

// Restores the processor's best path when a test ends.
struct PathGuard {
    ~PathGuard() { CMixerDsp::UsePath(CMixerDsp::BestPath()); }
};

} // namespace

TEST(MixerDsp, EveryPathGivesThePlainPathsSamples)
{
    PathGuard guard;
    std::vector<CMixerDsp::Path> wide;
    for (auto path : {CMixerDsp::Path::Avx2, CMixerDsp::Path::Avx512}) {
        if (CMixerDsp::UsePath(path) == path)
            wide.push_back(path);
    }
    if (wide.empty())
        GTEST_SKIP() << "this processor has neither AVX2 nor AVX-512";
    for (int filters = 0; filters <= 6; ++filters) {
        for (bool monitor : {true, false}) {
            ASSERT_EQ(CMixerDsp::UsePath(CMixerDsp::Path::Plain), CMixerDsp::Path::Plain);
            const std::vector<uint32_t> plain = ScriptedSession(filters, monitor);
            for (auto path : wide) {
                CMixerDsp::UsePath(path);
                const std::vector<uint32_t> got = ScriptedSession(filters, monitor);
                ASSERT_EQ(got.size(), plain.size());
                const auto first = std::mismatch(plain.begin(), plain.end(), got.begin());
                EXPECT_TRUE(first.first == plain.end())
                    << "path " << static_cast<int>(path) << ", filters " << filters << ", monitor " << monitor
                    << ": first difference at value " << (first.first - plain.begin());
            }
        }
    }
}

TEST(MixerDsp, MainMixAndMetersAreTheSameWithoutTheMonitor)
{
    for (int filters : {0, 3, 6}) {
        const std::vector<uint32_t> with = ScriptedSession(filters, true);
        const std::vector<uint32_t> without = ScriptedSession(filters, false);
        // Compare block by block: the session with the monitor keeps two more planes per block.
        std::vector<uint32_t> mainOnly;
        size_t at = 0;
        for (int block = 0; block < kSessionBlocks; ++block) {
            const uint32_t count = kSessionBlockSizes[static_cast<size_t>(block) % kSessionBlockSizes.size()];
            mainOnly.insert(mainOnly.end(), with.begin() + static_cast<long>(at),
                            with.begin() + static_cast<long>(at + 2 * count));
            at += 4 * count;
            mainOnly.insert(mainOnly.end(), with.begin() + static_cast<long>(at),
                            with.begin() + static_cast<long>(at + CMixerDsp::kReadings + 1));
            at += CMixerDsp::kReadings + 1;
        }
        ASSERT_EQ(at, with.size());
        EXPECT_EQ(mainOnly, without) << "filters " << filters;
    }
}

namespace {

// One deck plays while the other is held still (paused on a sample: 0.37 on B, -0.21 on A),
// then the held deck starts; later the first is held while the other plays on, loud enough for a
// while to work the limiter, through an equaliser and volume change; then both are held, and A
// starts again. The held deck's band-pass is switched on, and its states cleared, while it rests;
// other settings are sent again unchanged every block. In blocks of uneven sizes. Gives the four
// outputs and the readings after each block.
constexpr uint32_t kLoneFrames = 150000;
constexpr std::array<uint32_t, 2> kRejoins = {40000, 130000}; // B starts, A starts

struct LoneRun {
    std::array<std::vector<float>, 4> out;
    std::vector<float> readings;
};

LoneRun LoneSession(int monitorMode, bool alone)
{
    CMixerDsp::UseLoneDeck(alone);
    CMixerDsp mixer;
    SetFlat(mixer);
    mixer.SetParam(CMixerDsp::MasterVolume, 1.0f);
    mixer.SetParam(CMixerDsp::XFader, 0.4f);
    mixer.SetParam(CMixerDsp::MonitorXFader, 0.3f);
    mixer.SetParam(CMixerDsp::MonitorOutputMode, static_cast<float>(monitorMode));
    mixer.SetParam(CMixerDsp::DeckEqHigh, 0.7f);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const auto deckA = [&](uint32_t f, int c) {
        if (f >= 60000 && f < kRejoins[1])
            return -0.21f;
        return 0.45f * noise(random) + static_cast<float>(0.3 * std::sin(0.011 * f + c));
    };
    const auto deckB = [&](uint32_t f, int c) {
        if (f < kRejoins[0] || f >= 110000)
            return f < kRejoins[0] ? 0.37f : 0.0f;
        const float loud = f >= 80000 && f < 90000 ? 2.5f : 1.0f;
        return loud * (0.2f * noise(random) + static_cast<float>(0.3 * std::sin(0.031 * f - c)));
    };
    LoneRun run;
    std::array<std::vector<float>, 8> planes;
    for (auto& plane : planes)
        plane.resize(1771);
    uint32_t frame = 0;
    for (int block = 0; frame < kLoneFrames; ++block) {
        const uint32_t count = std::min<uint32_t>(
            kSessionBlockSizes[static_cast<size_t>(block) % kSessionBlockSizes.size()], kLoneFrames - frame);
        const auto at = [&](uint32_t when) { return frame <= when && frame + count > when; };
        if (at(85000)) {
            mixer.SetParam(CMixerDsp::DeckEqLow + 1, 0.7f);
            mixer.SetParam(CMixerDsp::DeckVolume + 1, 0.8f);
        }
        // Settings that change what a held deck gives at once: its band-pass, and clearing it.
        if (at(20000))
            mixer.SetParam(CMixerDsp::DeckBpActive + 1, 1.0f);
        if (at(100000))
            mixer.SetParam(CMixerDsp::ClearDeckStates, 1.0f);
        // Settings sent again unchanged, as a controller or the player may.
        mixer.SetParam(CMixerDsp::XFaderMode, 0.0f);
        mixer.SetParam(CMixerDsp::XFader, 0.4f);
        for (uint32_t i = 0; i < count; ++i) {
            for (int c = 0; c < 2; ++c) {
                planes[c][i] = deckA(frame + i, c);
                planes[2 + c][i] = deckB(frame + i, c);
            }
        }
        mixer.Process({planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data()},
                      {planes[4].data(), planes[5].data(), planes[6].data(), planes[7].data()}, count);
        for (int c = 0; c < 4; ++c)
            run.out[c].insert(run.out[c].end(), planes[4 + c].begin(), planes[4 + c].begin() + count);
        for (int k = 0; k < CMixerDsp::kReadings; ++k)
            run.readings.push_back(mixer.LevelReading(static_cast<Meter>(k)));
        frame += count;
    }
    CMixerDsp::UseLoneDeck(true);
    return run;
}

} // namespace

// The lone deck's mix against both decks run frame by frame: within 2e-6 everywhere, meters
// alike, and different bits somewhere (the lone deck did run alone). A held deck that starts
// again comes in without a click: the largest step between samples as it starts is what it is
// with both decks run throughout.
TEST(MixerDsp, ALoneDeckMixesAsBothDecksDoWithinTheBound)
{
    for (int mode = 0; mode <= 2; ++mode) {
        const LoneRun both = LoneSession(mode, false);
        const LoneRun lone = LoneSession(mode, true);
        double largest = 0;
        size_t differing = 0;
        for (int c = 0; c < 4; ++c) {
            ASSERT_EQ(lone.out[c].size(), both.out[c].size());
            for (size_t i = 0; i < both.out[c].size(); ++i) {
                largest = std::max(largest, std::fabs(static_cast<double>(lone.out[c][i]) - both.out[c][i]));
                differing += lone.out[c][i] != both.out[c][i] ? 1 : 0;
            }
        }
        EXPECT_LE(largest, 2e-6) << "monitor mode " << mode;
        EXPECT_GT(differing, 10000u) << "monitor mode " << mode;
        ASSERT_EQ(lone.readings.size(), both.readings.size());
        for (size_t i = 0; i < both.readings.size(); ++i)
            ASSERT_NEAR(lone.readings[i], both.readings[i], 0.01f) << "reading " << i;
        for (uint32_t start : kRejoins) {
            const auto largestStep = [&](const std::vector<float>& out) {
                double step = 0;
                for (uint32_t i = start; i < start + 64; ++i)
                    step = std::max(step, std::fabs(static_cast<double>(out[i]) - out[i - 1]));
                return step;
            };
            for (int c = 0; c < 2; ++c)
                EXPECT_NEAR(largestStep(lone.out[c]), largestStep(both.out[c]), 4e-6) << "start " << start;
        }
    }
}

TEST(MixerDsp, ALoneDeckGivesTheSameBitsOnEveryPath)
{
    PathGuard guard;
    for (int mode = 0; mode <= 2; ++mode) {
        ASSERT_EQ(CMixerDsp::UsePath(CMixerDsp::Path::Plain), CMixerDsp::Path::Plain);
        const LoneRun plain = LoneSession(mode, true);
        for (auto path : {CMixerDsp::Path::Avx2, CMixerDsp::Path::Avx512}) {
            if (CMixerDsp::UsePath(path) != path)
                continue;
            const LoneRun got = LoneSession(mode, true);
            for (int c = 0; c < 4; ++c)
                EXPECT_TRUE(std::memcmp(got.out[c].data(), plain.out[c].data(),
                                        plain.out[c].size() * sizeof(float)) == 0)
                    << "path " << static_cast<int>(path) << ", output " << c << ", monitor mode " << mode;
            EXPECT_EQ(got.readings, plain.readings);
        }
    }
}
