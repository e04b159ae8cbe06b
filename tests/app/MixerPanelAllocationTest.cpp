// The mixer panel refreshes on every display tick: once it has shown a fade time, a refresh must
// not touch the heap, whatever the decks, lamps and cross-fader do.
#include "AllocationCounter.h"
#include "AudioEngine.h"
#include "ControlClassTable.h"
#include "CoreTestSupport.h"
#include "MixMonitor.h"
#include "MixerPanel.h"
#include "PictureManager.h"
#include "PlayerCore.h"
#include "ResourceTable.h"
#include "SkinForm.h"
#include "TempDir.h"

#include <gtest/gtest.h>

TEST(MixerPanelAllocation, RefreshesWhileATrackPlaysAndLampsChangeAllocateNothing)
{
    RegisterSkinControlClasses();
    CPictureManager pictures{CResourceTable::Program()};
    ASSERT_EQ(pictures.LoadMap(), 1);
    CSkinForm form(pictures);
    ASSERT_EQ(form.LoadResource(1), 1);
    CTempDir dir;
    CPlayerCore core;
    CCoreRun run(core);
    core.AddToList(WriteToneTrack(dir.Path("a.wav"), 330.0, 20.0));
    core.AddToList(WriteToneTrack(dir.Path("b.wav"), 550.0, 20.0));
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    core.SetRunStop(true);
    run.Ticks(4);
    core.Engine().Deck(0).SetMarker(1, 2500.0);
    CMixerPanel panel(core, form);

    long allocations = 0;
    for (int i = 0; i < 200; ++i) {
        CControlTable& controls = core.Controls();
        controls.SetValue(ControlId::DeckEqLow, 0, 100 + i % 50, Marks::ChangedAndApply);
        controls.SetValue(ControlId::DeckPfl, 1, (i / 40) % 2, Marks::ChangedAndApply);
        controls.SetValue(ControlId::XFader, 0, (i * 7) % 256, Marks::ChangedAndApply);
        run.Ticks(14);
        CAllocationCounter::Start();
        panel.Refresh(i % 50 == 0);
        allocations += CAllocationCounter::Stop();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(core.Engine().Deck(0).Playing());
    EXPECT_EQ(panel.LampCounter(0, CMixMonitor::kEqualizer), 29); // lit throughout
}
