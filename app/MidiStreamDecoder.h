#pragma once

#include "MidiMessage.h"

#include <cstddef>
#include <cstdint>

// Turns the bytes a MIDI port delivers into channel messages. The bytes may come in any pieces:
// a message split across deliveries, several in one, running status (data bytes after a status
// byte repeat its kind), system exclusive blocks of any length (skipped without being stored),
// real-time bytes between the bytes of a message, and stray data bytes with no status before
// them (dropped). Keeps a few bytes of state and never allocates.
//
// Threads: one caller at a time (the MIDI thread).
class CMidiStreamDecoder {
public:
    // Calls sink(const MidiMessage&) for every complete note, control change and pitch bend.
    template <class Sink> void Feed(const uint8_t* bytes, size_t size, Sink&& sink)
    {
        MidiMessage message;
        for (size_t i = 0; i < size; ++i) {
            if (Take(bytes[i], message))
                sink(message);
        }
    }
    // Forgets running status and any message begun: the next bytes start afresh (after bytes
    // were lost).
    void Reset() noexcept;
    // Data bytes that belonged to no message, counted since construction.
    uint64_t StrayBytes() const noexcept { return m_strayBytes; }

private:
    // True when byte completed a message, which is then in message.
    bool Take(uint8_t byte, MidiMessage& message) noexcept;

    uint8_t m_status = 0;    // running status: the channel message's status byte, 0 when none
    uint8_t m_data[2] = {};  // data bytes of the message being read
    uint8_t m_have = 0;      // how many of them
    bool m_inSysEx = false;  // inside F0 .. F7
    bool m_skipData = false; // a system common message's data bytes, not ours
    uint64_t m_strayBytes = 0;
};
