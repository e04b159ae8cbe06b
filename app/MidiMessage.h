#pragma once

#include <cstdint>

// One channel message as the controller meant it, after running status and interleaved
// real-time bytes were resolved.
enum class MidiMessageType : uint8_t { NoteOff, NoteOn, ControlChange, PitchBend };

struct MidiMessage {
    MidiMessageType type = MidiMessageType::ControlChange;
    uint8_t channel = 0; // 0..15
    uint8_t number = 0;  // note or controller; 0 for pitch bend
    uint16_t value = 0;  // velocity or controller value 0..127; pitch bend 0..16383 (8192 rests)
};
