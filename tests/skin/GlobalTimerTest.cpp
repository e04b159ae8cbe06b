#include "GlobalTimer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The window system's side of the timer, as the skin sees it: started and stopped.
class CRecordingDriver : public CTimerDriver {
public:
    void Start(int periodMs) override { calls.push_back("start " + std::to_string(periodMs)); }
    void Stop() override { calls.push_back("stop"); }
    std::vector<std::string> calls;
};

class CClient : public CTimerClient {
public:
    CClient(std::vector<int>& order, int name) : m_order(order), m_name(name) {}
    void Tick() override
    {
        m_order.push_back(m_name);
        if (leaveOnTick != nullptr)
            CGlobalTimer::RemoveClient(leaveOnTick);
    }
    CTimerClient* leaveOnTick = nullptr;

private:
    std::vector<int>& m_order;
    int m_name;
};

} // namespace

TEST(GlobalTimer, RunsClientsInRegistrationOrderWhileAnyIsRegistered)
{
    CRecordingDriver driver;
    CGlobalTimer::SetDriver(&driver);
    std::vector<int> order;
    CClient first(order, 1), second(order, 2);
    CGlobalTimer::AddClient(&first);
    CGlobalTimer::AddClient(&second);
    CGlobalTimer::AddClient(&first); // once only
    CGlobalTimer::Tick();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    // A client leaving during a tick takes the other one with it: that one is not run.
    first.leaveOnTick = &second;
    CGlobalTimer::Tick();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1}));
    CGlobalTimer::RemoveClient(&first);
    EXPECT_FALSE(CGlobalTimer::IsRunning());
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"start 41", "stop"}));
    CGlobalTimer::SetDriver(nullptr);
}
