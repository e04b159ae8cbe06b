#include "MpegHuffman.h"
#include "MpegBitReader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Bits written most significant first, as the main data carries them.
class BitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_bits % 8 == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1)
                m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_bits % 8));
            ++m_bits;
        }
    }
    int Bits() const { return m_bits; }
    // The bytes with the zero padding the reader needs.
    std::vector<uint8_t> Padded() const
    {
        std::vector<uint8_t> bytes = m_bytes;
        bytes.resize(bytes.size() + CMpegBitReader::kPaddingBytes, 0);
        return bytes;
    }
    int Bytes() const { return static_cast<int>(m_bytes.size()); }

private:
    std::vector<uint8_t> m_bytes;
    int m_bits = 0;
};

struct Word {
    uint32_t bits;
    int length;
};

std::vector<Word> Words(const CMpegHuffman::CodeTable& table, int entries)
{
    std::vector<Word> words;
    for (int i = 0; i < entries; ++i)
        words.push_back({table.codes[i], table.lengths[i]});
    return words;
}

// Kraft sum exactly 1 (computed in integers), no word a prefix of another, every word within
// its length: the table is a complete prefix code, so a slip in one transcribed word shows.
void ExpectCompletePrefixCode(const std::vector<Word>& words, const std::string& name)
{
    uint64_t kraft = 0; // in units of 2^-32
    for (const Word& w : words) {
        ASSERT_GE(w.length, 1) << name;
        ASSERT_LE(w.length, 19) << name;
        EXPECT_LT(w.bits, 1u << w.length) << name << ": word longer than its length";
        kraft += uint64_t{1} << (32 - w.length);
    }
    EXPECT_EQ(kraft, uint64_t{1} << 32) << name << ": Kraft sum is not 1";
    for (size_t a = 0; a < words.size(); ++a) {
        for (size_t b = 0; b < words.size(); ++b) {
            if (a == b || words[a].length > words[b].length)
                continue;
            const uint32_t prefix = words[b].bits >> (words[b].length - words[a].length);
            EXPECT_NE(prefix, words[a].bits) << name << ": entry " << a << " is a prefix of entry " << b;
        }
    }
}

TEST(MpegHuffman, EveryTableIsACompletePrefixCode)
{
    for (int t = 0; t < CMpegHuffman::kPairTables; ++t) {
        const CMpegHuffman::CodeTable& table = CMpegHuffman::PairTable(t);
        if (table.size == 0)
            continue;
        ExpectCompletePrefixCode(Words(table, table.size * table.size), "table " + std::to_string(t));
    }
    ExpectCompletePrefixCode(Words(CMpegHuffman::QuadTable(0), 16), "count1 table A");
    ExpectCompletePrefixCode(Words(CMpegHuffman::QuadTable(1), 16), "count1 table B");
}

TEST(MpegHuffman, TableSizesAndLinbitsAreTheStandards)
{
    // ISO/IEC 11172-3 Table B.7: table_select -> values per coordinate and linbits.
    constexpr std::array<int, 32> kSize = {0,  2,  3,  3,  0,  4,  4,  6,  6,  6,  8,  8,  8,  16, 0,  16,
                                           16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
    constexpr std::array<int, 32> kLinbits = {0, 0, 0, 0, 0, 0, 0,  0,  0, 0, 0, 0, 0, 0, 0,  0,
                                              1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
    for (int t = 0; t < CMpegHuffman::kPairTables; ++t) {
        EXPECT_EQ(CMpegHuffman::PairTable(t).size, kSize[t]) << "table " << t;
        EXPECT_EQ(CMpegHuffman::PairTable(t).linbits, kLinbits[t]) << "table " << t;
    }
}

// Every (x, y) of every table, with signs and linbits, written with the code words and read back
// through the lookup tables.
TEST(MpegHuffman, EveryPairOfEveryTableDecodesToItself)
{
    for (int t = 0; t < CMpegHuffman::kPairTables; ++t) {
        const CMpegHuffman::CodeTable& table = CMpegHuffman::PairTable(t);
        if (table.size == 0)
            continue;
        BitWriter writer;
        std::vector<int32_t> expected;
        uint32_t seed = static_cast<uint32_t>(t) * 7919u;
        for (int x = 0; x < table.size; ++x) {
            for (int y = 0; y < table.size; ++y) {
                const int entry = x * table.size + y;
                writer.Put(table.codes[entry], table.lengths[entry]);
                int values[2] = {x, y};
                for (int& v : values) {
                    if (v == 15 && table.linbits > 0) {
                        seed = seed * 1103515245u + 12345u;
                        const uint32_t extra = (seed >> 8) & ((1u << table.linbits) - 1);
                        writer.Put(extra, table.linbits);
                        v += static_cast<int>(extra);
                    }
                    if (v != 0) {
                        const bool negative = ((seed >> 3) ^ static_cast<uint32_t>(entry)) & 1;
                        writer.Put(negative ? 1 : 0, 1);
                        v = negative ? -v : v;
                    }
                }
                expected.push_back(values[0]);
                expected.push_back(values[1]);
            }
        }
        const std::vector<uint8_t> bytes = writer.Padded();
        CMpegBitReader reader;
        reader.Start(bytes.data(), writer.Bytes(), 0);
        const int pairs = static_cast<int>(expected.size() / 2);
        std::vector<int32_t> decoded(expected.size(), 99);
        EXPECT_EQ(CMpegHuffman::DecodePairs(reader, t, pairs, writer.Bits(), decoded.data()), pairs)
            << "table " << t;
        EXPECT_EQ(decoded, expected) << "table " << t;
        EXPECT_EQ(reader.BitPosition(), writer.Bits()) << "table " << t;
    }
}

TEST(MpegHuffman, QuadruplesDecodeUntilTheEndOfTheirBitsAndDropOneThatOverruns)
{
    for (int table = 0; table < 2; ++table) {
        const CMpegHuffman::CodeTable& code = CMpegHuffman::QuadTable(table);
        BitWriter writer;
        std::vector<int32_t> expected;
        for (int index = 0; index < 16; ++index) {
            writer.Put(code.codes[index], code.lengths[index]);
            for (int k = 0; k < 4; ++k) {
                const int bit = (index >> (3 - k)) & 1;
                if (bit)
                    writer.Put(k & 1, 1); // signs alternate with the position
                expected.push_back(bit ? ((k & 1) ? -1 : 1) : 0);
            }
        }
        const int endBit = writer.Bits();
        // A last quadruple (1, 1, 1, 1) whose signs lie past the end.
        writer.Put(code.codes[15], code.lengths[15]);
        writer.Put(0, 4);
        const std::vector<uint8_t> bytes = writer.Padded();
        std::vector<int32_t> out(576 + 4, 7);
        CMpegBitReader reader;
        reader.Start(bytes.data(), writer.Bytes(), 0);
        const int first = 100;
        EXPECT_EQ(CMpegHuffman::DecodeQuads(reader, table, first, endBit, out.data()), first + 64) << table;
        EXPECT_EQ(std::vector<int32_t>(out.begin() + first, out.begin() + first + 64), expected) << table;
        EXPECT_EQ(out[first + 64], 7) << "the overrunning quadruple is not stored";

        // Within 576 lines: a stream of zero quadruples stops at the granule's end.
        BitWriter zeros;
        for (int i = 0; i < 200; ++i)
            zeros.Put(code.codes[0], code.lengths[0]);
        const std::vector<uint8_t> zeroBytes = zeros.Padded();
        reader.Start(zeroBytes.data(), zeros.Bytes(), 0);
        EXPECT_EQ(CMpegHuffman::DecodeQuads(reader, table, 560, zeros.Bits(), out.data()), 576) << table;
    }
}

TEST(MpegHuffman, PairsThatRunPastTheirEndAreReportedAsCorrupt)
{
    // Table 1's word for (1, 1) is "000" plus two sign bits: 40 pairs take 200 bits.
    BitWriter writer;
    for (int i = 0; i < 40; ++i)
        writer.Put(0, 5);
    const std::vector<uint8_t> bytes = writer.Padded();
    std::vector<int32_t> out(80, 0);
    CMpegBitReader reader;
    reader.Start(bytes.data(), writer.Bytes(), 0);
    EXPECT_EQ(CMpegHuffman::DecodePairs(reader, 1, 40, 200, out.data()), 40);
    EXPECT_EQ(out[79], 1);
    reader.Start(bytes.data(), writer.Bytes(), 0);
    EXPECT_EQ(CMpegHuffman::DecodePairs(reader, 1, 40, 199, out.data()), -1);
}

TEST(MpegBitReader, ReadsZerosPastTheEndWithoutTouchingMemoryBeyondThePadding)
{
    std::vector<uint8_t> bytes = {0xA5, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0};
    CMpegBitReader reader;
    reader.Start(bytes.data(), 2, 4);
    EXPECT_EQ(reader.Read(8), 0x50u);
    EXPECT_EQ(reader.Read(4), 0xFu);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(reader.Read(32), 0u);
    EXPECT_EQ(reader.BitPosition(), 16 + 32000);
}

} // namespace
