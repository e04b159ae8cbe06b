#include "ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

void Redirect(const std::string& path, int target)
{
    const int fd = open(path.empty() ? "/dev/null" : path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        dup2(fd, target);
        close(fd);
    }
}

} // namespace

CChildProcess::CChildProcess(const Setup& setup)
{
    std::vector<char*> argv;
    for (const std::string& argument : setup.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid != 0)
        return;
    // The child: only async-signal-safe calls and exec from here.
    Redirect(setup.stdoutPath, STDOUT_FILENO);
    Redirect(setup.stderrPath, STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0)
        dup2(null, STDIN_FILENO);
    if (setup.fileSizeLimit >= 0) {
        const rlimit limit{static_cast<rlim_t>(setup.fileSizeLimit),
                           static_cast<rlim_t>(setup.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    for (const auto& [name, value] : setup.environment)
        setenv(name.c_str(), value.c_str(), 1);
    if (!setup.workingFolder.empty() && chdir(setup.workingFolder.c_str()) != 0)
        _exit(126);
    // The test runner may ignore or block signals; the program starts as from a shell.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ})
        std::signal(signal, SIG_DFL);
    execv(argv[0], argv.data());
    _exit(127);
}

CChildProcess::~CChildProcess()
{
    if (m_pid > 0 && !m_done) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &m_status, 0);
    }
}

bool CChildProcess::Wait(std::chrono::milliseconds timeout)
{
    if (m_pid <= 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!m_done) {
        const pid_t got = waitpid(m_pid, &m_status, WNOHANG);
        if (got == m_pid) {
            m_done = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void CChildProcess::Signal(int signal)
{
    if (m_pid > 0 && !m_done)
        kill(m_pid, signal);
}

int CChildProcess::ExitCode() const
{
    return m_done && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

int CChildProcess::TermSignal() const
{
    return m_done && WIFSIGNALED(m_status) ? WTERMSIG(m_status) : 0;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.emplace_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}
