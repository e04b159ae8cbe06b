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
            m_appended = 0;
            m_syncAsked = 0;
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
        m_appended += static_cast<uint64_t>(put);
    }
    if (m_appended - m_syncAsked >= kSyncEveryBytes)
        SyncBehind();
    return true;
}

void CFileReplacer::SyncBehind()
{
    m_syncAsked = m_appended;
    if (!m_syncer.joinable()) {
        m_syncStop = false;
        m_syncError = 0;
        m_syncer = std::thread([this] { SyncLoop(); });
    }
    {
        std::lock_guard lock(m_syncLock);
        m_syncWanted = true;
    }
    m_syncWake.notify_one();
}

void CFileReplacer::SyncLoop()
{
    std::unique_lock lock(m_syncLock);
    for (;;) {
        m_syncWake.wait(lock, [this] { return m_syncWanted || m_syncStop; });
        if (m_syncStop)
            return;
        m_syncWanted = false;
        lock.unlock();
        // An error is reported once: kept here, it fails the Commit whose own sync might not
        // see it again.
        const int error = fdatasync(m_fd) == 0 ? 0 : errno;
        lock.lock();
        if (error != 0 && m_syncError == 0)
            m_syncError = error;
    }
}

int CFileReplacer::StopSyncing()
{
    if (!m_syncer.joinable())
        return 0;
    {
        std::lock_guard lock(m_syncLock);
        m_syncStop = true;
    }
    m_syncWake.notify_one();
    m_syncer.join();
    return m_syncError;
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
    const int helperError = StopSyncing();
    const bool synced = fsync(m_fd) == 0 && helperError == 0;
    if (!synced)
        m_error = helperError != 0 ? helperError : errno;
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
    StopSyncing();
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}
