#include "GlobalTimer.h"

#include <algorithm>

// Recursive: a client's Tick may add or remove clients (a panel stack stopping itself).
std::recursive_mutex& CGlobalTimer::Lock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::vector<CTimerClient*>& CGlobalTimer::Clients()
{
    static std::vector<CTimerClient*> clients;
    return clients;
}

CTimerDriver*& CGlobalTimer::Driver()
{
    static CTimerDriver* driver = nullptr;
    return driver;
}

void CGlobalTimer::AddClient(CTimerClient* client)
{
    const std::lock_guard lock(Lock());
    auto& clients = Clients();
    if (std::find(clients.begin(), clients.end(), client) != clients.end())
        return;
    clients.push_back(client);
    if (clients.size() == 1 && Driver() != nullptr)
        Driver()->Start(kPeriodMs);
}

void CGlobalTimer::RemoveClient(CTimerClient* client)
{
    const std::lock_guard lock(Lock());
    auto& clients = Clients();
    const auto it = std::find(clients.begin(), clients.end(), client);
    if (it == clients.end())
        return;
    clients.erase(it);
    if (clients.empty() && Driver() != nullptr)
        Driver()->Stop();
}

void CGlobalTimer::Tick()
{
    const std::lock_guard lock(Lock());
    // By index and against a snapshot: a client leaving during the tick is not run afterwards.
    const std::vector<CTimerClient*> snapshot = Clients();
    for (CTimerClient* client : snapshot) {
        const auto& now = Clients();
        if (std::find(now.begin(), now.end(), client) != now.end())
            client->Tick();
    }
}

bool CGlobalTimer::IsRunning()
{
    const std::lock_guard lock(Lock());
    return !Clients().empty();
}

void CGlobalTimer::SetDriver(CTimerDriver* driver)
{
    const std::lock_guard lock(Lock());
    if (Driver() != nullptr && !Clients().empty())
        Driver()->Stop();
    Driver() = driver;
    if (driver != nullptr && !Clients().empty())
        driver->Start(kPeriodMs);
}
