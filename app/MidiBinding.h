#pragma once

#include <cstdint>

// What a controller sends or is sent: a note (on and off), a control change, a pair of control
// changes carrying 14 bits (most significant 7 bits first, then the least significant 7), or a
// pitch bend (14 bits).
enum class MidiMessageKind : uint8_t { Note, ControlChange, ControlChange14, PitchBend };

// What a binding acts on: a control function (with its deck for per-deck functions), a deck's
// jog wheel (which writes "Deck Scratch On", "Deck Scratch" and "Deck Pitch Bend"), a command of
// the window, or the controller's own shift button.
enum class MidiTarget : uint8_t { Control, Jog, Next, Previous, Load, Shift };

enum class MidiBehaviour : uint8_t {
    Absolute,       // the message's value scaled to the function's range
    TakeOver,       // as Absolute, but only once the element has met the function's value
    RelativeTwos,   // an encoder: 1..63 up, 127..65 down (two's complement of 7 bits)
    RelativeOffset, // an encoder: 64 is rest, above up, below down
    Button,         // press stores the button value, release stores 0
    Toggle,         // press switches between 0 and the button value
    Press,          // a command, run on press
    JogTouch,       // the platter touched (press) or let go (release)
    JogTurnTwos,    // the platter turned, two's complement steps
    JogTurnOffset   // the platter turned, offset steps
};

// Rows of the normal layer act while the shift button is up, and also while it is held when no
// shift-layer row answers the same message.
enum class MidiLayer : uint8_t { Normal, Shift };

enum class MidiDirection : uint8_t { In, Out };

// One row of a mapping file, checked: numbers in range, the target existing.
struct MidiBinding {
    static constexpr int kNoDeck = -1;
    static constexpr int kDefaultStep = 1;
    static constexpr int kDefaultOn = 127;

    MidiDirection direction = MidiDirection::In;
    MidiMessageKind kind = MidiMessageKind::ControlChange;
    uint8_t channel = 0;   // 0..15 (written 1..16)
    uint8_t number = 0;    // note or controller 0..127; the MSB controller of a pair
    uint8_t lsbNumber = 0; // the LSB controller of a pair
    MidiTarget target = MidiTarget::Control;
    int32_t controlId = 0;
    int deck = kNoDeck; // 0 = Deck A, 1 = Deck B, kNoDeck for global functions and commands
    MidiBehaviour behaviour = MidiBehaviour::Absolute;
    MidiLayer layer = MidiLayer::Normal;
    int step = kDefaultStep;  // encoder and jog: units of the function per detent, 1..4096
    int32_t value = 1;        // Button and Toggle: the value a press stores, 1..maximum
    int onValue = kDefaultOn; // Out rows: sent while the function is not 0, 0..127
    int offValue = 0;         // Out rows: sent while it is 0
};
