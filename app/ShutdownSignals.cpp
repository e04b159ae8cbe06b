#include "ShutdownSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
std::atomic<int> s_writeEnd{-1};

extern "C" void OnShutdownSignal(int signal)
{
    const int saved = errno;
    const int fd = s_writeEnd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

CShutdownSignals::CShutdownSignals(std::function<void(int)> onSignal) : m_onSignal(std::move(onSignal))
{
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    s_writeEnd.store(m_pipe[1]);
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Drain(); });
    struct sigaction action {};
    action.sa_handler = OnShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

CShutdownSignals::~CShutdownSignals()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
    s_writeEnd.store(-1);
    m_notifier.reset();
    for (const int fd : m_pipe)
        if (fd >= 0)
            close(fd);
}

void CShutdownSignals::Drain()
{
    unsigned char byte = 0;
    while (read(m_pipe[0], &byte, 1) == 1)
        if (m_onSignal)
            m_onSignal(byte);
}
