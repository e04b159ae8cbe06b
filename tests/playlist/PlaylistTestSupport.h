#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Files the playlist tests make: a stand-in MP3 (frame-like bytes, optionally an ID3v1 tag),
// whole-file reads and writes, and a cap on the size of files this process may write.

struct Id3Fields {
    std::string title; // Latin-1 bytes as they go on disk
    std::string artist;
    std::string album;
    std::string comment;
    int track = -1; // -1: plain ID3v1 (comment runs to byte 126)
    uint8_t genre = 255;
};

// audioBytes of a repeating pattern, then the tag when given.
void WriteTrackFile(const std::string& path, size_t audioBytes = 4000, const Id3Fields* tag = nullptr);
bool WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool MakeFolder(const std::string& path);
// Names of the files in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);
// A FIFO at path, made now.
bool MakeFifo(const std::string& path);
// Runs call on another thread; false when it has not returned within the deadline. A call
// stuck in open(2) on fifo is then let go by opening the FIFO's other end, so that the test
// fails instead of hanging.
bool ReturnsWithin(const std::function<void()>& call, const std::string& fifo,
                   std::chrono::seconds deadline = std::chrono::seconds(5));
// A name of 1000 characters, too long for any file system (ENAMETOOLONG).
std::string OverlongName(const std::string& extension);
// stdout of a shell command, or empty with ok false when it could not run.
std::string CommandOutput(const std::string& command, bool& ok);

// While alive, a write past maxBytes in any file fails with EFBIG (SIGXFSZ ignored), as on a
// full disk.
class CFileSizeCap {
public:
    explicit CFileSizeCap(uint64_t maxBytes);
    ~CFileSizeCap();
    CFileSizeCap(const CFileSizeCap&) = delete;
    CFileSizeCap& operator=(const CFileSizeCap&) = delete;

private:
    uint64_t m_oldSoft = 0;
    void (*m_oldHandler)(int) = nullptr;
};
