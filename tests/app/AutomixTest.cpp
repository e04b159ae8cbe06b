#include "Automix.h"
#include "AudioEngine.h"
#include "CoreTestSupport.h"
#include "TempDir.h"
#include "Tick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>

namespace {

uint32_t TicksFor(double seconds)
{
    return static_cast<uint32_t>(std::ceil(seconds / kTickSeconds));
}

// A core in Automix over tone tracks of the given lengths (track i at 300 + 600 i Hz).
class AutomixTest : public ::testing::Test {
protected:
    void MakeList(const std::vector<double>& seconds, float fadeSeconds)
    {
        for (size_t i = 0; i < seconds.size(); ++i) {
            const std::string path = dir.Path("t" + std::to_string(i) + ".wav");
            ASSERT_GE(core.List().AddTrack(WriteToneTrack(path, Hz(i), seconds[i]), true), 0);
        }
        core.Automix().SetFadeTime(fadeSeconds);
        core.SetPlaybackMode(CPlayerCore::kAutomix);
        ASSERT_EQ(core.TimeLine().Count(), static_cast<int>(seconds.size()));
    }
    static double Hz(size_t track) { return 300.0 + 600.0 * static_cast<double>(track); }
    // Runs until done() holds or the limit passes; the tick count it took.
    uint32_t RunUntil(const std::function<bool()>& done, double limitSeconds)
    {
        const uint32_t start = run.TickIndex();
        while (!done() && run.TickIndex() - start < TicksFor(limitSeconds))
            run.Tick();
        return run.TickIndex() - start;
    }
    int32_t Value(int32_t id, int channel = 0) { return core.Controls().GetValue(id, channel); }
    bool Playing(int deck) { return core.Engine().Deck(deck).Playing(); }
    int32_t EntryId(int index) { return core.List().Entry(index).id; }

    CTempDir dir;
    CPlayerCore core;
    CCoreRun run{core};
};

} // namespace

TEST_F(AutomixTest, ANextTrackShorterThanThreeFadesChangesOverAtTheVeryEnd)
{
    MakeList({14.0, 25.0}, 10.0f);
    core.SetRunStop(true);
    run.Ticks(2);
    ASSERT_TRUE(Playing(0));
    const uint32_t start = run.TickIndex();
    RunUntil([&] { return Playing(1); }, 20.0);
    const double at = (run.TickIndex() - start) * kTickSeconds;
    EXPECT_NEAR(at, 14.0 - 0.01, 2 * kTickSeconds);
    // The ramp is as long as what was left of the track: at most 0.01 s.
    EXPECT_LE(core.FadeRamp().DurationSeconds(), 0.011);
}

TEST_F(AutomixTest, ALongNextTrackStartsItsFadeTheFadeTimeBeforeTheEnd)
{
    MakeList({14.0, 40.0}, 10.0f);
    core.SetRunStop(true);
    run.Ticks(2);
    const uint32_t start = run.TickIndex();
    RunUntil([&] { return Playing(1); }, 20.0);
    EXPECT_NEAR((run.TickIndex() - start) * kTickSeconds, 4.0, 2 * kTickSeconds);
    // Halfway through the ramp the cross-fader stands near its middle.
    run.Ticks(TicksFor(5.0));
    EXPECT_NEAR(Value(ControlId::XFader), 127, 4);
    run.Ticks(TicksFor(5.2));
    EXPECT_EQ(Value(ControlId::XFader), 255);
    EXPECT_FALSE(Playing(0));
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 1);
}

TEST_F(AutomixTest, ANegativeFadeTimeIsAPauseBetweenTheTracks)
{
    MakeList({5.0, 5.0}, -3.0f);
    core.SetRunStop(true);
    run.Ticks(2);
    RunUntil([&] { return core.FadeRamp().Active(); }, 6.0);
    ASSERT_TRUE(core.FadeRamp().Active());
    run.Ticks(TicksFor(1.5));
    EXPECT_EQ(Value(ControlId::XFader), 0);
    EXPECT_FALSE(Playing(1));
    run.Ticks(TicksFor(1.6));
    EXPECT_EQ(Value(ControlId::XFader), 255);
    EXPECT_TRUE(Playing(1));
    EXPECT_FALSE(Playing(0));
    EXPECT_EQ(core.Engine().Deck(0).PlayPosition(), 0u);
}

TEST_F(AutomixTest, NextDuringARampCompletesItInsteadOfStartingAnother)
{
    MakeList({20.0, 40.0, 40.0}, 10.0f);
    core.SetRunStop(true);
    run.Ticks(2);
    RunUntil([&] { return core.FadeRamp().Active(); }, 12.0);
    run.Ticks(TicksFor(1.0));
    ASSERT_TRUE(core.FadeRamp().Active());
    core.Automix().Next();
    run.Tick();
    EXPECT_FALSE(core.FadeRamp().Active());
    run.Ticks(10);
    EXPECT_EQ(Value(ControlId::XFader), 255);
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 1);
    EXPECT_EQ(core.Automix().Transition(), CAutomix::kIdle);
    EXPECT_TRUE(Playing(1));
    EXPECT_FALSE(Playing(0));
}

TEST_F(AutomixTest, PreviousGoesBackWithinTwoSecondsAndRestartsAfterThem)
{
    MakeList({6.0, 8.0, 8.0}, 0.0f);
    core.SetRunStop(true);
    run.Ticks(2);
    RunUntil([&] { return core.TimeLine().CurrentIndex() == 1; }, 8.0);
    run.Ticks(TicksFor(1.0));
    core.Automix().Previous();
    RunUntil([&] { return core.TimeLine().CurrentIndex() == 0 && Playing(0); }, 1.0);
    run.Ticks(TicksFor(0.5));
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 0);
    EXPECT_EQ(core.Engine().LoadedEntry(0), EntryId(0));
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Playing(1));

    // Three seconds into the item, Previous starts it again.
    run.Ticks(TicksFor(2.5));
    core.Automix().Previous();
    run.Ticks(3);
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 0);
    EXPECT_LT(core.Engine().Deck(0).PlayPosition(), 44100u / 10);
}

TEST_F(AutomixTest, TheEndOfTheLastItemStopsOrRepeatsFromTheFirst)
{
    MakeList({3.0, 3.0}, 0.0f);
    core.SetRunStop(true);
    RunUntil([&] { return Value(ControlId::RunStop) == 0; }, 8.0);
    EXPECT_EQ(Value(ControlId::RunStop), 0);
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 0);
    run.Ticks(5);
    EXPECT_FALSE(Playing(0));
    EXPECT_FALSE(Playing(1));

    core.Automix().SetRepeatAll(true);
    core.SetRunStop(true);
    run.Ticks(TicksFor(7.0));
    EXPECT_EQ(Value(ControlId::RunStop), 1);
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 0);
    EXPECT_TRUE(Playing(0));
    EXPECT_EQ(core.Engine().LoadedEntry(0), EntryId(0));
}

TEST_F(AutomixTest, HoldingTheCrossFaderLetsBothDecksPlayAndReleasingPicksTheFavouredSide)
{
    MakeList({20.0, 20.0, 20.0}, 5.0f);
    core.SetRunStop(true);
    run.Ticks(TicksFor(2.0));
    ASSERT_EQ(core.Engine().LoadedEntry(1), EntryId(1));
    core.Automix().AddManualHold(1);
    run.Ticks(3);
    EXPECT_TRUE(Playing(0));
    EXPECT_TRUE(Playing(1));
    core.Controls().SetValue(ControlId::XFader, 0, 200, Marks::ChangedAndApply);
    run.Ticks(TicksFor(1.0));
    EXPECT_EQ(Value(ControlId::XFader), 200); // left to the user while held
    core.Automix().AddManualHold(-1);
    run.Ticks(3);
    EXPECT_EQ(core.Automix().CurrentDeck(), 1);
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 1);
    EXPECT_EQ(Value(ControlId::XFader), 255);
    EXPECT_FALSE(Playing(0));
    EXPECT_TRUE(Playing(1));
}

TEST_F(AutomixTest, RepeatSingleRestartsTheTrackInsteadOfChangingOver)
{
    MakeList({3.0, 3.0}, 0.0f);
    core.Automix().SetRepeatSingle(true);
    core.SetRunStop(true);
    run.Ticks(TicksFor(4.0));
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 0);
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Playing(1));
    EXPECT_LT(core.Engine().Deck(0).PlayPosition(), 44100u * 3 / 2);
}

TEST_F(AutomixTest, AnEmptyMixFallsBackToAutomix)
{
    MakeList({3.0, 3.0}, 0.0f);
    core.SetPlaybackMode(CPlayerCore::kDjMix);
    run.Ticks(2);
    EXPECT_EQ(core.PlaybackModeValue(), CPlayerCore::kAutomix);
    EXPECT_EQ(core.TimeLine().Count(), 2);
}

TEST_F(AutomixTest, FiveTracksFollowEachOtherWithoutASilentGapOrASkip)
{
    const std::vector<double> lengths = {3.0, 3.5, 2.5, 4.0, 3.0};
    MakeList(lengths, 0.0f);
    core.SetRunStop(true);
    double total = 0.0;
    for (double l : lengths)
        total += l;
    run.Ticks(TicksFor(total + 1.0));

    // The track heard in each tick: the loudest of the five tones, or -1 for silence.
    const std::vector<int16_t>& left = run.left;
    std::vector<int> heard;
    for (size_t t = 0; t + 1 < left.size() / 128; ++t) {
        double power = 0.0;
        for (size_t i = t * 128; i < (t + 1) * 128; ++i)
            power += static_cast<double>(left[i]) * left[i];
        int best = -1;
        double bestAmplitude = 0.0;
        for (size_t k = 0; k < lengths.size() && std::sqrt(power / 128) > 300.0; ++k) {
            const double a = WindowAmplitude(left, Hz(k), t * 128, 256);
            if (a > bestAmplitude) {
                bestAmplitude = a;
                best = static_cast<int>(k);
            }
        }
        heard.push_back(best);
    }
    size_t first = 0;
    while (first < heard.size() && heard[first] < 0)
        ++first;
    ASSERT_LT(first, 4u) << "the first track starts at once";
    // Each track in turn, none skipped or twice, and no silent tick before the last one ends.
    // Without a fade every change-over comes when less than a tick is left of the track that
    // started at the one before.
    int expected = 0;
    size_t started = first;
    size_t t = first;
    for (; t < heard.size(); ++t) {
        if (heard[t] == expected)
            continue;
        if (heard[t] == expected + 1) {
            const double rule =
                static_cast<double>(started) + lengths[static_cast<size_t>(expected)] / kTickSeconds - 1.0;
            EXPECT_NEAR(static_cast<double>(t), rule, 1.5) << "into track " << expected + 1;
            started = t;
            ++expected;
            continue;
        }
        break;
    }
    EXPECT_EQ(expected, 4) << "tick " << t << " heard " << heard[t];
    // The last track plays to its very end. A tone cut at full level leaves a short decaying
    // tail (no track ends like that); after it all is silent.
    EXPECT_NEAR(static_cast<double>(t), static_cast<double>(started) + lengths.back() / kTickSeconds, 2.0);
    for (size_t k = t + 30; k < heard.size(); ++k)
        ASSERT_EQ(heard[k], -1) << "tick " << k;
}

TEST_F(AutomixTest, JumpAndFastSeekMoveThePlayingTrack)
{
    MakeList({8.0, 8.0, 8.0}, 1.0f);
    core.SetRunStop(true);
    run.Ticks(TicksFor(1.0));
    core.Automix().JumpTo(2);
    run.Ticks(TicksFor(0.5));
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 2);
    const int deck = core.TimeLine().Item(2)->deck;
    EXPECT_EQ(core.Automix().CurrentDeck(), deck);
    EXPECT_EQ(core.Engine().LoadedEntry(deck), EntryId(2));
    EXPECT_TRUE(Playing(deck));
    EXPECT_LT(core.Engine().Deck(deck).PlayPosition(), 44100u);
    // A coarse step forward is 256 of 4096: half a second of an 8-second track.
    const uint32_t before = core.Engine().Deck(deck).PlayPosition();
    core.Automix().SeekForward(true);
    run.Ticks(3);
    const double moved = (static_cast<double>(core.Engine().Deck(deck).PlayPosition()) - before) / 44100.0;
    EXPECT_NEAR(moved, 0.5, 0.1);
    // The Time Line position follows the item: its start plus the played share of its block.
    const TimeLineItem* item = core.TimeLine().Item(2);
    EXPECT_GT(core.TimeLine().Position(), static_cast<uint32_t>(item->start));
    EXPECT_LT(core.TimeLine().Position(), static_cast<uint32_t>(item->start + item->displayLength));
    core.Automix().Home();
    run.Ticks(TicksFor(0.3));
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 0);
}

TEST_F(AutomixTest, ChoosingAutomixAgainDuringAFadeStartsCleanAtTheFirstItem)
{
    MakeList({40.0, 40.0, 40.0}, 10.0f);
    core.SetRunStop(true);
    run.Ticks(TicksFor(2.0));
    core.Automix().Next();
    run.Ticks(TicksFor(2.0));
    ASSERT_TRUE(core.FadeRamp().Active());
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    run.Ticks(TicksFor(12.0));
    // The old change-over is forgotten: the first item plays on alone, nothing was skipped.
    EXPECT_EQ(core.TimeLine().CurrentIndex(), 0);
    EXPECT_EQ(core.Automix().CurrentDeck(), 0);
    EXPECT_EQ(core.Engine().LoadedEntry(0), EntryId(0));
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Playing(1));
    EXPECT_EQ(Value(ControlId::XFader), 0);
}

// An analysed track is levelled and starts at its sound as Automix loads it; one not analysed
// stays at unity from its first frame.
TEST_F(AutomixTest, LoadedTracksGetTheirLevelAndStartAtTheirSound)
{
    MakeList({30.0, 30.0}, 4.0f);
    TrackEntry& analysed = core.List().Entry(0);
    analysed.loudnessLufs = -20.0f;
    analysed.truePeakDb = -10.0f;
    analysed.audibleStartMs = 2000.0;
    analysed.audibleEndMs = 28000.0;
    core.Automix().SetSkipSilence(true);
    core.Automix().SetLevelTracks(true);
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    core.SetRunStop(true);
    RunUntil([&] { return core.Engine().LoadedEntry(1) == EntryId(1) && !core.Engine().Loading(1); }, 2.0);
    run.Ticks(TicksFor(0.5));
    ASSERT_EQ(core.Engine().LoadedEntry(0), EntryId(0));
    EXPECT_EQ(Value(ControlId::DeckVolume, 0), core.Engine().Mixer().DeckVolumeForGain(6.0f));
    EXPECT_GT(Value(ControlId::DeckVolume, 0), CAutomix::kUnityDeckVolume);
    EXPECT_EQ(Value(ControlId::DeckVolume, 1), CAutomix::kUnityDeckVolume);
    const double played = core.Engine().Deck(0).PlayPosition() / 44100.0;
    EXPECT_GT(played, 2.0);
    EXPECT_LT(played, 3.5);
    EXPECT_LT(core.Engine().Deck(1).PlayPosition(), 441u) << "not analysed: waits at its start";
}

// Where the change-over out of a track falls, given what is left of it and of the next track.
TEST(AutomixPlacement, FadeEndsWhereTheSoundEndsAndNeverOutlastsIt)
{
    struct Case {
        double fade, remaining, next;
        bool start;
        double ramp;
    };
    const Case cases[] = {
        {8.0, 8.5, 60.0, false, 0.0},    // not yet
        {8.0, 8.0, 60.0, true, 8.0},     // the fade ends with what is left
        {8.0, 5.0, 60.0, true, 5.0},     // less left than the fade: the ramp is cut to it
        {8.0, 0.0, 60.0, true, 0.0},     // nothing left: at once
        {8.0, 8.0, 20.0, false, 0.0},    // a short next track gets no early change-over...
        {8.0, 0.005, 20.0, true, 0.005}, // ...only the last 10 ms
        {-3.0, 0.5, 60.0, false, 0.0},   // a pause waits for the end
        {-3.0, 0.01, 60.0, true, -3.0},  // and then counts
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const CAutomix::ChangeOverPlan plan = CAutomix::PlanChangeOver(c.fade, c.remaining, c.next);
        EXPECT_EQ(plan.start, c.start) << "case " << i;
        if (c.start) {
            EXPECT_DOUBLE_EQ(plan.rampSeconds, c.ramp) << "case " << i;
        }
    }
}

TEST(AutomixPlacement, RemainingCountsToTheLastAudibleFrame)
{
    // A 200 s track whose sound ends at 190 s, 20 s from its end: 10 s of sound are left, so an
    // 8 s fade starts at 182 s, the audible end minus the fade.
    EXPECT_DOUBLE_EQ(CAutomix::AudibleRemainingSeconds(20.0, 200.0, 190000.0), 10.0);
    EXPECT_TRUE(
        CAutomix::PlanChangeOver(8.0, CAutomix::AudibleRemainingSeconds(18.0, 200.0, 190000.0), 60.0).start);
    EXPECT_FALSE(
        CAutomix::PlanChangeOver(8.0, CAutomix::AudibleRemainingSeconds(18.5, 200.0, 190000.0), 60.0).start);
    // Past the audible end nothing is left, never less.
    EXPECT_DOUBLE_EQ(CAutomix::AudibleRemainingSeconds(4.0, 200.0, 190000.0), 0.0);
    // Not analysed: the file's end, as without skipping.
    EXPECT_DOUBLE_EQ(CAutomix::AudibleRemainingSeconds(20.0, 200.0, -1.0), 20.0);
    // An audible end past the length the deck reports (a length estimated short) cuts nothing.
    EXPECT_DOUBLE_EQ(CAutomix::AudibleRemainingSeconds(20.0, 200.0, 201000.0), 20.0);
}

TEST(AutomixPlacement, LevelAimsAtTheTargetUnlessThePeakWouldPassFullScale)
{
    EXPECT_DOUBLE_EQ(CAutomix::LevelGainDb(-8.0f, -0.5f), -6.0);  // loud: down to the target
    EXPECT_DOUBLE_EQ(CAutomix::LevelGainDb(-20.0f, -10.0f), 6.0); // quiet: up to the target
    EXPECT_DOUBLE_EQ(CAutomix::LevelGainDb(-20.0f, -2.0f), 2.0);  // up only to 0 dBTP
    EXPECT_DOUBLE_EQ(CAutomix::LevelGainDb(0.0f, 0.0f), 0.0);     // not measured: unity
}
