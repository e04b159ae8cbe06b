#include "AudioEngine.h"
#include "CoreTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

// Three tone tracks in one list, the same in the recording and the replaying core.
void FillList(CPlayerCore& core, const CTempDir& dir)
{
    core.List().AddTrack(WriteToneTrack(dir.Path("one.wav"), 330.0, 12.0), true);
    core.List().AddTrack(WriteToneTrack(dir.Path("two.wav"), 550.0, 12.0), true);
    core.List().AddTrack(WriteToneTrack(dir.Path("three.wav"), 770.0, 12.0), true);
}

void Set(CPlayerCore& core, int32_t id, int channel, int32_t value)
{
    core.Controls().SetValue(id, channel, value, true, true);
}

// A scripted performance: loads, starts, pitch and EQ moves, the filter, a loop, a scratch, a
// track change and cross-fader sweeps, tick by tick.
void Perform(CPlayerCore& core, uint32_t tick)
{
    CPlaylist& list = core.List();
    auto load = [&](int deck, int index) {
        core.LoadTrackToDeck(deck, list.Entry(index).location.c_str(), list.Entry(index).id);
    };
    switch (tick) {
    case 0:
        load(0, 0);
        load(1, 1);
        Set(core, ControlId::XFader, 0, 0);
        break;
    case 5:
        Set(core, ControlId::DeckStartStop, 0, 1);
        break;
    case 300:
        Set(core, ControlId::DeckStartStop, 1, 1);
        break;
    case 400:
        Set(core, ControlId::DeckPitch, 0, 2300);
        break;
    case 500:
        Set(core, ControlId::DeckEqLow, 1, 30);
        Set(core, ControlId::DeckEqHighKill, 0, 1);
        break;
    case 600:
        Set(core, ControlId::DeckBpActive, 1, 1);
        Set(core, ControlId::DeckBpCenter, 1, 90);
        break;
    case 700:
        Set(core, ControlId::DeckSetCue, 0, 4);
        break;
    case 800:
        Set(core, ControlId::DeckSetCue, 0, 5);
        Set(core, ControlId::DeckCueLoop, 0, 1);
        break;
    case 1100:
        Set(core, ControlId::DeckCueLoop, 0, 0);
        break;
    case 1200:
        Set(core, ControlId::DeckScratchOn, 1, 1);
        break;
    case 1500:
        Set(core, ControlId::DeckScratchOn, 1, 0);
        break;
    case 1700:
        load(0, 2);
        break;
    case 1710:
        Set(core, ControlId::DeckStartStop, 0, 1);
        break;
    default:
        break;
    }
    if (tick >= 1200 && tick < 1500)
        Set(core, ControlId::DeckScratch, 1, 32768 + static_cast<int32_t>((tick % 40 < 20 ? 1 : -1) * 600));
    if (tick >= 900 && tick < 2200) {
        const auto fader = static_cast<int32_t>(127.5 + 127.5 * std::sin(tick * 0.01));
        if (core.Controls().GetValue(ControlId::XFader, 0) != fader)
            Set(core, ControlId::XFader, 0, fader);
    }
}

constexpr uint32_t kPerformanceTicks = 2400;

} // namespace

TEST(MixReplay, ARecordedPerformanceReplaysToTheSameMainMix)
{
    CTempDir dir;
    CPlayerCore recording;
    FillList(recording, dir);
    CCoreRun live(recording);
    recording.StartRecording();
    for (uint32_t t = 0; t < kPerformanceTicks; ++t) {
        live.Tick([&] { Perform(recording, t); });
    }
    EXPECT_EQ(recording.FinishRecording(), kPerformanceTicks);
    recording.Mix().SetTitle("Test mix");
    recording.Mix().SetComment("recorded by the tests");
    const std::string mixPath = dir.Path("performance.qzx");
    ASSERT_TRUE(recording.SaveDocument(mixPath));

    // Replays twice into fresh cores from the saved file.
    std::vector<std::vector<int16_t>> replays;
    for (int run = 0; run < 2; ++run) {
        CPlayerCore core;
        ASSERT_TRUE(core.OpenDocument(mixPath));
        EXPECT_EQ(core.PlaybackModeValue(), CPlayerCore::kDjMix);
        EXPECT_EQ(core.Mix().Title(), "Test mix");
        EXPECT_EQ(core.List().Count(), 3);
        CCoreRun replay(core);
        core.SetRunStop(true);
        // The transport starts in the first tick's dispatch; two more ticks load the mix's first
        // tracks before the mix itself moves.
        replay.Ticks(kPerformanceTicks + 3);
        EXPECT_FALSE(core.Mix().Playing());
        // The Time Line shows the mix: its blocks, and a position that moved with the mix.
        EXPECT_GE(core.TimeLine().Count(), 2);
        EXPECT_EQ(core.TimeLine().DisplayMode(), CTimeLine::kRealLengths);
        replays.push_back(replay.left);
    }
    ASSERT_EQ(replays[0], replays[1]);

    const std::vector<int16_t>& played = replays[0];
    ASSERT_EQ(played.size(), live.left.size() + 3 * 128);
    // The mix ends when its last tick is due, so that tick is not played.
    size_t differing = 0;
    for (size_t i = 0; i + 128 < live.left.size(); ++i)
        differing += played[i + 3 * 128] != live.left[i] ? 1 : 0;
    EXPECT_EQ(differing, 0u);
    // The performance was really heard: the third track after the change on deck A.
    EXPECT_GT(WindowAmplitude(live.left, 770.0, 2000 * 128, 4096) +
                  WindowAmplitude(live.left, 550.0, 2000 * 128, 4096),
              500.0);
}

TEST(MixReplay, ALaggingDeckIsNudgedAndAFarOneSeeked)
{
    CTempDir dir;
    CPlayerCore recording;
    FillList(recording, dir);
    CCoreRun live(recording);
    recording.StartRecording();
    for (uint32_t t = 0; t < 400; ++t) {
        if (t == 0)
            recording.LoadTrackToDeck(0, recording.List().Entry(0).location.c_str(),
                                      recording.List().Entry(0).id);
        if (t == 2)
            Set(recording, ControlId::DeckStartStop, 0, 1);
        live.Tick();
    }
    recording.FinishRecording();
    ASSERT_TRUE(recording.SaveDocument(dir.Path("lag.qzx")));

    CPlayerCore core;
    ASSERT_TRUE(core.OpenDocument(dir.Path("lag.qzx")));
    CCoreRun replay(core);
    core.SetRunStop(true);
    replay.Ticks(2 + 100);
    EXPECT_NEAR(core.TimeLine().Position(), core.Mix().CurrentTick() * 128.0 / 44.1, 10.0);
    CDeckPlayer& deck = core.Engine().Deck(0);
    // Put the deck 100 frames behind: the next tick nudges by about +100/126.
    deck.SeekFrames(deck.PlayPosition() - 100);
    replay.Tick();
    EXPECT_NEAR(deck.Nudge(), 100.0f / 126.0f, 0.02f);
    replay.Ticks(3);
    EXPECT_FLOAT_EQ(deck.Nudge(), 0.0f);
    // 700 frames behind at speed 1.0 is past 512 + 128: the deck is seeked instead.
    deck.SeekFrames(deck.PlayPosition() - 700);
    replay.Tick();
    EXPECT_FLOAT_EQ(deck.Nudge(), 0.0f);
    replay.Tick();
    const int32_t recorded = core.Controls().Internal(ControlId::MixPlayPosition)->Value(0);
    EXPECT_LT(std::abs(static_cast<int32_t>(deck.PlayPosition()) - recorded), 200);
}

TEST(MixReplay, AMixWhoseTrackIsMissingFromTheListStopsAndKeepsTheDecks)
{
    CTempDir dir;
    CPlayerCore core;
    FillList(core, dir);
    // Track value 9 names no entry of a three-track list.
    core.Mix().SetStream({0x00, 0x04, 0x10, 9, 0x64, 0x00, 0x10, 1, 0x00, 0xC0, 0x00, 0x80}, 2);
    core.SetPlaybackMode(CPlayerCore::kDjMix);
    EXPECT_FALSE(core.MixTracksPresent());
    CCoreRun replay(core);
    core.SetRunStop(true);
    replay.Ticks(4);
    EXPECT_EQ(core.Controls().GetValue(ControlId::RunStop, 0), 0);
    // The list holds its tracks: the message names the value the list lacks, not missing files.
    EXPECT_STREQ(core.MixStartProblem(), "the mix names track 9, which its list does not hold");
    EXPECT_EQ(core.TakeMessage(), core.MixStartProblem());
    EXPECT_FALSE(core.Mix().Playing());
}

TEST(MixReplay, ASeekPastATrackChangeLoadsTheTrackOfTheTarget)
{
    CTempDir dir;
    CPlayerCore recording;
    FillList(recording, dir);
    CCoreRun live(recording);
    recording.StartRecording();
    CPlaylist& list = recording.List();
    for (uint32_t t = 0; t < 1400; ++t) {
        live.Tick([&] {
            if (t == 0 || t == 300) {
                const int index = t == 0 ? 0 : 2;
                recording.LoadTrackToDeck(0, list.Entry(index).location.c_str(), list.Entry(index).id);
            }
            if (t == 2 || t == 302)
                Set(recording, ControlId::DeckStartStop, 0, 1);
        });
    }
    EXPECT_EQ(recording.FinishRecording(), 1400u);
    // Only what changes is written: the track values once per change, not on every tick.
    EXPECT_LT(recording.Mix().Stream().size(), 1400u * 8);
    ASSERT_TRUE(recording.SaveDocument(dir.Path("change.qzx")));

    CPlayerCore core;
    ASSERT_TRUE(core.OpenDocument(dir.Path("change.qzx")));
    CCoreRun replay(core);
    core.SetRunStop(true);
    replay.Ticks(50);
    EXPECT_EQ(core.Engine().LoadedEntry(0), core.List().Entry(0).id);
    core.Mix().SeekTick(1024);
    replay.Ticks(20);
    EXPECT_EQ(core.Engine().LoadedEntry(0), core.List().Entry(2).id);
    EXPECT_TRUE(core.Engine().Deck(0).Playing());
}
