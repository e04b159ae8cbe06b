#include "MidiStreamDecoder.h"

namespace {

// Data bytes that follow each channel status (0x8n .. 0xEn).
int DataBytes(uint8_t status) noexcept
{
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

} // namespace

void CMidiStreamDecoder::Reset() noexcept
{
    m_status = 0;
    m_have = 0;
    m_inSysEx = false;
    m_skipData = false;
}

bool CMidiStreamDecoder::Take(uint8_t byte, MidiMessage& message) noexcept
{
    if (byte >= 0xF8) // real-time: may come between any two bytes and changes nothing
        return false;
    if (byte >= 0xF0) {
        // System exclusive and system common messages end running status; F7 ends an exclusive
        // block (and is otherwise ignored).
        m_inSysEx = byte == 0xF0;
        m_skipData = !m_inSysEx && byte != 0xF7 && byte != 0xF6;
        m_status = 0;
        m_have = 0;
        return false;
    }
    if (byte >= 0x80) {
        m_inSysEx = false;
        m_skipData = false;
        m_status = byte;
        m_have = 0;
        return false;
    }
    if (m_inSysEx || m_skipData)
        return false;
    if (m_status == 0) {
        ++m_strayBytes;
        return false;
    }
    m_data[m_have++] = byte;
    if (m_have < DataBytes(m_status))
        return false;
    m_have = 0;

    message.channel = m_status & 0x0F;
    switch (m_status & 0xF0) {
    case 0x80:
        message.type = MidiMessageType::NoteOff;
        message.number = m_data[0];
        message.value = m_data[1];
        return true;
    case 0x90:
        // A note-on of velocity 0 is how running status sends a release.
        message.type = m_data[1] == 0 ? MidiMessageType::NoteOff : MidiMessageType::NoteOn;
        message.number = m_data[0];
        message.value = m_data[1];
        return true;
    case 0xB0:
        message.type = MidiMessageType::ControlChange;
        message.number = m_data[0];
        message.value = m_data[1];
        return true;
    case 0xE0:
        message.type = MidiMessageType::PitchBend;
        message.number = 0;
        message.value = static_cast<uint16_t>(m_data[0] | (m_data[1] << 7));
        return true;
    default: // aftertouch and program change: read past, not used by any binding
        return false;
    }
}
