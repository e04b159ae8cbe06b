#pragma once

#include <pulse/context.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <cstdint>

// Open errors of the sound-server drivers.
namespace OutputErrors {
constexpr int kServerUnreachable = 1001; // no server answered, or it went away while opening
constexpr int kServerRefused = 1002;     // the server turned this client away (access, cookie)
constexpr int kStreamRefused = 1003;     // the stream object could not be made
constexpr int kStreamFailed = 1004;      // the server did not accept the playback stream
constexpr int kServerFormat = 1005;      // the sample format cannot be played
constexpr int kNotServed = 1;            // not in the device list, or unfit for the kind
} // namespace OutputErrors

// The text the user is shown for a sound-server open error, or null for a number that is not
// one of them.
const char* SoundServerErrorText(int error) noexcept;

// Owns one connection to the sound server (PulseAudio, or PipeWire's PulseAudio service) with a
// main loop of its own. Nothing of the library runs on a thread of its own: whoever uses the
// connection iterates its loop (the user-interface thread while opening and closing, the pacing
// thread in between), so the audio path takes no lock of the library.
//
// Threads: one at a time, as said above; Wake from any thread.
class CPulseConnection {
public:
    using Clock = std::chrono::steady_clock;

    CPulseConnection() = default;
    ~CPulseConnection() { Close(); }
    CPulseConnection(const CPulseConnection&) = delete;
    CPulseConnection& operator=(const CPulseConnection&) = delete;

    // User-interface thread.
    // Connects without starting a server; 0, kServerUnreachable when no server is ready by the
    // deadline, kServerRefused when one turned the client away.
    int Connect(Clock::time_point deadline);
    void Close() noexcept;
    bool IsOpen() const noexcept { return m_context != nullptr; }
    pa_context* Context() const noexcept { return m_context; }

    // The thread that owns the loop.
    // Iterates the loop until done() holds (true), or the deadline passes or the connection
    // fails (false). May block up to the deadline: never on the pacing thread with a far one.
    template <class Done> bool RunUntil(Done done, Clock::time_point deadline);
    // Waits up to timeoutUs (0: not at all) for the server or a Wake, then dispatches what came.
    // Negative when the loop failed.
    int Iterate(int64_t timeoutUs) noexcept;
    // Dispatches what has already arrived, without waiting.
    void Poll() noexcept;
    // The connection still serves (it has not failed or been closed by the server).
    bool Alive() const noexcept;

    // Any thread: cuts a waiting Iterate short.
    void Wake() noexcept;

private:
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};

template <class Done> bool CPulseConnection::RunUntil(Done done, Clock::time_point deadline)
{
    while (!done()) {
        if (!Alive())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        if (Iterate(left.count()) < 0)
            return false;
    }
    return true;
}
