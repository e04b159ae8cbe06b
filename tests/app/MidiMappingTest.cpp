#include "MidiMapping.h"
#include "ControlTable.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Every message kind, target, behaviour and option in their written form, with the lines a user
// keeps around them.
constexpr const char* kEveryBehaviour = "# two decks, channel 1 and 2\n"
                                        "device Test Controller\n"
                                        "\n"
                                        "in cc 1 7 control 5 absolute\n"
                                        "in cc 1 8 control 8 takeover\n"
                                        "in cc14 1 9 41 control 101 A absolute\n"
                                        "in bend 2 control 101 B takeover\n"
                                        "in cc 1 16 control 301 A relative-twos step=4\n"
                                        "in cc 2 16 control 301 B relative-offset\n"
                                        "in note 1 11 control 100 A toggle\n"
                                        "in note 1 12 control 200 A button value=6\n"
                                        "in note 1 11 control 112 A toggle layer=shift\n"
                                        "in cc 1 20 control 304 A button\n"
                                        "in note 1 54 jog A jog-touch\n"
                                        "in cc 1 25 jog A jog-turn-twos step=64\n"
                                        "in cc 2 25 jog B jog-turn-offset\n"
                                        "in note 1 60 next press\n"
                                        "in note 1 61 previous press\n"
                                        "in note 1 62 load A press\n"
                                        "in cc 2 62 load B press layer=shift\n"
                                        "in note 1 63 shift button\n"
                                        "in note 2 63 shift toggle\n"
                                        "out note 1 11 control 100 A\n"
                                        "out cc 1 20 control 304 A on=100 off=5\n"
                                        "out note 2 11 control 100 B layer=shift\n";

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(MidiMapping, EveryBehaviourReadsAndWritesBackByteIdentical)
{
    CControlTable controls;
    std::vector<MidiMappingProblem> problems;
    const CMidiMapping mapping = CMidiMapping::Read(kEveryBehaviour, controls, problems);
    for (const MidiMappingProblem& problem : problems)
        ADD_FAILURE() << "line " << problem.line << ": " << problem.message;
    EXPECT_EQ(mapping.Write(), kEveryBehaviour);
    EXPECT_EQ(mapping.DeviceMatch(), "Test Controller");
    ASSERT_EQ(mapping.Bindings().size(), 22u);

    const MidiBinding& pair = mapping.Bindings()[2];
    EXPECT_EQ(pair.kind, MidiMessageKind::ControlChange14);
    EXPECT_EQ(pair.number, 9);
    EXPECT_EQ(pair.lsbNumber, 41);
    EXPECT_EQ(pair.controlId, ControlId::DeckPitch);
    EXPECT_EQ(pair.deck, 0);
    const MidiBinding& bend = mapping.Bindings()[3];
    EXPECT_EQ(bend.channel, 1);
    EXPECT_EQ(bend.deck, 1);
    EXPECT_EQ(bend.behaviour, MidiBehaviour::TakeOver);
    EXPECT_EQ(mapping.Bindings()[4].step, 4);
    EXPECT_EQ(mapping.Bindings()[7].value, 6);
    EXPECT_EQ(mapping.Bindings()[8].layer, MidiLayer::Shift);
    const MidiBinding& lamp = mapping.Bindings()[20];
    EXPECT_EQ(lamp.direction, MidiDirection::Out);
    EXPECT_EQ(lamp.onValue, 100);
    EXPECT_EQ(lamp.offValue, 5);
}

TEST(MidiMapping, SpacingAndNumbersAreWrittenInOneForm)
{
    CControlTable controls;
    std::vector<MidiMappingProblem> problems;
    const CMidiMapping mapping = CMidiMapping::Read(
        "in\tcc 01  7 control 5 absolute\r\nout note 1 3 control 100 A on=127\n", controls, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(mapping.Write(), "in cc 1 7 control 5 absolute\nout note 1 3 control 100 A\n");
}

struct BadRow {
    const char* row;
    const char* reason; // a part of the message the user reads
};

class MidiMappingBadRow : public testing::TestWithParam<BadRow> {};

TEST_P(MidiMappingBadRow, IsRefusedWithItsLineNumberAndKeptAsWritten)
{
    CControlTable controls;
    const std::string text = std::string("# first\nin cc 1 7 control 5 absolute\n") + GetParam().row + "\n" +
                             "in cc 1 99 control 6 absolute\n";
    std::vector<MidiMappingProblem> problems;
    const CMidiMapping mapping = CMidiMapping::Read(text, controls, problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].line, 3);
    EXPECT_NE(problems[0].message.find(GetParam().reason), std::string::npos) << problems[0].message;
    EXPECT_EQ(mapping.Bindings().size(), 2u);
    for (const MidiBinding& binding : mapping.Bindings())
        EXPECT_NE(binding.number, 8) << "a refused row was taken";
    EXPECT_EQ(mapping.Write(), text);
}

INSTANTIATE_TEST_SUITE_P(Rows, MidiMappingBadRow,
                         testing::Values(BadRow{"in cc 1 8 control 999 absolute", "unknown control id 999"},
                                         BadRow{"in cc 1 8 mixer 5 absolute", "unknown target"},
                                         BadRow{"in cc 17 8 control 5 absolute", "MIDI channel \"17\""},
                                         BadRow{"in note 1 128 control 100 A toggle", "note number \"128\""},
                                         BadRow{"in cc 1 -8 control 5 absolute", "controller number"},
                                         BadRow{"in cc 1 7 control 6 absolute", "bound again"},
                                         BadRow{"in cc14 1 40 7 control 101 A absolute", "bound again"},
                                         BadRow{"in cc 1 8 control 101 absolute", "deck"},
                                         BadRow{"in cc 1 8 control 5 A absolute", "has no deck"},
                                         BadRow{"in cc 1 8 control 101 C absolute", "neither A nor B"},
                                         BadRow{"in note 1 8 control 101 A absolute", "does not fit"},
                                         BadRow{"in bend 1 control 101 A relative-twos", "does not fit"},
                                         BadRow{"in cc 1 8 next toggle", "does not fit"},
                                         BadRow{"in cc 1 8 control 5 wiggle", "unknown behaviour"},
                                         BadRow{"in cc 1 8 control 5 absolute step=2", "unknown option"},
                                         BadRow{"in note 1 8 control 100 A button value=2", "from 1 to 1"},
                                         BadRow{"in cc 1 8 control 301 A relative-twos step=0", "step"},
                                         BadRow{"out bend 1 control 100 A", "lamp row"},
                                         BadRow{"out note 1 8 control 100 A on=128", "0 to 127"},
                                         BadRow{"in cc14 1 8 8 control 101 A absolute", "the same"},
                                         BadRow{"in cc 1", "missing controller number"},
                                         BadRow{"play 1 8", "a row starts with"},
                                         BadRow{"device", "port text"}),
                         [](const testing::TestParamInfo<BadRow>& info) {
                             return "Row" + std::to_string(info.index);
                         });

TEST(MidiMapping, LearnReplacesTheRowOfTheSameMessageOrAddsOne)
{
    CControlTable controls;
    std::vector<MidiMappingProblem> problems;
    CMidiMapping mapping =
        CMidiMapping::Read("in cc 1 7 control 5 absolute\nin note 1 3 shift button\n", controls, problems);
    MidiBinding binding;
    ASSERT_TRUE(CMidiMapping::ParseBinding("in cc 1 7 control 8 takeover", controls, binding,
                                           problems.emplace_back().message));
    mapping.Bind(binding);
    ASSERT_TRUE(CMidiMapping::ParseBinding("in cc 1 7 control 6 absolute layer=shift", controls, binding,
                                           problems.back().message));
    mapping.Bind(binding);
    EXPECT_EQ(mapping.Write(), "in cc 1 7 control 8 takeover\n"
                               "in note 1 3 shift button\n"
                               "in cc 1 7 control 6 absolute layer=shift\n");
}

TEST(MidiMapping, FilesSaveThroughARenameAndLoadWithTheirProblems)
{
    CControlTable controls;
    CTempDir dir;
    const std::string path = dir.Path("user.midimap");
    std::vector<MidiMappingProblem> problems;
    CMidiMapping mapping = CMidiMapping::Read(kEveryBehaviour, controls, problems);
    ASSERT_TRUE(mapping.SaveFile(path));
    EXPECT_EQ(ReadAll(path), kEveryBehaviour);

    CMidiMapping loaded;
    std::string error;
    ASSERT_TRUE(CMidiMapping::LoadFile(path, controls, loaded, problems, error));
    EXPECT_EQ(loaded.Bindings().size(), mapping.Bindings().size());

    EXPECT_FALSE(CMidiMapping::LoadFile(dir.Path("missing"), controls, loaded, problems, error));
    EXPECT_NE(error.find("missing"), std::string::npos);

    {
        std::ofstream big(dir.Path("big"), std::ios::binary);
        big << std::string(CMidiMapping::kMaxFileBytes + 1, '#');
    }
    EXPECT_FALSE(CMidiMapping::LoadFile(dir.Path("big"), controls, loaded, problems, error));
    EXPECT_NE(error.find("larger"), std::string::npos);

    // A folder that does not exist takes no file, and the old one stays.
    EXPECT_FALSE(mapping.SaveFile(dir.Path("none/user.midimap")));
    EXPECT_EQ(ReadAll(path), kEveryBehaviour);
}
