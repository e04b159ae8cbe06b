#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Appends little-endian fields for the form, picture and picture-map writers.
class CByteWriter {
public:
    void WriteI32(int32_t value);
    void WriteU16(uint16_t value);
    void WriteU8(uint8_t value) { m_bytes.push_back(value); }
    void WriteF32(float value);
    // Length byte and bytes; text longer than 255 bytes is cut, since the length is one byte.
    void WriteShortString(std::string_view text);
    void WriteBytes(const void* data, size_t size);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};
