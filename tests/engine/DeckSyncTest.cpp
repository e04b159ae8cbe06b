#include "DeckSync.h"
#include "DeckPlayer.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

constexpr uint32_t kSecond = 44100;
constexpr uint32_t kBeat = 22050; // the fixed grid: 120 BPM at 44100 Hz

int16_t Silence(uint32_t)
{
    return 0;
}

// A deck holding `seconds` of track with a playlist tempo, its play position at `frame`.
void LoadTrack(CDeckPlayer& deck, float bpm, float quality, uint32_t frame = 0, uint32_t seconds = 5)
{
    LoadSignal(deck, seconds * kSecond, Silence);
    deck.SetBpm(bpm, quality);
    deck.SeekFrames(frame);
}

// Deck A leads on the beat, deck B is `offset` frames after it; both 120 BPM, 4 s from either
// end of their tracks.
SyncInputs BothPlaying(CDeckPlayer& a, CDeckPlayer& b, uint32_t offset, int mode)
{
    LoadTrack(a, 120.0f, 1.0f, 8 * kBeat, 10);
    LoadTrack(b, 120.0f, 1.0f, 8 * kBeat + offset, 10);
    SyncInputs in;
    in.phaseSyncMode = mode;
    in.playing = {true, true};
    return in;
}

} // namespace

TEST(DeckTempo, SetTempoFromBpmFoldsTheRatioIntoThePitchRange)
{
    struct Case {
        float target;
        float track;
        int result;
        float tempo; // 1.1, the tempo before, where refused
    };
    const Case cases[] = {
        {65, 130, 1, 1.0f},   {140, 100, 1, 0.7f},  {128, 95, 1, 0.674f}, {100, 140, 1, 0.714f},
        {100, 160, 1, 1.25f}, {100, 69, 1, 0.725f}, {134, 100, 1, 0.67f}, {66, 100, 1, 1.32f},
        {0, 120, 0, 1.1f},    {120, 0, 0, 1.1f},    {360, 120, 0, 1.1f},  {30, 120, 0, 1.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.target << " for " << c.track);
        CDeckPlayer deck;
        deck.SetBpm(c.track, 1.0f);
        deck.SetTempo(1.1f);
        EXPECT_EQ(deck.SetTempoFromBpm(c.target), c.result);
        EXPECT_NEAR(deck.Tempo(), c.tempo, 1e-3);
    }
}

TEST(DeckTempo, PitchValueOfATempoReadsBackAsThatTempo)
{
    for (const int value : {0, 1, 1000, 2047, 2048, 2049, 4095, 4096})
        EXPECT_EQ(CDeckPlayer::ControlFromTempo(CDeckPlayer::TempoFromControl(value)), value);
    EXPECT_EQ(CDeckPlayer::ControlFromTempo(0.5f), 0);
    EXPECT_EQ(CDeckPlayer::ControlFromTempo(2.0f), 4096);
}

TEST(DeckTempo, PhaseOffsetOnTheFixedGridIsWithinHalfABeat)
{
    struct Case {
        uint16_t rate;
        uint32_t frame;
        bool reverse;
        float phase;
    };
    const Case cases[] = {
        {44100, 0, false, 0.0f},       {44100, 5512, false, 0.25f},
        {44100, 11025, false, 0.5f},   {44100, 11026, false, -0.5f},
        {44100, 16538, false, -0.25f}, {44100, kBeat, false, 0.0f},
        {44100, 5512, true, -0.25f},   {44100, 3 * kBeat + 5512, false, 0.25f},
        {48000, 6000, false, 0.25f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.rate << " Hz, frame " << c.frame << (c.reverse ? " reversed" : ""));
        CDeckPlayer deck;
        LoadSignal(deck, 3 * c.rate, Silence, c.rate);
        deck.SeekFrames(c.frame);
        deck.SetReverse(c.reverse);
        EXPECT_NEAR(deck.PhaseOffset(), c.phase, 1e-4);
    }
    CDeckPlayer deck;
    LoadSignal(deck, 3 * kSecond, Silence);
    deck.SeekFrames(5512);
    deck.Unload();
    EXPECT_EQ(deck.PhaseOffset(), 0.0f);
}

// What the deck does with a detection in its tracker.
TEST(DeckTempo, ConfidentTrackerDetectionOverridesTempoAndGrid)
{
    CDeckPlayer deck;
    LoadTrack(deck, 120.0f, 0.3f, 1000 + 6615); // a quarter of a 100 BPM beat after the origin
    CBeatTracker& tracker = deck.BeatTracker();
    tracker.SetPhaseOrigin(1000);
    tracker.SetDetection(100.0f, 0.2f);
    EXPECT_FLOAT_EQ(deck.TrackBpm(), 120.0f);
    EXPECT_NEAR(deck.PhaseOffset(), 0.25f, 1e-4); // already the 100 BPM grid from the origin
    tracker.SetDetection(100.0f, 0.005f);
    EXPECT_NEAR(deck.PhaseOffset(), 6615.0f / kBeat, 1e-4); // the 120 BPM grid
    tracker.SetDetection(100.0f, 0.6f);
    EXPECT_FLOAT_EQ(deck.TrackBpm(), 100.0f);
    EXPECT_FLOAT_EQ(deck.BpmQuality(), 0.6f);

    EXPECT_FALSE(deck.NextBeat(0.0).has_value());
    for (const uint32_t frame : {kSecond / 2, kSecond, 3 * kSecond / 2})
        ASSERT_TRUE(tracker.AppendBeat(0, frame));
    EXPECT_DOUBLE_EQ(deck.NextBeat(0.0).value_or(-1), 500.0);
    EXPECT_DOUBLE_EQ(deck.NextBeat(500.0).value_or(-1), 1000.0);
    EXPECT_FALSE(deck.NextBeat(1500.0).has_value());

    // Neither a failed load nor a new track keeps the old detection.
    EXPECT_EQ(deck.LoadSource(nullptr, "missing"), 0);
    EXPECT_EQ(tracker.Confidence(), 0.0f);
    EXPECT_EQ(tracker.BeatCount(0), 0);
    tracker.SetDetection(100.0f, 0.6f);
    LoadSignal(deck, kSecond, Silence, 48000);
    EXPECT_EQ(tracker.SampleRate(), 48000u);
    EXPECT_EQ(tracker.Confidence(), 0.0f);
    EXPECT_EQ(tracker.PhaseOrigin(), 0u);
}

TEST(DeckSync, CrossfaderPicksTheLeaderWhosePhaseRunsOnWhenItCannotLead)
{
    struct Case {
        int xFader;
        bool playing;
        int scratchOn;
        int ticks;
        float masterBpm;
        float masterPhase;
    };
    // One tick at 120 BPM is 2.9025 ms = 0.0058050 beats.
    const Case cases[] = {
        {0, true, 0, 1, 132.0f, 0.25f},         {127, true, 0, 1, 132.0f, 0.25f},
        {128, true, 0, 1, 100.0f, 0.0f},        {0, false, 0, 1, 132.0f, 0.00639f},
        {0, true, 1, 1, 132.0f, 0.00639f},      {255, false, 0, 1, 100.0f, 0.00484f},
        {128, false, 0, 100, 100.0f, 0.48375f}, {128, false, 0, 200, 100.0f, -0.0325f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x-fader " << c.xFader << ", ticks " << c.ticks);
        CDeckPlayer a, b;
        LoadTrack(a, 120.0f, 1.0f, 5512);
        a.SetTempo(1.1f);
        LoadTrack(b, 100.0f, 1.0f);
        CDeckSync sync;
        SyncInputs in;
        in.xFader = c.xFader;
        in.playing = {c.playing, c.playing};
        in.scratchOn = {c.scratchOn, c.scratchOn};
        SyncOutputs out;
        for (int t = 0; t < c.ticks; ++t)
            sync.Step(a, b, in, out);
        EXPECT_NEAR(sync.MasterBpm(), c.masterBpm, 1e-3);
        EXPECT_NEAR(sync.MasterPhase(), c.masterPhase, 1e-4);
    }
}

TEST(DeckSync, BpmSyncMatchesTheLeaderAndReportsThePitchValue)
{
    struct Case {
        float deckBpm;
        bool changed;
        float tempo;
        int pitch;
    };
    const Case cases[] = {{95, true, 0.67368f, 139}, {128, true, 1.0f, 2048}, {40, false, 1.0f, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deckBpm);
        CDeckPlayer a, b;
        LoadTrack(a, 128.0f, 1.0f);
        LoadTrack(b, c.deckBpm, 1.0f);
        CDeckSync sync;
        SyncInputs in;
        in.bpmSync = {false, true};
        SyncOutputs out;
        sync.Step(a, b, in, out);
        EXPECT_FALSE(out.pitchChanged[0]);
        EXPECT_EQ(out.pitchChanged[1], c.changed);
        EXPECT_EQ(out.pitchValue[1], c.pitch);
        EXPECT_NEAR(b.Tempo(), c.tempo, 1e-4);
        EXPECT_FLOAT_EQ(a.Tempo(), 1.0f);
    }
}

TEST(DeckSync, NudgeOpposesThePhaseErrorByModeAndDirection)
{
    struct Case {
        int mode;
        bool reverse;
        bool playing;
        float error;
        float nudge;
    };
    // Deck B a quarter beat after the leader; reversed, its phase reads as a quarter before.
    const Case cases[] = {
        {1, false, true, 0.25f, -0.5f}, {2, false, true, 0.25f, -0.25f}, {0, false, true, 0.25f, 0.0f},
        {3, false, true, 0.25f, 0.0f},  {1, true, true, -0.25f, -0.5f},  {2, true, true, -0.25f, -0.25f},
        {1, false, false, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << (c.reverse ? " reversed" : ""));
        CDeckPlayer a, b;
        SyncInputs in = BothPlaying(a, b, 5512, c.mode);
        b.SetReverse(c.reverse);
        in.reverse[1] = c.reverse;
        in.playing[1] = c.playing;
        CDeckSync sync;
        SyncOutputs out;
        sync.Step(a, b, in, out);
        EXPECT_NEAR(sync.PhaseError(1), c.error, 1e-3);
        EXPECT_NEAR(b.Nudge(), c.nudge, 1e-3);
        EXPECT_EQ(a.Nudge(), 0.0f);
    }
}

TEST(DeckSync, UnreliableDeckIsNeverTempoSyncedOrNudged)
{
    const float qualities[][2] = {{1.0f, 0.05f}, {1.0f, 0.0f}, {0.05f, 1.0f}, {0.0f, 0.0f}};
    for (const auto& q : qualities) {
        SCOPED_TRACE(testing::Message() << q[0] << " / " << q[1]);
        CDeckPlayer a, b;
        SyncInputs in = BothPlaying(a, b, 5512, 1);
        a.SetBpm(120.0f, q[0]);
        b.SetBpm(100.0f, q[1]);
        in.bpmSync = {true, true};
        CDeckSync sync;
        SyncOutputs out;
        for (int t = 0; t < 10; ++t)
            sync.Step(a, b, in, out);
        EXPECT_EQ(sync.Reliable(0), q[0] > 0.05f);
        EXPECT_EQ(sync.Reliable(1), q[1] > 0.05f);
        for (int d = 0; d < 2; ++d) {
            CDeckPlayer& deck = d == 0 ? a : b;
            EXPECT_FALSE(out.pitchChanged[d]);
            EXPECT_FLOAT_EQ(deck.Tempo(), 1.0f);
            EXPECT_EQ(deck.Nudge(), 0.0f);
            EXPECT_EQ(sync.PhaseError(d), 0.0f);
        }
    }
}

TEST(DeckSync, PhaseSyncBringsTheDecksIntoStep)
{
    struct Case {
        int mode;
        bool reverse;
        uint32_t offset; // frames deck B starts after the leader
    };
    const Case cases[] = {{1, false, 5512}, {2, false, 5512}, {1, false, 13230}, {1, true, 5512}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "mode " << c.mode << ", offset " << c.offset << (c.reverse ? " reversed" : ""));
        CDeckPlayer a, b;
        SyncInputs in = BothPlaying(a, b, c.offset, c.mode);
        b.SetReverse(c.reverse);
        in.reverse[1] = c.reverse;
        a.Play();
        b.Play();
        CDeckSync sync;
        SyncOutputs out;
        float previous = 1.0f;
        for (int t = 0; t < 800; ++t) {
            sync.Step(a, b, in, out);
            const float error = std::fabs(sync.PhaseError(1));
            if (t == 0) {
                EXPECT_GT(error, 0.24f);
            }
            if (t % 100 == 0) {
                EXPECT_LE(error, previous + 1e-3f) << "tick " << t;
                previous = error;
            }
            RenderDeck(a, 1);
            RenderDeck(b, 1);
        }
        EXPECT_LT(std::fabs(sync.PhaseError(1)), 0.005f);
        EXPECT_LT(std::fabs(b.Nudge()), 0.01f);
    }
}

// Analysed tracks carry the frame of their first beat: decks in step musically show no phase
// error although their first beats lie at different times, and a quarter beat off shows as one.
TEST(DeckSync, AnalysedFirstBeatsSetThePhase)
{
    struct Case {
        uint32_t extra; // frames deck B plays after its own grid's beat
        float error;
    };
    for (const Case c : {Case{0, 0.0f}, Case{5512, 0.25f}}) {
        SCOPED_TRACE(testing::Message() << "deck B " << c.extra << " frames after its beat");
        CDeckPlayer a, b;
        LoadTrack(a, 120.0f, 1.0f, 4410 + 8 * kBeat, 10);            // first beat at 100 ms
        LoadTrack(b, 120.0f, 1.0f, 13230 + 8 * kBeat + c.extra, 10); // first beat at 300 ms
        a.SetBeatGrid(120.0f, 100.0);
        b.SetBeatGrid(120.0f, 300.0);
        SyncInputs in;
        in.phaseSyncMode = 1;
        in.playing = {true, true};
        CDeckSync sync;
        SyncOutputs out;
        sync.Step(a, b, in, out);
        EXPECT_NEAR(std::fabs(sync.PhaseError(1)), c.error, 0.01f);
    }
}

TEST(DeckSync, LeavingSyncClearsTheNudgesOnceAndThenLeavesThemAlone)
{
    enum class Cause { DeckAUnreliable, DeckBUnreliable, ReplayStarts };
    for (const Cause cause : {Cause::DeckAUnreliable, Cause::DeckBUnreliable, Cause::ReplayStarts}) {
        SCOPED_TRACE(static_cast<int>(cause));
        CDeckPlayer a, b;
        SyncInputs in = BothPlaying(a, b, 5512, 1);
        CDeckSync sync;
        SyncOutputs out;
        sync.Step(a, b, in, out);
        ASSERT_NEAR(b.Nudge(), -0.5f, 1e-3);
        if (cause == Cause::DeckAUnreliable)
            a.SetBpm(120.0f, 0.0f);
        else if (cause == Cause::DeckBUnreliable)
            b.SetBpm(120.0f, 0.01f);
        else
            in.replayRunning = true;
        sync.Step(a, b, in, out);
        EXPECT_EQ(a.Nudge(), 0.0f);
        EXPECT_EQ(b.Nudge(), 0.0f);
        EXPECT_EQ(sync.PhaseError(1), 0.0f);
        // From here a replay's position lock may drive the nudge.
        b.SetNudge(0.3f);
        sync.Step(a, b, in, out);
        EXPECT_FLOAT_EQ(b.Nudge(), 0.3f);
    }
}

TEST(DeckSync, BeatLoopLengthByValue)
{
    struct Case {
        int value;
        float quality;
        uint32_t frame;
        bool replay;
        double start; // 0: left unset
        double end;
    };
    // A 10 s track at 120 BPM, a loop pressed at 1 s unless stated.
    const Case cases[] = {
        {8, 1.0f, kSecond, false, 1000, 3000},    {1, 1.0f, kSecond, false, 1000, 1250},
        {8, 1.0f, 0, false, 1e-12, 2000},         {254, 1.0f, kSecond, false, 1000, 1200},
        {255, 1.0f, kSecond, false, 1e-12, 9996}, {8, 0.05f, kSecond, false, 1000, 999},
        {0, 1.0f, kSecond, false, 0, 0},          {8, 1.0f, kSecond, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << ", quality " << c.quality << ", frame " << c.frame);
        CDeckPlayer deck;
        LoadSignal(deck, 10 * kSecond, Silence, 44100, 441);
        deck.SetBpm(120.0f, c.quality);
        deck.SeekFrames(c.frame);
        CDeckSync sync;
        BeatLoopOutputs out;
        sync.BeatLoopStep(deck, 0, c.value, {false, c.replay}, out);
        EXPECT_EQ(out.cueLoopSwitchedOn, c.start != 0);
        EXPECT_NEAR(deck.GetMarker(3), c.start, 1e-9);
        EXPECT_NEAR(deck.GetMarker(4), c.end, 1e-6);
    }
}

TEST(DeckSync, ShorterBeatLoopWaitsUntilThePositionIsInsideIt)
{
    CDeckPlayer deck;
    LoadTrack(deck, 120.0f, 1.0f, kSecond, 10);
    CDeckSync sync;
    BeatLoopOutputs out;
    sync.BeatLoopStep(deck, 1, 8, {false, false}, out);
    ASSERT_TRUE(out.cueLoopSwitchedOn);
    const BeatLoopInputs looping{true, false};
    deck.SeekMs(2500.0);
    sync.BeatLoopStep(deck, 1, 2, looping, out); // 1000 .. 1500 lies behind the position
    sync.BeatLoopStep(deck, 1, 2, looping, out);
    EXPECT_TRUE(sync.BeatLoopPending(1));
    EXPECT_DOUBLE_EQ(deck.GetMarker(4), 3000.0);
    deck.SeekMs(1200.0); // the old loop came round
    sync.BeatLoopStep(deck, 1, 2, looping, out);
    EXPECT_FALSE(sync.BeatLoopPending(1));
    EXPECT_DOUBLE_EQ(deck.GetMarker(3), 1000.0);
    EXPECT_DOUBLE_EQ(deck.GetMarker(4), 1500.0);
    deck.SeekMs(6000.0); // outside the loop: a new length applies at once
    sync.BeatLoopStep(deck, 1, 4, looping, out);
    EXPECT_FALSE(out.cueLoopSwitchedOn);
    EXPECT_DOUBLE_EQ(deck.GetMarker(4), 2000.0);
}
