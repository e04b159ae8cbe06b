#pragma once

#include "FileReplacer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Writes a rendered mix as 16-bit stereo 44100 Hz WAV so that nothing the user had is lost: into a
// temporary file beside the target, which replaces the target only once every frame and the
// header are written and synced. The header reserves a "JUNK" chunk that becomes the "ds64"
// chunk of RF64 (EBU Tech 3306) when the audio outgrows what a RIFF size can say, so a mix of
// any length is written whole. "-" writes to standard output instead: a seekable one gets its
// header patched at the end, a pipe the streaming sizes 0xFFFFFFFF.
//
// Threads: one thread at a time; Write is called by the rendering thread once a block and does
// not allocate (it buffers into a block set up by Open).
class CMixFileWriter {
public:
    static constexpr uint32_t kHeaderBytes = 80; // RIFF/RF64, JUNK/ds64, fmt, data
    static constexpr uint64_t kRiffDataLimit = 0xFFFFFFFFu - (kHeaderBytes - 8);

    // riffDataLimit: the most data bytes written as plain RIFF (smaller only in tests).
    explicit CMixFileWriter(std::string target, uint64_t riffDataLimit = kRiffDataLimit);
    ~CMixFileWriter();
    CMixFileWriter(const CMixFileWriter&) = delete;
    CMixFileWriter& operator=(const CMixFileWriter&) = delete;

    // Creates the temporary file (or takes standard output) and writes the header. False with
    // the reason in Error().
    bool Open();
    // Interleaved left/right frames. False once a write failed (nothing more is written).
    bool Write(const int16_t* frames, uint32_t count) noexcept;
    // Patches the header, syncs and puts the file in place. False with the reason; the target
    // is then as it was before Open.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Abandon();

    uint64_t Frames() const noexcept { return m_frames; }
    bool Failed() const noexcept { return m_failed; }
    bool IsRf64() const noexcept { return m_rf64; }
    // One line: what failed and why.
    std::string Error() const;

private:
    bool Flush() noexcept;
    bool PutBytes(const void* bytes, size_t size) noexcept;
    void Fail(const char* what, int error) noexcept;
    std::vector<uint8_t> Header(bool final) const;

    std::string m_target;
    uint64_t m_riffDataLimit;
    std::unique_ptr<CFileReplacer> m_file; // null when writing to standard output
    bool m_stdout = false;
    bool m_seekable = false; // standard output is a regular file
    bool m_open = false;
    bool m_failed = false;
    bool m_rf64 = false;
    int m_failedErrno = 0;
    const char* m_failedStep = nullptr;
    std::string m_error;
    uint64_t m_frames = 0;
    std::vector<uint8_t> m_buffer; // filled by Write, written when full
    size_t m_fill = 0;
};
