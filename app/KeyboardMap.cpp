#include "KeyboardMap.h"

#include "ControlTable.h"

#include <algorithm>

namespace {

void Set(CControlTable& controls, int32_t id, int32_t value)
{
    controls.SetValue(id, 0, value, Marks::ChangedAndApply);
}

void Step(CControlTable& controls, int32_t id, int delta)
{
    Set(controls, id, std::clamp(controls.GetValue(id, 0) + delta, 0, 255));
}

KeyResult Command(KeyCommand command, bool coarse = false)
{
    KeyResult result;
    result.handled = true;
    result.command = command;
    result.coarse = coarse;
    return result;
}

// Ctrl with a letter, and Delete and Space (which go without Ctrl).
KeyResult ControlKey(Key key, bool ctrl)
{
    if (key == Key::Delete)
        return Command(KeyCommand::DeleteSelected);
    if (key == Key::Space)
        return Command(KeyCommand::EditSelected);
    if (!ctrl)
        return {};
    switch (key) {
    case Key::A:
        return Command(KeyCommand::SelectAll);
    case Key::F:
        return Command(KeyCommand::Find);
    case Key::N:
        return Command(KeyCommand::FindNext);
    case Key::C:
        return Command(KeyCommand::ClearList);
    case Key::D:
        return Command(KeyCommand::DeleteSelected);
    case Key::E:
        return Command(KeyCommand::EditSelected);
    case Key::L:
        return Command(KeyCommand::LoadListOrMix);
    case Key::S:
        return Command(KeyCommand::SaveList);
    default:
        return {};
    }
}

} // namespace

KeyResult CKeyboardMap::Translate(CControlTable& controls, Key key, KeyModifiers modifiers, bool down,
                                  bool repeat)
{
    KeyResult result;
    // With Ctrl, navigation keys belong to the accelerators and the playlist window. A cross-fader
    // key still counts for the manual hold, so that pressing or letting go of Ctrl in between
    // never leaves the hold unbalanced.
    if (modifiers.ctrl &&
        (key == Key::PageUp || key == Key::PageDown || key == Key::Home || key == Key::End ||
         key == Key::Up || key == Key::Down || key == Key::Left || key == Key::Right)) {
        if (key == Key::Left || key == Key::Right)
            result.manualHoldDelta = down ? (repeat ? 0 : 1) : -1;
        return result;
    }

    if (!down) {
        // Key-up: holding Tab works on the other deck, and releasing a cross-fader key gives the
        // fader back to Automix.
        if (key == Key::Tab) {
            Set(controls, ControlId::DeckFocusSelect, controls.GetValue(ControlId::DeckFocusSelect, 0) ^ 1);
            result.handled = true;
        } else if (key == Key::Left || key == Key::Right) {
            result.handled = true;
            result.manualHoldDelta = -1;
        }
        return result;
    }

    switch (key) {
    case Key::Tab:
        if (!repeat)
            Set(controls, ControlId::DeckFocusSelect, controls.GetValue(ControlId::DeckFocusSelect, 0) ^ 1);
        result.handled = true;
        return result;
    case Key::Escape:
        if (!repeat)
            Set(controls, ControlId::RunStop, 0);
        result.handled = true;
        return result;
    case Key::NumPlus:
        Step(controls, ControlId::MasterVolume, 8);
        result.handled = true;
        return result;
    case Key::NumMinus:
        Step(controls, ControlId::MasterVolume, -8);
        result.handled = true;
        return result;
    case Key::F2:
        return Command(KeyCommand::ToggleMixerPanel);
    case Key::F3:
        return Command(KeyCommand::ToggleTimeLinePanel);
    case Key::F4:
        return Command(KeyCommand::ToggleCasesPanel);
    case Key::F5:
        return Command(KeyCommand::LoadMenu);
    case Key::Enter:
        if (modifiers.ctrl)
            return Command(KeyCommand::AddToList);
        if (!repeat)
            Set(controls, ControlId::RunStop, controls.GetValue(ControlId::RunStop, 0) != 0 ? 0 : 1);
        result.handled = true;
        return result;
    case Key::Left:
    case Key::Right: {
        const int step = modifiers.shift ? 4 : 32;
        Step(controls, ControlId::XFader, key == Key::Left ? -step : step);
        result.handled = true;
        result.manualHoldDelta = repeat ? 0 : 1;
        return result;
    }
    case Key::Up:
        return Command(KeyCommand::SeekBackward, modifiers.shift);
    case Key::Down:
        return Command(KeyCommand::SeekForward, modifiers.shift);
    case Key::PageUp:
        return repeat ? KeyResult{true} : Command(KeyCommand::Previous);
    case Key::PageDown:
        return repeat ? KeyResult{true} : Command(KeyCommand::Next);
    case Key::Home:
        return Command(KeyCommand::Home);
    case Key::End:
        return Command(KeyCommand::End);
    default:
        return ControlKey(key, modifiers.ctrl);
    }
}
