#pragma once

#include "MidiBinding.h"
#include "MidiMessage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

class CControlTable;
class CMidiMapping;

// A command of the window a controller button asks for; the window runs it as it runs the same
// key's command.
enum class MidiCommand : uint8_t { Next, Previous, LoadDeckA, LoadDeckB };

// What one controller's messages do, by its mapping: control function writes (the value and
// both marks, as a key writes them, so the control host applies them at its next tick) and
// commands handed to the caller. Keeps the state the behaviours need: the shift layer, the MSB
// of each 14-bit pair, whether a soft take-over knob has met its function, which jog wheels are
// touched, and what every lamp was last sent.
//
// Threads: the MIDI thread only; the control table's writes are atomic.
class CMidiDispatcher {
public:
    using Clock = std::chrono::steady_clock;
    // A jog turned without being touched bends the pitch until it rests this long.
    static constexpr std::chrono::milliseconds kBendHold{60};
    static constexpr int kBendPerStep = 8; // "Deck Pitch Bend" units (of 128 each way) per detent

    // controls outlives the dispatcher.
    CMidiDispatcher(CControlTable& controls, const CMidiMapping& mapping);

    // Drops every binding and its state for mapping's, as a device opened anew would have them.
    void Remap(const CMidiMapping& mapping);
    // Called with each message bound to the cross-fader before it is applied, so that Automix can
    // be held off before the value it would move is written.
    void SetCrossFaderTouch(std::function<void()> touched) { m_crossFaderTouched = std::move(touched); }
    // Acts on one message; a command is stored into command and true returned.
    bool Handle(const MidiMessage& message, Clock::time_point now, MidiCommand& command) noexcept;
    // Lets a jog's pitch bend go once the wheel has rested kBendHold; called every few ms.
    void Tick(Clock::time_point now) noexcept;
    // The lamp messages (3 bytes each) whose function changed since they were last sent, or all
    // of them (on connect); calls sink(const uint8_t* bytes, size_t size) for each.
    template <class Sink> void CollectLamps(bool all, Sink&& sink)
    {
        uint8_t bytes[3];
        for (Lamp& lamp : m_lamps) {
            if (LampMessage(lamp, all, bytes))
                sink(bytes, sizeof bytes);
        }
    }
    bool ShiftHeld() const noexcept { return m_shift; }
    // Messages bound to the cross-fader since the last call: the window holds Automix off while
    // the controller's fader moves.
    uint32_t TakeCrossFaderMessages() noexcept
    {
        const uint32_t count = m_crossFaderMessages;
        m_crossFaderMessages = 0;
        return count;
    }

private:
    struct Row {
        MidiBinding binding;
        uint8_t msb = 0;          // 14-bit pairs: the last MSB
        bool engaged = false;     // take-over: the knob has met the function's value
        int32_t lastScaled = -1;  // take-over: the knob's previous position, -1 unknown
        int32_t lastWritten = -1; // take-over: what it last stored
    };
    struct Lamp {
        MidiBinding binding;
        int lastSent = -1; // -1: never sent
    };

    Row* Find(const MidiMessage& message, bool& lsb) noexcept;
    Row* FindInLayer(const MidiMessage& message, MidiLayer layer, bool& lsb) noexcept;
    bool Apply(Row& row, const MidiMessage& message, bool lsb, Clock::time_point now,
               MidiCommand& command) noexcept;
    void WriteScaled(Row& row, uint32_t value, uint32_t fullScale) noexcept;
    void Relative(const MidiBinding& binding, int delta) noexcept;
    void Turn(int deck, int delta, Clock::time_point now) noexcept;
    bool LampMessage(Lamp& lamp, bool all, uint8_t* bytes) noexcept;

    CControlTable& m_controls;
    std::vector<Row> m_rows;
    std::vector<Lamp> m_lamps;
    bool m_shift = false;
    uint32_t m_crossFaderMessages = 0;
    std::function<void()> m_crossFaderTouched;
    bool m_touched[2] = {false, false};
    bool m_bending[2] = {false, false};
    Clock::time_point m_bendUntil[2];
};
