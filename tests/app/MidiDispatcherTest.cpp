#include "MidiDispatcher.h"
#include "ControlTable.h"
#include "MidiMapping.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

using Clock = CMidiDispatcher::Clock;

CMidiMapping Mapping(const char* text, const CControlTable& controls)
{
    std::vector<MidiMappingProblem> problems;
    CMidiMapping mapping = CMidiMapping::Read(text, controls, problems);
    for (const MidiMappingProblem& problem : problems)
        ADD_FAILURE() << "line " << problem.line << ": " << problem.message;
    return mapping;
}

MidiMessage Cc(int number, int value, int channel = 0)
{
    return {MidiMessageType::ControlChange, static_cast<uint8_t>(channel), static_cast<uint8_t>(number),
            static_cast<uint16_t>(value)};
}

MidiMessage Note(int number, bool on)
{
    return {on ? MidiMessageType::NoteOn : MidiMessageType::NoteOff, 0, static_cast<uint8_t>(number),
            static_cast<uint16_t>(on ? 127 : 0)};
}

MidiMessage Bend(int value)
{
    return {MidiMessageType::PitchBend, 0, 0, static_cast<uint16_t>(value)};
}

// Feeds messages and returns the commands they asked for.
struct Fixture {
    explicit Fixture(const char* text) : mapping(Mapping(text, controls)), dispatcher(controls, mapping) {}
    std::vector<MidiCommand> Send(std::initializer_list<MidiMessage> messages,
                                  Clock::time_point now = Clock::now())
    {
        std::vector<MidiCommand> commands;
        for (const MidiMessage& m : messages) {
            MidiCommand command{};
            if (dispatcher.Handle(m, now, command))
                commands.push_back(command);
        }
        return commands;
    }
    int32_t Value(int32_t id, int deck = 0) const { return controls.GetValue(id, deck); }

    CControlTable controls;
    CMidiMapping mapping;
    CMidiDispatcher dispatcher;
};

} // namespace

TEST(MidiDispatcher, ControlChangesScaleToTheFunctionRangeAndAskToBeApplied)
{
    Fixture f("in cc 1 7 control 5 absolute\nin cc 2 7 control 16 absolute\n");
    f.controls.FindFunction(ControlId::XFader)->TakeApplyPending(0);
    const std::pair<int, int> expected[] = {{0, 0}, {127, 255}, {64, 129}, {1, 2}};
    for (const auto& [sent, value] : expected) {
        f.Send({Cc(7, sent)});
        EXPECT_EQ(f.Value(ControlId::XFader), value) << sent;
        EXPECT_TRUE(f.controls.FindFunction(ControlId::XFader)->TakeApplyPending(0));
    }
    f.Send({Cc(7, 127, 1)});
    EXPECT_EQ(f.Value(ControlId::MonitorOutputMode), 2);
    f.Send({Cc(7, 63, 1)});
    EXPECT_EQ(f.Value(ControlId::MonitorOutputMode), 1);
    f.Send({Cc(8, 0), Cc(7, 0, 5)}); // nothing bound
    EXPECT_EQ(f.Value(ControlId::XFader), 2);
}

TEST(MidiDispatcher, FourteenBitPairsAndPitchBendGiveEveryStepOfDeckPitch)
{
    Fixture f("in cc14 1 9 41 control 101 A absolute\nin bend 1 control 101 B absolute\n");
    std::set<int32_t> pairSteps;
    std::set<int32_t> bendSteps;
    for (int v = 0; v <= 16383; ++v) {
        f.Send({Cc(9, v >> 7)});
        f.Send({Cc(41, v & 0x7F)});
        pairSteps.insert(f.Value(ControlId::DeckPitch, 0));
        f.Send({Bend(v)});
        bendSteps.insert(f.Value(ControlId::DeckPitch, 1));
    }
    EXPECT_EQ(pairSteps.size(), 4097u);
    EXPECT_EQ(bendSteps.size(), 4097u);
    EXPECT_EQ(*pairSteps.rbegin(), 4096);
    f.Send({Bend(8192)});
    EXPECT_EQ(f.Value(ControlId::DeckPitch, 1), 2048);
    // The MSB alone waits for its LSB.
    f.Send({Cc(9, 0)});
    EXPECT_EQ(f.Value(ControlId::DeckPitch, 0), 4096);
}

TEST(MidiDispatcher, RelativeEncodersStepInBothFormsWithinTheRange)
{
    Fixture f("in cc 1 16 control 301 A relative-twos step=4\nin cc 1 17 control 301 B relative-offset\n");
    f.Send({Cc(16, 1), Cc(16, 2)});
    EXPECT_EQ(f.Value(ControlId::DeckEqLow, 0), 128 + 12);
    f.Send({Cc(16, 127)});
    EXPECT_EQ(f.Value(ControlId::DeckEqLow, 0), 128 + 8);
    f.Send({Cc(16, 64), Cc(16, 64), Cc(16, 64)}); // -64 each: stops at 0
    EXPECT_EQ(f.Value(ControlId::DeckEqLow, 0), 0);
    f.Send({Cc(17, 65), Cc(17, 67)});
    EXPECT_EQ(f.Value(ControlId::DeckEqLow, 1), 128 + 4);
    f.Send({Cc(17, 63), Cc(17, 64)});
    EXPECT_EQ(f.Value(ControlId::DeckEqLow, 1), 128 + 3);
}

TEST(MidiDispatcher, SoftTakeOverRefusesAJumpUntilTheKnobCrossesTheValue)
{
    Fixture f("in cc 1 1 control 302 A takeover\n");
    f.Send({Cc(1, 0)});
    EXPECT_EQ(f.Value(ControlId::DeckEqMid), 128);
    f.Send({Cc(1, 40)});
    EXPECT_EQ(f.Value(ControlId::DeckEqMid), 128);
    f.Send({Cc(1, 70)}); // passes 128 on its way: from here it follows
    EXPECT_EQ(f.Value(ControlId::DeckEqMid), 141);
    f.Send({Cc(1, 10)});
    EXPECT_EQ(f.Value(ControlId::DeckEqMid), 20);
    // Another input moves the function: the knob has to meet it again.
    f.controls.SetValue(ControlId::DeckEqMid, 0, 200, Marks::ChangedAndApply);
    f.Send({Cc(1, 11)});
    EXPECT_EQ(f.Value(ControlId::DeckEqMid), 200);
    f.Send({Cc(1, 90)});
    EXPECT_EQ(f.Value(ControlId::DeckEqMid), 200);
    f.Send({Cc(1, 101)}); // from 181 to 203: crosses 200
    EXPECT_EQ(f.Value(ControlId::DeckEqMid), 203);
    f.controls.SetValue(ControlId::DeckEqMid, 0, 100, Marks::ChangedAndApply);
    f.Send({Cc(1, 51)}); // 102 is within one knob step of 100
    EXPECT_EQ(f.Value(ControlId::DeckEqMid), 102);
}

TEST(MidiDispatcher, ButtonsTogglesAndCommandsActOnPress)
{
    Fixture f("in note 1 11 control 100 A toggle\n"
              "in note 1 12 control 200 A button value=6\n"
              "in cc 1 20 control 304 B button\n"
              "in note 1 60 next press\n"
              "in note 1 61 previous press\n"
              "in cc 1 62 load B press\n");
    f.Send({Note(11, true), Note(11, false)});
    EXPECT_EQ(f.Value(ControlId::DeckStartStop), 1);
    f.Send({Note(11, true)});
    EXPECT_EQ(f.Value(ControlId::DeckStartStop), 0);
    f.Send({Note(12, true)});
    EXPECT_EQ(f.Value(ControlId::DeckJumpToCue), 6);
    f.Send({Note(12, false)});
    EXPECT_EQ(f.Value(ControlId::DeckJumpToCue), 0);
    f.Send({Cc(20, 127)});
    EXPECT_EQ(f.Value(ControlId::DeckEqLowKill, 1), 1);
    f.Send({Cc(20, 0)});
    EXPECT_EQ(f.Value(ControlId::DeckEqLowKill, 1), 0);
    const auto commands =
        f.Send({Note(60, true), Note(60, false), Note(61, true), Note(61, false), Cc(62, 127), Cc(62, 0)});
    EXPECT_EQ(commands,
              (std::vector<MidiCommand>{MidiCommand::Next, MidiCommand::Previous, MidiCommand::LoadDeckB}));
}

TEST(MidiDispatcher, ShiftLayerAnswersWhileHeldAndOtherwiseTheNormalRowsDo)
{
    Fixture f("in note 1 63 shift button\n"
              "in note 1 11 control 100 A toggle\n"
              "in note 1 11 control 112 A toggle layer=shift\n"
              "in cc 1 7 control 5 absolute\n");
    f.Send({Note(63, true)});
    EXPECT_TRUE(f.dispatcher.ShiftHeld());
    f.Send({Note(11, true), Cc(7, 0)});
    EXPECT_EQ(f.Value(ControlId::DeckBpmSync), 1);
    EXPECT_EQ(f.Value(ControlId::DeckStartStop), 0);
    EXPECT_EQ(f.Value(ControlId::XFader), 0); // no shift row: the normal one acts
    f.Send({Note(63, false), Note(11, true)});
    EXPECT_EQ(f.Value(ControlId::DeckStartStop), 1);
    EXPECT_EQ(f.Value(ControlId::DeckBpmSync), 1);
}

TEST(MidiDispatcher, JogScratchesWhileTouchedAndBendsThePitchWhileTurnedAlone)
{
    Fixture f("in note 1 54 jog A jog-touch\nin cc 1 25 jog A jog-turn-twos step=16\n");
    const Clock::time_point start = Clock::now();
    f.Send({Cc(25, 3)}, start);
    EXPECT_EQ(f.Value(ControlId::DeckPitchBend), 128 + 3 * CMidiDispatcher::kBendPerStep);
    f.dispatcher.Tick(start + CMidiDispatcher::kBendHold / 2);
    EXPECT_EQ(f.Value(ControlId::DeckPitchBend), 128 + 3 * CMidiDispatcher::kBendPerStep);
    f.dispatcher.Tick(start + CMidiDispatcher::kBendHold);
    EXPECT_EQ(f.Value(ControlId::DeckPitchBend), 128);

    f.Send({Note(54, true)});
    EXPECT_EQ(f.Value(ControlId::DeckScratchOn), 1);
    // Turns between two ticks add up; the host takes them once and puts the rest back.
    f.Send({Cc(25, 2), Cc(25, 5), Cc(25, 126)});
    EXPECT_EQ(f.Value(ControlId::DeckScratch), 32768 + (2 + 5 - 2) * 16);
    EXPECT_EQ(f.Value(ControlId::DeckPitchBend), 128);
    f.Send({Note(54, false)});
    EXPECT_EQ(f.Value(ControlId::DeckScratchOn), 0);
}

TEST(MidiDispatcher, LampsSendWhatChangedAndEverythingOnConnect)
{
    Fixture f("out note 1 11 control 100 A\nout cc 2 20 control 304 B on=100 off=5\n");
    std::vector<std::vector<uint8_t>> sent;
    const auto collect = [&](bool all) {
        sent.clear();
        f.dispatcher.CollectLamps(
            all, [&](const uint8_t* bytes, size_t size) { sent.emplace_back(bytes, bytes + size); });
    };
    collect(false);
    EXPECT_EQ(sent, (std::vector<std::vector<uint8_t>>{{0x90, 11, 0}, {0xB1, 20, 5}}));
    collect(false);
    EXPECT_TRUE(sent.empty());
    f.controls.SetValue(ControlId::DeckStartStop, 0, 1, Marks::ChangedAndApply);
    collect(false);
    EXPECT_EQ(sent, (std::vector<std::vector<uint8_t>>{{0x90, 11, 127}}));
    collect(true);
    EXPECT_EQ(sent.size(), 2u);
}
