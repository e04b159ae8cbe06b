#pragma once

#include <cstdint>

// The play clock of the output driver: milliseconds of audio the device has played since its
// start, on the same time base as the bus time stamps. Decks interpolate their displayed
// position against it and the level queues release meter readings when they become audible.
class CPlayClock {
public:
    virtual ~CPlayClock() = default;

    // Any thread: a plain read of the driver's position.
    virtual uint32_t PlayClockMs() const noexcept = 0;
};
