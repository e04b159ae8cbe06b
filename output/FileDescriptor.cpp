#include "FileDescriptor.h"

#include <unistd.h>

CFileDescriptor& CFileDescriptor::operator=(CFileDescriptor&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_fd = other.Release();
    }
    return *this;
}

int CFileDescriptor::Reset() noexcept
{
    if (m_fd < 0)
        return 0;
    // close() releases the descriptor even when it reports an error; retrying could close a
    // descriptor another thread has just been given.
    const int result = ::close(m_fd);
    m_fd = -1;
    return result;
}
