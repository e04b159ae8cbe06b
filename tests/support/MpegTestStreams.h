#pragma once

#include <cstdint>
#include <vector>

// MPEG audio streams made by tests byte by byte: frames with chosen headers, and a small Layer I
// encoder. The frame arithmetic here is written from the standard's formulas on its own, not
// shared with the decoder.

// The fields of a frame header (ISO/IEC 11172-3 clause 2.4.1.3).
struct MpegHeader {
    int version = 1;           // 1 = MPEG-1, 0 = MPEG-2 lower sampling rates
    int layer = 2;             // 1..3
    int bitRateIndex = 8;      // 0..15, as written (0 and 15 make invalid headers)
    int samplingRateIndex = 0; // 0..3
    int padding = 0;
    int mode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int modeExtension = 0;
    bool crc = false;
};

uint32_t MpegHeaderWord(const MpegHeader& header);
int MpegBitRateKbps(const MpegHeader& header);
int MpegSamplingRateHz(const MpegHeader& header);
// Bytes of a frame with this header, header included.
int MpegFrameBytes(const MpegHeader& header);

// One frame: the header, a CRC word of zeros when protected, then the 32-bit big-endian marker
// and zeros up to the frame's length. Zero allocation decodes to silence in Layers I and II.
std::vector<uint8_t> MarkedMpegFrame(const MpegHeader& header, uint32_t marker);
// Frames 0..count-1 with their numbers as markers; the padding bit follows the bit rate's
// fractional slots the way an encoder sets it, so frame lengths vary like a real file's.
std::vector<uint8_t> MarkedMpegStream(MpegHeader header, int count, uint32_t firstMarker = 0);

// CRC-16 of ISO/IEC 11172-3 clause 2.4.3.1 (x^16 + x^15 + x^2 + 1, preset to ones) over bits of
// bytes, most significant first.
uint16_t MpegCrc16(const uint8_t* bytes, int bits, uint16_t crc = 0xFFFF);

// A Layer I stream (ISO/IEC 11172-3 clause 2.4.1.5) whose sub-band samples are tones of their
// own, quantised with a fixed bit allocation that falls with frequency. The lowest bit rate that
// holds the allocation is chosen; the padding bit keeps the rate exact at 44.1 and 22.05 kHz.
struct Layer1Options {
    int version = 1;           // 1 = MPEG-1, 0 = MPEG-2
    int samplingRateIndex = 1; // 44.1/22.05, 48/24, 32/16 kHz
    int mode = 0;              // as in MpegHeader
    int modeExtension = 0;     // joint stereo: the bound is 4 x (this + 1)
    bool crc = false;
    int frames = 40;
    double level = 1.0; // scales every sub-band's amplitude
    uint32_t seed = 1;  // varies the tones
};
std::vector<uint8_t> EncodeLayer1(const Layer1Options& options);

// A Layer III stream at the lower sampling rates (ISO/IEC 13818-3) in joint stereo, whose
// spectra are chosen line by line instead of analysed from a signal. Every line is -1, 0 or +1
// and is written as a count1 quadruple (table B), so the stream is valid however the lines fall;
// the left channel has lines everywhere, the right channel only up to a chosen scale-factor
// band, and the right channel's scale factors (3 bits, so 7 is the illegal position) are the
// intensity positions above it.
struct Layer3Frame {
    bool shortBlocks = false; // pure short blocks (block type 2), else long (type 0)
    // The highest scale-factor band (long, or short in every window) in which the right channel
    // has a non-zero line; -1 for none.
    int rightLastBand = -1;
    // The right channel's scale factors: long bands 0..20, or short band b window w at 3b + w.
    std::vector<int> rightScaleFactors;
    int intensityScale = 0;
};
struct Layer3Options {
    int samplingRateIndex = 0; // 22.05 or 24 kHz
    bool intensity = true;
    bool midSide = false;
    uint32_t seed = 1; // varies the lines
};
std::vector<uint8_t> EncodeLayer3Lsf(const Layer3Options& options, const std::vector<Layer3Frame>& frames);
