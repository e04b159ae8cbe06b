#pragma once

#include <string>

// Owns one file descriptor and closes it when it goes.
class CFd {
public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd();
    CFd(CFd&& other) noexcept : m_fd(other.Release()) {}
    CFd& operator=(CFd&& other) noexcept;
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int Release();

private:
    int m_fd = -1;
};

enum class FileAccess { Read, ReadWrite };

// Opens path (following links) only when it names a regular file. A FIFO, device or socket that
// carries a track's or a list's name is refused without waiting: open(2) on a FIFO blocks until
// a writer comes, which for a list on a share may be never. The descriptor is close-on-exec
// and blocking again. An invalid CFd on failure, error then holding the errno value, EISDIR for
// a folder and ENODEV for anything else that is not a regular file.
CFd OpenRegularFile(const std::string& path, int& error, FileAccess access = FileAccess::Read);
