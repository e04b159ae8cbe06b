#include "KeyboardMap.h"
#include "ControlTable.h"

#include <gtest/gtest.h>

namespace {
KeyResult Press(CControlTable& t, Key key, KeyModifiers m = {}, bool repeat = false)
{
    return CKeyboardMap::Translate(t, key, m, true, repeat);
}
KeyResult Release(CControlTable& t, Key key, KeyModifiers m = {})
{
    return CKeyboardMap::Translate(t, key, m, false, false);
}
} // namespace

TEST(KeyboardMap, TabWorksOnTheOtherDeckWhileHeld)
{
    CControlTable t;
    Press(t, Key::Tab);
    EXPECT_EQ(t.GetValue(ControlId::DeckFocusSelect, 0), 1);
    Press(t, Key::Tab, {}, true); // auto-repeat changes nothing
    EXPECT_EQ(t.GetValue(ControlId::DeckFocusSelect, 0), 1);
    Release(t, Key::Tab);
    EXPECT_EQ(t.GetValue(ControlId::DeckFocusSelect, 0), 0);
}

TEST(KeyboardMap, MasterVolumeStepsByEightWithinItsRangeWhicheverDeckHasFocus)
{
    CControlTable t;
    t.SetValue(ControlId::DeckFocusSelect, 0, 1, Marks::ChangedAndApply);
    t.SetValue(ControlId::MasterVolume, 0, 5, Marks::ChangedAndApply);
    Press(t, Key::NumMinus);
    EXPECT_EQ(t.GetValue(ControlId::MasterVolume, 0), 0);
    Press(t, Key::NumMinus);
    EXPECT_EQ(t.GetValue(ControlId::MasterVolume, 0), 0);
    t.SetValue(ControlId::MasterVolume, 0, 250, Marks::ChangedAndApply);
    Press(t, Key::NumPlus);
    EXPECT_EQ(t.GetValue(ControlId::MasterVolume, 0), 255);
    t.FindFunction(ControlId::MasterVolume)->TakeApplyPending(0);
    Press(t, Key::NumMinus);
    EXPECT_TRUE(t.FindFunction(ControlId::MasterVolume)->TakeApplyPending(0)) << "a key reaches the engine";
}

TEST(KeyboardMap, CrossFaderKeysStepAndHoldTheFaderForTheUser)
{
    CControlTable t; // "X-Fader" starts at 128
    KeyResult r = Press(t, Key::Left);
    EXPECT_EQ(t.GetValue(ControlId::XFader, 0), 96);
    EXPECT_EQ(r.manualHoldDelta, 1);
    r = Press(t, Key::Left, {}, true);
    EXPECT_EQ(t.GetValue(ControlId::XFader, 0), 64);
    EXPECT_EQ(r.manualHoldDelta, 0) << "a repeat holds no more";
    EXPECT_EQ(Release(t, Key::Left).manualHoldDelta, -1);
    Press(t, Key::Right, {true, false});
    EXPECT_EQ(t.GetValue(ControlId::XFader, 0), 68);
    for (int i = 0; i < 20; ++i)
        Press(t, Key::Right, {}, true);
    EXPECT_EQ(t.GetValue(ControlId::XFader, 0), 255);
    // With Ctrl the arrows belong to the playlist window, but the hold stays balanced whenever
    // Ctrl goes down or up in between.
    const KeyResult withCtrl = Press(t, Key::Left, {false, true});
    EXPECT_FALSE(withCtrl.handled);
    EXPECT_EQ(t.GetValue(ControlId::XFader, 0), 255);
    int hold = withCtrl.manualHoldDelta + Release(t, Key::Left).manualHoldDelta;
    EXPECT_EQ(hold, 0);
    hold = Press(t, Key::Right).manualHoldDelta + Release(t, Key::Right, {false, true}).manualHoldDelta;
    EXPECT_EQ(hold, 0);
}

TEST(KeyboardMap, EnterTogglesRunStopOnlyOnTheFirstKeyDown)
{
    CControlTable t;
    Press(t, Key::Enter);
    EXPECT_EQ(t.GetValue(ControlId::RunStop, 0), 1);
    Press(t, Key::Enter, {}, true);
    EXPECT_EQ(t.GetValue(ControlId::RunStop, 0), 1);
    Press(t, Key::Enter);
    EXPECT_EQ(t.GetValue(ControlId::RunStop, 0), 0);
    EXPECT_EQ(Press(t, Key::Enter, {false, true}).command, KeyCommand::AddToList);
    EXPECT_EQ(t.GetValue(ControlId::RunStop, 0), 0);
    t.SetValue(ControlId::RunStop, 0, 1, Marks::ChangedAndApply);
    Press(t, Key::Escape);
    EXPECT_EQ(t.GetValue(ControlId::RunStop, 0), 0);
}

TEST(KeyboardMap, CommandsByKey)
{
    struct Case {
        Key key;
        KeyModifiers modifiers;
        bool repeat;
        KeyCommand command;
        bool coarse;
    };
    const Case cases[] = {
        {Key::F2, {}, false, KeyCommand::ToggleMixerPanel, false},
        {Key::F3, {}, false, KeyCommand::ToggleTimeLinePanel, false},
        {Key::F4, {}, false, KeyCommand::ToggleCasesPanel, false},
        {Key::F5, {}, false, KeyCommand::LoadMenu, false},
        {Key::Up, {}, true, KeyCommand::SeekBackward, false},
        {Key::Down, {true, false}, false, KeyCommand::SeekForward, true},
        {Key::PageUp, {}, false, KeyCommand::Previous, false},
        {Key::PageUp, {}, true, KeyCommand::None, false},
        {Key::PageDown, {}, false, KeyCommand::Next, false},
        {Key::Home, {}, false, KeyCommand::Home, false},
        {Key::End, {}, false, KeyCommand::End, false},
        {Key::A, {false, true}, false, KeyCommand::SelectAll, false},
        {Key::A, {}, false, KeyCommand::None, false},
        {Key::F, {false, true}, false, KeyCommand::Find, false},
        {Key::N, {false, true}, false, KeyCommand::FindNext, false},
        {Key::C, {false, true}, false, KeyCommand::ClearList, false},
        {Key::D, {false, true}, false, KeyCommand::DeleteSelected, false},
        {Key::Delete, {}, false, KeyCommand::DeleteSelected, false},
        {Key::E, {false, true}, false, KeyCommand::EditSelected, false},
        {Key::Space, {}, false, KeyCommand::EditSelected, false},
        {Key::L, {false, true}, false, KeyCommand::LoadListOrMix, false},
        {Key::S, {false, true}, false, KeyCommand::SaveList, false},
        {Key::PageDown, {false, true}, false, KeyCommand::None, false},
    };
    for (const Case& c : cases) {
        CControlTable t;
        const KeyResult r = Press(t, c.key, c.modifiers, c.repeat);
        EXPECT_EQ(r.command, c.command) << static_cast<int>(c.key);
        EXPECT_EQ(r.coarse, c.coarse) << static_cast<int>(c.key);
    }
}
