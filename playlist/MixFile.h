#pragma once

#include "MixTickDecoder.h"

#include <cstdint>
#include <string>
#include <vector>

class CPlaylist;

// A Mix-File (.qzx) and what it holds: the magic "QUANDEL Mix" as a short string, a version
// byte, the tick count, from version 2 on the embedded XML list (with the mix's title and
// comment) and the trailer "END", and the event stream between them. Load checks the stream
// once through the tick decoder: a damaged trailer empties the mix (damaged at tick 0), and a
// stream that cannot be read to its declared end plays up to the first tick that cannot be read.
// The stream and the declared tick count are saved back as they came, damage included.
//
// Threads: the mix's lock guards the file; the caller holds it. Nothing here may run on the
// audio thread.
class CMixFile {
public:
    CMixFile() = default;
    CMixFile(const CMixFile&) = delete;
    CMixFile& operator=(const CMixFile&) = delete;

    // Under the lock, off the audio thread: reads or writes files and allocates.
    // playlist null: the embedded list is skipped, and the title and comment are kept. Only a
    // regular file is read; a FIFO or a device is refused at once.
    bool Load(const char* path, CPlaylist* playlist);
    // Why the last Load failed, to follow the file's name ("is not a regular file"); empty after
    // a success.
    const std::string& LoadError() const noexcept { return m_loadError; }
    // Through a temporary file renamed over the target: a failed save keeps the old file.
    bool Save(const char* path, CPlaylist& playlist);
    // The stream alone (tests, the recorder, the fuzzer), checked as a loaded one.
    void SetStream(std::vector<uint8_t> stream, uint32_t tickCount);
    // Empties the stream, the title and the comment.
    void Clear();

    void SetTitle(const std::string& title) { m_title = title; }
    void SetComment(const std::string& comment) { m_comment = comment; }
    void SetPath(const std::string& path) { m_path = path; }
    std::string Title() const { return m_title.empty() ? "untitled" : m_title; }
    const std::string& StoredTitle() const { return m_title; }
    const std::string& Comment() const noexcept { return m_comment; }
    const std::string& Path() const noexcept { return m_path; }

    // Under the lock, the audio thread included.
    const std::vector<uint8_t>& Stream() const noexcept { return m_stream; }
    // The ticks from the start that can be read, at most the declared count.
    uint32_t ReadableTickCount() const noexcept { return m_readableTickCount; }
    // The first tick that could not be read; CMixTickDecoder::kIntact when all could.
    uint32_t DamagedAtTick() const noexcept { return m_damagedAtTick; }

private:
    void ClearStream() noexcept;
    void CheckStream() noexcept;

    std::vector<uint8_t> m_stream;
    uint32_t m_declaredTickCount = 0; // as the file said; saved back unchanged
    uint32_t m_readableTickCount = 0;
    uint32_t m_damagedAtTick = CMixTickDecoder::kIntact;
    std::string m_title;
    std::string m_comment;
    std::string m_path;
    std::string m_loadError;
};
