#include "MidiWake.h"

#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

CMidiWake::CMidiWake() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

CMidiWake::~CMidiWake()
{
    if (m_fd >= 0)
        close(m_fd);
}

void CMidiWake::Signal() noexcept
{
    const uint64_t one = 1;
    if (m_fd >= 0)
        (void)!write(m_fd, &one, sizeof one);
}

void CMidiWake::Wait(std::chrono::milliseconds timeout) noexcept
{
    if (m_fd < 0) {
        // Without the descriptor the thread still runs at its tick.
        std::this_thread::sleep_for(timeout);
        return;
    }
    pollfd wait{m_fd, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(timeout.count())) > 0) {
        uint64_t count = 0;
        (void)!read(m_fd, &count, sizeof count);
    }
}
