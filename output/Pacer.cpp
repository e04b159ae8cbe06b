#include "Pacer.h"

#include "AudioThread.h"
#include "OutputManager.h"
#include "RealTimeThread.h"

#include <system_error>

bool CPacer::Launch(COutputManager& manager)
{
    AssertNotAudioThread("CPacer::Launch");
    m_manager = &manager;
    m_deviceLost.store(false, std::memory_order_relaxed);
    m_run.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        m_run.store(false, std::memory_order_relaxed);
        return false;
    }
    m_threadId.store(m_thread.get_id());
    return true;
}

void CPacer::Stop() noexcept
{
    m_run.store(false, std::memory_order_release);
    if (!OnPacingThread())
        Wake();
}

void CPacer::Join()
{
    if (m_thread.joinable() && !OnPacingThread()) {
        m_thread.join();
        m_threadId.store(std::thread::id());
    }
}

void CPacer::LoseDevice() noexcept
{
    m_deviceLost.store(true, std::memory_order_relaxed);
    m_manager->Stop();
}

void CPacer::Run() noexcept
{
    // Set here as well as by Launch: the first block may end the run before Launch stores it.
    m_threadId.store(std::this_thread::get_id());
    MarkAudioThread();
    m_realTime.store(RequestRealTimeScheduling(), std::memory_order_relaxed);
    Loop();
    MarkAudioThread(false);
}
