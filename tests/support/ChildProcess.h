#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// A program run by a test as a user runs it: its own process, standard output and error into
// files, optionally a file-size limit; waited for with a deadline, never for ever.
class CChildProcess {
public:
    struct Setup {
        std::vector<std::string> arguments;                           // the program first
        std::string stdoutPath;                                       // empty: /dev/null
        std::string stderrPath;                                       // empty: /dev/null
        long fileSizeLimit = -1;                                      // bytes (RLIMIT_FSIZE); -1: none
        std::vector<std::pair<std::string, std::string>> environment; // set in the child
        std::string workingFolder;                                    // empty: the test's
    };

    explicit CChildProcess(const Setup& setup);
    ~CChildProcess(); // kills a child still running
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    // True when the child ended within the timeout.
    bool Wait(std::chrono::milliseconds timeout);
    void Signal(int signal);
    // After Wait: the exit code, or -1 when a signal ended it.
    int ExitCode() const;
    // After Wait: the signal that ended it, or 0.
    int TermSignal() const;

private:
    pid_t m_pid = -1;
    int m_status = 0;
    bool m_done = false;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadTextFile(const std::string& path);
// The names in a folder (without "." and ".."), sorted: a test sees what a program left there.
std::vector<std::string> FolderNames(const std::string& folder);
