#include "ByteWriter.h"

#include <algorithm>
#include <cstring>

void CByteWriter::WriteI32(int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        m_bytes.push_back(static_cast<uint8_t>(bits >> shift));
}

void CByteWriter::WriteU16(uint16_t value)
{
    m_bytes.push_back(static_cast<uint8_t>(value));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void CByteWriter::WriteF32(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    WriteI32(static_cast<int32_t>(bits));
}

void CByteWriter::WriteShortString(std::string_view text)
{
    const size_t length = std::min<size_t>(text.size(), 255);
    m_bytes.push_back(static_cast<uint8_t>(length));
    m_bytes.insert(m_bytes.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

void CByteWriter::WriteBytes(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), p, p + size);
}
