#pragma once

#include <cstdint>
#include <vector>

// Bounds-checked little-endian reads from a Mix-File or its event stream; a read that would pass
// the end fails and moves nothing.
//
// Threads: any; no allocation. The bytes outlive the reader and do not change while it reads.
class CMixByteReader {
public:
    CMixByteReader(const std::vector<uint8_t>& bytes, uint32_t position) noexcept
        : m_bytes(bytes), m_position(position)
    {
    }
    uint32_t Position() const noexcept { return m_position; }
    // The caller checked that the bytes are there.
    void Skip(uint32_t bytes) noexcept { m_position += bytes; }
    bool Read(uint32_t size, uint32_t& value) noexcept
    {
        if (m_bytes.size() - m_position < size)
            return false;
        value = 0;
        for (uint32_t i = 0; i < size; ++i)
            value |= static_cast<uint32_t>(m_bytes[m_position + i]) << (8 * i);
        m_position += size;
        return true;
    }

private:
    const std::vector<uint8_t>& m_bytes; // outlives the reader
    uint32_t m_position;                 // bytes from the start
};
