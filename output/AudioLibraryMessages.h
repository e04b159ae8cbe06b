#pragma once

// The ALSA and JACK libraries print their own complaints on standard error while devices are
// looked for (a card that is not there, no JACK server running): every such case is reported to
// the caller as a failed call anyway, and a user starting the player from a terminal would see
// a screenful of them. Once quietened they are dropped, unless QUANDEL_AUDIO_MESSAGES is set
// (to anything but 0), which keeps them for finding out why a device fails.
class CAudioLibraryMessages {
public:
    // Any thread; the first call decides, later ones do nothing.
    static void Quieten() noexcept;
};
