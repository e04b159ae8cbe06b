#pragma once

#include "MpegBitReader.h"
#include "MpegDecoder.h"
#include "MpegLayer3Stereo.h"
#include "MpegLayer3Tables.h"
#include "MpegSynthesis.h"

#include <array>
#include <cstdint>

// Layer III of ISO/IEC 11172-3 (clause 2.4.3.4) with the lower sampling rates of ISO/IEC
// 13818-3: side information, main data through the bit reservoir, scale factors, Huffman
// decoding, requantisation, M/S and intensity stereo, reordering of short blocks, alias
// reduction, IMDCT with overlap-add, frequency inversion and the polyphase synthesis. Two
// granules per frame for MPEG-1, one for MPEG-2.
//
// Everything lives in fixed members: DecodeFrame allocates nothing. The scale-factor band table
// is chosen at the first frame (the stream holds every later frame to its version and rate).
class CMpegLayer3Decoder : public CMpegDecoder {
public:
    // main_data_begin reaches back at most 511 bytes (9 bits, MPEG-1).
    static constexpr int kMaxMainDataBegin = 511;
    // Main data of one frame: 1441 bytes at 320 kbit/s and 32 kHz with padding; the stream's
    // payload buffer bounds any hostile header.
    static constexpr int kMaxFrameMainData = 2048;
    static constexpr int kReservoirBytes = kMaxMainDataBegin + kMaxFrameMainData;

    CMpegLayer3Decoder();

    void Reset() override;
    // Returns the samples per channel (1152 or 576). A frame whose main_data_begin reaches
    // before the data we hold (the first frames after a seek or a cut) delivers silence of its
    // length and returns 0.
    int DecodeFrame(CMpegStream& stream) override;

private:
    struct Channel {
        int part23Length = 0; // bits of scale factors and Huffman data
        int bigValues = 0;    // pairs, at most 288
        int globalGain = 0;
        int scalefacCompress = 0;
        int blockType = 0; // 0 normal, 1 start, 2 short, 3 stop
        bool mixed = false;
        std::array<int, 3> tableSelect{};
        std::array<int, 3> subblockGain{};
        int region1Start = 0; // lines
        int region2Start = 0; // lines
        int preflag = 0;
        int scalefacScale = 0;
        int count1Table = 0;
    };
    struct SideInfo {
        int mainDataBegin = 0; // bytes
        std::array<std::array<int, 4>, 2> scfsi{};
        std::array<std::array<Channel, 2>, 2> granules{}; // [granule][channel]
    };

    void ChooseBands(int version, int samplingRateIndex);
    // false when the side information is impossible: the frame is damaged.
    bool ReadSideInfo(CMpegStream& stream, int granules, int channels);
    int AppendMainData(CMpegStream& stream);
    void ReadScaleFactorsMpeg1(const Channel& channel, int granule, int ch);
    void ReadScaleFactorsMpeg2(Channel& channel, bool intensityRight, int ch);
    int DecodeSpectrum(const Channel& channel, int endBit);
    int Requantise(const Channel& channel, int ch, int lines);
    void Reorder(int ch, const Channel& channel);
    void AliasReduce(int ch, const Channel& channel, int lines);
    void Transform(int ch, const Channel& channel, int lines, float* out);

    std::array<CMpegSynthesis, 2> m_synthesis;
    std::array<std::array<float, 576>, 2> m_overlap{}; // second halves of the last blocks

    // Main data of the recent frames: the bytes a later main_data_begin may reach back to,
    // then the current frame's, then the zero padding the bit reader needs.
    std::array<uint8_t, kReservoirBytes + CMpegBitReader::kPaddingBytes> m_reservoir{};
    int m_reservoirBytes = 0; // valid bytes at the front of m_reservoir

    bool m_bandsChosen = false;
    bool m_mpeg1 = true;
    ScaleFactorBands m_bands{};
    // Short blocks: line of the window-ordered layout (sub-band, window, line) for each line
    // in transmitted order.
    std::array<int16_t, 576> m_shortOrder{};

    SideInfo m_side;
    CMpegBitReader m_reader;
    std::array<ScaleFactors, 2> m_scaleFactors{};
    int m_intensityScale = 0;                   // 13818-3 right channel: scalefac_compress & 1
    std::array<int32_t, 576 + 4> m_quantised{}; // Huffman output of one channel (+4: a last quad)
    std::array<std::array<float, 576>, 2> m_lines{};
    std::array<float, 576> m_reordered{};
    std::array<int, 2> m_nonZero{};      // lines that may be non-zero per channel
    std::array<float, 18 * 32> m_time{}; // one granule of one channel, [slot][sub-band]
    const float* m_pow43 = nullptr;
};
