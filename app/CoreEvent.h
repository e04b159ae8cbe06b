#pragma once

#include <cstdint>

// What the audio thread tells the user-interface thread, one fixed-size record each.
struct CoreEvent {
    enum class Type : uint8_t {
        TrackStarted,    // deck began playing entry (a change-over, or the first track)
        TrackLoaded,     // deck holds entry now
        TrackFailed,     // the load of entry into deck failed; text says why
        PlayTimeLearned, // entry played for value ms
        MixEntryLocked,  // entry is used by the mix that plays
        EndOfList,       // the Time Line stopped at its end
        Message,         // text is for the user
    };
    Type type = Type::Message;
    int8_t deck = -1;
    int32_t entryId = -1;
    uint32_t tick = 0;          // of the engine's run, when it happened
    int64_t value = 0;          // PlayTimeLearned: ms
    const char* text = nullptr; // a fixed text that outlives the program's run
};
