#pragma once

#include <cstdint>

class CAudioBus;

// The control record a caller hands to a client's Render: the output manager passes its own,
// the engine passes each deck the deck's record.
struct ClientRecord {
    uint8_t flags = 0;   // bit 0 running, bit 1 started at least once
    uint8_t heard = 255; // bus group types some device plays (1 main, 2 monitor)
    uint16_t gain = 256; // 256 = unity
};

// What the output manager drives: Start, Render, Stop, in this slot order.
class CAudioClient {
public:
    virtual ~CAudioClient() = default;

    // User-interface thread.
    virtual void Start(uint8_t& flags) { flags = 1; }

    // Audio thread: no allocation, no blocking lock, no file access.
    // Produces tickCount ticks from firstTick on; returns 1, or 0 when the client has nothing
    // further to give.
    virtual int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick,
                       uint16_t tickCount) noexcept = 0;

    // User-interface thread.
    virtual void Stop(uint8_t& flags) { flags &= static_cast<uint8_t>(~1u); }
};
