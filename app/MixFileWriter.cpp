#include "MixFileWriter.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kBufferBytes = 1 << 18;
constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrameBytes = 4;

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

void Put64(std::vector<uint8_t>& out, size_t at, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

void PutTag(std::vector<uint8_t>& out, size_t at, const char* tag)
{
    std::memcpy(out.data() + at, tag, 4);
}

bool WriteAll(int fd, const void* bytes, size_t size, int& error) noexcept
{
    const auto* data = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            error = put < 0 ? errno : ENOSPC;
            return false;
        }
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

} // namespace

CMixFileWriter::CMixFileWriter(std::string target, uint64_t riffDataLimit)
    : m_target(std::move(target)), m_riffDataLimit(riffDataLimit), m_stdout(m_target == "-")
{
}

CMixFileWriter::~CMixFileWriter()
{
    Abandon();
}

std::vector<uint8_t> CMixFileWriter::Header(bool final) const
{
    const uint64_t dataBytes = m_frames * kFrameBytes;
    const bool rf64 = final && dataBytes > m_riffDataLimit;
    // A pipe cannot be patched: the streaming convention of "as long as it goes".
    const bool streaming = m_stdout && !m_seekable;
    std::vector<uint8_t> header(streaming ? 44 : kHeaderBytes, 0);
    size_t at = 0;
    PutTag(header, 0, rf64 ? "RF64" : "RIFF");
    const uint64_t riffBytes = header.size() - 8 + dataBytes;
    Put32(header, 4, rf64 || streaming ? 0xFFFFFFFFu : static_cast<uint32_t>(riffBytes));
    PutTag(header, 8, "WAVE");
    at = 12;
    if (!streaming) {
        PutTag(header, at, rf64 ? "ds64" : "JUNK");
        Put32(header, at + 4, 28);
        if (rf64) {
            Put64(header, at + 8, riffBytes);
            Put64(header, at + 16, dataBytes);
            Put64(header, at + 24, m_frames);
            Put32(header, at + 32, 0); // no table of other chunk sizes
        }
        at += 36;
    }
    PutTag(header, at, "fmt ");
    Put32(header, at + 4, 16);
    header[at + 8] = 1; // PCM
    header[at + 10] = 2;
    Put32(header, at + 12, kRate);
    Put32(header, at + 16, kRate * kFrameBytes);
    header[at + 20] = kFrameBytes;
    header[at + 22] = 16;
    at += 24;
    PutTag(header, at, "data");
    Put32(header, at + 4, rf64 || streaming ? 0xFFFFFFFFu : static_cast<uint32_t>(dataBytes));
    return header;
}

void CMixFileWriter::Fail(const char* what, int error) noexcept
{
    if (m_failed)
        return;
    m_failed = true;
    m_failedStep = what;
    m_failedErrno = error;
}

bool CMixFileWriter::Open()
{
    Abandon();
    m_failed = false;
    m_frames = 0;
    m_fill = 0;
    m_error.clear();
    m_buffer.assign(kBufferBytes, 0);
    if (m_stdout) {
        struct stat info {};
        m_seekable = fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode) &&
                     lseek(STDOUT_FILENO, 0, SEEK_CUR) == 0;
    } else {
        m_file = std::make_unique<CFileReplacer>(m_target);
        if (!m_file->Open()) {
            m_error = "cannot create a file beside it: " + std::string(std::strerror(m_file->LastError()));
            m_file.reset();
            return false;
        }
    }
    m_open = true;
    const std::vector<uint8_t> header = Header(false);
    if (!PutBytes(header.data(), header.size())) {
        m_error = Error();
        Abandon();
        return false;
    }
    return true;
}

bool CMixFileWriter::PutBytes(const void* bytes, size_t size) noexcept
{
    if (m_failed)
        return false;
    if (m_file) {
        if (!m_file->Write(bytes, size)) {
            Fail("write", m_file->LastError());
            return false;
        }
        return true;
    }
    int error = 0;
    if (!WriteAll(STDOUT_FILENO, bytes, size, error)) {
        Fail("write", error);
        return false;
    }
    return true;
}

bool CMixFileWriter::Flush() noexcept
{
    const size_t fill = m_fill;
    m_fill = 0;
    return fill == 0 || PutBytes(m_buffer.data(), fill);
}

bool CMixFileWriter::Write(const int16_t* frames, uint32_t count) noexcept
{
    if (!m_open || m_failed)
        return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(frames);
    size_t left = static_cast<size_t>(count) * kFrameBytes;
    while (left > 0) {
        const size_t n = std::min(left, m_buffer.size() - m_fill);
        // Samples are stored little-endian, as this machine holds them.
        std::memcpy(m_buffer.data() + m_fill, bytes, n);
        m_fill += n;
        bytes += n;
        left -= n;
        if (m_fill == m_buffer.size() && !Flush())
            return false;
    }
    m_frames += count;
    return true;
}

std::string CMixFileWriter::Error() const
{
    if (!m_error.empty() || !m_failed)
        return m_error;
    return std::string("cannot be written (") + (m_failedStep ? m_failedStep : "write") +
           "): " + std::strerror(m_failedErrno);
}

bool CMixFileWriter::Commit()
{
    if (!m_open) {
        if (m_error.empty())
            m_error = "was not opened";
        return false;
    }
    bool ok = Flush();
    m_rf64 = m_frames * kFrameBytes > m_riffDataLimit;
    if (ok && m_file) {
        const std::vector<uint8_t> header = Header(true);
        ok = m_file->WriteAt(0, header.data(), header.size());
        if (!ok)
            Fail("write", m_file->LastError());
        if (ok && !m_file->Commit()) {
            Fail("put in place", m_file->LastError());
            ok = false;
        }
    } else if (ok && m_seekable) {
        const std::vector<uint8_t> header = Header(true);
        if (pwrite(STDOUT_FILENO, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) {
            Fail("write", errno);
            ok = false;
        }
    }
    if (!ok) {
        m_error = Error();
        Abandon();
        return false;
    }
    m_file.reset();
    m_open = false;
    return true;
}

void CMixFileWriter::Abandon()
{
    if (m_file) {
        m_file->Cancel();
        m_file.reset();
    }
    m_open = false;
}
