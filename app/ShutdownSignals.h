#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in a terminal, kill) as a call on the
// user-interface thread: the handler only writes the signal's number into a pipe, whose reading
// end the event loop watches.
class CShutdownSignals {
public:
    // One instance per process; the handlers stay installed until it goes.
    explicit CShutdownSignals(std::function<void(int signal)> onSignal);
    ~CShutdownSignals();
    CShutdownSignals(const CShutdownSignals&) = delete;
    CShutdownSignals& operator=(const CShutdownSignals&) = delete;

private:
    void Drain();

    std::function<void(int)> m_onSignal;
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
