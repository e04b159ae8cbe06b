#include "AudioLibraryMessages.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdlib>
#include <mutex>

namespace {

void DropAlsaMessage(const char*, int, const char*, int, const char*, ...)
{
}

void DropJackMessage(const char*)
{
}

} // namespace

void CAudioLibraryMessages::Quieten() noexcept
{
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        const char* keep = std::getenv("QUANDEL_AUDIO_MESSAGES");
        if (keep != nullptr && keep[0] != '\0' && keep[0] != '0')
            return;
        snd_lib_error_set_handler(&DropAlsaMessage);
        jack_set_error_function(&DropJackMessage);
        jack_set_info_function(&DropJackMessage);
    });
}
