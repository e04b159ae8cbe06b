#include "MpegStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sync, version, layer and sampling-rate bits: what every frame of a track shares with the first.
constexpr uint32_t kReferenceMask = 0xFFFE0C00;
// Before a reference exists a candidate needs the 12 sync bits set; 11 set bits (the unofficial
// still-lower-rate extension) are not taken.
constexpr uint32_t kSyncMask = 0xFFF00000;
// The header search gives up after this many headers that looked right but failed validation,
// and jumps ahead once half-way, so a long run of near-headers cannot stall a load.
constexpr int kMaxFailedCandidates = 4096;
constexpr int kSkipAfterFailures = 2048;
constexpr int kSkipBytes = 4096;
// Distances between the estimated frames at the end of a constant-bit-rate file.
constexpr int kEstimateStep = 64;
constexpr size_t kInitialIndexEntries = 2048;
constexpr int kReadBufferBytes = 16384;
constexpr int kHeaderBytes = 4;
constexpr int kCrcBytes = 2;
constexpr int kId3v1Bytes = 128;
constexpr int kApeFooterBytes = 32;
constexpr uint32_t kApeHasHeader = 0x80000000u;

// ISO/IEC 11172-3 table 2.4.2.3 (bitrate_index) and 13818-3 table 2.4.2.3, in kbit/s; index 0
// (free format) and 15 (forbidden) are refused before any lookup.
constexpr int kBitRates[2][3][16] = {
    // MPEG-2 lower sampling rates: Layer I, II, III
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    // MPEG-1: Layer I, II, III
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};

// sampling_frequency, Hz, by version (0 = MPEG-2, 1 = MPEG-1) and index.
constexpr int kSamplingRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};

constexpr int kModeJointStereo = 1;
constexpr int kModeSingleChannel = 3;

uint32_t LittleEndian32(const uint8_t* bytes)
{
    return (static_cast<uint32_t>(bytes[3]) << 24) | (static_cast<uint32_t>(bytes[2]) << 16) |
           (static_cast<uint32_t>(bytes[1]) << 8) | bytes[0];
}

uint32_t BigEndian32(const uint8_t* bytes)
{
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

// The MPEG-1 Layer II table choice (ISO/IEC 11172-3 Annex B, tables 3-B.2a..d): by the bit rate
// per channel and the sampling rate, how many sub-bands carry bits.
int Layer2SubbandLimit(int bitRateIndex, int samplingRateIndex, bool singleChannel)
{
    int perChannel = bitRateIndex;
    if (!singleChannel) {
        // 64 kbit/s over two channels is 32 per channel, the lowest rate of the table.
        perChannel = bitRateIndex == 4 ? 1 : bitRateIndex - 4;
    }
    if (perChannel == 1 || perChannel == 2)
        return samplingRateIndex == 2 ? 12 : 8;
    if (samplingRateIndex == 1 || (perChannel >= 3 && perChannel <= 5))
        return 27;
    return 30;
}

// Bytes of a frame, header included (clause 2.4.3.1); 0 for a bit rate that is no size.
int FrameLength(int version, int layer, int bitRateIndex, int samplingRateIndex, int padding)
{
    if (bitRateIndex == 0 || bitRateIndex == 15 || samplingRateIndex > 2 || layer < 1 || layer > 3)
        return 0;
    const int bitRate = kBitRates[version][layer - 1][bitRateIndex] * 1000;
    const int samplingRate = kSamplingRates[version][samplingRateIndex];
    if (layer == 1)
        return (12 * bitRate / samplingRate + padding) * 4;
    if (layer == 2)
        return 144 * bitRate / samplingRate + padding;
    const int slots = 144 * bitRate / samplingRate;
    return (version == 1 ? slots : slots / 2) + padding;
}

} // namespace

CMpegStream::CMpegStream() = default;

CMpegStream::~CMpegStream()
{
    Close();
}

int CMpegStream::OpenFile(const char* path)
{
    Close();
    if (path == nullptr || !OpenDescriptor(path))
        return 0;
    try {
        m_readBuffer.resize(kReadBufferBytes);
        m_index.reserve(kInitialIndexEntries);
    } catch (const std::bad_alloc&) {
        Close();
        return 0;
    }
    m_audioEnd = TrailingTagsStart();
    BuildIndex();
    return 1;
}

bool CMpegStream::OpenDescriptor(const char* path)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer for ever; only regular files play.
    m_fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0)
        return false;
    struct stat status {};
    if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        Close();
        return false;
    }
    m_fileBytes = static_cast<uint64_t>(status.st_size);
    // Indexing and playback both read forward; the kernel may read ahead generously.
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

void CMpegStream::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_fileBytes = 0;
    m_position = 0;
    m_readBuffer.clear();
    m_readBuffer.shrink_to_fit();
    m_bufferStart = 0;
    m_bufferFill = 0;
    m_layer = 0;
    m_version = 0;
    m_protection = 1;
    m_bitRateIndex = 0;
    m_samplingRateIndex = 0;
    m_padding = 0;
    m_mode = 0;
    m_modeExtension = 0;
    m_copyright = 0;
    m_original = 0;
    m_bound = 0;
    m_subbandLimit = 32;
    m_frameBytes = 0;
    m_mainDataBytes = 0;
    m_header = 0;
    m_locked = false;
    m_reference = 0;
    m_referenceMono = false;
    m_payload.fill(0);
    m_payloadWords = 0;
    m_bitPosition = 0;
    m_crcWord = 0;
    m_index.clear();
    m_index.shrink_to_fit();
    m_currentFrame = -1;
    m_bitRateChanged = false;
    m_indexing = false;
    m_searchEnd = std::numeric_limits<uint64_t>::max();
    m_audioEnd = 0;
}

int CMpegStream::ReadFileBytes(uint8_t* out, int count)
{
    int delivered = 0;
    while (delivered < count) {
        if (m_position < m_bufferStart || m_position >= m_bufferStart + static_cast<uint64_t>(m_bufferFill)) {
            if (m_fd < 0 || m_position >= m_fileBytes || m_readBuffer.empty())
                break;
            const ssize_t got =
                ::pread(m_fd, m_readBuffer.data(), m_readBuffer.size(), static_cast<off_t>(m_position));
            if (got <= 0)
                break;
            m_bufferStart = m_position;
            m_bufferFill = static_cast<int>(got);
        }
        const int inBuffer = static_cast<int>(m_bufferStart + m_bufferFill - m_position);
        const int piece = std::min(inBuffer, count - delivered);
        std::memcpy(out + delivered, m_readBuffer.data() + (m_position - m_bufferStart), piece);
        delivered += piece;
        m_position += piece;
    }
    return delivered;
}

void CMpegStream::SeekFile(uint64_t offset)
{
    m_position = offset;
}

bool CMpegStream::ParseHeader(uint32_t header)
{
    // ISO/IEC 11172-3 clause 2.4.2.3; parsed into locals so a refused candidate leaves the
    // current frame as it was.
    const int bitRateIndex = (header >> 12) & 15;
    if (bitRateIndex == 0 || bitRateIndex == 15)
        return false;
    const int mode = (header >> 6) & 3;
    const int modeExtension = (header >> 4) & 3;
    const bool singleChannel = mode == kModeSingleChannel;

    int version = m_version;
    int layer = m_layer;
    int samplingRateIndex = m_samplingRateIndex;
    if (!m_locked) {
        version = (header >> 19) & 1;
        const int layerField = (header >> 17) & 3;
        if (layerField == 0)
            return false;
        layer = 4 - layerField;
        samplingRateIndex = (header >> 10) & 3;
        if (samplingRateIndex == 3)
            return false;
        // The bit-rate and mode combinations 11172-3 allows for Layer II (clause 2.4.2.3); the
        // lower sampling rates of 13818-3 allow every combination.
        if (layer == 2 && version == 1) {
            const bool lowRate = bitRateIndex <= 3 || bitRateIndex == 5;
            if (singleChannel ? bitRateIndex >= 11 : lowRate)
                return false;
        }
    }

    const int padding = (header >> 9) & 1;
    const int frameBytes = FrameLength(version, layer, bitRateIndex, samplingRateIndex, padding);
    // Cannot happen with the tables above (the longest frame is 1729 bytes), but the payload
    // buffer must never be asked to hold more.
    if (frameBytes <= kHeaderBytes + kCrcBytes || frameBytes - kHeaderBytes > kPayloadWords * 4)
        return false;

    m_header = header;
    m_version = version;
    m_layer = layer;
    m_samplingRateIndex = samplingRateIndex;
    m_bitRateIndex = bitRateIndex;
    m_mode = mode;
    m_modeExtension = modeExtension;
    m_protection = (header >> 16) & 1;
    m_padding = padding;
    m_copyright = (header >> 3) & 1;
    m_original = (header >> 2) & 1;
    m_frameBytes = frameBytes;
    m_subbandLimit = layer == 1 ? 32 : Layer2SubbandLimit(bitRateIndex, samplingRateIndex, singleChannel);
    m_bound = mode == kModeJointStereo ? std::min(modeExtension * 4 + 4, m_subbandLimit) : 0;
    m_mainDataBytes = frameBytes - kHeaderBytes - (m_protection == 0 ? kCrcBytes : 0) - SideInfoBytes();
    return true;
}

int CMpegStream::ReadFrame(Payload payload)
{
    if (m_fd < 0)
        return 0;
    int failedCandidates = 0;
    for (;;) {
        // Nothing is looked for inside the tags at the end: a sync pattern there is no frame.
        if (m_position > m_searchEnd || m_position >= m_audioEnd)
            return 0;
        uint8_t bytes[kHeaderBytes];
        if (ReadFileBytes(bytes, kHeaderBytes) < kHeaderBytes)
            return 0;
        const uint32_t word = BigEndian32(bytes);
        const bool sameKind = m_locked && (word & kReferenceMask) == m_reference;
        const bool mono = ((word >> 6) & 3) == kModeSingleChannel;
        if (sameKind && mono != m_referenceMono) {
            // A frame of the other channel mode is not played; it is passed over whole when a
            // header of this stream follows it, so that bytes inside it are never taken for a
            // frame.
            const int length =
                FrameLength(m_version, m_layer, (word >> 12) & 15, m_samplingRateIndex, (word >> 9) & 1);
            const uint64_t next = m_position - kHeaderBytes + static_cast<uint64_t>(length);
            if (length > kHeaderBytes && HeaderFollowsAt(next, m_reference)) {
                m_position = next;
                continue;
            }
        }
        const bool candidate =
            m_locked ? sameKind && mono == m_referenceMono : (word & kSyncMask) == kSyncMask;
        if (candidate && ParseHeader(word) &&
            (m_locked || !m_indexing || !m_index.empty() || NextHeaderAgrees()))
            break;
        // Advance by one byte: a header may start anywhere.
        m_position -= kHeaderBytes - 1;
        if (!candidate)
            continue;
        ++failedCandidates;
        if (failedCandidates == kSkipAfterFailures)
            m_position += kSkipBytes;
        if (failedCandidates >= kMaxFailedCandidates)
            return 0;
    }
    if (!m_locked) {
        m_locked = true;
        m_reference = m_header & kReferenceMask;
        m_referenceMono = m_mode == kModeSingleChannel;
    }

    int payloadBytes = PayloadBytes();
    if (m_protection == 0) {
        uint8_t crc[kCrcBytes];
        if (ReadFileBytes(crc, kCrcBytes) < kCrcBytes)
            return 0;
        m_crcWord = static_cast<uint16_t>((crc[0] << 8) | crc[1]);
        payloadBytes -= kCrcBytes;
    }
    if (payload == Payload::Skip) {
        // A frame cut short by the end of the file is no frame.
        if (m_position + static_cast<uint64_t>(payloadBytes) > m_fileBytes)
            return 0;
        m_position += static_cast<uint64_t>(payloadBytes);
    } else {
        auto* bytes = reinterpret_cast<uint8_t*>(m_payload.data());
        if (ReadFileBytes(bytes, payloadBytes) < payloadBytes)
            return 0;
        // Bits past the payload read as zero rather than as an earlier frame's.
        const int words = (payloadBytes + 3) / 4;
        std::memset(bytes + payloadBytes, 0, static_cast<size_t>(words * 4 - payloadBytes));
        if (m_payloadWords > words)
            std::fill(m_payload.begin() + words, m_payload.begin() + m_payloadWords, 0u);
        m_payloadWords = words;
        for (int i = 0; i < words; ++i)
            m_payload[i] = BigEndian32(bytes + 4 * i);
        m_bitPosition = 0;
    }
    ++m_currentFrame;
    return 1;
}

int CMpegStream::SeekFrame(int n)
{
    if (m_index.empty())
        return 0;
    n = std::clamp(n, 0, FrameCount() - 1);
    SeekFile(m_index[n]);
    m_currentFrame = n - 1;
    return ReadFrame(Payload::Read);
}

bool CMpegStream::CrcMatches(int protectedBits)
{
    if (m_protection != 0)
        return true;
    // ISO/IEC 11172-3 clause 2.4.3.1: generator x^16 + x^15 + x^2 + 1, register preset to ones.
    uint16_t crc = 0xFFFF;
    auto feed = [&crc](uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            const bool carry = ((crc >> 15) ^ (value >> i)) & 1;
            crc = static_cast<uint16_t>(crc << 1);
            if (carry)
                crc ^= 0x8005;
        }
    };
    feed(m_header & 0xFFFF, 16);
    const int saved = m_bitPosition;
    m_bitPosition = 0;
    int left = std::clamp(protectedBits, 0, kLastReadableBit);
    while (left > 0) {
        const int bits = std::min(left, 32);
        feed(GetBits(bits), bits);
        left -= bits;
    }
    m_bitPosition = saved;
    return crc == m_crcWord;
}

bool CMpegStream::NextHeaderAgrees()
{
    // The first lock decides the whole stream, so a sync pattern inside a tag or other data
    // must not win it: a real frame is followed by another of the same kind, by the end of the
    // file, or by a tag there.
    const uint64_t next = m_position - kHeaderBytes + static_cast<uint64_t>(m_frameBytes);
    return HeaderFollowsAt(next, m_header & kReferenceMask);
}

bool CMpegStream::HeaderFollowsAt(uint64_t offset, uint32_t reference)
{
    if (offset == m_audioEnd || offset + kHeaderBytes > m_fileBytes)
        return true;
    if (offset + kHeaderBytes > m_audioEnd)
        return false;
    const uint64_t resume = m_position;
    uint8_t bytes[kHeaderBytes];
    SeekFile(offset);
    const bool follows = ReadFileBytes(bytes, kHeaderBytes) == kHeaderBytes &&
                         (BigEndian32(bytes) & kReferenceMask) == reference;
    SeekFile(resume);
    return follows;
}

uint64_t CMpegStream::TrailingTagsStart()
{
    uint64_t end = m_fileBytes;
    uint8_t bytes[kApeFooterBytes];
    // ID3v1: "TAG" and 125 bytes of fields, the file's last 128 bytes.
    if (end >= kId3v1Bytes) {
        SeekFile(end - kId3v1Bytes);
        if (ReadFileBytes(bytes, 3) == 3 && std::memcmp(bytes, "TAG", 3) == 0)
            end -= kId3v1Bytes;
    }
    // APE (versions 1 and 2), before an ID3v1 tag when both are there: a 32-byte footer of
    // "APETAGEX", version, the bytes of the items and the footer, item count and flags (bit 31:
    // a 32-byte header comes first).
    if (end >= kApeFooterBytes) {
        SeekFile(end - kApeFooterBytes);
        if (ReadFileBytes(bytes, kApeFooterBytes) == kApeFooterBytes &&
            std::memcmp(bytes, "APETAGEX", 8) == 0) {
            const uint64_t tagBytes =
                static_cast<uint64_t>(LittleEndian32(bytes + 12)) +
                ((LittleEndian32(bytes + 20) & kApeHasHeader) != 0 ? kApeFooterBytes : 0);
            if (tagBytes >= kApeFooterBytes && tagBytes <= end)
                end -= tagBytes;
        }
    }
    SeekFile(0);
    return end;
}

uint64_t CMpegStream::TagEnd()
{
    // An ID3v2 tag before the audio: "ID3", version, flags, then a 28-bit size in four 7-bit
    // bytes (ID3v2.4 adds a 10-byte footer when flag 0x10 is set).
    uint8_t tag[10];
    SeekFile(0);
    if (ReadFileBytes(tag, 10) < 10 || tag[0] != 'I' || tag[1] != 'D' || tag[2] != '3' || tag[3] == 0xFF ||
        tag[4] == 0xFF || ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80) != 0)
        return 0;
    const uint64_t size = static_cast<uint64_t>(tag[6]) << 21 | static_cast<uint64_t>(tag[7]) << 14 |
                          static_cast<uint64_t>(tag[8]) << 7 | tag[9];
    const uint64_t end = 10 + size + ((tag[5] & 0x10) != 0 ? 10 : 0);
    return end < m_fileBytes ? end : 0;
}

void CMpegStream::BuildIndex()
{
    m_indexing = true;
    SeekFile(TagEnd());
    int firstBitRateIndex = 0;
    uint64_t distanceSum = 0; // bytes between the first and the last indexed frame
    while (ReadFrame(Payload::Skip)) {
        const uint64_t offset = m_position - static_cast<uint64_t>(PayloadBytes()) - kHeaderBytes;
        // Offsets are 32-bit; a file beyond 4 GiB plays up to there.
        if (offset > std::numeric_limits<uint32_t>::max())
            break;
        if (m_index.empty()) {
            firstBitRateIndex = m_bitRateIndex;
        } else {
            distanceSum += offset - m_index.back();
            if (m_bitRateIndex != firstBitRateIndex)
                m_bitRateChanged = true;
        }
        try {
            m_index.push_back(static_cast<uint32_t>(offset));
        } catch (const std::bad_alloc&) {
            break;
        }
        if (static_cast<int>(m_index.size()) == kExactFrames && !m_bitRateChanged) {
            const double distance = static_cast<double>(distanceSum) / (kExactFrames - 1);
            if (EstimateRest(m_index[0], distance))
                break;
        }
    }
    SeekFile(m_index.empty() ? 0 : m_index[0]);
    m_locked = false;
    m_currentFrame = -1;
    m_indexing = false;
}

bool CMpegStream::EstimateRest(uint32_t firstOffset, double distance)
{
    // A constant bit rate puts frame i at firstOffset + i x distance (padding makes the
    // distance fractional). Only a stretch at the end is read, to count the frames.
    const uint64_t resumePosition = m_position;
    const int resumeFrame = m_currentFrame;
    long estimate = std::lround(static_cast<double>(m_fileBytes - firstOffset) / distance) - kEstimateStep;
    uint64_t failedFrom = std::numeric_limits<uint64_t>::max();
    while (estimate >= kExactFrames) {
        SeekFile(firstOffset + static_cast<uint64_t>(std::llround(estimate * distance)));
        // A search from further back that passes where the last one failed would fail too:
        // stopping there keeps garbage at the end from costing a scan per step.
        m_searchEnd = failedFrom;
        const uint64_t start = m_position;
        const bool found = ReadFrame(Payload::Skip) != 0;
        m_searchEnd = std::numeric_limits<uint64_t>::max();
        if (found) {
            long total = estimate + 1;
            while (ReadFrame(Payload::Skip) && total < std::numeric_limits<int>::max())
                ++total;
            try {
                m_index.reserve(static_cast<size_t>(total));
            } catch (const std::bad_alloc&) {
                break;
            }
            for (long i = kExactFrames; i < total; ++i) {
                const double offset = std::round(firstOffset + static_cast<double>(i) * distance);
                m_index.push_back(static_cast<uint32_t>(
                    std::min(offset, static_cast<double>(std::numeric_limits<uint32_t>::max()))));
            }
            return true;
        }
        failedFrom = start;
        estimate -= kEstimateStep;
    }
    // The end is too close for an estimate to pay: scan on exactly.
    SeekFile(resumePosition);
    m_currentFrame = resumeFrame;
    return false;
}

uint32_t CMpegStream::FrameOffset(int n) const
{
    return n >= 0 && n < FrameCount() ? m_index[n] : 0;
}

int CMpegStream::CurrentFrame() const
{
    if (m_indexing)
        return 0;
    return std::max(m_currentFrame, 0);
}

int CMpegStream::SideInfoBytes() const
{
    const bool single = m_mode == kModeSingleChannel;
    if (m_version == 1)
        return single ? 17 : 32;
    return single ? 9 : 17;
}

int CMpegStream::SamplingRate() const
{
    return m_layer == 0 ? 44100 : kSamplingRates[m_version][m_samplingRateIndex];
}

int CMpegStream::SamplesPerFrame() const
{
    if (m_layer == 1)
        return 384;
    if (m_layer == 3 && m_version == 0)
        return 576;
    return 1152;
}

float CMpegStream::FrameDuration() const
{
    return m_layer == 0 ? 0.0f : SamplesPerFrame() * 1000.0f / SamplingRate();
}

int CMpegStream::BitRate() const
{
    return m_layer == 0 ? 0 : kBitRates[m_version][m_layer - 1][m_bitRateIndex];
}
