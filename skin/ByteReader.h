#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the little-endian fields of form, picture and picture-map resources from one block of
// memory. Resources carry no lengths to trust: a read past the end yields 0 (an empty string)
// and marks the reader short, so a hostile count ends at the end of the data instead of
// running on.
class CByteReader {
public:
    CByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(data != nullptr ? size : 0) {}

    int32_t ReadI32();
    uint16_t ReadU16();
    uint8_t ReadU8();
    float ReadF32();
    // One length byte and that many bytes; a string cut by the end of the data is kept as far
    // as it goes and marks the reader short.
    std::string ReadShortString();
    // Copies size bytes; false (and nothing consumed) when fewer are left.
    bool ReadBytes(void* out, size_t size);
    const uint8_t* Current() const { return m_data + m_offset; }
    bool Skip(size_t size);

    size_t Remaining() const { return m_size - m_offset; }
    size_t Offset() const { return m_offset; }
    // True once any read ran past the end of the data.
    bool IsShort() const { return m_short; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
    bool m_short = false;
};
