#include "WavSource.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr size_t kRiffHeaderBytes = 12; // "RIFF", size, "WAVE"
constexpr size_t kChunkHeaderBytes = 8; // identifier, little-endian size
constexpr size_t kFormatBytes = 16;     // the PCM part of "fmt "; extensions follow it
constexpr uint16_t kFormatPcm = 1;

uint16_t Le16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t Le32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
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

int CWavSource::Open(const char* path)
{
    Close();
    if (path == nullptr || !OpenFile(path))
        return 0;
    try {
        m_title = TitleOf(path);
    } catch (const std::bad_alloc&) {
        Close();
        return 0;
    }
    if (!ReadChunks()) {
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
    m_bytesPerSample = 2;
    m_stereo = true;
    m_dataStart = 0;
    m_totalFrames = 0;
    m_currentFrame = 0;
    m_seekPending = false;
    m_open = false;
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
    m_seekPending = true;
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
    const size_t frameBytes = FrameBytes();
    const size_t wanted = static_cast<size_t>(frames) * frameBytes;

    size_t got = 0;
    if (m_seekPending) {
        const uint64_t offset = m_dataStart + static_cast<uint64_t>(m_currentFrame) * frameBytes;
        m_seekPending = fseeko(m_file.get(), static_cast<off_t>(offset), SEEK_SET) != 0;
    }
    if (!m_seekPending)
        got = std::fread(m_rawBlock.data(), 1, wanted, m_file.get());
    if (got < wanted) {
        // The file shrank after Open or the disk failed: the missing part plays as silence, and
        // the next read positions the file afresh.
        std::memset(m_rawBlock.data() + got, 0, wanted - got);
        m_seekPending = true;
    }

    Convert(m_rawBlock.data(), frames, m_bytesPerSample, m_stereo, left, right);
    std::fill(left + frames, left + kBlockFrames, int16_t{0});
    std::fill(right + frames, right + kBlockFrames, int16_t{0});
    m_currentFrame += frames;
    return frames;
}

bool CWavSource::OpenFile(const char* path)
{
    // O_NONBLOCK so that a FIFO in a playlist cannot hang the loader; it has no effect on the
    // regular files that pass the check below.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return false;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return false;
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
    // The RIFF size is ignored: writers that stream often leave it 0 or too large.
    if (!ReadAt(0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return false;

    bool haveFormat = false;
    uint64_t offset = kRiffHeaderBytes;
    uint8_t header[kChunkHeaderBytes];
    while (ReadAt(offset, header, sizeof header)) {
        offset += kChunkHeaderBytes;
        const uint64_t size = Le32(header + 4);
        const uint64_t bytesLeft = m_fileBytes - offset;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            uint8_t format[kFormatBytes];
            if (size < kFormatBytes || size > bytesLeft || !ReadAt(offset, format, sizeof format) ||
                !TakeFormat(format))
                return false;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            // Without a format first the sample width is unknown. Searching on for a later
            // "fmt " would accept files that no other player reads either.
            if (!haveFormat)
                return false;
            m_dataStart = offset;
            // A file cut short still plays what it holds; blocks beyond its end are never
            // reported.
            m_totalFrames = static_cast<int64_t>(std::min(size, bytesLeft) / FrameBytes());
            return true;
        } else if (size > bytesLeft) {
            return false;
        }
        // Skipped by the size exactly, without the pad byte RIFF puts after an odd size, so that
        // files written without the pad keep opening. The price: a padded odd chunk before
        // "data" hides the data chunk and the file is refused.
        offset += size;
    }
    return false;
}

// The 16-byte PCM format: tag, channels, rate, byte rate, block align, bits per sample.
bool CWavSource::TakeFormat(const uint8_t* format)
{
    const uint16_t tag = Le16(format);
    const uint16_t channels = Le16(format + 2);
    const uint32_t rate = Le32(format + 4);
    const uint16_t blockAlign = Le16(format + 12);
    if (tag != kFormatPcm || channels == 0 || channels > 2)
        return false;
    // The block duration divides by the rate, and the interface carries it in 16 bits.
    if (rate == 0 || rate > 65535)
        return false;
    // The width comes from the block align, not the bits field, which some writers leave as the
    // container width and others as the significant bits.
    const int bytesPerSample = blockAlign / channels;
    if (bytesPerSample < 1 || bytesPerSample > kMaxBytesPerSample)
        return false;
    m_sampleRate = static_cast<uint16_t>(rate);
    m_bytesPerSample = static_cast<uint8_t>(bytesPerSample);
    m_stereo = channels != 1;
    return true;
}

size_t CWavSource::FrameBytes() const
{
    return static_cast<size_t>(m_bytesPerSample) * (m_stereo ? 2 : 1);
}
