#include "WavRecorderOutput.h"

#include "AudioThread.h"
#include "OutputDeviceInfo.h"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

void Put16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value)
{
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

// write() until every byte is out; false on an error.
bool WriteAll(int fd, const void* data, size_t bytes) noexcept
{
    const auto* at = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t written = ::write(fd, at, bytes);
        if (written <= 0)
            return false;
        at += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

CWavRecorderOutput::~CWavRecorderOutput()
{
    Close();
}

int CWavRecorderOutput::Open(COutputDeviceInfo& record, COutputManager& manager)
{
    m_record = &record;
    m_manager = &manager;
    return 0;
}

int CWavRecorderOutput::Close()
{
    StopRecording();
    return 0;
}

int CWavRecorderOutput::Write(const void* samples, uint32_t bytes, uint32_t /*frames*/) noexcept
{
    m_inWrite.store(true, std::memory_order_seq_cst);
    if (m_writing.load(std::memory_order_seq_cst)) {
        // A failed write is not reported: the count grows as if it had gone through, so the
        // header and the recorded time keep following the music.
        [[maybe_unused]] const bool written = WriteAll(m_file.Get(), samples, bytes);
        m_dataBytes.fetch_add(bytes, std::memory_order_relaxed);
    }
    m_inWrite.store(false, std::memory_order_release);
    return 0;
}

const char* CWavRecorderOutput::GetRecorderName(int index) const noexcept
{
    return index == 0 ? "Internal WAV Writer" : nullptr;
}

const char* CWavRecorderOutput::GetFormatName(int index, int format) const noexcept
{
    return index == 0 && format == 0 ? "44.1 KHz, 16 Bit, Stereo" : nullptr;
}

int CWavRecorderOutput::WriteHeader(uint32_t dataBytes) noexcept
{
    const uint32_t channels = m_record != nullptr && m_record->stereo == 0 ? 1 : 2;
    const uint32_t sampleBytes = m_record != nullptr ? m_record->bytesPerSample : 2;
    const uint32_t rate = m_record != nullptr ? m_record->sampleRate : 44100;
    const uint32_t blockAlign = sampleBytes * channels;
    std::array<uint8_t, kHeaderBytes> header{};
    std::memcpy(header.data(), "RIFF", 4);
    Put32(&header[4], 36 + dataBytes);
    std::memcpy(&header[8], "WAVEfmt ", 8);
    Put32(&header[16], 16);
    Put16(&header[20], 1);
    Put16(&header[22], channels);
    Put32(&header[24], rate);
    Put32(&header[28], rate * blockAlign);
    Put16(&header[32], blockAlign);
    Put16(&header[34], sampleBytes * 8);
    std::memcpy(&header[36], "data", 4);
    Put32(&header[40], dataBytes);
    return ::pwrite(m_file.Get(), header.data(), header.size(), 0) == static_cast<ssize_t>(header.size()) ? 0
                                                                                                          : 1;
}

int CWavRecorderOutput::StartRecording(const char* path, int /*index*/, int /*format*/)
{
    AssertNotAudioThread("CWavRecorderOutput::StartRecording");
    m_header = true;
    if (m_recording)
        StopRecording();
    CFileDescriptor file(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.Valid())
        return 1;
    m_file = std::move(file);
    if (WriteHeader(0) != 0 || ::lseek(m_file.Get(), kHeaderBytes, SEEK_SET) < 0) {
        m_file.Reset();
        return 1;
    }
    m_recording = true;
    m_dataBytes.store(0, std::memory_order_relaxed);
    return 0;
}

int CWavRecorderOutput::StopRecording()
{
    AssertNotAudioThread("CWavRecorderOutput::StopRecording");
    m_writing.store(false, std::memory_order_seq_cst);
    if (!m_recording)
        return 0;
    // A block already past the writing check finishes first; it takes one write() at most.
    while (m_inWrite.load(std::memory_order_seq_cst))
        std::this_thread::yield();
    if (m_header)
        WriteHeader(m_dataBytes.load(std::memory_order_relaxed));
    m_recording = false;
    return m_file.Reset();
}

void CWavRecorderOutput::SetWriting(bool writing) noexcept
{
    if (m_recording)
        m_writing.store(writing, std::memory_order_seq_cst);
}

uint32_t CWavRecorderOutput::GetRecordedTime() const noexcept
{
    if (m_record == nullptr || m_record->bytesPerSample == 0 || m_record->sampleRate == 0)
        return 0;
    const uint64_t frameBytes =
        static_cast<uint64_t>(m_record->bytesPerSample) * (m_record->stereo != 0 ? 2 : 1);
    return static_cast<uint32_t>(static_cast<uint64_t>(DataBytes()) * 1000 /
                                 (frameBytes * m_record->sampleRate));
}
