#include "AudioBus.h"
#include "DeckPlayer.h"
#include "DecodeWorker.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// An offline render's refill in two halves: the blocks planned before each rendered block are
// decoded before it (one thread) or while it renders (a second thread). Both must give the same
// frames, whatever the deck does and whether a block fails to decode.

namespace {

constexpr int kBlockTicks = 4;
constexpr uint32_t kBlockMs = 12; // 4 ticks of 128 frames, rounded up
constexpr uint32_t kTrackFrames = 44100 * 40;

enum class Decoding { Refill, Before, SecondThread };

struct Script {
    int failAtBlock = -1;        // a block the source refuses once
    bool onlyWhenWanted = false; // steps only where the deck wants a refill, not every block
};

// Plays a 40 s frame-coded track through seeks, reverse play, a fast wind and a tempo change,
// refilled before every block of kBlockTicks ticks as decoding says.
RenderedAudio Play(Decoding decoding, const Script& script, int ticks = 3000)
{
    CDeckPlayer deck;
    auto source = std::make_unique<CSignalSource>(kTrackFrames, FrameCode, 44100, 1152);
    source->FailOnceAt(script.failAtBlock);
    deck.LoadSource(std::move(source), "signal");
    std::unique_ptr<CDecodeWorker> worker;
    if (decoding == Decoding::SecondThread)
        worker = std::make_unique<CDecodeWorker>([&deck](uint32_t) { deck.DecodeAhead(); });
    deck.Play();

    RenderedAudio out;
    CAudioBus bus(44100, 1);
    ClientRecord record;
    uint32_t elapsedMs = 0;
    for (int t = 0; t < ticks; ++t) {
        if (t % kBlockTicks == 0) {
            elapsedMs += kBlockMs;
            if (decoding == Decoding::Refill) {
                deck.Refill(kBlockMs);
            } else if (!script.onlyWhenWanted || deck.WantsRefillAhead()) {
                ++out.steps;
                if (worker != nullptr)
                    worker->Wait();
                deck.EndRefillAhead();
                if (deck.BeginRefillAhead(std::min<uint32_t>(elapsedMs, 250))) {
                    if (worker != nullptr)
                        worker->Post(1);
                    else
                        deck.DecodeAhead();
                }
                elapsedMs = 0;
            }
        }
        // Inside blocks, as controls arrive at any tick.
        if (t == 401)
            deck.SeekFrames(44100 * 25);
        if (t == 902)
            deck.SetReverse(true);
        if (t == 1303)
            deck.SeekFrames(44100 * 10);
        if (t == 1700)
            deck.SetWind(2.9f);
        if (t == 2001) {
            deck.SetWind(0.0f);
            deck.SetReverse(false);
            deck.SetTempo(2.0f);
        }
        if (t == 2502)
            deck.SeekFrames(44100 * 2);
        bus.Clear(0);
        out.results.push_back(deck.Render(record, bus, 0, 1));
        AppendGroupTick(bus, 0, 0, out.left, out.right);
        out.positions.push_back(deck.PlayPosition());
    }
    if (worker != nullptr)
        worker->Wait();
    deck.EndRefillAhead();
    return out;
}

size_t SilentFrames(const RenderedAudio& audio)
{
    size_t silent = 0;
    for (const int16_t s : audio.left)
        silent += s == 0 ? 1 : 0;
    return silent;
}

} // namespace

TEST(DecodeAhead, ASecondThreadRendersTheSameFramesAsDecodingBeforeEachBlock)
{
    const RenderedAudio before = Play(Decoding::Before, {});
    ASSERT_EQ(before.left.size(), 3000u * 128);
    // Frame codes, not silence: the planned blocks were waited for where a seek reached them.
    EXPECT_LT(SilentFrames(before), before.left.size() / 100);
    for (int run = 0; run < 5; ++run) {
        const RenderedAudio threaded = Play(Decoding::SecondThread, {});
        ASSERT_EQ(threaded.left, before.left) << "run " << run;
        ASSERT_EQ(threaded.positions, before.positions) << "run " << run;
    }
    // Steps taken only where the deck wants a refill: far fewer, and the same frames on either
    // thread. Until the seek in reverse play they are the frames above; after it, a plan that
    // may decode more restarts the window further past the play position, so less is silent.
    const RenderedAudio wanted = Play(Decoding::Before, {-1, true});
    EXPECT_LT(wanted.steps * 3, before.steps) << wanted.steps << " of " << before.steps;
    EXPECT_TRUE(std::equal(wanted.left.begin(), wanted.left.begin() + 1303 * 128, before.left.begin()));
    EXPECT_LT(SilentFrames(wanted), SilentFrames(before));
    for (int run = 0; run < 3; ++run) {
        const RenderedAudio threaded = Play(Decoding::SecondThread, {-1, true});
        ASSERT_EQ(threaded.left, wanted.left) << "run " << run;
        ASSERT_EQ(threaded.steps, wanted.steps) << "run " << run;
    }
    // Where the plain refill keeps up, it plays the same frames.
    const RenderedAudio refill = Play(Decoding::Refill, {}, 400);
    const RenderedAudio first = Play(Decoding::Before, {}, 400);
    EXPECT_EQ(refill.left, first.left);
}

TEST(DecodeAhead, ABlockThatFailsReadsAsSilenceForOneStepOnEitherThread)
{
    // The block the first seek lands in: the first block read after it waits on it, and it fails.
    const Script script{44100 * 25 / 1152};
    const RenderedAudio before = Play(Decoding::Before, script);
    const RenderedAudio clean = Play(Decoding::Before, {});
    EXPECT_NE(before.left, clean.left) << "the failure was not reached";
    // The track plays on after it: the ends are the same as without the failure.
    const size_t tail = 300 * 128;
    EXPECT_TRUE(std::equal(before.left.end() - tail, before.left.end(), clean.left.end() - tail));
    for (int run = 0; run < 5; ++run) {
        const RenderedAudio threaded = Play(Decoding::SecondThread, script);
        ASSERT_EQ(threaded.left, before.left) << "run " << run;
    }
    // Stepping only where wanted: the read that meets the failure asks for the next step.
    const Script wanted{script.failAtBlock, true};
    const RenderedAudio lazy = Play(Decoding::Before, wanted);
    EXPECT_NE(lazy.left, Play(Decoding::Before, {-1, true}).left) << "the failure was not reached";
    EXPECT_TRUE(std::equal(lazy.left.begin(), lazy.left.begin() + 1303 * 128, before.left.begin()));
    for (int run = 0; run < 3; ++run)
        ASSERT_EQ(Play(Decoding::SecondThread, wanted).left, lazy.left) << "run " << run;
}
