#pragma once

class CControlTable;

// Keys the main window passes on, independent of the window toolkit.
enum class Key {
    Tab,
    Escape,
    NumPlus,
    NumMinus,
    F2,
    F3,
    F4,
    F5,
    Enter,
    Left,
    Right,
    Up,
    Down,
    PageUp,
    PageDown,
    Home,
    End,
    Delete,
    Space,
    A,
    C,
    D,
    E,
    F,
    L,
    N,
    S,
    Other
};

struct KeyModifiers {
    bool shift = false;
    bool ctrl = false;
};

// What a key asks of the window, the playlist window or the Time Line beyond the control
// changes the keyboard map makes itself.
enum class KeyCommand {
    None,
    ToggleMixerPanel,
    ToggleTimeLinePanel,
    ToggleCasesPanel,
    LoadMenu,
    AddToList,
    SeekBackward,
    SeekForward,
    Previous,
    Next,
    Home,
    End,
    SelectAll,
    Find,
    FindNext,
    ClearList,
    DeleteSelected,
    EditSelected,
    LoadListOrMix,
    SaveList
};

struct KeyResult {
    bool handled = false; // false: the key goes on to the window's own processing
    KeyCommand command = KeyCommand::None;
    bool coarse = false;     // for SeekBackward / SeekForward
    int manualHoldDelta = 0; // +1 when a cross-fader key goes down, -1 when it comes up
};

// The player's keyboard: changes control values directly (both marks) and reports the command,
// if any. Qt-free: the main window only turns its key events into Key and modifiers.
class CKeyboardMap {
public:
    // Thread: the user-interface thread.
    static KeyResult Translate(CControlTable& controls, Key key, KeyModifiers modifiers, bool down,
                               bool repeat);
};
