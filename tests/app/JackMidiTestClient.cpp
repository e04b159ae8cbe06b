#include "JackMidiTestClient.h"

#include <jack/midiport.h>

namespace {

constexpr size_t kRingBytes = 1 << 20;
constexpr size_t kMaxEventBytes = 255;

} // namespace

CJackMidiTestClient::CJackMidiTestClient(const std::string& server, const std::string& name)
{
    jack_status_t status{};
    m_client = jack_client_open(
        name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackServerName | JackUseExactName),
        &status, server.c_str());
    if (m_client == nullptr)
        return;
    m_out = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_lamps = jack_port_register(m_client, "lamps", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_toSend = jack_ringbuffer_create(kRingBytes);
    m_received = jack_ringbuffer_create(kRingBytes);
    jack_set_process_callback(m_client, Process, this);
    if (m_out == nullptr || m_lamps == nullptr || jack_activate(m_client) != 0)
        Close();
}

CJackMidiTestClient::~CJackMidiTestClient()
{
    Close();
    if (m_toSend != nullptr)
        jack_ringbuffer_free(m_toSend);
    if (m_received != nullptr)
        jack_ringbuffer_free(m_received);
}

void CJackMidiTestClient::Close()
{
    if (m_client != nullptr) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
    m_client = nullptr;
}

bool CJackMidiTestClient::Send(const std::vector<uint8_t>& bytes)
{
    if (bytes.empty() || bytes.size() > kMaxEventBytes ||
        jack_ringbuffer_write_space(m_toSend) < bytes.size() + 1)
        return false;
    const auto size = static_cast<char>(bytes.size());
    jack_ringbuffer_write(m_toSend, &size, 1);
    jack_ringbuffer_write(m_toSend, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
}

std::vector<std::vector<uint8_t>> CJackMidiTestClient::TakeReceived()
{
    std::vector<std::vector<uint8_t>> events;
    unsigned char size = 0;
    // The size and the bytes are two writes: an event is taken only once both are in.
    while (jack_ringbuffer_peek(m_received, reinterpret_cast<char*>(&size), 1) == 1 &&
           jack_ringbuffer_read_space(m_received) >= size + 1u) {
        jack_ringbuffer_read_advance(m_received, 1);
        std::vector<uint8_t> event(size);
        jack_ringbuffer_read(m_received, reinterpret_cast<char*>(event.data()), size);
        events.push_back(std::move(event));
    }
    return events;
}

int CJackMidiTestClient::Process(jack_nframes_t frames, void* self)
{
    auto& client = *static_cast<CJackMidiTestClient*>(self);
    void* out = jack_port_get_buffer(client.m_out, frames);
    jack_midi_clear_buffer(out);
    unsigned char size = 0;
    // Spread over the period, as a controller's messages arrive; a full buffer waits for the next.
    jack_nframes_t frame = 0;
    while (jack_ringbuffer_peek(client.m_toSend, reinterpret_cast<char*>(&size), 1) == 1 &&
           jack_ringbuffer_read_space(client.m_toSend) >= size + 1u) {
        jack_midi_data_t* event = jack_midi_event_reserve(out, frame, size);
        if (event == nullptr)
            break;
        jack_ringbuffer_read_advance(client.m_toSend, 1);
        jack_ringbuffer_read(client.m_toSend, reinterpret_cast<char*>(event), size);
        if (frame + 1 < frames)
            ++frame;
    }
    void* lamps = jack_port_get_buffer(client.m_lamps, frames);
    const uint32_t count = jack_midi_get_event_count(lamps);
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, lamps, i) != 0 || event.size > kMaxEventBytes ||
            jack_ringbuffer_write_space(client.m_received) < event.size + 1)
            continue;
        const auto eventSize = static_cast<char>(event.size);
        jack_ringbuffer_write(client.m_received, &eventSize, 1);
        jack_ringbuffer_write(client.m_received, reinterpret_cast<const char*>(event.buffer), event.size);
    }
    return 0;
}
