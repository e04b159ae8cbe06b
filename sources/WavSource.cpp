#include "WavSource.h"

#include "ChannelDownMix.h"
#include "HalfBandDecimator.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

using Encoding = CWavSource::Encoding;
static_assert(CWavSource::kMaxChannels <= CChannelDownMix::kMaxChannels);

constexpr size_t kRiffHeaderBytes = 12;       // "RIFF", size, "WAVE"
constexpr size_t kChunkHeaderBytes = 8;       // identifier, little-endian size
constexpr size_t kFormatBytes = 16;           // the PCM part of "fmt "; extensions follow it
constexpr size_t kExtensibleFormatBytes = 40; // + extension size, valid bits, channel mask, GUID
constexpr uint16_t kExtensionBytes = 22;      // what an extensible format's extension size says
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kMaxDirectRateHz = 65535; // what the interface's 16-bit rate carries
// An extensible sub-format GUID is a plain format tag (its first two bytes) followed by these.
constexpr uint8_t kSubFormatGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// Float samples are limited to 8 times full scale (in 16-bit units) before mixing and filtering,
// so that an infinite sample cannot turn a filter sum into NaN; the output clips far below.
constexpr float kFloatLimit = 8.0f * 32768.0f;

uint16_t Le16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t Le32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

uint64_t Le64(const uint8_t* bytes)
{
    return static_cast<uint64_t>(Le32(bytes)) | (static_cast<uint64_t>(Le32(bytes + 4)) << 32);
}

// Names of the tags other tools put into WAVE files, for the reason given when one is refused.
const char* FormatTagName(uint16_t tag)
{
    struct Named {
        uint16_t tag;
        const char* name;
    };
    static constexpr Named kNames[] = {
        {0x0002, " (Microsoft ADPCM)"},
        {0x0006, " (A-law)"},
        {0x0007, " (mu-law)"},
        {0x0011, " (IMA ADPCM)"},
        {0x0031, " (GSM 6.10)"},
        {0x0050, " (MPEG audio)"},
        {0x0055, " (MPEG Layer III)"},
        {0x00FF, " (AAC)"},
        {0x0161, " (Windows Media Audio)"},
        {0x2000, " (AC-3)"},
        {0x2001, " (DTS)"},
        {0xF1AC, " (FLAC)"},
    };
    for (const Named& named : kNames) {
        if (named.tag == tag)
            return named.name;
    }
    return "";
}

// Integer PCM keeps its top 16 bits: the two most significant bytes of the little-endian sample.
// Truncating rather than rounding keeps full scale from wrapping and costs at most one 16-bit
// step, far below the dither of any 24-bit master.
template <int Bytes> int16_t SampleAt(const uint8_t* bytes)
{
    if constexpr (Bytes == 1) {
        // 8-bit PCM is unsigned with 128 as silence.
        return static_cast<int16_t>((bytes[0] - 128) * 256);
    } else {
        return static_cast<int16_t>(static_cast<uint16_t>(bytes[Bytes - 2] | (bytes[Bytes - 1] << 8)));
    }
}

template <int Bytes>
void Deinterleave(const uint8_t* raw, int frames, bool stereo, int16_t* left, int16_t* right)
{
    if (stereo) {
        for (int i = 0; i < frames; ++i, raw += 2 * Bytes) {
            left[i] = SampleAt<Bytes>(raw);
            right[i] = SampleAt<Bytes>(raw + Bytes);
        }
    } else {
        for (int i = 0; i < frames; ++i, raw += Bytes) {
            left[i] = SampleAt<Bytes>(raw);
            right[i] = left[i];
        }
    }
}

void Convert(const uint8_t* raw, int frames, int bytesPerSample, bool stereo, int16_t* left, int16_t* right)
{
    switch (bytesPerSample) {
    case 1:
        Deinterleave<1>(raw, frames, stereo, left, right);
        break;
    case 2:
        Deinterleave<2>(raw, frames, stereo, left, right);
        break;
    case 3:
        Deinterleave<3>(raw, frames, stereo, left, right);
        break;
    default:
        Deinterleave<4>(raw, frames, stereo, left, right);
        break;
    }
}

float LimitFloat(float scaled)
{
    if (scaled != scaled)
        return 0.0f; // NaN: a broken sample must not reach the speakers as full scale
    return std::clamp(scaled, -kFloatLimit, kFloatLimit);
}

// One sample in 16-bit units, at full precision for the mixer and the filter. Float is scaled
// by 32767 as the MPEG source scales its output, so that full scale meets 32767 in both.
template <Encoding E> float ValueAt(const uint8_t* bytes)
{
    if constexpr (E == Encoding::Unsigned8) {
        return static_cast<float>((bytes[0] - 128) * 256);
    } else if constexpr (E == Encoding::Signed16) {
        return static_cast<float>(static_cast<int16_t>(Le16(bytes)));
    } else if constexpr (E == Encoding::Signed24) {
        const uint32_t bits =
            (static_cast<uint32_t>(Le16(bytes)) << 8) | (static_cast<uint32_t>(bytes[2]) << 24);
        return static_cast<float>(static_cast<int32_t>(bits)) / 65536.0f;
    } else if constexpr (E == Encoding::Signed32) {
        return static_cast<float>(static_cast<int32_t>(Le32(bytes))) / 65536.0f;
    } else if constexpr (E == Encoding::Float32) {
        return LimitFloat(std::bit_cast<float>(Le32(bytes)) * 32767.0f);
    } else {
        return LimitFloat(static_cast<float>(std::bit_cast<double>(Le64(bytes)) * 32767.0));
    }
}

template <Encoding E>
void MixToPlanes(const uint8_t* raw, int frames, int channels, int bytesPerSample, const float* mixLeft,
                 const float* mixRight, float* left, float* right)
{
    for (int i = 0; i < frames; ++i) {
        float sumLeft = 0.0f;
        float sumRight = 0.0f;
        for (int channel = 0; channel < channels; ++channel, raw += bytesPerSample) {
            const float value = ValueAt<E>(raw);
            sumLeft += mixLeft[channel] * value;
            sumRight += mixRight[channel] * value;
        }
        left[i] = sumLeft;
        right[i] = sumRight;
    }
}

// Rounded to nearest and clipped, as the MPEG source converts.
int16_t ToPcm16(float value)
{
    if (value >= 32767.0f)
        return 32767;
    if (value <= -32768.0f)
        return -32768;
    if (value == value)
        return static_cast<int16_t>(std::lrint(value));
    return 0;
}

} // namespace

CWavSource::~CWavSource()
{
    Close();
}

const char* CWavSource::GetTitle() const
{
    return m_open ? m_title.c_str() : nullptr;
}

uint16_t CWavSource::GetSampleRate() const
{
    return m_sampleRate;
}

const char* CWavSource::GetOpenError() const
{
    return m_openError[0] != '\0' ? m_openError.data() : nullptr;
}

int CWavSource::Open(const char* path)
{
    Close();
    m_openError[0] = '\0';
    if (path == nullptr) {
        Fail("no file name");
        return 0;
    }
    if (!OpenFile(path))
        return 0;
    try {
        m_title = TitleOf(path);
    } catch (const std::bad_alloc&) {
        Fail("out of memory");
        Close();
        return 0;
    }
    if (!ReadChunks() || !PrepareBuffers()) {
        Close();
        return 0;
    }
    m_currentFrame = 0;
    // Reading the chunks moved the file; the first ReadBlock positions it at the data.
    m_seekPending = true;
    m_open = true;
    return 1;
}

void CWavSource::Close()
{
    m_file.reset();
    m_fileBytes = 0;
    m_title.clear();
    m_sampleRate = 44100;
    m_decimation = 1;
    m_encoding = Encoding::Signed16;
    m_bytesPerSample = 2;
    m_channels = 2;
    m_direct = true;
    m_dataStart = 0;
    m_fileFrames = 0;
    m_totalFrames = 0;
    m_currentFrame = 0;
    m_filePosition = 0;
    m_seekPending = false;
    m_open = false;
    m_raw = {};
    m_planes = {};
    m_stage = {};
    m_planeFrames = 0;
}

int CWavSource::GetBlockFrames() const
{
    return kBlockFrames;
}

int CWavSource::GetBlockCount() const
{
    return static_cast<int>((m_totalFrames + kBlockFrames - 1) / kBlockFrames);
}

void CWavSource::SeekBlock(int index)
{
    m_currentFrame = static_cast<int64_t>(std::max(index, 0)) * kBlockFrames;
}

int CWavSource::GetCurrentBlock() const
{
    return static_cast<int>((m_currentFrame + kBlockFrames - 1) / kBlockFrames);
}

float CWavSource::GetBlockDuration() const
{
    // m_sampleRate is never 0: Open refuses such files and Close restores 44100.
    return static_cast<float>(kBlockFrames) * 1000.0f / static_cast<float>(m_sampleRate);
}

int CWavSource::ReadBlock(int16_t* left, int16_t* right) noexcept
{
    if (!m_open || left == nullptr || right == nullptr)
        return 0;
    const int64_t framesLeft = m_totalFrames - m_currentFrame;
    if (framesLeft <= 0)
        return 0;
    const int frames = static_cast<int>(std::min<int64_t>(framesLeft, kBlockFrames));

    if (m_direct) {
        ReadFrames(m_currentFrame, frames);
        Convert(m_raw.data(), frames, m_bytesPerSample, m_channels == 2, left, right);
    } else {
        // Every block reads the file frames its filter reaches, so a block comes out the same
        // whether it follows its neighbour or a seek. Beyond the file's ends the input is
        // silence, and for a quartering the first halving runs on into that silence: the result
        // is the two filters applied to the file padded with silence, wherever a block starts.
        constexpr int kReach = CHalfBandDecimator::kReach;
        float* planeLeft = m_planes.data();
        float* planeRight = planeLeft + m_planeFrames;
        // Empty unless the file is halved.
        float* stageLeft = m_stage.data();
        float* stageRight = m_stage.empty() ? nullptr : stageLeft + m_planeFrames;
        const float* outLeft = planeLeft;
        const float* outRight = planeRight;
        if (m_decimation == 1) {
            ReadFrames(m_currentFrame, frames);
            ToPlanes(frames);
        } else if (m_decimation == 2) {
            const int inputFrames = CHalfBandDecimator::InputFrames(frames);
            ReadFrames(2 * m_currentFrame - kReach, inputFrames);
            ToPlanes(inputFrames);
            CHalfBandDecimator::Decimate(planeLeft, frames, stageLeft);
            CHalfBandDecimator::Decimate(planeRight, frames, stageRight);
            outLeft = stageLeft;
            outRight = stageRight;
        } else {
            const int64_t firstStageFrame = 2 * m_currentFrame - kReach;
            const int stageFrames = CHalfBandDecimator::InputFrames(frames);
            const int inputFrames = CHalfBandDecimator::InputFrames(stageFrames);
            ReadFrames(2 * firstStageFrame - kReach, inputFrames);
            ToPlanes(inputFrames);
            CHalfBandDecimator::Decimate(planeLeft, stageFrames, stageLeft);
            CHalfBandDecimator::Decimate(planeRight, stageFrames, stageRight);
            CHalfBandDecimator::Decimate(stageLeft, frames, planeLeft);
            CHalfBandDecimator::Decimate(stageRight, frames, planeRight);
        }
        for (int i = 0; i < frames; ++i) {
            left[i] = ToPcm16(outLeft[i]);
            right[i] = ToPcm16(outRight[i]);
        }
    }
    std::fill(left + frames, left + kBlockFrames, int16_t{0});
    std::fill(right + frames, right + kBlockFrames, int16_t{0});
    m_currentFrame += frames;
    return frames;
}

void CWavSource::ReadFrames(int64_t firstFrame, int count) noexcept
{
    const size_t frameBytes = FrameBytes();
    const uint8_t silence = m_encoding == Encoding::Unsigned8 ? 0x80 : 0x00;
    uint8_t* raw = m_raw.data();
    const int64_t begin = std::max<int64_t>(firstFrame, 0);
    const int64_t end = std::min<int64_t>(firstFrame + count, m_fileFrames);
    if (begin >= end) {
        std::memset(raw, silence, static_cast<size_t>(count) * frameBytes);
        return;
    }
    const size_t before = static_cast<size_t>(begin - firstFrame) * frameBytes;
    const size_t wanted = static_cast<size_t>(end - begin) * frameBytes;
    const size_t after = static_cast<size_t>(firstFrame + count - end) * frameBytes;
    std::memset(raw, silence, before);

    const uint64_t offset = m_dataStart + static_cast<uint64_t>(begin) * frameBytes;
    if (m_seekPending || offset != m_filePosition)
        m_seekPending = fseeko(m_file.get(), static_cast<off_t>(offset), SEEK_SET) != 0;
    size_t got = 0;
    if (!m_seekPending) {
        got = std::fread(raw + before, 1, wanted, m_file.get());
        m_filePosition = offset + got;
    }
    if (got < wanted) {
        // The file shrank after Open or the disk failed: the missing part plays as silence, and
        // the next read positions the file afresh.
        std::memset(raw + before + got, silence, wanted - got);
        m_seekPending = true;
    }
    std::memset(raw + before + wanted, silence, after);
}

void CWavSource::ToPlanes(int count) noexcept
{
    const uint8_t* raw = m_raw.data();
    float* left = m_planes.data();
    float* right = left + m_planeFrames;
    const float* mixLeft = m_mixLeft.data();
    const float* mixRight = m_mixRight.data();
    switch (m_encoding) {
    case Encoding::Unsigned8:
        MixToPlanes<Encoding::Unsigned8>(raw, count, m_channels, m_bytesPerSample, mixLeft, mixRight, left,
                                         right);
        break;
    case Encoding::Signed16:
        MixToPlanes<Encoding::Signed16>(raw, count, m_channels, m_bytesPerSample, mixLeft, mixRight, left,
                                        right);
        break;
    case Encoding::Signed24:
        MixToPlanes<Encoding::Signed24>(raw, count, m_channels, m_bytesPerSample, mixLeft, mixRight, left,
                                        right);
        break;
    case Encoding::Signed32:
        MixToPlanes<Encoding::Signed32>(raw, count, m_channels, m_bytesPerSample, mixLeft, mixRight, left,
                                        right);
        break;
    case Encoding::Float32:
        MixToPlanes<Encoding::Float32>(raw, count, m_channels, m_bytesPerSample, mixLeft, mixRight, left,
                                       right);
        break;
    case Encoding::Float64:
        MixToPlanes<Encoding::Float64>(raw, count, m_channels, m_bytesPerSample, mixLeft, mixRight, left,
                                       right);
        break;
    }
}

bool CWavSource::OpenFile(const char* path)
{
    // O_NONBLOCK so that a FIFO in a playlist cannot hang the loader; it has no effect on the
    // regular files that pass the check below.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Fail("cannot open the file: %s", std::strerror(errno));
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return Fail("cannot examine the file: %s", std::strerror(error));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return Fail("not a regular file");
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return Fail("out of memory");
    }
    m_file.reset(file);
    m_fileBytes = static_cast<uint64_t>(status.st_size);
    return true;
}

bool CWavSource::ReadAt(uint64_t offset, void* buffer, size_t bytes)
{
    if (offset > m_fileBytes || bytes > m_fileBytes - offset)
        return false;
    if (fseeko(m_file.get(), static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(buffer, 1, bytes, m_file.get()) == bytes;
}

// Walks the chunks after the RIFF header until the "data" chunk. Every size is checked against
// the bytes left in the file before it is used, so a lying size ends the walk instead of
// sending it past the end.
bool CWavSource::ReadChunks()
{
    uint8_t riff[kRiffHeaderBytes];
    if (!ReadAt(0, riff, sizeof riff))
        return Fail("too short for a WAVE file");
    // The RIFF size is ignored: writers that stream often leave it 0 or too large.
    if (std::memcmp(riff, "RIFF", 4) != 0)
        return Fail("not a RIFF file");
    if (std::memcmp(riff + 8, "WAVE", 4) != 0)
        return Fail("a RIFF file but not WAVE");

    bool haveFormat = false;
    uint64_t offset = kRiffHeaderBytes;
    uint8_t header[kChunkHeaderBytes];
    while (ReadAt(offset, header, sizeof header)) {
        offset += kChunkHeaderBytes;
        const uint64_t size = Le32(header + 4);
        const uint64_t bytesLeft = m_fileBytes - offset;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (size < kFormatBytes)
                return Fail("a format chunk of %u bytes, short of the 16 of PCM",
                            static_cast<unsigned>(size));
            if (size > bytesLeft)
                return Fail("the format chunk runs past the end of the file");
            uint8_t format[kExtensibleFormatBytes];
            const size_t formatBytes = std::min<size_t>(size, sizeof format);
            if (!ReadAt(offset, format, formatBytes))
                return Fail("the format chunk cannot be read");
            if (!TakeFormat(format, formatBytes))
                return false;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            // Without a format first the sample width is unknown. Searching on for a later
            // "fmt " would accept files that no other player reads either.
            if (!haveFormat)
                return Fail("the data chunk comes before the format chunk");
            m_dataStart = offset;
            // A file cut short still plays what it holds; blocks beyond its end are never
            // reported.
            m_fileFrames = static_cast<int64_t>(std::min(size, bytesLeft) / FrameBytes());
            m_totalFrames = (m_fileFrames + m_decimation - 1) / m_decimation;
            return true;
        } else if (size > bytesLeft) {
            char id[5];
            for (size_t i = 0; i < 4; ++i)
                id[i] = header[i] >= 0x20 && header[i] < 0x7F ? static_cast<char>(header[i]) : '?';
            id[4] = '\0';
            return Fail("the \"%s\" chunk runs past the end of the file", id);
        }
        // Skipped by the size exactly, without the pad byte RIFF puts after an odd size, so that
        // files written without the pad keep opening. The price: a padded odd chunk before
        // "data" hides the data chunk and the file is refused.
        offset += size;
    }
    return Fail(haveFormat ? "no data chunk" : "no format chunk");
}

// The format: tag, channels, rate, byte rate, block align, bits per sample; for the extensible
// tag then extension size, valid bits, channel mask and sub-format GUID.
bool CWavSource::TakeFormat(const uint8_t* format, size_t formatBytes)
{
    const uint16_t tag = Le16(format);
    const uint16_t channels = Le16(format + 2);
    const uint32_t rate = Le32(format + 4);
    const uint16_t blockAlign = Le16(format + 12);
    const uint16_t bits = Le16(format + 14);

    uint16_t sampleTag = tag;
    uint32_t channelMask = 0;
    if (tag == kFormatExtensible) {
        if (formatBytes < kExtensibleFormatBytes || Le16(format + 16) < kExtensionBytes)
            return Fail("an extensible format chunk too short for its sub-format");
        const uint8_t* guid = format + 24;
        sampleTag = Le16(guid);
        if (std::memcmp(guid + 2, kSubFormatGuidTail, sizeof kSubFormatGuidTail) != 0)
            return Fail("extensible sub-format {%08X-%04X-%04X-...} is not PCM or float", Le32(guid),
                        Le16(guid + 4), Le16(guid + 6));
        if (sampleTag != kFormatPcm && sampleTag != kFormatFloat)
            return Fail("extensible sub-format 0x%04X%s is not PCM or float", sampleTag,
                        FormatTagName(sampleTag));
        // The valid-bits field only says how many of the low bits are zero; the samples sit at
        // the top of their container either way.
        channelMask = Le32(format + 20);
    } else if (tag != kFormatPcm && tag != kFormatFloat) {
        return Fail("unsupported WAV format tag 0x%04X%s", tag, FormatTagName(tag));
    }

    if (channels == 0)
        return Fail("the format has no channels");
    if (channels > kMaxChannels)
        return Fail("%u channels; at most %d are mixed down", channels, kMaxChannels);
    // The block duration divides by the rate.
    if (rate == 0)
        return Fail("a sample rate of 0 Hz");
    if (rate > kMaxFileRateHz)
        return Fail("a sample rate of %u Hz; at most %u Hz is read", rate, kMaxFileRateHz);

    // The width comes from the block align, not the bits field, which some writers leave as the
    // container width and others as the significant bits. Extensible writers agree on the
    // container, so there a mismatch means a broken header.
    const int bytesPerSample = blockAlign / channels;
    if (tag == kFormatExtensible && (bits + 7) / 8 != bytesPerSample)
        return Fail("%u-bit samples in a block align of %u bytes for %u channels", bits, blockAlign,
                    channels);
    if (sampleTag == kFormatPcm) {
        if (bytesPerSample < 1 || bytesPerSample > 4)
            return Fail("PCM of %d bytes a sample (block align %u, %u channels); 1 to 4 are read",
                        bytesPerSample, blockAlign, channels);
        constexpr Encoding kPcm[] = {Encoding::Unsigned8, Encoding::Signed16, Encoding::Signed24,
                                     Encoding::Signed32};
        m_encoding = kPcm[bytesPerSample - 1];
    } else if (bytesPerSample == 4 || bytesPerSample == 8) {
        m_encoding = bytesPerSample == 4 ? Encoding::Float32 : Encoding::Float64;
    } else {
        return Fail("float of %d bytes a sample (block align %u, %u channels); 32 and 64-bit float are read",
                    bytesPerSample, blockAlign, channels);
    }

    m_decimation = rate > 2 * kMaxDirectRateHz ? 4 : rate > kMaxDirectRateHz ? 2 : 1;
    m_sampleRate = static_cast<uint16_t>(rate / static_cast<uint32_t>(m_decimation));
    m_bytesPerSample = static_cast<uint8_t>(bytesPerSample);
    m_channels = static_cast<uint8_t>(channels);
    m_direct = sampleTag == kFormatPcm && channels <= 2 && m_decimation == 1;
    CChannelDownMix::Build(channels, channelMask, m_mixLeft.data(), m_mixRight.data());
    return true;
}

bool CWavSource::PrepareBuffers()
{
    m_planeFrames = kBlockFrames;
    for (int halving = 1; halving < m_decimation; halving *= 2)
        m_planeFrames = CHalfBandDecimator::InputFrames(m_planeFrames);
    try {
        m_raw.assign(static_cast<size_t>(m_planeFrames) * FrameBytes(), uint8_t{0});
        if (!m_direct)
            m_planes.assign(2 * static_cast<size_t>(m_planeFrames), 0.0f);
        if (m_decimation > 1)
            m_stage.assign(2 * static_cast<size_t>(m_planeFrames), 0.0f);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
    // Built here on the loader thread rather than by the first ReadBlock.
    (void)CHalfBandDecimator::OddTaps();
    return true;
}

size_t CWavSource::FrameBytes() const
{
    return static_cast<size_t>(m_bytesPerSample) * m_channels;
}

bool CWavSource::Fail(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(m_openError.data(), m_openError.size(), format, arguments);
    va_end(arguments);
    return false;
}
