#include "DeckPlayer.h"
#include "AudioBus.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr uint32_t kSecond = 44100;

int PeakOf(const std::vector<int16_t>& samples, size_t from = 0)
{
    int peak = 0;
    for (size_t i = from; i < samples.size(); ++i)
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    return peak;
}

// Alternating full-scale samples: the highest frequency a track can hold, which interpolation
// and averaging damp and the nearest-sample path leaves alone.
int16_t Nyquist(uint32_t frame)
{
    return frame % 2 == 0 ? 16000 : -16000;
}

} // namespace

TEST(DeckPlayer, UnityTempoReproducesFramesOneFrameLate)
{
    CDeckPlayer deck;
    LoadSignal(deck, 5 * kSecond, FrameCode);
    deck.Play();
    const RenderedAudio out = RenderDeck(deck, 200);
    ASSERT_EQ(out.left.size(), 200u * 128);
    EXPECT_EQ(out.left[0], 0);
    for (size_t i = 1; i < out.left.size(); ++i) {
        ASSERT_EQ(out.left[i], FrameCode(static_cast<uint32_t>(i - 1))) << "left, frame " << i;
        ASSERT_EQ(out.right[i], -FrameCode(static_cast<uint32_t>(i - 1))) << "right, frame " << i;
    }
    EXPECT_FLOAT_EQ(deck.Speed(), 1.0f);
}

TEST(DeckPlayer, RenderWithoutTrackWritesNothingAndSucceeds)
{
    CDeckPlayer deck;
    deck.Play();
    CAudioBus bus(44100, 1);
    bus.Clear(0);
    ClientRecord record;
    EXPECT_EQ(deck.Render(record, bus, 0, 1), 1);
    EXPECT_EQ(bus.GroupChannels(0)[0], CAudioBus::kNone);
    EXPECT_EQ(deck.Speed(), 0.0f);
}

// Above speed 1.0 the resampler averages 2 or 4 interpolated points; from 4.0 on it takes the
// nearest sample. A signal at half the sample rate shows which: averaging cancels it, the
// nearest sample keeps it whole (an odd step of 5 lands on alternating signs).
TEST(DeckPlayer, FasterSpeedsAverageTwoOrFourPointsOrTakeTheNearest)
{
    struct Case {
        float speed;
        int minPeak;
        int maxPeak;
    };
    const Case cases[] = {
        {1.0f, 16000, 16000}, // one point, fraction 0: the samples themselves
        {1.5f, 1, 12000},     // two points
        {3.0f, 0, 6000},      // four points
        {5.0f, 16000, 16000}, // nearest sample
    };
    for (const Case& c : cases) {
        CDeckPlayer deck;
        LoadSignal(deck, 20 * kSecond, Nyquist);
        deck.Play();
        deck.SetNudge(c.speed - 1.0f);
        const RenderedAudio out = RenderDeck(deck, 100);
        const int peak = PeakOf(out.left, 1024);
        EXPECT_GE(peak, c.minPeak) << "speed " << c.speed;
        EXPECT_LE(peak, c.maxPeak) << "speed " << c.speed;
        // 100 ticks of 128 frames at this speed, plus the 8 frames read ahead.
        EXPECT_NEAR(out.positions.back(), 100 * 128 * c.speed + 8, 2.0) << "speed " << c.speed;
    }
}

TEST(DeckPlayer, SpeedChainFollowsControls)
{
    struct Case {
        const char* name;
        std::function<void(CDeckPlayer&)> setup;
        std::function<void(CDeckPlayer&, int tick)> perTick;
        int ticks;
        float expectedSpeed;
    };
    const Case cases[] = {
        {"play from rest is full speed in the first tick", [](CDeckPlayer& d) { d.Play(); }, nullptr, 1,
         1.0f},
        {"pitch 4096 while playing reaches 1.35 after 22 ticks",
         [](CDeckPlayer& d) {
             d.Play();
             RenderDeck(d, 1);
             d.SetTempo(CDeckPlayer::TempoFromControl(4096));
         },
         nullptr, 22, 1.35f},
        {"wind 0 with the deck paused runs backwards at 3x tempo",
         [](CDeckPlayer& d) { d.SetWind(CDeckPlayer::WindFromControl(0)); }, nullptr, 200, -3.0f},
        {"reverse at full speed brakes and turns over in 126 ticks",
         [](CDeckPlayer& d) {
             d.Play();
             RenderDeck(d, 1);
             d.SetReverse(true);
         },
         nullptr, 126, -1.0f},
        {"direct scratch gives delta / 2048 x tempo for one tick",
         [](CDeckPlayer& d) {
             d.SetTempo(1.25f);
             d.SetScratchMode(2);
         },
         [](CDeckPlayer& d, int) { d.ScratchInput(1024.0f); }, 1, 0.625f},
    };
    for (const Case& c : cases) {
        CDeckPlayer deck;
        LoadSignal(deck, 30 * kSecond, FrameCode);
        // Start mid-track so that backwards speeds have room.
        deck.SeekFrames(15 * kSecond);
        c.setup(deck);
        for (int t = 0; t < c.ticks; ++t) {
            if (c.perTick)
                c.perTick(deck, t);
            RenderDeck(deck, 1);
        }
        EXPECT_NEAR(deck.Speed(), c.expectedSpeed, 1e-4) << c.name;
    }
}

TEST(DeckPlayer, TempoControlMapsOntoItsRangeAndClamps)
{
    EXPECT_FLOAT_EQ(CDeckPlayer::TempoFromControl(0), 0.65f);
    EXPECT_FLOAT_EQ(CDeckPlayer::TempoFromControl(2048), 1.0f);
    EXPECT_FLOAT_EQ(CDeckPlayer::TempoFromControl(4096), 1.35f);
    EXPECT_FLOAT_EQ(CDeckPlayer::TempoFromControl(-7), 0.65f);
    EXPECT_FLOAT_EQ(CDeckPlayer::TempoFromControl(100000), 1.35f);
    EXPECT_FLOAT_EQ(CDeckPlayer::PitchBendFromControl(128), 0.0f);
    EXPECT_FLOAT_EQ(CDeckPlayer::PitchBendFromControl(0), -1.0f);
    EXPECT_FLOAT_EQ(CDeckPlayer::PitchBendFromControl(999), 255.0f * 2.0f / 256.0f - 1.0f);
    EXPECT_FLOAT_EQ(CDeckPlayer::WindFromControl(0), -3.0f);
    EXPECT_FLOAT_EQ(CDeckPlayer::WindFromControl(-1), -3.0f);
    EXPECT_FLOAT_EQ(CDeckPlayer::WindFromControl(300), 127 * 0.0234375f);

    CDeckPlayer deck;
    deck.SetTempo(3.0f);
    EXPECT_FLOAT_EQ(deck.Tempo(), 2.0f);
    deck.SetTempo(std::nanf(""));
    EXPECT_FLOAT_EQ(deck.Tempo(), 2.0f);
    deck.SetPitchBend(5.0f);
    EXPECT_FLOAT_EQ(deck.PitchBend(), 1.0f);
    deck.SetWind(-9.0f);
    EXPECT_FLOAT_EQ(deck.Wind(), -3.0f);
}

TEST(DeckPlayer, PitchBendIntegratesToFullAfter300TicksAndDropsOnRelease)
{
    CDeckPlayer deck;
    LoadSignal(deck, 60 * kSecond, FrameCode);
    deck.Play();
    deck.SetPitchBend(1.0f);
    for (int t = 1; t <= 400; ++t) {
        RenderDeck(deck, 1);
        const float expected = 1.0f + std::min(t, 300) / 300.0f;
        ASSERT_NEAR(deck.Speed(), expected, 1e-4) << "tick " << t;
    }
    // Released: the integrator is gone at once; the speed returns along the turntable slope
    // and settles on 1.0 instead of keeping any of the bend.
    deck.SetPitchBend(CDeckPlayer::PitchBendFromControl(128));
    RenderDeck(deck, 1);
    EXPECT_LT(deck.Speed(), 2.0f);
    RenderDeck(deck, 63);
    EXPECT_FLOAT_EQ(deck.Speed(), 1.0f);
}

TEST(DeckPlayer, LoopJumpsBackToItsStartNearItsEnd)
{
    CDeckPlayer deck;
    LoadSignal(deck, 10 * kSecond, FrameCode);
    deck.SetMarker(3, 1000.0);
    deck.SetMarker(4, 3000.0);
    deck.SetLoopActive(true);
    deck.SeekFrames(130000);
    deck.Play();
    const RenderedAudio out = RenderDeck(deck, 40);
    size_t jumpTick = 0;
    for (size_t t = 1; t < out.positions.size(); ++t) {
        if (out.positions[t] < out.positions[t - 1]) {
            jumpTick = t;
            break;
        }
    }
    ASSERT_GT(jumpTick, 0u) << "the loop never jumped";
    // The tick starts where the previous one left off; the jump happens at the first tick that
    // starts within 32 frames of the loop end (frame 132300).
    const uint32_t startOfJumpTick = out.positions[jumpTick - 1];
    EXPECT_GT(startOfJumpTick + 32, 132300u);
    EXPECT_LE(startOfJumpTick, 132300u - 32 + 128);
    EXPECT_EQ(out.positions[jumpTick], 44100u + 128);
    // The tick after the jump plays frames onward from the loop start, one after another.
    const size_t first = (jumpTick + 1) * 128;
    for (size_t i = first + 1; i < first + 128; ++i)
        ASSERT_EQ(out.left[i], FrameCode(44100 + 128 - 8 + static_cast<uint32_t>(i - first) - 1)) << i;
}

TEST(DeckPlayer, MarkerFiresOnceAndRearmsAwayFromIt)
{
    CDeckPlayer deck;
    LoadSignal(deck, 10 * kSecond, FrameCode);
    deck.SetMarker(0, 500.0); // frame 22050
    deck.SetMarker(1, 0.0);   // unset: never fires
    deck.Play();
    RenderDeck(deck, 180);
    EXPECT_FALSE(deck.MarkerReached(1));
    ASSERT_TRUE(deck.MarkerReached(0));
    deck.ClearMarkerReached(0);
    // Past the marker it does not fire again, and it re-arms once well clear of it.
    RenderDeck(deck, 50);
    EXPECT_FALSE(deck.MarkerReached(0));
    EXPECT_TRUE(deck.MarkerArmed(0));
    // Coming back across it fires it again.
    deck.SeekFrames(20000);
    RenderDeck(deck, 40);
    EXPECT_TRUE(deck.MarkerReached(0));
    // Fired at the tick whose start lies within 32 frames before to 256 after the marker.
    CDeckPlayer fresh;
    LoadSignal(fresh, 10 * kSecond, FrameCode);
    fresh.SetMarker(0, 500.0);
    fresh.Play();
    uint32_t positionAtStart = 0;
    for (int t = 0; t < 200 && !fresh.MarkerReached(0); ++t) {
        positionAtStart = fresh.PlayPosition();
        RenderDeck(fresh, 1);
    }
    EXPECT_GE(positionAtStart + 32, 22050u);
    EXPECT_LE(positionAtStart, 22050u + 256);
}

TEST(DeckPlayer, EndOfTrackReleasesChannelsAndReturnsZeroUntilSeekedBack)
{
    CDeckPlayer deck;
    LoadSignal(deck, 10 * 1024, [](uint32_t) { return int16_t{12000}; });
    deck.Play();
    const RenderedAudio out = RenderDeck(deck, 90);
    const auto end = std::find(out.results.begin(), out.results.end(), 0);
    ASSERT_NE(end, out.results.end());
    const size_t endTick = static_cast<size_t>(end - out.results.begin());
    // Every frame of the track has been read (10 x 1024) when the end is reported.
    EXPECT_EQ(out.positions[endTick], 10u * 1024);
    EXPECT_TRUE(deck.EndReached());
    for (size_t t = endTick; t < out.results.size(); ++t) {
        EXPECT_EQ(out.results[t], 0);
        EXPECT_EQ(PeakOf(std::vector<int16_t>(out.left.begin() + t * 128, out.left.begin() + (t + 1) * 128)),
                  0);
    }
    deck.SeekFrames(0);
    EXPECT_EQ(RenderDeck(deck, 1).results[0], 1);
}

TEST(DeckPlayer, ReverseAtFrameZeroStaysSilentAndKeepsRendering)
{
    CDeckPlayer deck;
    LoadSignal(deck, 5 * kSecond, [](uint32_t) { return int16_t{12000}; });
    deck.SetReverse(true);
    deck.Play();
    const RenderedAudio out = RenderDeck(deck, 20);
    for (int result : out.results)
        EXPECT_EQ(result, 1);
    EXPECT_EQ(PeakOf(out.left), 0);
    EXPECT_EQ(deck.PlayPosition(), 0u);
    EXPECT_FALSE(deck.EndReached());
}

TEST(DeckPlayer, ReversePlaysTheFramesBackwards)
{
    CDeckPlayer deck;
    LoadSignal(deck, 5 * kSecond, FrameCode);
    deck.SeekFrames(100000);
    deck.SetReverse(true);
    deck.Play();
    const RenderedAudio out = RenderDeck(deck, 10);
    // One frame late, as forwards: output i is frame 100000 - (i - 1).
    for (size_t i = 1; i < out.left.size(); ++i)
        ASSERT_EQ(out.left[i], FrameCode(100000 - static_cast<uint32_t>(i - 1))) << i;
}

TEST(DeckPlayer, HostileTransportValuesStayInsideTheTrack)
{
    CDeckPlayer deck;
    LoadSignal(deck, 3 * kSecond, FrameCode);
    const uint32_t endFrame = deck.TrackFrames();

    deck.SeekFrames(UINT32_MAX);
    EXPECT_EQ(deck.PlayPosition(), endFrame);
    deck.SeekMs(-50.0);
    EXPECT_EQ(deck.PlayPosition(), 0u);
    deck.SeekMs(1e300);
    EXPECT_EQ(deck.PlayPosition(), endFrame);

    // A pending seek beyond the track lands on its end: the next render reports the end.
    deck.SeekSeconds(1e9);
    deck.Play();
    EXPECT_EQ(RenderDeck(deck, 1).results[0], 0);
    EXPECT_EQ(deck.PlayPosition(), endFrame);

    // A marker far past the end never fires and cannot be jumped beyond the track.
    deck.SeekFrames(0);
    deck.SetMarker(2, 1e12);
    RenderDeck(deck, 10);
    EXPECT_FALSE(deck.MarkerReached(2));
    deck.JumpToMarker(2, 0.0);
    EXPECT_EQ(deck.PlayPosition(), endFrame);
    // Only markers 0..4 exist.
    deck.SeekFrames(1000);
    deck.JumpToMarker(5, 0.0);
    deck.JumpToMarker(-1, 0.0);
    EXPECT_EQ(deck.PlayPosition(), 1000u);
}

TEST(DeckPlayer, SpeedIsCappedAtEightEvenForFastSources)
{
    for (uint16_t rate : {uint16_t{44100}, uint16_t{48000}, uint16_t{65535}}) {
        CDeckPlayer deck;
        LoadSignal(deck, 20 * 65535, FrameCode, rate);
        deck.Play();
        deck.SetNudge(1000.0f);
        deck.SetTempo(2.0f);
        deck.SetWind(10.0f);
        const RenderedAudio out = RenderDeck(deck, 20);
        // At most 1024 frames consumed per tick, plus the 8 read ahead once.
        EXPECT_LE(out.positions.back(), 20u * 1024 + 8) << rate;
        EXPECT_GE(out.positions.back(), 20u * 1024 - 16) << rate;
    }
}

TEST(DeckPlayer, ExactPositionInterpolatesBetweenLatchedClocks)
{
    CDeckPlayer deck;
    LoadSignal(deck, 10 * kSecond, FrameCode);
    CManualClock clock;
    deck.SetDriver(&clock);
    deck.Play();
    clock.Set(1000);
    deck.LatchClock();
    RenderDeck(deck, 100); // 12800 frames plus 8 ahead
    deck.RecordClock(100 * 128 * 1000.0 / 44100);
    const double startMs = 0.0;
    const double endMs = 12808 * 1000.0 / 44100;
    clock.Set(1000);
    EXPECT_NEAR(deck.PositionMs(true), startMs, 0.01);
    clock.Set(1000 + 145);
    EXPECT_NEAR(deck.PositionMs(true), endMs * 145 / 290, 0.01);
    clock.Set(5000); // beyond the block: held at its end
    EXPECT_NEAR(deck.PositionMs(true), endMs, 0.01);
    EXPECT_NEAR(deck.PositionMs(false), endMs, 0.01);
}

TEST(DeckPlayer, TimeGettersFollowBlocksAndPendingSeek)
{
    CDeckPlayer deck;
    EXPECT_EQ(deck.LengthSeconds(), 0.0);
    LoadSignal(deck, 10 * 44032, FrameCode, 44100, 1024); // 430 blocks
    EXPECT_NEAR(deck.LengthSeconds(), 430 * 1024 / 44100.0, 1e-4);
    deck.SeekFrames(44100);
    EXPECT_NEAR(deck.CoarseSeconds(), 43 * 1024 / 44100.0, 1e-4);
    deck.SeekSeconds(7.5);
    EXPECT_NEAR(deck.CoarseSeconds(), 7.5, 1e-9);
    EXPECT_NEAR(deck.RemainingSeconds(), 430 * 1024 / 44100.0 - 7.5, 1e-4);
    deck.Play();
    RenderDeck(deck, 1);
    EXPECT_NEAR(deck.PositionMs(false), 7500.0 + 136 * 1000.0 / 44100, 0.1);
    EXPECT_EQ(deck.MsToFrames(1000.0), 44100u);
    EXPECT_NEAR(deck.FramesToMs(22050), 500.0, 1e-9);
}

TEST(DeckPlayer, PlatterScratchMovesWithTheHandAndComesToRest)
{
    CDeckPlayer deck;
    LoadSignal(deck, 30 * kSecond, FrameCode);
    deck.SeekFrames(10 * kSecond);
    deck.SetScratchMode(1);
    float fastest = 0.0f;
    for (int t = 0; t < 40; ++t) {
        deck.ScratchInput(t < 20 ? 2000.0f : 0.0f);
        RenderDeck(deck, 1);
        fastest = std::max(fastest, deck.Speed());
    }
    EXPECT_GT(fastest, 0.5f);
    RenderDeck(deck, 2000);
    EXPECT_NEAR(deck.Speed(), 0.0f, 1e-3);
    // Leaving platter mode hands back to the transport: paused, so the deck slows to rest.
    deck.SetScratchMode(0);
    RenderDeck(deck, 100);
    EXPECT_EQ(deck.Speed(), 0.0f);
}
