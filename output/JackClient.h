#pragma once

#include <jack/jack.h>

#include <string>

// Owns one client connection to a running JACK server. It never starts a server: a player
// that spawned one would leave it behind with settings the user did not choose.
//
// Thread: the user-interface thread.
class CJackClient {
public:
    CJackClient() = default;
    ~CJackClient() { Close(); }
    CJackClient(const CJackClient&) = delete;
    CJackClient& operator=(const CJackClient&) = delete;

    // Connects as clientName to the server named serverName (empty: the default server, or
    // the one JACK_DEFAULT_SERVER names). false when no server answers.
    bool Open(const char* clientName, const std::string& serverName) noexcept;
    // Closing a client whose server has gone away is still needed to free its side.
    void Close() noexcept;
    jack_client_t* Get() const noexcept { return m_client; }
    bool IsOpen() const noexcept { return m_client != nullptr; }

private:
    jack_client_t* m_client = nullptr;
};
