#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <cstdint>
#include <string>
#include <vector>

// A stand-in for a DJ controller on a JACK server: a client with a MIDI output port ("out"),
// which sends what Send queues, and an input port ("lamps") that keeps what arrives.
//
// Threads: Send and TakeReceived on the test's thread; the process callback on JACK's.
class CJackMidiTestClient {
public:
    CJackMidiTestClient(const std::string& server, const std::string& name);
    ~CJackMidiTestClient();
    CJackMidiTestClient(const CJackMidiTestClient&) = delete;
    CJackMidiTestClient& operator=(const CJackMidiTestClient&) = delete;

    bool Ready() const { return m_client != nullptr; }
    // True when everything Send queued has been handed to the server.
    bool Idle() const { return m_toSend == nullptr || jack_ringbuffer_read_space(m_toSend) == 0; }
    // True once "out" is connected in the graph the server runs: an event sent before that is lost.
    bool OutConnected() const { return m_client != nullptr && jack_port_connected(m_out) > 0; }
    // One JACK event of these bytes (a message, several, or a piece of one) in the next period;
    // false when the queue is full.
    bool Send(const std::vector<uint8_t>& bytes);
    // Every event received on "lamps" since the last call.
    std::vector<std::vector<uint8_t>> TakeReceived();
    // Closes the client now (the controller is unplugged).
    void Close();

private:
    static int Process(jack_nframes_t frames, void* self);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_out = nullptr;
    jack_port_t* m_lamps = nullptr;
    jack_ringbuffer_t* m_toSend = nullptr;   // [size byte][bytes], test thread -> process
    jack_ringbuffer_t* m_received = nullptr; // [size byte][bytes], process -> test thread
};
