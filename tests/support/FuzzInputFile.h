#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The readers take paths, so every fuzz input goes through one file per process (parallel fuzz
// jobs and ctest runs do not share it), removed when the process ends.
class CFuzzInputFile {
public:
    // tag names the target in the file name; extension chooses the reader ("wav", "mp3", ...).
    CFuzzInputFile(const char* tag, const char* extension);
    ~CFuzzInputFile();
    CFuzzInputFile(const CFuzzInputFile&) = delete;
    CFuzzInputFile& operator=(const CFuzzInputFile&) = delete;

    // Replaces the file's contents with the input; false when the file cannot be written.
    bool Write(const uint8_t* data, size_t size) const;
    const std::string& Path() const { return m_path; }

    // Aborts with a message when an invariant of the reader does not hold: the corpus replay of
    // the normal build then fails even without sanitizers.
    static void Check(bool condition, const char* what);

private:
    std::string m_path;
};
