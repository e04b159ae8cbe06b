#pragma once

#include "MidiByteRing.h"
#include "MidiDispatcher.h"
#include "MidiMapping.h"
#include "MidiStreamDecoder.h"
#include "MidiWake.h"

#include <atomic>
#include <cstdint>
#include <string>

// One opened controller: what its port delivers goes through the byte ring to the MIDI thread,
// which reads the messages and acts on them by the device's mapping. The bytes of system
// exclusive blocks are left out before the ring, so a block of any length takes two bytes of it.
//
// Threads: Receive on the port's callback thread; everything else on the MIDI thread.
class CMidiDevice {
public:
    // controls and wake outlive the device; wake is signalled after every delivery.
    CMidiDevice(std::string port, std::string mappingName, const CMidiMapping& mapping,
                CControlTable& controls, CMidiWake& wake);

    // Callback thread: no lock, no allocation, no wait.
    void Receive(const uint8_t* bytes, size_t size, int64_t arrivalNs) noexcept;

    // MIDI thread. Reads everything received, calling command(MidiCommand) for each command;
    // returns the number of messages read. lastArrivalNs is the arrival time of the last piece.
    // intercept(const MidiMessage&) may take a message before its bindings see it (learn): true
    // when it did.
    template <class CommandSink, class Intercept>
    size_t Drain(CommandSink&& command, Intercept&& intercept, CMidiDispatcher::Clock::time_point now)
    {
        size_t messages = 0;
        CMidiByteRing::Piece piece;
        while (m_ring.Pop(piece)) {
            if (piece.afterLoss)
                m_decoder.Reset();
            m_lastArrivalNs = piece.arrivalNs;
            m_decoder.Feed(piece.bytes, piece.size, [&](const MidiMessage& message) {
                ++messages;
                if (intercept(message))
                    return;
                MidiCommand asked{};
                if (m_dispatcher.Handle(message, now, asked))
                    command(asked);
            });
        }
        m_messages += messages;
        return messages;
    }
    CMidiDispatcher& Dispatcher() noexcept { return m_dispatcher; }

    const std::string& Port() const noexcept { return m_port; }
    const std::string& MappingName() const noexcept { return m_mappingName; }
    uint64_t Messages() const noexcept { return m_messages; }
    uint64_t Dropped() const noexcept { return m_ring.Dropped(); }
    int64_t LastArrivalNs() const noexcept { return m_lastArrivalNs; }

private:
    std::string m_port;
    std::string m_mappingName;
    CMidiByteRing m_ring;
    CMidiStreamDecoder m_decoder;
    CMidiDispatcher m_dispatcher;
    CMidiWake& m_wake;
    bool m_inSysEx = false; // callback thread only
    uint64_t m_messages = 0;
    int64_t m_lastArrivalNs = 0;
};
