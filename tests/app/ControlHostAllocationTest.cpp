// The whole per-block cycle (control dispatch, sync, beat loop, engine) must not touch the heap.
#include "AllocationCounter.h"
#include "AudioBus.h"
#include "AudioEngine.h"
#include "ControlHost.h"
#include "CoreTestSupport.h"
#include "EngineTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <functional>

TEST(ControlHostAllocation, TenThousandTicksOfTheFullCycleAllocateNothing)
{
    CControlHost host;
    LoadSignal(host.Engine().Deck(0), 60 * 44100, [](uint32_t f) { return Sine(f, 440.0); });
    LoadSignal(host.Engine().Deck(1), 60 * 44100, [](uint32_t f) { return Sine(f, 660.0); });
    host.Engine().Deck(0).SetBpm(124.0f, 0.8f);
    host.Engine().Deck(1).SetBpm(126.0f, 0.8f);
    CControlTable& c = host.Controls();
    const auto set = [&](int32_t id, int channel, int32_t value) {
        c.SetValue(id, channel, value, Marks::ChangedAndApply);
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

namespace {

// Renders ticks one at a time with the loads served between them, as the offline renderer does;
// only the rendering is counted.
long AllocationsOverTicks(CPlayerCore& core, uint32_t ticks,
                          const std::function<void(uint32_t)>& beforeTick = {})
{
    CAudioBus bus(44100, 1);
    ClientRecord record;
    long allocations = 0;
    for (uint32_t t = 0; t < ticks; ++t) {
        // The user-interface thread's share: reports applied, changes published.
        core.PollEvents();
        core.Engine().ServeRequestsNow(100);
        if (beforeTick)
            beforeTick(t);
        bus.Clear(static_cast<int32_t>(t * 3));
        CAllocationCounter::Start();
        core.Render(record, bus, 0, 1);
        allocations += CAllocationCounter::Stop();
    }
    return allocations;
}

} // namespace

TEST(ControlHostAllocation, AutomixChangeOversAndAMixReplayAllocateNothing)
{
    CTempDir dir;
    CPlayerCore automix;
    automix.Engine().SetSynchronousLoading(true);
    for (int i = 0; i < 3; ++i)
        automix.List().AddTrack(
            WriteToneTrack(dir.Path("t" + std::to_string(i) + ".wav"), 300.0 + 200 * i, 2.0), true);
    automix.Automix().SetFadeTime(0.5f);
    automix.SetPlaybackMode(CPlayerCore::kAutomix);
    automix.SetRunStop(true);
    // Loads from the Automix step, three change-overs, play times learned, the end of the list;
    // meanwhile the lists are edited and published every tenth tick, so snapshots are taken and
    // old ones reclaimed while the audio thread reads.
    EXPECT_EQ(AllocationsOverTicks(automix, static_cast<uint32_t>(6.5 * 44100 / 128),
                                   [&](uint32_t t) {
                                       if (t % 10 == 0) {
                                           automix.List().Entry(2).cuePoints[4] = t;
                                           automix.Publish();
                                       }
                                   }),
              0);
    EXPECT_EQ(automix.Controls().GetValue(ControlId::RunStop, 0), 0);
    EXPECT_EQ(automix.List().Entry(0).playTime, 2);

    // A recorded performance, then its replay: ReadTick, track loads and the position lock.
    CPlayerCore recording;
    recording.Engine().SetSynchronousLoading(true);
    for (int i = 0; i < 2; ++i)
        recording.List().AddTrack(dir.Path("t" + std::to_string(i) + ".wav"), true);
    recording.StartRecording();
    AllocationsOverTicks(recording, 600, [&](uint32_t t) {
        if (t == 0 || t == 300)
            recording.LoadTrackToDeck(t == 0 ? 0 : 1, recording.List().Entry(t == 0 ? 0 : 1).location.c_str(),
                                      recording.List().Entry(t == 0 ? 0 : 1).id);
        if (t == 2 || t == 302)
            recording.Controls().SetValue(ControlId::DeckStartStop, t == 2 ? 0 : 1, 1,
                                          Marks::ChangedAndApply);
        recording.Controls().SetValue(ControlId::XFader, 0, static_cast<int32_t>(t % 256),
                                      Marks::ChangedAndApply);
    });
    recording.FinishRecording();
    ASSERT_TRUE(recording.SaveDocument(dir.Path("mix.qzx")));
    CPlayerCore replay;
    replay.Engine().SetSynchronousLoading(true);
    ASSERT_TRUE(replay.OpenDocument(dir.Path("mix.qzx")));
    replay.SetRunStop(true);
    EXPECT_EQ(AllocationsOverTicks(replay, 610), 0);
    EXPECT_EQ(replay.Engine().LoadedEntry(1), replay.List().Entry(1).id);
}
