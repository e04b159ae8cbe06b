#pragma once

#include "MixByteReader.h"

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

// One tick of the Mix-File event stream, read event by event: value events (u16 id, u8 tag =
// width nibble | channel, the value in that width) up to the end marker (u16 with bit 15, bit 14
// on the first tick, position codes for decks A and B in bits 0..7, then their payloads). Every
// read is checked against the bytes left. A tick is unreadable when it ends in the middle, holds
// a width or position code no recorder writes, a marker with bits no recorder sets, or a
// "first tick" mark anywhere but at the start of the stream.
//
// This is the only code that knows the stream's byte layout: the tick reader replays and seeks
// with it, the container checks a loaded stream with it.
//
// Threads: any; no allocation, no blocking. The caller's lock keeps the stream unchanged.
class CMixTickDecoder {
public:
    struct Event {
        int32_t id = 0;
        int channel = 0; // 0..15
        int32_t value = 0;
    };
    enum class Step { Event, TickEnd, Unreadable };

    // The first tick of a stream that could not be read; this when every tick could.
    static constexpr uint32_t kIntact = UINT32_MAX;

    // tickStart: byte offset of the tick's first event or of its end marker.
    CMixTickDecoder(const std::vector<uint8_t>& stream, uint32_t tickStart) noexcept
        : m_reader(stream, tickStart), m_tickStart(tickStart)
    {
    }

    // The tick's next value event, or its end. At TickEnd the marker's codes have moved
    // positions (frames of each deck's track) and NextTick is where the next tick starts. After
    // Unreadable positions may be moved part way; the caller restores what it needs.
    Step Next(Event& event, std::array<int32_t, 2>& positions) noexcept;
    // Steps over the events to the tick's end; false when the tick is unreadable.
    bool SkipTick(std::array<int32_t, 2>& positions) noexcept;
    // Valid after TickEnd.
    uint32_t NextTick() const noexcept { return m_reader.Position(); }

private:
    Step EndTick(uint32_t marker, std::array<int32_t, 2>& positions) noexcept;

    CMixByteReader m_reader;
    uint32_t m_tickStart; // bytes
};
