#include "ControlHost.h"
#include "AudioBus.h"
#include "AudioEngine.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t kSecond = 44100;

// The application's slots, logged so a test can see the order of one tick's work.
class CTestHost : public CControlHost {
public:
    void ScheduleTimeLine() noexcept override { m_log += 'S'; }
    void ReplayMixTick() noexcept override { m_log += 'R'; }
    void ApplyControls(double elapsedMs) noexcept override
    {
        m_log += 'A';
        CControlHost::ApplyControls(elapsedMs);
    }
    void UpdateMixMonitorFlags() noexcept override { m_log += 'M'; }
    int OnRunStop(int value) noexcept override { return m_refuseRun ? 0 : value; }
    bool AutomixMode() const noexcept override { return m_automix; }

    std::string m_log;
    bool m_refuseRun = false;
    bool m_automix = false;
};

struct Output {
    std::vector<int16_t> mainLeft, mainRight;
};

Output RunBlocks(CControlHost& host, int blocks, uint32_t ticksPerBlock = 8)
{
    Output out;
    CAudioBus bus(44100, ticksPerBlock);
    ClientRecord record;
    for (int b = 0; b < blocks; ++b) {
        bus.Clear(0);
        host.Render(record, bus, 0, static_cast<uint16_t>(ticksPerBlock));
        for (uint32_t t = 0; t < ticksPerBlock; ++t)
            AppendGroupTick(bus, 1, t, out.mainLeft, out.mainRight);
    }
    return out;
}

void Set(CControlHost& host, int32_t id, int channel, int32_t value)
{
    host.Controls().SetValue(id, channel, value, Marks::ChangedAndApply);
}

} // namespace

TEST(ControlHost, EachTickRunsItsStepsInOrder)
{
    CTestHost host;
    RunBlocks(host, 1, 3);
    EXPECT_EQ(host.m_log, "SRAMSRAMSRAM");
}

TEST(ControlHost, RunStopStoresWhatTheApplicationAnswers)
{
    CTestHost host;
    host.m_refuseRun = true;
    Set(host, ControlId::RunStop, 0, 1);
    RunBlocks(host, 1);
    EXPECT_EQ(host.Controls().GetValue(ControlId::RunStop, 0), 0);
    host.m_refuseRun = false;
    Set(host, ControlId::RunStop, 0, 1);
    RunBlocks(host, 1);
    EXPECT_EQ(host.Controls().GetValue(ControlId::RunStop, 0), 1);
}

TEST(ControlHost, ControlValuesReachTheDeckOnlyWhenMarkedForIt)
{
    CTestHost host;
    CDeckPlayer& deck = host.Engine().Deck(1);
    RunBlocks(host, 1); // applies the defaults
    EXPECT_FLOAT_EQ(deck.Tempo(), 1.0f);
    // Shown only: never applied.
    host.Controls().SetValue(ControlId::DeckPitch, 1, 0, Marks::Changed);
    RunBlocks(host, 1);
    EXPECT_FLOAT_EQ(deck.Tempo(), 1.0f);

    struct Case {
        int32_t id;
        int32_t value;
        std::function<float()> read;
        float expected;
    };
    const Case cases[] = {
        {ControlId::DeckPitch, 0, [&] { return deck.Tempo(); }, 0.65f},
        {ControlId::DeckPitch, 4096, [&] { return deck.Tempo(); }, 1.35f},
        {ControlId::DeckPitchBend, 0, [&] { return deck.PitchBend(); }, -1.0f},
        {ControlId::DeckWind, 0, [&] { return deck.Wind(); }, -3.0f},
        {ControlId::DeckReverse, 1, [&] { return deck.Reverse() ? 1.0f : 0.0f; }, 1.0f},
        {ControlId::DeckCueLoop, 1, [&] { return deck.LoopActive() ? 1.0f : 0.0f; }, 1.0f},
    };
    for (const Case& c : cases) {
        Set(host, c.id, 1, c.value);
        RunBlocks(host, 1);
        EXPECT_FLOAT_EQ(c.read(), c.expected) << c.id << " = " << c.value;
    }
    EXPECT_FLOAT_EQ(host.Engine().Deck(0).Tempo(), 1.0f) << "deck A untouched";
}

TEST(ControlHost, SkipsMoveByAQuarterSecondWithinTheTrackAndReturnToZero)
{
    CTestHost host;
    CDeckPlayer& deck = host.Engine().Deck(0);
    LoadSignal(deck, 10 * kSecond, FrameCode);
    RunBlocks(host, 1);
    const double length = deck.LengthSeconds();
    struct Case {
        int32_t id;
        double from;
        double expected;
    };
    const Case cases[] = {
        {ControlId::DeckSkipForward, 2.0, 2.25},
        {ControlId::DeckSkipForward, length - 0.2, length - 0.2}, // within 0.25 s of the end: stays
        {ControlId::DeckSkipBackward, 2.0, 1.75},
        {ControlId::DeckSkipBackward, 0.1, 0.0},
    };
    for (const Case& c : cases) {
        deck.SeekSeconds(c.from);
        RunBlocks(host, 1); // the pending seek lands
        const double before = deck.CoarseSeconds();
        Set(host, c.id, 0, 1);
        RunBlocks(host, 1);
        // The deck is paused: the coarse time is block-exact (23.2 ms).
        EXPECT_NEAR(deck.CoarseSeconds(), before + (c.expected - c.from), 0.03) << c.id << " from " << c.from;
        EXPECT_EQ(host.Controls().GetValue(c.id, 0), 0);
    }
}

TEST(ControlHost, JumpToCueJumpsOnceAndSetCueStoresThePosition)
{
    CTestHost host;
    CDeckPlayer& deck = host.Engine().Deck(0);
    LoadSignal(deck, 10 * kSecond, FrameCode);
    RunBlocks(host, 1); // the defaults, "Deck Seek Position" 0 among them, are applied first
    deck.SetMarker(2, 1500.0);
    deck.SeekFrames(3 * kSecond);
    RunBlocks(host, 1); // a paused deck still reads its 8 frames of look-ahead once
    const uint32_t before = deck.PlayPosition();
    EXPECT_NEAR(before, 3 * kSecond, 8);
    Set(host, ControlId::DeckJumpToCue, 0, 0);
    RunBlocks(host, 1);
    EXPECT_EQ(deck.PlayPosition(), before) << "0 names no cue point";
    Set(host, ControlId::DeckJumpToCue, 0, 3);
    RunBlocks(host, 1);
    EXPECT_EQ(deck.PlayPosition(), static_cast<uint32_t>(1.5 * kSecond));
    EXPECT_EQ(host.Controls().GetValue(ControlId::DeckJumpToCue, 0), 0);
    deck.SeekFrames(5 * kSecond);
    RunBlocks(host, 1);
    EXPECT_EQ(deck.PlayPosition(), 5 * kSecond) << "the jump happened once";
    Set(host, ControlId::DeckJumpToCue, 0, 6);
    RunBlocks(host, 1);
    EXPECT_EQ(deck.PlayPosition(), 0u) << "6 goes back to the start";

    deck.SeekFrames(4 * kSecond);
    Set(host, ControlId::DeckSetCue, 0, 5);
    RunBlocks(host, 1);
    EXPECT_NEAR(deck.GetMarker(4), 4000.0, 0.01);
    EXPECT_EQ(host.Controls().GetValue(ControlId::DeckSetCue, 0), 0);
}

TEST(ControlHost, SeekPositionFollowsTheDeckUnlessMoved)
{
    CTestHost host;
    CDeckPlayer& deck = host.Engine().Deck(0);
    RunBlocks(host, 1);
    EXPECT_EQ(host.Controls().GetValue(ControlId::DeckSeekPosition, 0), 0) << "empty deck";
    LoadSignal(deck, 20 * kSecond, FrameCode);
    deck.SeekFrames(5 * kSecond);
    RunBlocks(host, 1);
    const int32_t shown = host.Controls().GetValue(ControlId::DeckSeekPosition, 0);
    EXPECT_NEAR(shown, 4096.0 * deck.CoarseSeconds() / deck.LengthSeconds(), 1.0);
    EXPECT_FALSE(host.Controls().FindFunction(ControlId::DeckSeekPosition)->TakeApplyPending(0));
    Set(host, ControlId::DeckSeekPosition, 0, 2048);
    RunBlocks(host, 1);
    EXPECT_NEAR(deck.PlayPosition(), deck.TrackFrames() / 2.0, 1100.0);
}

TEST(ControlHost, AutoLevelShowsTheMixerVolumesOnTheDeckVolumeControls)
{
    CTestHost host;
    Set(host, ControlId::AutoLevelDecks, 0, 1);
    RunBlocks(host, 200); // 200 blocks of 8 ticks, 4.6 s: both decks silent, gains rise to 0.75
    for (int deck = 0; deck < 2; ++deck)
        EXPECT_NEAR(host.Controls().GetValue(ControlId::DeckVolume, deck), 191, 3) << deck;
}

TEST(ControlHost, AutomixForcesTheEqualPowerCurveAndGivesTheUsersBack)
{
    CTestHost host;
    host.m_automix = true;
    RunBlocks(host, 1);
    CControlFunction& mode = *host.Controls().FindFunction(ControlId::XFaderMode);
    EXPECT_EQ(mode.Flags(0) & CControlFunction::kApplyPending, CControlFunction::kApplyPending);
    host.m_automix = false;
    RunBlocks(host, 1);
    EXPECT_FALSE(mode.TakeApplyPending(0));
}

TEST(ControlHost, BeatLoopShortenedBehindThePositionWaitsUntilThePositionIsBack)
{
    CTestHost host;
    CDeckPlayer& deck = host.Engine().Deck(0);
    LoadSignal(deck, 30 * kSecond, FrameCode);
    deck.SetBpm(120.0f, 0.9f);
    RunBlocks(host, 1); // the defaults first
    deck.SeekFrames(kSecond);
    Set(host, ControlId::DeckStartStop, 0, 1);
    Set(host, ControlId::DeckCueSetBeatLoop, 0, 8); // 8 half-beats at 120 BPM: 2 s
    RunBlocks(host, 1);
    EXPECT_EQ(host.Controls().GetValue(ControlId::DeckCueLoop, 0), 1);
    const double start = deck.GetMarker(3);
    EXPECT_NEAR(deck.GetMarker(4) - start, 2000.0, 0.5);
    // Play 1.5 s into the loop, then ask for a 1 s loop: its end lies behind the position.
    RunBlocks(host, 65);
    Set(host, ControlId::DeckCueSetBeatLoop, 0, 4);
    RunBlocks(host, 1);
    EXPECT_NEAR(deck.GetMarker(4) - start, 2000.0, 0.5) << "deferred while beyond the new end";
    // The old loop end sends the position back to the start; then the new end is set.
    RunBlocks(host, 40);
    EXPECT_NEAR(deck.GetMarker(4) - deck.GetMarker(3), 1000.0, 0.5);
}

TEST(ControlHost, StartAndCrossFaderBySetValuePutDeckAInTheMainMix)
{
    CTestHost host;
    LoadSignal(host.Engine().Deck(0), 10 * kSecond, [](uint32_t f) { return Sine(f, 1000.0); });
    LoadSignal(host.Engine().Deck(1), 10 * kSecond, [](uint32_t f) { return Sine(f, 3000.0); });
    for (int deck = 0; deck < 2; ++deck)
        Set(host, ControlId::DeckStartStop, deck, 1);
    Set(host, ControlId::XFader, 0, 0);
    const Output out = RunBlocks(host, 40);
    const size_t settled = 4096;
    EXPECT_GT(ToneAmplitude(out.mainLeft, 1000.0, settled), 5000.0);
    EXPECT_LT(ToneAmplitude(out.mainLeft, 3000.0, settled), 10.0);
    // And the other way round.
    Set(host, ControlId::XFader, 0, 255);
    const Output other = RunBlocks(host, 40);
    EXPECT_LT(ToneAmplitude(other.mainLeft, 1000.0, settled), 10.0);
    EXPECT_GT(ToneAmplitude(other.mainLeft, 3000.0, settled), 5000.0);
}
