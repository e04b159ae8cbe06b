#include "MidiDevice.h"

CMidiDevice::CMidiDevice(std::string port, std::string mappingName, const CMidiMapping& mapping,
                         CControlTable& controls, CMidiWake& wake)
    : m_port(std::move(port)), m_mappingName(std::move(mappingName)), m_dispatcher(controls, mapping),
      m_wake(wake)
{
}

void CMidiDevice::Receive(const uint8_t* bytes, size_t size, int64_t arrivalNs) noexcept
{
    uint8_t kept[64];
    size_t count = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = bytes[i];
        if (byte >= 0x80 && byte < 0xF8)
            m_inSysEx = byte == 0xF0;
        else if (m_inSysEx && byte < 0x80)
            continue; // the block's contents: the reader skips them anyway
        kept[count++] = byte;
        if (count == sizeof kept) {
            m_ring.Push(kept, count, arrivalNs);
            count = 0;
        }
    }
    if (count > 0)
        m_ring.Push(kept, count, arrivalNs);
    m_wake.Signal();
}
