#include "PulseConnection.h"

#include "AudioThread.h"

#include <pulse/error.h>

#include <algorithm>

const char* SoundServerErrorText(int error) noexcept
{
    using namespace OutputErrors;
    switch (error) {
    case kServerUnreachable:
        return "The sound server could not be reached.\nStart PulseAudio or PipeWire, or pick another "
               "device in the setup.";
    case kServerRefused:
        return "The sound server refused the connection.\nCheck its access settings, or pick another "
               "device in the setup.";
    case kStreamRefused:
    case kStreamFailed:
        return "The sound server did not accept the playback stream.\nPick another device in the setup.";
    case kServerFormat:
        return "The sound server cannot play this sample format.\nChange the output format in the setup.";
    case kNotServed:
        return "This sound server device is not available.\nPick another device in the setup.";
    default:
        return nullptr;
    }
}

int CPulseConnection::Connect(Clock::time_point deadline)
{
    AssertNotAudioThread("CPulseConnection::Connect");
    Close();
    m_loop = pa_mainloop_new();
    if (m_loop == nullptr)
        return OutputErrors::kServerUnreachable;
    m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Quandel Player");
    if (m_context == nullptr) {
        Close();
        return OutputErrors::kServerUnreachable;
    }
    // A server that is not running stays so: starting one on the user's behalf could take
    // longer than opening a device may.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        Close();
        return OutputErrors::kServerUnreachable;
    }
    const bool ready =
        RunUntil([this] { return pa_context_get_state(m_context) == PA_CONTEXT_READY; }, deadline);
    if (ready)
        return 0;
    const int reason = pa_context_errno(m_context);
    Close();
    return reason == PA_ERR_ACCESS || reason == PA_ERR_AUTHKEY ? OutputErrors::kServerRefused
                                                               : OutputErrors::kServerUnreachable;
}

void CPulseConnection::Close() noexcept
{
    if (m_context != nullptr) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_loop != nullptr) {
        pa_mainloop_free(m_loop);
        m_loop = nullptr;
    }
}

int CPulseConnection::Iterate(int64_t timeoutUs) noexcept
{
    if (m_loop == nullptr)
        return -1;
    // The loop takes an int; a second at most keeps it in range and the caller re-checks.
    const int timeout = static_cast<int>(std::clamp<int64_t>(timeoutUs, 0, 1000000));
    if (pa_mainloop_prepare(m_loop, timeout) < 0 || pa_mainloop_poll(m_loop) < 0)
        return -1;
    return pa_mainloop_dispatch(m_loop);
}

void CPulseConnection::Poll() noexcept
{
    // Bounded: a server that keeps sending must not hold the caller here.
    for (int pass = 0; pass < 8; ++pass) {
        if (Iterate(0) <= 0)
            break;
    }
}

bool CPulseConnection::Alive() const noexcept
{
    if (m_context == nullptr)
        return false;
    const pa_context_state_t state = pa_context_get_state(m_context);
    return state != PA_CONTEXT_FAILED && state != PA_CONTEXT_TERMINATED;
}

void CPulseConnection::Wake() noexcept
{
    if (m_loop != nullptr)
        pa_mainloop_wakeup(m_loop);
}
