#include "FileReplacer.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFileReplacer::CFileReplacer(std::string target) : m_target(std::move(target))
{
}

CFileReplacer::~CFileReplacer()
{
    Abandon();
}

bool CFileReplacer::Open()
{
    Abandon();
    m_failed = false;
    m_error = 0;
    const size_t slash = m_target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : m_target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    if (name.empty())
        return false;
    // open() with 0666 keeps the user's umask, which mkstemp's 0600 would not.
    static unsigned sequence = 0;
    const auto now = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".tmp%d-%08x", static_cast<int>(getpid()), now + ++sequence);
        const std::string temporary = folder + "." + name + suffix;
        m_fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_temporary = temporary;
            // A replaced file keeps its permissions.
            struct stat info {};
            if (stat(m_target.c_str(), &info) == 0)
                fchmod(m_fd, info.st_mode & 07777);
            return true;
        }
        if (errno != EEXIST) {
            m_error = errno;
            return false;
        }
    }
    m_error = EEXIST;
    return false;
}

bool CFileReplacer::Write(const void* bytes, size_t size)
{
    if (m_fd < 0 || m_failed)
        return false;
    const auto* data = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t put = write(m_fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            m_error = put < 0 ? errno : ENOSPC;
            m_failed = true;
            return false;
        }
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool CFileReplacer::WriteAt(uint64_t offset, const void* bytes, size_t size)
{
    if (m_fd < 0 || m_failed)
        return false;
    const auto* data = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t put = pwrite(m_fd, data, size, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            m_error = put < 0 ? errno : ENOSPC;
            m_failed = true;
            return false;
        }
        data += put;
        offset += static_cast<uint64_t>(put);
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool CFileReplacer::Commit()
{
    if (m_fd < 0 || m_failed) {
        Abandon();
        return false;
    }
    const bool synced = fsync(m_fd) == 0;
    if (!synced)
        m_error = errno;
    const bool closed = close(m_fd) == 0;
    if (!closed && m_error == 0)
        m_error = errno;
    m_fd = -1;
    if (!synced || !closed || rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        if (m_error == 0)
            m_error = errno;
        Abandon();
        return false;
    }
    m_temporary.clear();
    // The rename itself lasts only once the folder is synced.
    const size_t slash = m_target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : m_target.substr(0, slash + 1);
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return true;
}

bool CFileReplacer::Replace(const std::string& target, std::string_view bytes)
{
    CFileReplacer file(target);
    return file.Open() && file.Write(bytes) && file.Commit();
}

void CFileReplacer::Abandon()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}
