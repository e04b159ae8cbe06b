#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Reads the Layer III main data (ISO/IEC 11172-3 clause 2.4.1.7) most significant bit first
// from a byte buffer, through a 64-bit cache so that one refill serves a whole Huffman pair
// with its linbits and signs (at most 47 bits).
//
// The buffer must hold kPaddingBytes readable bytes past its end, and those bytes must be zero:
// a refill loads eight bytes at once, and past the end the reader delivers zero bits without
// touching memory at all, however far a hostile length field sends it.
class CMpegBitReader {
public:
    static constexpr int kPaddingBytes = 8;
    // Bits a Refill guarantees in the cache.
    static constexpr int kRefillBits = 56;

    // data: the bytes to read (with kPaddingBytes zero bytes after them); bytes: how many of
    // them hold data; startBit: where reading begins.
    void Start(const uint8_t* data, int bytes, int startBit)
    {
        m_data = data;
        m_bytes = bytes;
        m_nextByte = startBit >> 3;
        m_cache = 0;
        m_cacheBits = 0;
        Refill();
        Skip(startBit & 7);
    }

    // Tops the cache up to at least kRefillBits bits.
    void Refill()
    {
        if (m_nextByte <= m_bytes)
            m_cache |= LoadBigEndian(m_data + m_nextByte) >> m_cacheBits;
        m_nextByte += (63 - m_cacheBits) >> 3;
        m_cacheBits |= kRefillBits;
    }

    // The next count (1..32) bits without consuming them; call Refill first as needed.
    uint32_t Peek(int count) const { return static_cast<uint32_t>(m_cache >> (64 - count)); }
    void Skip(int count)
    {
        m_cache <<= count;
        m_cacheBits -= count;
    }
    // Peek and Skip; count 0..32.
    uint32_t Read(int count)
    {
        if (count == 0)
            return 0;
        if (m_cacheBits < count)
            Refill();
        const uint32_t value = Peek(count);
        Skip(count);
        return value;
    }
    // Bits consumed since the start of the buffer.
    int BitPosition() const { return m_nextByte * 8 - m_cacheBits; }
    int CacheBits() const { return m_cacheBits; }

private:
    static uint64_t LoadBigEndian(const uint8_t* bytes)
    {
        uint64_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        if constexpr (std::endian::native == std::endian::little)
            value = __builtin_bswap64(value);
        return value;
    }

    const uint8_t* m_data = nullptr; // not owned; the decoder's reservoir outlives the reader
    int m_bytes = 0;                 // bytes of data before the zero padding
    int m_nextByte = 0;              // byte of m_data the next refill loads from
    uint64_t m_cache = 0;            // unread bits, left-aligned
    int m_cacheBits = 0;             // valid bits in m_cache, 0..63
};
