#pragma once

#include <array>
#include <cstdint>
#include <vector>

// An MPEG audio file (ISO/IEC 11172-3 and the lower sampling rates of 13818-3, Layers I to III):
// finds and validates frame headers, keeps an index of frame offsets for random access, and
// hands the decoders one frame's payload bit by bit.
//
// The first valid header becomes the reference: later frames must share its sync, version and
// sampling rate bits and its single-channel-or-not, anything else counts as garbage and is
// skipped. The layer is taken from the first frame only. Free format (bit-rate index 0) is not
// supported.
//
// Threads: one at a time (the source's loader/refill thread). OpenFile allocates the index and
// the read buffer; ReadFrame, SeekFrame and GetBits allocate nothing.
class CMpegStream {
public:
    enum class Payload { Read, Skip };

    // Payload buffer: 8 KB held as big-endian 32-bit words, more than the longest frame.
    static constexpr int kPayloadWords = 2048;
    // GetBits reads up to 32 bits from one position; past this bit it delivers 0, so a read never
    // leaves the buffer.
    static constexpr int kLastReadableBit = kPayloadWords * 32 - 33;
    // Frames indexed exactly before a constant bit rate lets the rest be estimated.
    static constexpr int kExactFrames = 768;

    CMpegStream();
    ~CMpegStream();
    CMpegStream(const CMpegStream&) = delete;
    CMpegStream& operator=(const CMpegStream&) = delete;

    // Opens the file and builds the frame index, then returns to the first frame (not yet read)
    // with the reference header cleared. Nonzero on success; a file without any frame still opens
    // with an empty index (its first ReadFrame fails). Closes a previously opened file first.
    int OpenFile(const char* path);
    void Close();

    // Finds the next valid header from the current file position and takes it as the current
    // frame; with Payload::Read the payload fills the buffer (after the CRC word of a protected
    // frame) and the bit position starts at 0. Nonzero on success; 0 at the end of the file, after
    // too much garbage, or when the payload is cut short (a truncated last frame).
    int ReadFrame(Payload payload = Payload::Read);
    // Reads frame n (clamped to the index) with its payload; afterwards CurrentFrame() == n.
    // The file goes to the index entry, and the header search finds the frame from there (an
    // estimated entry may point a little off). Nonzero on success.
    int SeekFrame(int n);

    // The next count (0..32) bits of the payload, most significant first; 0 once the position is
    // past kLastReadableBit. The position advances by count either way.
    uint32_t GetBits(int count)
    {
        const int position = m_bitPosition;
        m_bitPosition += count;
        if (count == 0 || position > kLastReadableBit)
            return 0;
        const int word = position >> 5;
        const int shift = position & 31;
        const uint64_t pair = (static_cast<uint64_t>(m_payload[word]) << 32) | m_payload[word + 1];
        return static_cast<uint32_t>((pair << shift) >> (64 - count));
    }
    // Bits of the payload consumed so far (after the CRC word of a protected frame).
    int BitPosition() const { return m_bitPosition; }
    void SetBitPosition(int bit) { m_bitPosition = bit < 0 ? 0 : bit; }

    // CRC-16 of ISO/IEC 11172-3 clause 2.4.3.1 (polynomial 0x8005, start 0xFFFF) over the last 16
    // header bits and the first protectedBits bits of the payload (bit allocation and scale
    // factor selection for Layers I/II, the side information for Layer III). True when the frame
    // is unprotected or the sum matches its CRC word. Decoding never rejects a frame for a
    // mismatch; this is for diagnostics and tests.
    bool CrcMatches(int protectedBits);

    // 0 while the index is being built, else the number of the current frame (0 before the
    // first).
    int CurrentFrame() const;
    // Entries of the frame index: the track's frames, the first kExactFrames exact.
    int FrameCount() const { return static_cast<int>(m_index.size()); }
    // File offset of a frame's header as indexed (estimated beyond kExactFrames for a constant
    // bit rate); 0 outside the index.
    uint32_t FrameOffset(int n) const;
    bool BitRateChanged() const { return m_bitRateChanged; }

    // Fields of the current header. Before the first frame they describe no frame (zeros).
    int Layer() const { return m_layer; }                         // 1, 2 or 3
    int Version() const { return m_version; }                     // 1 = MPEG-1, 0 = MPEG-2
    int Protection() const { return m_protection; }               // 1 = no CRC, 0 = CRC follows
    int BitRateIndex() const { return m_bitRateIndex; }           // 1..14
    int SamplingRateIndex() const { return m_samplingRateIndex; } // 0..2
    int Padding() const { return m_padding; }                     // 0 or 1
    int Mode() const { return m_mode; } // 0 stereo, 1 joint stereo, 2 dual channel, 3 single
    int ModeExtension() const { return m_modeExtension; } // 0..3, bits 5..4 as they are
    int Channels() const { return m_mode == 3 ? 1 : 2; }
    // Layers I and II: the first sub-band coded jointly (modeExtension x 4 + 4 for joint stereo,
    // else 0), capped at the sub-band limit.
    int Bound() const { return m_bound; }
    // Sub-bands carrying bits: 32 for Layer I; for Layers II and III the MPEG-1 Layer II table
    // choice (8, 12, 27 or 30) by bit rate per channel and sampling rate.
    int SubbandLimit() const { return m_subbandLimit; }
    int FrameBytes() const { return m_frameBytes; }       // header included
    int PayloadBytes() const { return m_frameBytes - 4; } // CRC word included
    // Layer III: bytes of main data in this frame (after the header, CRC and side information);
    // may be negative for a hostile header, which the decoder must treat as no main data.
    int MainDataBytes() const { return m_mainDataBytes; }
    int SideInfoBytes() const; // Layer III side information: 17/32 (MPEG-1), 9/17 (MPEG-2)

    int SamplingRate() const;    // Hz; 44100 before the first frame
    int SamplesPerFrame() const; // 384, 1152 or 576 (MPEG-2 Layer III); 1152 before the first frame
    float FrameDuration() const; // milliseconds; 0 before the first frame
    int BitRate() const;         // kbit/s of the current header; 0 before the first frame

private:
    bool OpenDescriptor(const char* path);
    bool ParseHeader(uint32_t header);
    // Whether a header of the kind just parsed follows the frame (or the audio ends there).
    bool NextHeaderAgrees();
    // Whether the audio ends at offset (the file's end, or a known tag after the audio), or a
    // header whose sync, version, layer and sampling-rate bits are reference's begins there.
    bool HeaderFollowsAt(uint64_t offset, uint32_t reference);
    // Where the tags at the end of the file (ID3v1, APE) begin: the audio ends there.
    uint64_t TrailingTagsStart();
    // Where an ID3v2 tag at the start of the file ends (0 without one).
    uint64_t TagEnd();
    void BuildIndex();
    bool EstimateRest(uint32_t firstOffset, double distance);
    int ReadFileBytes(uint8_t* out, int count);
    void SeekFile(uint64_t offset);

    // The file: a descriptor and a read buffer of our own, since the header search steps back
    // three bytes for every byte it passes over.
    int m_fd = -1;
    uint64_t m_fileBytes = 0;          // size at OpenFile
    uint64_t m_position = 0;           // file offset of the next byte ReadFileBytes delivers
    std::vector<uint8_t> m_readBuffer; // allocated once at OpenFile
    uint64_t m_bufferStart = 0;        // file offset of m_readBuffer[0]
    int m_bufferFill = 0;              // valid bytes in m_readBuffer

    // The current header.
    int m_layer = 0;
    int m_version = 0;
    int m_protection = 1;
    int m_bitRateIndex = 0;
    int m_samplingRateIndex = 0;
    int m_padding = 0;
    int m_mode = 0;
    int m_modeExtension = 0;
    int m_copyright = 0; // header bit 3, stored only
    int m_original = 0;  // header bit 2, stored only
    int m_bound = 0;
    int m_subbandLimit = 32;
    int m_frameBytes = 0;
    int m_mainDataBytes = 0;
    uint32_t m_header = 0; // the whole header word of the current frame

    // The reference the later headers must match.
    bool m_locked = false;
    uint32_t m_reference = 0; // first header & 0xFFF80C00
    bool m_referenceMono = false;

    // The payload and the reading position in it.
    std::array<uint32_t, kPayloadWords> m_payload{};
    int m_payloadWords = 0; // words of m_payload the current frame filled; the rest are zero
    int m_bitPosition = 0;  // bits consumed, may run past the buffer (GetBits then gives 0)
    uint16_t m_crcWord = 0; // the CRC word of a protected frame

    // The frame index.
    std::vector<uint32_t> m_index; // header offsets
    int m_currentFrame = -1;       // -1 before the first frame
    bool m_bitRateChanged = false;
    bool m_indexing = false;
    // The header search fails once it passes this file offset; only the estimate sets it.
    uint64_t m_searchEnd = UINT64_MAX;
    uint64_t m_audioEnd = 0; // no header is looked for from here on: the tags at the end begin
};
