#pragma once

#include "ChildProcess.h"
#include "PlayerTestSupport.h"
#include "TempDir.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A desktop for one test, as a user of the player has it: an X server of its own (Xvfb, no
// window manager), a PulseAudio server whose null sink is the default output, and the user's
// own home and XDG folders. Everything is driven from outside, with the tools a person or a
// script would use: xdotool, ImageMagick's import, parecord, signals.
class CDesktopSession {
public:
    // A window as the X server lists it.
    struct Window {
        std::string id; // decimal, as xdotool prints it
        std::string name;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    CDesktopSession();
    ~CDesktopSession();
    CDesktopSession(const CDesktopSession&) = delete;
    CDesktopSession& operator=(const CDesktopSession&) = delete;

    // Empty when the session is ready, else what failed.
    const std::string& Error() const { return m_error; }
    const std::string& Display() const { return m_display; }
    CPlayerHome& Home() { return m_home; }
    const CTempDir& Files() const { return m_dir; }
    // What a program started on this desktop gets: the user's folders, the display, the sound
    // server.
    std::vector<std::pair<std::string, std::string>> Environment() const;

    // quandel-player with these arguments; its output goes to NAME.out and NAME.err. The
    // prefix goes before the program (setpriv, to start it as another user).
    std::unique_ptr<CChildProcess>
    StartPlayer(const std::vector<std::string>& arguments, const std::string& name,
                const std::vector<std::string>& prefix = {},
                std::vector<std::pair<std::string, std::string>> environment = {});
    std::string Stderr(const std::string& name) const;

    // Runs a tool on this desktop to its end (at most timeout); its standard output, and its
    // exit status in *status (-100 when it had to be killed).
    std::string Run(const std::vector<std::string>& command, int* status = nullptr,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

    // The windows shown (mapped) now, named like the pattern (a regular expression).
    std::vector<Window> Windows(const std::string& namePattern = ".") const;
    // Waits until the number of shown windows named like the pattern is count (or more when
    // atLeast); the largest of them first, or an empty list after the deadline.
    std::vector<Window> WaitWindows(const std::string& namePattern, size_t count,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(20),
                                    bool atLeast = true) const;
    // Waits until no window named like the pattern is shown; false after the deadline.
    bool WaitGone(const std::string& namePattern,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // A click of the left button at x, y inside the window.
    void Click(const Window& window, int x, int y) const;
    // Gives the window the keyboard focus and types the keys (xdotool's names: Return, Next,
    // Prior, Down, Right, ...).
    void Keys(const Window& window, const std::vector<std::string>& keys) const;
    // The whole screen into build/screens/e2e-NAME.png; the path, or empty when it failed.
    std::string Screenshot(const std::string& name) const;

    // The sound server: stopped, and started again on the same address.
    void StopSoundServer();
    bool StartSoundServer();
    std::string SoundServerAddress() const;
    // Lets other users reach the sound server (its folder is the test user's own otherwise).
    void ShareSoundServer() const;
    // The X server ends, as when a desktop session goes away.
    void KillDisplay();

private:
    bool StartDisplay();

    CTempDir m_dir;
    CPlayerHome m_home;
    std::string m_error;
    std::string m_display;
    std::string m_pulseFolder;
    std::unique_ptr<CChildProcess> m_xserver;
    bool m_pulseRunning = false;
};

// Records what the sound server's default output plays (the null sink's monitor) with parecord,
// from construction until Stop.
class CMonitorCapture {
public:
    explicit CMonitorCapture(const CDesktopSession& session, const std::string& name = "capture");
    ~CMonitorCapture();
    CMonitorCapture(const CMonitorCapture&) = delete;
    CMonitorCapture& operator=(const CMonitorCapture&) = delete;

    // Waits until the recording has begun (its file grows); false after the deadline.
    bool WaitRecording(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Ends the recording and reads it: the left channel at 44100 Hz.
    const std::vector<int16_t>& Stop();
    const std::vector<int16_t>& Left() const { return m_left; }
    // Where on the steady clock the recording's first frame was heard: the moment of Stop less
    // the recording's length.
    std::chrono::steady_clock::time_point FirstFrameTime() const { return m_firstFrame; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::unique_ptr<CChildProcess> m_recorder;
    std::vector<int16_t> m_left;
    std::chrono::steady_clock::time_point m_firstFrame;
};

// What a recording says about tones: gaps in windows of 10 ms (441 frames at 44100 Hz), tones
// in Hann windows of 40 ms every 10 ms, which tell tones 200 Hz apart.
namespace Heard {
constexpr size_t kWindow = 441;
constexpr size_t kToneWindow = 1764;
constexpr double kRate = 44100.0;
// The centre of the first window from `from` on where hz is louder than the amplitude; -1 when
// never.
double FirstSecond(const std::vector<int16_t>& left, double hz, double amplitude, double from = 0.0);
// The amplitude of hz over [from, to) seconds.
double Level(const std::vector<int16_t>& left, double hz, double from, double to);
// The amplitude of hz over the last second of the recording.
double InTheLastSecond(const std::vector<int16_t>& left, double hz);
// The longest run of windows in [from, to) seconds whose largest sample stays under
// threshold, in seconds.
double LongestQuiet(const std::vector<int16_t>& left, double from, double to, int threshold);
// The 16-bit left channel of a WAV file (PCM, 16 bit, any channel count); empty when not one.
std::vector<int16_t> ReadLeft(const std::string& path);
} // namespace Heard
