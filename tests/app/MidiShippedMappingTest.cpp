#include "ControlTable.h"
#include "MidiMapping.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

// The mapping the program ships for a typical two-deck controller reads without a refused row,
// is in the written form, and covers what such a controller has on each deck.
TEST(MidiShippedMapping, GenericTwoDeckCoversBothDecksAndReadsBackAsItIs)
{
    const std::string path = std::string(QUANDEL_MAPPINGS) + "/generic-two-deck.midimap";
    CControlTable controls;
    CMidiMapping mapping;
    std::vector<MidiMappingProblem> problems;
    std::string error;
    ASSERT_TRUE(CMidiMapping::LoadFile(path, controls, mapping, problems, error)) << error;
    for (const MidiMappingProblem& problem : problems)
        ADD_FAILURE() << "line " << problem.line << ": " << problem.message;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(mapping.Write(), text.str());

    const int32_t perDeck[] = {ControlId::DeckStartStop,  ControlId::DeckJumpToCue, ControlId::DeckBpmSync,
                               ControlId::DeckPitch,      ControlId::DeckEqLow,     ControlId::DeckEqMid,
                               ControlId::DeckEqHigh,     ControlId::DeckEqLowKill, ControlId::DeckEqMidKill,
                               ControlId::DeckEqHighKill, ControlId::DeckBpCenter,  ControlId::DeckPfl,
                               ControlId::DeckVolume};
    for (int deck = 0; deck < 2; ++deck) {
        std::set<int32_t> bound;
        bool jogTouch = false, jogTurn = false, load = false, lamp = false;
        for (const MidiBinding& b : mapping.Bindings()) {
            if (b.deck != deck)
                continue;
            if (b.direction == MidiDirection::Out) {
                lamp = lamp || b.controlId == ControlId::DeckStartStop;
                continue;
            }
            if (b.target == MidiTarget::Control)
                bound.insert(b.controlId);
            jogTouch = jogTouch || b.behaviour == MidiBehaviour::JogTouch;
            jogTurn = jogTurn || b.behaviour == MidiBehaviour::JogTurnTwos;
            load = load || b.target == MidiTarget::Load;
        }
        for (int32_t id : perDeck)
            EXPECT_TRUE(bound.count(id)) << "deck " << deck << " lacks " << controls.FindFunction(id)->Name();
        EXPECT_TRUE(jogTouch && jogTurn && load && lamp) << "deck " << deck;
    }
    bool crossFader = false;
    for (const MidiBinding& b : mapping.Bindings())
        crossFader = crossFader || (b.target == MidiTarget::Control && b.controlId == ControlId::XFader);
    EXPECT_TRUE(crossFader);
}
