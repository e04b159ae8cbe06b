#pragma once

#include "MpegBitReader.h"

#include <array>
#include <cstdint>

// The Layer III Huffman codes of ISO/IEC 11172-3 Annex B, Table B.7 (13818-3 uses the same):
// the pair tables 0..31 of the big-values region and the quadruple tables A and B of the count1
// region, decoded through lookup tables built once from the code words (clause 2.4.2.7,
// huffmancodebits).
//
// The lookup reads up to kFirstLevelBits bits in one step; longer code words continue in
// sub-tables, so most pairs cost one table read.
class CMpegHuffman {
public:
    // One of the standard's code tables as it is printed: entry x * size + y holds the code
    // word of the pair (x, y), its length in bits and its bits right-aligned.
    struct CodeTable {
        int size = 0;    // values of x and of y: 0..size-1 (0 for the tables that code nothing)
        int linbits = 0; // extra bits after a value of 15
        const uint16_t* codes = nullptr;
        const uint8_t* lengths = nullptr;
    };

    static constexpr int kPairTables = 32;
    static constexpr int kFirstLevelBits = 8;
    // Values of the big-values region after linbits: 15 + 2^13 - 1.
    static constexpr int kMaxValue = 15 + 8191;

    // table_select 0..31; tables 0, 4 and 14 have size 0 (4 and 14 are not used by the
    // standard, and a stream that selects them decodes zeros).
    static const CodeTable& PairTable(int table);
    // count1table_select 0 (table A) or 1 (table B): 16 code words of (v, w, x, y) with v the
    // most significant bit of the entry index.
    static const CodeTable& QuadTable(int table);

    // Decodes pairCount pairs with the given table into out[0..2 * pairCount), signs applied.
    // Returns pairCount, or -1 when the pairs ran past endBit (corrupt data: the values are
    // bounded but meaningless).
    static int DecodePairs(CMpegBitReader& reader, int table, int pairCount, int endBit, int32_t* out);
    // Decodes quadruples into out[first..] until the reader reaches endBit or the granule's 576
    // lines are full. A quadruple that ends past endBit is dropped (ISO/IEC 11172-3 clause
    // 2.4.3.4.6 ends the count1 region with part2_3_length). Returns the end of the non-zero
    // region (the index after the last quadruple kept).
    static int DecodeQuads(CMpegBitReader& reader, int table, int first, int endBit, int32_t* out);
};
