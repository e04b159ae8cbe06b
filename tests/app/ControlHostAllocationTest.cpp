// The whole per-block cycle (control dispatch, sync, beat loop, engine) must not touch the heap.
#include "AllocationCounter.h"
#include "AudioBus.h"
#include "AudioEngine.h"
#include "ControlHost.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

TEST(ControlHostAllocation, TenThousandTicksOfTheFullCycleAllocateNothing)
{
    CControlHost host;
    LoadSignal(host.Engine().Deck(0), 60 * 44100, [](uint32_t f) { return Sine(f, 440.0); });
    LoadSignal(host.Engine().Deck(1), 60 * 44100, [](uint32_t f) { return Sine(f, 660.0); });
    host.Engine().Deck(0).SetBpm(124.0f, 0.8f);
    host.Engine().Deck(1).SetBpm(126.0f, 0.8f);
    CControlTable& c = host.Controls();
    const auto set = [&](int32_t id, int channel, int32_t value) {
        c.SetValue(id, channel, value, true, true);
    };
    set(ControlId::DeckStartStop, 0, 1);
    set(ControlId::DeckStartStop, 1, 1);
    set(ControlId::PhaseSyncDecks, 0, 1);
    set(ControlId::DeckBpmSync, 1, 1);
    set(ControlId::DeckBpActive, 0, 1);
    set(ControlId::DeckCueSetBeatLoop, 0, 8);
    set(ControlId::DeckScratchOn, 1, 1);
    set(ControlId::AutoLevelDecks, 0, 1);

    CAudioBus bus(44100, 8);
    ClientRecord record;
    CAllocationCounter::Start();
    for (int block = 0; block < 10000 / 8; ++block) {
        set(ControlId::DeckScratch, 1, block % 20 < 10 ? 33000 : 32500);
        set(ControlId::XFader, 0, (block * 3) % 256);
        set(ControlId::DeckEqLow, block % 2, block % 256);
        bus.Clear(block * 23);
        host.Render(record, bus, 0, 8);
    }
    EXPECT_EQ(CAllocationCounter::Stop(), 0);
    EXPECT_TRUE(host.Engine().Deck(0).LoopActive()) << "the beat loop ran";
}
