// The output manager's render cycle must not touch the heap: every allocation the rendering
// thread makes inside RenderNext is counted, with the engine as the client, the offline driver
// as the master and the WAV recorder attached.
#include "AllocationCounter.h"
#include "AudioEngine.h"
#include "EngineTestSupport.h"
#include "OfflineOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "OutputTestSupport.h"
#include "TempDir.h"
#include "WavRecorderOutput.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kBlocks = 400;

// Renders kBlocks blocks of blockFrames offline and returns the allocations the rendering
// thread made inside RenderNext. The hook before each block (which may allocate: it refills
// the decks) is left out of the count.
long AllocationsWhileRendering(CAudioClient& client, uint32_t blockFrames, const std::string& wavPath,
                               const std::function<void()>& beforeBlock)
{
    COutputManager manager;
    COutputDeviceInfo masterRecord;
    masterRecord.blockFrames = blockFrames;
    masterRecord.mainGroupMask = 1;
    long allocations = 0;
    uint32_t hooks = 0;
    COfflineOutput* offline = nullptr;
    auto driver = std::make_unique<COfflineOutput>([&] {
        allocations += CAllocationCounter::Stop();
        beforeBlock();
        // Stopped from the hook, the loop renders no further block.
        if (++hooks > kBlocks)
            offline->Stop();
        CAllocationCounter::Start();
    });
    offline = driver.get();
    EXPECT_NE(manager.OpenMaster(masterRecord, std::move(driver)), nullptr);
    COutputDeviceInfo recorderRecord;
    recorderRecord.device = 768;
    recorderRecord.mainGroupMask = 1;
    auto* recorder = static_cast<CWavRecorderOutput*>(manager.AttachSecondary(recorderRecord));
    EXPECT_NE(recorder, nullptr);
    if (recorder != nullptr) {
        recorder->StartRecording(wavPath.c_str(), 0, 0);
        recorder->SetWriting(true);
    }
    ClientRecord flags;
    // The offline master renders on this thread until the hook stops it; the counter is off
    // until the first hook starts it.
    manager.Start(client, flags);
    allocations += CAllocationCounter::Stop();
    EXPECT_EQ(offline->BlocksRendered(), kBlocks);
    EXPECT_EQ(recorder != nullptr ? recorder->GetRecordedTime() : 0u,
              static_cast<uint32_t>(uint64_t{kBlocks} * masterRecord.blockFrames * 1000 / 44100));
    manager.Close();
    return allocations;
}

} // namespace

TEST(RenderAllocation, CounterSeesAClientThatAllocatesInsideRenderNext)
{
    // Guards the next test: a harness that missed allocations in the render cycle would pass it
    // for nothing.
    CTempDir dir;
    CCodeClient client;
    std::vector<std::unique_ptr<int>> kept;
    client.duringRender = [&] {
        if (kept.size() < 3)
            kept.push_back(std::make_unique<int>(1));
    };
    kept.reserve(8);
    EXPECT_EQ(AllocationsWhileRendering(client, 1024, dir.Path("code.wav"), [] {}), 3);
}

TEST(RenderAllocation, TwoPlayingDecksThroughTheManagerAllocateNothingAtAnyBlockSize)
{
    CTempDir dir;
    for (const uint32_t blockFrames : {128u, 1024u, 16384u}) {
        SCOPED_TRACE(blockFrames);
        CAudioEngine engine;
        CDeckPlayer& deckA = engine.Deck(0);
        CDeckPlayer& deckB = engine.Deck(1);
        // Long enough that neither deck runs out during the blocks rendered.
        const uint32_t frames = (kBlocks + 8) * blockFrames * 3 / 2;
        LoadSignal(deckA, frames, [](uint32_t f) { return Sine(f, 440.0); });
        LoadSignal(deckB, frames, [](uint32_t f) { return Sine(f, 660.0); });
        deckA.SetTempo(1.37f);
        deckA.Play();
        deckB.SetScratchMode(1);
        deckB.ScratchInput(900.0f);
        deckB.Play();
        const uint32_t blockMs = blockFrames * 1000 / 44100 + 1;
        // Refilling synchronously before each block, as the offline renderer does.
        const long allocations = AllocationsWhileRendering(engine, blockFrames, dir.Path("engine.wav"), [&] {
            deckA.Refill(blockMs);
            deckB.Refill(blockMs);
        });
        EXPECT_EQ(allocations, 0);
        EXPECT_GT(deckA.PlayPosition(), uint32_t{kBlocks} * blockFrames) << "deck A really played";
    }
}
