#include "ControllerFaderHold.h"
#include "AudioEngine.h"
#include "CoreTestSupport.h"
#include "MidiControllers.h"
#include "MidiDevice.h"
#include "TempDir.h"
#include "Tick.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

namespace {

using Clock = CControllerFaderHold::Clock;

uint32_t TicksFor(double seconds)
{
    return static_cast<uint32_t>(std::ceil(seconds / kTickSeconds));
}

// A core in Automix halfway through a cross-fade, with a controller whose cc 7 is the
// cross-fader, fed without a port. Its messages touch the hold at the test's own clock.
class ControllerFaderHoldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 2; ++i) {
            const std::string path = dir.Path("t" + std::to_string(i) + ".wav");
            ASSERT_GE(
                core.List().AddTrack(WriteToneTrack(path, 300.0 + 600.0 * i, i == 0 ? 14.0 : 40.0), true), 0);
        }
        core.Automix().SetFadeTime(10.0f);
        core.SetPlaybackMode(CPlayerCore::kAutomix);
        std::ofstream(dir.Path("fader.midimap")) << "in cc 1 7 control 5 absolute\n";
        MidiControllersOptions options;
        options.systems = {};
        options.mappingFolders = {dir.Root()};
        options.crossFaderTouched = [this] { hold->Touch(Clock::time_point(Clock::duration(clock.load()))); };
        controllers = std::make_unique<CMidiControllers>(core.Controls(), options);
        controllers->Start();
        device = controllers->AttachDevice("fader", "fader");
    }
    void TearDown() override { controllers->Stop(); }

    // Sends the cross-fader at value (0..127) and waits until the MIDI thread has written it.
    void MoveFader(uint8_t value)
    {
        const uint64_t before = controllers->CrossFaderMessages();
        const uint8_t bytes[] = {0xB0, 7, value};
        device->Receive(bytes, sizeof bytes, 0);
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (controllers->CrossFaderMessages() == before && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_GT(controllers->CrossFaderMessages(), before) << "the message was not read";
    }
    int32_t XFader() { return core.Controls().GetValue(ControlId::XFader, 0); }
    Clock::time_point Now() const { return Clock::time_point(Clock::duration(clock.load())); }
    void Advance(std::chrono::milliseconds by) { clock += Clock::duration(by).count(); }

    CTempDir dir;
    CPlayerCore core;
    CCoreRun run{core};
    std::atomic<Clock::rep> clock{Clock::duration(std::chrono::hours(1)).count()};
    std::unique_ptr<CControllerFaderHold> hold = std::make_unique<CControllerFaderHold>(core);
    std::unique_ptr<CMidiControllers> controllers;
    CMidiDevice* device = nullptr;
};

} // namespace

TEST_F(ControllerFaderHoldTest, AutomixLeavesTheControllersFaderAloneUntilItHasRested)
{
    core.SetRunStop(true);
    // The 10 s fade into the second track starts 4 s in; 5 s later it is halfway.
    run.Ticks(TicksFor(9.0));
    ASSERT_TRUE(core.Engine().Deck(1).Playing());
    ASSERT_GT(XFader(), 60);
    ASSERT_LT(XFader(), 200);

    hold->Poll(Now());
    EXPECT_FALSE(hold->Held()) << "no message yet";
    // The hold is taken before the value is written: Automix, which runs on its own thread,
    // never sees the value without the hold and moves it back.
    MoveFader(110); // 110 / 127 of 255
    ASSERT_TRUE(hold->Held());
    EXPECT_EQ(core.Automix().ManualHold(), 1);
    hold->Poll(Now());
    run.Ticks(TicksFor(1.0));
    EXPECT_EQ(XFader(), 221) << "Automix moved the fader under the controller";

    // Moved again before resting: the same hold, and its idle time starts afresh.
    Advance(std::chrono::milliseconds(1500));
    MoveFader(100);
    hold->Poll(Now());
    Advance(std::chrono::milliseconds(1500));
    hold->Poll(Now());
    EXPECT_TRUE(hold->Held());
    EXPECT_EQ(core.Automix().ManualHold(), 1);
    run.Ticks(TicksFor(0.5));
    EXPECT_EQ(XFader(), 201);

    // Rested long enough: Automix takes over again and finishes towards the favoured side.
    Advance(CControllerFaderHold::kIdle - std::chrono::milliseconds(1500));
    hold->Poll(Now());
    EXPECT_FALSE(hold->Held());
    EXPECT_EQ(core.Automix().ManualHold(), 0);
    run.Ticks(3);
    EXPECT_EQ(XFader(), 255);
    EXPECT_EQ(core.Automix().CurrentDeck(), 1);
    EXPECT_FALSE(core.Engine().Deck(0).Playing());

    // Touched again after it was given back: taken again, once.
    MoveFader(0);
    MoveFader(5);
    EXPECT_EQ(core.Automix().ManualHold(), 1);
}

TEST_F(ControllerFaderHoldTest, AHoldStillTakenIsGivenBackWithTheControllers)
{
    MoveFader(10);
    EXPECT_EQ(core.Automix().ManualHold(), 1);
    controllers->Stop();
    hold.reset();
    EXPECT_EQ(core.Automix().ManualHold(), 0);
}
