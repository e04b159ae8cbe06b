// Rendering must not touch the heap: this executable replaces the global operator new and
// counts every allocation the rendering thread makes while it renders.
#include "AudioBus.h"
#include "AudioEngine.h"
#include "EngineTestSupport.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
thread_local bool t_counting = false;
std::atomic<long> g_allocations{0};

void* CountedAllocate(std::size_t size)
{
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size)
{
    return CountedAllocate(size);
}
void* operator new[](std::size_t size)
{
    return CountedAllocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
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
    t_counting = true;
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
    t_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
    // The decks really were busy: A looped, B scratched.
    EXPECT_TRUE(deckA.MarkerReached(0));
    EXPECT_LT(deckA.PlayPosition(), 44100u * 2);
    EXPECT_NE(deckB.Speed(), 0.0f);
}
