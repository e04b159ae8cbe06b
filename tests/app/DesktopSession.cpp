#include "DesktopSession.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Exists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

uint32_t Little(const std::string& bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

} // namespace

CDesktopSession::CDesktopSession() : m_home(m_dir.Root()), m_pulseFolder(m_dir.Path("pulse"))
{
    if (m_dir.Root().empty()) {
        m_error = "no temporary folder";
        return;
    }
    if (!StartSoundServer()) {
        m_error = "the sound server did not start: " + ReadTextFile(m_pulseFolder + "/pulse.log");
        return;
    }
    if (!StartDisplay())
        m_error = "no X server could be started: " + ReadTextFile(m_dir.Path("xvfb.err"));
}

CDesktopSession::~CDesktopSession()
{
    StopSoundServer();
    KillDisplay();
}

bool CDesktopSession::StartDisplay()
{
    // A display number of this test's own: taken ones have their lock file, and a server that
    // lost the race for a number ends at once, so the next is tried.
    const int base = 200 + static_cast<int>(getpid() % 500);
    for (int n = base; n < base + 40; ++n) {
        const std::string number = std::to_string(n);
        if (Exists("/tmp/.X" + number + "-lock") || Exists("/tmp/.X11-unix/X" + number))
            continue;
        CChildProcess::Setup setup;
        setup.arguments = {"/usr/bin/Xvfb", ":" + number, "-screen", "0",
                           "1280x1024x24",  "-nolisten",  "tcp",     "-noreset"};
        setup.stderrPath = m_dir.Path("xvfb.err");
        m_xserver = std::make_unique<CChildProcess>(setup);
        m_display = ":" + number;
        for (const auto deadline = Clock::now() + 15s; Clock::now() < deadline;) {
            if (m_xserver->Wait(50ms))
                break; // it ended: the number was taken after all
            int status = -1;
            Run({"/usr/bin/xdotool", "getdisplaygeometry"}, &status, 5s);
            if (status == 0)
                return true;
        }
        m_xserver.reset();
    }
    m_display.clear();
    return false;
}

void CDesktopSession::KillDisplay()
{
    if (m_xserver == nullptr)
        return;
    m_xserver->Signal(SIGTERM);
    if (!m_xserver->Wait(5s)) {
        m_xserver->Signal(SIGKILL);
        m_xserver->Wait(5s);
    }
    m_xserver.reset();
}

bool CDesktopSession::StartSoundServer()
{
    CChildProcess::Setup setup;
    setup.arguments = {"/bin/bash", QUANDEL_PULSE_SCRIPT, "start", m_pulseFolder};
    setup.stdoutPath = m_dir.Path("pulse-start.out");
    CChildProcess start(setup);
    m_pulseRunning = start.Wait(40s) && start.ExitCode() == 0;
    return m_pulseRunning;
}

void CDesktopSession::StopSoundServer()
{
    if (!m_pulseRunning)
        return;
    CChildProcess::Setup setup;
    setup.arguments = {"/bin/bash", QUANDEL_PULSE_SCRIPT, "stop", m_pulseFolder};
    CChildProcess stop(setup);
    stop.Wait(20s);
    m_pulseRunning = false;
}

std::string CDesktopSession::SoundServerAddress() const
{
    return "unix:" + m_pulseFolder + "/native";
}

void CDesktopSession::ShareSoundServer() const
{
    chmod(m_dir.Root().c_str(), 0711);
    chmod(m_pulseFolder.c_str(), 0711);
    chmod((m_pulseFolder + "/native").c_str(), 0777);
}

std::vector<std::pair<std::string, std::string>> CDesktopSession::Environment() const
{
    auto environment = m_home.Environment();
    for (auto& [name, value] : environment)
        if (name == "QT_QPA_PLATFORM")
            value = "xcb";
    environment.emplace_back("DISPLAY", m_display);
    environment.emplace_back("PULSE_SERVER", SoundServerAddress());
    environment.emplace_back("WAYLAND_DISPLAY", "");
    return environment;
}

std::unique_ptr<CChildProcess>
CDesktopSession::StartPlayer(const std::vector<std::string>& arguments, const std::string& name,
                             const std::vector<std::string>& prefix,
                             std::vector<std::pair<std::string, std::string>> environment)
{
    CChildProcess::Setup setup;
    setup.arguments = prefix;
    setup.arguments.emplace_back(QUANDEL_PLAYER_PROGRAM);
    setup.arguments.insert(setup.arguments.end(), arguments.begin(), arguments.end());
    setup.stdoutPath = m_dir.Path(name + ".out");
    setup.stderrPath = m_dir.Path(name + ".err");
    setup.environment = Environment();
    for (auto& variable : environment)
        setup.environment.push_back(std::move(variable));
    return std::make_unique<CChildProcess>(setup);
}

std::string CDesktopSession::Stderr(const std::string& name) const
{
    return ReadTextFile(m_dir.Path(name + ".err"));
}

std::string CDesktopSession::Run(const std::vector<std::string>& command, int* status,
                                 std::chrono::milliseconds timeout) const
{
    static int s_runs = 0;
    const std::string output = m_dir.Path("tool-" + std::to_string(++s_runs) + ".out");
    CChildProcess::Setup setup;
    setup.arguments = command;
    setup.stdoutPath = output;
    setup.environment = Environment();
    CChildProcess tool(setup);
    const bool ended = tool.Wait(timeout);
    if (!ended) {
        tool.Signal(SIGKILL);
        tool.Wait(5s);
    }
    if (status != nullptr)
        *status = ended ? tool.ExitCode() : -100;
    std::string text = ReadTextFile(output);
    std::remove(output.c_str());
    return text;
}

std::vector<CDesktopSession::Window> CDesktopSession::Windows(const std::string& namePattern) const
{
    std::vector<Window> windows;
    std::istringstream ids(
        Run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", namePattern}, nullptr, 10s));
    std::string id;
    while (ids >> id) {
        Window window;
        window.id = id;
        std::string name = Run({"/usr/bin/xdotool", "getwindowname", id}, nullptr, 10s);
        while (!name.empty() && name.back() == '\n')
            name.pop_back();
        window.name = name;
        std::istringstream shell(Run({"/usr/bin/xdotool", "getwindowgeometry", "--shell", id}, nullptr, 10s));
        for (std::string line; std::getline(shell, line);) {
            const size_t equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            const std::string key = line.substr(0, equals);
            const int value = std::atoi(line.c_str() + equals + 1);
            if (key == "X")
                window.x = value;
            else if (key == "Y")
                window.y = value;
            else if (key == "WIDTH")
                window.width = value;
            else if (key == "HEIGHT")
                window.height = value;
        }
        windows.push_back(std::move(window));
    }
    std::stable_sort(windows.begin(), windows.end(), [](const Window& a, const Window& b) {
        return a.width * a.height > b.width * b.height;
    });
    return windows;
}

std::vector<CDesktopSession::Window> CDesktopSession::WaitWindows(const std::string& namePattern,
                                                                  size_t count,
                                                                  std::chrono::milliseconds timeout,
                                                                  bool atLeast) const
{
    for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;
         std::this_thread::sleep_for(100ms)) {
        std::vector<Window> windows = Windows(namePattern);
        if (windows.size() == count || (atLeast && windows.size() > count))
            return windows;
    }
    return {};
}

bool CDesktopSession::WaitGone(const std::string& namePattern, std::chrono::milliseconds timeout) const
{
    for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;
         std::this_thread::sleep_for(100ms))
        if (Windows(namePattern).empty())
            return true;
    return false;
}

void CDesktopSession::Click(const Window& window, int x, int y) const
{
    Run({"/usr/bin/xdotool", "mousemove", "--window", window.id, std::to_string(x), std::to_string(y),
         "sleep", "0.1", "click", "1"});
}

void CDesktopSession::Keys(const Window& window, const std::vector<std::string>& keys) const
{
    std::vector<std::string> command = {"/usr/bin/xdotool", "windowfocus", window.id, "sleep", "0.1", "key",
                                        "--delay",          "60"};
    command.insert(command.end(), keys.begin(), keys.end());
    Run(command);
}

std::string CDesktopSession::Screenshot(const std::string& name) const
{
    std::error_code error;
    std::filesystem::create_directories(QUANDEL_SCREENS, error);
    const std::string path = std::string(QUANDEL_SCREENS) + "/e2e-" + name + ".png";
    int status = -1;
    Run({"/usr/bin/import", "-window", "root", path}, &status, 30s);
    return status == 0 ? path : std::string();
}

CMonitorCapture::CMonitorCapture(const CDesktopSession& session, const std::string& name)
    : m_path(session.Files().Path(name + ".wav"))
{
    CChildProcess::Setup setup;
    setup.arguments = {"/usr/bin/parecord", "--device=ci_null.monitor",
                       "--file-format=wav", "--format=s16le",
                       "--channels=2",      "--rate=44100",
                       "--latency-msec=20", m_path};
    setup.stderrPath = session.Files().Path(name + ".err");
    setup.environment = session.Environment();
    m_recorder = std::make_unique<CChildProcess>(setup);
}

CMonitorCapture::~CMonitorCapture()
{
    Stop();
}

bool CMonitorCapture::WaitRecording(std::chrono::milliseconds timeout)
{
    for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;
         std::this_thread::sleep_for(20ms)) {
        std::error_code error;
        const auto size = std::filesystem::file_size(m_path, error);
        if (!error && size > 44 + 4410 * 4)
            return true;
    }
    return false;
}

const std::vector<int16_t>& CMonitorCapture::Stop()
{
    if (m_recorder == nullptr)
        return m_left;
    m_recorder->Signal(SIGINT);
    const auto stopped = Clock::now();
    if (!m_recorder->Wait(10s)) {
        m_recorder->Signal(SIGKILL);
        m_recorder->Wait(5s);
    }
    m_recorder.reset();
    m_left = Heard::ReadLeft(m_path);
    m_firstFrame = stopped - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                 static_cast<double>(m_left.size()) / Heard::kRate));
    return m_left;
}

namespace Heard {

namespace {

// The amplitude of hz in left[from, from + count), Hann-weighted so that a neighbouring tone
// hardly leaks in.
double Amplitude(const std::vector<int16_t>& left, double hz, size_t from, size_t count)
{
    const size_t end = std::min(left.size(), from + count);
    if (end <= from + 1)
        return 0.0;
    const double n = static_cast<double>(end - from);
    double re = 0.0;
    double im = 0.0;
    double weights = 0.0;
    for (size_t i = from; i < end; ++i) {
        const double k = static_cast<double>(i - from);
        const double weight = 0.5 - 0.5 * std::cos(2.0 * M_PI * k / (n - 1.0));
        const double phase = 2.0 * M_PI * hz * k / kRate;
        re += weight * left[i] * std::cos(phase);
        im += weight * left[i] * std::sin(phase);
        weights += weight;
    }
    return 2.0 * std::sqrt(re * re + im * im) / weights;
}

} // namespace

double FirstSecond(const std::vector<int16_t>& left, double hz, double amplitude, double from)
{
    for (auto at = static_cast<size_t>(from * kRate); at + kToneWindow <= left.size(); at += kWindow)
        if (Amplitude(left, hz, at, kToneWindow) > amplitude)
            return static_cast<double>(at + kToneWindow / 2) / kRate;
    return -1.0;
}

double Level(const std::vector<int16_t>& left, double hz, double from, double to)
{
    const auto begin = std::min(left.size(), static_cast<size_t>(std::max(0.0, from) * kRate));
    const auto end = std::min(left.size(), static_cast<size_t>(std::max(0.0, to) * kRate));
    return end > begin ? Amplitude(left, hz, begin, end - begin) : 0.0;
}

double InTheLastSecond(const std::vector<int16_t>& left, double hz)
{
    const double end = static_cast<double>(left.size()) / kRate;
    return Level(left, hz, end - 1.0, end);
}

double LongestQuiet(const std::vector<int16_t>& left, double from, double to, int threshold)
{
    size_t longest = 0;
    size_t run = 0;
    const auto end = std::min(left.size(), static_cast<size_t>(to * kRate));
    for (auto at = static_cast<size_t>(from * kRate); at + kWindow <= end; at += kWindow) {
        int peak = 0;
        for (size_t i = at; i < at + kWindow; ++i)
            peak = std::max(peak, std::abs(static_cast<int>(left[i])));
        run = peak < threshold ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return static_cast<double>(longest * kWindow) / kRate;
}

std::vector<int16_t> ReadLeft(const std::string& path)
{
    const std::string bytes = ReadTextFile(path);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return {};
    uint32_t channels = 0;
    uint32_t bits = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        uint64_t size = Little(bytes, at + 4, 4);
        const size_t body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= bytes.size()) {
            channels = Little(bytes, body + 2, 2);
            bits = Little(bytes, body + 14, 2);
        } else if (id == "data") {
            // A recording stopped without its header written holds what is there.
            if (size == 0 || body + size > bytes.size())
                size = bytes.size() - body;
            if (channels == 0 || bits != 16)
                return {};
            const size_t frameBytes = 2 * channels;
            std::vector<int16_t> left(size / frameBytes);
            for (size_t i = 0; i < left.size(); ++i)
                left[i] = static_cast<int16_t>(Little(bytes, body + i * frameBytes, 2));
            return left;
        }
        at = body + size + (size & 1);
    }
    return {};
}

} // namespace Heard
