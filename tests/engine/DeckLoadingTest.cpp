// Loading a track into a deck and keeping its sample store filled around the play position.
#include "AudioBus.h"
#include "AudioEngine.h"
#include "DeckPlayer.h"
#include "EngineTestSupport.h"
#include "MpegTestStreams.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr uint32_t kSecond = 44100;

// A frame counter below half scale: it survives the engine's float round trip exactly, so the
// main mix can be compared bit for bit with the file.
int16_t SmallCode(uint32_t frame)
{
    return static_cast<int16_t>(frame % 16000);
}

int16_t Tone(uint32_t frame)
{
    return Sine(frame, 330.0, 8000.0);
}

std::string WriteTrack(const CTempDir& dir, const char* name, uint32_t frames, int16_t (*signal)(uint32_t))
{
    std::vector<int16_t> left(frames), right(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        left[i] = signal(i);
        right[i] = static_cast<int16_t>(-left[i]);
    }
    const std::string path = dir.Path(name);
    EXPECT_TRUE(WriteStereoWav16(path, left, right));
    return path;
}

// Renders deck A of the engine block by block (8 ticks) until it reports the end of its track
// or maxBlocks pass, straight from the deck (the mixer's DC blocker and gains would change the
// samples). Before each block it waits, with a deadline, until the engine's refill thread has
// decoded the frames the block will read, the way a real-time device gives it time.
struct PlayedTrack {
    std::vector<int16_t> left;
    bool finished = false;
};

PlayedTrack PlayThrough(CAudioEngine& engine, int maxBlocks)
{
    PlayedTrack out;
    std::vector<int16_t> right;
    CAudioBus bus(44100, 1);
    ClientRecord record;
    CDeckPlayer& deck = engine.Deck(0);
    const CSampleStore& store = deck.Store();
    for (int block = 0; block < maxBlocks && !deck.EndReached(); ++block) {
        const bool ready = WaitFor([&] {
            const int64_t position = store.PlayPosition();
            const int64_t need = 8 * 128 * 3 + 64; // one block at up to speed 3
            const int64_t first = int64_t{store.WindowStart()} * store.FramesPerBlock();
            const int64_t last = int64_t{store.WindowEnd()} * store.FramesPerBlock();
            if (store.Backwards())
                return position - need <= 0 ? first == 0 && last > position
                                            : first <= position - need && position < last;
            return position + need >= int64_t{store.EndFrame()}
                       ? last == store.BlockCount() * int64_t{store.FramesPerBlock()}
                       : position >= first && position + need <= last;
        });
        EXPECT_TRUE(ready) << "refill fell behind at block " << block;
        for (uint16_t t = 0; t < 8; ++t) {
            bus.Clear(0);
            deck.Render(record, bus, 0, 1);
            AppendGroupTick(bus, 0, 0, out.left, right);
        }
    }
    out.finished = deck.EndReached();
    return out;
}

// Index of the first tick (128 frames) of samples[from, to) whose peak is below floor.
long FirstQuietTick(const std::vector<int16_t>& samples, size_t from, size_t to, int floor)
{
    for (size_t t = from / 128; (t + 1) * 128 <= to; ++t) {
        int peak = 0;
        for (size_t i = t * 128; i < (t + 1) * 128; ++i)
            peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        if (peak < floor)
            return static_cast<long>(t);
    }
    return -1;
}

} // namespace

TEST(DeckLoading, SixtySecondTrackPlaysEndToEndBitExactAcrossWindowSlides)
{
    CTempDir dir;
    const uint32_t frames = 60 * kSecond;
    const std::string path = WriteTrack(dir, "long.wav", frames, SmallCode);
    CAudioEngine engine;
    engine.LoadTrack(0, path.c_str(), 0, 0, 0, false);
    ASSERT_TRUE(WaitFor([&] { return engine.LoadsCompleted() == 1; }));
    ASSERT_TRUE(engine.Deck(0).Loaded());
    engine.Deck(0).Play();
    const PlayedTrack out = PlayThrough(engine, 4000);
    ASSERT_TRUE(out.finished);
    // The ring holds about 23.8 s: the window slid at least twice on the way.
    ASSERT_GT(out.left.size(), frames - 2048);
    EXPECT_EQ(out.left[0], 0);
    for (size_t i = 1; i + 1024 < frames && i < out.left.size(); ++i)
        ASSERT_EQ(out.left[i], SmallCode(static_cast<uint32_t>(i - 1))) << "frame " << i;
}

TEST(DeckLoading, FasterAndReversePlayNeverFallSilentWhereTheTrackIsNot)
{
    CTempDir dir;
    const uint32_t frames = 30 * kSecond;
    const std::string path = WriteTrack(dir, "tone.wav", frames, Tone);
    for (const bool reverse : {false, true}) {
        CAudioEngine engine;
        engine.LoadTrack(0, path.c_str(), 0, 0, 0, false);
        ASSERT_TRUE(WaitFor([&] { return engine.LoadsCompleted() == 1; }));
        CDeckPlayer& deck = engine.Deck(0);
        deck.SetTempo(reverse ? 1.0f : 1.37f);
        if (reverse) {
            deck.SeekFrames(frames - 1);
            deck.SetReverse(true);
        }
        deck.Play();
        // Reverse never reaches an end; play it back to the start.
        const int blocks = reverse ? static_cast<int>(frames / 1024) + 20 : 4000;
        const PlayedTrack out = PlayThrough(engine, blocks);
        if (!reverse)
            EXPECT_TRUE(out.finished);
        else
            EXPECT_EQ(deck.PlayPosition(), 0u);
        // Skip the first tick (interpolation starts from silence) and stop short of the end.
        const size_t audible =
            std::min(out.left.size(), static_cast<size_t>(frames / (reverse ? 1.0 : 1.37)) - 2048);
        EXPECT_EQ(FirstQuietTick(out.left, 128, audible, 1000), -1) << (reverse ? "reverse" : "1.37");
    }
}

TEST(DeckLoading, FarSeekIsSilentUntilTheRefillCatchesUp)
{
    CDeckPlayer deck;
    LoadSignal(deck, 50 * kSecond, FrameCode);
    ASSERT_EQ(deck.Store().WindowStart(), 0);
    deck.Play();
    deck.SeekFrames(40 * kSecond);
    const RenderedAudio before = RenderDeck(deck, 4);
    // The work buffer still holds a few frames from before the seek; after them, silence.
    for (size_t i = 16; i < before.left.size(); ++i)
        ASSERT_EQ(before.left[i], 0) << i;
    // One refill step restarts the window a little before the position and decodes onward.
    deck.Refill(100);
    const int32_t start = deck.Store().WindowStart();
    EXPECT_EQ(start, static_cast<int32_t>(deck.Store().CurrentBlock()) - 34 / 4);
    const RenderedAudio after = RenderDeck(deck, 4);
    const uint32_t firstFrame = 40 * kSecond + 4 * 128 + 8 - 8;
    for (size_t i = 9; i < after.left.size(); ++i)
        ASSERT_EQ(after.left[i], FrameCode(firstFrame + static_cast<uint32_t>(i) - 1)) << i;
}

TEST(DeckLoading, FailedBlockCancelsThePlanAndIsRetriedNextStep)
{
    CDeckPlayer deck;
    auto source = std::make_unique<CSignalSource>(30 * kSecond, FrameCode);
    source->FailOnceAt(5);
    CSignalSource* probe = source.get();
    ASSERT_EQ(deck.LoadSource(std::move(source), "signal"), 1);
    deck.Refill(100);
    EXPECT_EQ(deck.Store().WindowEnd(), 0) << "a failed step must not move the window";
    EXPECT_EQ(probe->BlocksRead(), 5);
    deck.Refill(100);
    EXPECT_EQ(deck.Store().WindowStart(), 0);
    EXPECT_EQ(deck.Store().WindowEnd(), 34); // 100 ms x 8 / 23.2 ms per block
    deck.Play();
    const RenderedAudio out = RenderDeck(deck, 60);
    for (size_t i = 1; i < out.left.size(); ++i)
        ASSERT_EQ(out.left[i], FrameCode(static_cast<uint32_t>(i - 1))) << i;
}

TEST(DeckLoading, ShortTrackIsDecodedWholeAndStaysWhole)
{
    CDeckPlayer deck;
    LoadSignal(deck, 10 * kSecond, FrameCode);
    const int32_t blocks = static_cast<int32_t>(deck.Store().BlockCount());
    // Decoding runs a fifth of the ring ahead of the position; playing on decodes the rest.
    EXPECT_EQ(deck.Store().WindowEnd(), 204);
    deck.Play();
    for (int step = 0; step < 80; ++step) {
        RenderDeck(deck, 30);
        deck.Refill(100);
    }
    EXPECT_EQ(deck.Store().WindowStart(), 0);
    EXPECT_EQ(deck.Store().WindowEnd(), blocks);
    // Back to the start: everything is still there, nothing is decoded again.
    deck.SeekFrames(kSecond);
    deck.Refill(100);
    EXPECT_EQ(deck.Store().WindowStart(), 0);
    EXPECT_EQ(deck.Store().WindowEnd(), blocks);
    const RenderedAudio out = RenderDeck(deck, 4);
    EXPECT_EQ(out.left[200], FrameCode(kSecond + 200 - 9));
}

TEST(DeckLoading, ReversePlayNearTheStartGrowsTheWindowBackToBlockZero)
{
    CDeckPlayer deck;
    ASSERT_EQ(deck.LoadSource(std::make_unique<CSignalSource>(200 * kSecond, FrameCode), "signal"), 1);
    deck.SeekFrames(3 * kSecond); // block 129, closer to the start than the look-ahead
    deck.SetReverse(true);
    deck.Play();
    RenderDeck(deck, 2); // sets the store's direction
    for (int i = 0; i < 20; ++i)
        deck.Refill(100);
    EXPECT_EQ(deck.Store().WindowStart(), 0);
    EXPECT_GE(deck.Store().WindowEnd(), static_cast<int32_t>(deck.Store().CurrentBlock()));
    // Far from the start it keeps a fifth of the ring behind the position, no more.
    deck.SeekFrames(100 * kSecond);
    RenderDeck(deck, 2);
    for (int i = 0; i < 20; ++i)
        deck.Refill(100);
    EXPECT_EQ(deck.Store().WindowStart(), static_cast<int32_t>(deck.Store().CurrentBlock()) - 204);
}

TEST(DeckLoading, OverviewFollowsTheSmoothedSignalInsideTheWindowOnly)
{
    struct Case {
        double hz;
        int minHigh;
        int maxHigh;
    };
    // A one-pole low-pass at 600 Hz: 100 Hz passes nearly whole (24000 / 256 = 93), 8 kHz is
    // cut to about a thirteenth.
    for (const Case& c : {Case{100.0, 85, 94}, Case{8000.0, 2, 12}}) {
        CDeckPlayer deck;
        auto source = std::make_unique<CSignalSource>(200 * kSecond,
                                                      [&](uint32_t f) { return Sine(f, c.hz, 24000.0); });
        source->SameSignOnBothChannels();
        deck.LoadSource(std::move(source), "sine");
        RefillFully(deck);
        const int32_t windowEnd = deck.Store().WindowEnd();
        ASSERT_GT(windowEnd, 0);
        std::vector<CSampleStore::OverviewPair> pairs(64);
        const double spanMs = deck.ReadOverview(1000.0, pairs.data(), 64, 1.0f);
        EXPECT_NEAR(spanMs, 64 * 1024000.0 / 44100, 1e-6);
        for (const auto& pair : pairs) {
            EXPECT_GE(pair.high, c.minHigh) << c.hz;
            EXPECT_LE(pair.high, c.maxHigh) << c.hz;
            EXPECT_LE(pair.low, -c.minHigh) << c.hz;
        }
        // Past the decoded window: nothing.
        const double beyondMs = (windowEnd * 1024.0 + 5000) * 1000.0 / 44100;
        deck.ReadOverview(beyondMs, pairs.data(), 64, 2.0f);
        for (const auto& pair : pairs) {
            EXPECT_EQ(pair.high, 0);
            EXPECT_EQ(pair.low, 0);
        }
    }
}

TEST(DeckLoading, UnplayableFilesLeaveTheDeckEmpty)
{
    CTempDir dir;
    std::vector<uint8_t> noise(5000);
    srand(7);
    for (auto& byte : noise)
        byte = static_cast<uint8_t>(rand());
    ASSERT_TRUE(WriteFile(dir.Path("noise.wav"), noise));
    ASSERT_TRUE(WriteFile(dir.Path("empty.wav"), {}));
    WavLayout lying;
    lying.dataBytes = 0xFFFFFFF0u;
    ASSERT_TRUE(WriteFile(dir.Path("lying.wav"), BuildWav(WavFormat{}, std::vector<int16_t>(64, 5), lying)));

    CDeckPlayer deck;
    LoadSignal(deck, kSecond, FrameCode);
    for (const char* name : {"noise.wav", "empty.wav", "missing.wav", ""}) {
        const std::string path = *name ? dir.Path(name) : dir.Root();
        EXPECT_EQ(deck.Load(path.c_str()), 0) << name;
        EXPECT_FALSE(deck.Loaded()) << name;
        EXPECT_EQ(deck.LengthSeconds(), 0.0) << name;
        deck.Refill(100);
        deck.Play();
        const RenderedAudio out = RenderDeck(deck, 2);
        EXPECT_EQ(out.results[0], 1);
        EXPECT_EQ(*std::max_element(out.left.begin(), out.left.end()), 0);
    }
    // A file whose data size lies plays what is there.
    EXPECT_EQ(deck.Load(dir.Path("lying.wav").c_str()), 1);
    EXPECT_EQ(deck.Store().BlockCount(), 1u);
}

TEST(DeckLoading, MpegTrackIsDecodedToItsLastFrame)
{
    // The last frame of an MPEG stream is a block like any other: a refill that treated it as
    // not delivered would throw the whole last step away and never store the end of the track.
    CTempDir dir;
    Layer1Options options;
    options.frames = 300;
    ASSERT_TRUE(WriteFile(dir.Path("tones.mp3"), EncodeLayer1(options)));
    CDeckPlayer deck;
    ASSERT_EQ(deck.Load(dir.Path("tones.mp3").c_str()), 1);
    ASSERT_EQ(deck.Store().BlockCount(), 300u);
    deck.Play();
    for (int step = 0; step < 400 && !deck.EndReached(); ++step) {
        deck.Refill(100);
        RenderDeck(deck, 8);
    }
    EXPECT_EQ(deck.Store().WindowEnd(), 300);
}
