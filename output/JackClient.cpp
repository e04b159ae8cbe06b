#include "JackClient.h"

#include "AudioLibraryMessages.h"

bool CJackClient::Open(const char* clientName, const std::string& serverName) noexcept
{
    Close();
    CAudioLibraryMessages::Quieten();
    jack_status_t status{};
    if (serverName.empty()) {
        m_client = jack_client_open(clientName, JackNoStartServer, &status);
    } else {
        m_client =
            jack_client_open(clientName, static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                             &status, serverName.c_str());
    }
    return m_client != nullptr;
}

void CJackClient::Close() noexcept
{
    if (m_client != nullptr) {
        jack_client_close(m_client);
        m_client = nullptr;
    }
}
