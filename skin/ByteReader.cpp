#include "ByteReader.h"

#include <cstring>

int32_t CByteReader::ReadI32()
{
    if (Remaining() < 4) {
        m_offset = m_size;
        m_short = true;
        return 0;
    }
    const uint8_t* p = m_data + m_offset;
    m_offset += 4;
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

uint16_t CByteReader::ReadU16()
{
    if (Remaining() < 2) {
        m_offset = m_size;
        m_short = true;
        return 0;
    }
    const uint8_t* p = m_data + m_offset;
    m_offset += 2;
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint8_t CByteReader::ReadU8()
{
    if (Remaining() < 1) {
        m_short = true;
        return 0;
    }
    return m_data[m_offset++];
}

float CByteReader::ReadF32()
{
    const uint32_t bits = static_cast<uint32_t>(ReadI32());
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string CByteReader::ReadShortString()
{
    size_t length = ReadU8();
    if (length > Remaining()) {
        length = Remaining();
        m_short = true;
    }
    std::string text(reinterpret_cast<const char*>(m_data + m_offset), length);
    m_offset += length;
    return text;
}

bool CByteReader::ReadBytes(void* out, size_t size)
{
    if (size > Remaining()) {
        m_short = true;
        return false;
    }
    if (size > 0)
        std::memcpy(out, m_data + m_offset, size);
    m_offset += size;
    return true;
}

bool CByteReader::Skip(size_t size)
{
    if (size > Remaining()) {
        m_offset = m_size;
        m_short = true;
        return false;
    }
    m_offset += size;
    return true;
}
