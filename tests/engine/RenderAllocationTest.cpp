// Rendering must not touch the heap: every allocation the rendering thread makes while it
// renders is counted.
#include "AllocationCounter.h"
#include "AudioBus.h"
#include "AudioEngine.h"
#include "AudioThread.h"
#include "EngineTestSupport.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <memory>

TEST(RenderAllocation, CounterSeesAnAllocation)
{
    // Guards the other test: a counter that missed allocations would pass it for nothing.
    CAllocationCounter::Start();
    auto block = std::make_unique<int[]>(100);
    EXPECT_EQ(CAllocationCounter::Stop(), 1);
    EXPECT_NE(block.get(), nullptr);
}

TEST(RenderAllocation, TenThousandTicksOfTwoBusyDecksAllocateNothing)
{
    CTempDir dir;
    std::vector<int16_t> left(30 * 44100), right(30 * 44100);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = Sine(static_cast<uint32_t>(i), 440.0);
        right[i] = static_cast<int16_t>(-left[i]);
    }
    ASSERT_TRUE(WriteStereoWav16(dir.Path("a.wav"), left, right));
    ASSERT_TRUE(WriteStereoWav16(dir.Path("b.wav"), right, left));

    CAudioEngine engine;
    CManualClock clock;
    engine.SetPlayClock(&clock);
    engine.LoadTrack(0, dir.Path("a.wav").c_str(), 0, 120.0f, 0.8f, false);
    engine.LoadTrack(1, dir.Path("b.wav").c_str(), 1, 126.0f, 0.8f, false);
    ASSERT_TRUE(
        WaitFor([&] { return engine.LoadsCompleted() == 2 && !engine.Loading(0) && !engine.Loading(1); }));
    ASSERT_TRUE(WaitFor([&] {
        return engine.Deck(0).Store().WindowEnd() > 100 && engine.Deck(1).Store().WindowEnd() > 100;
    }));

    CDeckPlayer& deckA = engine.Deck(0);
    CDeckPlayer& deckB = engine.Deck(1);
    deckA.SetMarker(3, 1000.0);
    deckA.SetMarker(4, 1500.0);
    deckA.SetMarker(0, 1200.0);
    deckA.SetLoopActive(true);
    deckA.SetTempo(1.37f);
    deckA.Play();
    deckB.SetScratchMode(1);
    deckB.Play();

    CAudioBus bus(44100, 8);
    ClientRecord record;
    uint8_t flags = 0;
    engine.Start(flags);
    CAllocationCounter::Start();
    for (int block = 0; block < 10000 / 8; ++block) {
        bus.Clear(block * 23);
        deckA.LatchClock();
        deckB.LatchClock();
        for (uint16_t t = 0; t < 8; ++t) {
            deckB.ScratchInput(block % 40 < 20 ? 900.0f : -900.0f);
            if (block % 100 == 50 && t == 0)
                deckA.SetReverse(!deckA.Reverse());
            engine.Render(record, bus, t, 1);
        }
        deckA.RecordClock(8 * 128 * 1000.0 / 44100);
        deckB.RecordClock(8 * 128 * 1000.0 / 44100);
        clock.Set(static_cast<uint32_t>(block * 23));
    }
    EXPECT_EQ(CAllocationCounter::Stop(), 0);
    // The decks really were busy: A looped, B scratched.
    EXPECT_TRUE(deckA.MarkerReached(0));
    EXPECT_LT(deckA.PlayPosition(), 44100u * 2);
    EXPECT_NE(deckB.Speed(), 0.0f);
}

TEST(RenderAllocation, LoadsAndUnloadsAskedOnTheAudioThreadAllocateNothing)
{
    // Automix and the Mix-File replay ask for tracks from the rendering thread; the request
    // must travel to the loader without a heap allocation, and the loader must still load it.
    CTempDir dir;
    std::vector<int16_t> tone(2 * 44100);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = Sine(static_cast<uint32_t>(i), 440.0);
    ASSERT_TRUE(WriteStereoWav16(dir.Path("a.wav"), tone, tone));
    const std::string path = dir.Path("a.wav");

    CAudioEngine engine;
    CAudioBus bus(44100, 8);
    ClientRecord record;
    uint8_t flags = 0;
    engine.Start(flags); // the threads start here, off the audio thread
    MarkAudioThread(true);
    CAllocationCounter::Start();
    const int queued = engine.LoadTrack(1, path.c_str(), 7, 0.0f, 0.0f, false);
    for (uint16_t t = 0; t < 8; ++t)
        engine.Render(record, bus, t, 1);
    const long allocations = CAllocationCounter::Stop();
    MarkAudioThread(false);
    EXPECT_EQ(queued, 1);
    EXPECT_EQ(allocations, 0);
    ASSERT_TRUE(WaitFor([&] { return engine.Deck(1).Loaded() && !engine.Loading(1); }));
    EXPECT_EQ(engine.LoadedEntry(1), 7);

    MarkAudioThread(true);
    CAllocationCounter::Start();
    engine.UnloadTrack(1);
    const long unloadAllocations = CAllocationCounter::Stop();
    MarkAudioThread(false);
    EXPECT_EQ(unloadAllocations, 0);
    EXPECT_EQ(engine.LoadedEntry(1), -1);
    EXPECT_TRUE(WaitFor([&] { return !engine.Deck(1).Loaded(); }));
}
