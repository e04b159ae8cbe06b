#include "Fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFd::~CFd()
{
    if (m_fd >= 0)
        close(m_fd);
}

CFd& CFd::operator=(CFd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = other.Release();
    }
    return *this;
}

int CFd::Release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

namespace {

int ErrorForKind(mode_t mode)
{
    return S_ISDIR(mode) ? EISDIR : ENODEV;
}

} // namespace

CFd OpenRegularFile(const std::string& path, int& error, FileAccess access)
{
    error = 0;
    // A look before opening spares devices the side effects of an open (a tape that rewinds, a
    // modem line that is raised); the fstat below settles it, since the name may change between.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = errno;
        return CFd();
    }
    if (!S_ISREG(info.st_mode)) {
        error = ErrorForKind(info.st_mode);
        return CFd();
    }
    const int mode = access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY;
    CFd fd(open(path.c_str(), mode | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        error = errno;
        return fd;
    }
    if (fstat(fd.Get(), &info) != 0) {
        error = errno;
        return CFd();
    }
    if (!S_ISREG(info.st_mode)) {
        error = ErrorForKind(info.st_mode);
        return CFd();
    }
    // Reads of a regular file ignore O_NONBLOCK on Linux, but a file on a FUSE or network mount
    // may not; the reader expects whole reads.
    const int flags = fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = errno;
        return CFd();
    }
    return fd;
}
