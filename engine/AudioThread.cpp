#include "AudioThread.h"

#include <cstdio>
#include <cstdlib>

namespace {
thread_local bool t_isAudioThread = false;
}

void MarkAudioThread(bool isAudioThread) noexcept
{
    t_isAudioThread = isAudioThread;
}

bool IsAudioThread() noexcept
{
    return t_isAudioThread;
}

void AssertNotAudioThread([[maybe_unused]] const char* where) noexcept
{
#ifdef QUANDEL_AUDIO_GUARD
    if (t_isAudioThread) {
        std::fprintf(stderr, "blocking call on the audio thread: %s\n", where);
        std::abort();
    }
#endif
}
