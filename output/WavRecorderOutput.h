#pragma once

#include "FileDescriptor.h"
#include "OutputDriver.h"

#include <atomic>
#include <cstdint>

// Records the blocks it receives as a secondary (identifier 768) into a RIFF/WAVE file:
// StartRecording creates the file with a header whose sizes are patched by StopRecording,
// SetWriting switches the appending on and off (pause and resume).
//
// Each block is one write() on the master's pacing thread, unbuffered: the file holds exactly
// the blocks played while writing was on. That is the one place the render cycle touches a
// file; a queue to a writer thread would have to be sized for the disk's worst stall and could
// still drop blocks, which a recording must not do silently.
class CWavRecorderOutput : public COutputDriver {
public:
    static constexpr uint32_t kHeaderBytes = 44;

    CWavRecorderOutput() = default;
    ~CWavRecorderOutput() override;

    // User-interface thread: the driver operations.
    int Open(COutputDeviceInfo& record, COutputManager& manager) override;
    // Stops a running recording (its header is patched).
    int Close() override;
    int Start() override { return 0; }
    int Stop() override { return 0; }

    // Pacing thread: appends the block while writing is on. Returns 0.
    int Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept override;

    // User-interface thread: the recorder operations.
    // "Internal WAV Writer" for index 0, null otherwise.
    const char* GetRecorderName(int index) const noexcept;
    // "44.1 KHz, 16 Bit, Stereo" for index 0 and format 0, null otherwise.
    const char* GetFormatName(int index, int format) const noexcept;
    // Stops a running recording first; creates path with a header of sizes 36 and 0. 1 when
    // the file cannot be created (the recorder stays idle), else 0. Writing stays off.
    int StartRecording(const char* path, int index, int format);
    // Patches the sizes and closes the file; the result of closing it (0 when idle).
    int StopRecording();
    // While recording: appending on or off.
    void SetWriting(bool writing) noexcept;
    bool IsWriting() const noexcept { return m_writing.load(std::memory_order_relaxed); }
    // Milliseconds of audio in the file so far.
    uint32_t GetRecordedTime() const noexcept;
    uint32_t DataBytes() const noexcept { return m_dataBytes.load(std::memory_order_relaxed); }

private:
    int WriteHeader(uint32_t dataBytes) noexcept;

    CFileDescriptor m_file;
    bool m_recording = false; // a file is open; user-interface thread
    std::atomic<bool> m_writing{false};
    // Write is inside its file write; StopRecording waits for it before closing the file.
    std::atomic<bool> m_inWrite{false};
    bool m_header = true; // a header is written and patched
    std::atomic<uint32_t> m_dataBytes{0};
};
