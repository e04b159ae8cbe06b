#include "MidiDispatcher.h"

#include "ControlTable.h"
#include "MidiMapping.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr uint32_t kSevenBitFull = 127;
constexpr uint32_t kFourteenBitFull = 16383;
constexpr int32_t kBendRest = 128;
constexpr int32_t kScratchMaximum = 65536;
constexpr int32_t kScratchPlatter = 1; // "Deck Scratch On": the record follows the hand on the platter

bool Pressed(const MidiMessage& message)
{
    return message.type == MidiMessageType::NoteOn ||
           (message.type == MidiMessageType::ControlChange && message.value > 0);
}

int Delta(MidiBehaviour behaviour, uint16_t value)
{
    if (behaviour == MidiBehaviour::RelativeTwos || behaviour == MidiBehaviour::JogTurnTwos)
        return value < 64 ? value : static_cast<int>(value) - 128;
    return static_cast<int>(value) - 64;
}

} // namespace

CMidiDispatcher::CMidiDispatcher(CControlTable& controls, const CMidiMapping& mapping) : m_controls(controls)
{
    Remap(mapping);
}

void CMidiDispatcher::Remap(const CMidiMapping& mapping)
{
    m_rows.clear();
    m_lamps.clear();
    for (const MidiBinding& binding : mapping.Bindings()) {
        if (binding.direction == MidiDirection::In)
            m_rows.push_back(Row{binding});
        else
            m_lamps.push_back(Lamp{binding});
    }
    m_shift = false;
}

CMidiDispatcher::Row* CMidiDispatcher::FindInLayer(const MidiMessage& message, MidiLayer layer,
                                                   bool& lsb) noexcept
{
    for (Row& row : m_rows) {
        const MidiBinding& b = row.binding;
        if (b.layer != layer || b.channel != message.channel)
            continue;
        switch (message.type) {
        case MidiMessageType::NoteOn:
        case MidiMessageType::NoteOff:
            if (b.kind == MidiMessageKind::Note && b.number == message.number)
                return &row;
            break;
        case MidiMessageType::ControlChange:
            if ((b.kind == MidiMessageKind::ControlChange || b.kind == MidiMessageKind::ControlChange14) &&
                b.number == message.number) {
                lsb = false;
                return &row;
            }
            if (b.kind == MidiMessageKind::ControlChange14 && b.lsbNumber == message.number) {
                lsb = true;
                return &row;
            }
            break;
        case MidiMessageType::PitchBend:
            if (b.kind == MidiMessageKind::PitchBend)
                return &row;
            break;
        }
    }
    return nullptr;
}

CMidiDispatcher::Row* CMidiDispatcher::Find(const MidiMessage& message, bool& lsb) noexcept
{
    if (m_shift) {
        if (Row* row = FindInLayer(message, MidiLayer::Shift, lsb))
            return row;
    }
    return FindInLayer(message, MidiLayer::Normal, lsb);
}

bool CMidiDispatcher::Handle(const MidiMessage& message, Clock::time_point now, MidiCommand& command) noexcept
{
    bool lsb = false;
    Row* row = Find(message, lsb);
    return row != nullptr && Apply(*row, message, lsb, now, command);
}

void CMidiDispatcher::WriteScaled(Row& row, uint32_t value, uint32_t fullScale) noexcept
{
    const MidiBinding& b = row.binding;
    CControlFunction* function = m_controls.FindFunction(b.controlId);
    if (function == nullptr)
        return;
    const int channel = std::max(b.deck, 0);
    const auto maximum = static_cast<uint32_t>(function->Maximum());
    const auto scaled =
        static_cast<int32_t>((std::min(value, fullScale) * maximum + fullScale / 2) / fullScale);
    if (b.behaviour == MidiBehaviour::TakeOver) {
        const int32_t current = function->Value(channel);
        if (row.engaged && current != row.lastWritten)
            row.engaged = false; // moved by something else since: the knob must meet it again
        if (!row.engaged) {
            // Within one step of the knob's own resolution counts as meeting it.
            const int32_t near = static_cast<int32_t>((maximum + fullScale - 1) / fullScale);
            const bool crossed = row.lastScaled >= 0 && ((row.lastScaled <= current && current <= scaled) ||
                                                         (scaled <= current && current <= row.lastScaled));
            row.engaged = crossed || std::abs(scaled - current) <= near;
        }
        row.lastScaled = scaled;
        if (!row.engaged)
            return;
        row.lastWritten = scaled;
    }
    function->Set(channel, scaled, Marks::ChangedAndApply);
}

void CMidiDispatcher::Relative(const MidiBinding& b, int delta) noexcept
{
    CControlFunction* function = m_controls.FindFunction(b.controlId);
    if (function == nullptr)
        return;
    const int channel = std::max(b.deck, 0);
    const int32_t next = std::clamp(function->Value(channel) + delta * b.step, 0, function->Maximum());
    function->Set(channel, next, Marks::ChangedAndApply);
}

void CMidiDispatcher::Turn(int deck, int delta, Clock::time_point now) noexcept
{
    if (m_touched[deck]) {
        // "Deck Scratch" is relative: the host passes value - rest on and puts it back to rest,
        // so turns that arrive between two ticks add up here.
        CControlFunction* scratch = m_controls.FindFunction(ControlId::DeckScratch);
        if (scratch == nullptr)
            return;
        for (;;) {
            const int32_t current = scratch->Value(deck);
            const int32_t next = std::clamp(current + delta, 0, kScratchMaximum);
            if (scratch->CompareAndSet(deck, current, next, Marks::ChangedAndApply))
                return;
        }
    }
    const int32_t bend = std::clamp(kBendRest + delta * kBendPerStep, 0, 255);
    m_controls.SetValue(ControlId::DeckPitchBend, deck, bend, Marks::ChangedAndApply);
    m_bending[deck] = true;
    m_bendUntil[deck] = now + kBendHold;
}

void CMidiDispatcher::Tick(Clock::time_point now) noexcept
{
    for (int deck = 0; deck < 2; ++deck) {
        if (m_bending[deck] && now >= m_bendUntil[deck]) {
            m_bending[deck] = false;
            m_controls.SetValue(ControlId::DeckPitchBend, deck, kBendRest, Marks::ChangedAndApply);
        }
    }
}

bool CMidiDispatcher::Apply(Row& row, const MidiMessage& message, bool lsb, Clock::time_point now,
                            MidiCommand& command) noexcept
{
    const MidiBinding& b = row.binding;
    const bool pressed = Pressed(message);
    const int deck = std::max(b.deck, 0) & 1;
    if (b.target == MidiTarget::Control && b.controlId == ControlId::XFader) {
        ++m_crossFaderMessages; // a refused take-over too: the hand is on the fader
        if (m_crossFaderTouched)
            m_crossFaderTouched();
    }
    switch (b.behaviour) {
    case MidiBehaviour::Absolute:
    case MidiBehaviour::TakeOver:
        if (b.kind == MidiMessageKind::PitchBend)
            WriteScaled(row, message.value, kFourteenBitFull);
        else if (b.kind == MidiMessageKind::ControlChange)
            WriteScaled(row, message.value, kSevenBitFull);
        else if (!lsb)
            row.msb = static_cast<uint8_t>(message.value); // the pair applies with its LSB
        else
            WriteScaled(row, (static_cast<uint32_t>(row.msb) << 7) | message.value, kFourteenBitFull);
        return false;
    case MidiBehaviour::RelativeTwos:
    case MidiBehaviour::RelativeOffset:
        Relative(b, Delta(b.behaviour, message.value));
        return false;
    case MidiBehaviour::Button:
        if (b.target == MidiTarget::Shift)
            m_shift = pressed;
        else
            m_controls.SetValue(b.controlId, std::max(b.deck, 0), pressed ? b.value : 0,
                                Marks::ChangedAndApply);
        return false;
    case MidiBehaviour::Toggle:
        if (!pressed)
            return false;
        if (b.target == MidiTarget::Shift) {
            m_shift = !m_shift;
        } else {
            const int channel = std::max(b.deck, 0);
            const int32_t next = m_controls.GetValue(b.controlId, channel) != 0 ? 0 : b.value;
            m_controls.SetValue(b.controlId, channel, next, Marks::ChangedAndApply);
        }
        return false;
    case MidiBehaviour::Press:
        if (!pressed)
            return false;
        command = b.target == MidiTarget::Next       ? MidiCommand::Next
                  : b.target == MidiTarget::Previous ? MidiCommand::Previous
                  : b.deck == 1                      ? MidiCommand::LoadDeckB
                                                     : MidiCommand::LoadDeckA;
        return true;
    case MidiBehaviour::JogTouch:
        m_touched[deck] = pressed;
        m_controls.SetValue(ControlId::DeckScratchOn, deck, pressed ? kScratchPlatter : 0,
                            Marks::ChangedAndApply);
        return false;
    case MidiBehaviour::JogTurnTwos:
    case MidiBehaviour::JogTurnOffset:
        Turn(deck, Delta(b.behaviour, message.value) * (m_touched[deck] ? b.step : 1), now);
        return false;
    }
    return false;
}

bool CMidiDispatcher::LampMessage(Lamp& lamp, bool all, uint8_t* bytes) noexcept
{
    const MidiBinding& b = lamp.binding;
    const int value = m_controls.GetValue(b.controlId, std::max(b.deck, 0)) != 0 ? b.onValue : b.offValue;
    if (!all && value == lamp.lastSent)
        return false;
    lamp.lastSent = value;
    bytes[0] = static_cast<uint8_t>((b.kind == MidiMessageKind::Note ? 0x90 : 0xB0) | b.channel);
    bytes[1] = b.number;
    bytes[2] = static_cast<uint8_t>(value);
    return true;
}
